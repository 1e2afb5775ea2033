// Where the channel strips of the signal panel go: for every channel the top
// of its information line and show box, and the top and height of its
// amplitude axis and waveform area. Channels stack from y = 2 down to the
// top of the time axis; every visible channel gets the same waveform height,
// but never less than a minimum: then the strips run past the time axis and
// the view scrolls them.
#pragma once

#include <vector>

namespace tessal {

class tdocument;

struct tstripplace {
    bool infovisible = true;  // information line and show box
    int infotop = 0;
    bool wavevisible = true;  // amplitude axis and waveform area
    int wavetop = 0;
    int waveheight = 0;
};

struct tviewlayout {
    std::vector<tstripplace> strips;
    int waveheight = 40;
    // The least panel height that keeps every waveform 10 pixels high:
    // N * textheight + 10 * n + time-axis height.
    int minpanelheight = 0;
    // Where the last strip ends: more than the top of the time axis when
    // the minimum waveform height made the strips taller than the room.
    int contentheight = 0;
    // The room was too small for the minimum waveform height: the strips
    // need scrolling.
    bool scrolls = false;
};

// The smallest waveform height a strip is squeezed to before the view
// scrolls; enough for the label strip, a trace and the marks' handles.
inline constexpr int min_wave_height = 40;

// visible[i]: channel i shown. xaxistop: top of the time axis in the panel.
// hidehiddeninfo: "Hide all information for hidden channels".
// minwaveheight: see min_wave_height (1 lets strips shrink without bound).
tviewlayout layout_channels(const std::vector<bool>& visible, int textpaintheight, int xaxistop,
                            int xaxisheight, bool hidehiddeninfo, int minwaveheight = 1);

// Width of the column left of the waveforms (amplitude axes, show boxes)
// and so the left offset of the time axis: the channel axis width from the
// axis font, widened when the largest channel number would reach the show
// box's notes icon. It depends on the font and the channel count only, so
// it is the same however the channels came in.
int channel_column_width(const tdocument& doc);

}  // namespace tessal
