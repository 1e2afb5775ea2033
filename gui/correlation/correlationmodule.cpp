#include "gui/correlation/correlationmodule.h"

#include "gui/correlation/tcorrelationwindow.h"
#include "gui/context/settingsfolder.h"

namespace tessal {

QString tcorrelationmodule::settings_path() {
    return settings_file("correlationwindow.ini");
}

tcorrelationmodule::tcorrelationmodule(tappcontext& ctx) : tfeaturemodule(ctx) {
    tappcontext& c = ctx;
    ctx.commands.add({.id = "correlationaction", .caption = "Correlation",
                      .handler = [&c] { c.windows.show(twindowid::correlation); },
                      .group = "analysis", .order = 40});
    ctx.windows.add(twindowid::correlation, {.caption = "Correlation - Tessal", .layout = "CorrelationWindow"}, [&c](QWidget* owner) {
        auto* w = new tcorrelationwindow(c, owner);
        w->load_settings_from(settings_path());
        w->persist = [](const tcorrelationwindow& win) {
            if (!prepare_settings_write()) return;
            win.save_settings_to(settings_path());
        };
        return w;
    });
}

tcorrelationmodule::~tcorrelationmodule() = default;

}  // namespace tessal
