// Measurement items of a channel: the number of each item from the cursors
// and the stored results of the last measurement pass, and their texts for
// the information line, the Measurements dialog and the data log. A number
// that cannot be computed (logarithm of zero, division by zero) shows "-".
#include "engine/core/measurementitems.h"

#include <cmath>
#include <limits>

#include "engine/core/tchannel.h"
#include "engine/core/tdocument.h"
#include "engine/core/unitproduct.h"
#include "engine/dsp/numformat.h"

namespace tessal {
namespace {

constexpr tmeasurementitem items[nmeasurementitems] = {
    {"Channel", "Channo"},
    {"File name", "FileName"},
    {"Channel name", "ChannelName"},
    {"Sampling rate", "SampFreq"},
    {"t", "Time"},
    {"Value", "Value"},
    {"Level re FSD", "LevelFSD"},
    {"Level re ref", "LevelRef"},
    {"From", "SelStart"},
    {"To", "SelEnd"},
    {"Dur", "SelDuration"},
    {"1/Dur", "SelFreq"},
    {"Integral", "Integral"},
    {"Avg", "Average"},
    {"Avg+", "AveragePos"},
    {"Avg>", "Average>"},
    {"Start val", "ValueStart"},
    {"End val", "ValueEnd"},
    {"Min", "Min"},
    {"Max", "Max"},
    {"Peak", "Peak"},
    {"Lpeak", "PeakLevelFSD"},
    {"Lpeak", "PeakLevelRef"},
    {"SD", "SD"},
    {"SD+", "SDPos"},
    {"RMS", "RMS"},
    {"Leq", "RMSLevelFSD"},
    {"Leq", "RMSLevelRef"},
    {"Leq", "RMSLevelRefA"},
    {"Leq", "RMSLevelRefC"},
    {"Crest", "CrestFactor"},
    {"Crest", "CrestLevel"},
};

enum tkind { kint, ktext, ksig, kdb, ksec, krate };

tkind kind_of(int i) {
    switch (i) {
        case 0: return kint;
        case 1:
        case 2: return ktext;
        case 3: return krate;
        case 4:
        case 8:
        case 9:
        case 10: return ksec;
        case 6:
        case 7:
        case 21:
        case 22:
        case 26:
        case 27:
        case 28:
        case 29:
        case 31: return kdb;
        default: return ksig;
    }
}

// 20 log10(a / b), failing where the logarithm or the division does.
bool level(double a, double b, double& v) {
    if (b == 0 || !std::isfinite(a) || !std::isfinite(b)) return false;
    double r = a / b;
    if (!(r > 0) || !std::isfinite(r)) return false;
    v = 20.0 * std::log10(r);
    return true;
}

bool ratio(double a, double b, double& v) {
    if (b == 0) return false;
    v = a / b;
    return std::isfinite(v);
}

std::string trim(const std::string& s) {
    std::size_t b = s.find_first_not_of(' ');
    if (b == std::string::npos) return "";
    return s.substr(b, s.find_last_not_of(' ') - b + 1);
}

}  // namespace

tmeasurementitem measurement_item(int itemno) {
    if (itemno < 0 || itemno >= nmeasurementitems) return {"", ""};
    return items[itemno];
}

bool measurement_shown_by_default(int itemno) {
    switch (itemno) {
        case 0:
        case 1:
        case 2:
        case 3:
        case 21:
        case 26:
        case 31: return true;
        default: return false;
    }
}

bool tchannel::measurement_number(int i, double& v) const {
    double L = 0, R = 0;
    if (fdoc) {
        L = fdoc->theglobal.leftselcursor();
        R = fdoc->theglobal.rightselcursor();
    }
    switch (i) {
        case 0: v = fchanno; return true;
        case 1:
        case 2: v = std::numeric_limits<double>::quiet_NaN(); return true;
        case 3: v = sampfreq; return true;
        case 4:
        case 8: v = L; return true;
        case 5:
        case 17: v = value_at_time(R); return true;
        case 6: return level(std::fabs(value_at_time(R)), ffsd, v);
        case 7: return level(std::fabs(value_at_time(R)), dbreference, v);
        case 9: v = R; return true;
        case 10: v = R - L; return true;
        case 11: return ratio(1.0, R - L, v);
        case 12: v = integral; return true;
        case 13: v = avg; return true;
        case 14: v = avgpos; return true;
        case 15: v = avggt; return true;
        case 16: v = value_at_time(L); return true;
        case 18: v = ymin; return true;
        case 19: v = ymax; return true;
        case 20: v = peak; return true;
        case 21: return level(peak, ffsd, v);
        case 22: return level(peak, dbreference, v);
        case 23: v = sd; return true;
        case 24: v = sdpos; return true;
        case 25: v = rms; return true;
        case 26: return level(rms, ffsd, v);
        case 27: return level(rms, dbreference, v);
        case 28: return level(rmsA, dbreference, v);
        case 29: return level(rmsC, dbreference, v);
        case 30: return ratio(peak, rms, v);
        case 31: return level(peak, rms, v);
        default: v = 0; return true;
    }
}

std::string tchannel::get_measurementheading(int itemno) const {
    return measurement_item(itemno).heading;
}

double tchannel::get_measurementfloat(int itemno) const {
    double v = 0;
    if (!measurement_number(itemno, v)) return std::numeric_limits<double>::quiet_NaN();
    return v;
}

std::string tchannel::get_measurementvalue(int itemno) const {
    if (itemno < 0 || itemno >= nmeasurementitems) return "";
    double v = 0;
    if (!measurement_number(itemno, v)) return "-";
    tpreferences defaults;
    const tpreferences& p = fdoc ? fdoc->prefs : defaults;
    std::string s;
    switch (kind_of(itemno)) {
        case kint: s = std::to_string(fchanno); break;
        case ktext: return itemno == 1 ? filename : fname;
        case krate: s = format_significant(5, v); break;
        case ksig: s = format_significant(p.nSignificantDigits, v); break;
        case kdb: s = format_float_pattern(p.dBFormat, v); break;
        case ksec: s = format_float_pattern(p.SecondsFormat, v); break;
    }
    if (s == "NAN" || s == "NaN") return "-";
    return s;
}

std::string tchannel::get_measurementunit(int itemno) const {
    switch (itemno) {
        case 3:
        case 11: return "Hz";
        case 4:
        case 8:
        case 9:
        case 10: return "s";
        case 5:
        case 13:
        case 14:
        case 15:
        case 16:
        case 17:
        case 18:
        case 19:
        case 20:
        case 23:
        case 24:
        case 25: return fyunit;
        case 6:
        case 21:
        case 26: return "dB re FSD";
        case 7:
        case 22:
        case 27:
        case 31: return "dB";
        case 12: return unit_product(fyunit, "s");
        case 28: return "dBA";
        case 29: return "dBC";
        default: return "";
    }
}

std::string tchannel::get_infotext(const std::string& separator) const {
    std::string out;
    for (int i = 0; i <= 3; ++i) {
        if (fdoc && !fdoc->showmeasurement[i]) continue;
        if (!fdoc && !measurement_shown_by_default(i)) continue;
        std::string piece = trim(get_measurementvalue(i) + " " + get_measurementunit(i));
        if (piece.empty()) continue;
        if (!out.empty()) out += separator;
        out += piece;
    }
    return out;
}

std::string tchannel::get_measurementtext(const std::string& separator) const {
    if (!fdoc || !fdoc->is_channel_selected(fchanno)) return "";
    const bool selection = fdoc->theglobal.has_selection();
    std::string out;
    bool first = true;
    auto add = [&](const std::string& piece) {
        if (!first) out += separator;
        out += piece;
        first = false;
    };
    for (int i = selection ? 8 : 4; i <= (selection ? 31 : 7); ++i) {
        if (!fdoc->showmeasurement[i]) continue;
        double v = 0;
        bool ok = measurement_number(i, v);
        std::string value = ok ? get_measurementvalue(i) : "-";
        std::string unit = ok && value != "-" ? get_measurementunit(i) : "";
        std::string piece = trim(value + " " + unit);
        if (selection) {
            std::string heading = get_measurementheading(i);
            if (i == 15) heading += float_to_text(fdoc->measurementthreshold);
            piece = heading + ": " + piece;
        }
        add(piece);
    }
    return out;
}

}  // namespace tessal
