#include "gui/spectrum/spectrummodule.h"

#include "gui/context/settingsfolder.h"
#include "gui/spectrum/tfrequencyrangedialog.h"
#include "gui/spectrum/tspectrumwindow.h"

namespace tessal {

QString tspectrummodule::settings_path() {
    return settings_file("spectrumwindow.ini");
}

tspectrummodule::tspectrummodule(tappcontext& ctx) : tfeaturemodule(ctx) {
    tappcontext& c = ctx;
    ctx.commands.add({.id = "spectrumaction", .caption = "Spectrum",
                      .handler = [&c] { c.windows.show(twindowid::spectrum); },
                      .group = "analysis", .order = 20});
    ctx.windows.add(twindowid::spectrum, {.caption = "Spectrum - Tessal", .layout = "SpectrumWindow"}, [this, &c](QWidget* owner) {
        window_ = new tspectrumwindow(c, owner);
        window_->load_settings_from(settings_path());
        // Written when the window goes, at the end of the program.
        window_->persist = [](const tspectrumwindow& w) {
            if (!prepare_settings_write()) return;
            w.save_settings_to(settings_path());
        };
        return window_;
    });
    ctx.windows.add(twindowid::frequencyrange, {.caption = "Frequency range "},
                            [](QWidget* owner) { return new tfrequencyrangedialog(owner); });
}

tspectrummodule::~tspectrummodule() = default;

}  // namespace tessal
