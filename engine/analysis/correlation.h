// Normalised autocorrelation (Pearson r against lag) of a stretch of a
// channel, as the correlation and correlogram windows show it, and the
// period cursor's snapping on it.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "engine/analysis/spectrum.h"
#include "engine/core/tpreferences.h"

namespace tessal {

// The most lags the correlation window's lag axis allows (the command and
// the Python module refuse more).
constexpr double max_correlation_lags = 44100;

// Pearson r of a[0..n-1] and b[0..n-1]:
// (n Sab - Sa Sb) / sqrt((n Saa - Sa^2)(n Sbb - Sb^2)); 0 when either sum of
// squares or the denominator is 0 or n < 2.
double pearson(const float* a, const float* b, long long n);

// The correlation at time t: L = round(lagms_hi / 1000 * fs) lags,
// N = round(fs * winlength) samples from the sample at round(t * fs); r[d]
// = pearson(x[0..N-1], x[d..d+N-1]) for d = 0..L-1.
std::vector<double> correlation_at(const tsampleview& v, double winlength, double t,
                                   double lagms_hi);
// The same into r, for a worker: `progress` hears the fraction of the lags
// done between blocks of lags and stops the work by answering false (then
// false comes back and r is left empty).
bool correlation_at(const tsampleview& v, double winlength, double t, double lagms_hi,
                    std::vector<double>& r, const std::function<bool(double)>& progress);

// Snapping of the period cursor on r (lag index = lag * fs): snap to
// curve gives the four-point cubic at lag x (s); snap to peak the nearest
// local maximum refined by a parabola, its frequency fs / (i + delta).
struct tcorrsnap {
    double f = 0;  // frequency cursor, Hz (1 / lag)
    double r = 0;  // correlation cursor
};
tcorrsnap corr_snap_to_curve(const std::vector<double>& r, double fs, double x);
tcorrsnap corr_snap_to_peak(const std::vector<double>& r, double fs, double x);

// "Log cursor": heading and line.
struct tcorrlog {
    std::string heading, line;
};
tcorrlog correlation_cursor_log(double t, double T, double r, const tpreferences& prefs);

}  // namespace tessal
