#include "engine/tools/calibration.h"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <limits>
#include <vector>

#include "engine/core/unitproduct.h"
#include "engine/dsp/numformat.h"
#include "engine/dsp/weighting.h"

namespace tessal {

namespace {

long long time_index(double t, double fs) { return std::llround(t * fs); }

bool fits(double t, double fs) {
    const double v = t * fs;
    return std::isfinite(v) && std::fabs(v) < 9e15;
}

std::string now_text() {
    const std::time_t t = std::time(nullptr);
    std::tm tmv{};
    localtime_r(&t, &tmv);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tmv);
    return buf;
}

std::string trimmed(const std::string& s) {
    const auto a = s.find_first_not_of(" \t");
    if (a == std::string::npos) return "";
    const auto b = s.find_last_not_of(" \t");
    return s.substr(a, b - a + 1);
}

// y = a*x + b for one channel, with what it becomes.
struct tcalibmap {
    double a = 1, b = 0;
    double fsd = 1;
};

bool usable(double v) { return std::isfinite(v); }

// The map of one channel, or false when it cannot be formed.
bool channel_map(tchannel& ch, const tcalibration& p, double L, double R, tcalibmap& m) {
    const double fs = ch.sampfreq;
    if (!(fs > 0) || !fits(L, fs) || !fits(R, fs)) return false;
    switch (p.mode) {
        case tcalibmode::level:
        case tcalibmode::rms: {
            const double target =
                p.mode == tcalibmode::level ? p.reference * std::pow(10.0, p.value / 20.0) : p.value;
            const double rms = calibration_rms(ch, L, R, p.weighting);
            switch (p.mode == tcalibmode::level ? p.weighting : tcalibweighting::linear) {
                case tcalibweighting::A: ch.rmsA = rms; break;
                case tcalibweighting::C: ch.rmsC = rms; break;
                default: ch.rms = rms;
            }
            m.a = target / rms;
            m.b = 0;
            m.fsd = ch.fsd() * m.a;
            break;
        }
        case tcalibmode::two: {
            if (!fits(ch.cursors[3], fs) || !fits(ch.cursors[4], fs) || !fits(ch.cursors[5], fs) ||
                !fits(ch.cursors[6], fs))
                return false;
            const double a1 = calibration_mean(ch, ch.cursors[3], ch.cursors[4]);
            const double a2 = calibration_mean(ch, ch.cursors[5], ch.cursors[6]);
            if (a1 == a2) return false;
            m.a = (p.value2 - p.value) / (a2 - a1);
            m.b = p.value - (p.value2 - p.value) * a1 / (a2 - a1);
            m.fsd = std::max(m.a * ch.fsd() + m.b, -m.a * ch.fsd() + m.b);
            break;
        }
        case tcalibmode::integral: {
            const double integral = calibration_integral(ch, L, R);
            m.a = p.value / integral;
            m.b = 0;
            m.fsd = ch.fsd() * m.a;
            break;
        }
    }
    // A factor of 0 or one that is not finite would destroy the samples;
    // an FSD that cannot be kept would make the channel unsaveable.
    return usable(m.a) && usable(m.b) && m.a != 0 && tchannel::usable_fsd(std::fabs(m.fsd));
}

std::string level_unit(tcalibweighting w) {
    return w == tcalibweighting::A ? "dBA" : w == tcalibweighting::C ? "dBC" : "dB";
}

void add_labels(tchannel& ch, const tcalibration& p, double L, double R, int digits) {
    for (int i = static_cast<int>(ch.labels.size()); i-- > 0;)
        if (ch.labels[i].labeltype == calibration_labeltype) ch.delete_label(i);
    tentities e;
    e.descriptor = p.when.empty() ? now_text() : p.when;
    const std::string unit = trimmed(p.unit);
    const std::string v = format_significant(digits, p.value);
    switch (p.mode) {
        case tcalibmode::level: {
            const std::string u = level_unit(p.weighting);
            e.no = {{"Level", p.value, u}, {"Reference", p.reference, unit}};
            ch.add_label(L, R - L, v + " " + u, calibration_labeltype, e);
            break;
        }
        case tcalibmode::rms:
            e.no = {{"Amplitude", p.value, unit}};
            ch.add_label(L, R - L, v + " " + unit, calibration_labeltype, e);
            break;
        case tcalibmode::two:
            // Both at the selection, like every calibration label; the
            // second carries the value of the purple marks.
            e.no = {{"Amplitude", p.value, unit}};
            ch.add_label(L, R - L, v + " " + unit, calibration_labeltype, e);
            e.no = {{"Amplitude", p.value2, unit}};
            ch.add_label(L, R - L, format_significant(digits, p.value2) + " " + unit,
                         calibration_labeltype, e);
            break;
        case tcalibmode::integral: {
            const std::string u = unit_product(unit, "s");
            e.no = {{"Integral", p.value, u}};
            ch.add_label(L, R - L, v + " " + u, calibration_labeltype, e);
            break;
        }
    }
}

}  // namespace

