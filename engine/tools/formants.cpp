#include "engine/tools/formants.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <limits>
#include <numbers>

#include "engine/analysis/polyroots.h"
#include "engine/process/resamplestep.h"

namespace tessal {

namespace {

constexpr double pi = std::numbers::pi;
constexpr double nan = std::numeric_limits<double>::quiet_NaN();

// Candidates closer than this to 0 Hz or the ceiling are left out.
constexpr double edge_margin = 50.0;

// The path costs (see the header). Frequencies and bandwidths are measured
// in units of the uniform tube's spacing, ceiling / n. The bandwidth counts
// in hertz, not relative to the frequency, as in Talkin's costs: B / F would
// make a broad pole near F1 (noise widens a low resonance most) dearer than
// no F1 at all. An empty slot costs as much as the worst candidate still
// taken for a formant, one spacing from its reference and one spacing
// wide: a weaker or merged candidate is better than none up to there.
constexpr double cost_reference = 1.0;    // per unit from the slot's reference
constexpr double cost_bandwidth = 1.0;    // per unit of bandwidth
constexpr double cost_empty = cost_reference + cost_bandwidth;  // per slot without a candidate
// A slot left empty below a filled one moves every formant above it one
// slot up, one spacing from where their order would put them: it costs one
// spacing's reference cost more than an empty slot at the top (where a
// formant above the ceiling or too weak leaves no candidate).
constexpr double cost_gap = cost_reference;  // besides cost_empty
constexpr double cost_leftout = 0.1;      // per unit of F / B of a candidate left out
constexpr double cost_jump = 4.0;         // per unit of frequency change between frames
constexpr double cost_appear = 0.5;       // per slot filled in one frame and not in the next

std::vector<float> gaussian_window(std::size_t N) {
    std::vector<float> w(N);
    const double e12 = std::exp(-12.0);
    for (std::size_t i = 0; i < N; ++i) {
        const double u = (static_cast<double>(i) + 0.5) / static_cast<double>(N) - 0.5;
        w[i] = static_cast<float>((std::exp(-12.0 * u * u) - e12) / (1.0 - e12));
    }
    return w;
}

std::size_t window_samples(const tformantsettings& s, double fs) {
    return static_cast<std::size_t>(std::max(2.0, std::round(2.0 * s.window * fs)));
}

// One frame's samples under the window, zeros outside the signal.
void cut_frame(const tformantsignal& sig, double t, const std::vector<float>& w, std::vector<double>& out) {
    const std::size_t N = w.size();
    out.resize(N);
    const long long first = std::llround(t * sig.fs) - static_cast<long long>(N / 2);
    const long long size = static_cast<long long>(sig.x.size());
    for (std::size_t i = 0; i < N; ++i) {
        const long long j = first + static_cast<long long>(i);
        out[i] = j >= 0 && j < size ? static_cast<double>(sig.x[static_cast<std::size_t>(j)]) * w[i] : 0.0;
    }
}

double ceiling_of(const tformantsettings& s, double fs) { return std::min(s.maxformant, fs / 2); }

}  // namespace

std::string formant_settings_fault(const tformantsettings& s) {
    if (!(s.maxformant > 100)) return "The maximum formant must be above 100 Hz";
    if (s.nformants < 1 || s.nformants > 10) return "The number of formants must be 1 to 10";
    if (!(s.step > 0)) return "The time step must be above 0 s";
    if (!(s.window > 0)) return "The window length must be above 0 s";
    if (!(s.preemphasis >= 0)) return "The pre-emphasis frequency must not be negative";
    return {};
}

tformantsignal formant_signal(const float* x, std::size_t n, double fs, const tformantsettings& s) {
    tformantsignal sig;
    sig.fsin = fs;
    const double target = 2.0 * s.maxformant;
    if (fs > target * (1 + 1e-9)) {
        tresample r(target);
        sig.x = r.resample(x, n, fs);
        sig.fs = target;
    } else {
        sig.x.assign(x, x + n);
        sig.fs = fs;
    }
    sig.alpha = std::exp(-2.0 * pi * s.preemphasis / sig.fs);
    float prev = 0;
    for (float& v : sig.x) {
        const float cur = v;
        v = static_cast<float>(cur - sig.alpha * prev);
        prev = cur;
    }
    return sig;
}

std::vector<double> formant_frame_times(std::size_t n, double fs, const tformantsettings& s) {
    std::vector<double> times;
    if (!(fs > 0) || !(s.step > 0)) return times;
    const double duration = static_cast<double>(n) / fs;
    const double span = 2.0 * s.window;
    if (duration < span) return times;
    const std::size_t count = static_cast<std::size_t>(std::floor((duration - span) / s.step + 1e-9)) + 1;
    const double first = 0.5 * (duration - static_cast<double>(count - 1) * s.step);
    times.resize(count);
    for (std::size_t k = 0; k < count; ++k) times[k] = first + static_cast<double>(k) * s.step;
    return times;
}

std::vector<tformantcandidate> lpc_formants(const tlpc& m, double fs, double lo, double hi) {
    std::vector<tformantcandidate> out;
    if (m.a.size() < 3) return out;
    for (std::complex<double> z : polynomial_roots(m.a)) {
        if (!(z.imag() > 0)) continue;
        double r = std::abs(z);
        if (!(r > 0)) continue;
        if (r > 1) r = 1 / r;  // a root outside the circle mirrored in
        const double f = std::arg(z) * fs / (2 * pi);
        if (f < lo || f > hi) continue;
        out.push_back({f, -std::log(r) * fs / pi});
    }
    std::sort(out.begin(), out.end(), [](const auto& a, const auto& b) { return a.f < b.f; });
    return out;
}

tformantmodel formant_model_at(const tformantsignal& sig, double t, const tformantsettings& s) {
    tformantmodel m;
    m.fs = sig.fs, m.fsin = sig.fsin, m.alpha = sig.alpha;
    const std::vector<float> w = gaussian_window(window_samples(s, sig.fs));
    double power = 0;
    for (float v : w) power += static_cast<double>(v) * v;
    m.windowpower = power / static_cast<double>(w.size());
    std::vector<double> frame;
    cut_frame(sig, t, w, frame);
    m.lpc = lpc_burg(frame.data(), frame.size(), 2 * s.nformants);
    m.frame.time = t;
    m.frame.candidates = lpc_formants(m.lpc, sig.fs, edge_margin, ceiling_of(s, sig.fs) - edge_margin);
    return m;
}

double formant_model_db(const tformantmodel& m, double f) {
    if (!(m.fs > 0) || !(m.windowpower > 0) || f < 0 || f > m.fs / 2) return -400.0;
    const double model = lpc_power_db(m.lpc, f, m.fs);
    if (model <= -400.0) return -400.0;
    const double w = 2 * pi * f / m.fs;
    const double pre = 1 - 2 * m.alpha * std::cos(w) + m.alpha * m.alpha;  // |1 - alpha e^-jw|^2
    if (!(pre > 0)) return -400.0;
    return model - 10 * std::log10(m.windowpower) - 10 * std::log10(pre) + 10 * std::log10(m.fsin / m.fs);
}

std::vector<tformantframe> formant_frames(const float* x, std::size_t n, double fs, const tformantsettings& s,
                                          const std::function<bool(double)>& progress) {
    std::vector<tformantframe> frames;
    if (!formant_settings_fault(s).empty() || !(fs > 0)) return frames;
    const std::vector<double> times = formant_frame_times(n, fs, s);
    if (times.empty()) return frames;
    const tformantsignal sig = formant_signal(x, n, fs, s);
    const std::vector<float> w = gaussian_window(window_samples(s, sig.fs));
    const double hi = ceiling_of(s, sig.fs) - edge_margin;
    std::vector<double> frame;
    frames.reserve(times.size());
    for (std::size_t k = 0; k < times.size(); ++k) {
        if (progress && (k & 1023) == 0 && !progress(static_cast<double>(k) / static_cast<double>(times.size())))
            return frames;
        cut_frame(sig, times[k], w, frame);
        const tlpc m = lpc_burg(frame.data(), frame.size(), 2 * s.nformants);
        frames.push_back({times[k], lpc_formants(m, sig.fs, edge_margin, hi)});
    }
    return frames;
}

namespace {

// A frame's states for the path: the ways of giving its candidates (at most
// 12 looked at) to the slots F1..Fn in order of frequency, a candidate
// possibly left out and at most one slot left empty below a filled one,
// with their own costs, their slots' frequencies (NaN for an empty slot)
// and which candidate each slot holds (-1 for none), n per state.
struct tstates {
    std::vector<double> local;
    std::vector<double> slotf;
    std::vector<std::int8_t> slotc;
    std::size_t size() const { return local.size(); }
};

constexpr int max_candidates = 12;
// The path keeps this many of a frame's cheapest states to go on from.
constexpr std::size_t beam = 64;
static_assert(beam <= 256);

struct tenumerator {
    const std::vector<tformantcandidate>& c;
    int m, n;
    double unit;
    tstates& st;
    std::vector<std::int8_t> slots;

