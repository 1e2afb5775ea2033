// Where the channel strips of the signal panel go: for every channel the top
// of its information line and show box, and the top and height of its
// amplitude axis and waveform area. Channels stack from y = 2 down to the
// top of the time axis; every visible channel gets the same waveform height.
#pragma once

#include <vector>

namespace tessal {

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
};

// visible[i]: channel i shown. xaxistop: top of the time axis in the panel.
// hidehiddeninfo: "Hide all information for hidden channels".
tviewlayout layout_channels(const std::vector<bool>& visible, int textpaintheight, int xaxistop,
                            int xaxisheight, bool hidehiddeninfo);

}  // namespace tessal
