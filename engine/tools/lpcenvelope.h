// The spectrum window's "LPC envelope": the formant analysis of the span a
// spectrum shows (the frame at the cursor, or the frames of an LTAS span)
// as a curve on the spectrum's own dB scale, and its formants as one line
// of text and a log line.
//
// A single frame is the formant model at the cursor time. An LTAS span is
// analysed at up to `maxframes` frames spread evenly over it; the curve is
// the mean power of their models and each formant the median of its track.
// The level: the model's power density per sample at the channel's rate,
// plus 10 log10(2 sum w^2 / W^2) for the spectrum's window w of W samples
// (the expected |X_k|^2 of such a density as the spectrum scales its
// frames: samples times sqrt 2, the transform divided by W).
#pragma once

#include <string>
#include <vector>

#include "engine/analysis/spectrum.h"
#include "engine/core/tpreferences.h"
#include "engine/tools/formants.h"

namespace tessal {

struct tlpcenvelope {
    std::vector<tformantmodel> models;
    std::vector<double> f, b;  // per formant (NaN where none)
    double offset = 0;         // dB from density per sample to the spectrum's level
    bool empty() const { return models.empty(); }
    // The curve's level at f Hz (relative to 1, before "Level relative
    // to..."); -400 above the analysis' ceiling or where it has no value.
    double level_db(double f) const;
    // The highest frequency the curve reaches.
    double top() const;
};

// The envelope of the span t1..t2 of v (t1 == t2: the frame at t1).
tlpcenvelope lpc_envelope(const tsampleview& v, double t1, double t2, const tformantsettings& s,
                          const tspectrumsettings& spectrum, std::size_t maxframes = 100);

// "F1=730 F2=1090 F3=2440 Hz", rounded to 1 Hz (the status line; "no
// formants" when none).
std::string lpc_formants_text(const tlpcenvelope& e);

// "Log cursor"'s second line with the envelope on: heading "t [s]\tF1
// [Hz]\tB1 [Hz]\t..." ("t1 [s]\tt2 [s]\t..." for an LTAS span) and the
// values, each followed by a tab, "--" for a formant without a value.
struct tlpclog {
    std::string heading, line;
};
tlpclog lpc_formants_log(const tlpcenvelope& e, bool ltas, double t1, double t2, const tpreferences& prefs);

}  // namespace tessal
