// The command registry: every menu command of the main window in one place.
// A command says what it is (id, caption or caption rule, shortcut),
// what it does (handler), when it may run (enabling rule), whether it is a
// toggle and what its check follows (checked rule, radio group), and where
// it sits (group and order in the menu layout, and an optional place on the
// tool bar). Features add their own commands into their own groups; the
// menu layout (menulayout.h) says which groups make which menu, in what
// order, with separators between them. build() then makes the menus, the
// tool bar and the actions once; refresh() brings every enabling, caption
// and check up to date from the rules. Nothing changes an action after it
// was built except refresh().
//
// A secondary window keeps a registry of its own over the window tool
// layout (window_tool_layout()): its commands sit only on its tool bar
// (build_toolbar), the same way the main window's placed commands do, and
// their shortcuts answer within that window.
//
// Every handler runs through the command guard: a handler that raises
// leaves the document as it was and its message is shown.
#pragma once

#include <QAction>
#include <QMenuBar>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QToolBar>
#include <QVariant>
#include <functional>
#include <set>
#include <map>
#include <memory>
#include <vector>

#include "gui/commands/menulayout.h"

namespace tessal {

class tdocument;

struct tcommand {
    QString id{};        // the action's object name, unique
    QString caption{};   // the item caption, with its mnemonic
    QString shortcut{};  // key sequence text ("Ctrl+N"; alternatives "A|B"), or empty
    std::function<void()> handler{};
    std::function<bool()> enabled{};          // null: always enabled
    std::function<QString()> caption_rule{};  // a caption that follows the state
    std::function<QString()> hint_rule{};     // a hint (tool and status tip) that follows the state
    std::function<QString()> shortcut_rule{};  // a shortcut that follows a preference
    bool checkable = false;
    std::function<bool()> checked{};  // the check of a checkable command
    QString radio{};                  // commands sharing this name check one at a time
    QString group{};                  // the menu layout's group
    int order = 0;                  // place in the group (equal orders keep adding order)
    // Place on the tool bar: 0 keeps the command off it; the others go in
    // ascending order, each new group of ten (10.., 20..) after a separator.
    int toolorder = 0;
    QString toolcaption{};  // the button's text where it is shorter than the caption
    // The items of the command's submenu (caption, id, handler, data).
    std::vector<tcommand> submenu{};
    QVariant data{};
    bool visible = true;  // false: built but not shown
    // A tool-bar place taken by a widget (a choice box) instead of a button.
    std::function<QWidget*()> toolwidget{};
    // A list whose items follow the state (a recent-files list): at its
    // place in the menu, rebuilt whenever rebuild_list() is called. The items' handlers run after the click
    // was handled, since they may change the list.
    std::function<std::vector<tcommand>()> items{};
    QString hint{};  // a fixed tool tip (hint_rule for one that follows the state)
};

// A caption as the undo history names its change: no mnemonic, no "...".
QString step_name(QString caption);

class tcommandregistry {
public:
    explicit tcommandregistry(std::vector<tmenudecl> layout = main_menu_layout());
    ~tcommandregistry();
    tcommandregistry(const tcommandregistry&) = delete;
    tcommandregistry& operator=(const tcommandregistry&) = delete;

    // The document a failing handler puts back (null: none), and whether
    // its samples are put back too (off for a window's view commands).
    tdocument* guarded_document = nullptr;
    bool guard_samples = true;
    // Whether a command's caption names its undo step (off: the work or
    // the active window names it).
    bool name_steps = true;

    // A feature's command. Throws std::logic_error for a group the layout
    // does not declare, an id given twice, or a command added after build().
    void add(tcommand c);

    // Makes the menus of the layout on `bar` (a menu with no commands is
    // left out) and, when given, the tool bar. Runs once.
    void build(QMenuBar* bar, QToolBar* toolbar = nullptr);
    // A secondary window's tool bar: the commands with a tool-bar place,
    // their actions the window's, their shortcuts answering within it.
    void build_toolbar(QToolBar* toolbar, QWidget* window);
    bool built() const { return built_; }
    // Puts a list command's current items in its place.
    void rebuild_list(const QString& id);
    // The actions a list command shows now (separators included).
    std::vector<QAction*> list_actions(const QString& id) const;
    // A lock over other features' commands: while `reason` gives a text,
    // the commands named in `ids` are off and their tool and status tips
    // say why (a recording locks those that close, replace, add or delete
    // channels).
    void add_lock(const QStringList& ids, std::function<QString()> reason);

    // Enablings, caption rules and checks from the rules.
    void refresh();
    void refresh_enablings() { refresh(); }

    QAction* action(const QString& id) const;
    const tcommand* command(const QString& id) const;
    QMenu* menu(const QString& title) const;
    const std::vector<QMenu*>& menus() const { return menus_; }
    const std::vector<tmenudecl>& layout() const { return layout_; }
    // The commands of a group in menu order.
    std::vector<const tcommand*> group(const QString& name) const;

private:
    QAction* make_action(QWidget* parent, const tcommand& c);
    void place_tools(QToolBar* toolbar);
    struct tlist {
        QMenu* menu = nullptr;
        QAction* end = nullptr;  // what follows the items (null: the menu's end)
        std::vector<QAction*> actions;
    };

    std::vector<tmenudecl> layout_;
    std::vector<std::unique_ptr<tcommand>> commands_;
    std::map<const tcommand*, QAction*> actions_;
    std::vector<QMenu*> menus_;
    std::map<QString, QActionGroup*> radios_;
    std::vector<std::pair<QStringList, std::function<QString()>>> locks_;
    std::set<QAction*> locked_;  // actions whose tips a lock wrote
    std::map<QString, tlist> lists_;
    std::map<QString, std::vector<tcommand>> listitems_;  // their current items
    // Connections to the menus end with the registry.
    QObject connections_;
    bool built_ = false;
};

}  // namespace tessal
