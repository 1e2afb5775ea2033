#include "engine/analysis/spectrogram.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <numbers>
#include <string>
#include <thread>

#include "engine/dsp/notes.h"
#include "engine/dsp/numformat.h"

namespace tessal {

namespace {

long long round_index(double v) {
    if (!(std::fabs(v) < 9e18)) return 0;
    return static_cast<long long>(std::llround(v));
}

int to_byte(double x) { return static_cast<int>(std::lround(std::clamp(x, 0.0, 1.0) * 255.0)); }

std::uint32_t rgb(int r, int g, int b) {
    return 0xFF000000u | (static_cast<std::uint32_t>(r) << 16) |
           (static_cast<std::uint32_t>(g) << 8) | static_cast<std::uint32_t>(b);
}

constexpr const char* colormode_names[] = {"Grayscale", "Inverted grayscale", "Color scale",
                                           "Inverted color scale", "Channel color"};

}  // namespace

long long spectrogram_frame_length(const tspectrogramsettings& s, double fs) {
    if (!(s.bw > 0) || !(fs > 0)) return 0;
    const double n = std::round(s.fwinlength() * fs);
    if (!(n <= static_cast<double>(spectrogram_max_frame))) return 0;
    return std::max(16LL, static_cast<long long>(n));
}

void tspectrogramworkspace::column(const tsampleview& v, const tspectrogramsettings& s, double t,
                                   const double* rowfreq, int nrows, float* out) {
    const long long N = spectrogram_frame_length(s, v.fs());
    if (N < 16) {
        std::fill(out, out + nrows, spectrogram_above_nyquist);
        return;
    }
    if (fft.GetWindow() != s.fftwin) fft.SetWindow(s.fftwin);
    in.resize(static_cast<std::size_t>(N));
    const long long start = round_index(t * v.fs()) - N / 2;
    window.resize(static_cast<std::size_t>(N));
    v.read(start, N, window.data());
    double* x = in.data();
    const float* w = window.data();
    for (long long i = 0; i < N; ++i) x[i] = w[i] * std::numbers::sqrt2;
    fft.SwapInRe(in);
    const double* re = fft.GetOutRe().data();
    const double* im = fft.GetOutIm().data();
    const long long M = static_cast<long long>(fft.GetFFTSize());
    // The levels as TFFT::GetOutdB gives them, for bins 0..done only.
    db.resize(static_cast<std::size_t>(M / 2 + 1));
    double* D = db.data();
    long long done = -1;
    auto upto = [&](long long k) {
        for (; done < k; ++done) {
            const long long j = done + 1;
            const double p = re[j] * re[j] + im[j] * im[j];
            if (p == 0.0) {
                D[j] = -3250.0;
            } else {
                const double level = 10.0 * std::log10(p);
                D[j] = std::isfinite(level) ? level : 0.0;
            }
        }
    };
    const double nyq = v.fs() / 2;
    long long kprev = 0;
    for (int y = 0; y < nrows; ++y) {
        const double f = rowfreq[y];
        if (!(f < nyq)) {
            out[y] = spectrogram_above_nyquist;
            kprev = M / 2;
            continue;
        }
        const double P = std::max(0.0, f / v.fs() * static_cast<double>(M));
        const long long k = std::min(static_cast<long long>(P), M / 2 - 1);
        double level;
        if (k - kprev < 2) {
            upto(k + 1);
            level = D[k] + (P - static_cast<double>(k)) * (D[k + 1] - D[k]);
        } else {
            upto(k);
            level = -100000;
            for (long long j = kprev; j <= k; ++j) level = std::max(level, D[j]);
        }
        out[y] = static_cast<float>(level);
        kprev = k;
    }
}

void spectrogram_columns(tspectrogramworkspace& ws, const tsampleview& v,
                         const tspectrogramsettings& s, const std::vector<double>& times,
                         const std::vector<double>& rowfreq, int x0, int x1,
                         tspectrogramstrip& strip) {
    const int h = static_cast<int>(rowfreq.size());
    for (int x = std::max(0, x0); x < x1 && x < static_cast<int>(times.size()); ++x)
        ws.column(v, s, times[static_cast<std::size_t>(x)], rowfreq.data(), h,
                  strip.levels.data() + static_cast<std::size_t>(x) * static_cast<std::size_t>(h));
}

namespace {

// Runs do_group(workspace, g) for the groups g = 0 .. ngroups-1, shared out
// over `threads` threads (this one among them), each with its own
// workspace; no group starts once `cancel` (may be null) is set. False when
// cancelled.
template <class F>
bool share_groups(int ngroups, int threads, const std::atomic<bool>* cancel, F do_group,
                  const std::function<void(double)>& progress = {}) {
    auto cancelled = [cancel] { return cancel && cancel->load(std::memory_order_relaxed); };
    std::atomic<int> next{0};
    std::atomic<int> done{0};
    auto work = [&] {
        tspectrogramworkspace ws;
        for (;;) {
            if (cancelled()) return;
            const int g = next.fetch_add(1);
            if (g >= ngroups) return;
            do_group(ws, g);
            const int d = done.fetch_add(1) + 1;
            if (progress) progress(static_cast<double>(d) / ngroups);
        }
    };
    std::vector<std::thread> pool;
    for (int i = 1; i < threads; ++i) pool.emplace_back(work);
    work();
    for (std::thread& t : pool) t.join();
    return !cancelled();
}

}  // namespace

bool compute_spectrogram(const tsampleview& v, const tspectrogramsettings& s,
                         const std::vector<double>& times, const std::vector<double>& rowfreq,
                         tspectrogramstrip& strip, int threads,
                         const std::atomic<bool>* cancel,
                         const std::function<void(double)>& progress, int group) {
    strip.width = static_cast<int>(times.size());
    strip.height = static_cast<int>(rowfreq.size());
    strip.levels.assign(static_cast<std::size_t>(strip.width) * static_cast<std::size_t>(strip.height),
                        spectrogram_above_nyquist);
    group = std::max(1, group);
    const int ngroups = (strip.width + group - 1) / group;
    auto cancelled = [cancel] { return cancel && cancel->load(std::memory_order_relaxed); };
    if (threads <= 1 || ngroups <= 1) {
        tspectrogramworkspace ws;
        for (int g = 0; g < ngroups; ++g) {
            if (cancelled()) return false;
            spectrogram_columns(ws, v, s, times, rowfreq, g * group, (g + 1) * group, strip);
            if (progress) progress(static_cast<double>(g + 1) / ngroups);
        }
        return !cancelled();
    }
    return share_groups(ngroups, threads, cancel, [&](tspectrogramworkspace& ws, int g) {
        spectrogram_columns(ws, v, s, times, rowfreq, g * group, (g + 1) * group, strip);
    });
}

tcolumnsamples copy_column_samples(const tsampleview& v, const tspectrogramsettings& s,
                                   const std::vector<double>& times) {
    tcolumnsamples c;
    c.N = spectrogram_frame_length(s, v.fs());
    c.fs = v.fs();
    c.times = times;
    if (c.N < 16) return c;
    c.starts.resize(times.size());
    c.data.resize(times.size() * static_cast<std::size_t>(c.N));
    for (std::size_t x = 0; x < times.size(); ++x) {
        const long long start = round_index(times[x] * v.fs()) - c.N / 2;
        c.starts[x] = start;
        v.read(start, c.N, c.data.data() + x * static_cast<std::size_t>(c.N));
    }
    return c;
}

bool compute_spectrogram(const tcolumnsamples& c, const tspectrogramsettings& s,
                         const std::vector<double>& rowfreq, tspectrogramstrip& strip, int threads,
                         const std::atomic<bool>* cancel, int group,
                         const std::function<void(double)>& progress) {
    strip.width = static_cast<int>(c.times.size());
    strip.height = static_cast<int>(rowfreq.size());
    const int h = strip.height;
    strip.levels.assign(static_cast<std::size_t>(strip.width) * static_cast<std::size_t>(h),
                        spectrogram_above_nyquist);
    if (c.N < 16) return true;
    group = std::max(1, group);
    const int ngroups = (strip.width + group - 1) / group;
    return share_groups(ngroups, std::min(threads, ngroups), cancel, [&](tspectrogramworkspace& ws, int g) {
        for (int x = g * group; x < std::min(strip.width, (g + 1) * group); ++x)
            ws.column(c.view(x), s, c.times[static_cast<std::size_t>(x)], rowfreq.data(), h,
                      strip.levels.data() + static_cast<std::size_t>(x) * static_cast<std::size_t>(h));
    }, progress);
}

// ---------------------------------------------------------------- picture

const char* spectrogram_colormode_name(int mode) {
    return colormode_names[std::clamp(mode, 0, 4)];
}

bool spectrogram_colormode_from_name(const std::string& name, int& mode) {
    std::string n;
    for (char c : name)
        if (c != ' ' && c != '-' && c != '_')
            n += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (std::size_t p; (p = n.find("grey")) != std::string::npos;) n.replace(p, 4, "gray");
    for (std::size_t p; (p = n.find("colour")) != std::string::npos;) n.replace(p, 6, "color");
    const char* keys[][2] = {{"grayscale", "gray"}, {"invertedgrayscale", "invertedgray"},
                             {"colorscale", "color"}, {"invertedcolorscale", "invertedcolor"},
                             {"channelcolor", "channel"}};
    for (int i = 0; i < 5; ++i)
        if (n == keys[i][0] || n == keys[i][1]) {
            mode = i;
            return true;
        }
    return false;
}

std::uint32_t hsv_to_rgb(double h, double s, double v) {
    h -= std::floor(h);
    s = std::clamp(s, 0.0, 1.0);
    v = std::clamp(v, 0.0, 1.0);
    const double h6 = h * 6;
    const int sector = std::min(5, static_cast<int>(h6));
    const double f = h6 - sector;
    const double p = v * (1 - s), q = v * (1 - s * f), t = v * (1 - s * (1 - f));
    double r = v, g = t, b = p;
    switch (sector) {
        case 0: r = v; g = t; b = p; break;
        case 1: r = q; g = v; b = p; break;
        case 2: r = p; g = v; b = t; break;
        case 3: r = p; g = q; b = v; break;
        case 4: r = t; g = p; b = v; break;
        default: r = v; g = p; b = q; break;
    }
    return rgb(to_byte(r), to_byte(g), to_byte(b));
}

std::uint32_t spectrogram_color(int mode, double v, TColor channel) {
    if (!(v > 0)) v = 0;  // NaN reads weak
    if (v > 1) v = 1;
    switch (mode) {
        case 1: {
            const int g = to_byte(v);
            return rgb(g, g, g);
        }
        case 2:
            if (v < 0.25) return hsv_to_rgb(1.0 / 6, 4 * v, 1);
            return hsv_to_rgb(1.0 / 6 + (v - 0.25) * 2 / 3, 1, 1);
        case 3:
            if (v < 1.0 / 3) return hsv_to_rgb(2.0 / 3, 1, 3 * v);
            return hsv_to_rgb(1 - v, 1, 1);
        case 4: {
            const double cr = channel & 0xFF, cg = (channel >> 8) & 0xFF, cb = (channel >> 16) & 0xFF;
            auto c = [v](double comp) {
                return static_cast<int>(std::lround(255 - v * (255 - comp)));
            };
            return rgb(c(cr), c(cg), c(cb));
        }
        default: {
            const int g = to_byte(1 - v);
            return rgb(g, g, g);
        }
    }
}

double spectrogram_tilt(double f, double tiltdb) {
    if (!(f > 0)) return -300;
    return std::log2(f / 1000) * tiltdb;
}

double spectrogram_shown_level(const tspegpicture& p, double f, double level) {
    const double v = spectrogram_tilt(f, p.tilt) + level - p.R;
    if (!(v > p.lo)) return p.lo;
    return v < p.hi ? v : p.hi;
}

void spectrogram_picture(const tspectrogramstrip& strip, const std::vector<double>& rowfreq,
                         const tspegpicture& p, std::vector<std::uint32_t>& pixels) {
    const int w = strip.width, h = strip.height;
    pixels.resize(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
    const double span = p.hi - p.lo;
    for (int y = 0; y < h; ++y) {
        const double f = y < static_cast<int>(rowfreq.size()) ? rowfreq[static_cast<std::size_t>(y)] : 0;
        const double add = spectrogram_tilt(f, p.tilt) - p.R - p.lo;
        std::uint32_t* row = pixels.data() + static_cast<std::size_t>(h - 1 - y) * static_cast<std::size_t>(w);
        for (int x = 0; x < w; ++x) {
            const double v = span != 0 ? (add + strip.at(x, y)) / span : 0;
            row[x] = spectrogram_color(p.colormode, v, p.channel);
        }
    }
}

tspeglog spectrogram_cursor_log(double t, double f, const tpreferences& p) {
    return {"t [s]\tf [Hz]\tNote", format_float_pattern(p.SecondsFormat, t) + "\t" +
                                         format_significant(p.nSignificantDigits, f) + "\t" +
                                         freq_to_notename(f, true)};
}

std::vector<double> harmonic_cursor_freqs(double f, int n) {
    std::vector<double> out;
    if (!(f > 0) || n < 1) return out;
    for (int k = 1; k <= 100; ++k) out.push_back(k * f / n);
    return out;
}

}  // namespace tessal
