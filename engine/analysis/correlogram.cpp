#include "engine/analysis/correlogram.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "engine/analysis/correlation.h"
#include "engine/analysis/spectrogram.h"
#include "engine/dsp/numformat.h"
#include "engine/settings/tsetting.h"

namespace tessal {

namespace {

long long round_index(double v) {
    if (!(std::fabs(v) < 9e18)) return -1;
    return static_cast<long long>(std::llround(v));
}

constexpr long long max_lag = 1000000;

}  // namespace

void correlogram_default_axis(const tcorrelogramsettings& s, double& lo, double& hi) {
    if (s.fvertaxistype == 0) {
        lo = 0;
        hi = 20;
    } else {
        lo = 50;
        hi = 1000;
    }
}

long long correlogram_row_lag(const tcorrelogramsettings& s, double v, double fs) {
    if (s.fvertaxistype == 0) return round_index(v / 1000 * fs);
    if (!(v > 0)) return -1;
    return round_index(fs / v);
}

long long correlogram_largest_lag(const tcorrelogramsettings& s, double axislo, double axishi, double fs) {
    const long long d = s.fvertaxistype == 0 ? round_index(axishi / 1000 * fs) : correlogram_row_lag(s, axislo, fs);
    if (d < 0) return max_lag;
    return std::min(max_lag, d + 1);
}

double correlogram_column_cost(const tcorrelogramsettings& s, long long largestlag,
                               const std::vector<double>& rowvalues, double fs) {
    const long long N = std::max(16LL, round_index(s.ffixedcorrlength * fs));
    double cost = 0;
    for (double value : rowvalues) {
        const long long d = correlogram_row_lag(s, value, fs);
        if (d < 0 || d > largestlag) continue;
        cost += static_cast<double>(s.fwinlengthmode == 0 ? N : round_index(static_cast<double>(d) * s.fwinlengthfactor));
    }
    return cost;
}

std::uint32_t correlogram_color(int mode, double v, double gamma, TColor channel) {
    const double g = (v < 0 ? -1 : 1) * std::pow(std::fabs(v), gamma);
    return spectrogram_color(mode, g, channel);
}

void correlogram_column(const tsampleview& v, const tcorrelogramsettings& s, long long largestlag,
                        double t, const std::vector<double>& rowvalues, float* out,
                        std::vector<float>& buffer) {
    const long long N = std::max(16LL, round_index(s.ffixedcorrlength * v.fs()));
    const long long len = s.fwinlengthmode == 0
                              ? N + largestlag
                              : round_index((s.fwinlengthfactor + 1) * static_cast<double>(largestlag));
    buffer.resize(static_cast<std::size_t>(std::max(0LL, len)));
    const long long start = round_index(t * v.fs());
    v.read(start, len, buffer.data());
    for (std::size_t y = 0; y < rowvalues.size(); ++y) {
        const long long d = correlogram_row_lag(s, rowvalues[y], v.fs());
        float r = -1;
        if (d >= 0 && d <= largestlag) {
            const long long w = s.fwinlengthmode == 0 ? N : round_index(static_cast<double>(d) * s.fwinlengthfactor);
            if (w >= 2 && d + w <= len) {
                const double p = pearson(buffer.data(), buffer.data() + d, w);
                r = std::isfinite(p) ? static_cast<float>(p) : -1.0f;
            }
        }
        out[y] = r;
    }
}

// ---------------------------------------------------------------- traces

void add_trace_point(std::vector<TTracePoint>& points, const TTracePoint& p) {
    auto at = std::upper_bound(points.begin(), points.end(), p.t,
                               [](double t, const TTracePoint& q) { return t < q.t; });
    points.insert(at, p);
}

int hit_trace_point(const std::vector<TTracePoint>& points, const std::function<double(double)>& tx,
                    const std::function<double(double)>& fy, double px, double py, double tol,
                    int& found) {
    int best = -1;
    double bestd = tol;
    found = 0;
    for (std::size_t i = 0; i < points.size(); ++i) {
        const TTracePoint& p = points[i];
        const double dx = std::fabs(tx(p.t) - px);
        if (!(dx <= tol)) continue;
        if (p.cut) {
            if (dx <= bestd) {
                best = static_cast<int>(i);
                bestd = dx;
                found = 0;
            }
            continue;
        }
        for (int k = 1; k <= 2; ++k) {
            const double d = std::hypot(dx, fy(k == 1 ? p.fmin : p.fmax) - py);
            if (d <= bestd) {
                best = static_cast<int>(i);
                bestd = d;
                found = k;
            }
        }
    }
    return best;
}

int move_trace_point(std::vector<TTracePoint>& points, int index, int found, double t, double f) {
    if (index < 0 || index >= static_cast<int>(points.size())) return -1;
    TTracePoint p = points[static_cast<std::size_t>(index)];
    p.t = t;
    p.found = found;
    if (!p.cut && f > 0) {
        if (found == 1) {
            p.fmin = f;
            p.fmax = std::max(p.fmax, f);
        } else if (found == 2) {
            p.fmax = f;
            p.fmin = std::min(p.fmin, f);
        }
    }
    points.erase(points.begin() + index);
    auto at = std::upper_bound(points.begin(), points.end(), p.t,
                               [](double v, const TTracePoint& q) { return v < q.t; });
    return static_cast<int>(points.insert(at, p) - points.begin());
}

void cut_trace(std::vector<TTracePoint>& points, double t) {
    add_trace_point(points, {true, t, 1, 1, 0});
}

TTracePoint trace_point_at(double t, double f, double width) {
    return {false, t, f - f * width / 2, f + f * width / 2, 0};
}

double trace_frequency(int vertaxistype, double v) {
    if (vertaxistype == 0) return v > 0 ? 1000 / v : 0;
    return v > 0 ? v : 0;
}

bool trace_band(const std::vector<TTracePoint>& points, double t, double& fmin, double& fmax) {
    fmin = fmax = -1;
    if (points.empty()) return false;
    auto band = [&](const TTracePoint& p) {
        if (p.cut) return false;
        fmin = p.fmin;
        fmax = p.fmax;
        return true;
    };
    if (t < points.front().t) return band(points.front());
    if (t >= points.back().t) return band(points.back());
    const auto next = std::upper_bound(points.begin(), points.end(), t,
                                       [](double x, const TTracePoint& q) { return x < q.t; });
    const TTracePoint& b = *(next - 1);
    const TTracePoint& c = *next;
    if (b.cut || c.cut) return false;
    const double u = c.t > b.t ? (t - b.t) / (c.t - b.t) : 0;
    fmin = b.fmin + u * (c.fmin - b.fmin);
    fmax = b.fmax + u * (c.fmax - b.fmax);
    return true;
}

bool write_trace_file(const std::string& path, const std::vector<TTracePoint>& points,
                      const std::string& version, const std::string& smpfile, int channo,
                      std::string& error) {
    std::error_code ec;
    std::filesystem::remove(path, ec);
    try {
        TSetting ini;
        ini.SetManualIniClose(true);
        ini.SetLocation(Location::slfile);
        ini.SetFilename(path);
        ini.WriteString("Common", "Version", version);
        ini.WriteInteger("Common", "nPoints", static_cast<std::int64_t>(points.size()));
        ini.WriteString("Common", "SMPFile", smpfile);
        ini.WriteInteger("Common", "Channo", channo);
        for (std::size_t i = 0; i < points.size(); ++i) {
            const TTracePoint& p = points[i];
            const std::string s = "Point" + std::to_string(i);
            ini.WriteString(s, "Time", format_float_pattern("0.00000", p.t));
            ini.WriteString(s, "Center", format_float_pattern("0.000", (p.fmax + p.fmin) / 2));
            ini.WriteString(s, "Max", format_float_pattern("0.000", p.fmax));
            ini.WriteString(s, "Min", format_float_pattern("0.000", p.fmin));
            ini.WriteInteger(s, "Pointkind", p.cut ? 3 : 1);
            ini.WriteBool(s, "Cut", p.cut);
        }
        ini.IniClose();
    } catch (const std::exception& e) {
        error = "Cannot write the trace file " + path + ": " + e.what();
        return false;
    }
    return true;
}

bool read_trace_file(const std::string& path, std::vector<TTracePoint>& points, std::string& error) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        error = "The trace file " + path + " does not exist.";
        return false;
    }
    try {
        TSetting ini;
        ini.SetLocation(Location::slfile);
        ini.SetFilename(path);
        if (!ini.ValueExists("Common", "nPoints")) {
            error = path + " is not a trace file: it has no point count.";
            return false;
        }
        const std::int64_t n = ini.ReadInteger("Common", "nPoints", -1);
        if (n < 0 || n > 10000000) {
            error = path + " is damaged: its point count is not valid.";
            return false;
        }
        std::vector<TTracePoint> read;
        // A key that is missing reads as 0; one that is there but is no
        // finite number is damage.
        std::string bad;
        auto number = [&](const std::string& s, std::int64_t i, const char* key, double& v) {
            v = 0;
            const std::string text = ini.ReadString(s, key, "");
            double x = 0;
            if (text.empty()) return;
            if (!try_parse_float(text, x) || !std::isfinite(x)) {
                if (bad.empty())
                    bad = path + " is damaged: \"" + key + "\" of point " + std::to_string(i) + " is \"" + text +
                          "\", not a number.";
                return;
            }
            v = x;
        };
        for (std::int64_t i = 0; i < n; ++i) {
            const std::string s = "Point" + std::to_string(i);
            if (!ini.ValueExists(s, "Time")) {
                error = path + " is damaged: point " + std::to_string(i) + " of " + std::to_string(n) +
                        " is missing.";
                return false;
            }
            TTracePoint p;
            number(s, i, "Time", p.t);
            number(s, i, "Max", p.fmax);
            number(s, i, "Min", p.fmin);
            if (!bad.empty()) {
                error = bad;
                return false;
            }
            p.cut = ini.ValueExists(s, "Cut") ? ini.ReadBool(s, "Cut", false)
                                              : ini.ReadInteger(s, "Pointkind", 1) == 3;
            add_trace_point(read, p);
        }
        points = std::move(read);
    } catch (const std::exception& e) {
        error = "Cannot read the trace file " + path + ": " + e.what();
        return false;
    }
    return true;
}

