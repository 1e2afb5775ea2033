#include "engine/tools/glottalflow.h"

#include <algorithm>
#include <cmath>
#include <complex>

#include "engine/core/tchannel.h"
#include "engine/dsp/notes.h"
#include "engine/dsp/numformat.h"

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
    const long long base = std::llround(time * ch.sampfreq) - ch.xshift;
    const long long n = static_cast<long long>(ch.sig.size());
    load_samples(ch.sampfreq, [&](int i) {
        const long long k = base + i;
        return k >= 0 && k < n ? static_cast<double>(ch.sig[static_cast<std::size_t>(k)]) : 0.0;
    });
}

void tglottalflow::load_extra(const tchannel* ch, double time) {
    std::fill(addarr.begin(), addarr.end(), 0.0);
    if (!ch) {
        addsampfreq = -1.0;
        return;
    }
    addsampfreq = ch->sampfreq;
    const long long base = std::llround(time * ch->sampfreq) - ch->xshift;
    const long long n = static_cast<long long>(ch->sig.size());
    for (int i = 0; i <= glottal_seglen; ++i) {
        const long long k = base + i;
        if (k >= 0 && k < n) addarr[static_cast<std::size_t>(i)] = ch->sig[static_cast<std::size_t>(k)];
    }
}

int tglottalflow::snap(double t) const {
    const long long r = std::llround(t * sampfreq);
    int i = static_cast<int>(std::clamp(r, 0LL, static_cast<long long>(glottal_seglen)));
    while (i >= 1 && derarr[i] > derarr[i - 1]) --i;
    while (i < glottal_seglen && derarr[i] > derarr[i + 1]) ++i;
    return i;
}

void tglottalflow::mark_period(double t1, double t2) {
    showmeasurement = true;
    autoptp = true;
    periodstartpos = snap(std::min(t1, t2));
    periodendpos = snap(std::max(t1, t2));
    periodnegpos = 2 * periodstartpos - periodendpos;
    lotime = periodstartpos / sampfreq;
    hitime = periodendpos / sampfreq;
    negtime = periodnegpos / sampfreq;
    measure();
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
    const double fs = sampfreq;
    t0 = (periodendpos - periodstartpos) / fs;
    f0 = t0 > 0 ? 1.0 / t0 : 0.0;
    mdr = -derarr[static_cast<std::size_t>(periodstartpos)];
    starttime = periodstartpos / fs + cursortime;
    selectionerror = false;
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
    aq = mdr != 0 ? ptp / mdr : 0.0;
    naq = mdr != 0 && t0 > 0 ? ptp / (mdr * t0) : 0.0;
    const int n = periodendpos - periodstartpos + 1;
    std::complex<double> h1, h2;
    for (int i = periodstartpos; i <= periodendpos; ++i) {
        const double k = i - periodstartpos;
        h1 += flowarr[i] * std::polar(1.0, 2.0 * pi * k / n);
        h2 += flowarr[i] * std::polar(1.0, 4.0 * pi * k / n);
    }
    h1h2 = std::abs(h2) > 0 ? 20.0 * std::log10(std::abs(h1) / std::abs(h2)) : 0.0;
    cq = t0 > 0 ? (cqhitime - cqlotime) / t0 : 0.0;
    const double closing = cqlotime - hiflowtime;
    sq = closing != 0 ? (hiflowtime - (cqhitime - t0)) / closing : 0.0;
}

std::string tglottalflow::line1(const tpreferences& p) const {
    if (!showmeasurement || sampfreq < 0) return {};
    return "T=" + format_float_pattern(p.SecondsFormat, starttime) + " s, F0=" + sig(p, f0) + " Hz (" +
           freq_to_notename(f0, true) + "), Min=" + sig(p, loflow) + " " + unit + ", Max=" +
           sig(p, hiflow) + " " + unit;
}

std::string tglottalflow::line2(const tpreferences& p) const {
    if (!showmeasurement || sampfreq < 0) return {};
    if (selectionerror) return "Select a MDR peak further to the right to allow a full period before it!";
    return "T0=" + sig(p, t0 * 1000) + " ms, ptp=" + sig(p, ptp) + " " + unit + ", MDR=" + sig(p, mdr) +
           " " + unit + "/s, AQ=" + sig(p, aq * 1000) + " ms, NAQ=" + sig(p, naq) +
           ", H1/H2=" + format_float_pattern(p.dBFormat, h1h2) + " dB";
}

std::string tglottalflow::line3(const tpreferences& p) const {
    if (!showmeasurement || sampfreq < 0) return {};
    if (cq == 0) return "Click and drag in the upper panel to mark the closed phase";
    return "TC=" + sig(p, (cqhitime - cqlotime) * 1000) + " ms, CQ=" + sig(p, cq * 100) + " %, OQ=" +
           sig(p, (1 - cq) * 100) + " %, SQ=" + sig(p, sq);
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
    for (double v : {(cqhitime - cqlotime) * 1000, cq, 1 - cq, sq}) r += sig(p, v) + "\t";
    return r;
}

}  // namespace tessal
