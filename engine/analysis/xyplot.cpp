#include "engine/analysis/xyplot.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "engine/core/taxis.h"
#include "engine/analysis/spectrum.h"
#include "engine/core/tchannel.h"

namespace tessal {

txyrange xy_range(const tchannel& x, const tchannel& y, txyspan what, double selleft,
                  double selright, double winleft, double winright) {
    txyrange r;
    const double fs = x.sampfreq;
    if (!(fs > 0) || y.sampfreq != fs || x.sample_count() == 0 || y.sample_count() == 0) return r;
    auto idx = [&](double t) {
        const double v = std::round(t * fs);
        return static_cast<long long>(std::clamp(v, -9e15, 9e15));
    };
    switch (what) {
    case txyspan::selection:
        r.first = idx(selleft);
        r.last = idx(selright);
        break;
    case txyspan::window:
        r.first = idx(winleft);
        r.last = idx(winright);
        break;
    case txyspan::entire:
        r.first = 0;
        r.last = x.sample_count() - 1;
        break;
    }
    for (const tchannel* c : {&x, &y}) {
        r.first = std::max(r.first, c->xshift);
        r.last = std::min(r.last, c->sample_count() - 1 + c->xshift);
    }
    return r;
}

namespace {

void line(std::vector<std::uint8_t>& px, int w, int x0, int y0, int x1, int y1) {
    const int dx = std::abs(x1 - x0), dy = -std::abs(y1 - y0);
    const int sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
    int err = dx + dy;
    for (;;) {
        px[static_cast<size_t>(y0) * w + x0] = 1;
        if (x0 == x1 && y0 == y1) break;
        const int e2 = 2 * err;
        if (e2 >= dy) err += dy, x0 += sx;
        if (e2 <= dx) err += dx, y0 += sy;
    }
}

}  // namespace

std::vector<std::uint8_t> xy_raster(const tchannel& x, const tchannel& y, txyrange r,
                                    const TAxis& xaxis, const TAxis& yaxis, int width, int height,
                                    bool lines) {
    txyrasterizer g;
    g.begin(r, width, height, lines);
    g.step(x, y, xaxis, yaxis, r.empty() ? 0 : r.last - r.first + 1);
    return g.pixels();
}

void txyrasterizer::begin(txyrange r, int width, int height, bool lines) {
    w_ = std::max(width, 0);
    h_ = std::max(height, 0);
    px_.assign(static_cast<size_t>(w_) * h_, 0);
    r_ = w_ > 0 && h_ > 0 ? r : txyrange{};
    next_ = r_.first;
    px0_ = py0_ = -1;
    lines_ = lines;
}

double txyrasterizer::fraction() const {
    if (r_.empty()) return 1;
    return static_cast<double>(next_ - r_.first) / static_cast<double>(r_.last - r_.first + 1);
}

bool txyrasterizer::step(const tchannel& x, const tchannel& y, const TAxis& xaxis,
                         const TAxis& yaxis, long long maxsamples) {
    return step(sample_view(x), sample_view(y), xaxis, yaxis, maxsamples);
}

bool txyrasterizer::step(const tsampleview& x, const tsampleview& y, const TAxis& xaxis,
                         const TAxis& yaxis, long long maxsamples) {
    if (done()) return true;
    const long long end = std::min(r_.last, next_ + std::max(maxsamples, 1LL) - 1);
    const int width = w_, height = h_;
    // The two channels are read side by side in bounded buffers; the last
    // pixel carries from one buffer to the next (and from one step to the next).
    constexpr long long bufsamples = 65536;
    const auto bufsize = static_cast<std::size_t>(std::min(bufsamples, end - next_ + 1));
    std::vector<float> xb(bufsize), yb(bufsize);
    for (long long from = next_; from <= end; from += bufsamples) {
        const auto n = static_cast<std::size_t>(std::min(bufsamples, end - from + 1));
        x.read(from, static_cast<long long>(n), xb.data());  // from is a shifted index
        y.read(from, static_cast<long long>(n), yb.data());
        for (std::size_t k = 0; k < n; ++k) {
            const int pxi = std::clamp(xaxis.value_to_pixel(xb[k]), 0, width - 1);
            const int pyi = std::clamp(yaxis.value_to_pixel(yb[k]), 0, height - 1);
            if (pxi == px0_ && pyi == py0_) continue;  // the same pixel as before
            if (lines_) {
                if (px0_ < 0) px_[static_cast<size_t>(pyi) * width + pxi] = 1;
                else line(px_, width, px0_, py0_, pxi, pyi);
            } else {
                // A 2 x 2 square, moved inside at the right and bottom edges.
                const int a = std::min(pxi, width - 2), b = std::min(pyi, height - 2);
                for (int v = std::max(b, 0); v <= b + 1; ++v)
                    for (int u = std::max(a, 0); u <= a + 1; ++u)
                        px_[static_cast<size_t>(v) * width + u] = 1;
            }
            px0_ = pxi;
            py0_ = pyi;
        }
    }
    next_ = end + 1;
    return done();
}

txysummary xy_summary(const tsampleview& x, const tsampleview& y, txyrange r) {
    txysummary s;
    if (r.empty()) return s;
    // Means and co-moments updated block by block (Chan et al.'s merge of
    // partial sums), which keeps r exact to rounding for a long span of
    // signals far from zero.
    double mx = 0, my = 0, sxx = 0, syy = 0, sxy = 0;
    long long n = 0;
    constexpr long long bufsamples = 65536;
    const auto bufsize = static_cast<std::size_t>(std::min(bufsamples, r.last - r.first + 1));
    std::vector<float> xb(bufsize), yb(bufsize);
    for (long long from = r.first; from <= r.last; from += bufsamples) {
        const long long m = std::min(bufsamples, r.last - from + 1);
        x.read(from, m, xb.data());
        y.read(from, m, yb.data());
        double bx = 0, by = 0;
        for (long long k = 0; k < m; ++k) {
            bx += xb[static_cast<std::size_t>(k)];
            by += yb[static_cast<std::size_t>(k)];
        }
        bx /= static_cast<double>(m);
        by /= static_cast<double>(m);
        double bxx = 0, byy = 0, bxy = 0;
        for (long long k = 0; k < m; ++k) {
            const double u = xb[static_cast<std::size_t>(k)], v = yb[static_cast<std::size_t>(k)];
            if (n == 0 && k == 0) s.xmin = s.xmax = u, s.ymin = s.ymax = v;
            s.xmin = std::min(s.xmin, u);
            s.xmax = std::max(s.xmax, u);
            s.ymin = std::min(s.ymin, v);
            s.ymax = std::max(s.ymax, v);
            bxx += (u - bx) * (u - bx);
            byy += (v - by) * (v - by);
            bxy += (u - bx) * (v - by);
        }
        const double na = static_cast<double>(n), nb = static_cast<double>(m), nt = na + nb;
        const double dx = bx - mx, dy = by - my;
        sxx += bxx + dx * dx * na * nb / nt;
        syy += byy + dy * dy * na * nb / nt;
        sxy += bxy + dx * dy * na * nb / nt;
        mx += dx * nb / nt;
        my += dy * nb / nt;
        n += m;
    }
    s.pairs = n;
    const double d = std::sqrt(sxx * syy);
    s.r = n >= 2 && sxx > 0 && syy > 0 && d > 0 ? sxy / d : 0;
    return s;
}

void copy_axis_mapping(const TAxis& from, TAxis& to) {
    to.SetPosition(from.GetPosition());
    to.SetWidth(from.GetWidth());
    to.SetHeight(from.GetHeight());
    to.restore_scale_state(from.scale_state());
}

}  // namespace tessal
