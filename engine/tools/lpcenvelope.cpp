#include "engine/tools/lpcenvelope.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "engine/dsp/fftwindows.h"
#include "engine/dsp/numformat.h"

namespace tessal {

namespace {

double median(std::vector<double> v) {
    v.erase(std::remove_if(v.begin(), v.end(), [](double x) { return std::isnan(x); }), v.end());
    if (v.empty()) return std::numeric_limits<double>::quiet_NaN();
    const std::size_t h = v.size() / 2;
    std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(h), v.end());
    double m = v[h];
    if (v.size() % 2 == 0) m = 0.5 * (m + *std::max_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(h)));
    return m;
}

}  // namespace

double tlpcenvelope::level_db(double f) const {
    if (models.empty()) return -400;
    double power = 0;
    for (const tformantmodel& m : models) {
        const double db = formant_model_db(m, f);
        if (db <= -400) return -400;
        power += std::pow(10.0, db / 10);
    }
    return 10 * std::log10(power / static_cast<double>(models.size())) + offset;
}

double tlpcenvelope::top() const { return models.empty() ? 0.0 : models.front().fs / 2; }

tlpcenvelope lpc_envelope(const tsampleview& v, double t1, double t2, const tformantsettings& s,
                          const tspectrumsettings& spectrum, std::size_t maxframes) {
    tlpcenvelope e;
    const double fs = v.fs();
    const long long W = spectrum_frame_length(spectrum, fs);
    if (!(fs > 0) || W < 2 || !formant_settings_fault(s).empty() || maxframes == 0) return e;
    double sumw2 = 0;
    for (long long i = 0; i < W; ++i) {
        const double w = fft_window_value(spectrum.fftwin, static_cast<std::size_t>(i), static_cast<std::size_t>(W));
        sumw2 += w * w;
    }
    e.offset = 10 * std::log10(2 * sumw2 / (static_cast<double>(W) * static_cast<double>(W)));
    if (t2 < t1) std::swap(t1, t2);
    std::vector<double> times;
    if (t2 - t1 < s.step) {
        times.push_back(0.5 * (t1 + t2));
    } else {
        const std::size_t count = std::min<std::size_t>(maxframes, static_cast<std::size_t>((t2 - t1) / s.step) + 1);
        for (std::size_t k = 0; k < count; ++k)
            times.push_back(count == 1 ? t1 : t1 + (t2 - t1) * static_cast<double>(k) / static_cast<double>(count - 1));
    }
    // Each frame from its own samples, a window's length either side of
    // its span, so a long span costs no more than its frames.
    const double margin = 2 * s.window;
    std::vector<float> x;
    std::vector<tformantframe> frames;
    for (double t : times) {
        const long long first = static_cast<long long>(std::floor((t - margin) * fs));
        const long long last = static_cast<long long>(std::ceil((t + margin) * fs));
        x.resize(static_cast<std::size_t>(last - first + 1));
        v.read(first, static_cast<long long>(x.size()), x.data());
        const tformantsignal sig = formant_signal(x.data(), x.size(), fs, s);
        e.models.push_back(formant_model_at(sig, t - static_cast<double>(first) / fs, s));
        frames.push_back(e.models.back().frame);
    }
    const tformanttracks tr = track_formants(frames, s);
    for (int i = 0; i < tr.n; ++i) {
        std::vector<double> fv, bv;
        for (std::size_t k = 0; k < tr.frames(); ++k) fv.push_back(tr.F(k, i)), bv.push_back(tr.B(k, i));
        e.f.push_back(median(fv));
        e.b.push_back(median(bv));
    }
    return e;
}

std::string lpc_formants_text(const tlpcenvelope& e) {
    std::string s;
    for (std::size_t i = 0; i < e.f.size(); ++i) {
        if (std::isnan(e.f[i])) continue;
        s += (s.empty() ? "F" : " F") + std::to_string(i + 1) + "=" + std::to_string(std::lround(e.f[i]));
    }
    return s.empty() ? "no formants" : s + " Hz";
}

tlpclog lpc_formants_log(const tlpcenvelope& e, bool ltas, double t1, double t2, const tpreferences& prefs) {
    tlpclog log;
    auto secs = [&](double t) { return format_float_pattern(prefs.SecondsFormat, t); };
    if (ltas) {
        log.heading = "t1 [s]\tt2 [s]";
        log.line = secs(t1) + "\t" + secs(t2) + "\t";
    } else {
        log.heading = "t [s]";
        log.line = secs(t1) + "\t";
    }
    for (std::size_t i = 0; i < e.f.size(); ++i) {
        const std::string n = std::to_string(i + 1);
        log.heading += "\tF" + n + " [Hz]\tB" + n + " [Hz]";
        for (double v : {e.f[i], e.b[i]}) log.line += (std::isnan(v) ? std::string("--") : format_significant(prefs.nSignificantDigits, v)) + "\t";
    }
    return log;
}

}  // namespace tessal
