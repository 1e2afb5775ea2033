// The waveform layer of one channel: background, grid, zero and FSD lines
// and the trace in cache, raw or sample-marker mode, with optional
// antialiasing. It is drawn into an image at device resolution, so a
// high-density screen gets one column per device pixel. The column numbers
// come from the engine (waveformcolumns.h); this file only sets pixels.
#pragma once

#include <QImage>
#include <optional>
#include <vector>

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

// Redraws `bmp` (resized as needed). Returns the mode used. In raw mode,
// `rawcols` (when given) are the columns raw_layer_columns computed for the
// same input, and the samples are not read again.
tdrawmode render_waveform_layer(QImage& bmp, const tlayerinput& in,
                                const std::vector<twavecolumn>* rawcols = nullptr);

// What the raw columns of a layer read: the channel's samples
// [first, last) and how they map onto the layer's columns. Everything is a
// copy, so the columns can be computed on another thread.
struct trawlayerjob {
    long long first = 0;
    long long last = 0;
    long long xshift = 0;  // of sample `first`
    double sampfreq = 0;
    tcolumnmap map;
    bool skipjumps = false;
    double axislo = 0, axishi = 0;
};

// The raw columns' input when `in` draws its trace in raw mode from at
// least `min_samples` samples; nothing otherwise (cache or marker mode,
// nothing to draw, or few samples).
std::optional<trawlayerjob> long_raw_layer(const tlayerinput& in, long long min_samples);

// The columns of `job` from `samples`, the channel's samples job.first ..
// job.last - 1 (`n` of them).
std::vector<twavecolumn> raw_layer_columns(const trawlayerjob& job, const float* samples, std::size_t n);

}  // namespace tessal
