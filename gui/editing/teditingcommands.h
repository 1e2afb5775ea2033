// teditingcommands: the editing feature of the main window. It owns the
// engine's teditcommands over the context's clipboard and adds its
// commands (the clipboard and sample commands of the Edit menu, the
// editing windows, Channel info, Align channels and Delete channel(s)) and
// its windows ("Edit levels", "Set Full Scale Deflection (FSD)", "Align
// channels", "Channel information", "Notes for channel"). It refreshes the
// enablings when the clipboard or the cursors change. The work is the
// engine's.
#pragma once

#include <QObject>
#include <functional>

#include "engine/core/tviewlistener.h"
#include "engine/document/editcommands.h"
#include "gui/context/appcontext.h"

namespace tessal {

class tnotesdialog;

class teditingcommands : public QObject, public tfeaturemodule, public tviewlistener {
    Q_OBJECT

public:
    explicit teditingcommands(tappcontext& ctx);
    ~teditingcommands() override;

    teditcommands& edit() { return edit_; }
    tprompter& prompter() { return ctx.prompter; }
    // Tests put a memory clipboard here; null goes back to the system one.
    void set_clipboard(tclipboard* c);
    tclipboard& clipboard() { return ctx.clipboard; }

    // Delete acts only while the main window is the foreground window.
    std::function<bool()> is_foreground;

    // A click on a notes box.
    void edit_notes(int chno);

    // tviewlistener
    void main_cursor_changed(bool sel2) override;

private:
    void add_commands();
    void add_windows();

    teditcommands edit_;
    tnotesdialog* notes_ = nullptr;
};

}  // namespace tessal
