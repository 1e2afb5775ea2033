#include "engine/process/generatorsteps.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <numbers>

#include "engine/dsp/numformat.h"
#include "engine/process/stepsupport.h"
#include "engine/settings/tsetting.h"

namespace tessal {

using steps::check_param;
using steps::check_whole;
using steps::num;
using steps::round_even;

namespace {

std::uint32_t randseed = 0;

const tnumberfield r_freq{"Frequency", 0, 10000000, "Hz"};
const tnumberfield r_phase{"Phase shift", -1e9, 1e9, "degrees"};
const tnumberfield r_duration{"Duration", 0, 10000000, "s"};
const tnumberfield r_rate{"Sampling rate", 1, 10000000, "Hz"};
const tnumberfield r_amplitude{"Amplitude", -1e30, 1e30, ""};
const tnumberfield r_delay{"Delay", -1000000, 1000000, "s"};
const tnumberfield r_adddelay{"Added delay", -1000000, 1000000, "s"};
const tnumberfield r_nharm{"Number of harmonics", 1, 100000, ""};
const tnumberfield r_tilt{"Spectral tilt", -1000, 1000, "dB/octave"};
const tnumberfield r_impfreq{"Approximate frequency", 1e-6, 10000000, "Hz"};
const tnumberfield r_start{"Start value", -1e30, 1e30, ""};
const tnumberfield r_end{"End value", -1e30, 1e30, ""};
const tnumberfield r_voices{"Number of voices", 1, 100000, ""};
const tnumberfield r_delayrange{"Delay range", 0, 1000000, "ms"};

const double twopi = 2 * std::numbers::pi;

std::string silence(double duration) { return "Silence " + num(duration) + " s"; }

// Every sample as one progress report per this many.
constexpr std::size_t progress_block = 1 << 18;

}  // namespace

double proc_random() {
    randseed = randseed * 134775813u + 1u;
    return static_cast<double>(randseed) / 4294967296.0;
}

void proc_randomize() {
    const auto t = std::chrono::high_resolution_clock::now().time_since_epoch().count();
    randseed = static_cast<std::uint32_t>(t ^ (t >> 32));
}

void proc_setseed(std::uint32_t seed) { randseed = seed; }
std::uint32_t proc_seed() { return randseed; }

// --- sine and harmonic series ----------------------------------------------

void tsinewave::check() const {
    check_param(*this, r_freq, freq);
    check_param(*this, r_phase, phase);
    check_param(*this, r_amplitude, amplitude);
    check_param(*this, r_delay, delay);
    check_param(*this, r_adddelay, adddelay);
    check_whole(*this, r_nharm, nharm);
    check_param(*this, r_tilt, tilt);
    if (inputmode < 0 || inputmode > 3) steps::step_error(*this, "unknown input mode");
    if (inputmode == 0) {
        check_param(*this, r_duration, duration);
        check_param(*this, r_rate, sampfreq);
    }
}

void tsinewave::run_process(tprocenv& env) {
    check();
    const int K = nharm;
    std::vector<double> A(K + 1, 0.0), phi(K + 1, 0.0);
    for (int k = 1; k <= K; ++k) {
        A[k] = (oddonly && k % 2 == 0) ? 0.0 : std::pow(10.0, std::log2(k) * tilt / 20.0);
        phi[k] = phase * std::numbers::pi / 180;
        if (inputmode <= 1)
            phi[k] += -k * freq * twopi * delay -
                      static_cast<double>(k) * k * freq * std::numbers::pi * adddelay / K;
    }
    // Harmonic k at fundamental f: full, half at exactly fs/2, none above.
    auto weight = [](int k, double f, double fs) {
        const double kf = k * f;
        return kf < fs / 2 ? 1.0 : kf == fs / 2 ? 0.5 : 0.0;
    };
    // Adds the series at a fixed fundamental into y (harmonic by harmonic,
    // summed in the output's samples).
    auto add_series = [&](tsinglearr& y, double fs) {
        for (int k = 1; k <= K; ++k) {
            const double a = amplitude * A[k] * weight(k, freq, fs);
            if (a == 0) continue;
            const double w = k * twopi * freq / fs;
            for (std::size_t j = 0; j < y.size(); ++j)
                y[j] += static_cast<float>(a * std::sin(w * static_cast<double>(j) + phi[k]));
            env.progress(static_cast<double>(k) / K);
        }
    };
    const std::string sinename = "Sine wave " + num(freq) + " Hz";
    if (inputmode == 0) {
        tsinglearr y(steps::generated_length(*this, sampfreq, duration), 0.0f);
        add_series(y, sampfreq);
        steps::new_signal_props(props, sampfreq);
        props[0].xshift = 0;
        props[0].name = sinename;
        outarr.assign(1, std::move(y));
        return;
    }
    props.resize(inarr.size());
    outarr.resize(inarr.size());
    for (std::size_t i = 0; i < inarr.size(); ++i) {
        tchannelproperties& p = props[i];
        const double fs = p.sampfreq;
        const tsinglearr& x = inarr[i];
        tsinglearr y(x.size(), 0.0f);
        if (inputmode == 2) {
            double theta = 0;
            for (std::size_t j = 0; j < x.size(); ++j) {
                const double f = x[j];
                if (f >= 0 && f <= fs / 2) theta += twopi * f / fs;
                double sum = 0;
                for (int k = 1; k <= K; ++k) {
                    const double a = A[k] * weight(k, f, fs);
                    if (a != 0) sum += a * std::sin(k * theta + phi[k]);
                }
                y[j] = static_cast<float>(amplitude * sum);
                if (j % progress_block == 0)
                    env.progress((static_cast<double>(i) + static_cast<double>(j) / x.size()) /
                                 inarr.size());
            }
            p.name += "-> sine wave";
        } else {
            add_series(y, fs);
            if (inputmode == 3) {
                for (std::size_t j = 0; j < x.size(); ++j) y[j] += x[j];
                p.name += "+ sine wave " + num(freq) + " Hz";
            } else {
                p.name = sinename;
            }
        }
        if (inputmode != 3) {
            p.yunit.clear();
            p.dbreference = 1.0;
            p.fsd = 1.0;
        }
        steps::float_format(p);
        outarr[i] = std::move(y);
    }
}

std::unique_ptr<tstepform> tsinewave::settings_form() const {
    auto f = std::make_unique<tstepform>("Sine wave generator");
    f->add_number("freq", "Frequency [Hz]", freq, r_freq);
    f->add_number("phase", "Phase shift [degrees]", phase, r_phase);
    f->add_number("duration", "Duration [s]", duration, r_duration);
    f->add_number("sampfreq", "Sampling rate [Hz]", sampfreq, r_rate);
    f->add_number("amplitude", "Amplitude", amplitude, r_amplitude);
    f->add_number("delay", "Delay [s]", delay, r_delay);
    f->add_number("adddelay", "Added delay, highest harm. [s]", adddelay, r_adddelay);
    f->add_radio("inputmode", "Input",
                 {"Not used", "Controls duration", "Controls frequency", "Is added to signal"},
                 inputmode);
    f->begin_group("Harmonics");
    f->add_number("nharm", "# of harmonics", nharm, r_nharm);
    f->add_number("tilt", "Spectral tilt [dB/octave]", tilt, r_tilt);
    f->add_check("oddonly", "Odd harmonics only", oddonly);
    f->end_group();
    f->onchange = [](tstepform& form, const std::string&) {
        const int m = form.index("inputmode");
        form.field("duration").visible = m == 0;
        form.field("sampfreq").visible = m == 0;
        form.field("freq").visible = m != 2;
        form.field("delay").visible = m <= 1;
        form.field("adddelay").visible = m <= 1;
    };
    f->changed("inputmode");
    return f;
}

void tsinewave::apply_form(const tstepform& form) {
    tsinewave v(*this);
    v.inputmode = std::clamp(form.index("inputmode"), 0, 3);
    v.freq = form.number("freq");
    v.phase = form.number("phase");
    v.amplitude = form.number("amplitude");
    v.delay = form.number("delay");
    v.adddelay = form.number("adddelay");
    v.nharm = steps::form_whole(form, "nharm", r_nharm);
    v.tilt = form.number("tilt");
    v.oddonly = form.checked("oddonly");
    // Duration and rate show (and count) only for a new signal.
    if (v.inputmode == 0) {
        v.duration = form.number("duration");
        v.sampfreq = form.number("sampfreq");
    }
    freq = v.freq, phase = v.phase, amplitude = v.amplitude, delay = v.delay;
    adddelay = v.adddelay, nharm = v.nharm, tilt = v.tilt, oddonly = v.oddonly;
    inputmode = v.inputmode, duration = v.duration, sampfreq = v.sampfreq;
}

void tsinewave::save_proc(const std::string& id, TSetting& s) const {
    tprocstep::save_proc(id, s);
    s.WriteFloat(id, "Freq", freq);
    s.WriteFloat(id, "Phase", phase);
    s.WriteFloat(id, "Delay", delay);
    s.WriteFloat(id, "AddDelay", adddelay);
    s.WriteFloat(id, "Duration", duration);
    s.WriteFloat(id, "Amplitude", amplitude);
    s.WriteInteger(id, "nHarm", nharm);
    s.WriteInteger(id, "InputMode", inputmode);
    s.WriteFloat(id, "Tilt", tilt);
    s.WriteBool(id, "OddOnly", oddonly);
    s.WriteFloat(id, "Sampfreq", sampfreq);
}

void tsinewave::open_proc(const std::string& id, TSetting& s) {
    tprocstep::open_proc(id, s);
    freq = s.ReadFloat(id, "Freq", freq);
    phase = s.ReadFloat(id, "Phase", phase);
    delay = s.ReadFloat(id, "Delay", delay);
    adddelay = s.ReadFloat(id, "AddDelay", adddelay);
    duration = s.ReadFloat(id, "Duration", duration);
    amplitude = s.ReadFloat(id, "Amplitude", amplitude);
    nharm = static_cast<int>(std::clamp<std::int64_t>(s.ReadInteger(id, "nHarm", nharm), -1, 1000000000));
    inputmode = static_cast<int>(std::clamp<std::int64_t>(s.ReadInteger(id, "InputMode", inputmode), -1, 4));
    tilt = s.ReadFloat(id, "Tilt", tilt);
    oddonly = s.ReadBool(id, "OddOnly", oddonly);
    sampfreq = s.ReadFloat(id, "Sampfreq", sampfreq);
}

std::string tsinewave::get_procname() const {
    if (amplitude == 0) return silence(duration);
    const std::string w = nharm < 2 ? "Sine" : "Harmonic";
    switch (inputmode) {
        case 0: return w + " generator (" + num(freq) + " Hz), " + num(duration) + " s";
        case 1: return w + " generator (" + num(freq) + " Hz)";
        case 2: return w + " generator (following)";
        default: return "Add " + w + " wave (" + num(freq) + " Hz)";
    }
}

// --- noise -----------------------------------------------------------------

void tnoise::run_process(tprocenv& env) {
    check_param(*this, r_amplitude, amplitude);
    if (inputmode < 0 || inputmode > 2) steps::step_error(*this, "unknown input mode");
    auto fill = [&](tsinglearr& y, const tsinglearr* add, double done, double share) {
        for (std::size_t j = 0; j < y.size(); ++j) {
            y[j] = static_cast<float>((proc_random() - 0.5) * 2 * amplitude);
            if (add) y[j] += (*add)[j];
            if (j % progress_block == 0) env.progress(done + share * j / y.size());
        }
    };
    if (inputmode == 0) {
        check_param(*this, r_duration, duration);
        check_param(*this, r_rate, sampfreq);
        tsinglearr y(steps::generated_length(*this, sampfreq, duration));
        fill(y, nullptr, 0, 1);
        steps::new_signal_props(props, sampfreq);
        props[0].name = "Noise";
        outarr.assign(1, std::move(y));
        return;
    }
    props.resize(inarr.size());
    outarr.resize(inarr.size());
    for (std::size_t i = 0; i < inarr.size(); ++i) {
        tsinglearr y(inarr[i].size());
        fill(y, inputmode == 2 ? &inarr[i] : nullptr, static_cast<double>(i) / inarr.size(),
             1.0 / inarr.size());
        steps::float_format(props[i]);
        outarr[i] = std::move(y);
    }
}

std::unique_ptr<tstepform> tnoise::settings_form() const {
    auto f = std::make_unique<tstepform>("Noise generator");
    f->add_number("amplitude", "Amplitude", amplitude, r_amplitude);
    f->add_number("duration", "Duration [s]", duration, r_duration);
    f->add_number("sampfreq", "Sampling rate [Hz]", sampfreq, r_rate);
    f->add_radio("inputmode", "Input", {"Not used", "Controls duration", "Is added to signal"},
                 inputmode);
    f->onchange = [](tstepform& form, const std::string&) {
        const bool own = form.index("inputmode") == 0;
        form.field("duration").visible = own;
        form.field("sampfreq").visible = own;
    };
    f->changed("inputmode");
    return f;
}

void tnoise::apply_form(const tstepform& form) {
    const int mode = std::clamp(form.index("inputmode"), 0, 2);
    const double a = form.number("amplitude");
    double d = duration, fs = sampfreq;
    if (mode == 0) {
        d = form.number("duration");
        fs = form.number("sampfreq");
    }
    inputmode = mode, amplitude = a, duration = d, sampfreq = fs;
}

void tnoise::save_proc(const std::string& id, TSetting& s) const {
    tprocstep::save_proc(id, s);
    s.WriteFloat(id, "Duration", duration);
    s.WriteFloat(id, "Amplitude", amplitude);
    s.WriteInteger(id, "InputMode", inputmode);
    s.WriteFloat(id, "SampFreq", sampfreq);
}

void tnoise::open_proc(const std::string& id, TSetting& s) {
    tprocstep::open_proc(id, s);
    duration = s.ReadFloat(id, "Duration", duration);
    amplitude = s.ReadFloat(id, "Amplitude", amplitude);
    inputmode = static_cast<int>(std::clamp<std::int64_t>(s.ReadInteger(id, "InputMode", inputmode), -1, 3));
    sampfreq = s.ReadFloat(id, "SampFreq", sampfreq);
}

std::string tnoise::get_procname() const {
    if (amplitude == 0) return silence(duration);
    switch (inputmode) {
        case 0: return "Noise generator (" + num(duration) + " s)";
        case 1: return "Noise generator";
        default: return "Add noise";
    }
}

// --- impulses --------------------------------------------------------------

double timpulses::period() const {
    const double p = round_even(sampfreq / freq);
    return std::isfinite(p) && p >= 1 ? p : 0;
}

void timpulses::run_process(tprocenv&) {
    check_param(*this, r_duration, duration);
    check_param(*this, r_rate, sampfreq);
    check_param(*this, r_amplitude, amplitude);
    check_param(*this, r_impfreq, freq);
    const double P = period();
    if (P == 0)
        steps::step_error(*this, "the frequency must be at most twice the sampling rate");
    tsinglearr y(steps::generated_length(*this, sampfreq, duration), 0.0f);
    const std::size_t step = static_cast<std::size_t>(std::min(P, 4e18));
    for (std::size_t j = 0; j < y.size(); j += step) y[j] = static_cast<float>(amplitude);
    steps::new_signal_props(props, sampfreq);
    props[0].name = "Impulses";
    outarr.assign(1, std::move(y));
}

std::unique_ptr<tstepform> timpulses::settings_form() const {
    auto f = std::make_unique<tstepform>("Impulse generator");
    f->add_number("amplitude", "Amplitude", amplitude, r_amplitude);
    f->add_number("duration", "Duration [s]", duration, r_duration);
    f->add_number("sampfreq", "Sampling rate [Hz]", sampfreq, r_rate);
    f->add_number("freq", "Approximate frequency [Hz]", freq, r_impfreq);
    return f;
}

void timpulses::apply_form(const tstepform& form) {
    timpulses v(*this);
    v.amplitude = form.number("amplitude");
    v.duration = form.number("duration");
    v.sampfreq = form.number("sampfreq");
    v.freq = form.number("freq");
    if (v.period() == 0)
        throw EProcessError("Approximate frequency must be at most twice the sampling rate");
    amplitude = v.amplitude, duration = v.duration, sampfreq = v.sampfreq, freq = v.freq;
}

void timpulses::save_proc(const std::string& id, TSetting& s) const {
    tprocstep::save_proc(id, s);
    s.WriteFloat(id, "Duration", duration);
    s.WriteFloat(id, "Amplitude", amplitude);
    s.WriteFloat(id, "Freq", freq);
    s.WriteFloat(id, "SampFreq", sampfreq);
}

void timpulses::open_proc(const std::string& id, TSetting& s) {
    tprocstep::open_proc(id, s);
    duration = s.ReadFloat(id, "Duration", duration);
    amplitude = s.ReadFloat(id, "Amplitude", amplitude);
    freq = s.ReadFloat(id, "Freq", freq);
    sampfreq = s.ReadFloat(id, "SampFreq", sampfreq);
}

std::string timpulses::get_procname() const {
    if (amplitude == 0) return silence(duration);
    const double P = period();
    return "Impulses (" + format_significant(8, P > 0 ? sampfreq / P : freq) + " Hz)";
}

// --- ramps -----------------------------------------------------------------

std::string tramp::refusal(double start, double end, double dur, double fs) const {
    const double n = round_even(fs * dur);
    if (n < 2) return "the ramp needs at least two samples (duration times sampling rate)";
    if (exponential() && (start == 0 || end == 0 || (start < 0) != (end < 0)))
        return "the start and end values must not be 0 and must have the same sign";
    return {};
}

void tramp::run_process(tprocenv& env) {
    check_param(*this, r_start, startvalue);
    check_param(*this, r_end, endvalue);
    check_param(*this, r_duration, duration);
    check_param(*this, r_rate, sampfreq);
    const std::string why = refusal(startvalue, endvalue, duration, sampfreq);
    if (!why.empty()) steps::step_error(*this, why);
    tsinglearr y(steps::generated_length(*this, sampfreq, duration));
    const std::size_t n = y.size();
    const double last = static_cast<double>(n - 1);
    const double lnratio = exponential() ? std::log(endvalue / startvalue) : 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / last;
        y[i] = static_cast<float>(exponential() ? startvalue * std::exp(t * lnratio)
                                                : startvalue + (endvalue - startvalue) * t);
        if (i % progress_block == 0) env.progress(t);
    }
    steps::new_signal_props(props, sampfreq);
    props[0].fsd = std::max(startvalue, endvalue);
    props[0].xshift = 0;
    props[0].name = get_procname();
    outarr.assign(1, std::move(y));
}

