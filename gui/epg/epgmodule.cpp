#include "gui/epg/epgmodule.h"

#include "gui/epg/tcontactevolutionwindow.h"
#include "gui/epg/tepgwindow.h"
#include "gui/context/settingsfolder.h"

namespace tessal {

QString tepgmodule::settings_path() {
    return settings_file("epgwindow.ini");
}

tepgmodule::tepgmodule(tappcontext& ctx) : tfeaturemodule(ctx) {
    tappcontext& c = ctx;
    ctx.commands.add({.id = "epgaction", .caption = "Electropalatograph (EPG)",
                      .handler = [&c] { c.windows.show(twindowid::epg); }, .group = "tools",
                      .order = 40});
    ctx.windows.add(twindowid::epg, {.caption = "EPG", .layout = "EPGWindow"}, [&c](QWidget* owner) {
        auto* w = new tepgwindow(c, owner);
        w->load_settings_from(settings_path());
        w->persist = [](const tepgwindow& win) {
            if (!prepare_settings_write()) return;
            win.save_settings_to(settings_path());
        };
        return w;
    });
    // Made after the EPG window (the fixed order of the windows), whose
    // channel and colours it shows.
    ctx.windows.add(twindowid::contactevolution, {.caption = "Contact evolution", .layout = "RowogramWindow"}, [&c](QWidget* owner) {
        auto* epg = qobject_cast<tepgwindow*>(c.windows.window(twindowid::epg));
        return new tcontactevolutionwindow(c, epg, owner);
    });
}

tepgmodule::~tepgmodule() = default;

}  // namespace tessal
