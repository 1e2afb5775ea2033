// Glottal-flow parameters of one cycle ("T-naq").
//
// A segment of 16385 samples of a flow channel from the time cursor on, and
// its derivative (first difference times fs). The user marks one period on
// the derivative between two maximum-flow-declination (MDR) peaks; each end
// snaps onto the MDR peak nearest to it within half the dragged span (the
// deepest point of the nearest dip below half the deepest value there), so
// a drag that is a little early or late, or a derivative rough with
// quantization steps or noise, still lands on the peaks. A period is
// measured only when it holds exactly one cycle: both ends are negative
// peaks of comparable depth (neither less than half the other, nor than
// half the deepest value within one period of it) and the derivative
// climbs out of the first one and dips into the second without a further
// dip as deep between them. The flow peak is looked for in the
// period before the marked one (from the period start back one period), the
// flow minimum in the marked period. Optionally the closed phase is marked
// (inside the period, from closure to the next opening) and the extremes
// set by hand. From these: T0, F0, peak-to-peak flow, MDR, AQ = ptp/MDR,
// NAQ = AQ/T0, H1/H2 over the period, the closed phase TC with CQ and OQ,
// and SQ (opening time over closing time). The closed phase counts only
// inside the marked period, and SQ only when both its times are positive;
// otherwise the lines say what to mark instead.
#pragma once

#include <string>
#include <vector>

#include "engine/core/tpreferences.h"

namespace tessal {

class tchannel;

inline constexpr int glottal_seglen = 16384;

// What a period drag marked.
enum class tperiodstate {
    unmarked,       // nothing yet
    click,          // both ends on the same sample
    nocycle,        // the ends are not two MDR peaks one cycle apart
    severalcycles,  // a further MDR peak lies between the ends
    ok
};

class tglottalflow {
public:
    tglottalflow();

    std::vector<double> flowarr, derarr, addarr;  // 0 ... 16384
    double sampfreq = -1.0, addsampfreq = -1.0;
    double cursortime = 0.0;
    std::string channelname, filename, unit;

    double lotime = 0, hitime = 0, negtime = 0;  // s from the segment start
    int periodstartpos = 0, periodendpos = 0, periodnegpos = 0;
    double hiflowtime = 0, loflow = 0, hiflow = 0;
    bool autoptp = true;
    double cqlotime = 0, cqhitime = 0;
    double t0 = 0, f0 = 0, mdr = 0, starttime = 0, ptp = 0, aq = 0, naq = 0, h1h2 = 0, cq = 0,
           sq = 0;
    bool showmeasurement = false;
    bool selectionerror = false;
    tperiodstate periodstate = tperiodstate::unmarked;
    // The closed phase is marked inside the period / SQ could be formed.
    bool closedvalid = false, sqvalid = false;

    // No channel: everything zero, both rates -1.
    void clear();
    void load_segment(const tchannel& ch, double time);
    template <class F>
    void load_samples(double fs, F&& sample) {
        sampfreq = fs;
        for (int i = 0; i <= glottal_seglen; ++i) flowarr[static_cast<std::size_t>(i)] = sample(i);
        derive();
    }
    void load_extra(const tchannel* ch, double time);

    // The local minimum of the derivative reached from time t (s from the
    // segment start): left while falling that way, then right.
    int snap(double t) const;
    // The MDR peak near t: of the dips of the derivative within halfwidth
    // seconds of t, the nearest, at its deepest sample; then down to the
    // local minimum from there.
    int snap_mdr(double t, double halfwidth) const;
    // How the samples a < b of the derivative bound cycles (see above).
    tperiodstate check_period(int a, int b) const;
    // A period dragged from t1 to t2 (either order; s from the segment
    // start): both ends snapped, extremes found automatically again.
    void mark_period(double t1, double t2);
    // A period between the segment samples a < b as they are (no snapping),
    // extremes found automatically again.
    void mark_period_at(int a, int b);
    bool period_ok() const { return showmeasurement && periodstate == tperiodstate::ok; }
    // What is wrong with the marked period, "" when nothing is:
    // "no period marked", "no full cycle between the marks", ...
    std::string period_problem() const;
    // The line that tells the user what to do while no period is measured.
    std::string period_prompt() const;
    // The closed phase between t1 and t2 (either order).
    void mark_closed(double t1, double t2);
    // Extremes by hand, kept until the next period drag.
    void set_extremes(double v1, double v2);

    // Recomputes every measure (nothing when the rate is negative).
    void measure();

    // The three result lines; empty strings when there is nothing to show.
    // Without a measured period line 1 is the prompt and the others empty.
    std::string line1(const tpreferences& p) const;
    std::string line2(const tpreferences& p) const;
    std::string line3(const tpreferences& p) const;
    // "Log data": heading and data row.
    std::string heading() const;
    std::string datarow(const tpreferences& p) const;

private:
    void derive();
    void set_period_times();
};

}  // namespace tessal
