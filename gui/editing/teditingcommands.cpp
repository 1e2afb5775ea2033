#include "gui/editing/teditingcommands.h"

#include <QClipboard>
#include <QGuiApplication>

#include "engine/document/channelcommands.h"
#include "gui/editing/talignchannelsdialog.h"
#include "gui/editing/tchannelinfodialog.h"
#include "gui/editing/teditlevelsdialog.h"
#include "gui/editing/tnotesdialog.h"
#include "gui/editing/tsetfsdwindow.h"

namespace tessal {

teditingcommands::teditingcommands(tappcontext& ctx)
    : tfeaturemodule(ctx), edit_(ctx.doc, ctx.prompter, ctx.clipboard) {
    is_foreground = [&ctx] { return ctx.window && ctx.window->isActiveWindow(); };
    // Playback and recording are stopped by the sound side once it exists;
    // until then there is nothing to stop.
    add_commands();
    add_windows();
    ctx.viewrequests.notes.push_back([this](int c) { edit_notes(c); });
    if (QClipboard* c = QGuiApplication::clipboard())
        connect(c, &QClipboard::dataChanged, this, [&ctx] { ctx.commands.refresh(); });
    ctx.doc.theglobal.add_listener(this);
}

teditingcommands::~teditingcommands() { ctx.doc.theglobal.remove_listener(this); }

void teditingcommands::set_clipboard(tclipboard* c) {
    ctx.clipboard.set_blocks(c);
    ctx.commands.refresh();
}

void teditingcommands::main_cursor_changed(bool) { ctx.commands.refresh(); }

void teditingcommands::add_commands() {
    tappcontext& c = ctx;
    auto channels = [&c] { return c.doc.totnchans() > 0; };
    auto change = [this] { return edit_.can_change_selection(); };
    auto open = [&c](const QString& id) { return [&c, id] { c.windows.show(id); }; };
    const QString clip = "edit.clipboard", samples = "edit.samples", windows = "edit.windows",
                  chanwindows = "channels.windows";
    for (tcommand& cmd : std::vector<tcommand>{
             {.id = "cutaction", .caption = "Cut", .shortcut = "Ctrl+X",
              .handler = [this] { edit_.cut(); }, .enabled = [this] { return edit_.can_copy(); },
              .group = clip},
             {.id = "copyaction", .caption = "Copy", .shortcut = "Ctrl+C",
              .handler = [this] { edit_.copy(); }, .enabled = [this] { return edit_.can_copy(); },
              .group = clip},
             {.id = "pasteaction", .caption = "Paste", .shortcut = "Ctrl+V",
              .handler = [this] { edit_.paste(); }, .enabled = [this] { return edit_.can_paste(); },
              .group = clip},
             {.id = "selectallaction", .caption = "Select all", .shortcut = "Ctrl+A",
              .handler = [this] { edit_.select_all(); }, .enabled = channels, .group = clip},
             {.id = "deleteaction", .caption = "Delete", .shortcut = "Del",
              .handler =
                  [this] {
                      if (!is_foreground || is_foreground()) edit_.delete_selection();
                  },
              .group = clip},

             {.id = "fsdpeakaction", .caption = "Set FSD to peak value",
              .handler = [this] { edit_.set_fsd_to_peak(); }, .enabled = channels, .group = samples},
             {.id = "reverseaction", .caption = "Reverse", .handler = [this] { edit_.reverse(); },
              .enabled = change, .group = samples},
             {.id = "zeroaction", .caption = "Zero", .handler = [this] { edit_.zero(); },
              .enabled = change, .group = samples},
             {.id = "interpolateaction", .caption = "Interpolate",
              .handler = [this] { edit_.interpolate(); }, .enabled = change, .group = samples},

             {.id = "levelsaction", .caption = "Levels...", .handler = open("editlevels"),
              .enabled = [&c] { return c.doc.totnchans() > 0 && c.doc.theglobal.has_selection(); },
              .group = windows, .order = 10},
             {.id = "setfsdaction", .caption = "Set FSD...", .handler = open("setfsd"),
              .group = windows, .order = 20},

             {.id = "channelinfoaction", .caption = "Channel info",
              .handler = open("channelinfo"), .enabled = channels, .group = chanwindows,
              .order = 10},
             {.id = "alignaction", .caption = "Align channels", .handler = open("align"),
              .enabled = [&c] { return c.doc.totnchans() > 1; }, .group = chanwindows, .order = 20},
             {.id = "deletechannelaction", .caption = "Delete channel",
              .handler = [&c] { delete_current_channel(c.doc, c.prompter); },
              .enabled = [&c] { return can_delete_channel(c.doc); },
              .caption_rule = [&c] { return QString::fromStdString(delete_channel_caption(c.doc)); },
              .group = chanwindows, .order = 40},
             {.id = "deletechannelsaction", .caption = "Delete channels",
              .handler = [&c] { delete_current_channels(c.doc, c.prompter); },
              .enabled = [&c] { return can_delete_channels(c.doc); },
              .caption_rule = [&c] { return QString::fromStdString(delete_channels_caption(c.doc)); },
              .group = chanwindows, .order = 50},
         })
        ctx.commands.add(std::move(cmd));
}

void teditingcommands::add_windows() {
    tappcontext& c = ctx;
    c.windows.add("editlevels", {.caption = "Edit levels"}, [&c](QWidget* owner) {
        return new teditlevelsdialog(c.doc, c.prompter, &c.view, owner);
    });
    c.windows.add("setfsd", {.caption = "Set Full Scale Deflection (FSD)"}, [&c](QWidget* owner) {
        return new tsetfsdwindow(c.doc, c.prompter, owner);
    });
    c.windows.add("align", {.caption = "Align channels"}, [&c](QWidget* owner) {
        return new talignchannelsdialog(c.doc, c.prompter, &c.view, owner);
    });
    c.windows.add("channelinfo", {.caption = "Channel information"}, [&c](QWidget* owner) {
        return new tchannelinfodialog(c.doc, c.prompter, owner);
    });
    c.windows.add("notes", {.caption = "Notes for channel"}, [this](QWidget* owner) {
        notes_ = new tnotesdialog(ctx.doc, owner);
        return notes_;
    });
}

void teditingcommands::edit_notes(int chno) {
    if (notes_) notes_->edit(chno);
}

}  // namespace tessal
