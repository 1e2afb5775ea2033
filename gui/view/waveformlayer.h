// The waveform layer of one channel: background, grid, zero and FSD lines
// and the trace in cache, raw or sample-marker mode, with optional
// antialiasing. It is drawn into an image at device resolution, so a
// high-density screen gets one column per device pixel. The column numbers
// come from the engine (waveformcolumns.h); this file only sets pixels.
#pragma once

#include <QImage>

#include "engine/view/waveformcolumns.h"

namespace tessal {

class tdocument;
struct tviewstate;

struct tlayerinput {
    const tdocument* doc = nullptr;
    int chno = 0;
    const tviewstate* view = nullptr;
    int width = 0;   // logical pixels
    int height = 0;
    qreal dpr = 1;
    const tminmaxpyramid* pyramid = nullptr;  // built from the channel's cache, or null
};

// Redraws `bmp` (resized as needed). Returns the mode used.
tdrawmode render_waveform_layer(QImage& bmp, const tlayerinput& in);

}  // namespace tessal
