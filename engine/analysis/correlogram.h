// Correlogram strips and F0 traces: per pixel column the normalised
// autocorrelation (Pearson r) of the signal from the column's time on, per
// pixel row the lag the row stands for (a lag in ms, or the period of a
// frequency); T0/F0 traces as time-stamped frequency bands with cut points,
// their ".ctr" files, and the extraction of F0 (or T0), peak correlation
// and candidate width from a channel within the trace's band.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/analysis/spectrum.h"
#include "engine/core/colors.h"

namespace tessal {

struct tspectrogramstrip;

struct tcorrelogramsettings {
    double ffixedcorrlength = 0.010;  // s
    int fwinlengthmode = 0;           // 0 fixed, 1 proportional to the lag
    double fwinlengthfactor = 1;
    int fvertaxistype = 1;            // 0 time (ms), 1 frequency (Hz)
};

// The vertical axis a strip opens with: 0..20 ms on a time axis, 50..1000
// Hz on a frequency axis. Its top is also the full scale of the F0/T0
// channel an extraction makes.
void correlogram_default_axis(const tcorrelogramsettings& s, double& lo, double& hi);

// The lag in samples of a row whose axis value is v: round(v / 1000 * fs)
// on a time axis, round(fs / v) on a frequency axis (-1 when v <= 0 there).
long long correlogram_row_lag(const tcorrelogramsettings& s, double v, double fs);
// The largest lag a strip computes: from the axis end (hi on a time axis,
// lo on a frequency axis) plus one, at most 1,000,000.
long long correlogram_largest_lag(const tcorrelogramsettings& s, double axislo, double axishi, double fs);

// The products one column costs: over the rows whose lag is at most
// largestlag, the window length each row correlates (N in fixed mode,
// round(lag x factor) in proportional mode).
double correlogram_column_cost(const tcorrelogramsettings& s, long long largestlag,
                               const std::vector<double>& rowvalues, double fs);

// r of every row of the column at time t (rows bottom first, given as their
// axis values); -1 above the largest lag or where r cannot be formed.
void correlogram_column(const tsampleview& v, const tcorrelogramsettings& s, long long largestlag,
                        double t, const std::vector<double>& rowvalues, float* out,
                        std::vector<float>& buffer);

// The colour of r at fraction v of the level range (0 at lo, 1 at hi):
// sign(v) |v|^gamma through the colour mode of the spectrogram (which clips
// to 0..1). The strip's pixels (through correlogram_picture's table) and the
// exported figure's colour scale both take it from here.
std::uint32_t correlogram_color(int colormode, double v, double gamma, TColor channel);
// The picture of a strip of r: width * height 0xFFRRGGBB pixels, top row
// first. A level r is placed on the level axis, v = (r - lo) / (hi - lo)
// (0 when hi == lo), and coloured by correlogram_color. As the clipping
// leaves only v in 0..1 to tell apart, the colours come from a table over
// that range (4096 steps), not from a power per pixel.
void correlogram_picture(const tspectrogramstrip& strip, double lo, double hi, double gamma, int colormode,
                         TColor channel, std::vector<std::uint32_t>& pixels);

// ---------------------------------------------------------------- traces

struct TTracePoint {
    bool cut = false;
    double t = 0, fmin = 0, fmax = 0;
    int found = 0;
    bool operator==(const TTracePoint& o) const {
        return cut == o.cut && t == o.t && fmin == o.fmin && fmax == o.fmax;
    }
};

// Inserts keeping the points sorted by time (after points of equal time).
void add_trace_point(std::vector<TTracePoint>& points, const TTracePoint& p);
// Trace editing on a strip. Points are hit in pixels: `tx` maps a time and
// `fy` a frequency to the strip's pixels, and a band limit within `tol`
// pixels of (px, py) is hit (the nearest one wins). The index of the point,
// or -1; `found` says which limit: 1 fmin, 2 fmax (a cut point has only its
// time: found 0, hit anywhere within `tol` of its time).
int hit_trace_point(const std::vector<TTracePoint>& points, const std::function<double(double)>& tx,
                    const std::function<double(double)>& fy, double px, double py, double tol,
                    int& found);
// Moves point `index` to time t with its picked limit at f (the other
// limit follows when needed, so that fmin <= fmax) and keeps the points in
// time order; returns the point's new index.
int move_trace_point(std::vector<TTracePoint>& points, int index, int found, double t, double f);
// A cut point (band 1..1) at time t.
void cut_trace(std::vector<TTracePoint>& points, double t);
// The width of a new point's band ("Default width of trace [%]" 50).
inline constexpr double default_trace_width = 0.5;
// The new band of a point added at f with a relative width (0.5: +-25 %).
TTracePoint trace_point_at(double t, double f, double width);
// The frequency a strip row stands for: 1000 / ms on a time axis, the value
// itself on a frequency axis; 0 when there is none.
double trace_frequency(int vertaxistype, double axisvalue);

// The band at time t: linear between the points around t, the first
// point's before it, the last's after it; false (band -1) when a point
// next to t is a cut point or there are no points.
bool trace_band(const std::vector<TTracePoint>& points, double t, double& fmin, double& fmax);

// ".ctr" files: section "Common" ("Version", "nPoints", "SMPFile",
// "Channo"), then "Point0".. with "Time" ("0.00000"), "Center", "Max",
// "Min" ("0.000"), "Pointkind" (3 cut, else 1) and "Cut". Writing deletes
// an existing file first. False with a message for the user when the file
// cannot be written or read, or is not a trace file.
bool write_trace_file(const std::string& path, const std::vector<TTracePoint>& points,
                      const std::string& version, const std::string& smpfile, int channo,
                      std::string& error);
bool read_trace_file(const std::string& path, std::vector<TTracePoint>& points, std::string& error);

// ---------------------------------------------------------------- extraction

struct tf0extraction {
    std::vector<double> f0t0, correlation, width;
};
struct tf0settings {
    long long skip = 441;        // analyse every skip-th input sample
    bool keeprate = true;        // one output per input sample, else per skip
    bool thresholds = false;
    double lo = 0.5, hi = 0.7;   // off and on thresholds
};
// F0 (Hz; T0 in s with a time axis), the peak correlation and the candidate
// width (% of the period) along the channel within the trace's band. False
// when cancelled, by the flag or by `progress` (told the fraction done now
// and then) answering false.
bool extract_f0(const tsampleview& v, const tcorrelogramsettings& s,
                const std::vector<TTracePoint>& trace, const tf0settings& e, tf0extraction& out,
                const std::atomic<bool>* cancel = nullptr,
                const std::function<bool(double)>& progress = {});

}  // namespace tessal
