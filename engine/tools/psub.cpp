#include "engine/tools/psub.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <numbers>

#include "engine/dsp/numformat.h"

namespace tessal {

namespace {

std::string fmt(int digits, double v) { return format_significant(digits, v); }

std::string bracket(const std::string& unit) { return "[" + unit + "]"; }

// Linear interpolation at p*(n-1) of sorted values; -1 for none.
double interpolated(const std::vector<double>& s, double p) {
    if (s.empty()) return -1;
    if (s.size() == 1) return s[0];
    const double pos = p * static_cast<double>(s.size() - 1);
    const auto i = static_cast<std::size_t>(std::floor(pos));
    if (i + 1 >= s.size()) return s.back();
    const double f = pos - static_cast<double>(i);
    return s[i] + f * (s[i + 1] - s[i]);
}

double at_percentile(const std::vector<float>& sorted, double p) {
    const double pos = std::round(static_cast<double>(sorted.size() - 1) * std::clamp(p, 0.0, 1.0));
    return sorted[static_cast<std::size_t>(pos)];
}

}  // namespace

tsection psub_section(tpsubsection mode, const tsection& current, const tpsubview& v,
                      const tpsubparams& p) {
    const double len = current.to - current.from;
    switch (mode) {
        case tpsubsection::selection:
            if (v.right - v.left >= p.fminduration) return {v.left, v.right};
            return {v.timecursor, v.timecursor + p.fmaxduration};
        case tpsubsection::fixedafter: return {v.timecursor, v.timecursor + len};
        case tpsubsection::fixedaround: {
            const double mid = (v.left + v.right) / 2;
            return {mid - len / 2, mid + len / 2};
        }
        case tpsubsection::manual: return current;
        case tpsubsection::mainwindow: return {v.visiblelo, v.visiblehi};
        case tpsubsection::entirefile: return {v.channelstart, v.channelend};
    }
    return current;
}

double rising_ramp(double v, double lo, double hi) {
    if (std::isnan(v)) return 0;
    if (v < lo) return 0;
    if (v >= hi) return 1;
    return (v - lo) / (hi - lo);
}

double falling_ramp(double v, double lo, double hi) {
    if (std::isnan(v)) return 0;
    if (v < lo) return 1;
    if (v >= hi) return 0;
    return (v - hi) / (lo - hi);
}

tpeakscore score_peak(const tpeak& pk) {
    tpeakscore s;
    const double h1 = pk.harm[0];
    const double r21 = h1 != 0 ? pk.harm[1] / h1 : std::nan("");
    const double r31 = h1 != 0 ? pk.harm[2] / h1 : std::nan("");
    s.upslope = rising_ramp(r21, -0.3, -0.1);
    s.downslope = falling_ramp(r21, 0.02, 0.2);
    s.rounding = rising_ramp(r31, 0.05, 0.22);
    s.inverserounding = falling_ramp(r31, 0.34, 0.6);
    s.variability = pk.peakheight != 0 ? falling_ramp(pk.variability / pk.peakheight, 0.05, 0.4) : 0;
    s.longdur = falling_ramp(pk.duration, 0.4, 0.5);
    s.shortdur = rising_ramp(pk.duration, 0.0, 0.1);
    const double v = pk.peakheight != 0 ? pk.maxheight / pk.peakheight : std::nan("");
    if (v >= 0 && v < 1.1)
        s.noise = 1;
    else if (v >= 1.1 && v < 2.0)
        s.noise = (v - 2.0) / (1.1 - 2.0);
    else
        s.noise = 0;
    s.total = s.upslope * s.downslope * s.rounding * s.inverserounding * s.variability *
              s.longdur * s.shortdur * s.noise;
    const struct {
        double score;
        const char* word;
        const char* letter;
    } parts[] = {{s.upslope, "upwards sloping ", "U"},   {s.downslope, "downwards sloping ", "D"},
                 {s.inverserounding, "inversely rounded ", "I"}, {s.rounding, "rounded ", "R"},
                 {s.shortdur, "short ", "S"},           {s.longdur, "long ", "L"},
                 {s.variability, "varying ", "V"},      {s.noise, "noisy ", "N"}};
    std::string words, letters;
    for (const auto& part : parts)
        if (part.score < 0.9) {
            words += part.word;
            letters += part.letter;
        }
    s.category = (words.empty() ? std::string("nice ") : words) + "peak";
    s.category[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(s.category[0])));
    s.labelcat = letters.empty() ? "" : " - " + letters;
    return s;
}

