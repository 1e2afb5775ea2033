#include "engine/tools/glottalflow.h"

#include <algorithm>
#include <cmath>
#include <complex>

#include "engine/core/tchannel.h"
#include "engine/dsp/notes.h"
#include "engine/dsp/numformat.h"
#include "engine/tools/channelsegment.h"

namespace tessal {

namespace {

constexpr double pi = 3.14159265358979323846;

std::string sig(const tpreferences& p, double x) { return format_significant(p.nSignificantDigits, x); }

}  // namespace

tglottalflow::tglottalflow()
    : flowarr(glottal_seglen + 1, 0.0), derarr(glottal_seglen + 1, 0.0), addarr(glottal_seglen + 1, 0.0) {}

void tglottalflow::clear() {
    std::fill(flowarr.begin(), flowarr.end(), 0.0);
    std::fill(derarr.begin(), derarr.end(), 0.0);
    std::fill(addarr.begin(), addarr.end(), 0.0);
    sampfreq = addsampfreq = -1.0;
    channelname.clear();
    filename.clear();
    unit.clear();
}

void tglottalflow::derive() {
    derarr[0] = 0.0;
    for (std::size_t i = 1; i < flowarr.size(); ++i) derarr[i] = (flowarr[i] - flowarr[i - 1]) * sampfreq;
}

void tglottalflow::load_segment(const tchannel& ch, double time) {
    cursortime = time;
    channelname = ch.name();
    filename = ch.filename;
    unit = ch.yunit();
    load_samples(ch.sampfreq, tchannelsegment(ch, time, 0, glottal_seglen));
}

void tglottalflow::load_extra(const tchannel* ch, double time) {
    std::fill(addarr.begin(), addarr.end(), 0.0);
    if (!ch) {
        addsampfreq = -1.0;
        return;
    }
    addsampfreq = ch->sampfreq;
    const tchannelsegment extra(*ch, time, 0, glottal_seglen);
    for (int i = 0; i <= glottal_seglen; ++i) addarr[static_cast<std::size_t>(i)] = extra(i);
}

int tglottalflow::snap(double t) const {
    const long long r = std::llround(t * sampfreq);
    int i = static_cast<int>(std::clamp(r, 0LL, static_cast<long long>(glottal_seglen)));
    while (i >= 1 && derarr[i] > derarr[i - 1]) --i;
    while (i < glottal_seglen && derarr[i] > derarr[i + 1]) ++i;
    return i;
}

int tglottalflow::snap_mdr(double t, double halfwidth) const {
    const auto index = [&](double x) {
        const double r = std::round(x * sampfreq);
        return static_cast<int>(std::clamp(std::isfinite(r) ? r : 0.0, 0.0, double(glottal_seglen)));
    };
    const int a = index(t - halfwidth), b = index(t + halfwidth), at = index(t);
    double deepest = derarr[at];
    for (int i = a; i <= b; ++i) deepest = std::min(deepest, derarr[i]);
    if (!(deepest < 0)) return snap(t);
    // The dips below half the deepest value are the peaks there are (a dip
    // ends only when the derivative climbs above a quarter of it, so that
    // roughness on a flank does not split a peak); of them the one nearest
    // to t, and of a flat bottom the sample nearest to t.
    const double deep = 0.5 * deepest, out = 0.25 * deepest;
    int best = -1, dipbest = -1;
    const auto nearer = [&](int i, int j) { return j < 0 || std::abs(i - at) < std::abs(j - at); };
    const auto close_dip = [&] {
        if (dipbest >= 0 && nearer(dipbest, best)) best = dipbest;
        dipbest = -1;
    };
    bool inside = false;
    for (int i = a; i <= b; ++i) {
        if (inside && derarr[i] > out) {
            inside = false;
            close_dip();
        } else if (!inside && derarr[i] < deep) {
            inside = true;
        }
        if (inside) {
            const double d = derarr[i], m = dipbest < 0 ? 0.0 : derarr[dipbest];
            if (dipbest < 0 || d < m - 1e-9 * std::abs(m) || (d <= m + 1e-9 * std::abs(m) && nearer(i, dipbest)))
                dipbest = i;
        }
    }
    close_dip();
    // The window's edge may cut a slope that still falls beyond it.
    return snap(best / sampfreq);
}

tperiodstate tglottalflow::check_period(int a, int b) const {
    if (a >= b) return tperiodstate::nocycle;
    const double da = -derarr[a], db = -derarr[b];
    if (!(da > 0) || !(db > 0) || std::min(da, db) < 0.5 * std::max(da, db)) return tperiodstate::nocycle;
    // Each end is a peak of its neighbourhood: nothing within one period of
    // it is more than twice as deep (a rough stretch of the closed phase is
    // no MDR peak when a real one is near).
    for (int e : {a, b}) {
        const int from = std::max(0, e - (b - a)), to = std::min(glottal_seglen, e + (b - a));
        const double d = -*std::min_element(derarr.begin() + from, derarr.begin() + to + 1);
        if (-derarr[e] < 0.5 * d) return tperiodstate::nocycle;
    }
    // Count the dips below half the shallower peak, as above.
    const double deep = -0.5 * std::min(da, db), out = -0.25 * std::min(da, db);
    bool inside = true;
    int dips = 0;
    for (int i = a + 1; i <= b; ++i) {
        if (inside && derarr[i] > out) inside = false;
        else if (!inside && derarr[i] < deep) {
            inside = true;
            ++dips;
        }
    }
    if (dips == 0) return tperiodstate::nocycle;
    return dips == 1 ? tperiodstate::ok : tperiodstate::severalcycles;
}

void tglottalflow::mark_period(double t1, double t2) {
    showmeasurement = true;
    autoptp = true;
    const double lo = std::min(t1, t2), hi = std::max(t1, t2);
    const double reach = (hi - lo) / 2;
    periodstartpos = snap_mdr(lo, reach);
    periodendpos = snap_mdr(hi, reach);
    if (periodendpos < periodstartpos) std::swap(periodstartpos, periodendpos);
    periodstate = lo == hi ? tperiodstate::click : tperiodstate::ok;  // measure() checks the cycle
    set_period_times();
    measure();
}

void tglottalflow::mark_period_at(int a, int b) {
    showmeasurement = true;
    autoptp = true;
    periodstartpos = std::clamp(std::min(a, b), 0, glottal_seglen);
    periodendpos = std::clamp(std::max(a, b), 0, glottal_seglen);
    periodstate = periodstartpos == periodendpos ? tperiodstate::click : tperiodstate::ok;
    set_period_times();
    measure();
}

void tglottalflow::set_period_times() {
    periodnegpos = 2 * periodstartpos - periodendpos;
    lotime = periodstartpos / sampfreq;
    hitime = periodendpos / sampfreq;
    negtime = periodnegpos / sampfreq;
}

std::string tglottalflow::period_problem() const {
    switch (showmeasurement ? periodstate : tperiodstate::unmarked) {
        case tperiodstate::unmarked: return "no period marked";
        case tperiodstate::click: return "a click marks no period";
        case tperiodstate::nocycle: return "no full cycle between the marks";
        case tperiodstate::severalcycles: return "more than one cycle between the marks";
        case tperiodstate::ok: break;
    }
    return {};
}

std::string tglottalflow::period_prompt() const {
    const std::string what = "drag in the lower panel from one MDR peak to the next";
    switch (showmeasurement ? periodstate : tperiodstate::unmarked) {
        case tperiodstate::unmarked: return "To mark a period, " + what;
        case tperiodstate::click: return "Keep the button down and drag to the next MDR peak to mark a period";
        case tperiodstate::nocycle: return "No full cycle between the marks: " + what;
        case tperiodstate::severalcycles: return "More than one cycle between the marks: " + what;
        case tperiodstate::ok: break;
    }
    return {};
}

void tglottalflow::mark_closed(double t1, double t2) {
    cqlotime = std::min(t1, t2);
    cqhitime = std::max(t1, t2);
    measure();
}

void tglottalflow::set_extremes(double v1, double v2) {
    autoptp = false;
    loflow = std::min(v1, v2);
    hiflow = std::max(v1, v2);
    measure();
}

void tglottalflow::measure() {
    if (sampfreq < 0 || !showmeasurement) return;
    selectionerror = false;
    closedvalid = sqvalid = false;
    // Checked again on every recompute: a reload puts other samples under the marks.
    if (periodstate != tperiodstate::click) periodstate = check_period(periodstartpos, periodendpos);
    if (periodstate != tperiodstate::ok) {
        t0 = f0 = mdr = ptp = aq = naq = h1h2 = cq = sq = 0;
        if (autoptp) loflow = hiflow = 0;
        return;
    }
    const double fs = sampfreq;
    t0 = (periodendpos - periodstartpos) / fs;
    f0 = 1.0 / t0;
    mdr = -derarr[static_cast<std::size_t>(periodstartpos)];
    starttime = periodstartpos / fs + cursortime;
    if (autoptp) {
        loflow = 1e8;
        for (int i = periodstartpos; i <= periodendpos; ++i)
            if (flowarr[i] < loflow) loflow = flowarr[i];
        hiflow = -1e8;
        hiflowtime = periodstartpos / fs;
        for (int i = periodstartpos; i >= periodnegpos; --i) {
            if (i < 0) {
                selectionerror = true;
                break;
            }
            if (flowarr[i] > hiflow) {
                hiflow = flowarr[i];
                hiflowtime = i / fs;
            }
        }
    }
    ptp = hiflow - loflow;
    aq = ptp / mdr;
    naq = ptp / (mdr * t0);
    const int n = periodendpos - periodstartpos + 1;
    std::complex<double> h1, h2;
    for (int i = periodstartpos; i <= periodendpos; ++i) {
        const double k = i - periodstartpos;
        h1 += flowarr[i] * std::polar(1.0, 2.0 * pi * k / n);
        h2 += flowarr[i] * std::polar(1.0, 4.0 * pi * k / n);
    }
    h1h2 = std::abs(h2) > 0 ? 20.0 * std::log10(std::abs(h1) / std::abs(h2)) : 0.0;
    // The closed phase runs from the closure after the period's MDR to the
    // opening before the next one; a mark outside the period says nothing
    // about this cycle. Half a sample of slack for marks set from pixels.
    const double slack = 0.5 / fs;
    closedvalid = cqhitime > cqlotime && cqlotime >= lotime - slack && cqhitime <= hitime + slack;
    cq = closedvalid ? (cqhitime - cqlotime) / t0 : 0.0;
    // Opening: from the previous cycle's opening (one period before this
    // one's) to the flow peak; closing: from the peak to the closure.
    const double opening = hiflowtime - (cqhitime - t0), closing = cqlotime - hiflowtime;
    sqvalid = closedvalid && opening > 0 && closing > 0;
    sq = sqvalid ? opening / closing : 0.0;
}

std::string tglottalflow::line1(const tpreferences& p) const {
    if (sampfreq < 0) return {};
    if (!period_ok()) return period_prompt();
    return "T=" + format_float_pattern(p.SecondsFormat, starttime) + " s, F0=" + sig(p, f0) + " Hz (" +
           freq_to_notename(f0, true) + "), Min=" + sig(p, loflow) + " " + unit + ", Max=" +
           sig(p, hiflow) + " " + unit;
}

std::string tglottalflow::line2(const tpreferences& p) const {
    if (!period_ok() || sampfreq < 0) return {};
    if (selectionerror) return "Select a MDR peak further to the right to allow a full period before it!";
    return "T0=" + sig(p, t0 * 1000) + " ms, ptp=" + sig(p, ptp) + " " + unit + ", MDR=" + sig(p, mdr) +
           " " + unit + "/s, AQ=" + sig(p, aq * 1000) + " ms, NAQ=" + sig(p, naq) +
           ", H1/H2=" + format_float_pattern(p.dBFormat, h1h2) + " dB";
}

std::string tglottalflow::line3(const tpreferences& p) const {
    if (!period_ok() || sampfreq < 0) return {};
    if (!(cqhitime > cqlotime)) return "Click and drag in the upper panel to mark the closed phase";
    if (!closedvalid) return "Click and drag in the upper panel inside the marked period to mark the closed phase";
    return "TC=" + sig(p, (cqhitime - cqlotime) * 1000) + " ms, CQ=" + sig(p, cq * 100) + " %, OQ=" +
           sig(p, (1 - cq) * 100) + " %" + (sqvalid ? ", SQ=" + sig(p, sq) : std::string());
}

std::string tglottalflow::heading() const {
    return "File name\tChannel name\tTime [s]\tT0 [ms]\tF0 [Hz]\tNote\tptp [" + unit + "]\tmin [" + unit +
           "]\tmax [" + unit + "]\tMDR [" + unit + "/s]\tAQ [ms]\tNAQ\tH1/H2 [dB]\tTC [ms]\tCQ\tOQ\tSQ\t";
}

std::string tglottalflow::datarow(const tpreferences& p) const {
    std::string r = filename + "\t" + channelname + "\t" + format_float_pattern(p.SecondsFormat, starttime) + "\t";
    for (double v : {t0 * 1000, f0}) r += sig(p, v) + "\t";
    r += freq_to_notename(f0, true) + "\t";
    for (double v : {ptp, loflow, hiflow, mdr, aq * 1000, naq}) r += sig(p, v) + "\t";
    r += format_float_pattern(p.dBFormat, h1h2) + "\t";
    // Without a closed phase in the period the last four stay empty.
    if (closedvalid)
        for (double v : {(cqhitime - cqlotime) * 1000, cq, 1 - cq}) r += sig(p, v) + "\t";
    else
        r += "\t\t\t";
    r += (sqvalid ? sig(p, sq) : std::string()) + "\t";
    return r;
}

}  // namespace tessal
