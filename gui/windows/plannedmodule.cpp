#include "gui/windows/plannedmodule.h"

namespace tessal {

tplannedmodule::tplannedmodule(tappcontext& ctx) : tfeaturemodule(ctx) {
    tappcontext& c = ctx;
    auto open = [&c](twindowid id) { return [&c, id] { c.windows.show(id); }; };
    auto notyet = [] { return false; };  // commands whose work comes later
    for (tcommand& cmd : std::vector<tcommand>{
             {.id = "inversefilteraction", .caption = "Inverse filter",
              .handler = open(twindowid::invira), .group = "tools", .order = 10},
             {.id = "tnaqaction", .caption = "Glottal flow parameter measurement",
              .handler = open(twindowid::tnaq), .group = "tools", .order = 20},
             {.id = "epgaction", .caption = "Electropalatograph (EPG)",
              .handler = open(twindowid::epg), .group = "tools", .order = 40},
         })
        ctx.commands.add(std::move(cmd));
}

tplannedmodule::~tplannedmodule() = default;

}  // namespace tessal