std::vector<tpeak> find_peaks(const float* x, long long n, long long first, long long xshift,
                              double fs, const tpsubparams& p, bool all) {
    std::vector<tpeak> peaks;
    if (!(fs > 0) || n <= 0) return peaks;
    const double thr = p.fthreshold;
    // A run in progress at the start belongs to an earlier section.
    long long i = 0;
    while (i < n && x[i] >= thr) ++i;
    while (i < n) {
        while (i < n && !(x[i] >= thr)) ++i;
        if (i >= n) break;
        const long long a = i;
        while (i < n && x[i] >= thr) ++i;
        if (i >= n) break;  // still above at the end: not ended here
        const long long len = i - a;
        const double dur = static_cast<double>(len) / fs;
        if (dur < p.fminduration || dur > p.fmaxduration) continue;

        tpeak pk;
        pk.startsample = first + a;
        pk.nwidth = len;
        pk.duration = dur;
        pk.starttime = static_cast<double>(pk.startsample + xshift) / fs;
        std::vector<float> sorted(x + a, x + i);
        std::sort(sorted.begin(), sorted.end());
        pk.peakheight = at_percentile(sorted, p.fpeakpercentile);
        pk.uperc = at_percentile(sorted, p.fvariabilitypercentile);
        pk.qperc = at_percentile(sorted, 0.25);
        pk.maxheight = sorted.back();
        pk.variability = pk.peakheight - pk.uperc;
        pk.harmbase = pk.peakheight / 2;

        long long top = a;
        for (long long k = a; k < i; ++k)
            if (x[k] > x[top]) top = k;
        long long l = top, r = top;
        while (l > 0 && x[l - 1] > pk.harmbase) --l;
        while (r + 1 < n && x[r + 1] > pk.harmbase) ++r;
        pk.harmleft = first + l;
        pk.harmright = first + r;
        const long long m = r - l;
        if (m > 0)
            for (int h = 1; h <= 3; ++h) {
                double sum = 0;
                for (long long k = 0; k <= m; ++k)
                    sum += std::sin(h * std::numbers::pi * static_cast<double>(k) / static_cast<double>(m)) *
                           2 * (x[l + k] - pk.harmbase);
                pk.harm[h - 1] = static_cast<float>(sum / static_cast<double>(m + 1));
            }
        pk.score = score_peak(pk);
        if (all || pk.score.total >= p.fminscore) peaks.push_back(pk);
    }
    return peaks;
}

std::vector<tpeak> detect_peaks(const tchannel& ch, const tsection& s, const tpsubparams& p) {
    const double fs = ch.sampfreq;
    if (!(fs > 0) || !std::isfinite(s.from * fs) || !std::isfinite(s.to * fs)) return {};
    const auto n = static_cast<long long>(ch.sample_count());
    auto index = [&](double t) {
        const double v = std::round(t * fs) - static_cast<double>(ch.xshift);
        return static_cast<long long>(std::clamp(v, 0.0, static_cast<double>(n)));
    };
    const long long a = index(std::min(s.from, s.to)), b = index(std::max(s.from, s.to));
    if (b <= a) return {};
    // One section's samples: a bounded copy.
    const tsinglearr x = ch.samples_array(a, b);
    return find_peaks(x.data(), b - a, a, ch.xshift, fs, p);
}

