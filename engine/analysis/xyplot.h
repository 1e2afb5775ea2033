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
class tsampleview;

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

// The same grid made a part at a time, so a window can draw a long span in
// slices between events and never freeze: begin() clears the grid, each
// step() adds up to `maxsamples` further samples (continuing the polyline
// where the last step left it) and says whether the span is done. The grid
// after the last step equals xy_raster's.
class txyrasterizer {
public:
    void begin(txyrange r, int width, int height, bool lines);
    bool step(const tchannel& x, const tchannel& y, const TAxis& xaxis, const TAxis& yaxis,
              long long maxsamples);
    // The same from views of the channels (a worker's slices of their
    // stores, each view's shifted indices being the channel's).
    bool step(const tsampleview& x, const tsampleview& y, const TAxis& xaxis, const TAxis& yaxis,
              long long maxsamples);
    bool done() const { return next_ > r_.last; }
    // The fraction of the span drawn so far.
    double fraction() const;
    const std::vector<std::uint8_t>& pixels() const { return px_; }
    int width() const { return w_; }
    int height() const { return h_; }

private:
    std::vector<std::uint8_t> px_;
    txyrange r_;
    long long next_ = 0;
    int w_ = 0, h_ = 0, px0_ = -1, py0_ = -1;
    bool lines_ = true;
};

// What the pairs of a span hold: how many, each channel's smallest and
// largest value, and Pearson's r of x and y (0 when either is constant or
// there are fewer than two pairs). Read a block at a time, so an hour of
// two channels needs no more memory than a block of each.
struct txysummary {
    long long pairs = 0;
    double xmin = 0, xmax = 0, ymin = 0, ymax = 0;
    double r = 0;
};
txysummary xy_summary(const tsampleview& x, const tsampleview& y, txyrange r);

// `to` maps values to pixels as `from` does (position, size, ends, bounds
// and kinds), for a worker that must not read the window's own axis.
void copy_axis_mapping(const TAxis& from, TAxis& to);

}  // namespace tessal
