#include "gui/plots/plotsmodule.h"

#include "gui/plots/thistwindow.h"
#include "gui/plots/txyplotwindow.h"
#include "gui/context/settingsfolder.h"
#include "gui/windows/windowsettings.h"

namespace tessal {

tplotsmodule::tplotsmodule(tappcontext& ctx) : tfeaturemodule(ctx) {
    tappcontext& c = ctx;
    ctx.commands.add({.id = "histogramsaction", .caption = "Show histograms",
                      .handler = c.windows.opener("histograms"), .group = "analysis", .order = 60});
    ctx.windows.add("histograms", {.caption = "Histograms/KDE", .layout = "HistWindow"}, [&c](QWidget* owner) {
        return keep_settings_in(new thistwindow(c, owner), "histogramswindow.ini");
    });
    ctx.commands.add({.id = "xyplotaction", .caption = "xy-plot", .handler = c.windows.opener("xyplot"),
                      .group = "analysis", .order = 70});
    ctx.windows.add("xyplot", {.caption = "xy-plot", .layout = "XYWindow"},
                            [&c](QWidget* owner) { return new txyplotwindow(c, owner); });
}

tplotsmodule::~tplotsmodule() = default;

}  // namespace tessal