// ---------------------------------------------------------------- extraction

bool extract_f0(const tsampleview& v, const tcorrelogramsettings& s,
                const std::vector<TTracePoint>& trace, const tf0settings& e, tf0extraction& out,
                const std::atomic<bool>* cancel, const std::function<bool(double)>& progress) {
    const long long skip = std::max(1LL, e.skip);
    const long long step = e.keeprate ? 1 : skip;
    const long long nout = v.size() / step;
    out.f0t0.assign(static_cast<std::size_t>(nout), 0);
    out.correlation.assign(static_cast<std::size_t>(nout), 0);
    out.width.assign(static_cast<std::size_t>(nout), 0);
    const double on = e.thresholds ? e.hi : -1.1, off = e.thresholds ? e.lo : -1.1;
    const long long N = round_index(s.ffixedcorrlength * v.fs());
    std::vector<float> buf;
    std::vector<double> r;
    bool voiced = false, force = true;
    long long remembered = 0;
    double lastf0 = -1, lastr = -1.1, lastw = -1;
    for (long long o = 0; o < nout; ++o) {
        if (cancel && (o & 1023) == 0 && cancel->load(std::memory_order_relaxed)) return false;
        if (progress && (o & 1023) == 0 && !progress(static_cast<double>(o) / static_cast<double>(nout)))
            return false;
        const long long i = o * step;
        const long long n = i + v.xshift();
        if (force || i % skip == 0) {
            force = false;
            const double t = static_cast<double>(n) / v.fs();
            double flo = -1, fhi = -1;
            long long dmin = -1, dmax = -1;
            if (trace_band(trace, t, flo, fhi) && flo > 0 && fhi > 0) {
                dmin = static_cast<long long>(v.fs() / fhi);
                dmax = static_cast<long long>(v.fs() / flo);
            }
            if (dmin < 1 || dmax < dmin) {
                lastf0 = -1;
                lastr = -1.1;
                lastw = -1;
                force = true;
                voiced = false;
            } else {
                const long long alen = s.fwinlengthmode == 0 ? N : round_index(static_cast<double>(dmax) * s.fwinlengthfactor);
                const long long total = std::max(0LL, alen) + dmax + 1;
                buf.resize(static_cast<std::size_t>(total));
                v.read(n, total, buf.data());
                r.assign(static_cast<std::size_t>(dmax - dmin + 1), -1);
                for (long long d = dmin; d <= dmax; ++d) {
                    const long long w = s.fwinlengthmode == 0 ? N : round_index(static_cast<double>(d) * s.fwinlengthfactor);
                    r[static_cast<std::size_t>(d - dmin)] = pearson(buf.data(), buf.data() + d, std::min(w, alen));
                }
                const long long m = static_cast<long long>(r.size());
                long long im = 0;
                double rmax = -2;
                for (long long k = 0; k < m; ++k)
                    if (r[static_cast<std::size_t>(k)] > rmax) {
                        rmax = r[static_cast<std::size_t>(k)];
                        im = k;
                    }
                double T0;
                auto R = [&](long long k) { return r[static_cast<std::size_t>(k)]; };
                if (im == 0 || im == m - 1) {
                    T0 = static_cast<double>(im + dmin) / v.fs();
                } else {
                    const double den = 2 * (R(im - 1) - 2 * R(im) + R(im + 1));
                    const double delta = den != 0 ? (R(im - 1) - R(im + 1)) / den : 0;
                    T0 = (delta + static_cast<double>(im + dmin)) / v.fs();
                }
                // Candidate width: where r falls below 0.7 of its peak on
                // either side, placed between the neighbouring lags.
                const double h = 0.7 * rmax;
                long long a = im, b = im;
                while (a > 0 && R(a - 1) >= h) --a;
                while (b < m - 1 && R(b + 1) >= h) ++b;
                double width = 0;
                if (a > 0 && b < m - 1) {
                    const double left = a - (R(a) - h) / (R(a) - R(a - 1));
                    const double right = b + (R(b) - h) / (R(b) - R(b + 1));
                    width = (right - left) / v.fs() / T0;
                }
                lastr = rmax;
                lastw = width * 100;
                lastf0 = s.fvertaxistype == 0 ? T0 : 1 / T0;
                if (rmax > on) {
                    voiced = true;
                    remembered = o;
                } else if (voiced && rmax < off) {
                    voiced = false;
                    for (long long k = remembered; k < o; ++k) {
                        out.f0t0[static_cast<std::size_t>(k)] = -1;
                        out.width[static_cast<std::size_t>(k)] = -1;
                    }
                }
            }
        }
        out.correlation[static_cast<std::size_t>(o)] = lastr;
        out.f0t0[static_cast<std::size_t>(o)] = voiced ? lastf0 : -1;
        out.width[static_cast<std::size_t>(o)] = voiced ? lastw : -1;
    }
    return true;
}

void correlogram_picture(const tspectrogramstrip& strip, double lo, double hi, double gamma, int colormode,
                         TColor channel, std::vector<std::uint32_t>& pixels) {
    const int w = strip.width, h = strip.height;
    pixels.resize(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
    constexpr int steps = 4096;
    std::uint32_t table[steps];
    for (int i = 0; i < steps; ++i)
        table[i] = correlogram_color(colormode, static_cast<double>(i) / (steps - 1), gamma, channel);
    const double span = hi - lo;
    // v <= 0 (and NaN) is the first entry, v >= 1 the last.
    const double scale = span != 0 ? (steps - 1) / span : 0;
    for (int y = 0; y < h; ++y) {
        std::uint32_t* row = pixels.data() + static_cast<std::size_t>(h - 1 - y) * static_cast<std::size_t>(w);
        for (int x = 0; x < w; ++x) {
            const double k = (strip.at(x, y) - lo) * scale;
            int i = 0;
            if (k > 0) i = k < steps - 1 ? static_cast<int>(k + 0.5) : steps - 1;
            row[x] = table[i];
        }
    }
}

}  // namespace tessal
