#include "gui/inversefilter/inversefiltermodule.h"

#include <QDir>

#include "gui/inversefilter/tinvirawindow.h"
#include "gui/inversefilter/ttnaqwindow.h"
#include "gui/settings/tmainsettings.h"

namespace tessal {

QString tinversefiltermodule::settings_path() {
    return QDir(tmainsettings::settings_folder()).filePath("invirawindow.for");
}

tinversefiltermodule::tinversefiltermodule(tappcontext& ctx) : tfeaturemodule(ctx) {
    tappcontext& c = ctx;
    ctx.commands.add({.id = "inversefilteraction", .caption = "Inverse filter",
                      .handler = [&c] { c.windows.show(twindowid::invira); }, .group = "tools",
                      .order = 10});
    ctx.windows.add_factory(twindowid::invira, [&c](QWidget* owner) {
        auto* w = new tinvirawindow(c, owner);
        w->load_settings_from(settings_path());
        w->persist = [](const tinvirawindow& win) {
            if (!tmainsettings::writes_allowed()) return;
            QDir().mkpath(tmainsettings::settings_folder());
            win.save_settings_to(settings_path());
        };
        return w;
    });
    ctx.commands.add({.id = "tnaqaction", .caption = "Glottal flow parameter measurement",
                      .handler = [&c] { c.windows.show(twindowid::tnaq); }, .group = "tools",
                      .order = 20});
    ctx.windows.add_factory(twindowid::tnaq, [&c](QWidget* owner) {
        auto* w = new ttnaqwindow(c, owner);
        w->load_settings_from(QDir(tmainsettings::settings_folder()).filePath("tnaqwindow.ini"));
        return w;
    });
}

tinversefiltermodule::~tinversefiltermodule() = default;

}  // namespace tessal
