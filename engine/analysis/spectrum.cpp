#include "engine/analysis/spectrum.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <cctype>
#include <cmath>
#include <limits>
#include <numbers>

#include "engine/core/tchannel.h"
#include "engine/dsp/notes.h"
#include "engine/dsp/numeric.h"
#include "engine/dsp/numformat.h"

namespace tessal {

namespace {

constexpr const char* window_names[] = {"rectangular", "Bartlett", "Hamming", "Hanning",
                                        "Blackman"};
constexpr double window_factors[] = {1, 2, 2, 2, 4};

int window_index(TFFTWindow w) {
    const int i = static_cast<int>(w);
    return i >= 0 && i < 5 ? i : 4;
}

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

long long round_index(double v) {
    if (!(std::fabs(v) < 9e18)) return 0;
    return static_cast<long long>(std::llround(v));
}

std::string sig(const tpreferences& p, double v) { return format_significant(p.nSignificantDigits, v); }
std::string db(const tpreferences& p, double v) { return format_float_pattern(p.dBFormat, v); }
std::string secs(const tpreferences& p, double v) { return format_float_pattern(p.SecondsFormat, v); }

}  // namespace

const char* spectrum_window_name(TFFTWindow w) { return window_names[window_index(w)]; }
double spectrum_window_factor(TFFTWindow w) { return window_factors[window_index(w)]; }

bool spectrum_window_from_name(const std::string& name, TFFTWindow& w) {
    const std::string n = lower(name);
    for (int i = 0; i < 5; ++i)
        if (n == lower(window_names[i])) {
            w = static_cast<TFFTWindow>(i);
            return true;
        }
    if (n == "rectangle") w = TFFTWindow::rectangle;
    else if (n == "hann") w = TFFTWindow::Hanning;
    else return false;
    return true;
}

long long spectrum_frame_length(const tspectrumsettings& s, double fs) {
    if (!(s.bw > 0) || !(fs > 0)) return 0;
    const double n = std::round(s.fwinlength() * fs);
    if (!(n <= static_cast<double>(TFFT::max_size))) return 0;
    return std::max(2LL, static_cast<long long>(n));
}

long long spectrum_frame_start(long long p, long long N, int winpos) {
    const long long offset = winpos == 0 ? 0 : winpos == 2 ? N : N / 2;
    return p - offset;
}

tsampleview::tsampleview(const tchannel& ch)
    : fchannel(&ch), fsize(ch.sample_count()), fxshift(ch.xshift), ffs(ch.sampfreq) {}

void tsampleview::read(long long start, long long N, float* out) const {
    if (N <= 0) return;
    // The stretch inside the source is read in one piece, the rest is zero.
    const long long a = std::clamp(start - fxshift, 0LL, fsize);
    const long long b = std::clamp(start + N - fxshift, a, fsize);
    const long long lead = std::clamp(a - (start - fxshift), 0LL, N);
    std::fill(out, out + lead, 0.0f);
    if (b > a) {
        if (fchannel)
            fchannel->read_samples(a, static_cast<std::size_t>(b - a), out + lead);
        else if (fstore)
            fstore->read(a, static_cast<std::size_t>(b - a), out + lead);
        else
            std::copy(fdata + a, fdata + b, out + lead);
    }
    std::fill(out + lead + (b - a), out + N, 0.0f);
}

tsampleview sample_view(const tchannel& ch) { return tsampleview(ch); }

tsamplecopy copy_samples(const tchannel& ch, long long first, long long last) {
    tsamplecopy c;
    c.fs = ch.sampfreq;
    const long long size = ch.sample_count();
    const long long a = std::clamp(first - ch.xshift, 0LL, size);
    const long long b = std::clamp(last - ch.xshift, a, size);
    c.data = ch.samples_slice(a, b);
    c.xshift = ch.xshift + a;
    return c;
}

double spectrum_level(const tspectrum& s, long long k, double R) {
    if (s.M == 0 || s.mag.empty()) return -std::numeric_limits<double>::infinity();
    const long long M = static_cast<long long>(s.M);
    k %= M;
    if (k < 0) k += M;
    if (k > M / 2) k = M - k;
    const double m = s.mag[static_cast<std::size_t>(k)];
    return 20 * std::log10(m) - R;
}

double level_reference(int relativeto, double fsd, double dbreference) {
    switch (relativeto) {
        case 1: return 20 * std::log10(fsd);
        case 2: return 20 * std::log10(dbreference);
        default: return 0;
    }
}

// ---------------------------------------------------------------- frames

bool tspectrumworkspace::prepare(const tsampleview& v, const tspectrumsettings& s, long long& N) {
    N = spectrum_frame_length(s, v.fs());
    if (N < 2) return false;
    if (fft.GetWindow() != s.fftwin) fft.SetWindow(s.fftwin);
    if (fft.Getremovedc() != s.removedc) fft.Setremovedc(s.removedc);
    if (static_cast<long long>(fft.GetWindowSize()) != N) {
        fft.SetFFTSize(4);
        fft.SetWindowSize(N);
    }
    return true;
}

void tspectrumworkspace::fill(const tsampleview& v, long long start, long long N) {
    in.resize(static_cast<std::size_t>(N));
    window.resize(static_cast<std::size_t>(N));
    v.read(start, N, window.data());
    double* x = in.data();
    const float* w = window.data();
    for (long long i = 0; i < N; ++i) x[i] = w[i] * std::numbers::sqrt2;
    fft.SwapInRe(in);
}

void tspectrumworkspace::frame(const tsampleview& v, const tspectrumsettings& s, double t,
                               tspectrum& out) {
    out.ltas = false;
    out.fs = v.fs();
    out.t1 = out.t2 = t;
    out.frames = 0;
    long long N = 0;
    if (!prepare(v, s, N)) {
        out.M = 0;
        out.mag.clear();
        return;
    }
    fill(v, spectrum_frame_start(round_index(t * v.fs()), N, s.winpos), N);
    const tdoublearr& a2 = fft.GetOutAbs2();
    const std::size_t M = fft.GetFFTSize();
    out.M = M;
    out.mag.resize(M / 2 + 1);
    for (std::size_t k = 0; k <= M / 2; ++k) out.mag[k] = std::sqrt(a2[k]);
    out.frames = 1;
}

bool tspectrumworkspace::ltas(const tsampleview& v, const tspectrumsettings& s, double t1,
                              double t2, tspectrum& out, const std::atomic<bool>* cancel,
                              const std::function<void(double)>& progress,
                              const std::atomic<long long>* available) {
    out.ltas = true;
    out.fs = v.fs();
    out.t1 = t1;
    out.t2 = t2;
    out.frames = 0;
    long long N = 0;
    if (!prepare(v, s, N)) {
        out.M = 0;
        out.mag.clear();
        return true;
    }
    const std::size_t M = fft.GetFFTSize();
    out.M = M;
    out.mag.assign(M / 2 + 1, 0.0);
    const long long p1 = round_index(t1 * v.fs()), p2 = round_index(t2 * v.fs());
    const long long hop = std::max(1LL, N / 2);
    const double total = p2 > p1 ? static_cast<double>(p2 - p1) : 1.0;
    long long p = p1, frames = 0;
    double* acc = out.mag.data();
    do {
        // Every 16 frames: how far it got, then whether to stop (which a
        // progress callback may have decided).
        if (progress && (frames & 15) == 0) progress(static_cast<double>(p - p1) / total);
        if (cancel && (frames & 15) == 0 && cancel->load(std::memory_order_relaxed)) return false;
        const long long start = spectrum_frame_start(p, N, s.winpos);
        // Frames wholly before or after the samples add nothing but their
        // count: a channel shifted far from time 0 is not walked over.
        if (start + N <= v.xshift() || start >= v.xshift() + v.size()) {
            long long skip = start >= v.xshift() + v.size() ? std::numeric_limits<long long>::max()
                                                        : (v.xshift() - start - N) / hop + 1;
            skip = p < p2 ? std::min(skip, (p2 - p + hop - 1) / hop) : 1;
            frames += skip;
            p += skip * hop;
            continue;
        }
        if (available) {
            const long long need = std::clamp(start + N - v.xshift(), 0LL, v.size());
            while (available->load(std::memory_order_acquire) < need) {
                if (cancel && cancel->load(std::memory_order_relaxed)) return false;
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
        }
        fill(v, start, N);
        // The half spectrum's power straight from the outputs: GetOutAbs2
        // would square the mirrored half too.
        const double* re = fft.GetOutRe().data();
        const double* im = fft.GetOutIm().data();
        for (std::size_t k = 0; k <= M / 2; ++k) acc[k] += re[k] * re[k] + im[k] * im[k];
        ++frames;
        p += hop;
    } while (p < p2);
    for (std::size_t k = 0; k <= M / 2; ++k) acc[k] = std::sqrt(acc[k] / static_cast<double>(frames));
    out.frames = frames;
    if (progress) progress(1.0);
    return true;
}

// ---------------------------------------------------------------- frame fslots

const tspectrum& tspectrumframes::frame(const tchannel& ch, int chno, const tspectrumsettings& s,
                                        double t, bool* computed) {
    if (chno < 0) chno = 0;
    if (fslots.size() <= static_cast<std::size_t>(chno)) fslots.resize(static_cast<std::size_t>(chno) + 1);
    tslot& slot = fslots[static_cast<std::size_t>(chno)];
    if (slot.valid && slot.t == t && slot.fs == ch.sampfreq && slot.settings == s) {
        if (computed) *computed = false;
        return slot.result;
    }
    slot.ws.frame(sample_view(ch), s, t, slot.result);
    const long long N = spectrum_frame_length(s, ch.sampfreq);
    const long long start = spectrum_frame_start(round_index(t * ch.sampfreq), N, s.winpos);
    slot.first = start - ch.xshift;
    slot.last = slot.first + N;
    slot.valid = true;
    slot.t = t;
    slot.fs = ch.sampfreq;
    slot.settings = s;
    if (computed) *computed = true;
    return slot.result;
}

void tspectrumframes::clear() {
    for (tslot& s : fslots) s.valid = false;
}

void tspectrumframes::channel_changed(const tchannelchange& change) {
    for (std::size_t i = 0; i < fslots.size(); ++i)
        if (fslots[i].valid && change.touches(static_cast<int>(i), fslots[i].first, fslots[i].last))
            fslots[i].valid = false;
}

double spectral_centroid(const tspectrum& s) {
    if (s.M < 2) return 0;
    double num = 0, den = 0;
    for (std::size_t k = 0; k < s.M / 2; ++k) {
        num += static_cast<double>(k) * s.mag[k];
        den += s.mag[k];
    }
    return den > 0 ? num / den * s.fs / static_cast<double>(s.M) : 0;
}

void ltas_span(const tchannel& ch, int mode, double sel_left, double sel_right, double& t1,
               double& t2) {
    if (mode == 2) {
        t1 = std::min(ch.cursors[1], ch.cursors[2]);
        t2 = std::max(ch.cursors[1], ch.cursors[2]);
    } else {
        t1 = sel_left;
        t2 = sel_right;
    }
}

void ltas_sample_range(const tspectrumsettings& s, double fs, double t1, double t2,
                       long long& first, long long& last) {
    const long long N = spectrum_frame_length(s, fs);
    const long long p1 = round_index(t1 * fs), p2 = round_index(t2 * fs);
    const long long hop = std::max(1LL, N / 2);
    const long long nframes = p2 > p1 ? (p2 - p1 + hop - 1) / hop : 1;
    first = spectrum_frame_start(p1, N, s.winpos);
    last = spectrum_frame_start(p1 + (nframes - 1) * hop, N, s.winpos) + N;
}

tanalysiskey ltas_key(const tchannel& ch, int chno, const tspectrumsettings& s, double t1,
                      double t2) {
    long long first = 0, last = 0;
    ltas_sample_range(s, ch.sampfreq, t1, t2, first, last);
    return {chno, first - ch.xshift, last - ch.xshift,
            {s.bw, static_cast<double>(s.fftwin), static_cast<double>(s.winpos),
             s.removedc ? 1.0 : 0.0, t1, t2, ch.sampfreq}};
}

// ---------------------------------------------------------------- FCP, bands

ttrend compute_fcp(const tspectrum& ltas, const tfcpsettings& f) {
    ttrend invalid;
    if (ltas.M == 0 || !(ltas.fs > 0)) return invalid;
    const double M = static_cast<double>(ltas.M), fs = ltas.fs;
    const long long a = round_index(M * f.lotrendlinef / fs);
    const long long b = round_index(M * f.hitrendlinef / fs);
    const long long p = round_index(M * f.lofcpf / fs) - a;
    const long long q = round_index(M * f.hifcpf / fs) - a;
    const long long Mi = static_cast<long long>(ltas.M);
    // The FCP range must lie inside the trend line's bins.
    if (!(a >= 0 && b <= (Mi - 1) / 2 && b >= a && 0 <= p && p <= q && q <= Mi - 1 && q <= b - a))
        return invalid;
    if (!(f.lotrendlinef > 0)) return invalid;
    const std::size_t n = static_cast<std::size_t>(b - a + 1);
    tsinglearr x(n), y(n);
    for (std::size_t i = 0; i < n; ++i) {
        const double fi = static_cast<double>(a + static_cast<long long>(i)) * fs / M;
        x[i] = static_cast<float>(std::log2(fi / f.lotrendlinef));
        y[i] = static_cast<float>(20 * std::log10(ltas.mag[static_cast<std::size_t>(a) + i]));
    }
    ttrend t;
    t.slope = regression_slope(x, y);
    const double intercept = regression_intercept(x, y);
    t.lofreq = f.lotrendlinef;
    t.hifreq = f.hitrendlinef;
    t.lolevel = intercept;
    t.hilevel = t.slope * std::log2(f.hitrendlinef / f.lotrendlinef) + intercept;
    double best = -1e10;
    long long ibest = p;
    for (long long i = p; i <= q; ++i) {
        const double d = y[static_cast<std::size_t>(i)] - (t.slope * x[static_cast<std::size_t>(i)] + intercept);
        if (d > best) {
            best = d;
            ibest = i;
        }
    }
    t.fcp = best;
    t.fcpfreq = static_cast<double>(a + ibest) * fs / M;
    t.fcplevel = y[static_cast<std::size_t>(ibest)];
    t.valid = std::isfinite(t.fcp) && std::isfinite(t.slope) && std::isfinite(intercept) &&
              std::isfinite(t.fcplevel);
    if (!t.valid) {
        const double nan = std::numeric_limits<double>::quiet_NaN();
        t.fcp = t.fcpfreq = t.fcplevel = t.slope = t.lolevel = t.hilevel = nan;
    }
    return t;
}

std::vector<tfreqband> default_freqbands() {
    return {{0, 2000, true}, {2000, 5000, true}, {5000, 8000, true}};
}

tfreqbanddata band_level(const tspectrum& ltas, double lo, double hi) {
    tfreqbanddata d{std::numeric_limits<double>::quiet_NaN(), false};
    if (ltas.M == 0 || !(ltas.fs > 0)) return d;
    const double M = static_cast<double>(ltas.M);
    const long long k1 = round_index(M * lo / ltas.fs), k2 = round_index(M * hi / ltas.fs);
    if (!(k1 >= 0 && k2 <= (static_cast<long long>(ltas.M) - 1) / 2 && k2 >= k1)) return d;
    double sum = 0;
    for (long long k = k1; k <= k2; ++k) {
        const double m = ltas.mag[static_cast<std::size_t>(k)];
        sum += m * m;
    }
    d.level = 20 * std::log10(std::sqrt(sum / static_cast<double>(k2 - k1 + 1)));
    d.valid = true;
    return d;
}

// ---------------------------------------------------------------- cursor

namespace {
// Snapping reads a zero bin as the FFT's floor of -3250 dB, so the
// interpolations stay finite.
double snap_level(const tspectrum& s, long long k, double R) {
    const double L = spectrum_level(s, k, R);
    return std::isinf(L) && L < 0 ? -3250 - R : L;
}
}  // namespace

tsnapresult snap_to_curve(const tspectrum& s, double f, double R) {
    if (s.M == 0) return {f, 0};
    f = std::clamp(f, 0.0, s.fs / 2);
    const double D = static_cast<double>(s.M) * f / s.fs;
    const long long k = static_cast<long long>(D);
    const double t = D - static_cast<double>(k);
    auto L = [&](long long j) { return snap_level(s, j, R); };
    if (k <= 1) return {f, L(k) + t * (L(k + 1) - L(k))};
    const double lm = L(k - 1), l0 = L(k), l1 = L(k + 1), l2 = L(k + 2);
    const double a1 = l1 - lm / 3 - l0 / 2 - l2 / 6;
    const double a2 = lm / 2 - l0 + l1 / 2;
    const double a3 = l2 / 6 + l0 / 2 - lm / 6 - l1 / 2;
    return {f, l0 + t * a1 + t * t * a2 + t * t * t * a3};
}

tsnapresult snap_to_peak(const tspectrum& s, double f, double R) {
    if (s.M == 0) return {f, 0};
    f = std::clamp(f, 0.0, s.fs / 2);
    const long long last = static_cast<long long>(s.M / 2);  // the Nyquist bin
    auto L = [&](long long j) { return snap_level(s, j, R); };
    long long a = std::clamp(round_index(static_cast<double>(s.M) * f / s.fs), 0LL, last);
    while (a < last - 1 && L(a + 1) > L(a)) ++a;
    while (a > 1 && L(a - 1) > L(a)) --a;
    if (a <= 1) {
        if (a == 1 && L(0) > L(1)) a = 0;
        return {s.bin_freq(static_cast<double>(a)), L(a)};
    }
    const double h = L(a - 1), m0 = L(a), g = L(a + 1);
    const double den = 2 * (g + h - 2 * m0);
    const double delta = den != 0 && std::isfinite(den) ? (h - g) / den : 0.0;
    return {s.bin_freq(static_cast<double>(a) + delta),
            m0 + delta * (g - h) / 2 + delta * delta * ((g + h) / 2 - m0)};
}

tspectrumf0 spectrum_f0(const tspectrum& s) {
    tspectrumf0 r;
    if (s.M < 4 || !(s.fs > 0)) return r;
    const double M = static_cast<double>(s.M);
    const long long last = static_cast<long long>(s.M / 2);
    auto power = [&](long long k) {
        const double m = s.mag[static_cast<std::size_t>(std::clamp(k, 0LL, last))];
        return m * m;
    };
    const long long lo = std::max(1LL, static_cast<long long>(std::ceil(50 * M / s.fs)));
    const long long hi = std::min(last, static_cast<long long>(2000 * M / s.fs));
    long long peak = -1;
    for (long long k = lo; k <= hi; ++k)
        if (peak < 0 || power(k) > power(peak)) peak = k;
    if (peak < 0 || !(power(peak) > 0)) return r;
    r.peakfreq = s.bin_freq(static_cast<double>(peak));
    double best = -1;
    for (int i = 1; i <= 20; ++i) {
        const double f0 = r.peakfreq / i;
        if (!(f0 > 50)) break;
        double score = 0;
        for (int v = 1; v <= i && v * f0 < 2000; ++v)
            score += power(std::llround(v * static_cast<double>(peak) / i));
        if (score > best && power(std::llround(static_cast<double>(peak) / i)) > power(peak) / 1000) {
            best = score;
            r.f0 = f0;
            r.harmonics = i;
            r.valid = true;
        }
    }
    return r;
}

// ---------------------------------------------------------------- logs

tspectrumlog spectrum_log(const tspectrum& s, double R, const tpreferences& prefs) {
    tspectrumlog log;
    log.heading = "f [Hz]\tLevel [dB]\t";
    if (s.M < 4) return log;
    log.lines.reserve(s.M / 2);
    for (std::size_t k = 1; k < s.M / 2; ++k) {
        const double m = s.mag[k];
        const double level = m > 0 ? 20 * std::log10(m) - R : -1e100 - R;
        log.lines.push_back(sig(prefs, s.bin_freq(static_cast<double>(k))) + "\t" + db(prefs, level) +
                            "\t");
    }
    return log;
}

tspectrumlog cursor_log(bool ltas, double t, double t1, double t2, double f, double level,
                        const tpreferences& prefs) {
    tspectrumlog log;
    std::string line;
    if (ltas) {
        log.heading = "t1 [s]\tt2 [s]\tf [Hz]\tNote\tLevel [dB]";
        line = secs(prefs, t1) + "\t" + secs(prefs, t2) + "\t";
    } else {
        log.heading = "t [s]\tf [Hz]\tNote\tLevel [dB]";
        line = secs(prefs, t) + "\t";
    }
    line += sig(prefs, f) + "\t" + freq_to_notename(f, true) + "\t" + db(prefs, level) + "\t";
    log.lines.push_back(line);
    return log;
}

std::string band_text(const tfreqband& b, const char* sep) {
    return float_to_text(b.lo) + sep + float_to_text(b.hi);
}

tspectrumlog measurement_log(const std::vector<tspectrummeas>& chans, bool showfcp,
                             bool showbands, double t1, double t2, const tpreferences& prefs) {
    std::vector<std::string> heads, values;
    for (const tspectrummeas& m : chans) {
        if (showfcp && m.trend.valid) {
            heads.insert(heads.end(), {"FCP [dB]", "FCP f [Hz]", "Slope [dB/oct]"});
            values.insert(values.end(), {db(prefs, m.trend.fcp), sig(prefs, m.trend.fcpfreq),
                                         sig(prefs, m.trend.slope)});
        }
        if (showbands)
            for (std::size_t i = 0; i < m.bands.size() && i < m.banddata.size(); ++i) {
                if (!m.banddata[i].valid) continue;
                heads.push_back(band_text(m.bands[i]) + " Hz [dB]");
                values.push_back(db(prefs, m.banddata[i].level));
            }
        heads.insert(heads.end(), {"Channel", "From [s]", "To [s]", "File name"});
        values.insert(values.end(),
                      {std::to_string(m.chno), secs(prefs, t1), secs(prefs, t2), m.filename});
    }
    tspectrumlog log;
    std::string line;
    for (std::size_t i = 0; i < heads.size(); ++i) {
        if (i) {
            log.heading += "\t";
            line += "\t";
        }
        log.heading += heads[i];
        line += values[i];
    }
    log.lines.push_back(line);
    return log;
}

std::vector<tentity> spectrum_label_entities(const tspectrummeas& m, bool showfcp, bool showbands) {
    std::vector<tentity> e;
    if (showfcp && m.trend.valid) {
        e.push_back({"FCP", m.trend.fcp, "dB"});
        e.push_back({"FCP f", m.trend.fcpfreq, "Hz"});
        e.push_back({"Slope", m.trend.slope, "dB/oct"});
    }
    if (showbands)
        for (std::size_t i = 0; i < m.bands.size() && i < m.banddata.size(); ++i)
            if (m.bands[i].checked && m.banddata[i].valid)
                e.push_back({band_text(m.bands[i]) + " Hz", m.banddata[i].level, "dB"});
    return e;
}

}  // namespace tessal
