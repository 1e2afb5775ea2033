#include "gui/spectrogram/spectrogrammodule.h"

#include "gui/context/settingsfolder.h"
#include "gui/spectrogram/tcorrelogramwindow.h"
#include "gui/spectrogram/tspectrogramwindow.h"

namespace tessal {

QString tspectrogrammodule::settings_path() {
    return settings_file("spectrogramwindow.ini");
}

tspectrogrammodule::tspectrogrammodule(tappcontext& ctx) : tfeaturemodule(ctx) {
    tappcontext& c = ctx;
    ctx.commands.add({.id = "spectrogramaction", .caption = "Spectrogram",
                      .handler = [&c] { c.windows.show(twindowid::spectrogram); },
                      .group = "analysis", .order = 30});
    ctx.windows.add(twindowid::spectrogram, {.caption = "Spectrogram - Tessal", .layout = "SpectrogramWindow"}, [&c](QWidget* owner) {
        auto* w = new tspectrogramwindow(c, owner);
        w->load_settings_from(settings_path());
        w->persist = [](const tstripwindow& win) {
            if (!prepare_settings_write()) return;
            win.save_settings_to(settings_path());
        };
        return w;
    });
    ctx.commands.add({.id = "correlogramaction", .caption = "Correlogram",
                      .handler = [&c] { c.windows.show(twindowid::correlogram); },
                      .group = "analysis", .order = 50});
    ctx.windows.add(twindowid::correlogram, {.caption = "Correlogram - Tessal", .layout = "CorrelogramWindow"}, [&c](QWidget* owner) {
        auto* w = new tcorrelogramwindow(c, owner);
        const QString path = settings_file("correlogramwindow.ini");
        w->load_settings_from(path);
        w->persist = [path](const tstripwindow& win) {
            if (!prepare_settings_write()) return;
            win.save_settings_to(path);
        };
        return w;
    });
}

tspectrogrammodule::~tspectrogrammodule() = default;

}  // namespace tessal
