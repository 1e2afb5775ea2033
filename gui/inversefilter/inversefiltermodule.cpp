#include "gui/inversefilter/inversefiltermodule.h"

#include "gui/inversefilter/tinvirawindow.h"
#include "gui/inversefilter/ttnaqwindow.h"
#include "gui/context/settingsfolder.h"
#include "gui/windows/windowsettings.h"

namespace tessal {

tinversefiltermodule::tinversefiltermodule(tappcontext& ctx) : tfeaturemodule(ctx) {
    tappcontext& c = ctx;
    ctx.commands.add({.id = "inversefilteraction", .caption = "Inverse filter",
                      .handler = c.windows.opener("invira"), .group = "tools", .order = 10});
    ctx.windows.add("invira", {.caption = "Invira", .layout = "InverseWindow"}, [&c](QWidget* owner) {
        return keep_settings_in(new tinvirawindow(c, owner), "invirawindow.for");
    });
    ctx.commands.add({.id = "tnaqaction", .caption = "Glottal flow parameter measurement",
                      .handler = c.windows.opener("tnaq"), .group = "tools", .order = 20});
    ctx.windows.add("tnaq", {.caption = "T-naq", .layout = "TNAQWindow"}, [&c](QWidget* owner) {
        auto* w = new ttnaqwindow(c, owner);
        w->load_settings_from(settings_file("tnaqwindow.ini"));
        return w;
    });
}

tinversefiltermodule::~tinversefiltermodule() = default;

}  // namespace tessal
