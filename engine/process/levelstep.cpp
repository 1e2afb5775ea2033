#include "engine/process/levelstep.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "engine/core/tdocument.h"
#include "engine/dsp/weighting.h"
#include "engine/process/stepsupport.h"
#include "engine/settings/tsetting.h"

namespace tessal {

using steps::check_param;
using steps::num;

namespace {

const double pi = std::numbers::pi;

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
        if (control->sig.empty() || !(control->sampfreq > 0))
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
                auto window = [&](std::size_t j) -> double {
                    const double t = (static_cast<double>(j) + p.xshift) / fs;
                    const double k = std::nearbyint(t * control->sampfreq) - static_cast<double>(control->xshift);
                    const std::size_t kk = static_cast<std::size_t>(
                        std::clamp(k, 0.0, static_cast<double>(control->sig.size() - 1)));
                    const double v = control->sig[kk];
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
    auto f = std::make_unique<tstepform>("Extract amplitude or level");
    f->add_radio("extract", "Extract",
                 {"Amplitude", "Level (dB)", "Slow sound level (ANSI S1.4-1983)",
                  "Fast sound level (ANSI S1.4-1983)", "Impulse sound level (ANSI S1.4-1983)"},
                 extractmode);
    f->add_radio("detect", "Detection mode", {"RMS", "Peak", "Moving average"}, detectmode);
    f->add_radio("weighting", "Weighting", {"None", "A-weighting", "C-weighting"},
                 weighting == 1 ? 1 : weighting == 3 ? 2 : 0);
    f->add_radio("reference", "Reference", {"Channel reference ", "Channel FSD"}, referenceid);
    f->add_radio("peakmode", "Peak mode", {"Positive peak", "Negative peak", "Peak of absolute value"},
                 peakmode);
    f->add_check("hold", "Hold", hold);
    f->begin_group("Smoothing filter");
    f->add_number("cutoff", "Filter cutoff [Hz]", lpfilter.GetF0(), r_cutoff);
    f->add_check("zerophase", "Zero phase", zerophase);
    f->end_group();
    f->begin_group("Moving average");
    f->add_radio("windowmode", "Window length", {"Fixed", "T from channel", "1/T from channel"}, windowmode);
    f->add_number("duration", "Duration [ms]", winduration * 1000, r_duration);
    f->add_number("channel", "Channel number", windurchanno, r_channel);
    f->add_number("minduration", "Min duration [ms]", minwinduration * 1000, r_minmax);
    f->add_number("maxduration", "Max duration [ms]", maxwinduration * 1000, r_minmax);
    f->end_group();
    f->onchange = level_refresh;
    f->changed("extract");
    return f;
}

void textractlevel::apply_form(const tstepform& form) {
    const double cutoff = form.number("cutoff");
    const double dur = form.number("duration") / 1000;
    const int ch = steps::form_whole(form, "channel", r_channel);
    const double lo = form.number("minduration") / 1000, hi = form.number("maxduration") / 1000;
    if (lo > hi) throw EProcessError("Min duration must not be above Max duration");
    extractmode = std::clamp(form.index("extract"), 0, 4);
    detectmode = std::clamp(form.index("detect"), 0, 2);
    const int w = form.index("weighting");
    weighting = w == 1 ? 1 : w == 2 ? 3 : 0;
    referenceid = form.index("reference") == 1 ? 1 : 0;
    peakmode = std::clamp(form.index("peakmode"), 0, 2);
    hold = form.checked("hold");
    lpfilter.SetF0(cutoff);
    zerophase = form.checked("zerophase");
    windowmode = std::clamp(form.index("windowmode"), 0, 2);
    winduration = dur;
    windurchanno = ch;
    minwinduration = lo, maxwinduration = hi;
}

void textractlevel::save_proc(const std::string& id, TSetting& s) const {
    tprocstep::save_proc(id, s);
    s.WriteBool(id, "ZeroPhase", zerophase);
    s.WriteInteger(id, "ExtractMode", extractmode);
    s.WriteInteger(id, "DetectMode", detectmode);
    s.WriteInteger(id, "Weighting", weighting);
    s.WriteFloat(id, "F0", lpfilter.GetF0());
    s.WriteInteger(id, "WindowMode", windowmode);
    s.WriteInteger(id, "WinDurChanno", windurchanno);
    s.WriteFloat(id, "WinDuration", winduration);
    s.WriteFloat(id, "MinWinDuration", minwinduration);
    s.WriteFloat(id, "MaxWinDuration", maxwinduration);
    s.WriteBool(id, "Hold", hold);
    s.WriteInteger(id, "PeakMode", peakmode);
}

void textractlevel::open_proc(const std::string& id, TSetting& s) {
    tprocstep::open_proc(id, s);
    auto whole = [&](const char* key, int v) {
        return static_cast<int>(std::clamp<std::int64_t>(s.ReadInteger(id, key, v), -1000000, 1000000));
    };
    zerophase = s.ReadBool(id, "ZeroPhase", zerophase);
    extractmode = whole("ExtractMode", extractmode);
    detectmode = whole("DetectMode", detectmode);
    weighting = whole("Weighting", weighting);
    lpfilter.SetF0(s.ReadFloat(id, "F0", lpfilter.GetF0()));
    windowmode = whole("WindowMode", windowmode);
    windurchanno = whole("WinDurChanno", windurchanno);
    winduration = s.ReadFloat(id, "WinDuration", winduration);
    minwinduration = s.ReadFloat(id, "MinWinDuration", minwinduration);
    maxwinduration = s.ReadFloat(id, "MaxWinDuration", maxwinduration);
    hold = s.ReadBool(id, "Hold", hold);
    peakmode = whole("PeakMode", peakmode);
}

}  // namespace tessal
