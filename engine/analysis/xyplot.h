// The xy-plot's numbers: which sample indices are plotted, and the plot as
// a grid of covered pixels. Drawing through the pixel grid keeps the work of
// a paint at one pass over the samples and one pass over the pixels, so an
// hour of two channels draws as fast as its screen area allows, however
// many samples fall on one pixel.
#pragma once

#include <cstdint>
#include <vector>

namespace tessal {

class tchannel;
class TAxis;

enum class txyspan { selection = 0, window = 1, entire = 2 };

// Sample indices first..last (inclusive, at the common rate); empty
// (last < first) when the rates differ or the span lies outside either
// channel's shifted samples.
struct txyrange {
    long long first = 0, last = -1;
    bool empty() const { return last < first; }
};
txyrange xy_range(const tchannel& x, const tchannel& y, txyspan what, double selleft,
                  double selright, double winleft, double winright);

// width x height bytes, row by row, 1 where the plot is drawn: with `lines`
// a polyline through the points (x sample, y sample) mapped by the axes and
// clamped to the edges, otherwise a 2 x 2 square on each point.
std::vector<std::uint8_t> xy_raster(const tchannel& x, const tchannel& y, txyrange r,
                                    const TAxis& xaxis, const TAxis& yaxis, int width, int height,
                                    bool lines);

}  // namespace tessal
