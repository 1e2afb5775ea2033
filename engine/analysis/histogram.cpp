#include "engine/analysis/histogram.h"

#include <algorithm>
#include <deque>
#include <cmath>
#include <limits>
#include <numbers>

#include "engine/core/tchannel.h"
#include "engine/core/tdocument.h"
#include "engine/dsp/numformat.h"
#include "engine/jobs/jobline.h"
#include "engine/store/samplestore.h"

namespace tessal {

namespace {

long long clamp_index(double v, long long last) {
    if (!(v > 0)) return 0;  // also NaN
    if (v >= static_cast<double>(last)) return last;
    return static_cast<long long>(v);
}

// Samples s..e-1 of the stretch; empty when there is nothing to count.
std::pair<long long, long long> stretch(const tchannel& ch, double L, double R) {
    const long long count = ch.sample_count();
    if (count == 0 || !(ch.fsd() > 0) || !(ch.sampfreq > 0)) return {0, 0};
    const double xs = static_cast<double>(ch.xshift);
    long long s = clamp_index(std::round(L * ch.sampfreq - xs), count - 1);
    long long e = clamp_index(std::round(R * ch.sampfreq - xs), count - 1);
    if (e < s) std::swap(s, e);
    return {s, e + 1};
}

}  // namespace

thistogram amplitude_histogram(const tchannel& ch, double L, double R) {
    thistogram hist(histogram_bins, 0.0);
    const auto [s, e] = stretch(ch, L, R);
    const double scale = 32767.0 / ch.fsd();
    if (e <= s) return hist;
    ch.for_each_chunk(s, e, [&](const float* p, std::size_t n, std::int64_t) {
        for (std::size_t i = 0; i < n; ++i) {
            const double b = std::round(p[i] * scale);
            if (std::isnan(b)) continue;
            const int bin = static_cast<int>(std::clamp(b, -32768.0, 32767.0));
            hist[bin + 32768] += 1.0;
        }
    });
    return hist;
}

tanalysiskey histogram_key(const tchannel& ch, int chno, double L, double R) {
    const auto [s, e] = stretch(ch, L, R);
    return {chno, s, e, {ch.fsd()}};
}

const thistogram& selection_histogram(tanalysiscache<thistogram>& cache, const tdocument& doc,
                                      int chno) {
    const double L = doc.theglobal.leftselcursor(), R = doc.theglobal.rightselcursor();
    const tchannel& ch = doc.channel(chno);
    return cache.get(histogram_key(ch, chno, L, R),
                     [&] { return amplitude_histogram(ch, L, R); });
}

// ------------------------------------------------ value histograms

void add_to_bins(std::vector<double>& bins, const float* x, long long n, double u, double lo,
                 double hi, tbinning method) {
    const long long nb = static_cast<long long>(bins.size());
    if (nb < 2 || !(hi > lo) || n <= 0) return;
    const double scale = static_cast<double>(nb - 1) / (hi - lo);
    auto pos = [&](float v) { return (static_cast<double>(v) - lo) * scale; };
    // Bin indices come from floor, so positions just below 0 fall outside.
    auto in = [&](double k) { return k >= 0 && k < static_cast<double>(nb); };
    switch (method) {
    case tbinning::nearest:
        for (long long s = 0; s < n; ++s) {
            const double k = std::round(pos(x[s]));
            if (in(k)) bins[static_cast<size_t>(k)] += u;
        }
        break;
    case tbinning::two_nearest:
        for (long long s = 0; s < n; ++s) {
            const double P = pos(x[s]);
            const double k = std::floor(P);
            if (!in(k) || !in(k + 1)) continue;
            const double f = P - k;
            const auto i = static_cast<size_t>(k);
            bins[i] += (1 - f) * u;
            bins[i + 1] += f * u;
        }
        break;
    case tbinning::pairs:
        for (long long s = 0; s + 1 < n; ++s) {
            double D = pos(x[s]), F = pos(x[s + 1]);
            if (F < D) std::swap(D, F);
            const double fi = std::floor(D), fj = std::floor(F) + 1;
            if (!in(fi) || !in(fj)) continue;
            const auto i = static_cast<size_t>(fi), j = static_cast<size_t>(fj);
            if (i + 1 == j) {
                const double K = (D + F) / 2;
                bins[i] += u * (fj - K);
                bins[j] += u * (K - fi);
                continue;
            }
            const double G = u / (F - D);
            const double e = fi + 1 - D, g = F - (fj - 1);
            bins[i] += G * e * e / 2;
            bins[i + 1] += G * e * (1 - e / 2);
            for (size_t k = i + 1; k + 2 <= j; ++k) {
                bins[k] += G / 2;
                bins[k + 1] += G / 2;
            }
            bins[j - 1] += G * g * (1 - g / 2);
            bins[j] += G * g * g / 2;
        }
        break;
    }
}

namespace {

// The bins of samples given piece by piece in sample order by
// `walk(visit)`, visit(const float* p, std::size_t n) per piece: the sums
// come out as over one array; for pairs, the pair across each piece end is
// added between the pieces. Pieces longer than a block are cut, and with a
// job each block is a point to stop at and to report `done(samples)`.
template <class Walk>
std::vector<double> bins_of_pieces(int nbins, double fs, double lo, double hi, tbinning method,
                                   long long total, tjobcontext* job, double p0, double p1,
                                   Walk&& walk) {
    if (nbins < 1) nbins = 100;
    nbins = std::max(nbins, 2);
    std::vector<double> bins(static_cast<size_t>(nbins), 0.0);
    if (!(fs > 0) || total <= 0) return bins;
    const double u = 1.0 / fs;
    float prev = 0;
    bool haveprev = false;
    long long done = 0;
    constexpr std::size_t block = 1 << 16;
    walk([&](const float* p, std::size_t n) {
        for (std::size_t at = 0; at < n; at += block) {
            if (job) {
                job->check();
                job->progress(p0 + (p1 - p0) * static_cast<double>(done) / static_cast<double>(total));
            }
            const std::size_t m = std::min(block, n - at);
            if (method == tbinning::pairs && haveprev) {
                const float across[2] = {prev, p[at]};
                add_to_bins(bins, across, 2, u, lo, hi, method);
            }
            add_to_bins(bins, p + at, static_cast<long long>(m), u, lo, hi, method);
            prev = p[at + m - 1];
            haveprev = true;
            done += static_cast<long long>(m);
        }
    });
    return bins;
}

}  // namespace

thistspan value_histogram_span(const tchannel& ch, double L, double R) {
    if (ch.sample_count() == 0 || !(ch.sampfreq > 0)) return {};
    const double xs = static_cast<double>(ch.xshift);
    const long long last = ch.sample_count() - 1;
    long long a = clamp_index(std::round(L * ch.sampfreq - xs), last);
    long long b = clamp_index(std::round(R * ch.sampfreq - xs), last);
    if (b < a) std::swap(a, b);
    return {a, b + 1};
}

std::vector<double> value_histogram(const tchannel& ch, double L, double R, double lo,
                                    double hi, int nbins, tbinning method) {
    const thistspan sp = value_histogram_span(ch, L, R);
    return bins_of_pieces(nbins, ch.sampfreq, lo, hi, method, sp.last - sp.first, nullptr, 0, 1,
                          [&](auto&& visit) {
                              ch.for_each_chunk(sp.first, sp.last,
                                                [&](const float* p, std::size_t n, std::int64_t) { visit(p, n); });
                          });
}

std::vector<double> value_histogram(const tsamplestore& samples, double fs, double lo, double hi,
                                    int nbins, tbinning method, tjobcontext* job, double p0,
                                    double p1) {
    return bins_of_pieces(nbins, fs, lo, hi, method, samples.size(), job, p0, p1, [&](auto&& visit) {
        samples.for_each_chunk(0, samples.size(),
                               [&](const float* p, std::size_t n, std::int64_t) { visit(p, n); });
    });
}

std::vector<double> kernel_coefficients(tkernel kernel, int W) {
    if (kernel == tkernel::none) return {};
    W = std::max(W, 2);
    std::vector<double> c(static_cast<size_t>(W));
    for (int i = 0; i < W; ++i) {
        const double x = static_cast<double>(i) / (W - 1);
        switch (kernel) {
        case tkernel::rectangle: c[i] = 0.5; break;
        case tkernel::triangle: c[i] = std::max(0.0, 1 - x); break;
        case tkernel::parabolic: c[i] = std::max(0.0, 0.75 * (1 - x * x)); break;
        case tkernel::hanning: c[i] = std::max(0.0, std::cos(std::numbers::pi * x) + 1); break;
        case tkernel::none: break;
        }
    }
    double sum = c[0];
    for (int i = 1; i < W; ++i) sum += 2 * c[i];
    for (double& v : c) v /= sum;
    return c;
}

std::vector<double> smooth_bins(const std::vector<double>& bins, tkernel kernel, int W,
                                tjobcontext* job, double p0, double p1) {
    const std::vector<double> c = kernel_coefficients(kernel, W);
    if (c.empty()) return bins;
    const long long n = static_cast<long long>(bins.size());
    const long long w = static_cast<long long>(c.size());
    std::vector<double> out(bins.size(), 0.0);
    for (long long i = 0; i < n; ++i) {
        if (job && i % 1024 == 0) {
            job->check();
            job->progress(p0 + (p1 - p0) * static_cast<double>(i) / static_cast<double>(n));
        }
        double v = c[0] * bins[i];
        for (long long j = 1; j < w; ++j) {
            if (i + j < n) v += c[j] * bins[i + j];
            if (i - j >= 0) v += c[j] * bins[i - j];
        }
        out[i] = v;
    }
    return out;
}

double bin_width(double lo, double hi, int nbins) {
    return (hi - lo) / std::max(nbins - 1, 1);
}

thiststats bin_statistics(const std::vector<double>& bins, double lo, double hi) {
    thiststats st;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const size_t n = bins.size();
    double T = 0, sx = 0, best = -1;
    size_t besti = 0;
    auto xat = [&](size_t i) { return lo + static_cast<double>(i) / (n - 1) * (hi - lo); };
    for (size_t i = 0; i < n; ++i) {
        T += bins[i];
        sx += xat(i) * bins[i];
        if (bins[i] > best) best = bins[i], besti = i;
    }
    st.total = T;
    if (n < 2 || !(T > 0)) {
        st.average = st.mode = nan;
        st.percentiles.fill(nan);
        return st;
    }
    st.average = sx / T;
    st.mode = xat(besti);
    double run = 0;
    size_t i = 0;
    for (size_t p = 0; p < percentile_fractions.size(); ++p) {
        const double target = percentile_fractions[p] * T;
        while (i < n && run + bins[i] < target) run += bins[i++];
        st.percentiles[p] = xat(std::min(i, n - 1));
    }
    return st;
}

std::string percentile_text(double fraction) {
    return float_to_text(std::round(fraction * 100 * 1e9) / 1e9);
}

thistlog histogram_stats_log(const std::vector<thistlogchannel>& chans,
                             const std::vector<int>& percentiles, int significant) {
    thistlog log;
    auto num = [&](double v) { return format_significant(significant, v); };
    auto add = [](std::string& s, const std::string& t) {
        if (!s.empty()) s += '\t';
        s += t;
    };
    for (const thistlogchannel& c : chans) {
        const std::string u = " [" + c.unit + "]";
        add(log.heading, "Channel");
        add(log.heading, "From [s]");
        add(log.heading, "To [s]");
        add(log.heading, "Bin width" + u);
        add(log.heading, "Kernel width" + u);
        add(log.heading, "Avg" + u);
        add(log.heading, "Mode" + u);
        add(log.heading, "Median" + u);
        for (int p : percentiles) add(log.heading, "p" + percentile_text(percentile_fractions[p]) + u);
        add(log.line, c.name);
        add(log.line, num(c.from));
        add(log.line, num(c.to));
        add(log.line, num(c.binwidth));
        add(log.line, std::isnan(c.kernelwidth) ? std::string("-") : num(c.kernelwidth));
        add(log.line, num(c.stats.average));
        add(log.line, num(c.stats.mode));
        add(log.line, num(c.stats.median()));
        for (int p : percentiles) add(log.line, num(c.stats.percentiles[p]));
    }
    return log;
}

std::vector<std::string> histogram_box_lines(const thistshow& show, const thiststats& s, double binwidth,
                                             double kernelwidth, const std::string& unit,
                                             const std::string& name) {
    const std::string u = " " + unit;
    auto num = [](double v) { return format_significant(5, v); };
    std::vector<std::string> lines;
    if (show.binwidth) lines.push_back("Bin width=" + num(binwidth) + u);
    if (show.kernelwidth)
        lines.push_back(std::isnan(kernelwidth) ? std::string("Kernel width= -") : "Kernel width=" + num(kernelwidth) + u);
    if (show.average) lines.push_back("Avg=" + num(s.average) + u);
    if (show.mode) lines.push_back("Mode=" + num(s.mode) + u);
    if (show.median) lines.push_back("Median=" + num(s.median()) + u);
    for (std::size_t i = 0; i < percentile_fractions.size(); ++i)
        if (show.percentiles[i])
            lines.push_back("p" + percentile_text(percentile_fractions[i]) + "=" + num(s.percentiles[i]) + u);
    if (show.name) lines.push_back(name);
    return lines;
}

int stats_text_column(const std::vector<double>& colmax, int textw, double& under) {
    const int n = static_cast<int>(colmax.size());
    under = 0;
    if (n == 0) return 0;
    textw = std::clamp(textw, 1, n);
    int best = 0;
    double bestv = std::numeric_limits<double>::infinity();
    // Sliding maximum over the text's span (a deque of candidate columns).
    std::deque<int> q;
    for (int x = 0; x < n; ++x) {
        while (!q.empty() && colmax[static_cast<std::size_t>(q.back())] <= colmax[static_cast<std::size_t>(x)])
            q.pop_back();
        q.push_back(x);
        if (q.front() <= x - textw) q.pop_front();
        if (x >= textw - 1) {
            const double m = colmax[static_cast<std::size_t>(q.front())];
            if (m < bestv) {
                bestv = m;
                best = x - textw + 1;
            }
        }
    }
    under = bestv;
    return best;
}

double histogram_autoscale_top(double top, double under, double textfraction) {
    const double f = std::clamp(textfraction, 0.0, 0.75);
    double hi = 1.05 * top;
    if (under > 0) hi = std::max(hi, 1.02 * under / (1 - f));
    return hi;
}

}  // namespace tessal
