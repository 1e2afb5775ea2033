// teditingcommands: the main window's Edit, Channels and Labels commands on
// the Qt side. It owns the engine's teditcommands over the system clipboard
// (tests can put a memory clipboard in its place), puts its commands into
// the main window's command table, refreshes the enablings when the
// clipboard or the cursors change, and opens the Label properties and Notes
// dialogs for the signal view. The work is the engine's.
#pragma once

#include <QObject>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/core/clipboard.h"
#include "engine/core/prompter.h"
#include "engine/core/tdocument.h"
#include "engine/core/tviewlistener.h"
#include "engine/document/editcommands.h"
#include "gui/mainwindow/commandtable.h"
#include "gui/platform/qtclipboard.h"

class QWidget;

namespace tessal {

class TMainWindow;

class teditingcommands : public QObject, public tviewlistener, public tclipboard {
    Q_OBJECT

public:
    teditingcommands(tdocument& doc, tprompter& prompter, QWidget* owner);
    ~teditingcommands() override;

    teditcommands& edit() { return edit_; }
    tprompter& prompter() { return prompter_; }
    // Tests put a memory clipboard here; null goes back to the system one.
    void set_clipboard(tclipboard* c);
    tclipboard& clipboard() { return *this; }

    // Puts the Edit, Channels and Labels commands into the main window's
    // list, and gives the edit-mode commands their enabling rule.
    void add_commands(std::vector<tcommand>& list);
    // Once the menus and windows exist: the label-type submenu, the
    // clipboard and view hooks.
    void attach(TMainWindow& main);

    // The label text F7 asks for; nullopt when cancelled. Tests replace it.
    std::function<std::optional<std::string>()> ask_label_text;
    // Delete acts only while the main window is the foreground window.
    std::function<bool()> is_foreground;

    // Double-click on a label and click on a notes box.
    void edit_label(int chno, int labelno);
    void edit_notes(int chno);

    // tclipboard, forwarding to the current clipboard.
    bool has_format(const std::string& f) const override { return clip_->has_format(f); }
    void set_data(const std::string& f, const std::vector<std::uint8_t>& b) override {
        clip_->set_data(f, b);
    }
    bool get_data(const std::string& f, std::vector<std::uint8_t>& b) const override {
        return clip_->get_data(f, b);
    }

    // tviewlistener
    void main_cursor_changed(bool sel2) override;

private:
    std::vector<tcommand> edit_menu();
    std::vector<tcommand> channel_menu();
    std::vector<tcommand> label_menu();
    // Runs a command, showing the message of anything it throws.
    void guarded(const std::function<void()>& f);
    void refresh();

    tdocument& doc_;
    tprompter& prompter_;
    QWidget* owner_;
    tqtblockclipboard qtclip_;
    tclipboard* clip_ = &qtclip_;
    teditcommands edit_;
    TMainWindow* main_ = nullptr;
};

}  // namespace tessal
