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

             {.id = "spectrogramaction", .caption = "Spectrogram",
              .handler = open(twindowid::spectrogram), .group = "analysis", .order = 30},
             {.id = "correlationaction", .caption = "Correlation",
              .handler = open(twindowid::correlation), .group = "analysis", .order = 40},
             {.id = "correlogramaction", .caption = "Correlogram",
              .handler = open(twindowid::correlogram), .group = "analysis", .order = 50},

             {.id = "playaction", .caption = "Play!", .shortcut = "F9", .enabled = notyet,
              .group = "sound.play", .toolorder = 40},
             {.id = "playallaction", .caption = "Play entire file!", .shortcut = "Ctrl+F9",
              .enabled = notyet, .group = "sound.play", .toolorder = 41},
             {.id = "soundcardaction", .caption = "Select playback soundcard...",
              .handler = open(twindowid::soundcard), .group = "sound.devices"},
             {.id = "recordaction", .caption = "Record...", .handler = open(twindowid::record),
              .group = "sound.devices"},
             {.id = "advancedrecordaction", .caption = "Advanced record...",
              .handler = open(twindowid::advancedrecord), .group = "sound.devices"},

             {.id = "inversefilteraction", .caption = "Inverse filter",
              .handler = open(twindowid::invira), .group = "tools"},
             {.id = "tnaqaction", .caption = "Glottal flow parameter measurement",
              .handler = open(twindowid::tnaq), .group = "tools"},
             {.id = "psubaction", .caption = "Subglottal pressure", .handler = open(twindowid::psub),
              .group = "tools"},
             {.id = "epgaction", .caption = "Electropalatograph (EPG)",
              .handler = open(twindowid::epg), .group = "tools"},
         })
        ctx.commands.add(std::move(cmd));
}

tplannedmodule::~tplannedmodule() = default;

}  // namespace tessal
