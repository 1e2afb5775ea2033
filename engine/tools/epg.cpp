// Electropalatography indices, palates, colours, channels and grid files.
#include "engine/tools/epg.h"

#include "engine/jobs/jobline.h"

#include <algorithm>
#include <cmath>
#include <sstream>

#include "engine/core/tchannel.h"
#include "engine/analysis/spectrogram.h"
#include "engine/core/tdocument.h"
#include "engine/dsp/numformat.h"
#include "engine/formats/txiifile.h"
#include "engine/view/viewrange.h"

namespace tessal {

namespace {

const char* const grid_fileid = "EPGgrid";
const char* const grid_section = "pointpos";

std::uint8_t channel_byte(double v) {
    return static_cast<std::uint8_t>(std::clamp(std::lround(v), 0L, 255L));
}

std::string grid_key(char axis, int r, int c) {
    return std::string(1, axis) + std::to_string(r) + std::to_string(c);
}

// Intersection of the lines a0-a1 and b0-b1; the middle of the four points
// when the lines are parallel.
tpointf intersect(tpointf a0, tpointf a1, tpointf b0, tpointf b1) {
    const double dax = a1.x - a0.x, day = a1.y - a0.y;
    const double dbx = b1.x - b0.x, dby = b1.y - b0.y;
    const double den = dax * dby - day * dbx;
    if (std::abs(den) < 1e-12)
        return {(a0.x + a1.x + b0.x + b1.x) / 4, (a0.y + a1.y + b0.y + b1.y) / 4};
    const double t = ((b0.x - a0.x) * dby - (b0.y - a0.y) * dbx) / den;
    return {a0.x + t * dax, a0.y + t * day};
}

}  // namespace

std::uint64_t epg_frame(const std::array<std::uint8_t, epg_rows>& rowbytes) {
    std::uint64_t f = 0;
    for (int r = epg_rows - 1; r >= 0; --r) f = (f << 8) | rowbytes[static_cast<std::size_t>(r)];
    return f;
}

int epg_row_contacts(std::uint64_t frame, int r) {
    int n = 0;
    for (int c = 0; c < epg_cols; ++c)
        if (epg_is_electrode(r, c) && epg_contact(frame, r, c)) ++n;
    return n;
}

double TExtractionMethod::extract(std::uint64_t frame) const {
    if (method == frontmost_method) {
        int last = 0;
        for (int r = 0; r < epg_rows; ++r) {
            double sum = 0;
            for (int c = 0; c < epg_cols; ++c)
                if (epg_contact(frame, r, c)) sum += weights[r][c];
            if (sum >= frontmostthreshold) last = r + 1;
        }
        return last;
    }
    double sum = 0;
    int count = 0;
    for (int r = 0; r < epg_rows; ++r)
        for (int c = 0; c < epg_cols; ++c) {
            const bool on = epg_contact(frame, r, c);
            if (!on && !countblanks) continue;
            if (weights[r][c] != 0 || countzeroweight) ++count;
            if (on) sum += weights[r][c];
        }
    return count == 0 ? 0.0 : sum / count;
}

std::vector<TExtractionMethod> make_extraction_methods() {
    struct trow {
        const char* name;
        double fsd;
        bool blanks;
        double threshold;
    };
    static const trow rows[] = {
        {"Center of gravity (COG)", 8, false, 0}, {"Anterior COG", 8, false, 0},
        {"Posterior COG", 8, false, 0},           {"Mid-4 COG", 8, false, 0},
        {"Anterior mid-4 COG", 8, false, 0},      {"Posterior mid-4 COG", 8, false, 0},
        {"Front 3 rows", 1, true, 0},             {"Mid 2 rows", 1, true, 0},
        {"Back 3 rows", 1, true, 0},              {"Frontmost contact", 8, false, 0.5},
        {"Sync", 1, true, 0},
    };
    std::vector<TExtractionMethod> list;
    for (int m = 0; m < 11; ++m) {
        TExtractionMethod e;
        e.method = m;
        e.methodname = rows[m].name;
        e.methodfsd = rows[m].fsd;
        e.countblanks = rows[m].blanks;
        e.frontmostthreshold = rows[m].threshold;
        for (int r = 0; r < epg_rows; ++r)
            for (int c = 0; c < epg_cols; ++c) {
                const bool mid4 = c >= 2 && c <= 5;
                const bool sync = !epg_is_electrode(r, c);
                double w = 0;
                switch (m) {
                    case 0: w = sync ? 0 : r + 0.5; break;
                    case 1: w = (r >= 4 && !sync) ? r + 0.5 : 0; break;
                    case 2: w = r <= 3 ? r + 0.5 : 0; break;
                    case 3: w = mid4 ? r + 0.5 : 0; break;
                    case 4: w = (r >= 4 && mid4) ? r + 0.5 : 0; break;
                    case 5: w = (r <= 3 && mid4) ? r + 0.5 : 0; break;
                    case 6: w = (r >= 5 && !sync) ? 1 : 0; break;
                    case 7: w = (r == 3 || r == 4) ? 1 : 0; break;
                    case 8: w = r <= 2 ? 1 : 0; break;
                    case 9: w = sync ? 0 : 1; break;
                    case 10: w = sync ? 1 : 0; break;
                }
                e.weights[r][c] = w;
            }
        list.push_back(std::move(e));
    }
    return list;
}

tepgrange epg_frame_range(const tchannel& ch, double t1, double t2) {
    tepgrange g;
    g.lastframe = static_cast<int>(std::min<std::size_t>(ch.epg.size(), 0x7fffffff)) - 1;
    if (g.lastframe < 0) return g;
    const double lo = std::min(t1, t2), hi = std::max(t1, t2);
    auto index = [&](double t) {
        const double i = std::round(t * ch.epgsampfreq);
        if (!(i > 0)) return 0;  // also NaN
        return i >= g.lastframe ? g.lastframe : static_cast<int>(i);
    };
    g.startindex = index(lo);
    g.endindex = index(hi);
    return g;
}

tepgmatrix average_palate(const std::vector<std::uint64_t>& epg, int startindex, int endindex,
                          tjobcontext* job) {
    tepgmatrix p{};
    if (epg.empty()) return p;
    const long long last = static_cast<long long>(epg.size()) - 1;
    const long long a = std::clamp<long long>(startindex, 0, last);
    const long long b = std::clamp<long long>(endindex, 0, last);
    if (b < a) return p;
    std::array<long long, 64> counts{};
    for (long long i = a; i <= b; ++i) {
        if (job && (i - a) % 65536 == 0) {
            job->check();
            job->progress(static_cast<double>(i - a) / static_cast<double>(b - a + 1));
        }
        std::uint64_t f = epg[static_cast<std::size_t>(i)];
        for (int k = 0; f; ++k, f >>= 1)
            if (f & 1u) ++counts[static_cast<std::size_t>(k)];
    }
    const double n = static_cast<double>(b - a + 1);
    for (int r = 0; r < epg_rows; ++r)
        for (int c = 0; c < epg_cols; ++c)
            p[r][c] = static_cast<double>(counts[static_cast<std::size_t>(8 * r + c)]) / n;
    return p;
}

tepgcog palate_cog(const tepgmatrix& palate) {
    tepgcog g;
    double w = 0, sr = 0, sc = 0;
    for (int r = 0; r < epg_rows; ++r)
        for (int c = 0; c < epg_cols; ++c) {
            const double p = palate[r][c];
            if (!(p > 0) || !epg_is_electrode(r, c)) continue;
            w += p;
            sr += p * (r + 0.5);
            sc += p * (c + 0.5);
        }
    if (w > 0) {
        g.row = sr / w;
        g.col = sc / w;
        g.any = true;
    }
    return g;
}

std::string epg_cog_text(const tepgcog& cog, int digits) {
    if (!cog.any) return "No contact";
    return "COG row " + format_significant(digits, cog.row) + ", column " + format_significant(digits, cog.col);
}

tepgcog frame_cog(std::uint64_t frame) {
    tepgmatrix m{};
    for (int r = 0; r < epg_rows; ++r)
        for (int c = 0; c < epg_cols; ++c) m[r][c] = epg_contact(frame, r, c) ? 1 : 0;
    return palate_cog(m);
}

trgb electrode_color(double p, int c, bool colormode) {
    p = std::clamp(std::isfinite(p) ? p : 0.0, 0.0, 1.0);
    const double grey = (1 - p) * 255;
    if (!colormode) return {channel_byte(grey), channel_byte(grey), channel_byte(grey)};
    const double red = (1 - p * std::min(c / 3.0, 1.0)) * 255;
    const double blue = (1 - p * std::min((7 - c) / 3.0, 1.0)) * 255;
    return {channel_byte(red), channel_byte(grey), channel_byte(blue)};
}

trgb contact_share_color(double share, bool colormode, double spread, double centre) {
    share = std::clamp(std::isfinite(share) ? share : 0.0, 0.0, 1.0);
    if (!colormode) {
        const auto g = channel_byte(255 - share * 255);
        return {g, g, g};
    }
    if (share == 0) return {};
    const std::uint32_t c = hsv_to_rgb(1 - share, std::clamp(spread, 0.0, 1.0), 1 - centre / 21);
    return {static_cast<std::uint8_t>(c >> 16), static_cast<std::uint8_t>(c >> 8),
            static_cast<std::uint8_t>(c)};
}

trgb contact_band_color(std::uint64_t frame, int r, bool colormode) {
    const int N = epg_row_electrodes(r);
    const int n = epg_row_contacts(frame, r);
    if (!colormode || n == 0) return contact_share_color(static_cast<double>(n) / N, colormode);
    double sumc = 0, sums = 0;
    for (int c = 0; c < epg_cols; ++c)
        if (epg_is_electrode(r, c) && epg_contact(frame, r, c)) {
            sumc += c;
            sums += std::abs(c - 3.5) - 0.5;
        }
    return contact_share_color(static_cast<double>(n) / N, true, sums / n / 3, sumc / n);
}

std::string epg_title(const tchannel& ch, const tepgrange& range) {
    if (!ch.epgexists || range.lastframe < 0) return "No EPG available";
    return std::to_string(ch.channo()) + ": " + ch.name() + " - EPG frame " +
           std::to_string(range.startindex) + " - " + std::to_string(range.endindex) + " of " +
           std::to_string(range.lastframe);
}

long long epg_frame_at(const tchannel& ch, double t) {
    const double i = std::round(t * ch.epgsampfreq);
    if (!(i >= 0) || i > static_cast<double>(ch.epg.size()) - 1) return -1;
    return static_cast<long long>(i);
}

tepgband contact_band(int r, int H) {
    return {static_cast<int>(std::lround((7.0 - r) / 8 * H)),
            static_cast<int>(std::lround((8.0 - r) / 8 * H))};
}

std::vector<trgb> contact_evolution_raster(const tchannel& ch, const std::vector<double>& columntimes,
                                           int H, bool colormode) {
    const int W = static_cast<int>(columntimes.size());
    H = std::max(H, 0);
    std::vector<trgb> img(static_cast<std::size_t>(W) * static_cast<std::size_t>(H));
    for (int x = 0; x < W; ++x) {
        const long long i = epg_frame_at(ch, columntimes[static_cast<std::size_t>(x)]);
        if (i < 0) continue;
        const std::uint64_t f = ch.epg[static_cast<std::size_t>(i)];
        for (int r = 0; r < epg_rows; ++r) {
            const tepgband b = contact_band(r, H);
            const trgb col = contact_band_color(f, r, colormode);
            for (int y = std::max(b.y0, 0); y < std::min(b.y1, H); ++y)
                img[static_cast<std::size_t>(y) * static_cast<std::size_t>(W) + static_cast<std::size_t>(x)] = col;
        }
    }
    return img;
}

tepgmakedata compute_epg_channels(const std::vector<std::uint64_t>& frames, double fs,
                                  const std::vector<TExtractionMethod>& methods,
                                  const std::vector<bool>& checked, tjobcontext* job) {
    tepgmakedata d;
    d.fs = fs;
    d.samples.resize(methods.size());
    d.made.assign(methods.size(), false);
    std::size_t todo = 0, done = 0;
    for (std::size_t m = 0; m < methods.size(); ++m) todo += m < checked.size() && checked[m];
    for (std::size_t m = 0; m < methods.size(); ++m) {
        if (m >= checked.size() || !checked[m]) continue;
        const TExtractionMethod& e = methods[m];
        tsinglearr s(frames.size());
        for (std::size_t i = 0; i < frames.size(); ++i) {
            if (job && i % 65536 == 0) {
                job->check();
                job->progress((static_cast<double>(done) + static_cast<double>(i) / frames.size()) / todo);
            }
            s[i] = static_cast<float>(e.extract(frames[i]));
        }
        d.samples[m] = std::move(s);
        d.made[m] = true;
        ++done;
    }
    if (job) job->progress(1.0);
    return d;
}

int apply_epg_channels(tdocument& doc, std::vector<TExtractionMethod>& methods, tepgmakedata data) {
    const double fs = data.fs;
    int last = -1;
    for (std::size_t m = 0; m < methods.size() && m < data.made.size(); ++m) {
        if (!data.made[m]) continue;
        TExtractionMethod& e = methods[m];
        int out = -1;
        for (int c = 0; c < doc.totnchans(); ++c)
            if (e.channelid >= 0 && doc.channel(c).id == e.channelid) out = c;
        if (out < 0) {
            out = doc.totnchans();
            doc.set_totnchans(out + 1);
            e.channelid = doc.channel(out).id;
        }
        tchannel& ch = doc.channel(out);
        ch.sampfreq = fs;
        ch.orgsampfreq = fs;
        ch.set_name(e.methodname);
        ch.set_fsd(e.methodfsd);
        const double top = 1.7 * e.methodfsd;
        ch.axis.SetMinLoValue(-top);
        ch.axis.SetMaxHiValue(top);
        ch.axis.set_hilovalues(top, 0);
        ch.format = tFormat::ieeefloat;
        ch.nbits = 32;
        ch.xshift = 0;
        ch.set_origin("Tessal EPG");
        // making again replaces the channel's samples
        doc.samples_changing(ch, 0, static_cast<std::size_t>(ch.sample_count()));
        ch.set_samples(std::move(data.samples[m]));
        doc.theglobal.channel_changed(tchannelchange::properties(out));
        last = out;
    }
    if (last < 0) return last;
    doc.set_thischanno(last);
    fix_xaxis(doc, false);
    doc.set_modified(true);
    doc.set_filename("");
    doc.theglobal.channels_changed();
    doc.theglobal.fix_things();
    doc.theglobal.document_state_changed();
    doc.theglobal.invalidate_paintboxes(true);
    return last;
}

int make_epg_channels(tdocument& doc, int srcchno, std::vector<TExtractionMethod>& methods,
                      const std::vector<bool>& checked) {
    if (srcchno < 0 || srcchno >= doc.totnchans()) return -1;
    const tchannel& src = doc.channel(srcchno);
    const double fs = src.epgsampfreq;
    if (!src.epgexists || !(fs > 0))
        throw std::runtime_error("Channel " + std::to_string(srcchno) + " has no EPG data");
    return apply_epg_channels(doc, methods, compute_epg_channels(src.epg, fs, methods, checked));
}

tpalategrid default_palate_grid() {
    tpalategrid g;
    for (int r = 0; r < epg_rows; ++r)
        for (int c = 0; c < epg_cols; ++c) {
            g.x[r][c] = (r + 1) / 10.0;
            g.y[r][c] = (c + 1) / 10.0;
        }
    return g;
}

std::string palate_grid_filename(const std::string& picturepath) {
    std::string p = picturepath;
    const std::size_t dot = p.find_last_of('.');
    const std::size_t slash = p.find_last_of('/');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) p.erase(dot);
    return p + ".tessalEPGgrid";
}

