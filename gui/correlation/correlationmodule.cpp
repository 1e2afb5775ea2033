#include "gui/correlation/correlationmodule.h"

#include <QDir>

#include "gui/correlation/tcorrelationwindow.h"
#include "gui/settings/tmainsettings.h"

namespace tessal {

QString tcorrelationmodule::settings_path() {
    return QDir(tmainsettings::settings_folder()).filePath("correlationwindow.ini");
}

tcorrelationmodule::tcorrelationmodule(tappcontext& ctx) : tfeaturemodule(ctx) {
    tappcontext& c = ctx;
    ctx.commands.add({.id = "correlationaction", .caption = "Correlation",
                      .handler = [&c] { c.windows.show(twindowid::correlation); },
                      .group = "analysis", .order = 40});
    ctx.windows.add_factory(twindowid::correlation, [&c](QWidget* owner) {
        auto* w = new tcorrelationwindow(c, owner);
        w->load_settings_from(settings_path());
        w->persist = [](const tcorrelationwindow& win) {
            if (!tmainsettings::writes_allowed()) return;
            QDir().mkpath(tmainsettings::settings_folder());
            win.save_settings_to(settings_path());
        };
        return w;
    });
}

tcorrelationmodule::~tcorrelationmodule() = default;

}  // namespace tessal
