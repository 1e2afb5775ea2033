// The pixel columns of a waveform: which cache blocks or samples fall into
// each column, their minimum and maximum, the drawing-mode choice and the
// antialiased end pixels. The painter only turns these numbers into pixels.
//
// Columns are numbered 0..n-1 with time(x) = t0 + x * dt seconds. Column 0
// only fixes where column 1 starts; columns 1..n-1 each span the blocks (or
// samples) from the previous column's end index to their own end index,
// inclusive, so adjacent columns share one block and the trace has no gaps.
// A column that reaches outside the data, or holds nothing but empty cache
// blocks, is not drawn.
#pragma once

#include <cstddef>
#include <vector>

#include "engine/core/colors.h"
#include "engine/core/tsiglabel.h"

namespace tessal {

enum class tdrawmode { cache, raw, markers };

// span_s: visible seconds; width: bitmap width in (logical) pixels.
tdrawmode choose_drawmode(double span_s, double sampfreq, int width, bool quickdraw,
                          bool showsamples);

struct twavecolumn {
    float min = 0;
    float max = 0;
    bool drawn = false;
};

struct tcolumnmap {
    double t0 = 0;     // time of column 0, seconds
    double dt = 0;     // seconds per column
    int ncolumns = 0;
    double time(int x) const { return t0 + x * dt; }
};

// Coarser min/max levels over a channel's 200-sample cache, so a column that
// spans thousands of blocks reads a few dozen pairs. Level k groups
// `fanout`^k cache blocks. Range queries give exactly the min/max of the
// cache blocks themselves; the cache stays the one source of truth and this
// is rebuilt from it whenever it may have changed.
class tminmaxpyramid {
public:
    static constexpr int fanout = 16;
    void build(const std::vector<tsinglepair>& cache);
    void clear() { levels_.clear(); base_ = nullptr; nbase_ = 0; }
    bool built_for(const std::vector<tsinglepair>& cache) const {
        return base_ == cache.data() && nbase_ == cache.size();
    }
    // Min of lo and max of hi over cache blocks [from, to] (inclusive,
    // within the cache the pyramid was built from).
    void range(std::size_t from, std::size_t to, float& lo, float& hi) const;

private:
    const tsinglepair* base_ = nullptr;
    std::size_t nbase_ = 0;
    std::vector<std::vector<tsinglepair>> levels_;  // levels_[0] groups fanout blocks
};

// Cache mode: block indices round(time(x) * sampfreq / 200), shifted by
// xshift div 200 into `cache`. `pyramid`, when given, must have been built
// from `cache`; it only speeds the scan up.
std::vector<twavecolumn> cache_columns(const std::vector<tsinglepair>& cache, long long xshift,
                                       double sampfreq, const tcolumnmap& map,
                                       const tminmaxpyramid* pyramid = nullptr);

// Raw mode: sample indices round(time(x) * sampfreq) - xshift. With
// skipjumps only samples strictly between axislo and axishi take part.
std::vector<twavecolumn> raw_columns(const float* sig, std::size_t n, long long xshift,
                                     double sampfreq, const tcolumnmap& map, bool skipjumps,
                                     double axislo, double axishi);

// Marker mode: the sample indices from round(lo * sampfreq - xshift) to
// round(hi * sampfreq - xshift), limited to the samples present.
// Empty (first > last) when none are.
struct tindexrange {
    long long first = 0;
    long long last = -1;
};
tindexrange marker_range(std::size_t n, long long xshift, double sampfreq, double lo, double hi);

// Antialiased vertical run between fractional positions top <= bottom
// (pixels from the top of the area). Pixels strictly between the two end
// pixels are solid; each end pixel is covered by the fraction of it that
// lies inside [top, bottom].
struct taaline {
    int top = 0;        // end pixel at the top
    int bottom = 0;     // end pixel at the bottom (== top for a one-pixel run)
    double topcover = 1;
    double bottomcover = 1;
};
taaline antialias_run(double top, double bottom);

// background - (background - pen) * cover per RGB component, rounded and
// kept within 0..255 (0x00BBGGRR colours).
TColor blend_color(TColor pen, TColor background, double cover);

}  // namespace tessal
