#include "engine/process/generatorsteps.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <numbers>

#include "engine/dsp/numformat.h"
#include "engine/process/stepsupport.h"

namespace tessal {

using namespace steps;

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

const tparamlist* tsinewave::params() const {
    // Duration and rate show (and count) only for a new signal.
    static const tparamlist list =
        tparams<tsinewave>("Sine wave generator")
            .real("Freq", "freq", &tsinewave::freq, r_freq)
            .shown_if([](const tstepform& f) { return f.index("inputmode") != 2; })
            .real("Phase", "phase", &tsinewave::phase, r_phase)
            .real("Delay", "delay", &tsinewave::delay, r_delay)
            .shown_if([](const tstepform& f) { return f.index("inputmode") <= 1; })
            .real("AddDelay", "adddelay", &tsinewave::adddelay, r_adddelay)
            .caption("Added delay, highest harm. [s]")
            .shown_if([](const tstepform& f) { return f.index("inputmode") <= 1; })
            .real("Duration", "duration", &tsinewave::duration, r_duration)
            .shown_if([](const tstepform& f) { return f.index("inputmode") == 0; }, true)
            .real("Amplitude", "amplitude", &tsinewave::amplitude, r_amplitude)
            .whole("nHarm", "nharm", &tsinewave::nharm, r_nharm, -1, 1000000000)
            .caption("# of harmonics")
            .choice("InputMode", "inputmode", "Input", &tsinewave::inputmode,
                    {"Not used", "Controls duration", "Controls frequency", "Is added to signal"},
                    false)
            .real("Tilt", "tilt", &tsinewave::tilt, r_tilt)
            .flag("OddOnly", "oddonly", "Odd harmonics only", &tsinewave::oddonly)
            .real("Sampfreq", "sampfreq", &tsinewave::sampfreq, r_rate)
            .shown_if([](const tstepform& f) { return f.index("inputmode") == 0; }, true)
            .form_order({"freq", "phase", "duration", "sampfreq", "amplitude", "delay", "adddelay",
                         "inputmode", "group:Harmonics", "nharm", "tilt", "oddonly", "endgroup"});
    return &list;
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
        fill(y, inputmode == 2 ? &inarr[i].arr() : nullptr, static_cast<double>(i) / inarr.size(),
             1.0 / inarr.size());
        steps::float_format(props[i]);
        outarr[i] = std::move(y);
    }
}

const tparamlist* tnoise::params() const {
    static const tparamlist list =
        tparams<tnoise>("Noise generator")
            .real("Duration", "duration", &tnoise::duration, r_duration)
            .shown_if([](const tstepform& f) { return f.index("inputmode") == 0; }, true)
            .real("Amplitude", "amplitude", &tnoise::amplitude, r_amplitude)
            .choice("InputMode", "inputmode", "Input", &tnoise::inputmode,
                    {"Not used", "Controls duration", "Is added to signal"}, false)
            .real("SampFreq", "sampfreq", &tnoise::sampfreq, r_rate)
            .shown_if([](const tstepform& f) { return f.index("inputmode") == 0; }, true)
            .form_order({"amplitude", "duration", "sampfreq", "inputmode"});
    return &list;
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

const tparamlist* timpulses::params() const {
    static const tparamlist list =
        tparams<timpulses>("Impulse generator")
            .real("Duration", "duration", &timpulses::duration, r_duration)
            .real("Amplitude", "amplitude", &timpulses::amplitude, r_amplitude)
            .real("Freq", "freq", &timpulses::freq, r_impfreq)
            .real("SampFreq", "sampfreq", &timpulses::sampfreq, r_rate)
            .form_order({"amplitude", "duration", "sampfreq", "freq"});
    return &list;
}

void timpulses::check_applied() const {
    if (period() == 0)
        throw EProcessError("Approximate frequency must be at most twice the sampling rate");
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

const tparamlist* tramp::params() const {
    static const tparamlist list =
        tparams<tramp>("Ramp generator")
            .real("Startvalue", "startvalue", &tramp::startvalue, r_start)
            .real("Endvalue", "endvalue", &tramp::endvalue, r_end)
            .real("Duration", "duration", &tramp::duration, r_duration)
            .real("Sampfreq", "sampfreq", &tramp::sampfreq, r_rate);
    return &list;
}

std::unique_ptr<tstepform> tramp::settings_form() const {
    auto f = tprocstep::settings_form();
    if (exponential()) f->caption = "Exponential generator";
    return f;
}

void tramp::check_applied() const {
    std::string why = refusal(startvalue, endvalue, duration, sampfreq);
    if (!why.empty()) {
        why[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(why[0])));
        throw EProcessError(why);
    }
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
    outarr.assign(std::make_move_iterator(out.begin()), std::make_move_iterator(out.end()));
    props = std::move(p);
}

const tparamlist* tbabble::params() const {
    static const tparamlist list =
        tparams<tbabble>("Babble")
            .whole("nVoices", "nvoices", &tbabble::nvoices, r_voices, -1, 1000000000)
            .flag("MonoToStereo", "monotostereo", "Mono to stereo babble ", &tbabble::monotostereo)
            .real("DelayRange", "delayrange", &tbabble::delayrange, r_delayrange)
            .shown_times(1000)
            .caption("Delay range [+/- ms]")
            .form_order({"nvoices", "delayrange", "monotostereo"});
    return &list;
}

std::string tbabble::get_procname() const {
    std::string t = "Babble " + std::to_string(nvoices) + " voices";
    if (monotostereo) t += ", stereo " + num(delayrange * 1000) + " ms";
    return t;
}

}  // namespace tessal
