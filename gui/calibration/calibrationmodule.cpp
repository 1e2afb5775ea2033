#include "gui/calibration/calibrationmodule.h"

#include "gui/calibration/tcalibrationwindow.h"

namespace tessal {

tcalibrationmodule::tcalibrationmodule(tappcontext& ctx) : tfeaturemodule(ctx) {
    tappcontext& c = ctx;
    ctx.commands.add({.id = "calibrateaction", .caption = "Calibrate...",
                      .handler = c.windows.opener("calibration"),
                      .enabled = [&c] { return c.doc.totnchans() > 0; }, .group = "edit.windows",
                      .order = 30});
    ctx.windows.add("calibration", {.caption = "Calibration"},
                            [&c](QWidget* owner) { return new tcalibrationwindow(c, owner); });
}

tcalibrationmodule::~tcalibrationmodule() = default;

}  // namespace tessal
