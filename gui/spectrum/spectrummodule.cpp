#include "gui/spectrum/spectrummodule.h"

#include "gui/context/settingsfolder.h"
#include "gui/windows/windowsettings.h"
#include "gui/spectrum/tfrequencyrangedialog.h"
#include "gui/spectrum/tspectrumwindow.h"

namespace tessal {

tspectrummodule::tspectrummodule(tappcontext& ctx) : tfeaturemodule(ctx) {
    tappcontext& c = ctx;
    ctx.commands.add({.id = "spectrumaction", .caption = "Spectrum", .handler = c.windows.opener("spectrum"),
                      .group = "analysis", .order = 20});
    ctx.windows.add("spectrum", {.caption = "Spectrum - Tessal", .layout = "SpectrumWindow"}, [this, &c](QWidget* owner) {
        return window_ = keep_settings_in(new tspectrumwindow(c, owner), "spectrumwindow.ini");
    });
    ctx.windows.add("frequencyrange", {.caption = "Frequency range "},
                            [](QWidget* owner) { return new tfrequencyrangedialog(owner); });
}

tspectrummodule::~tspectrummodule() = default;

}  // namespace tessal