void save_palate_grid(const std::string& path, const tpalategrid& grid, tfileops& ops) {
    TXIIFile f;
    f.SetFileId(grid_fileid);
    f.SetProgId(tessal_progid());
    for (int r = 0; r < epg_rows; ++r)
        for (int c = 0; c < epg_cols; ++c) {
            f.writefloat(grid_section, grid_key('x', r, c), grid.x[r][c]);
            f.writefloat(grid_section, grid_key('y', r, c), grid.y[r][c]);
        }
    f.save_file(path, ops);
}

tpalategrid load_palate_grid(const std::string& path) {
    TXIIFile f;
    f.SetFileId("");
    if (!f.open_file(path))
        throw EEPGError("Cannot read the palate grid file " + path +
                        ": it is missing, unreadable or damaged");
    if (f.GetFileId() != grid_fileid)
        throw EEPGError("Not a palate grid file: " + path + " (file type \"" + f.GetFileId() +
                        "\")");
    tpalategrid g;
    for (int r = 0; r < epg_rows; ++r)
        for (int c = 0; c < epg_cols; ++c)
            for (char a : {'x', 'y'}) {
                const std::string key = grid_key(a, r, c);
                if (!f.exists(grid_section, key))
                    throw EEPGError("The palate grid file " + path + " lacks the position " + key);
                double v = 0;
                try {
                    v = f.readfloat(grid_section, key, 0);
                } catch (const std::exception& e) {
                    throw EEPGError("The palate grid file " + path + " has a damaged position " +
                                    key + ": " + e.what());
                }
                if (!(v >= 0 && v <= 1))
                    throw EEPGError("The palate grid file " + path + " has the position " + key +
                                    " = " + float_to_text(v) + ", outside the picture (0 to 1)");
                (a == 'x' ? g.x : g.y)[r][c] = v;
            }
    return g;
}

