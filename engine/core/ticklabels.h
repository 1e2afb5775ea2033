// Which tick labels an axis prints so that no two of them touch, and the
// steps of a colour scale. Both the axes on screen and the figures a plot
// exports (the windows' and tessal-cli's) take their labels from here, so a
// label that would run into its neighbour ("0.2220.224") is never drawn.
#pragma once

#include <string>
#include <vector>

#include "engine/core/textmetrics.h"

namespace tessal {

// The room labels keep between them along the axis, in pixels.
constexpr int tick_label_gap = 4;

// Evenly spaced ticks (tick i at value first + i * step, i counted from a
// multiple of the step): keeps the labels of every k-th tick, k the
// smallest of 1, 2, 5, 10, 20, 50 ... whose labels (each `extents[i]`
// long, centred on `centres[i]`) leave `gap` pixels free between
// neighbours. Labels of the ticks dropped are emptied. `index0` is the
// first tick's value divided by the step (so the labels kept sit on round
// values: 0, 0.5, 1 rather than 0.1, 0.6, 1.1).
void thin_even_labels(std::vector<std::string>& labels, const std::vector<int>& centres,
                      const std::vector<int>& extents, long long index0, int gap = tick_label_gap);

// True when two non-empty labels (centred on `centres`, `extents` long)
// come closer than `gap` pixels: what the thinning rules out.
bool labels_overlap(const std::vector<std::string>& labels, const std::vector<int>& centres,
                    const std::vector<int>& extents, int gap = tick_label_gap);

// A colour scale beside a picture whose colours run from `lo` (the first
// colour) to `hi` (the last), `length` pixels long: its labelled values,
// round steps of 1, 2 or 5 times a power of ten chosen so that labels
// `labelextent` pixels high keep `gap` pixels between them, all within
// lo..hi, with the pixel of each from the low end (0 at lo, length - 1 at
// hi).
struct tcolourstep {
    double value = 0;
    int pixel = 0;
    std::string text;
};
std::vector<tcolourstep> colour_scale_steps(double lo, double hi, int length, int labelextent,
                                            int gap = tick_label_gap);

}  // namespace tessal
