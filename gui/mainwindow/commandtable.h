// Menu commands built from one table: menu, caption, shortcut, handler,
// enabling rule and an optional place on the tool bar. The main window lists
// its commands once; menus, tool bar, actions and the enabling refresh all
// come from that list. A command on the tool bar is the menu's own action,
// so both always agree on enabling and checks. Every handler runs through
// the command guard: a handler that raises leaves the document as it was
// and its message is shown.
#pragma once

#include <QAction>
#include <QMenuBar>
#include <QString>
#include <QToolBar>
#include <functional>
#include <vector>

namespace tessal {

class tdocument;

struct tcommand {
    QString menu;      // menu title, with its mnemonic ("&File")
    QString caption;   // item caption; empty for a separator
    QString shortcut;  // key sequence text ("Ctrl+N"), or empty
    std::function<void()> handler;
    std::function<bool()> enabled;  // null: always enabled
    QString name;                   // object name, for tests and later lookups
    std::function<QString()> caption_rule;  // a caption that follows the state
    // Place on the tool bar: 0 keeps the command off it; the others go in
    // ascending order, each new group of ten (10.., 20..) after a separator.
    int toolorder = 0;
    QString toolcaption;  // the button's text where it is shorter than the caption
};

inline tcommand separator(const QString& menu) { return {menu, {}, {}, {}, {}, {}}; }

class tcommandset {
public:
    // The document a failing handler puts back (null: none).
    tdocument* guarded_document = nullptr;

    // Builds the menus in order of first appearance; actions become children
    // of the menu bar's window so their shortcuts work everywhere in it.
    // Commands with a tool-bar place are added to `toolbar` when given.
    void build(QMenuBar* bar, std::vector<tcommand> commands, QToolBar* toolbar = nullptr);
    void refresh_enablings();
    QAction* action(const QString& name) const;
    QMenu* menu(const QString& title) const;
    const std::vector<QMenu*>& menus() const { return menus_; }

private:
    std::vector<tcommand> commands_;
    std::vector<QAction*> actions_;
    std::vector<QMenu*> menus_;
};

}  // namespace tessal
