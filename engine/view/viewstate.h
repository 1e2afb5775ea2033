// The main window's view state that is not part of the document: the menu
// toggles read while drawing, which channel marks are shown, the zoom
// history, the drag in progress and what is being played. The signal view
// owns one; the key and mouse handlers read and change it.
#pragma once

#include <array>

#include "engine/core/colors.h"
#include "engine/core/tsiglabel.h"
#include "engine/view/zoomhistory.h"

namespace tessal {

struct tviewstate {
    // Menu toggles.
    bool showgrid = false;         // "Show grid"
    bool showfsd = true;           // "Show FSD"
    bool showsamples = false;      // "Show samples"
    bool hidehiddeninfo = false;   // "Hide all information for hidden channels"
    TColor wavebackgroundcolor = 0xFFFFFF;

    // Channel marks 0..8 shown on the waveforms (set by analysis windows).
    std::array<bool, 9> showcursors{};
    // The channel the inverse-filter window is locked to (its marks 7 and 8
    // show there only), -1 for none.
    int inversefilterchanno = -1;

    tzoomhistory zoom;

    // Drag in progress: -2 idle, -1 the selection, 1..8 channel mark i.
    int cursortomove = -2;
    tfoundlabel foundlabel;
    int labelsdownx = 0;

    // Playback, as the sound side reports it.
    bool playing = false;
    int playchanno = -1;
    int playstereochanno = -1;
    // The recording window is recording: waveforms are left blank.
    bool recording = false;
};

}  // namespace tessal