std::unique_ptr<tstepform> tramp::settings_form() const {
    auto f = std::make_unique<tstepform>(exponential() ? "Exponential generator"
                                                       : "Ramp generator");
    f->add_number("startvalue", "Start value", startvalue, r_start);
    f->add_number("endvalue", "End value", endvalue, r_end);
    f->add_number("duration", "Duration [s]", duration, r_duration);
    f->add_number("sampfreq", "Sampling rate [Hz]", sampfreq, r_rate);
    return f;
}

void tramp::apply_form(const tstepform& form) {
    const double a = form.number("startvalue"), b = form.number("endvalue");
    const double d = form.number("duration"), fs = form.number("sampfreq");
    std::string why = refusal(a, b, d, fs);
    if (!why.empty()) {
        why[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(why[0])));
        throw EProcessError(why);
    }
    startvalue = a, endvalue = b, duration = d, sampfreq = fs;
}

void tramp::save_proc(const std::string& id, TSetting& s) const {
    tprocstep::save_proc(id, s);
    s.WriteFloat(id, "Startvalue", startvalue);
    s.WriteFloat(id, "Endvalue", endvalue);
    s.WriteFloat(id, "Duration", duration);
    s.WriteFloat(id, "Sampfreq", sampfreq);
}

void tramp::open_proc(const std::string& id, TSetting& s) {
    tprocstep::open_proc(id, s);
    startvalue = s.ReadFloat(id, "Startvalue", startvalue);
    endvalue = s.ReadFloat(id, "Endvalue", endvalue);
    duration = s.ReadFloat(id, "Duration", duration);
    sampfreq = s.ReadFloat(id, "Sampfreq", sampfreq);
}

