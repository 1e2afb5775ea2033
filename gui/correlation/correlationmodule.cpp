#include "gui/correlation/correlationmodule.h"

#include "gui/correlation/tcorrelationwindow.h"
#include "gui/context/settingsfolder.h"
#include "gui/windows/windowsettings.h"

namespace tessal {

tcorrelationmodule::tcorrelationmodule(tappcontext& ctx) : tfeaturemodule(ctx) {
    tappcontext& c = ctx;
    ctx.commands.add({.id = "correlationaction", .caption = "Correlation",
                      .handler = c.windows.opener("correlation"), .group = "analysis", .order = 40});
    ctx.windows.add("correlation", {.caption = "Correlation - Tessal", .layout = "CorrelationWindow"}, [&c](QWidget* owner) {
        return keep_settings_in(new tcorrelationwindow(c, owner), "correlationwindow.ini");
    });
}

tcorrelationmodule::~tcorrelationmodule() = default;

}  // namespace tessal
