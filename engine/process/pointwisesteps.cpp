#include "engine/process/pointwisesteps.h"

#include <algorithm>
#include <cmath>
#include <type_traits>

#include "engine/core/tdocument.h"
#include "engine/dsp/listtext.h"
#include "engine/dsp/notes.h"
#include "engine/dsp/numformat.h"
#include "engine/process/stepsupport.h"

namespace tessal {

using namespace steps;

namespace {

const tnumberfield r_any{"Value", -1e30, 1e30, ""};
const tnumberfield r_a{"Constant A", -1e30, 1e30, ""};
const tnumberfield r_b{"Constant B", -1e30, 1e30, ""};
const tnumberfield r_minvalue{"Smallest value limit", -1e30, 1e30, ""};
const tnumberfield r_max{"Max amplitude", -1e30, 1e30, ""};
const tnumberfield r_min{"Min amplitude", -1e30, 1e30, ""};
const tnumberfield r_hi{"Threshold to go high", -1e30, 1e30, ""};
const tnumberfield r_lo{"Threshold to go low", -1e30, 1e30, ""};
const tnumberfield r_outhi{"Output value when high", -1e30, 1e30, ""};
const tnumberfield r_outlo{"Output value when low", -1e30, 1e30, ""};
const tnumberfield r_nsteps{"Number of quantization steps", 1, 1000000000, ""};
const tnumberfield r_qsize{"Absolute size", 1e-30, 1e30, ""};
const tnumberfield r_delay{"Delay", -1000000, 1000000, "s"};

// Applies f to every sample of every signal; the output keeps the input's
// length. Signal i passes its index to f as the second argument when f
// takes one. An array is computed in place; a store is read through its
// pieces and the results appended to a new store, so a signal of any length
// needs only a piece's worth of memory.
template <class F>
void each_sample(tprocstep& s, tprocenv& env, F f) {
    steps::take_input(s);
    std::size_t bad = 0;
    for (std::size_t i = 0; i < s.outarr.size(); ++i) {
        steps::map_forward(s.outarr[i], env.doc.block_cache(),
                           [&](const float* x, float* y, std::size_t n, std::int64_t) {
                               for (std::size_t k = 0; k < n; ++k) {
                                   const float v = x[k];
                                   if constexpr (std::is_invocable_v<F, float, std::size_t>)
                                       y[k] = static_cast<float>(f(v, i));
                                   else
                                       y[k] = static_cast<float>(f(v));
                                   bad += !std::isfinite(y[k]) && std::isfinite(v);
                               }
                           });
        env.progress(static_cast<double>(i + 1) / static_cast<double>(s.outarr.size()));
    }
    steps::note_nonfinite(env, s, bad);
}

double base_value(int base) { return base == 0 ? 2.0 : base == 2 ? 10.0 : std::exp(1.0); }

}  // namespace

// --- reverse, square, square root, absolute value --------------------------

void treverse::run_process(tprocenv& env) {
    each_sample(*this, env, [](float v) { return v; });
    for (std::size_t i = 0; i < outarr.size(); ++i) {
        std::reverse(outarr[i].begin(), outarr[i].end());
        tchannelproperties& p = props[i];
        const double fs = p.sampfreq, n = static_cast<double>(outarr[i].size());
        for (tsiglabel& l : p.labels) l.time = 2.0 * p.xshift / fs + n / fs - l.time - l.duration;
        std::reverse(p.labels.begin(), p.labels.end());
        p.name += " reverse";
    }
}

void tsquare::run_process(tprocenv& env) {
    each_sample(*this, env, [](float v) { return static_cast<double>(v) * v; });
    for (tchannelproperties& p : props) p.name += "^2";
}

void tsqrt::run_process(tprocenv& env) {
    each_sample(*this, env, [](float v) {
        const double r = std::sqrt(std::fabs(static_cast<double>(v)));
        return v < 0 ? -r : r;
    });
    for (tchannelproperties& p : props) {
        p.name = "Sqrt(" + p.name + ")";
        steps::float_format(p);
    }
}

void tabs::run_process(tprocenv& env) {
    each_sample(*this, env, [](float v) { return std::fabs(v); });
    for (tchannelproperties& p : props) p.name = "|" + p.name + "|";
}

// --- logarithm and exponential ---------------------------------------------

void tlogarithm::run_process(tprocenv& env) {
    check_param(*this, r_a, a);
    check_param(*this, r_b, b);
    if (a == 0) steps::step_error(*this, "Constant A must not be 0");
    if (base < 0 || base > 2) steps::step_error(*this, "unknown logarithm base");
    const double bv = base_value(base), lnbase = std::log(bv);
    if (exponential()) {
        each_sample(*this, env, [&](float x) { return b * std::pow(bv, x / a); });
        for (tchannelproperties& p : props) {
            p.name += " exponential";
            p.yunit = yunit;
            steps::float_format(p);
        }
        return;
    }
    if (!(b > 0)) steps::step_error(*this, "Constant B must be above 0");
    check_param(*this, r_minvalue, minvalue);
    const double lowest = b * std::pow(bv, minvalue / a);
    each_sample(*this, env, [&](float x) {
        if (!(x > lowest)) return minvalue;
        const double y = a * std::log(x / b) / lnbase;
        return y >= minvalue ? y : minvalue;
    });
    for (tchannelproperties& p : props) {
        p.name += " logarithm";
        p.yunit = yunit;
        steps::float_format(p);
    }
}

namespace {

struct tlogpreset {
    const char* key;
    const char* caption;
    double a;
    int base;
    const char* unit;
    const char* ref;
};
const tlogpreset logpresets[] = {
    {"cents", "Cents", 1200, 0, "cent re ", "A4"},
    {"semitones", "Semitones", 12, 0, "ST re ", "A4"},
    {"octaves", "Octaves", 1, 0, "Oct re ", "A4"},
    {"decibel", "Decibel", 20, 2, "dB re ", "2e-5"},
};

const char* const log_formulas[3] = {"y = A * log2 (x/B)", "y = A * ln (x/B)",
                                     "y = A * log10 (x/B)"};

void log_changed(tstepform& f, const std::string& key, bool exponential) {
    for (const tlogpreset& p : logpresets) {
        if (key != p.key) continue;
        const std::string ref = f.text(std::string(p.key) + "_ref");
        double v = 0;
        if (!(try_parse_float(ref, v) && std::isfinite(v)) && !parse_note_name(ref, v)) {
            f.field("problem").text = "re. must be a number or a note name such as A4";
            f.field("problem").visible = true;
            return;
        }
        f.set_number("a", p.a);
        f.set_number("b", v);
        f.field("base").index = p.base;
        f.field("yunit").text = p.unit + ref;
    }
    f.field("problem").visible = false;
    if (!exponential) f.field("formula").text = log_formulas[std::clamp(f.index("base"), 0, 2)];
}

}  // namespace

std::unique_ptr<tstepform> tlogarithm::settings_form() const {
    const bool e = exponential();
    auto f = std::make_unique<tstepform>(e ? "Exponential" : "Logarithm");
    f->add_note("formula", e ? "y = B*exp(x/A)" : log_formulas[std::clamp(base, 0, 2)]);
    params()->add(*f, *this, {"a", "b", "yunit", "minvalue", "base"});
    f->begin_group(e ? "Presets, convert from" : "Presets, convert to");
    for (const tlogpreset& p : logpresets) {
        const std::string ref = std::string(p.key) + "_ref";
        f->add_button(p.key, p.caption, ref);
        f->add_text(ref, "re.", p.ref);
    }
    f->add_note("problem", "").visible = false;
    f->end_group();
    f->onchange = [e](tstepform& form, const std::string& key) { log_changed(form, key, e); };
    return f;
}

const tparamlist* tlogarithm::params() const {
    static const tparamlist list =
        tparams<tlogarithm>()
            .real("A", "a", &tlogarithm::a, r_a)
            .real("B", "b", &tlogarithm::b, r_b)
            .choice("Base", "base", "Logarithm base", &tlogarithm::base,
                    {"2", "e (natural logarithm)", "10"}, false)
            .text("yUnit", "yunit", "Set unit to", &tlogarithm::yunit)
            .real("MinValue", "minvalue", &tlogarithm::minvalue, r_minvalue)
            .present_if([](const tlogarithm& s) { return !s.exponential(); });
    return &list;
}

void tlogarithm::check_applied() const {
    if (a == 0) throw EProcessError("Constant A must not be 0");
    if (!exponential() && !(b > 0)) throw EProcessError("Constant B must be above 0");
}

std::string tlogarithm::get_procname() const {
    return (exponential() ? "Exponential (" : "Logarithm (") + yunit + ")";
}

// --- min/max ---------------------------------------------------------------

void tmax::run_process(tprocenv& env) {
    if (inarr.empty()) {
        props.resize(0);
        outarr.clear();
        return;
    }
    props.resize(inarr.size());
    const double fs = props[0].sampfreq;
    for (const tchannelproperties& p : props)
        if (p.sampfreq != fs) throw EProcessError("MinMax: Sampling rates must be identical");
    long long s0 = 0, end = 0;
    for (std::size_t i = 0; i < inarr.size(); ++i) {
        s0 = std::min<long long>(s0, props[i].xshift);
        end = std::max<long long>(end, props[i].xshift + static_cast<long long>(inarr[i].size()));
    }
    const bool mx = operation == 0;
    tsinglearr y(static_cast<std::size_t>(end - s0), mx ? -1e38f : 1e38f);
    for (std::size_t i = 0; i < inarr.size(); ++i) {
        const long long off = props[i].xshift - s0;
        const tsinglearr& x = inarr[i];
        for (std::size_t j = 0; j < x.size(); ++j) {
            float& o = y[static_cast<std::size_t>(off) + j];
            o = mx ? std::max(o, x[j]) : std::min(o, x[j]);
        }
        env.progress(static_cast<double>(i + 1) / inarr.size());
    }
    tchannelproperties r;
    r.name = mx ? "Max(" : "Min(";
    bool sameunit = true;
    r.fsd = props[0].fsd;
    for (std::size_t i = 0; i < props.size(); ++i) {
        r.name += (i ? ", " : "") + props[i].name;
        sameunit = sameunit && props[i].yunit == props[0].yunit;
        r.fsd = std::max(r.fsd, props[i].fsd);
    }
    r.name += ")";
    r.xshift = static_cast<std::int32_t>(s0);
    r.sampfreq = fs;
    r.dbreference = props[0].dbreference;
    r.yunit = sameunit ? props[0].yunit : "";
    r.stereochanno = -1;
    steps::float_format(r);
    props.assign(1, std::move(r));
    outarr.assign(1, std::move(y));
}

const tparamlist* tmax::params() const {
    static const tparamlist list = tparams<tmax>("Min/Max value")
        .choice("Operation", "operation", "Operation", &tmax::operation, {"Maximum", "Minimum"});
    return &list;
}

std::string tmax::get_procname() const { return operation == 1 ? "Minimum value" : "Maximum value"; }

// --- clip ------------------------------------------------------------------

std::string tclip::describe(const std::string& x) const {
    if (symmetrical) return "abs < " + num(max);
    if (usemax && usemin) return num(min) + " < " + x + " < " + num(max);
    if (usemax) return x + " < " + num(max);
    if (usemin) return x + " > " + num(min);
    return "disabled";
}

void tclip::run_process(tprocenv& env) {
    check_param(*this, r_max, max);
    check_param(*this, r_min, min);
    if (symmetrical && max < 0) steps::step_error(*this, "Max amplitude must not be negative");
    const double hi = max, lo = min;
    const bool sym = symmetrical, um = usemax, un = usemin;
    each_sample(*this, env, [&](float v) {
        double y = v;
        if (sym) return std::min(std::max(y, -hi), hi);
        if (um) y = std::min(y, hi);
        if (un) y = std::max(y, lo);
        return y;
    });
    for (tchannelproperties& p : props) p.name += " clip " + describe("x");
}

const tparamlist* tclip::params() const {
    static const tparamlist list =
        tparams<tclip>("Clipping amplitude")
            .real("Max", "max", &tclip::max, r_max)
            .enabled_if([](const tstepform& f) {
                return f.checked("symmetrical") || f.checked("usemax");
            })
            .real("Min", "min", &tclip::min, r_min)
            .enabled_if([](const tstepform& f) {
                return !f.checked("symmetrical") && f.checked("usemin");
            })
            .flag("UseMax", "usemax", "Max amplitude", &tclip::usemax, "max")
            .enabled_if([](const tstepform& f) { return !f.checked("symmetrical"); })
            .flag("UseMin", "usemin", "Min amplitude", &tclip::usemin, "min")
            .enabled_if([](const tstepform& f) { return !f.checked("symmetrical"); })
            .flag("Symmetrical", "symmetrical", "Symmetrical clipping", &tclip::symmetrical)
            .form_order({"usemax", "max", "usemin", "min", "symmetrical"});
    return &list;
}

void tclip::check_applied() const {
    if (symmetrical && max < 0) throw EProcessError("Max amplitude must not be negative");
    if (!symmetrical && usemax && usemin && min > max)
        throw EProcessError("Min amplitude must not be above Max amplitude");
}

std::string tclip::get_procname() const { return "Clip (" + describe("x") + ")"; }

// --- threshold -------------------------------------------------------------

void tthreshold::run_process(tprocenv& env) {
    for (double v : {lothres, hithres, outlo, outhi}) check_param(*this, r_any, v);
    if (usehysteresis && lothres > hithres)
        steps::step_error(*this, "Threshold to go low must not be above Threshold to go high");
    if (!usehysteresis) {
        each_sample(*this, env, [&](float x) { return x > hithres ? outhi : outlo; });
    } else {
        steps::take_input(*this);
        for (tsinglearr& y : outarr) {
            bool high = false;
            for (float& v : y) {
                if (!high && v > hithres) high = true;
                else if (high && v < lothres) high = false;
                v = static_cast<float>(high ? outhi : outlo);
            }
        }
    }
    const std::string suffix = usehysteresis
                                   ? " Threshold " + num(lothres) + " & " + num(hithres)
                                   : " Threshold " + num(hithres);
    for (tchannelproperties& p : props) p.name += suffix;
}

const tparamlist* tthreshold::params() const {
    static const tparamlist list =
        tparams<tthreshold>("Threshold")
            .real("LoThres", "lothres", &tthreshold::lothres, r_lo)
            .enabled_if([](const tstepform& f) { return f.checked("usehysteresis"); })
            .real("HiThres", "hithres", &tthreshold::hithres, r_hi)
            .real("OutLo", "outlo", &tthreshold::outlo, r_outlo)
            .real("OutHi", "outhi", &tthreshold::outhi, r_outhi)
            .flag("UseHysteresis", "usehysteresis", "Use hysteresis", &tthreshold::usehysteresis)
            .form_order({"hithres", "lothres", "outhi", "outlo", "usehysteresis"});
    return &list;
}

void tthreshold::check_applied() const {
    if (usehysteresis && lothres > hithres)
        throw EProcessError("Threshold to go low must not be above Threshold to go high");
}

std::string tthreshold::get_procname() const {
    return usehysteresis ? "Threshold " + num(lothres) + " & " + num(hithres)
                         : "Threshold " + num(hithres);
}

// --- quantize --------------------------------------------------------------

void tquantize::run_process(tprocenv& env) {
    if (method == 0)
        steps::check_whole(*this, r_nsteps, nsteps);
    else
        check_param(*this, r_qsize, absolutesize);
    props.resize(inarr.size());
    std::vector<double> q(props.size());
    for (std::size_t i = 0; i < props.size(); ++i) {
        q[i] = method == 0 ? 2 * props[i].fsd / nsteps : absolutesize;
        if (!(q[i] != 0) || !std::isfinite(q[i]))
            steps::step_error(*this, "the quantization step is 0 (a full scale of 0)");
    }
    each_sample(*this, env, [&](float x, std::size_t i) { return q[i] * round_even(x / q[i]); });
    for (tchannelproperties& p : props) {
        p.name += method == 0 ? " Qn=" + std::to_string(nsteps) : " Qstep=" + num(absolutesize);
        steps::float_format(p);
    }
}

const tparamlist* tquantize::params() const {
    static const tparamlist list =
        tparams<tquantize>("Quantization step")
            .choice("Method", "method", "", &tquantize::method,
                    {"Number of quantization steps within FSD", "Absolute size"})
            .whole("nSteps", "nsteps", &tquantize::nsteps, r_nsteps, -1, 2000000000)
            .caption("Number of quantization steps within FSD")
            .enabled_if([](const tstepform& f) { return f.index("method") == 0; })
            .real("AbsoluteSize", "absolutesize", &tquantize::absolutesize, r_qsize)
            .enabled_if([](const tstepform& f) { return f.index("method") == 1; });
    return &list;
}

std::string tquantize::get_procname() const {
    return method == 0 ? "Qn=" + std::to_string(nsteps) : "Qstep=" + num(absolutesize);
}

// --- value lists: delay, add, multiply --------------------------------------

double tvaluelist::value(std::size_t i) const {
    if (values.empty()) steps::step_error(*this, prompt() + " holds no value");
    // A process file can hold any text where a number belongs.
    const std::size_t k = i % values.size();
    if (!std::isfinite(values[k]))
        steps::step_error(*this, prompt() + " must hold numbers: " + key() +
                                     std::to_string(k) + " is " + num(values[k]));
    return values[k];
}

template <class S>
tparamlist tvaluelist::values_list(const char* caption, const char* key, const char* prompt,
                                   double missing) {
    return tparams<S>(caption).reals(key, "values", prompt, &S::values, missing);
}

const std::string& tvaluelist::key() const { return params()->params[0].key; }
const std::string& tvaluelist::prompt() const { return params()->params[0].caption; }

const tparamlist* tdelay::params() const {
    static const tparamlist list = values_list<tdelay>("Delay", "DelaySecs", "Delay [s]");
    return &list;
}

const tparamlist* tadd::params() const {
    static const tparamlist list = values_list<tadd>("Add", "Term", "Add constant");
    return &list;
}

const tparamlist* tmultiply::params() const {
    static const tparamlist list =
        values_list<tmultiply>("Factor", "Factor", "Multiply by constant", 1.0);
    return &list;
}

void tdelay::run_process(tprocenv&) {
    // Every signal's new time shift is checked before any changes: a delay
    // that would move a signal further than a time shift can hold is
    // refused naming the field, not wrapped around.
    std::vector<std::int32_t> shifted(inarr.size());
    for (std::size_t i = 0; i < inarr.size(); ++i) {
        const double d = value(i);
        check_param(*this, r_delay, d);
        const double fs = i < props.size() ? props[i].sampfreq : 0.0;
        const double xs = i < props.size() ? props[i].xshift : 0.0;
        shifted[i] = steps::checked_xshift(
            *this, xs + round_even(d * fs),
            prompt() + " " + num(d) + " s at " + num(fs) + " Hz");
    }
    steps::take_input(*this);
    for (std::size_t i = 0; i < outarr.size(); ++i) {
        tchannelproperties& p = props[i];
        const double d = value(i);
        const double shift = static_cast<double>(shifted[i]) - static_cast<double>(p.xshift);
        p.xshift = shifted[i];
        for (tsiglabel& l : p.labels) l.time += shift / p.sampfreq;
        p.name += " delayed " + num(d) + " s";
    }
}

std::string tdelay::get_procname() const { return "Delay " + reallist_to_text(values) + " s"; }

void tadd::run_process(tprocenv& env) {
    if (!inarr.empty()) value(0);
    std::vector<double> t(inarr.size());
    for (std::size_t i = 0; i < t.size(); ++i) t[i] = value(i);
    each_sample(*this, env, [&t](float x, std::size_t i) { return x + t[i]; });
    for (std::size_t i = 0; i < outarr.size(); ++i) {
        props[i].name += " + " + num(value(i));
        steps::float_format(props[i]);
    }
}

std::string tadd::get_procname() const { return "Add " + reallist_to_text(values); }

void tmultiply::run_process(tprocenv& env) {
    if (!inarr.empty()) value(0);
    std::vector<double> f(inarr.size());
    for (std::size_t i = 0; i < f.size(); ++i) f[i] = value(i);
    each_sample(*this, env, [&f](float x, std::size_t i) { return x * f[i]; });
    for (std::size_t i = 0; i < outarr.size(); ++i) {
        props[i].name += " * " + num(value(i));
        steps::float_format(props[i]);
    }
}

std::string tmultiply::get_procname() const { return "Multiply by " + reallist_to_text(values); }

}  // namespace tessal
