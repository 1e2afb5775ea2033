#include "engine/analysis/correlation.h"

#include <algorithm>
#include <cmath>

#include "engine/dsp/notes.h"
#include "engine/dsp/numformat.h"

namespace tessal {

namespace {

long long round_index(double v) {
    if (!(std::fabs(v) < 9e18)) return 0;
    return static_cast<long long>(std::llround(v));
}

}  // namespace

double pearson(const float* a, const float* b, long long n) {
    if (n < 2) return 0;
    double sa = 0, sb = 0, sab = 0, saa = 0, sbb = 0;
    for (long long i = 0; i < n; ++i) {
        const double x = a[i], y = b[i];
        sa += x;
        sb += y;
        sab += x * y;
        saa += x * x;
        sbb += y * y;
    }
    if (saa == 0 || sbb == 0) return 0;
    const double N = static_cast<double>(n);
    const double va = N * saa - sa * sa, vb = N * sbb - sb * sb;
    const double den = std::sqrt(va * vb);
    if (!(den > 0) || !std::isfinite(den)) return 0;
    return (N * sab - sa * sb) / den;
}

std::vector<double> correlation_at(const tsampleview& v, double winlength, double t,
                                   double lagms_hi) {
    std::vector<double> r;
    correlation_at(v, winlength, t, lagms_hi, r, {});
    return r;
}

bool correlation_at(const tsampleview& v, double winlength, double t, double lagms_hi,
                    std::vector<double>& r, const std::function<bool(double)>& progress) {
    r.clear();
    if (!(v.fs() > 0)) return true;
    const long long L = round_index(lagms_hi / 1000 * v.fs());
    const long long N = round_index(v.fs() * winlength);
    if (L <= 0 || N <= 0 || L > 100000000 || N > 100000000) return true;
    const long long s0 = round_index(t * v.fs());
    std::vector<float> x(static_cast<std::size_t>(L + N));
    v.read(s0, L + N, x.data());
    std::vector<double> out(static_cast<std::size_t>(L));
    // About a million products between looks.
    const long long block = std::max(1LL, 1000000 / N);
    for (long long d = 0; d < L; ++d) {
        if (progress && d % block == 0 && !progress(static_cast<double>(d) / static_cast<double>(L))) return false;
        out[static_cast<std::size_t>(d)] = pearson(x.data(), x.data() + d, N);
    }
    r = std::move(out);
    return true;
}

tcorrsnap corr_snap_to_curve(const std::vector<double>& r, double fs, double x) {
    tcorrsnap s;
    s.f = x > 0 ? 1 / x : 0;
    const long long n = static_cast<long long>(r.size());
    if (n == 0) return s;
    const double D = x * fs;
    const long long k = static_cast<long long>(std::floor(D));
    auto R = [&](long long i) { return r[static_cast<std::size_t>(std::clamp(i, 0LL, n - 1))]; };
    const double t = D - static_cast<double>(k);
    if (k <= 1) {
        s.r = R(k) + t * (R(k + 1) - R(k));
    } else {
        const double m1 = R(k - 1), p0 = R(k), p1 = R(k + 1), p2 = R(k + 2);
        const double a1 = p1 - m1 / 3 - p0 / 2 - p2 / 6;
        const double a2 = m1 / 2 - p0 + p1 / 2;
        const double a3 = p2 / 6 + p0 / 2 - m1 / 6 - p1 / 2;
        s.r = p0 + t * a1 + t * t * a2 + t * t * t * a3;
    }
    return s;
}

tcorrsnap corr_snap_to_peak(const std::vector<double>& r, double fs, double x) {
    tcorrsnap s;
    const long long n = static_cast<long long>(r.size());
    if (n < 3 || !(fs > 0)) return s;
    long long i = std::clamp(static_cast<long long>(std::floor(x * fs)), 1LL, n - 2);
    while (i < n - 2 && r[static_cast<std::size_t>(i + 1)] > r[static_cast<std::size_t>(i)]) ++i;
    while (i > 1 && r[static_cast<std::size_t>(i - 1)] > r[static_cast<std::size_t>(i)]) --i;
    const double g = r[static_cast<std::size_t>(i - 1)], e = r[static_cast<std::size_t>(i)],
                 f = r[static_cast<std::size_t>(i + 1)];
    const double den = 2 * (f + g - 2 * e);
    const double delta = den != 0 ? (g - f) / den : 0;
    s.f = fs / (static_cast<double>(i) + delta);
    s.r = e + delta * (f - g) / 2 + delta * delta * ((f + g) / 2 - e);
    return s;
}

tcorrlog correlation_cursor_log(double t, double T, double r, const tpreferences& p) {
    tcorrlog l;
    l.heading = "t [s]\tT [ms]\t1/T [Hz]\tNote\tCorrelation\t";
    const double f = T > 0 ? 1 / T : 0;
    l.line = format_float_pattern(p.SecondsFormat, t) + "\t" +
             format_significant(p.nSignificantDigits, T * 1000) + "\t" +
             format_significant(p.nSignificantDigits, f) + "\t" + freq_to_notename(f, true) + "\t" +
             format_significant(p.nSignificantDigits, r) + "\t";
    return l;
}

}  // namespace tessal
