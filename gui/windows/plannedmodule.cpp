#include "gui/windows/plannedmodule.h"

namespace tessal {

tplannedmodule::tplannedmodule(tappcontext& ctx) : tfeaturemodule(ctx) {
    tappcontext& c = ctx;
    auto open = [&c](twindowid id) { return [&c, id] { c.windows.show(id); }; };
    auto notyet = [] { return false; };  // commands whose work comes later
    for (tcommand& cmd : std::vector<tcommand>{
             {.id = "calibrateaction", .caption = "Calibrate...", .handler = open(twindowid::calibration),
              .enabled = [&c] { return c.doc.totnchans() > 0; }, .group = "edit.windows",
              .order = 30},


             {.id = "psubaction", .caption = "Subglottal pressure", .handler = open(twindowid::psub),
              .group = "tools"},
         })
        ctx.commands.add(std::move(cmd));
}

tplannedmodule::~tplannedmodule() = default;

}  // namespace tessal
