// The amplitude histogram of a stretch of one channel: bins -32768..32767
// at index bin + 32768, bin = round(x / fsd * 32767) clipped to that range,
// one count per sample; NaN samples are not counted.
//
// The stretch L..R (seconds) covers the sample indices round(L*fs - xshift)
// .. round(R*fs - xshift), both ends included and clamped to the samples. A
// channel without samples, rate or full scale gives all zeros.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "engine/analysis/analysiscache.h"
#include "engine/dsp/numberfield.h"

namespace tessal {

class tchannel;
class tdocument;
class tjobcontext;
class tsamplestore;

using thistogram = std::vector<double>;
inline constexpr int histogram_bins = 65536;

thistogram amplitude_histogram(const tchannel& ch, double L, double R);

// The key the histogram of channel `chno` over L..R is kept under: its
// samples and its full scale.
tanalysiskey histogram_key(const tchannel& ch, int chno, double L, double R);

// The histogram of channel `chno` over the document's selection, from the
// cache when it holds one.
const thistogram& selection_histogram(tanalysiscache<thistogram>& cache, const tdocument& doc,
                                      int chno);

// ------------------------------------------------ value histograms (KDE)
//
// The distribution of a channel's values over a value range lo..hi cut into
// `nbins` bins: bin i stands for x_i = lo + i / (nbins - 1) * (hi - lo) and
// holds the seconds the signal spends near x_i. A value v lies at bin
// position P = (v - lo) / (hi - lo) * (nbins - 1); values outside the range
// are not counted.

enum class tbinning {
    nearest = 0,      // each sample adds 1/fs to the bin nearest to it
    two_nearest = 1,  // each sample splits 1/fs between its two neighbouring bins
    pairs = 2,        // the signal moves linearly between samples; each pair's
                      // 1/fs is spread over every bin between them
};

enum class tkernel { none = 0, rectangle = 1, triangle = 2, parabolic = 3, hanning = 4 };

// Adds samples x[0..n-1] (each weighing u seconds) to `bins`. With `pairs`
// the n - 1 consecutive pairs are added, so a single sample adds nothing.
void add_to_bins(std::vector<double>& bins, const float* x, long long n, double u, double lo,
                 double hi, tbinning method);

// The bins of channel ch over the stretch L..R (seconds; the same sample
// range as amplitude_histogram). nbins < 1 is taken as 100, < 2 as 2.
std::vector<double> value_histogram(const tchannel& ch, double L, double R, double lo,
                                    double hi, int nbins, tbinning method);

// The samples value_histogram counts for L..R: indices first..last-1 of the
// channel's samples (xshift not applied); empty without samples or rate.
struct thistspan {
    long long first = 0, last = 0;
};
thistspan value_histogram_span(const tchannel& ch, double L, double R);

// The same bins from samples a worker was given (a slice of the channel's
// store over value_histogram_span, read at rate fs). With a job, it looks
// between blocks of samples whether to stop (throwing tjobcancelled) and
// says how far it got, from `p0` at the start to `p1` at the end (a job
// doing several computations gives each its part).
std::vector<double> value_histogram(const tsamplestore& samples, double fs, double lo, double hi,
                                    int nbins, tbinning method, tjobcontext* job = nullptr,
                                    double p0 = 0, double p1 = 1);

// The fields that set the amount of work of a histogram. The pairs method
// spreads each pair over every bin between its samples and the kernel
// costs n bins times its width, so both are bounded to keep one
// computation of an hour of signal within seconds.
inline const tnumberfield histogram_nbins_field{"n bins", 2, 100000, ""};
inline const tnumberfield histogram_kernelwidth_field{"Kernel width [bins]", 2, 10000, ""};

// The half kernel c[0..W-1] (W >= 2), normalised so that
// c[0] + 2 (c[1] + ... + c[W-1]) = 1. Empty for tkernel::none.
std::vector<double> kernel_coefficients(tkernel kernel, int W);

// bins smoothed by the kernel of width W: sum over j of c[|j|] bins[i + j],
// terms outside the bins left out. tkernel::none returns the bins.
// With a job, it looks every few bins whether to stop and says how far it
// got, from p0 to p1.
std::vector<double> smooth_bins(const std::vector<double>& bins, tkernel kernel, int W,
                                tjobcontext* job = nullptr, double p0 = 0, double p1 = 1);

inline constexpr std::array<double, 9> percentile_fractions = {0.01, 0.05, 0.1, 0.25, 0.5,
                                                              0.75, 0.9,  0.95, 0.99};
inline constexpr int median_percentile = 4;

struct thiststats {
    double total = 0;    // seconds in the bins
    double average = 0;  // NaN when the bins are empty
    double mode = 0;
    std::array<double, 9> percentiles{};  // at percentile_fractions
    double median() const { return percentiles[median_percentile]; }
};

// Statistics read from the bins: the mean of x_i weighted by the bins, the
// x of the first largest bin, and for each fraction p the x of the first bin
// at which the running sum reaches p times the total. All NaN when the bins
// hold nothing.
thiststats bin_statistics(const std::vector<double>& bins, double lo, double hi);

// Bin width (hi - lo) / (nbins - 1).
double bin_width(double lo, double hi, int nbins);

// Where a histogram box's statistics text goes so that it hides as little
// of the curve as it can: `colmax` holds, per pixel column, the largest bin
// drawn there; the text is `textw` columns wide. Returns the first column
// of the span whose largest value is smallest (the leftmost of equals) and
// that value in `under`.
int stats_text_column(const std::vector<double>& colmax, int textw, double& under);
// The time axis top Autoscale sets: 1.05 x the largest bin `top`, raised
// so that the bins under the text (`under`) stay below the text, which
// takes `textfraction` of the height from the top (counted as at most
// 0.75, so the curve never shrinks below a quarter of the box).
double histogram_autoscale_top(double top, double under, double textfraction);

// Which statistics a histogram box lists over its curve (the window's
// "Show statistics based on bins"; the percentiles at percentile_fractions).
struct thistshow {
    bool binwidth = true, kernelwidth = true, average = true, mode = true, median = true;
    std::array<bool, 9> percentiles = {false, false, false, true, false, true, false, false, false};
    bool name = true;
};
// The box's lines, values to 5 significant digits with the unit:
// "Bin width=0.002 V", "Kernel width= -" without a kernel (kernelwidth
// NaN), "Avg=", "Mode=", "Median=", "p25=" ..., then the channel's name.
std::vector<std::string> histogram_box_lines(const thistshow& show, const thiststats& s, double binwidth,
                                             double kernelwidth, const std::string& unit,
                                             const std::string& name);

// One channel's part of "Log stats".
struct thistlogchannel {
    std::string name;
    std::string unit;
    double from = 0, to = 0;  // seconds
    double binwidth = 0;
    double kernelwidth = 0;   // NaN without kernel
    thiststats stats;
};

struct thistlog {
    std::string heading;
    std::string line;
};

// "Log stats": one heading and one line, tab separated, holding for each
// channel the columns "Channel", "From [s]", "To [s]", "Bin width [unit]",
// "Kernel width [unit]", "Avg [unit]", "Mode [unit]", "Median [unit]" and
// "p<percent> [unit]" for each ticked percentile (indices into
// percentile_fractions).
thistlog histogram_stats_log(const std::vector<thistlogchannel>& chans,
                             const std::vector<int>& percentiles, int significant);

// The percent text of a fraction as the lists show it ("1", "25", ...).
std::string percentile_text(double fraction);

}  // namespace tessal