tpalatemidpos palate_midpos(const tpalategrid& grid) {
    // The grid extended by one on every side: e[i][j] is electrode
    // (i-1, j-1), continued linearly beyond the edges.
    std::array<std::array<tpointf, epg_cols + 2>, epg_rows + 2> e{};
    for (int r = 0; r < epg_rows; ++r)
        for (int c = 0; c < epg_cols; ++c) e[r + 1][c + 1] = {grid.x[r][c], grid.y[r][c]};
    auto ext = [](tpointf a, tpointf b) { return tpointf{2 * a.x - b.x, 2 * a.y - b.y}; };
    for (int c = 1; c <= epg_cols; ++c) {
        e[0][c] = ext(e[1][c], e[2][c]);
        e[epg_rows + 1][c] = ext(e[epg_rows][c], e[epg_rows - 1][c]);
    }
    for (int r = 0; r < epg_rows + 2; ++r) {
        e[r][0] = ext(e[r][1], e[r][2]);
        e[r][epg_cols + 1] = ext(e[r][epg_cols], e[r][epg_cols - 1]);
    }
    tpalatemidpos m{};
    for (int i = 0; i <= epg_rows; ++i)
        for (int j = 0; j <= epg_cols; ++j)
            m[i][j] = intersect(e[i][j], e[i + 1][j + 1], e[i + 1][j], e[i][j + 1]);
    return m;
}

