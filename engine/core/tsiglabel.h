// Labels and the small records around them. A label marks a stretch of one
// channel (or a point, with duration 0) with a text, a type word and named
// values. A channel keeps its labels sorted by start time.
#pragma once

#include <string>
#include <vector>

namespace tessal {

struct tentity {
    std::string entityname;
    double value = 0;
    std::string yunit;
    friend bool operator==(const tentity&, const tentity&) = default;
};

struct tentities {
    std::string descriptor;
    std::vector<tentity> no;
    friend bool operator==(const tentities&, const tentities&) = default;
};

struct tsiglabel {
    double time = 0;         // start, seconds
    double duration = 0;     // seconds, 0 for a point label
    double newtime = 0;      // start while being dragged
    double newduration = 0;  // length while being dragged
    bool selected = false;
    bool moving = false;
    bool playlabel = false;
    std::string text;
    std::string labeltype;
    tentities entities;
    friend bool operator==(const tsiglabel&, const tsiglabel&) = default;
};
using tsiglabels = std::vector<tsiglabel>;

// A label as a file saved over t0..t1 seconds carries it: its start
// relative to t0 and its length, both cut to the range. False when the
// label lies outside the range or is cut down to nothing; a point label
// inside the range stays a point label.
inline bool label_in_range(const tsiglabel& l, double t0, double t1, double& start, double& dur) {
    if (!(t0 <= l.time + l.duration && l.time <= t1)) return false;
    start = l.time > t0 ? l.time - t0 : 0.0;
    dur = l.duration - (t0 > l.time ? t0 - l.time : 0.0);
    if (t1 - t0 - start < dur) dur = t1 - t0 - start;
    if (l.duration == 0) {
        dur = 0;
        return true;
    }
    return dur > 0;
}

// The label under the mouse: labelno -1 for none; shiftmode 0 grabs the
// start edge, 1 the whole label, 2 the end edge.
struct tfoundlabel {
    int labelno = -1;
    int shiftmode = 0;
};

// One block of the min/max drawing cache.
struct tsinglepair {
    float lo = 1e38f;
    float hi = -1e38f;
};

struct tminmaxpair {
    double min = 0;
    double max = 0;
};

// The type words the program creates and filters by, with their captions.
struct tlabeltypeinfo {
    const char* word;
    const char* caption;
};
inline constexpr tlabeltypeinfo labeltypes[] = {
    {"manual", "Manual"},           {"smp", "SMP"},
    {"overload", "Overload"},       {"invfilt", "Inverse filter"},
    {"psub", "Psub"},               {"calibration", "Calibration"},
    {"measurement", "Measurement"}, {"spectrum", "Spectrum"},
};

}  // namespace tessal
