#include "engine/view/viewlayout.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "engine/core/tdocument.h"

namespace tessal {

tviewlayout layout_channels(const std::vector<bool>& visible, int t, int xaxistop,
                            int xaxisheight, bool hidehiddeninfo, int minwaveheight) {
    tviewlayout out;
    const int N = static_cast<int>(visible.size());
    const int n = static_cast<int>(std::count(visible.begin(), visible.end(), true));
    out.minpanelheight = N * t + 10 * n + xaxisheight;
    int h = 40;
    if (n > 0) {
        double avail = hidehiddeninfo ? (xaxistop - 2.0) / n - t : (xaxistop - 2.0 - N * t) / n;
        h = static_cast<int>(std::lround(avail));
    }
    // A panel squeezed below its minimum still gets drawable strips.
    out.scrolls = n > 0 && h < minwaveheight;
    h = std::max(h, std::max(minwaveheight, 1));
    out.waveheight = h;
    int y = 2;
    out.strips.resize(N);
    for (int i = 0; i < N; ++i) {
        tstripplace& s = out.strips[i];
        s.infotop = y;
        s.waveheight = h;
        if (visible[i]) {
            s.infovisible = true;
            s.wavevisible = true;
            s.wavetop = y + t;
            y += t + h;
        } else {
            s.wavevisible = false;
            s.infovisible = !hidehiddeninfo;
            s.wavetop = y + t;
            if (!hidehiddeninfo) y += t;
        }
    }
    out.contentheight = y;
    return out;
}

int channel_column_width(const tdocument& doc) {
    const ttextmetrics& m = doc.theglobal.axisfont();
    // The show box draws the number from x = 2; its notes icon starts 35
    // pixels before the right edge. Keep a 3-pixel gap between them.
    const int last = std::max(0, doc.totnchans() - 1);
    const int fornumber = 2 + m.text_width(std::to_string(last)) + 3 + 35;
    return std::max(doc.theglobal.channelaxiswidth(), fornumber);
}

}  // namespace tessal