std::string tramp::get_procname() const {
    return (exponential() ? "Exponential (" : "Ramp (") + num(startvalue) + " - " +
           num(endvalue) + ")";
}

// --- babble ----------------------------------------------------------------

namespace {

// y[j] += x[(j + o) mod L] for every j, o already reduced to 0..L-1.
void add_rotated(tsinglearr& y, const tsinglearr& x, std::size_t o) {
    const std::size_t L = x.size();
    for (std::size_t j = 0; j + o < L; ++j) y[j] += x[j + o];
    for (std::size_t j = L - o; j < L; ++j) y[j] += x[j + o - L];
}

std::size_t wrap(double o, std::size_t L) {
    const double m = std::fmod(o, static_cast<double>(L));
    return static_cast<std::size_t>(m < 0 ? m + static_cast<double>(L) : m);
}

}  // namespace

void tbabble::run_process(tprocenv& env) {
    check_whole(*this, r_voices, nvoices);
    check_param(*this, r_delayrange, delayrange * 1000);
    proc_randomize();
    std::vector<double> r(static_cast<std::size_t>(nvoices));
    for (double& v : r) v = proc_random();
    const std::string suffix =
        " Babble " + std::to_string(nvoices) + " voices" +
        (monotostereo ? ", stereo " + num(delayrange * 1000) + " ms" : std::string());
    const std::size_t nin = inarr.size();
    props.resize(nin);
    std::vector<tsinglearr> out(monotostereo ? 2 * nin : nin);
    std::vector<tchannelproperties> p(out.size());
    const double total = static_cast<double>(nin) * nvoices * (monotostereo ? 2 : 1);
    double done = 0;
    for (std::size_t i = nin; i-- > 0;) {
        const tsinglearr& x = inarr[i];
        const std::size_t L = x.size();
        const double fs = props[i].sampfreq;
        tsinglearr mono(L, 0.0f);
        for (double rv : r) {
            if (L) add_rotated(mono, x, wrap(round_even(L * rv), L));
            env.progress(++done / total);
        }
        tchannelproperties q = props[i];
        q.labels.clear();
        q.name += suffix;
        steps::float_format(q);
        if (!monotostereo) {
            out[i] = std::move(mono);
            p[i] = std::move(q);
            continue;
        }
        tsinglearr left(L, 0.0f);
        for (double rv : r) {
            const double u = proc_random();
            const double o = round_even(L * rv) + round_even((2 * u - 1) * fs * delayrange);
            if (L) add_rotated(left, x, wrap(o, L));
            env.progress(++done / total);
        }
        q.stereochanno = -1;
        out[2 * i] = std::move(left);
        out[2 * i + 1] = std::move(mono);
        p[2 * i] = q;
        p[2 * i + 1] = std::move(q);
    }
    outarr = std::move(out);
    props = std::move(p);
}

