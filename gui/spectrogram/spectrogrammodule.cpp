#include "gui/spectrogram/spectrogrammodule.h"

#include "gui/context/settingsfolder.h"
#include "gui/windows/windowsettings.h"
#include "gui/spectrogram/tcorrelogramwindow.h"
#include "gui/spectrogram/tspectrogramwindow.h"

namespace tessal {

tspectrogrammodule::tspectrogrammodule(tappcontext& ctx) : tfeaturemodule(ctx) {
    tappcontext& c = ctx;
    ctx.commands.add({.id = "spectrogramaction", .caption = "Spectrogram",
                      .handler = c.windows.opener("spectrogram"), .group = "analysis", .order = 30});
    ctx.windows.add("spectrogram", {.caption = "Spectrogram - Tessal", .layout = "SpectrogramWindow"}, [&c](QWidget* owner) {
        return keep_settings_in(new tspectrogramwindow(c, owner), "spectrogramwindow.ini");
    });
    ctx.commands.add({.id = "correlogramaction", .caption = "Correlogram",
                      .handler = c.windows.opener("correlogram"), .group = "analysis", .order = 50});
    ctx.windows.add("correlogram", {.caption = "Correlogram - Tessal", .layout = "CorrelogramWindow"}, [&c](QWidget* owner) {
        // The file as named when the window was made.
        const QString path = settings_file("correlogramwindow.ini");
        return keep_settings_in(new tcorrelogramwindow(c, owner), [path] { return path; });
    });
}

tspectrogrammodule::~tspectrogrammodule() = default;

}  // namespace tessal