std::string calibration_failure_text(int chno) {
    return "Could not calibrate channel " + std::to_string(chno);
}

bool calibration_uses_lowpass(double fs) {
    tweightingfilters f;
    f.set_rate(fs);
    return f.uselowpass();
}

namespace {

// Calls f(x) for the channel's value at every time index first..last (0
// outside its samples), reading a bounded block at a time.
template <class F>
void each_shifted(const tchannel& ch, long long first, long long last, F&& f) {
    constexpr long long block = 1 << 16;
    std::vector<float> buf;
    for (long long n = first; n <= last;) {
        const long long k = std::min(block, last - n + 1);
        buf.resize(static_cast<std::size_t>(k));
        ch.read_shifted(n, buf.size(), buf.data());
        for (const float x : buf) f(static_cast<double>(x));
        n += k;
    }
}

}  // namespace

double calibration_rms(const tchannel& ch, double L, double R, tcalibweighting w) {
    const double fs = ch.sampfreq;
    if (!(fs > 0) || !fits(L, fs) || !fits(R, fs)) return std::nan("");
    const long long l = time_index(L, fs), r = time_index(R, fs);
    if (r < l) return std::nan("");
    double sum = 0;
    if (w == tcalibweighting::linear) {
        each_shifted(ch, l, r, [&](double x) { sum += x * x; });
    } else {
        tweightingfilters filters;
        filters.set_rate(fs);
        tweightingchain chain = weighting_chain(filters);
        const bool aw = w == tcalibweighting::A;
        const double scale = aw ? chain.scaleA : chain.scaleC;
        const bool lp = filters.uselowpass();
        double a = 0, c = 0;
        long long n = l - std::llround(fs);
        each_shifted(ch, n, r, [&](double x) {
            if (lp)
                chain.step<true>(x, a, c);
            else
                chain.step<false>(x, a, c);
            if (n++ >= l) {
                const double y = (aw ? a : c) * scale;
                sum += y * y;
            }
        });
    }
    return std::sqrt(sum / static_cast<double>(r - l + 1));
}

double calibration_integral(const tchannel& ch, double L, double R) {
    const double fs = ch.sampfreq;
    if (!(fs > 0) || !fits(L, fs) || !fits(R, fs)) return std::nan("");
    double sum = 0;
    each_shifted(ch, time_index(L, fs), time_index(R, fs), [&](double x) { sum += x; });
    return sum / fs;
}

double calibration_mean(const tchannel& ch, double t1, double t2) {
    const double fs = ch.sampfreq;
    if (!(fs > 0) || !fits(t1, fs) || !fits(t2, fs)) return std::nan("");
    long long a = time_index(t1, fs), b = time_index(t2, fs);
    if (b < a) std::swap(a, b);
    double sum = 0;
    each_shifted(ch, a, b, [&](double x) { sum += x; });
    return sum / static_cast<double>(b - a + 1);
}

std::vector<int> calibration_targets(const tdocument& doc, int channo, bool companion) {
    std::vector<int> r;
    if (channo < 0) {
        for (int i = 0; i < doc.totnchans(); ++i) r.push_back(i);
        return r;
    }
    if (channo >= doc.totnchans()) return r;
    r.push_back(channo);
    const int partner = doc.channel(channo).stereochanno;
    if (companion && partner >= 0 && partner < doc.totnchans() && partner != channo)
        r.push_back(partner);
    return r;
}

