#include "gui/inversefilter/inversefiltermodule.h"

#include "gui/inversefilter/tinvirawindow.h"
#include "gui/inversefilter/ttnaqwindow.h"
#include "gui/context/settingsfolder.h"

namespace tessal {

QString tinversefiltermodule::settings_path() {
    return settings_file("invirawindow.for");
}

tinversefiltermodule::tinversefiltermodule(tappcontext& ctx) : tfeaturemodule(ctx) {
    tappcontext& c = ctx;
    ctx.commands.add({.id = "inversefilteraction", .caption = "Inverse filter",
                      .handler = [&c] { c.windows.show(twindowid::invira); }, .group = "tools",
                      .order = 10});
    ctx.windows.add(twindowid::invira, {.caption = "Invira", .layout = "InverseWindow"}, [&c](QWidget* owner) {
        auto* w = new tinvirawindow(c, owner);
        w->load_settings_from(settings_path());
        w->persist = [](const tinvirawindow& win) {
            if (!prepare_settings_write()) return;
            win.save_settings_to(settings_path());
        };
        return w;
    });
    ctx.commands.add({.id = "tnaqaction", .caption = "Glottal flow parameter measurement",
                      .handler = [&c] { c.windows.show(twindowid::tnaq); }, .group = "tools",
                      .order = 20});
    ctx.windows.add(twindowid::tnaq, {.caption = "T-naq", .layout = "TNAQWindow"}, [&c](QWidget* owner) {
        auto* w = new ttnaqwindow(c, owner);
        w->load_settings_from(settings_file("tnaqwindow.ini"));
        return w;
    });
}

tinversefiltermodule::~tinversefiltermodule() = default;

}  // namespace tessal