tpointf grid_point_at(const tpalategrid& grid, double r, double c) {
    if (!std::isfinite(r) || !std::isfinite(c)) return {};
    const int r0 = std::clamp(static_cast<int>(std::floor(r)), 0, epg_rows - 2);
    const int c0 = std::clamp(static_cast<int>(std::floor(c)), 0, epg_cols - 2);
    const double u = r - r0, v = c - c0;
    auto at = [&](const tepgmatrix& m) {
        return (1 - u) * (1 - v) * m[r0][c0] + u * (1 - v) * m[r0 + 1][c0] +
               (1 - u) * v * m[r0][c0 + 1] + u * v * m[r0 + 1][c0 + 1];
    };
    return {at(grid.x), at(grid.y)};
}

int nearest_electrode(const tpalategrid& grid, double x, double y, double maxdist) {
    int best = -1;
    double bestd = maxdist * maxdist;
    for (int r = 0; r < epg_rows; ++r)
        for (int c = 0; c < epg_cols; ++c) {
            const double dx = grid.x[r][c] - x, dy = grid.y[r][c] - y;
            const double d = dx * dx + dy * dy;
            if (d <= bestd) {
                bestd = d;
                best = 8 * r + c;
            }
        }
    return best;
}

std::string epg_report(const tchannel& ch, double from, double to, const std::vector<int>& methods,
                       int digits) {
    const tepgrange g = epg_frame_range(ch, from, to);
    std::ostringstream o;
    o << epg_title(ch, g) << "\n";
    if (!ch.epgexists || g.lastframe < 0) return o.str();
    const tepgmatrix p = average_palate(ch.epg, g.startindex, g.endindex);
    o << "Row";
    for (int c = 0; c < epg_cols; ++c) o << "\tCol " << c;
    o << "\n";
    for (int r = epg_rows - 1; r >= 0; --r) {
        o << r;
        for (int c = 0; c < epg_cols; ++c) o << "\t" << format_significant(digits, p[r][c]);
        o << "\n";
    }
    o << epg_cog_text(palate_cog(p), digits) << "\n";
    const std::vector<TExtractionMethod> all = make_extraction_methods();
    o << "\nFrame\tTime [s]";
    for (int m : methods) o << "\t" << all.at(static_cast<std::size_t>(m)).methodname;
    o << "\n";
    for (int i = g.startindex; i <= g.endindex; ++i) {
        const std::uint64_t f = ch.epg[static_cast<std::size_t>(i)];
        o << i << "\t" << format_significant(digits, i / ch.epgsampfreq);
        for (int m : methods) o << "\t" << format_significant(digits, all[static_cast<std::size_t>(m)].extract(f));
        o << "\n";
    }
    return o.str();
}

}  // namespace tessal
