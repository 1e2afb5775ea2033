#include "engine/dsp/numberfield.h"

#include <cctype>
#include <cmath>

#include "engine/dsp/numformat.h"

namespace tessal {

namespace {

// Range ends as a user would type them: whole numbers without exponent up
// to ten digits, otherwise the general format.
std::string end_text(double v) {
    if (v == std::floor(v) && std::fabs(v) < 1e10) return std::to_string(static_cast<long long>(v));
    return float_to_text(v);
}

}  // namespace

std::string number_field_rule(const tnumberfield& f) {
    std::string t = f.caption + " must be a number from " + end_text(f.lo) + " to " + end_text(f.hi);
    if (!f.unit.empty()) t += " " + f.unit;
    return t;
}

std::string read_number_field(const std::string& text, const tnumberfield& f, double& value) {
    double v = 0;
    if (!try_parse_float(text, v) || !std::isfinite(v) || v < f.lo || v > f.hi)
        return number_field_rule(f);
    value = v;
    return {};
}

bool read_clamped_count(const std::string& text, int lo, int hi, int& value) {
    std::size_t b = text.find_first_not_of(" \t");
    std::size_t e = text.find_last_not_of(" \t");
    if (b == std::string::npos) return false;
    bool negative = false;
    if (text[b] == '+' || text[b] == '-') {
        negative = text[b] == '-';
        ++b;
    }
    if (b > e) return false;
    long long v = 0;
    for (std::size_t i = b; i <= e; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
        // Past the range the digits only make it larger; stop counting.
        if (v < 1000000000LL) v = v * 10 + (text[i] - '0');
    }
    if (negative) v = -v;
    value = static_cast<int>(v < lo ? lo : v > hi ? hi : v);
    return true;
}

namespace fields {
// Sample rates: from a slow physiological channel to well past any
// converter; beyond this a second of signal no longer fits a channel.
const tnumberfield defaultsampfreq{"Default sample rate", 1, 10000000, "Hz"};
const tnumberfield overloadmargin{"Warning margin for overload labels", 0, 100, "dB"};
// Times: a hundred days either way is more than any recording.
const tnumberfield labeltime{"Starting time", -1e7, 1e7, "s"};
const tnumberfield labelduration{"Duration", 0, 1e7, "s"};
const tnumberfield fullscale{"Full scale", -1e30, 1e30, ""};
const tnumberfield samplingrate{"Sampling rate", 1, 10000000, "Hz"};
const tnumberfield timeshift{"Time shift", -1e7, 1e7, "s"};
const tnumberfield dbreference{"dB reference", 0, 1e30, ""};
const tnumberfield spectrumbandwidth{"Bandwidth", 1, 2000, "Hz"};
const tnumberfield spectrogrambandwidth{"Bandwidth", 10, 10000, "Hz"};
// Autocorrelation windows: bounded so that one computation stays within a
// few seconds at 48 kHz. The correlation window correlates one stretch per
// lag (a second over its default 40 ms of lags is about 1e8 products per
// channel); a correlogram strip does that for every row of every pixel
// column, so its windows are shorter.
const tnumberfield correlationlength{"Window length", 0.01, 1000, "ms"};
const tnumberfield correlogramlength{"Window length", 0.01, 100, "ms"};
const tnumberfield correlogramfactor{"Corr delay factor", 0.01, 10, ""};
}  // namespace fields

}  // namespace tessal
