// Inverse filtering of a voice signal to glottal flow ("Invira").
//
// A segment of 16384 samples from the time cursor on (with a lead-in of 1638
// samples for the filters to settle) is read from a microphone or flow
// channel. A microphone signal is taken as the flow derivative (the lip
// radiation differentiates); its flow is the signal high-passed forward and
// backward (no phase shift) and summed. A flow signal is taken as it is and
// differentiated. Both then run through a cascade of second-order sections
// whose zeros cancel the formants ("inverse formants") and whose poles
// cancel zeros of the tract ("inverse zeros"), giving the inverse-filtered
// flow and flow derivative.
//
// `tinvfilter` holds the elements, the cascade and every array; changing an
// element and recomputing the outputs allocates nothing, so a handle can be
// dragged at the display's frame rate. The window paints these arrays; the
// same code makes channels from a whole file for tessal-cli.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "engine/core/tsiglabel.h"
#include "engine/dsp/fftwindows.h"
#include "engine/dsp/tfft.h"
#include "engine/dsp/tfiltersection.h"
#include "engine/store/samplestore.h"

namespace tessal {

class tchannel;
class tdocument;
class tjobcontext;
class tprompter;

// One element of the inverse filter.
struct tformant {
    bool iszero = false;  // false: inverse formant (a zero pair); true: inverse zero (a pole pair)
    double f0 = 1.0;      // Hz
    double bw = 1.0;      // Hz
};

// Mouse tools on the spectrum, in the order the right button cycles them.
enum tformantaction : int { fanone = 0, faadd = 1, faaddzero = 2, famove = 3, fadelete = 4 };

enum class tinvsignaltype : int { mic = 0, flow = 1 };

inline constexpr int invfilter_lead = 1638;
inline constexpr int invfilter_seglen = 16384;
// Indices -1638 ... 16384.
inline constexpr int invfilter_total = invfilter_lead + invfilter_seglen + 1;

// Sorts by ascending f0 with adjacent swaps until none occurs (stable).
void sort_formants(std::vector<tformant>& f);

// The level of a handle: 20 log10(f0/bw) dB, 200 when that is not finite.
double handle_level(double f0, double bw);
// The bandwidth a handle at frequency f and level db stands for.
double bandwidth_at_level(double f, double db);

// One line of the cascade list: "F<n>: f=<f0> Hz, BW=<bw> Hz" or "Z<n>: ...",
// the numbers to `digits` significant digits (0: the shortest form that
// reads back exactly).
std::string formant_memo_line(const tformant& f, int n, int digits = 0);

// The sampling-rate warning under the type choice; empty when none.
std::string sampling_rate_warning(double fs);

// The two guides of reasonable bandwidths, as (frequency, bandwidth) pairs.
std::vector<std::pair<double, double>> bandwidth_guide(bool upper);

// A magnitude spectrum for the plot: dB per bin j = 1 ... N/2 at j/N fs.
struct tinvspectrum {
    std::vector<double> freq;
    std::vector<double> db;
    void clear() { freq.clear(); db.clear(); }
};

class tinvfilter {
public:
    tinvfilter();

    // Settings that the loading uses.
    tinvsignaltype signaltype = tinvsignaltype::mic;
    double fhpfilterfreq = 20.0;
    double fflipfactor = 1.0;
    double fsampfreq = 16000.0;
    double cursortime = 0.0;

    std::vector<tformant> formants;
    std::vector<TFilterSection> invfilters;
    THPFilterSection hpfilter;

    // Arrays indexed -1638 ... 16384 through at(); data()+lead is index 0.
    std::vector<double> flowarr, derarr, invflowarr, invderarr;
    std::vector<double> addarr;  // the extra channel, 0 ... 16384
    std::vector<double> invfilterarr;  // impulse response of the cascade
    double faddsampfreq = -1.0;

    static double& at(std::vector<double>& a, int i) { return a[static_cast<std::size_t>(i + invfilter_lead)]; }
    static double at(const std::vector<double>& a, int i) { return a[static_cast<std::size_t>(i + invfilter_lead)]; }

    // Zeroes every array (no channel).
    void clear_segment();
    // Reads the segment at `time` (seconds) from `ch` and makes flow and
    // derivative from it. Sets fsampfreq and the sections' sampling frequency.
    void load_segment(const tchannel& ch, double time);
    // The same from a sample function (index relative to the time cursor's
    // sample; zero outside the signal).
    template <class F>
    void load_samples(double fs, F&& sample) {
        set_sampfreq(fs);
        for (int i = -invfilter_lead; i <= invfilter_seglen; ++i) at(rawarr, i) = sample(i);
        derive_segment();
    }
    // The extra channel at its own rate (no filtering); none when ch is null.
    void load_extra(const tchannel* ch, double time);

    void set_sampfreq(double fs);

    // Rebuilds the sections from the sorted elements (no allocation while
    // the number of sections stays).
    void rebuild_cascade();
    // The list of the elements in the cascade, one line each (numbers as
    // formant_memo_line gives them).
    std::vector<std::string> memo_lines(int digits = 0) const;
    // The name the list gives element `index` ("F1", "Z3"), counting as
    // the list does; "" for an element the cascade leaves out.
    std::string element_name(int index) const;
    // The status bar's line for a grabbed or moved element: "*F1=700 Hz,
    // BW=80.00 Hz" (the list's name, the frequency without decimals, the
    // bandwidth with two).
    std::string element_status(int index, double f, double bw) const;
    // The cascade over flow and derivative into the inverse-filtered arrays,
    // and the impulse response. Allocates nothing after the first call for
    // a sampling frequency.
    void recompute_outputs();
    // The cascade over `x` in place (sections reset first).
    void run_cascade(double* x, std::size_t n);

