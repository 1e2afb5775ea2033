// Helpers shared by the step families: number texts, rounding, parameter
// checks with the dialog's own sentences, the generated-signal record, and
// reading whole numbers from forms. A family's source file includes this
// (which brings the parameter list) and uses the helpers by their short
// names (`using namespace steps`).
#pragma once

#include <cmath>
#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>
#include <numbers>
#include <string>

#include "engine/dsp/numberfield.h"
#include "engine/process/stepparams.h"
#include "engine/process/tprocstep.h"

namespace tessal::steps {

inline constexpr double pi = std::numbers::pi;

// The shortest general text of a number, as list texts and names use it.
std::string num(double x);
// x rounded to the nearest integer, halves to even.
inline double round_even(double x) { return std::nearbyint(x); }

// Throws EProcessError "<step>: <rule>" when v is not a finite number inside
// the range: a process file holding a value the dialog refuses stops the
// run with the dialog's sentence, naming the step.
void check_param(const tprocstep& step, const tnumberfield& range, double v);
// The same for a whole number.
void check_whole(const tprocstep& step, const tnumberfield& range, double v);
// "<step>: <text>".
[[noreturn]] void step_error(const tprocstep& step, const std::string& text);

// A whole number typed into `key`, inside the range; throws EProcessError
// with the range's sentence (and "a whole number" for fractions).
int form_whole(const tstepform& form, const std::string& key, const tnumberfield& range);
std::string whole_rule(const tnumberfield& range);

// A time shift in samples as the working set carries it (32 bits). `what`
// names the field or channel the number came from ("Delay [s] 100000 s at
// 44100 Hz"); a shift that does not fit is refused with EProcessError
// "<step>: <what> would make the time shift <v> samples, ...", never
// wrapped around.
std::int32_t checked_xshift(const tprocstep& step, double shift, const std::string& what);

// The number of samples of a generated signal: round(fs * duration),
// refused when it would not fit a channel.
std::size_t generated_length(const tprocstep& step, double fs, double duration);

// Cuts the properties to one record for a newly generated signal: its rate
// `fs`, no unit, dB reference 1, FSD 1, 32-bit float samples.
void new_signal_props(std::vector<tchannelproperties>& props, double fs);
// 32-bit float samples.
inline void float_format(tchannelproperties& p) {
    p.nbits = 32;
    p.format = tFormat::ieeefloat;
}

// Moves the input working set into the output, for steps that compute each
// signal in place (the input is not needed after the step, and a new array
// of a long signal costs more than the arithmetic), and gives props one
// record per signal.
void take_input(tprocstep& step);

// "512.0 MB", "4.15 GB".
std::string bytes_text(double bytes);
// Throws EProcessError "<step>: needs 4.15 GB for its signals as arrays, the
// sample memory is 2.00 GB" when `bytes` of arrays are more than the
// document's block cache allows, or more than the computer's memory.
void check_sample_memory(const tprocstep& step, const tprocenv& env, double bytes);
// Makes the input signals that are stores into arrays, for a step that does
// not take stores, after check_sample_memory over all its input: a step
// refused so allocates nothing.
void arrays_for(tprocstep& step, const tprocenv& env);

// Tells the run how many samples `step` made infinite or not a number.
void note_nonfinite(tprocenv& env, const tprocstep& step, std::size_t count);

// Computes a signal forward: g(x, y, n, pos) makes y[0..n) from x[0..n),
// samples pos..pos+n, carrying its own state from one call to the next. An
// array is computed in place (x == y) in pieces of `piece`; a store is read
// through its pieces and the results go to a new store of `cache`, so a
// signal of any length needs only a piece's worth of memory.
template <class G>
void map_forward(tworksig& sig, const std::shared_ptr<tblockcache>& cache, G g,
                 std::size_t piece = std::size_t(1) << 20) {
    const auto n = static_cast<std::int64_t>(sig.size());
    if (!sig.is_store()) {
        float* p = sig.data();
        for (std::int64_t j = 0; j < n; j += static_cast<std::int64_t>(piece)) {
            const auto m = static_cast<std::size_t>(std::min<std::int64_t>(static_cast<std::int64_t>(piece), n - j));
            g(static_cast<const float*>(p + j), p + j, m, j);
        }
        return;
    }
    tstoreappender out(cache);
    std::vector<float> buf;
    sig.for_each_chunk(0, n, [&](const float* x, std::size_t m, std::int64_t pos) {
        buf.resize(m);
        g(x, buf.data(), m, pos);
        out.append(buf.data(), m);
    });
    sig = tworksig(out.take());
}

// Computes each signal of the input in place (take_input): f(signal, its
// record, its index) returns how many samples it made not finite from
// finite ones, which the run is told; progress follows each signal.
template <class F>
void each_signal(tprocstep& step, tprocenv& env, F f) {
    take_input(step);
    std::size_t bad = 0;
    for (std::size_t i = 0; i < step.outarr.size(); ++i) {
        bad += f(step.outarr[i].arr(), step.props[i], i);
        env.progress(static_cast<double>(i + 1) / static_cast<double>(step.outarr.size()));
    }
    note_nonfinite(env, step, bad);
}

}  // namespace tessal::steps