std::unique_ptr<tstepform> tbabble::settings_form() const {
    auto f = std::make_unique<tstepform>("Babble");
    f->add_number("nvoices", "Number of voices", nvoices, r_voices);
    f->add_number("delayrange", "Delay range [+/- ms]", delayrange * 1000, r_delayrange);
    f->add_check("monotostereo", "Mono to stereo babble ", monotostereo);
    return f;
}

void tbabble::apply_form(const tstepform& form) {
    const int n = steps::form_whole(form, "nvoices", r_voices);
    const double ms = form.number("delayrange");
    nvoices = n;
    delayrange = ms / 1000;
    monotostereo = form.checked("monotostereo");
}

void tbabble::save_proc(const std::string& id, TSetting& s) const {
    tprocstep::save_proc(id, s);
    s.WriteInteger(id, "nVoices", nvoices);
    s.WriteBool(id, "MonoToStereo", monotostereo);
    s.WriteFloat(id, "DelayRange", delayrange);
}

void tbabble::open_proc(const std::string& id, TSetting& s) {
    tprocstep::open_proc(id, s);
    nvoices = static_cast<int>(std::clamp<std::int64_t>(s.ReadInteger(id, "nVoices", nvoices), -1, 1000000000));
    monotostereo = s.ReadBool(id, "MonoToStereo", monotostereo);
    delayrange = s.ReadFloat(id, "DelayRange", delayrange);
}

std::string tbabble::get_procname() const {
    std::string t = "Babble " + std::to_string(nvoices) + " voices";
    if (monotostereo) t += ", stereo " + num(delayrange * 1000) + " ms";
    return t;
}

}  // namespace tessal
