// Subglottal pressure from an oral-pressure channel: every voiceless
// plosive's occlusion makes a pressure plateau ("peak") whose height
// approximates the subglottal pressure. Here: the time section the
// analysis covers, the detection of peaks over a threshold, their shape
// coefficients, scores and categories, statistics over the kept peaks,
// the lines the window shows and logs, and the labels it puts on peaks.
//
// Contract: detection reads only the channel's samples inside the section
// (indices clamped to the signal) and never changes the document; a run
// above the threshold that is already in progress at the section's start,
// or still in progress at its end, is no peak of this section.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "engine/core/prompter.h"
#include "engine/core/tdocument.h"

namespace tessal {

struct tpeakscore {
    double total = 0, upslope = 0, downslope = 0, rounding = 0, inverserounding = 0,
           variability = 0, longdur = 0, shortdur = 0, noise = 0;
    std::string category;
    std::string labelcat;
};

struct tpeak {
    double starttime = 0;  // s
    double duration = 0;   // s
    long long startsample = 0;
    long long nwidth = 0;
    double peakheight = 0;   // the peak-height percentile of the run's samples
    double maxheight = 0;    // largest sample
    double uperc = 0;        // the variability-percentile sample
    double qperc = 0;        // the lower-quartile sample
    double variability = 0;  // peakheight - uperc
    std::array<float, 3> harm{};  // H1, H2, H3
    long long harmleft = 0, harmright = 0;  // where the peak crosses harmbase
    double harmbase = 0;                    // peakheight / 2
    tpeakscore score;
};

struct tpeakstatistics {
    std::string yunit, filename, channelname;
    std::vector<double> sortedpeaks;
    double starttime = 0, endtime = 0;
    double peakaverage = -1, peakmin = -1, peakmax = -1, peakloquartile = -1, peakmedian = -1,
           peakhiquartile = -1;
};

struct tpsubparams {
    double fthreshold = 1.0;
    double fminduration = 0.05;  // s
    double fmaxduration = 0.5;   // s
    double fminscore = 0.30;
    double fpeakpercentile = 0.75;
    double fvariabilitypercentile = 0.50;
};

// --- time section ---------------------------------------------------------------

enum class tpsubsection : int {
    selection = 0, fixedafter = 1, fixedaround = 2, manual = 3, mainwindow = 4, entirefile = 5
};

struct tpsubview {
    double left = 0, right = 0;        // main-window selection
    double timecursor = 0;
    double visiblelo = 0, visiblehi = 0;  // main-window time axis
    double channelstart = 0, channelend = 0;
};

struct tsection {
    double from = 0, to = 0;
};

// The section for the radio item, from the current one (its length for the
// fixed modes, kept as it is in "Manual").
tsection psub_section(tpsubsection mode, const tsection& current, const tpsubview& view,
                      const tpsubparams& p);

// --- peaks ------------------------------------------------------------------------

// Sub-score ramps: rising from lo to hi (0 below lo, 1 from hi) and falling
// (1 below lo, 0 from hi). A value that is not a number scores 0.
double rising_ramp(double v, double lo, double hi);
double falling_ramp(double v, double lo, double hi);

// Scores a peak from its shape coefficients, variability, duration and
// heights, with its category words and label letters.
tpeakscore score_peak(const tpeak& peak);

// Every run over the threshold in x[0..n) whose duration fits, measured and
// scored; `first` is the index of x[0] in the channel's samples, xshift and
// fs place it in time. `all` keeps those scoring below fminscore too.
std::vector<tpeak> find_peaks(const float* x, long long n, long long first, long long xshift,
                              double fs, const tpsubparams& p, bool all = false);

// The kept peaks of a channel in a section.
std::vector<tpeak> detect_peaks(const tchannel& ch, const tsection& s, const tpsubparams& p);

// --- statistics, texts and logs ---------------------------------------------------

tpeakstatistics peak_statistics(const std::vector<tpeak>& peaks, const tchannel& ch,
                                const tsection& s);
// The "Statistics" page, one string per line.
std::vector<std::string> statistics_lines(const tpeakstatistics& st, int digits);
// The "Peaks" page: one line per peak.
std::string peak_memo_line(const tpeak& peak, const std::string& unit, int digits);

struct tpsublog {
    std::string heading;
    std::vector<std::string> rows;
};
// "Log peaks": a heading and one row per peak.
tpsublog peaks_log(const std::vector<tpeak>& peaks, const tpeakstatistics& st, int digits);
// "Log statistics": a heading and one row.
tpsublog statistics_log(const tpeakstatistics& st, int digits);

// "Subglottal pressure - channel <n>", "Threshold [unit]", "<unit>/s" or "units/s".
std::string psub_title(int chno);
std::string threshold_caption(const std::string& unit);
std::string aspect_unit(const std::string& unit);

// --- labels -----------------------------------------------------------------------

// The quantities a label can carry, in the order of the check list.
enum class tpsubquantity : int {
    descriptor, height, variability, duration, score, upslope, downslope, rounding,
    inverserounding, variabilityscore, longdur, shortdur, noise, harmonics, count
};
const std::vector<std::string>& psub_quantity_names();
// The first five checked.
std::vector<bool> default_psub_quantities();

// Label text: 0 the height, 1 height and unit, 2 height, unit and the
// category letters.
std::string psub_label_text(const tpeak& peak, const std::string& unit, int textchoice, int digits);

// Asks, then puts one "psub" label on every peak (removing the channel's
// earlier psub labels when the user agrees). The number of labels added.
int add_psub_labels(tdocument& doc, tprompter& prompter, int chno, const std::vector<tpeak>& peaks,
                    const std::vector<bool>& quantities, int textchoice);

}  // namespace tessal