    // Elements that the cascade, the log and the list use.
    bool in_use(const tformant& f) const { return f.f0 > 0 && f.f0 < fsampfreq / 2; }

    // Mouse-level edits; each re-sorts and returns the edited element's index.
    int add_element(bool iszero, double f, double bw);
    void delete_element(int index);
    int set_element(int index, double f, double bw);
    // The element whose handle is nearest to (x, y) in pixels given the two
    // mappings (first wins ties); -2 when there is none.
    template <class FX, class FY>
    int nearest_handle(double x, double y, FX&& xpix, FY&& ypix) const {
        int best = -2;
        double bestd = 0;
        for (int i = 0; i < static_cast<int>(formants.size()); ++i) {
            const double dx = xpix(formants[i].f0) - x;
            const double dy = ypix(handle_level(formants[i].f0, formants[i].bw)) - y;
            const double d = dx * dx + dy * dy;
            if (best < 0 || d < bestd) best = i, bestd = d;
        }
        return best;
    }

    // The spectrum of samples [from, to) of an array (index as at()) with
    // the level reference of the plot: bins in dB minus (10 log10 P − 40),
    // P the sum of squares over n − 1. Empty when fewer than 3 samples or P
    // is 0. No allocation once the sizes are fixed.
    void signal_spectrum(const std::vector<double>& arr, int from, int to, tinvspectrum& out);
    // The negated spectrum of the impulse response (the tract the cascade
    // cancels); empty when it has fewer than 3 values.
    void filter_spectrum(tinvspectrum& out);
    void set_fft_window(TFFTWindow w) {
        fft.SetWindow(w);
        filterfft.SetWindow(w);
    }
    TFFTWindow fft_window() const { return fft.GetWindow(); }

    // ".for" files. Reading replaces the elements (defaults for missing
    // keys); false with `error` when the file cannot be read or written.
    bool read_for_file(const std::string& path, std::string* error = nullptr);
    bool write_for_file(const std::string& path, const std::string& version,
                        std::string* error = nullptr) const;

    // "Log filter": heading and value line, numbers to `sigdigits`
    // significant digits.
    void log_lines(const std::string& filename, const std::string& channelname,
                   const std::string& timetext, int sigdigits, std::string& heading,
                   std::string& line) const;

    // The label entities: F<i>/Z<i> and B<i> for every element.
    tentities label_entities() const;

private:
    void derive_segment();
    std::vector<double> rawarr;
    // The signals' spectra and the cascade's have a transform each, so that
    // neither changes size (and allocates) while a handle moves.
    std::vector<double> fftin, filterin;
    TFFT fft, filterfft;
};

// "Make channels".
enum class tinvrange : int { visible = 0, pink = 1, entire = 2 };

struct tinvmakeoptions {
    tinvrange range = tinvrange::visible;
    double visiblefrom = 0, visibleto = 0;  // seconds, for the visible range
    double timecursor = 0;                  // for the pink-cursor question
    bool saveflow = true, saveder = true;
    int savechanno = -1, savederchanno = -1;  // -1: a new channel
    bool convert = true;
    double distance_cm = 30.0;
    bool autofsd = true;
    // Called once the range is settled (after the pink-cursor question),
    // before anything is computed: "Log at make" logs the filter here.
    std::function<void()> beforemaking;
};

struct tinvmakeresult {
    bool made = false;         // false: refused at the question
    int flowchanno = -1, derchanno = -1;
};

// The factor from the source unit to litres per second.
double invfilter_scale(tinvsignaltype type, bool convert, const std::string& unit,
                       double distance_cm);

// "Make channels" in three steps, so that the filtering of a long range can
// run on a worker while the window's event loop runs:
//  - plan (on the document's thread): checks the input, asks the pink-cursor
//    question, calls `beforemaking` and takes a slice of the source's samples
//    and a copy of the filter;
//  - compute (anywhere): filters the slice; it looks at `job` (may be null)
//    between blocks and reports its progress there;
//  - apply (on the document's thread): writes the channels. It checks the
//    channel numbers again, since the document may have changed meanwhile.
struct tinvmakeplan {
    bool go = false;  // false: refused at the question (nothing to do)
    int src = -1;
    tinvmakeoptions opt;
    tinvfilter filter;
    tsamplestore samples;  // source samples p0 ... p1
    double fs = 0;
    long long len = 0, r0 = 0, r1 = 0, p0 = 0, p1 = 0;
    bool mic = true, converted = false;
    double factor = 1;
    std::string srcname, srcunit;
    long long srcxshift = 0;
};
struct tinvmakedata {
    std::vector<double> flow, der;  // indices p0 ... p1 of the source
};
tinvmakeplan plan_invfilter_channels(const tdocument& doc, int src, const tinvfilter& filter,
                                     const tinvmakeoptions& opt, tprompter& prompter);
tinvmakedata compute_invfilter_channels(const tinvmakeplan& plan, tjobcontext* job = nullptr);
tinvmakeresult apply_invfilter_channels(tdocument& doc, const tinvmakeplan& plan, const tinvmakedata& data);

// Makes the channels from channel `src` with the filter's elements, type,
// flip and high-pass: the three steps above in one go. Raises
// std::runtime_error with a message for the user on bad input (nothing
// changed then).
tinvmakeresult make_invfilter_channels(tdocument& doc, int src, tinvfilter& filter,
                                       const tinvmakeoptions& opt, tprompter& prompter);

}  // namespace tessal