tcalibresult calibrate_channels(tdocument& doc, const std::vector<int>& chans,
                                const tcalibration& p, double L, double R) {
    tcalibresult result;
    if (R < L) std::swap(L, R);
    for (int c : chans) {
        if (c < 0 || c >= doc.totnchans()) continue;
        tchannel& ch = doc.channel(c);
        tcalibmap m;
        if (!channel_map(ch, p, L, R, m)) {
            result.failed.push_back(c);
            continue;
        }
        const auto n = static_cast<std::size_t>(ch.sample_count());
        // Samples a 32-bit float cannot hold would be lost: refuse before changing any.
        bool fits32 = true;
        ch.for_each_chunk(0, ch.sample_count(), [&](const float* x, std::size_t k, std::int64_t) {
            for (std::size_t i = 0; i < k && fits32; ++i)
                fits32 = !(std::fabs(m.a * static_cast<double>(x[i]) + m.b) >
                           std::numeric_limits<float>::max());
        });
        if (!fits32) {
            result.failed.push_back(c);
            continue;
        }
        doc.samples_changing(ch, 0, n);  // the undo history keeps the raw samples
        // a·x + b one buffer at a time; the writes mark the drawing cache.
        constexpr std::size_t piece = 1 << 16;
        std::vector<float> buf(std::min(n, piece));
        for (std::size_t from = 0; from < n; from += piece) {
            const std::size_t k = std::min(piece, n - from);
            ch.read_samples(static_cast<std::int64_t>(from), k, buf.data());
            for (std::size_t i = 0; i < k; ++i)
                buf[i] = static_cast<float>(m.a * static_cast<double>(buf[i]) + m.b);
            ch.write_samples(static_cast<std::int64_t>(from), buf.data(), k);
        }
        ch.set_fsd(m.fsd);
        ch.needsdither = true;
        ch.dbreference = p.mode == tcalibmode::level ? p.reference : 0;
        ch.set_yunit(trimmed(p.unit));
        doc.theglobal.channel_changed(tchannelchange::samples(c, 0, static_cast<long long>(n)));
        doc.theglobal.channel_changed(tchannelchange::properties(c));
        if (p.addlabels) {
            add_labels(ch, p, L, R, doc.prefs.nSignificantDigits);
            doc.theglobal.channel_changed(tchannelchange::labels(c));
        }
        result.calibrated.push_back(c);
    }
    if (!result.calibrated.empty()) {
        doc.measurementdirty = true;
        doc.set_modified(true);
        doc.theglobal.invalidate_paintboxes(true);
    }
    return result;
}

tcalibresult calibrate_and_warn(tdocument& doc, tprompter& prompter, const std::vector<int>& chans,
                                const tcalibration& p, double L, double R) {
    tcalibresult r = calibrate_channels(doc, chans, p, L, R);
    for (int c : r.failed) prompter.warn(calibration_failure_text(c), calibration_caption);
    return r;
}

bool reset_calibration_marks(tchannel& ch) {
    if (!(ch.sampfreq > 0)) return false;
    const double t0 = static_cast<double>(ch.xshift) / ch.sampfreq;
    const double span = ch.duration();
    const double t1 = t0 + span;
    static constexpr double defaults[] = {0.1, 0.3, 0.6, 0.8};
    auto inside = [&](double t) { return std::isfinite(t) && t >= t0 && t <= t1; };
    bool moved = false;
    // A pair at one place (never placed yet) has no stretch to average.
    for (int i : {3, 5}) {
        if (inside(ch.cursors[i]) && inside(ch.cursors[i + 1]) && ch.cursors[i] != ch.cursors[i + 1])
            continue;
        ch.cursors[i] = t0 + defaults[i - 3] * span;
        ch.cursors[i + 1] = t0 + defaults[i - 2] * span;
        moved = true;
    }
    return moved;
}

std::string bracketed_unit(const std::string& unit) {
    const std::string u = trimmed(unit);
    return u.empty() ? "" : "[" + u + "]";
}

std::string calibration_value_caption(tcalibmode mode, tcalibweighting w, const std::string& unit) {
    switch (mode) {
        case tcalibmode::level: return "Level of selection [" + level_unit(w) + "]";
        case tcalibmode::rms: return "RMS amplitude of selection " + bracketed_unit(unit);
        case tcalibmode::two: return "Average value between green cursors " + bracketed_unit(unit);
        case tcalibmode::integral:
            return "Integral of selection [" + unit_product(trimmed(unit), "s") + "]";
    }
    return "";
}

std::string calibration_value2_caption(tcalibmode mode, const std::string& unit) {
    if (mode == tcalibmode::level) return "Reference " + bracketed_unit(unit);
    if (mode == tcalibmode::two) return "Average value between purple cursors " + bracketed_unit(unit);
    return "";
}

std::vector<std::string> calibration_mode_items(const std::string& unit) {
    return {"Level [dB]", "RMS amplitude " + bracketed_unit(unit),
            "Two amplitudes " + bracketed_unit(unit), "Integral"};
}

}  // namespace tessal
