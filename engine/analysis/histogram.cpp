#include "engine/analysis/histogram.h"

#include <algorithm>
#include <cmath>

#include "engine/core/tchannel.h"
#include "engine/core/tdocument.h"

namespace tessal {

namespace {

long long clamp_index(double v, long long last) {
    if (!(v > 0)) return 0;  // also NaN
    if (v >= static_cast<double>(last)) return last;
    return static_cast<long long>(v);
}

// Samples s..e-1 of the stretch; empty when there is nothing to count.
std::pair<long long, long long> stretch(const tchannel& ch, double L, double R) {
    const long long count = static_cast<long long>(ch.sig.size());
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
    for (long long i = s; i < e; ++i) {
        const double b = std::round(ch.sig[i] * scale);
        if (std::isnan(b)) continue;
        const int bin = static_cast<int>(std::clamp(b, -32768.0, 32767.0));
        hist[bin + 32768] += 1.0;
    }
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

}  // namespace tessal
