// Glottal-flow parameters of one cycle ("T-naq").
//
// A segment of 16385 samples of a flow channel from the time cursor on, and
// its derivative (first difference times fs). The user marks one period on
// the derivative between two maximum-flow-declination (MDR) peaks; the ends
// snap onto the nearest local minima. The flow peak is looked for in the
// period before the marked one (from the period start back one period), the
// flow minimum in the marked period. Optionally the closed phase is marked
// (inside the period, from closure to the next opening) and the extremes
// set by hand. From these: T0, F0, peak-to-peak flow, MDR, AQ = ptp/MDR,
// NAQ = AQ/T0, H1/H2 over the period, the closed phase TC with CQ and OQ,
// and SQ (opening time over closing time).
#pragma once

#include <string>
#include <vector>

#include "engine/core/tpreferences.h"

namespace tessal {

class tchannel;

inline constexpr int glottal_seglen = 16384;

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
    // A period dragged from t1 to t2 (either order; s from the segment
    // start): both ends snapped, extremes found automatically again.
    void mark_period(double t1, double t2);
    // The closed phase between t1 and t2 (either order).
    void mark_closed(double t1, double t2);
    // Extremes by hand, kept until the next period drag.
    void set_extremes(double v1, double v2);

    // Recomputes every measure (nothing when the rate is negative).
    void measure();

    // The three result lines; empty strings when there is nothing to show.
    std::string line1(const tpreferences& p) const;
    std::string line2(const tpreferences& p) const;
    std::string line3(const tpreferences& p) const;
    // "Log data": heading and data row.
    std::string heading() const;
    std::string datarow(const tpreferences& p) const;

private:
    void derive();
};

}  // namespace tessal
