#include "engine/tools/f0trace.h"

#include <algorithm>
#include <cmath>

#include "engine/dsp/numformat.h"
#include "engine/process/tworksig.h"

namespace tessal {

namespace {

// Thrown through the tracker when the caller's progress asks to stop.
struct tstopped {};

}  // namespace

bool correlogram_f0_range(const tcorrelogramsettings& s, double axislo, double axishi, double fs,
                          double& minf0, double& maxf0, std::string& error) {
    double lo = 0, hi = 0;
    if (s.fvertaxistype == 0) {
        double deflo = 0, defhi = 0;
        tcorrelogramsettings freq = s;
        freq.fvertaxistype = 1;
        correlogram_default_axis(freq, deflo, defhi);
        lo = axishi > 0 ? 1000 / axishi : 0;
        hi = axislo > 0 ? 1000 / axislo : defhi;
    } else {
        lo = axislo;
        hi = axishi;
    }
    if (!(fs > 0) || !std::isfinite(fs)) {
        error = "The channel has no sampling rate.";
        return false;
    }
    hi = std::min(hi, 0.45 * fs);
    if (!(lo >= 1) || !std::isfinite(lo) || !(hi > lo) || !std::isfinite(hi)) {
        error = "The correlogram's lag range stands for F0 from " + float_to_text(lo) + " to " +
                float_to_text(hi) + " Hz; tracing F0 needs a range from 1 Hz up, below " +
                float_to_text(0.45 * fs) + " Hz.";
        return false;
    }
    minf0 = lo;
    maxf0 = hi;
    return true;
}

bool trace_from_f0(const tworksig& x, double fs, double t0, const tf0acsettings& ac, double width,
                   std::vector<TTracePoint>& out, const std::function<bool(double)>& progress) {
    tf0acframes fr;
    try {
        fr = f0_ac_frames(x, fs, ac, [&progress](double f) {
            if (progress && !progress(f)) throw tstopped{};
        });
    } catch (const tstopped&) {
        return false;
    }
    std::vector<TTracePoint> points;
    bool anyvoiced = false, gap = false;
    for (std::size_t i = 0; i < fr.f0.size(); ++i) {
        const double t = t0 + fr.time(i);
        const double f = fr.f0[i];
        if (f > 0) {
            points.push_back(trace_point_at(t, f, width));
            anyvoiced = true;
            gap = false;
        } else if (!gap) {
            // Both segments next to a cut have no band: one cut makes the
            // whole stretch between two voiced frames a gap.
            cut_trace(points, t);
            gap = true;
        }
    }
    if (!anyvoiced) points.clear();
    if (progress && !progress(1)) return false;
    out = std::move(points);
    return true;
}

}  // namespace tessal
