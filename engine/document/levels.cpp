#include "engine/document/levels.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <utility>
#include <vector>

#include "engine/document/editcommands.h"
#include "engine/dsp/numformat.h"

namespace tessal {

const char* const leveltype_captions[6] = {"Constant level", "Ramped level", "Constant factor",
                                           "Ramped factor",  "DC constant",  "Remove DC"};

std::string levels_start_caption(int type, const std::string& unit) {
    switch (type) {
        case constantlevel: return "Level change [dB]";
        case rampedlevel: return "Level change at start [dB]";
        case constantfactor: return "Factor";
        case rampedfactor: return "Factor at start";
        case dcconstant: return unit.empty() ? "DC shift" : "DC shift [" + unit + "]";
        default: return "";
    }
}

std::string levels_end_caption(int type) {
    switch (type) {
        case rampedlevel: return "Level change at end [dB]";
        case rampedfactor: return "Factor at end";
        default: return "";
    }
}

bool levels_shows_start(int type) { return type >= constantlevel && type <= dcconstant; }
bool levels_shows_end(int type) { return type == rampedlevel || type == rampedfactor; }
bool levels_shows_readavg(int type, int selectmode) {
    return type == dcconstant && selectmode == selmono;
}

namespace {

double db_to_factor(double db) { return std::pow(10.0, db / 20.0); }

// f applied to p[0..n), eight samples at a time: a fixed inner count lets
// the compiler use vector instructions where an open-ended loop would not.
template <class F>
void each_sample(float* p, long long n, F f) {
    long long i = 0;
    for (; i + 8 <= n; i += 8)
        for (int k = 0; k < 8; ++k) p[i + k] = f(p[i + k]);
    for (; i < n; ++i) p[i] = f(p[i]);
}

// Samples from..to-1 rewritten one buffer at a time: f(p, n, pos) changes
// p[0..n), samples pos..pos+n-1, in place.
template <class F>
void rewrite_samples(tchannel& ch, long long from, long long to, F f) {
    constexpr long long piece = 1 << 16;
    std::vector<float> buf(static_cast<std::size_t>(std::clamp(to - from, 0LL, piece)));
    for (long long pos = from; pos < to; pos += piece) {
        const long long n = std::min(piece, to - pos);
        ch.read_samples(pos, static_cast<std::size_t>(n), buf.data());
        f(buf.data(), n, pos);
        ch.write_samples(pos, buf.data(), static_cast<std::size_t>(n));
    }
}

}  // namespace

void apply_level_change(tchannel& ch, long long s, long long e, const tlevelchange& c) {
    const long long len = ch.sample_count();
    if (len == 0 || e < s) return;
    const long long a = std::max(s, 0LL), b = std::min(e, len - 1);
    const double span = static_cast<double>(e - s);
    // Position of sample i in the selection, 0 at s and 1 at e.
    auto frac = [&](long long i) { return span > 0 ? static_cast<double>(i - s) / span : 0.0; };

    const bool gain = c.type >= constantlevel && c.type <= rampedfactor;
    double g0 = 1, g1 = 1, dc = 0;
    switch (c.type) {
        case constantlevel: g0 = g1 = db_to_factor(c.startvalue); break;
        case rampedlevel:
            g0 = db_to_factor(c.startvalue);
            g1 = db_to_factor(span > 0 ? c.endvalue : c.startvalue);
            break;
        case constantfactor: g0 = g1 = c.startvalue; break;
        case rampedfactor:
            g0 = c.startvalue;
            g1 = span > 0 ? c.endvalue : c.startvalue;
            break;
        case dcconstant: dc = c.startvalue; break;
        case removedc: {
            if (a > b) return;
            // Summed in sample order, however the samples come in pieces.
            double sum = 0;
            ch.for_each_chunk(a, b + 1, [&sum](const float* p, std::size_t n, std::int64_t) {
                for (std::size_t i = 0; i < n; ++i) sum += p[i];
            });
            dc = -sum / static_cast<double>(b - a + 1);
            break;
        }
        default: return;
    }

    // Inside the selection: one plain loop per kind, so the common constant
    // cases run at memory speed on long channels.
    switch (c.type) {
        case constantlevel:
        case constantfactor:
            rewrite_samples(ch, a, b + 1, [g0](float* x, long long n, long long) {
                each_sample(x, n, [g0](float v) { return static_cast<float>(v * g0); });
            });
            break;
        case rampedlevel: {
            const double d = c.endvalue - c.startvalue;
            rewrite_samples(ch, a, b + 1, [&](float* x, long long n, long long pos) {
                for (long long k = 0; k < n; ++k)
                    x[k] = static_cast<float>(x[k] * db_to_factor(c.startvalue + d * frac(pos + k)));
            });
            break;
        }
        case rampedfactor: {
            const double d = c.endvalue - c.startvalue;
            rewrite_samples(ch, a, b + 1, [&](float* x, long long n, long long pos) {
                for (long long k = 0; k < n; ++k)
                    x[k] = static_cast<float>(x[k] * (c.startvalue + d * frac(pos + k)));
            });
            break;
        }
        default:
            rewrite_samples(ch, a, b + 1, [dc](float* x, long long n, long long) {
                each_sample(x, n, [dc](float v) { return static_cast<float>(v + dc); });
            });
            break;
    }

    // Raised-cosine ramps over the m samples on either side.
    double mv = std::round(c.ramp_ms / 1000.0 * ch.sampfreq);
    if (!(mv >= 1)) return;
    const long long m = static_cast<long long>(std::min(mv, 4e18));
    const double pi = std::numbers::pi;
    const double md = static_cast<double>(m);
    rewrite_samples(ch, std::max(s - m, 0LL), std::min(s - 1, len - 1) + 1,
                    [&](float* x, long long n, long long pos) {
                        for (long long i = 0; i < n; ++i) {
                            const long long k = pos + i;
                            const double w =
                                (1 - std::cos(pi * static_cast<double>(k - (s - m)) / md)) / 2;
                            if (gain)
                                x[i] = static_cast<float>(x[i] * (1 + (g0 - 1) * w));
                            else
                                x[i] = static_cast<float>(x[i] + dc * w);
                        }
                    });
    rewrite_samples(ch, std::max(e + 1, 0LL), std::min(e + m, len - 1) + 1,
                    [&](float* x, long long n, long long pos) {
                        for (long long i = 0; i < n; ++i) {
                            const long long k = pos + i;
                            const double w = (1 - std::cos(pi * static_cast<double>(k - e) / md)) / 2;
                            if (gain)
                                x[i] = static_cast<float>(x[i] * (g1 + (1 - g1) * w));
                            else
                                x[i] = static_cast<float>(x[i] + dc * (1 - w));  // D(1 + cos)/2
                        }
                    });
}

// The samples apply_level_change writes, half open: the selection s..e and
// the ramps of m samples on either side, clipped to the channel.
static std::pair<long long, long long> level_change_span(const tchannel& ch, long long s, long long e,
                                                         const tlevelchange& c) {
    const long long len = static_cast<long long>(ch.sample_count());
    if (len == 0 || e < s) return {0, 0};
    long long lo = s, hi = e + 1;
    const double mv = std::round(c.ramp_ms / 1000.0 * ch.sampfreq);
    if (mv >= 1) {
        const long long m = static_cast<long long>(std::min(mv, 4e18));
        lo = s > m ? s - m : 0;
        hi = e < len + m ? e + m + 1 : len;
    }
    lo = std::clamp(lo, 0LL, len);
    hi = std::clamp(hi, 0LL, len);
    return {lo, std::max(lo, hi)};
}

bool level_change_fits(const tchannel& ch, long long s, long long e, const tlevelchange& c) {
    const long long len = ch.sample_count();
    if (len == 0 || e < s) return true;
    const long long a = std::max(s, 0LL), b = std::min(e, len - 1);
    double mv = std::round(c.ramp_ms / 1000.0 * ch.sampfreq);
    const double m = mv >= 1 ? std::min(mv, 4e18) : 0.0;
    // Every sample the change or its ramps touch, in doubles so that far-off
    // selections cannot overflow the index arithmetic.
    const double lo = std::max(0.0, static_cast<double>(s) - m);
    const double hi = std::min(static_cast<double>(len - 1), static_cast<double>(e) + m);
    if (lo > hi) return true;
    float peak = 0;
    ch.for_each_chunk(static_cast<long long>(lo), static_cast<long long>(hi) + 1,
                      [&](const float* x, std::size_t n, std::int64_t) {
                          for (std::size_t i = 0; i < n; ++i)
                              if (std::isfinite(x[i])) peak = std::max(peak, std::fabs(x[i]));
                      });
    const double largest = std::numeric_limits<float>::max();
    const bool single = e == s;
    switch (c.type) {
        case constantlevel:
        case rampedlevel:
        case constantfactor:
        case rampedfactor: {
            const bool db = c.type == constantlevel || c.type == rampedlevel;
            const bool ramped = (c.type == rampedlevel || c.type == rampedfactor) && !single;
            const double g0 = db ? db_to_factor(c.startvalue) : c.startvalue;
            const double g1 = ramped ? (db ? db_to_factor(c.endvalue) : c.endvalue) : g0;
            // Gains between 1 and these: the ramps and the level in between.
            const double gmax = std::max({1.0, std::fabs(g0), std::fabs(g1)});
            return std::isfinite(gmax) && peak * gmax <= largest;
        }
        case dcconstant:
        case removedc: {
            double dc = c.startvalue;
            if (c.type == removedc) {
                if (a > b) return true;
                double sum = 0;
                ch.for_each_chunk(a, b + 1, [&](const float* x, std::size_t n, std::int64_t) {
                    for (std::size_t i = 0; i < n; ++i) sum += x[i];
                });
                dc = -sum / static_cast<double>(b - a + 1);
            }
            return std::isfinite(dc) && peak + std::fabs(dc) <= largest;
        }
        default: return true;
    }
}

bool edit_levels(tdocument& doc, const tlevelchange& change, std::string* why) {
    if (change.type < constantlevel || change.type > removedc) return false;
    const std::vector<int> set = edit_set(doc);
    if (set.empty()) return false;
    const double L = doc.theglobal.leftselcursor(), R = doc.theglobal.rightselcursor();
    // All channels are checked before any changes, so a refusal leaves the
    // document as it was.
    for (int c : set) {
        tsamplerange r = selection_range(doc.channel(c), L, R);
        if (!level_change_fits(doc.channel(c), r.s, r.e, change)) {
            if (why)
                *why = "This change makes the samples of channel " + std::to_string(c) +
                       " too large to store.\rNothing was changed.";
            return false;
        }
    }
    for (int c : set) {
        tchannel& ch = doc.channel(c);
        tsamplerange r = selection_range(ch, L, R);
        const auto [lo, hi] = level_change_span(ch, r.s, r.e, change);
        if (lo < hi)
            doc.samples_changing(ch, static_cast<std::size_t>(lo), static_cast<std::size_t>(hi));
        apply_level_change(ch, r.s, r.e, change);
        ch.needsdither = true;
        ch.bmpdirty = true;
        // The channel's writes marked the drawing cache's blocks.
        if (lo < hi) {
            doc.theglobal.channel_changed(tchannelchange::samples(c, lo, hi));
        }
    }
    doc.measurementdirty = true;
    doc.set_modified(true);
    doc.theglobal.invalidate_paintboxes(true);
    return true;
}

bool edit_levels(tdocument& doc, int type, const std::string& starttext,
                 const std::string& endtext, const std::string& ramptext, std::string* why) {
    tlevelchange c;
    c.type = type;
    auto read = [](const std::string& t, double& v) { return try_parse_float(t, v) && std::isfinite(v); };
    if (levels_shows_start(type) && !read(starttext, c.startvalue)) return false;
    if (levels_shows_end(type) && !read(endtext, c.endvalue)) return false;
    if (!read(ramptext, c.ramp_ms) || c.ramp_ms < 0) return false;
    return edit_levels(doc, c, why);
}

double read_avg_between_marks(const tchannel& ch) {
    const double i1 = std::round(ch.cursors[1] * ch.sampfreq);
    const double i2 = std::round(ch.cursors[2] * ch.sampfreq);
    if (!(std::fabs(i1) < 4e18 && std::fabs(i2) < 4e18)) return 0;
    long long a = static_cast<long long>(std::min(i1, i2)), b = static_cast<long long>(std::max(i1, i2));
    // Only the part inside the samples adds anything; the rest counts as 0.
    const long long first = std::max(a, ch.xshift);
    const long long last = std::min(b, ch.xshift + ch.sample_count() - 1);
    double sum = 0;
    if (first <= last)
        ch.for_each_chunk(first - ch.xshift, last + 1 - ch.xshift,
                          [&](const float* x, std::size_t n, std::int64_t) {
                              for (std::size_t i = 0; i < n; ++i) sum += x[i];
                          });
    return -sum / static_cast<double>(b - a + 1);
}

}  // namespace tessal
