#include "engine/view/waveformcolumns.h"

#include <algorithm>
#include <cmath>

#include "engine/core/tchannel.h"

namespace tessal {

namespace {

// round() that refuses values no index can hold (NaN, infinities, beyond
// 9e18), so a wild axis range leaves columns empty instead of overflowing.
bool index_of(double v, long long& out) {
    double r = std::round(v);
    if (!(std::fabs(r) < 9e18)) return false;
    out = static_cast<long long>(r);
    return true;
}

// Widens lo and hi to the n values from[i] (their lows) and to[i] (their
// highs) in `Lanes` independent lanes: a single running min/max is bound by
// the latency of one compare per value; lanes let the compiler keep the loop
// in vector registers, one vector min and one max a step.
template <int Lanes, class Low, class High>
void scan_lanes(std::size_t n, float& lo, float& hi, Low low_at, High high_at) {
    float l[Lanes], h[Lanes];
    for (int j = 0; j < Lanes; ++j) {
        l[j] = lo;
        h[j] = hi;
    }
    std::size_t i = 0;
    for (; i + Lanes <= n; i += Lanes)
        for (int j = 0; j < Lanes; ++j) {
            l[j] = low_at(i + j) < l[j] ? low_at(i + j) : l[j];
            h[j] = high_at(i + j) > h[j] ? high_at(i + j) : h[j];
        }
    for (; i < n; ++i) {
        l[0] = low_at(i) < l[0] ? low_at(i) : l[0];
        h[0] = high_at(i) > h[0] ? high_at(i) : h[0];
    }
    for (int j = 0; j < Lanes; ++j) {
        lo = std::min(lo, l[j]);
        hi = std::max(hi, h[j]);
    }
}

// Min and max over a run of pairs, in four lanes of (lo, hi).
void scan_pairs(const tsinglepair* p, std::size_t n, float& lo, float& hi) {
    scan_lanes<4>(n, lo, hi, [p](std::size_t i) { return p[i].lo; }, [p](std::size_t i) { return p[i].hi; });
}

// Min and max over a run of samples, in eight lanes.
void scan_samples(const float* s, std::size_t n, float& lo, float& hi) {
    scan_lanes<8>(n, lo, hi, [s](std::size_t i) { return s[i]; }, [s](std::size_t i) { return s[i]; });
}

}  // namespace

tdrawmode choose_drawmode(double span_s, double sampfreq, int width, bool quickdraw,
                          bool showsamples) {
    const double samples = span_s * sampfreq;
    if (quickdraw && samples / sigcache_blocksize > 4.0 * width) return tdrawmode::cache;
    if (showsamples && samples < 5.0 * width) return tdrawmode::markers;
    return tdrawmode::raw;
}

// --- coarser levels -----------------------------------------------------------

void tminmaxpyramid::build(const std::vector<tsinglepair>& cache) {
    base_ = cache.data();
    nbase_ = cache.size();
    levels_.clear();
    const tsinglepair* below = cache.data();
    std::size_t nbelow = cache.size();
    while (nbelow >= 2 * fanout) {
        std::vector<tsinglepair> level((nbelow + fanout - 1) / fanout);
        for (std::size_t g = 0; g < level.size(); ++g) {
            std::size_t from = g * fanout;
            std::size_t cnt = std::min<std::size_t>(fanout, nbelow - from);
            float lo = 1e38f, hi = -1e38f;
            scan_pairs(below + from, cnt, lo, hi);
            level[g] = {lo, hi};
        }
        levels_.push_back(std::move(level));
        below = levels_.back().data();
        nbelow = levels_.back().size();
    }
}

void tminmaxpyramid::range(std::size_t a, std::size_t b, float& lo, float& hi) const {
    const tsinglepair* data = base_;
    std::size_t level = 0;  // the level above `data`
    for (;;) {
        if (a > b) return;
        if (level >= levels_.size() || b - a + 1 < 2 * fanout) {
            scan_pairs(data + a, b - a + 1, lo, hi);
            return;
        }
        // Ragged head and tail at this level, the aligned middle one level up.
        std::size_t ha = (a + fanout - 1) / fanout * fanout;
        std::size_t tb = (b + 1) / fanout * fanout;  // first index of the ragged tail
        scan_pairs(data + a, ha - a, lo, hi);
        scan_pairs(data + tb, b + 1 - tb, lo, hi);
        a = ha / fanout;
        b = tb / fanout - 1;
        data = levels_[level].data();
        ++level;
    }
}

// --- columns ------------------------------------------------------------------

std::vector<twavecolumn> cache_columns(const std::vector<tsinglepair>& cache, long long xshift,
                                       double sampfreq, const tcolumnmap& map,
                                       const tminmaxpyramid* pyramid) {
    std::vector<twavecolumn> cols(std::max(map.ncolumns, 0));
    if (map.ncolumns < 2) return cols;
    if (pyramid && !pyramid->built_for(cache)) pyramid = nullptr;
    const long long shift = xshift / sigcache_blocksize;  // truncates like Pascal div
    const long long ncache = static_cast<long long>(cache.size());
    const double perblock = sampfreq / sigcache_blocksize;
    long long b = 0;
    bool bvalid = index_of(map.time(0) * perblock, b);
    for (int x = 1; x < map.ncolumns; ++x) {
        long long e = 0;
        bool evalid = index_of(map.time(x) * perblock, e);
        if (bvalid && evalid) {
            long long k0 = std::min(b, e) - shift, k1 = std::max(b, e) - shift;
            if (k0 >= 0 && k1 < ncache) {
                float lo = 1e38f, hi = -1e38f;
                if (pyramid)
                    pyramid->range(static_cast<std::size_t>(k0), static_cast<std::size_t>(k1), lo,
                                   hi);
                else
                    scan_pairs(cache.data() + k0, static_cast<std::size_t>(k1 - k0 + 1), lo, hi);
                // Blocks holding no sample (the cache's last block when the
                // length is a multiple of 200, or all skipped) keep their
                // sentinels; such a column has nothing to show.
                if (hi >= lo) cols[x] = {lo, hi, true};
            }
        }
        b = e;
        bvalid = evalid;
    }
    return cols;
}

std::vector<twavecolumn> raw_columns(const float* sig, std::size_t n, long long xshift,
                                     double sampfreq, const tcolumnmap& map, bool skipjumps,
                                     double axislo, double axishi) {
    std::vector<twavecolumn> cols(std::max(map.ncolumns, 0));
    if (map.ncolumns < 2) return cols;
    const long long nn = static_cast<long long>(n);
    long long b = 0;
    bool bvalid = index_of(map.time(0) * sampfreq, b);
    for (int x = 1; x < map.ncolumns; ++x) {
        long long e = 0;
        bool evalid = index_of(map.time(x) * sampfreq, e);
        if (bvalid && evalid) {
            long long i0 = std::min(b, e) - xshift, i1 = std::max(b, e) - xshift;
            if (i0 >= 0 && i1 < nn) {
                float lo = 1e38f, hi = -1e38f;
                if (!skipjumps) {
                    scan_samples(sig + i0, static_cast<std::size_t>(i1 - i0 + 1), lo, hi);
                } else {
                    for (long long i = i0; i <= i1; ++i) {
                        double v = sig[i];
                        if (axislo < v && v < axishi) {
                            lo = std::min(lo, sig[i]);
                            hi = std::max(hi, sig[i]);
                        }
                    }
                }
                if (hi >= lo) cols[x] = {lo, hi, true};
            }
        }
        b = e;
        bvalid = evalid;
    }
    return cols;
}

tindexrange marker_range(std::size_t n, long long xshift, double sampfreq, double lo, double hi) {
    tindexrange r;
    long long a = 0, b = 0;
    if (n == 0 || !index_of(lo * sampfreq - static_cast<double>(xshift), a) ||
        !index_of(hi * sampfreq - static_cast<double>(xshift), b))
        return r;
    r.first = std::max(a, 0LL);
    r.last = std::min(b, static_cast<long long>(n) - 1);
    if (r.first > r.last) r = {};
    return r;
}

taaline antialias_run(double top, double bottom) {
    if (bottom < top) std::swap(top, bottom);
    taaline r;
    r.top = static_cast<int>(std::floor(top));
    r.bottom = static_cast<int>(std::floor(bottom));
    if (r.top == r.bottom) {
        // The whole run lies in one pixel: its length is its coverage, but
        // never so faint that a flat stretch of signal disappears.
        r.topcover = r.bottomcover = std::clamp(bottom - top, 0.5, 1.0);
        return r;
    }
    r.topcover = 1.0 - (top - r.top);
    r.bottomcover = bottom - r.bottom;
    return r;
}

TColor blend_color(TColor pen, TColor background, double cover) {
    cover = std::clamp(cover, 0.0, 1.0);
    TColor out = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        double bg = (background >> shift) & 0xFF;
        double pc = (pen >> shift) & 0xFF;
        long c = std::lround(bg - (bg - pc) * cover);
        c = std::clamp(c, 0L, 255L);
        out |= static_cast<TColor>(c) << shift;
    }
    return out;
}

}  // namespace tessal
