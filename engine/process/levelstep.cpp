#include "engine/process/levelstep.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "engine/core/tdocument.h"
#include "engine/dsp/weighting.h"
#include "engine/process/stepsupport.h"

namespace tessal {

using namespace steps;

namespace {

const tnumberfield r_cutoff{"Filter cutoff", 0.001, 10000000, "Hz"};
const tnumberfield r_duration{"Duration", 0.001, 10000000, "ms"};
const tnumberfield r_minmax{"Window duration", 0.001, 10000000, "ms"};
const tnumberfield r_channel{"Channel number", 0, 100000, ""};

const char* weight_word(int weighting) {
    return weighting == 1 ? "A-weighted" : weighting == 3 ? "C-weighted" : "";
}

template <bool uselp>
void run_chain(tweightingchain c, float* x, std::size_t n, bool aweight) {
    double a = 0, cc = 0;
    const double scale = aweight ? c.scaleA : c.scaleC;
    for (std::size_t j = 0; j < n; ++j) {
        c.step<uselp>(x[j], a, cc);
        x[j] = static_cast<float>((aweight ? a : cc) * scale);
    }
}

// The RMS envelope of y in place: the squares smoothed by the section (from
// rest, its state in 64 bits), then the square root. With zero phase the
// forward pass is kept in y for the backward one.
void rms_envelope(float* y, std::size_t n, TLPFilterSection f, bool zerophase) {
    f.reset();
    auto sq = [](float v) { return static_cast<double>(v) * v; };
    if (!zerophase) {
        for (std::size_t j = 0; j < n; ++j) y[j] = static_cast<float>(std::sqrt(std::max(0.0, f.filter(sq(y[j])))));
        return;
    }
    if (n == 0) return;
    const double m = std::nearbyint(100 * f.GetSampFreq() / f.GetF0());
    const std::size_t from = static_cast<std::size_t>(std::min<double>(static_cast<double>(n - 1), std::max(0.0, m)));
    for (std::size_t j = from + 1; j-- > 0;) f.filter(sq(y[j]));
    for (std::size_t j = 0; j < n; ++j) y[j] = static_cast<float>(f.filter(sq(y[j])));
    for (std::size_t j = n; j-- > 0;) y[j] = static_cast<float>(std::sqrt(std::max(0.0, f.filter(y[j]))));
}

}  // namespace

textractlevel::textractlevel() {
    lpfilter.SetQ(0.5);
    lpfilter.SetF0(50);
    lpfilter.SetGain(1.0);
}

void textractlevel::weight(float* x, std::size_t n, double fs, int weighting) {
    tweightingfilters filters;
    filters.set_rate(fs);
    const tweightingchain c = weighting_chain(filters);
    if (filters.uselowpass())
        run_chain<true>(c, x, n, weighting == 1);
    else
        run_chain<false>(c, x, n, weighting == 1);
}

void textractlevel::run_process(tprocenv& env) {
    if (extractmode < 0 || extractmode > 4) steps::step_error(*this, "unknown extract mode " + std::to_string(extractmode));
    if (detectmode < 0 || detectmode > 2) steps::step_error(*this, "unknown detection mode " + std::to_string(detectmode));
    if (peakmode < 0 || peakmode > 2) steps::step_error(*this, "unknown peak mode " + std::to_string(peakmode));
    if (weighting != 0 && weighting != 1 && weighting != 3)
        steps::step_error(*this, "unknown weighting " + std::to_string(weighting));
    if (windowmode < 0 || windowmode > 2) steps::step_error(*this, "unknown window mode " + std::to_string(windowmode));
    const bool moving = extractmode <= 1 && detectmode == 2;
    if (extractmode <= 1 && detectmode != 2) check_param(*this, r_cutoff, lpfilter.GetF0());
    const tchannel* control = nullptr;
    if (moving && windowmode == 0) check_param(*this, r_duration, winduration * 1000);
    if (moving && windowmode != 0) {
        check_param(*this, r_minmax, minwinduration * 1000);
        check_param(*this, r_minmax, maxwinduration * 1000);
        if (windurchanno < 0 || windurchanno >= env.doc.totnchans())
            throw EProcessError("Channel " + std::to_string(windurchanno) + " does not exist");
        control = &env.doc.channel(windurchanno);
        if (control->sample_count() == 0 || !(control->sampfreq > 0))
            steps::step_error(*this, "channel " + std::to_string(windurchanno) + " holds no signal");
    }
    for (const tchannelproperties& p : props)
        if (extractmode <= 1 && detectmode != 2 && !(lpfilter.GetF0() < p.sampfreq / 2))
            steps::step_error(*this, "the filter cutoff (" + num(lpfilter.GetF0()) +
                                         " Hz) must be below half the sampling rate (" + num(p.sampfreq / 2) + " Hz)");
    steps::take_input(*this);
    std::vector<double> e;
    for (std::size_t i = 0; i < outarr.size(); ++i) {
        tchannelproperties& p = props[i];
        const double fs = p.sampfreq;
        tsinglearr& y = outarr[i];
        const std::size_t n = y.size();
        auto report = [&](double f) { env.progress((i + f) / outarr.size()); };
        if (weighting == 1 || weighting == 3) {
            weight(y.data(), n, fs, weighting);
            p.name += std::string(" ") + weight_word(weighting);
        }
        report(0.3);
        if (extractmode >= 2) {
            const double tau = extractmode == 2 ? 1.0 : 0.125;
            if (extractmode <= 3) {
                const double a = std::exp(-1 / (fs * tau));
                double s = 0;
                for (float& v : y) {
                    s = (1 - a) * (static_cast<double>(v) * v) + a * s;
                    v = static_cast<float>(std::sqrt(s));
                }
                p.name += extractmode == 2 ? " slow" : " fast";
            } else {
                // Impulse: the squares averaged with a 35 ms time constant,
                // then held as a peak that decays with 1.5 s.
                const double ar = std::exp(-1 / (fs * 0.035)), ad = std::exp(-1 / (fs * 1.5));
                double s = 0, held = 0;
                for (float& v : y) {
                    s = (1 - ar) * (static_cast<double>(v) * v) + ar * s;
                    held = std::max(s, (1 - ad) * s + ad * held);
                    v = static_cast<float>(std::sqrt(held));
                }
                p.name += " impulse";
            }
        } else if (detectmode == 0) {
            TLPFilterSection f = lpfilter;
            f.SetSampFreq(fs);
            rms_envelope(y.data(), n, f, zerophase);
            p.name += " RMS";
        } else if (detectmode == 1) {
            const double d = std::exp(-2 * pi * lpfilter.GetF0() / fs);
            for (float& v : y) v = peakmode == 0 ? v : peakmode == 1 ? -v : std::fabs(v);
            if (hold) {
                double env1 = 0, held = 0;
                for (float& v : y) {
                    env1 = (1 - d) * v + d * env1;
                    if (v >= env1) env1 = held = v;
                    v = static_cast<float>(held);
                }
            } else {
                double f = 0;
                for (float& v : y) {
                    f = std::max<double>(v, (1 - d) * v + d * f);
                    v = static_cast<float>(f);
                }
                if (zerophase) {
                    f = 0;
                    for (std::size_t j = n; j-- > 0;) {
                        f = std::max<double>(y[j], (1 - d) * y[j] + d * f);
                        y[j] = static_cast<float>(f);
                    }
                }
            }
            p.name += peakmode == 0 ? " +peak" : peakmode == 1 ? " -peak" : " ||peak";
            if (hold) p.name += " hold";
        } else {
            const double nn = static_cast<double>(n);
            if (windowmode == 0) {
                // A running sum of the squares over the window, summed
                // afresh every 65536 samples so that rounding cannot build up.
                const double W = std::nearbyint(fs * winduration);
                const std::int64_t w = static_cast<std::int64_t>(W), half = w / 2, ni = static_cast<std::int64_t>(n);
                // x holds the squares ahead of the output position: keep the
                // last w inputs in a ring.
                std::vector<double> ring(static_cast<std::size_t>(std::clamp<std::int64_t>(w, 1, 2 * ni + 2)), 0.0);
                auto sq = [&](std::int64_t i) -> double {
                    return i >= 0 && i < ni ? static_cast<double>(y[i]) * y[i] : 0.0;
                };
                if (w < 1) {
                    std::fill(y.begin(), y.end(), 0.0f);
                } else if (w >= 2 * ni + 2) {
                    // Every window holds the whole signal.
                    double sum = 0;
                    for (std::int64_t i = 0; i < ni; ++i) sum += sq(i);
                    std::fill(y.begin(), y.end(), static_cast<float>(std::sqrt(sum / W)));
                } else {
                    // Output j covers j - half .. j - half + w - 1; inputs are
                    // read before they are overwritten, w - half samples ahead.
                    double sum = 0;
                    for (std::int64_t i = -half; i < w - half; ++i) {
                        const double v = sq(i);
                        ring[static_cast<std::size_t>((i % w + w) % w)] = v;
                        sum += v;
                    }
                    for (std::int64_t j = 0; j < ni; ++j) {
                        if ((j & 0xffff) == 0 && j > 0) {
                            sum = 0;
                            for (double v : ring) sum += v;
                        }
                        const double out = std::sqrt(std::max(0.0, sum) / W);
                        // Slide: drop j - half, take j - half + w.
                        const std::int64_t in = j - half + w;
                        const std::size_t slot = static_cast<std::size_t>(((j - half) % w + w) % w);
                        const double v = sq(in);
                        sum += v - ring[slot];
                        ring[slot] = v;
                        y[j] = static_cast<float>(out);
                    }
                }
            } else {
                // Prefix sums of the squares: the window changes sample by
                // sample.
                e.assign(n + 1, 0.0);
                for (std::size_t j = 0; j < n; ++j) e[j + 1] = e[j] + static_cast<double>(y[j]) * y[j];
                // The control channel is read in bounded buffers; its index
                // grows with j, so each buffer serves a run of samples.
                std::vector<float> cbuf;
                std::int64_t c0 = 0, c1 = 0;
                auto control_at = [&](std::int64_t kk) -> double {
                    if (kk < c0 || kk >= c1) {
                        c0 = kk;
                        c1 = std::min(control->sample_count(), kk + 65536);
                        cbuf.resize(static_cast<std::size_t>(c1 - c0));
                        control->read_samples(c0, cbuf.size(), cbuf.data());
                    }
                    return cbuf[static_cast<std::size_t>(kk - c0)];
                };
                auto window = [&](std::size_t j) -> double {
                    const double t = (static_cast<double>(j) + p.xshift) / fs;
                    const double k = std::nearbyint(t * control->sampfreq) - static_cast<double>(control->xshift);
                    const auto kk = static_cast<std::int64_t>(
                        std::clamp(k, 0.0, static_cast<double>(control->sample_count() - 1)));
                    const double v = control_at(kk);
                    if (!(v > 0)) return windowmode == 1 ? 1.0 : 0.0;
                    const double T = windowmode == 1 ? v : 1 / v;
                    const double len = std::min(maxwinduration, T * (std::trunc(minwinduration / T) + 1));
                    return std::nearbyint(fs * len);
                };
                for (std::size_t j = 0; j < n; ++j) {
                    const double W = window(j);
                    if (!(W >= 1)) {
                        y[j] = 0;
                        continue;
                    }
                    const double from = static_cast<double>(j) - std::floor(W / 2);
                    const std::size_t a = static_cast<std::size_t>(std::clamp(from, 0.0, nn));
                    const std::size_t b = static_cast<std::size_t>(std::clamp(from + W, 0.0, nn));
                    y[j] = static_cast<float>(std::sqrt(std::max(0.0, e[b] - e[a]) / W));
                }
            }
            p.name += " moving average";
            if (windowmode == 0)
                p.name += " " + num(winduration * 1000) + " ms";
            else if (windowmode == 1)
                p.name += " (T from channel " + std::to_string(windurchanno) + ")";
            else
                p.name += " (1/T from channel" + std::to_string(windurchanno) + ")";
        }
        report(0.8);
        if (extractmode == 0) {
            p.name += " amplitude";
        } else {
            const double ref = referenceid == 1 ? p.fsd : p.dbreference;
            const double floor = 20 * std::log10(1e-300 / ref);
            for (float& v : y) {
                const double a = std::fabs(static_cast<double>(v));
                v = static_cast<float>(a > 0 ? 20 * std::log10(a / ref) : floor);
            }
            p.name += (extractmode == 1 ? " level re " : " sound level re ") + num(ref) + " " + p.yunit;
            p.yunit = weighting == 1 ? "dBA" : weighting == 3 ? "dBC" : "dB";
            p.dbreference = 1.0;
        }
        steps::float_format(p);
    }
    e.clear();
}

std::string textractlevel::get_procname() const {
    std::string t;
    if (extractmode >= 2) {
        t = extractmode == 2 ? "Slow sound level " : extractmode == 3 ? "Fast sound level " : "Impulse sound level ";
    } else if (detectmode == 0) {
        t = "RMS ";
    } else if (detectmode == 1) {
        t = peakmode == 0 ? "+Peak" : peakmode == 1 ? "-Peak" : "||Peak";
        t += hold ? " hold " : " ";
    } else {
        t = "Moving avg ";
    }
    if (weighting == 1 || weighting == 3) t += std::string(weight_word(weighting)) + " ";
    if (extractmode <= 1) {
        const std::string what = extractmode == 0 ? "ampl. " : "level ";
        if (detectmode != 2)
            t += what + "(" + num(lpfilter.GetF0()) + " Hz)";
        else if (windowmode == 0)
            t += what + num(winduration * 1000) + " ms";
        else
            t += what + (windowmode == 1 ? "(T: ch " : "(1/T: ch ") + std::to_string(windurchanno) + ")";
    }
    while (!t.empty() && t.back() == ' ') t.pop_back();
    return t;
}

namespace {

void level_refresh(tstepform& f, const std::string&) {
    const int mode = f.index("extract");
    const int det = f.index("detect");
    const bool simple = mode <= 1;
    f.field("detect").enabled = simple;
    f.field("reference").enabled = mode >= 1;
    f.field("peakmode").enabled = simple && det == 1;
    f.field("hold").enabled = simple && det == 1;
    f.field("cutoff").enabled = simple && det != 2;
    f.field("zerophase").enabled = simple && det != 2;
    const bool moving = simple && det == 2;
    f.field("windowmode").enabled = moving;
    const int wm = f.index("windowmode");
    f.field("duration").enabled = moving && wm == 0;
    for (const char* k : {"channel", "minduration", "maxduration"}) f.field(k).enabled = moving && wm != 0;
}

}  // namespace

std::unique_ptr<tstepform> textractlevel::settings_form() const {
    auto f = tprocstep::settings_form();
    f->onchange = level_refresh;
    f->changed("extract");
    return f;
}

// Modes are kept as stored (within a million either way) for the run to
// refuse; every number is read and checked whatever the mode, as the
// dialog has always done. The reference is set in the form only.
const tparamlist* textractlevel::params() const {
    constexpr std::int64_t lim = 1000000;
    static const tparamlist list =
        tparams<textractlevel>("Extract amplitude or level")
            .flag("ZeroPhase", "zerophase", "Zero phase", &textractlevel::zerophase)
            .choice("ExtractMode", "extract", "Extract", &textractlevel::extractmode,
                    {"Amplitude", "Level (dB)", "Slow sound level (ANSI S1.4-1983)",
                     "Fast sound level (ANSI S1.4-1983)", "Impulse sound level (ANSI S1.4-1983)"},
                    false)
            .stored_range(-lim, lim)
            .choice("DetectMode", "detect", "Detection mode", &textractlevel::detectmode,
                    {"RMS", "Peak", "Moving average"}, false)
            .stored_range(-lim, lim)
            .choice("Weighting", "weighting", "Weighting", &textractlevel::weighting,
                    {"None", "A-weighting", "C-weighting"}, false)
            .coded({0, 1, 3})
            .stored_range(-lim, lim)
            .real("F0", "cutoff", [](const textractlevel& s) { return s.lpfilter.GetF0(); },
                  [](textractlevel& s, double v) { s.lpfilter.SetF0(v); }, r_cutoff)
            .read_when_disabled()
            .choice("WindowMode", "windowmode", "Window length", &textractlevel::windowmode,
                    {"Fixed", "T from channel", "1/T from channel"}, false)
            .stored_range(-lim, lim)
            .whole("WinDurChanno", "channel", &textractlevel::windurchanno, r_channel, -lim, lim)
            .read_when_disabled()
            .real("WinDuration", "duration", &textractlevel::winduration, r_duration)
            .shown_times(1000)
            .read_when_disabled()
            .real("MinWinDuration", "minduration", &textractlevel::minwinduration, r_minmax)
            .caption("Min duration [ms]")
            .shown_times(1000)
            .read_when_disabled()
            .real("MaxWinDuration", "maxduration", &textractlevel::maxwinduration, r_minmax)
            .caption("Max duration [ms]")
            .shown_times(1000)
            .read_when_disabled()
            .flag("Hold", "hold", "Hold", &textractlevel::hold)
            .choice("PeakMode", "peakmode", "Peak mode", &textractlevel::peakmode,
                    {"Positive peak", "Negative peak", "Peak of absolute value"}, false)
            .stored_range(-lim, lim)
            .choice("", "reference", "Reference", &textractlevel::referenceid,
                    {"Channel reference ", "Channel FSD"})
            .unstored()
            .form_order({"extract", "detect", "weighting", "reference", "peakmode", "hold",
                         "group:Smoothing filter", "cutoff", "zerophase", "endgroup",
                         "group:Moving average", "windowmode", "duration", "channel",
                         "minduration", "maxduration", "endgroup"});
    return &list;
}

void textractlevel::check_applied() const {
    if (minwinduration > maxwinduration)
        throw EProcessError("Min duration must not be above Max duration");
}

}  // namespace tessal