    // Candidate j onwards, slot s the next free one, a gap used or not.
    void walk(int j, int s, bool gapped, double cost) {
        if (j == m) {
            double total = cost;
            for (int i = 0; i < n; ++i) {
                const int cj = slots[static_cast<std::size_t>(i)];
                st.slotc.push_back(static_cast<std::int8_t>(cj));
                st.slotf.push_back(cj >= 0 ? c[static_cast<std::size_t>(cj)].f : nan);
                if (cj < 0) total += cost_empty;
            }
            st.local.push_back(total);
            return;
        }
        const tformantcandidate& cj = c[static_cast<std::size_t>(j)];
        walk(j + 1, s, gapped, cost + cost_leftout * cj.f / std::max(cj.bw, 1.0));
        for (int gap = 0; gap <= (gapped ? 0 : 1); ++gap) {
            const int slot = s + gap;
            if (slot >= n) break;
            const double ref = (2 * slot + 1) * 0.5 * unit;
            slots[static_cast<std::size_t>(slot)] = static_cast<std::int8_t>(j);
            const double here = cost_reference * std::abs(cj.f - ref) / unit + cost_bandwidth * cj.bw / unit;
            walk(j + 1, slot + 1, gapped || gap, cost + here + gap * cost_gap);
            slots[static_cast<std::size_t>(slot)] = -1;
        }
    }
};

void frame_states(const tformantframe& fr, int n, double unit, tstates& st) {
    st.local.clear(), st.slotf.clear(), st.slotc.clear();
    tenumerator e{fr.candidates, static_cast<int>(std::min<std::size_t>(fr.candidates.size(), max_candidates)), n,
                  unit, st, std::vector<std::int8_t>(static_cast<std::size_t>(n), -1)};
    e.walk(0, 0, false, 0.0);
}

}  // namespace

tformanttracks track_formants(const std::vector<tformantframe>& frames, const tformantsettings& s) {
    tformanttracks out;
    const int n = s.nformants;
    out.n = n;
    const std::size_t K = frames.size();
    const std::size_t un = static_cast<std::size_t>(std::max(n, 0));
    out.times.resize(K);
    out.f.assign(K * un, nan);
    out.b.assign(K * un, nan);
    if (K == 0 || n < 1) return out;
    const double unit = s.maxformant / n;
    // Viterbi over the states, going on from the cheapest `beam` states of
    // each frame: the totals of the frame before and of this one; for every
    // frame its beam (state numbers) and, per state, the place in the frame
    // before's beam its best path came from.
    tstates prev, cur;
    std::vector<double> prevtotal, curtotal;
    std::vector<std::uint16_t> order;
    std::vector<std::uint16_t> beams;          // frame k's beam at beamstart[k]
    std::vector<std::size_t> beamstart(K + 1, 0), backstart(K + 1, 0);
    std::vector<std::uint8_t> back;            // frame k's states at backstart[k]
    frame_states(frames[0], n, unit, prev);
    prevtotal = prev.local;
    for (std::size_t k = 1; k < K; ++k) {
        frame_states(frames[k], n, unit, cur);
        order.resize(prev.size());
        for (std::size_t p = 0; p < order.size(); ++p) order[p] = static_cast<std::uint16_t>(p);
        if (order.size() > beam) {
            std::nth_element(order.begin(), order.begin() + beam, order.end(),
                             [&](std::uint16_t a, std::uint16_t b) { return prevtotal[a] < prevtotal[b]; });
            order.resize(beam);
        }
        beamstart[k] = beams.size();
        beams.insert(beams.end(), order.begin(), order.end());
        backstart[k] = back.size();
        const std::size_t S = cur.size();
        curtotal.resize(S);
        for (std::size_t i = 0; i < S; ++i) {
            const double* fi = &cur.slotf[i * un];
            double best = std::numeric_limits<double>::infinity();
            std::size_t arg = 0;
            for (std::size_t o = 0; o < order.size(); ++o) {
                const double* fp = &prev.slotf[order[o] * un];
                double c = prevtotal[order[o]];
                for (std::size_t q = 0; q < un && c < best; ++q) {
                    const bool a = !std::isnan(fi[q]), b = !std::isnan(fp[q]);
                    if (a && b) c += cost_jump * std::abs(fi[q] - fp[q]) / unit;
                    else if (a != b) c += cost_appear;
                }
                if (c < best) best = c, arg = o;
            }
            curtotal[i] = best + cur.local[i];
            back.push_back(static_cast<std::uint8_t>(arg));
        }
        std::swap(prev, cur);
        std::swap(prevtotal, curtotal);
    }
    std::size_t at = static_cast<std::size_t>(std::min_element(prevtotal.begin(), prevtotal.end()) - prevtotal.begin());
    tstates st;
    for (std::size_t k = K; k-- > 0;) {
        out.times[k] = frames[k].time;
        frame_states(frames[k], n, unit, st);
        const auto& c = frames[k].candidates;
        for (std::size_t q = 0; q < un; ++q) {
            const int cj = st.slotc[at * un + q];
            if (cj < 0) continue;
            out.f[k * un + q] = c[static_cast<std::size_t>(cj)].f;
            out.b[k * un + q] = c[static_cast<std::size_t>(cj)].bw;
        }
        if (k > 0) at = beams[beamstart[k] + back[backstart[k] + at]];
    }
    return out;
}

tformanttracks formants(const float* x, std::size_t n, double fs, const tformantsettings& s,
                        const std::function<bool(double)>& progress) {
    return track_formants(formant_frames(x, n, fs, s, progress), s);
}

}  // namespace tessal