tpeakstatistics peak_statistics(const std::vector<tpeak>& peaks, const tchannel& ch,
                                const tsection& s) {
    tpeakstatistics st;
    st.yunit = ch.yunit();
    st.filename = ch.filename;
    st.channelname = ch.name();
    st.starttime = s.from;
    st.endtime = s.to;
    for (const tpeak& p : peaks) st.sortedpeaks.push_back(p.peakheight);
    std::sort(st.sortedpeaks.begin(), st.sortedpeaks.end());
    const auto& v = st.sortedpeaks;
    if (!v.empty()) {
        double sum = 0;
        for (double x : v) sum += x;
        st.peakaverage = sum / static_cast<double>(v.size());
        st.peakmin = v.front();
        st.peakmax = v.back();
    }
    st.peakloquartile = interpolated(v, 0.25);
    st.peakmedian = interpolated(v, 0.5);
    st.peakhiquartile = interpolated(v, 0.75);
    return st;
}

std::vector<std::string> statistics_lines(const tpeakstatistics& st, int d) {
    auto val = [&](double v) { return fmt(d, v) + " " + st.yunit; };
    return {"n peaks: " + std::to_string(st.sortedpeaks.size()),
            "Peak height",
            "  Average: " + val(st.peakaverage),
            "  Median: " + val(st.peakmedian),
            "",
            "  Low quartile: " + val(st.peakloquartile),
            "  High quartile: " + val(st.peakhiquartile),
            "",
            "  Minimum: " + val(st.peakmin),
            "  Maximum: " + val(st.peakmax)};
}

std::string peak_memo_line(const tpeak& pk, const std::string& unit, int d) {
    return fmt(d, pk.starttime) + " s: " + fmt(d, pk.peakheight) + " " + unit + ", " +
           fmt(d, pk.duration) + " s, score " + fmt(d, 100 * pk.score.total) + " %, " +
           pk.score.category;
}

tpsublog peaks_log(const std::vector<tpeak>& peaks, const tpeakstatistics& st, int d) {
    tpsublog log;
    const std::string u = bracket(st.yunit);
    log.heading = "Filename\tChannel\tTime [s]\tPeak height " + u + "\tVariability " + u +
                  "\tDuration [s]\tScore\tCategory\tH1\tH2/H1\tH3/H1\t";
    for (const tpeak& p : peaks) {
        const double h1 = p.harm[0];
        log.rows.push_back(st.filename + "\t" + st.channelname + "\t" + fmt(d, p.starttime) + "\t" +
                           fmt(d, p.peakheight) + "\t" + fmt(d, p.variability) + "\t" +
                           fmt(d, p.duration) + "\t" + fmt(d, p.score.total) + "\t" +
                           p.score.category + "\t" + fmt(d, h1) + "\t" +
                           (h1 != 0 ? fmt(d, p.harm[1] / h1) : "-") + "\t" +
                           (h1 != 0 ? fmt(d, p.harm[2] / h1) : "-") + "\t");
    }
    return log;
}

tpsublog statistics_log(const tpeakstatistics& st, int d) {
    tpsublog log;
    const std::string u = bracket(st.yunit);
    log.heading = "Starttime [s]\tEndtime [s]\tn peaks\tAverage " + u + "\tMedian " + u +
                  "\tLow quartile " + u + "\tMinimum " + u + "\tMaximum " + u +
                  "\tFilename\tChannel name\t";
    log.rows.push_back(fmt(d, st.starttime) + "\t" + fmt(d, st.endtime) + "\t" +
                       std::to_string(st.sortedpeaks.size()) + "\t" + fmt(d, st.peakaverage) + "\t" +
                       fmt(d, st.peakmedian) + "\t" + fmt(d, st.peakloquartile) + "\t" +
                       fmt(d, st.peakmin) + "\t" + fmt(d, st.peakmax) + "\t" + st.filename + "\t" +
                       st.channelname + "\t");
    return log;
}

std::string psub_title(int chno) { return "Subglottal pressure - channel " + std::to_string(chno); }
std::string threshold_caption(const std::string& unit) { return "Threshold [" + unit + "]"; }
std::string aspect_unit(const std::string& unit) {
    return unit.empty() ? "units/s" : unit + "/s";
}

