#include "gui/plots/plotsmodule.h"

#include "gui/plots/thistwindow.h"
#include "gui/plots/txyplotwindow.h"
#include "gui/context/settingsfolder.h"

namespace tessal {

QString tplotsmodule::histogram_settings_path() {
    return settings_file("histogramswindow.ini");
}

tplotsmodule::tplotsmodule(tappcontext& ctx) : tfeaturemodule(ctx) {
    tappcontext& c = ctx;
    ctx.commands.add({.id = "histogramsaction", .caption = "Show histograms",
                      .handler = [&c] { c.windows.show(twindowid::histograms); },
                      .group = "analysis", .order = 60});
    ctx.windows.add(twindowid::histograms, {.caption = "Histograms/KDE", .layout = "HistWindow"}, [&c](QWidget* owner) {
        auto* w = new thistwindow(c, owner);
        w->load_settings_from(histogram_settings_path());
        w->persist = [](const thistwindow& h) {
            if (!prepare_settings_write()) return;
            h.save_settings_to(histogram_settings_path());
        };
        return w;
    });
    ctx.commands.add({.id = "xyplotaction", .caption = "xy-plot",
                      .handler = [&c] { c.windows.show(twindowid::xyplot); },
                      .group = "analysis", .order = 70});
    ctx.windows.add(twindowid::xyplot, {.caption = "xy-plot", .layout = "XYWindow"},
                            [&c](QWidget* owner) { return new txyplotwindow(c, owner); });
}

tplotsmodule::~tplotsmodule() = default;

}  // namespace tessal
