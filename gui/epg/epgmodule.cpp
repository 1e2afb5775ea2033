#include "gui/epg/epgmodule.h"

#include "gui/epg/tcontactevolutionwindow.h"
#include "gui/epg/tepgwindow.h"
#include "gui/context/settingsfolder.h"
#include "gui/windows/windowsettings.h"

namespace tessal {

tepgmodule::tepgmodule(tappcontext& ctx) : tfeaturemodule(ctx) {
    tappcontext& c = ctx;
    ctx.commands.add({.id = "epgaction", .caption = "Electropalatograph (EPG)",
                      .handler = c.windows.opener("epg"), .group = "tools", .order = 40});
    ctx.windows.add("epg", {.caption = "EPG", .layout = "EPGWindow"}, [&c](QWidget* owner) {
        return keep_settings_in(new tepgwindow(c, owner), "epgwindow.ini");
    });
    // Made after the EPG window (the fixed order of the windows), whose
    // channel and colours it shows.
    ctx.windows.add("contactevolution", {.caption = "Contact evolution", .layout = "RowogramWindow"}, [&c](QWidget* owner) {
        auto* epg = qobject_cast<tepgwindow*>(c.windows.window("epg"));
        return new tcontactevolutionwindow(c, epg, owner);
    });
}

tepgmodule::~tepgmodule() = default;

}  // namespace tessal