const std::vector<std::string>& psub_quantity_names() {
    static const std::vector<std::string> names{
        "Peak quality descriptor", "Peak height", "Variability", "Duration", "Score",
        "Upslope score", "Downslope score", "Rounding score", "Inverse rounding score",
        "Variability score", "Long duration score", "Short duration score", "Noise score",
        "Harmonic analysis"};
    return names;
}

std::vector<bool> default_psub_quantities() {
    std::vector<bool> q(static_cast<std::size_t>(tpsubquantity::count), false);
    for (int i = 0; i < 5; ++i) q[static_cast<std::size_t>(i)] = true;
    return q;
}

std::string psub_label_text(const tpeak& pk, const std::string& unit, int textchoice, int d) {
    std::string t = fmt(d, pk.peakheight);
    if (textchoice >= 1 && !unit.empty()) t += " " + unit;
    if (textchoice >= 2) t += pk.score.labelcat;
    return t;
}

int add_psub_labels(tdocument& doc, tprompter& prompter, int chno, const std::vector<tpeak>& peaks,
                    const std::vector<bool>& quantities, int textchoice) {
    if (chno < 0 || chno >= doc.totnchans()) return 0;
    tchannel& ch = doc.channel(chno);
    const std::string count = std::to_string(peaks.size());
    if (prompter.ask("Are you sure you want to add " + count + " labels to channel " +
                         std::to_string(chno) + "?",
                     "Add labels", tbuttons::yesno, ticon::question) != tanswer::yes)
        return 0;
    int present = 0;
    for (const tsiglabel& l : ch.labels) present += l.labeltype == "psub";
    if (present > 0 &&
        prompter.ask("Do you want to remove the " + std::to_string(present) +
                         " already present psub labels in channel" + std::to_string(chno),
                     "Remove labels", tbuttons::yesno, ticon::question) == tanswer::yes)
        for (int i = static_cast<int>(ch.labels.size()); i-- > 0;)
            if (ch.labels[i].labeltype == "psub") ch.delete_label(i);
    auto on = [&](tpsubquantity q) {
        const auto i = static_cast<std::size_t>(q);
        return i < quantities.size() && quantities[i];
    };
    const int d = doc.prefs.nSignificantDigits;
    const std::string unit = ch.yunit();
    for (const tpeak& pk : peaks) {
        tentities e;
        const tpeakscore& s = pk.score;
        if (on(tpsubquantity::descriptor)) e.descriptor = s.category;
        if (on(tpsubquantity::height)) e.no.push_back({"Peak height", pk.peakheight, unit});
        if (on(tpsubquantity::variability)) e.no.push_back({"Variability", pk.variability, unit});
        if (on(tpsubquantity::duration)) e.no.push_back({"Duration", pk.duration, "s"});
        if (on(tpsubquantity::score)) e.no.push_back({"Score", s.total, ""});
        const struct {
            tpsubquantity q;
            const char* name;
            double v;
        } subs[] = {{tpsubquantity::upslope, "Upslope score", s.upslope},
                    {tpsubquantity::downslope, "Downslope score", s.downslope},
                    {tpsubquantity::rounding, "Rounding score", s.rounding},
                    {tpsubquantity::inverserounding, "Inverse rounding score", s.inverserounding},
                    {tpsubquantity::variabilityscore, "Variability score", s.variability},
                    {tpsubquantity::longdur, "Long duration score", s.longdur},
                    {tpsubquantity::shortdur, "Short duration score", s.shortdur},
                    {tpsubquantity::noise, "Noise score", s.noise}};
        for (const auto& x : subs)
            if (on(x.q)) e.no.push_back({x.name, x.v, ""});
        if (on(tpsubquantity::harmonics))
            for (int h = 0; h < 3; ++h) e.no.push_back({"H" + std::to_string(h + 1), pk.harm[h], unit});
        ch.add_label(pk.starttime, pk.duration, psub_label_text(pk, unit, textchoice, d), "psub", e);
    }
    doc.theglobal.channel_changed(tchannelchange::labels(chno));
    return static_cast<int>(peaks.size());
}

}  // namespace tessal
