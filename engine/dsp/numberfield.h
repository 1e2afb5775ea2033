// The number fields of the dialogs: each has a range, and a typed value is
// either read or refused with one sentence naming the field and its range.
// Counts that the program clamps (significant digits, decimals) are read
// as any whole number, however long, and clamped.
#pragma once

#include <string>

namespace tessal {

struct tnumberfield {
    std::string caption;  // as the user reads it: "Default sample rate"
    double lo = 0, hi = 0;
    std::string unit;     // "Hz", "dB", "s"; empty for none
};

// "Default sample rate must be a number from 1 to 10000000 Hz".
std::string number_field_rule(const tnumberfield& f);
// Reads `text` into `value`. Empty when the text is a finite number inside
// the range; otherwise the rule, and `value` is left alone.
std::string read_number_field(const std::string& text, const tnumberfield& f, double& value);
// Reads a whole number (optional blanks and sign, any number of digits) and
// clamps it to lo..hi. False when the text is not a whole number.
bool read_clamped_count(const std::string& text, int lo, int hi, int& value);

// The ranges of the program's fields.
namespace fields {
extern const tnumberfield defaultsampfreq;  // Settings
extern const tnumberfield overloadmargin;   // Settings
extern const tnumberfield labeltime;        // Label properties
extern const tnumberfield labelduration;    // Label properties
extern const tnumberfield fullscale;        // Channel information
extern const tnumberfield samplingrate;     // Channel information
extern const tnumberfield timeshift;        // Channel information
extern const tnumberfield dbreference;      // Channel information
// The analysis bandwidths: the lower end bounds the frame length (and with
// it one job's work on an hour-long file), the upper end keeps a frame of
// more than a few bins.
extern const tnumberfield spectrumbandwidth;     // Spectrum window
extern const tnumberfield spectrogrambandwidth;  // Spectrogram window
extern const tnumberfield correlationlength;     // Correlation: "Window length [ms]"
extern const tnumberfield correlogramlength;     // Correlogram: "Fixed" window [ms]
extern const tnumberfield correlogramfactor;     // Correlogram: "Corr delay x"
}  // namespace fields

}  // namespace tessal
