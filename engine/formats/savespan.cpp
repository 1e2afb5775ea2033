#include "engine/formats/savespan.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace tessal {

namespace {

long long time_index(double t, double rate) {
    double v = std::round(t * rate);
    const double lim = 9e18;
    return static_cast<long long>(std::clamp(v, -lim, lim));
}

}  // namespace

tfilespan file_span(const tdocument& doc, const std::vector<int>& chans, double from, double to) {
    tfilespan s;
    if (chans.empty()) return s;
    const double rate = doc.channel(chans.front()).sampfreq;
    if (from < to) {
        s.begin = time_index(from, rate);
        s.end = time_index(to, rate);
        return s;
    }
    long long lo = std::numeric_limits<long long>::max(), hi = std::numeric_limits<long long>::min();
    for (int c : chans) {
        const tchannel& ch = doc.channel(c);
        lo = std::min(lo, ch.xshift);
        hi = std::max(hi, ch.xshift + ch.sample_count());
    }
    s.begin = std::min(lo, 0LL);
    s.end = hi;
    return s;
}

tsavespan save_span_of(const tchannel& ch, double from, double to) {
    const long long n = ch.sample_count();
    if (!(from < to)) return {0, n};
    long long a = time_index(from, ch.sampfreq) - ch.xshift;
    long long b = time_index(to, ch.sampfreq) - ch.xshift;
    a = std::clamp(a, 0LL, n);
    b = std::clamp(b, 0LL, n);
    return {a, std::max(a, b)};
}

}  // namespace tessal
