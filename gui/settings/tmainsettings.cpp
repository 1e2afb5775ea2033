#include "gui/settings/tmainsettings.h"

#include "engine/settings/codecs.h"

#include <QGuiApplication>
#include <algorithm>
#include <QMenu>
#include <QScreen>

#include "engine/view/windowplacement.h"
#include "gui/settings/tcolorsdialog.h"
#include "gui/settings/trecentfilesmenu.h"
#include "gui/settings/tsettingsdialog.h"
#include "engine/settings/tsetting.h"

namespace tessal {

namespace {

twindowlayout layout_of(const QWidget* w) {
    return {w->y(), w->x(), w->height(), w->width(), w->isMaximized()};
}

// A saved place is used only when the window fits there wholly on this
// screen, at a size its contents can be read at; otherwise (and when the
// file kept none) the window opens at its first place when it first shows.
void place(QWidget* w, const twindowlayout& l) {
    const trect r{l.left, l.top, l.width, l.height};
    const QScreen* s = w->screen() ? w->screen() : QGuiApplication::primaryScreen();
    if (!s) return;
    const QRect d = s->availableGeometry();
    const QSize least = w->minimumSizeHint().expandedTo(w->minimumSize());
    const bool fits = fits_wholly(r, least.width(), least.height(), {d.left(), d.top(), d.width(), d.height()});
    w->setProperty("tessal_placed", fits);
    if (!fits) return;
    w->resize(r.width, r.height);
    w->move(r.left, r.top);
}

}  // namespace

tmainsettings::tmainsettings(tappcontext& ctx) : tfeaturemodule(ctx) {
    tappcontext& c = ctx;
    // A fresh settings file offers the ready codecs; a file replaces them.
    state_.codecs = default_codecs();
    ctx.codecs.list = state_.codecs;
    ctx.codecs.saved = [this] { save(); };
    auto open = [&c](const QString& id) { return [&c, id] { c.windows.show(id); }; };
    ctx.commands.add({.id = "channelcoloraction", .caption = "Channel color...",
                      .handler = open("colors"),
                      .enabled = [&c] { return c.doc.totnchans() > 0; },
                      .group = "channels.windows", .order = 30});
    ctx.commands.add({.id = "preferencesaction", .caption = "Preferences...",
                      .handler = open("settings"), .group = "view.windows", .order = 10});
    // The recent-files lists: in the File menu after "Export...", at the
    // end of the Process menu (empty until open() reads them).
    auto items = [](trecentfilesmenu* const& m) {
        return [&m] { return m ? m->items() : std::vector<tcommand>{}; };
    };
    ctx.commands.add({.id = "recentfileslist", .group = "file.documents", .order = 80,
                      .items = items(sound_)});
    ctx.commands.add({.id = "recentprocesslist", .group = "process", .order = 100,
                      .items = items(proc_)});
    ctx.windows.add("colors", {.caption = "Colors"},
                            [&c](QWidget* owner) { return new tcolorsdialog(c.doc, owner); });
    ctx.windows.add("settings", {.caption = "Settings"}, [&c](QWidget* owner) {
        auto* d = new tsettingsdialog(c.doc, c.files.savefilter, owner);
        d->set_settings_folder(settings_folder());
        d->applied = [&c] {
            // The save dialog's filter list is built from the rows in use, so an
            // index past its end would pick nothing ("SaveFormat" counts from 1).
            int used = 0;
            for (const tsavefilter& row : c.files.savefilter) used += row.used ? 1 : 0;
            int& index = c.filehooks.savefilterindex;
            if (index > used) index = std::max(1, used);
        };
        return d;
    });
}

void tmainsettings::collect() {
    state_.layouts["Layout"] = layout_of(ctx.window);
    // A window neither shown nor placed this run keeps the place the file
    // gave it (none: no section is written for it).
    for (const auto& [section, w] : ctx.windows.layout_windows())
        if (w->property("tessal_shown").toBool() || w->testAttribute(Qt::WA_Moved))
            state_.layouts[section] = layout_of(w);
        else
            state_.layouts.try_emplace(section);
    state_.SaveFormat = ctx.filehooks.savefilterindex;
    state_.ShowFSD = ctx.view.showfsd;
    if (ctx.soundcards.playnames) state_.playdevices = ctx.soundcards.playnames();
    if (ctx.soundcards.recordnames) state_.recorddevices = ctx.soundcards.recordnames();
    state_.playdevice = ctx.soundcards.playdevice;
    state_.recorddevice = ctx.soundcards.recorddevice;
    state_.codecs = ctx.codecs.list;
    state_.ShowCodec = ctx.codecs.show;
    state_.usefileformat.clear();
    for (const tsavefilter& row : ctx.files.savefilter)
        state_.usefileformat.push_back({row.idstr, row.used});
}

void tmainsettings::apply() {
    if (!ctx.window->isMaximized()) {
        // The main window is pulled onto the desktop once more at the end
        // of first activation, so only its size and place are set here.
        const twindowlayout& l = state_.layouts["Layout"];
        ctx.window->resize(l.width, l.height);
        ctx.window->move(l.left, l.top);
    }
    for (const auto& [section, w] : ctx.windows.layout_windows()) place(w, state_.layouts[section]);
    ctx.filehooks.savefilterindex = state_.SaveFormat;
    ctx.view.showfsd = state_.ShowFSD;
    // A stored name not among the devices selects the first one; with no
    // devices listed the system default stays.
    ctx.soundcards.playdevice = state_.playdevices.empty() ? -1 : state_.playdevice;
    ctx.soundcards.recorddevice = state_.recorddevices.empty() ? -1 : state_.recorddevice;
    ctx.codecs.list = state_.codecs;
    ctx.codecs.show = state_.ShowCodec;
    auto& rows = ctx.files.savefilter;
    for (const tsaveformatflag& u : state_.usefileformat)
        for (tsavefilter& row : rows)
            if (row.idstr == u.idstr) row.used = u.used;
}

void tmainsettings::open() {
    if (opened_) return;
    opened_ = true;
    const std::string base = appdata_folder().toStdString();
    sound_ = new trecentfilesmenu(ctx.commands, "recentfileslist", "sound", base, ctx.prompter,
                                  this);
    sound_->list().OnClick = [this](const std::string& path) {
        ctx.files.open_document(path);
    };
    proc_ = new trecentfilesmenu(ctx.commands, "recentprocesslist", "proc", base, ctx.prompter,
                                 this);
    proc_->list().OnClick = [this](const std::string& path) {
        if (ctx.filehooks.open_process)
            ctx.filehooks.open_process(QString::fromStdString(path));
    };
    ctx.files.recent_file_used = [this](const std::string& path) { sound_->list().add(path); };
    ctx.filehooks.recent_process_used = [this](const std::string& path) {
        proc_->list().add(path);
    };
    // Their menu items, now that the list commands can reach them.
    sound_->rebuild();
    proc_->rebuild();

    collect();
    open_settings(ctx.doc, state_, ctx.prompter, base);
    apply();
}

void tmainsettings::save() {
    if (!settings_writes_allowed()) return;
    collect();
    try {
        save_settings(ctx.doc, state_, appdata_folder().toStdString());
    } catch (const std::exception& e) {
        ctx.prompter.ask(e.what(), "Cannot save settings file", tbuttons::ok, ticon::error);
    }
}

}  // namespace tessal
