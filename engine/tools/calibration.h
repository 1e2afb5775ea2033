// Calibration: turns a channel's samples into physical units from a stretch
// whose true value is known. Four ways of knowing it: a sound level (read
// linear, A- or C-weighted, through the same weighting chain as the
// measurement pass), an RMS amplitude, two steady values between the green
// (3, 4) and purple (5, 6) channel marks, or an integral over the selection.
//
// Contract: calibrate_channels computes each channel's map before it changes
// anything of that channel; a channel whose map cannot be formed (equal
// means, a zero integral or RMS, a result that is not a finite number or
// samples a 32-bit float cannot hold) is left exactly as it was and
// reported in `failed`, the others are still calibrated. With labels on, the channel's earlier "calibration" labels
// are replaced by the new one(s), which span the selection L..R in every
// mode (two-amplitude mode adds two there: the first value, then the second).
#pragma once

#include <string>
#include <vector>

#include "engine/core/prompter.h"
#include "engine/core/tdocument.h"

namespace tessal {

enum class tcalibmode : int { level = 0, rms = 1, two = 2, integral = 3 };
enum class tcalibweighting : int { linear = 0, A = 1, C = 2 };

struct tcalibration {
    tcalibmode mode = tcalibmode::level;
    tcalibweighting weighting = tcalibweighting::linear;
    double value = 1;         // level [dB], RMS amplitude, first amplitude or integral
    double value2 = 1;        // second amplitude (two-amplitude mode)
    double reference = 2e-5;  // dB reference of the level mode
    std::string unit = "Pa";
    bool addlabels = true;
    // The labels' descriptor (date and time); empty takes the clock's now.
    std::string when;
};

struct tcalibresult {
    std::vector<int> calibrated;
    std::vector<int> failed;
};

inline constexpr const char* calibration_caption = "Calibration";
inline constexpr const char* calibration_labeltype = "calibration";

// "Could not calibrate channel <n>".
std::string calibration_failure_text(int chno);

// Whether the weighting's low-pass section runs at rate fs (its corner below
// half the rate).
bool calibration_uses_lowpass(double fs);

// RMS of the channel from round(L*fs) to round(R*fs) (time indices, both
// ends in), weighted as asked; the chain starts one second earlier so that
// its filters have settled.
double calibration_rms(const tchannel& ch, double L, double R, tcalibweighting w);
// Sum of x(n)/fs over round(L*fs)..round(R*fs).
double calibration_integral(const tchannel& ch, double L, double R);
// Mean of x over the time indices of t1..t2 (either order), both ends in.
double calibration_mean(const tchannel& ch, double t1, double t2);

// The channels "Calibrate!" works on: every channel for channo -1, else the
// channel and, when asked and it has one, its stereo partner.
// Numbers beyond the document are left out.
std::vector<int> calibration_targets(const tdocument& doc, int channo, bool companion);

// Calibrates each of `chans` over the selection L..R (marks 3..6 in
// two-amplitude mode, where L..R only places the labels). Marks the document modified when any channel changed.
tcalibresult calibrate_channels(tdocument& doc, const std::vector<int>& chans,
                                const tcalibration& p, double L, double R);

// The same with the warning for each channel that failed.
tcalibresult calibrate_and_warn(tdocument& doc, tprompter& prompter, const std::vector<int>& chans,
                                const tcalibration& p, double L, double R);

// Marks 3..6 of a channel that lie outside its time span go back to their
// default places: 10 %, 30 % (green) and 60 %, 80 % (purple) of the span.
// True when one moved.
bool reset_calibration_marks(tchannel& ch);

// --- texts of the window --------------------------------------------------------

// "[unit]" of the trimmed unit, or "" for an empty one.
std::string bracketed_unit(const std::string& unit);
// The caption of the first value: "Level of selection [dB]" ("[dBA]",
// "[dBC]"), "RMS amplitude of selection [Pa]", "Average value between green
// cursors [Pa]", "Integral of selection [Pa*s]".
std::string calibration_value_caption(tcalibmode mode, tcalibweighting w, const std::string& unit);
// The second caption: "Reference [Pa]" in level mode, "Average value
// between purple cursors [Pa]" in two-amplitude mode, "" otherwise.
std::string calibration_value2_caption(tcalibmode mode, const std::string& unit);
// The four radio items, items 1 and 2 carrying the unit.
std::vector<std::string> calibration_mode_items(const std::string& unit);

}  // namespace tessal
