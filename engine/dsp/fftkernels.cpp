// The FFT butterflies; see fftkernels.h. The sweeps are written once over a
// vector type of four doubles. On GCC and Clang for x86-64 Linux each sweep
// is also compiled for AVX2 with FMA and the best version is picked when the
// program loads; elsewhere the vector type is plain double. FMA rounds the
// products once instead of twice, which changes results by no more than the
// last bit.
#include "engine/dsp/fftkernels.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#if defined(__GNUC__)
#pragma GCC diagnostic ignored "-Wpsabi"
#endif

// Not under ThreadSanitizer: the loader picks the version before its
// run-time is up, and the instrumented picker crashes.
#if defined(__GNUC__) && defined(__x86_64__) && defined(__linux__) && !defined(__SANITIZE_THREAD__)
#define TESSAL_FFT_CLONES __attribute__((target_clones("arch=x86-64-v3", "default")))
#else
#define TESSAL_FFT_CLONES
#endif

namespace tessal {

namespace {

// Loads, stores and the lane reversal are macros rather than functions: a
// 32-byte vector passed or returned by value outside an AVX function changes
// the calling convention, which Clang refuses even where the call is inlined.
#if defined(__GNUC__)
typedef double vec __attribute__((vector_size(32)));
// The same vector at any double's address (as the AVX headers declare
// their unaligned type): plain unaligned moves that may alias the doubles.
typedef double unaligned_vec __attribute__((vector_size(32), aligned(8), may_alias));
constexpr std::size_t lanes = 4;
#define TESSAL_LOAD(p) (*reinterpret_cast<const unaligned_vec*>(p))
#define TESSAL_STORE(p, v) (*reinterpret_cast<unaligned_vec*>(p) = (v))
#define TESSAL_REVERSED(v) __builtin_shufflevector((v), (v), 3, 2, 1, 0)
#else
using vec = double;
constexpr std::size_t lanes = 1;
#define TESSAL_LOAD(p) (*(p))
#define TESSAL_STORE(p, v) (*(p) = (v))
#define TESSAL_REVERSED(v) (v)
#endif

// Points per cache block: re and im of 2048 points take 32 KiB (level 1);
// those of 65536 points 1 MiB (level 2). The stages whose groups fit a block
// run block by block, so only the spans beyond the level-2 block sweep the
// whole array.
constexpr std::size_t block_points = 2048;
constexpr std::size_t l2_block_points = 65536;


// The stages of span 1 and 2 together; their twiddles are 1 and i.
TESSAL_FFT_CLONES void sweep_span1and2(double* re, double* im, std::size_t n) {
    for (std::size_t a = 0; a < n; a += 4) fft_span1and2(re + a, im + a);
}

// The stage of span 1 alone (only for two points).
void sweep_span1(double* re, double* im, std::size_t n) {
    for (std::size_t a = 0; a < n; a += 2) {
        const double br = re[a + 1], bi = im[a + 1];
        re[a + 1] = re[a] - br;
        im[a + 1] = im[a] - bi;
        re[a] += br;
        im[a] += bi;
    }
}

// One stage of span d (a multiple of the vector width).
TESSAL_FFT_CLONES void sweep_single(double* re, double* im, std::size_t n, std::size_t d,
                                    const double* wcos, const double* wsin) {
    const double* c = wcos + d;
    const double* s = wsin + d;
    for (std::size_t e = 0; e < n; e += 2 * d) {
        double* ar = re + e;
        double* ai = im + e;
        double* br = ar + d;
        double* bi = ai + d;
        for (std::size_t f = 0; f < d; f += lanes) {
            const vec cf = TESSAL_LOAD(c + f), sf = TESSAL_LOAD(s + f);
            const vec xr = TESSAL_LOAD(br + f), xi = TESSAL_LOAD(bi + f);
            const vec er = xr * cf - xi * sf, ei = xr * sf + xi * cf;
            const vec yr = TESSAL_LOAD(ar + f), yi = TESSAL_LOAD(ai + f);
            TESSAL_STORE(br + f, yr - er);
            TESSAL_STORE(bi + f, yi - ei);
            TESSAL_STORE(ar + f, yr + er);
            TESSAL_STORE(ai + f, yi + ei);
        }
    }
}

// The stages of span d and 2d in one sweep (d a multiple of the vector
// width), each butterfly with its own stage's twiddle.
TESSAL_FFT_CLONES void sweep_pair(double* re, double* im, std::size_t n, std::size_t d,
                                  const double* wcos, const double* wsin) {
    const double* c1 = wcos + d;
    const double* s1 = wsin + d;
    const double* c2 = wcos + 2 * d;  // span 2d, f < d
    const double* s2 = wsin + 2 * d;
    const double* c3 = wcos + 3 * d;  // span 2d, f + d
    const double* s3 = wsin + 3 * d;
    for (std::size_t e = 0; e < n; e += 4 * d) {
        double* r0 = re + e;
        double* r1 = r0 + d;
        double* r2 = r1 + d;
        double* r3 = r2 + d;
        double* i0 = im + e;
        double* i1 = i0 + d;
        double* i2 = i1 + d;
        double* i3 = i2 + d;
        for (std::size_t f = 0; f < d; f += lanes) {
            const vec c = TESSAL_LOAD(c1 + f), s = TESSAL_LOAD(s1 + f);
            vec xr = TESSAL_LOAD(r1 + f), xi = TESSAL_LOAD(i1 + f);
            vec er = xr * c - xi * s, ei = xr * s + xi * c;
            vec yr = TESSAL_LOAD(r0 + f), yi = TESSAL_LOAD(i0 + f);
            const vec x0r = yr + er, x0i = yi + ei;
            const vec x1r = yr - er, x1i = yi - ei;
            xr = TESSAL_LOAD(r3 + f), xi = TESSAL_LOAD(i3 + f);
            er = xr * c - xi * s, ei = xr * s + xi * c;
            yr = TESSAL_LOAD(r2 + f), yi = TESSAL_LOAD(i2 + f);
            const vec x2r = yr + er, x2i = yi + ei;
            const vec x3r = yr - er, x3i = yi - ei;
            vec cc = TESSAL_LOAD(c2 + f), ss = TESSAL_LOAD(s2 + f);
            er = x2r * cc - x2i * ss, ei = x2r * ss + x2i * cc;
            TESSAL_STORE(r0 + f, x0r + er);
            TESSAL_STORE(i0 + f, x0i + ei);
            TESSAL_STORE(r2 + f, x0r - er);
            TESSAL_STORE(i2 + f, x0i - ei);
            cc = TESSAL_LOAD(c3 + f), ss = TESSAL_LOAD(s3 + f);
            er = x3r * cc - x3i * ss, ei = x3r * ss + x3i * cc;
            TESSAL_STORE(r1 + f, x1r + er);
            TESSAL_STORE(i1 + f, x1i + ei);
            TESSAL_STORE(r3 + f, x1r - er);
            TESSAL_STORE(i3 + f, x1i - ei);
        }
    }
}

// Scalar stage of span d for spans narrower than the vector.
void sweep_single_scalar(double* re, double* im, std::size_t n, std::size_t d,
                         const double* wcos, const double* wsin) {
    for (std::size_t e = 0; e < n; e += 2 * d) {
        for (std::size_t f = 0; f < d; ++f) {
            const std::size_t a = e + f, b = a + d;
            const double c = wcos[d + f], s = wsin[d + f];
            const double er = re[b] * c - im[b] * s, ei = re[b] * s + im[b] * c;
            re[b] = re[a] - er;
            im[b] = im[a] - ei;
            re[a] += er;
            im[a] += ei;
        }
    }
}

// Reads Z from zre, zim and writes X to re, im; the two may be the same.
TESSAL_FFT_CLONES void split_real(const double* zre, const double* zim, double* re, double* im,
                                  std::size_t n, const double* tc, const double* ts,
                                  double scale) {
    const std::size_t m = n / 2;
    const double h = 0.5 * scale;
    {
        const double zr = zre[0], zi = zim[0];
        re[0] = (zr + zi) * scale;
        im[0] = 0.0;
        re[m] = (zr - zi) * scale;
        im[m] = 0.0;
    }
    std::size_t k = 1;
    // Four bins k.. and their partners ..m-k at a time while the two runs
    // stay apart.
    for (; k + 2 * lanes - 1 <= m - k; k += lanes) {
        const std::size_t j = m - k - (lanes - 1);  // the lowest partner
        const vec ar = TESSAL_LOAD(zre + k), ai = TESSAL_LOAD(zim + k);
        const vec br = TESSAL_REVERSED(TESSAL_LOAD(zre + j)), bi = TESSAL_REVERSED(TESSAL_LOAD(zim + j));
        const vec er = (ar + br) * h, ei = (ai - bi) * h;
        const vec orr = (ai + bi) * h, oi = (br - ar) * h;
        const vec c = TESSAL_LOAD(tc + k), s = TESSAL_LOAD(ts + k);
        const vec tr = orr * c - oi * s, ti = orr * s + oi * c;
        const vec xr = er + tr, xi = ei + ti;  // X[k]
        const vec yr = er - tr, yi = ti - ei;  // X[m - k]
        TESSAL_STORE(re + k, xr);
        TESSAL_STORE(im + k, xi);
        TESSAL_STORE(re + (n - k - (lanes - 1)), TESSAL_REVERSED(xr));
        TESSAL_STORE(im + (n - k - (lanes - 1)), TESSAL_REVERSED(-xi));
        TESSAL_STORE(re + j, TESSAL_REVERSED(yr));
        TESSAL_STORE(im + j, TESSAL_REVERSED(yi));
        TESSAL_STORE(re + (m + k), yr);
        TESSAL_STORE(im + (m + k), -yi);
    }
    for (std::size_t j = m - k; k <= j; ++k, --j) {
        const double ar = zre[k], ai = zim[k], br = zre[j], bi = zim[j];
        const double er = (ar + br) * h, ei = (ai - bi) * h;
        const double orr = (ai + bi) * h, oi = (br - ar) * h;
        const double c = tc[k], s = ts[k];
        const double tr = orr * c - oi * s, ti = orr * s + oi * c;
        re[k] = er + tr;
        im[k] = ei + ti;
        re[n - k] = er + tr;
        im[n - k] = -(ei + ti);
        if (j != k) {
            re[j] = er - tr;
            im[j] = ti - ei;
            re[n - j] = er - tr;
            im[n - j] = ei - ti;
        }
    }
}

struct sweep {
    std::size_t d;  // the first span
    int stages;     // 1 or 2 (spans d and 2d)
    std::size_t group() const { return stages == 2 ? 4 * d : 2 * d; }
};

void run_sweep(const sweep& w, double* re, double* im, std::size_t n, const double* wcos,
               const double* wsin) {
    if (w.d == 1) {
        if (w.stages == 2)
            sweep_span1and2(re, im, n);
        else
            sweep_span1(re, im, n);
    } else if (w.d % lanes != 0) {
        for (int k = 0; k < w.stages; ++k)
            sweep_single_scalar(re, im, n, w.d << k, wcos, wsin);
    } else if (w.stages == 2) {
        sweep_pair(re, im, n, w.d, wcos, wsin);
    } else {
        sweep_single(re, im, n, w.d, wcos, wsin);
    }
}

#if defined(__GNUC__)
// The 16-point transforms over the lowest four bits of the placed index, on
// vectors of four independent points each: v[p] (p < 16, bit-reversed
// order) goes through the stages of span 1, 2, 4 and 8 of fft_butterflies,
// with its twiddles.
[[gnu::always_inline]] inline void dft16_reversed(vec* vr, vec* vi, const double* wcos, const double* wsin) {
    for (int p = 0; p < 16; p += 4) {
        const vec x0r = vr[p] + vr[p + 1], x0i = vi[p] + vi[p + 1];
        const vec x1r = vr[p] - vr[p + 1], x1i = vi[p] - vi[p + 1];
        const vec x2r = vr[p + 2] + vr[p + 3], x2i = vi[p + 2] + vi[p + 3];
        const vec x3r = vr[p + 2] - vr[p + 3], x3i = vi[p + 2] - vi[p + 3];
        vr[p] = x0r + x2r;
        vi[p] = x0i + x2i;
        vr[p + 2] = x0r - x2r;
        vi[p + 2] = x0i - x2i;
        // times i: (re, im) -> (-im, re)
        vr[p + 1] = x1r - x3i;
        vi[p + 1] = x1i + x3r;
        vr[p + 3] = x1r + x3i;
        vi[p + 3] = x1i - x3r;
    }
    for (int d = 4; d <= 8; d *= 2) {
        for (int e = 0; e < 16; e += 2 * d) {
            for (int f = 0; f < d; ++f) {
                const double c = wcos[d + f], s = wsin[d + f];
                const int a = e + f, b = a + d;
                const vec er = vr[b] * c - vi[b] * s, ei = vr[b] * s + vi[b] * c;
                vr[b] = vr[a] - er;
                vi[b] = vi[a] - ei;
                vr[a] += er;
                vi[a] += ei;
            }
        }
    }
}

// The four vectors a[0..3] as columns: lane l of the result r[l] holds
// a[0][l], a[1][l], a[2][l], a[3][l].
#define TESSAL_TRANSPOSE4(a0, a1, a2, a3, r0, r1, r2, r3)                      \
    do {                                                                        \
        const vec t0_ = __builtin_shufflevector((a0), (a1), 0, 4, 2, 6);        \
        const vec t1_ = __builtin_shufflevector((a0), (a1), 1, 5, 3, 7);        \
        const vec t2_ = __builtin_shufflevector((a2), (a3), 0, 4, 2, 6);        \
        const vec t3_ = __builtin_shufflevector((a2), (a3), 1, 5, 3, 7);        \
        (r0) = __builtin_shufflevector(t0_, t2_, 0, 1, 4, 5);                   \
        (r1) = __builtin_shufflevector(t1_, t3_, 0, 1, 4, 5);                   \
        (r2) = __builtin_shufflevector(t0_, t2_, 2, 3, 6, 7);                   \
        (r3) = __builtin_shufflevector(t1_, t3_, 2, 3, 6, 7);                   \
    } while (0)

// Places z[j] = in(2j) + i in(2j + 1), j < 2^bits (bits >= 8), at the
// bit-reversed place and does the stages of span 1, 2, 4 and 8 on the way.
// With j = (h, mid, l), h and l of four bits each, reverse(j) = (reverse(l),
// reverse(mid), reverse(h)): the sixteen points of one l and mid that differ
// in h are the sixteen consecutive points of one 16-point transform of the
// first four stages. A tile of fixed mid is read as sixteen rows h of
// sixteen consecutive l (four vectors of l), transformed down its columns
// in registers, and written as rows of sixteen consecutive reverse(h)
// after 4 x 4 transposes. rev is the reversal table over `bits` bits.
TESSAL_FFT_CLONES void place_reversed16(const tfftrealinput& in, int bits, const std::uint32_t* rev,
                                        double* re, double* im, const double* wcos,
                                        const double* wsin) {
    static constexpr std::uint8_t rev4[16] = {0, 8, 4, 12, 2, 10, 6, 14,
                                              1, 9, 5, 13, 3, 11, 7, 15};
    const double* x = in.x;
    const double* win = in.win;
    const double mean = in.mean;
    const std::size_t w = in.w;
    const int midbits = bits - 8;
    const int hshift = bits - 4;
    const std::size_t mids = std::size_t{1} << midbits;
    for (std::size_t rm = 0; rm < mids; ++rm) {
        const std::size_t mid = static_cast<std::size_t>(rev[rm] >> 8);
        const std::size_t rmid = rm << 4;
        for (std::size_t g = 0; g < 16; g += lanes) {
            vec vr[16], vi[16];
            for (int p = 0; p < 16; ++p) {
                const std::size_t row = (std::size_t{rev4[p]} << hshift) | (mid << 4) | g;
                const std::size_t i0 = 2 * row;
                vec v0, v1;
                if (i0 + 2 * lanes <= w) {
                    v0 = TESSAL_LOAD(x + i0) - mean;
                    v1 = TESSAL_LOAD(x + i0 + lanes) - mean;
                    if (win) {
                        v0 *= TESSAL_LOAD(win + i0);
                        v1 *= TESSAL_LOAD(win + i0 + lanes);
                    }
                } else {
                    double t[2 * lanes];
                    for (std::size_t k = 0; k < 2 * lanes; ++k) {
                        const std::size_t i = i0 + k;
                        t[k] = i < w ? (x[i] - mean) * (win ? win[i] : 1.0) : 0.0;
                    }
                    v0 = TESSAL_LOAD(t);
                    v1 = TESSAL_LOAD(t + lanes);
                }
                vr[p] = __builtin_shufflevector(v0, v1, 0, 2, 4, 6);
                vi[p] = __builtin_shufflevector(v0, v1, 1, 3, 5, 7);
            }
            dft16_reversed(vr, vi, wcos, wsin);
            double* dr[lanes];
            double* di[lanes];
            for (std::size_t l = 0; l < lanes; ++l) {
                const std::size_t drow = (std::size_t{rev4[g + l]} << hshift) | rmid;
                dr[l] = re + drow;
                di[l] = im + drow;
            }
            for (int p = 0; p < 16; p += 4) {
                vec r0, r1, r2, r3;
                TESSAL_TRANSPOSE4(vr[p], vr[p + 1], vr[p + 2], vr[p + 3], r0, r1, r2, r3);
                TESSAL_STORE(dr[0] + p, r0);
                TESSAL_STORE(dr[1] + p, r1);
                TESSAL_STORE(dr[2] + p, r2);
                TESSAL_STORE(dr[3] + p, r3);
                TESSAL_TRANSPOSE4(vi[p], vi[p + 1], vi[p + 2], vi[p + 3], r0, r1, r2, r3);
                TESSAL_STORE(di[0] + p, r0);
                TESSAL_STORE(di[1] + p, r1);
                TESSAL_STORE(di[2] + p, r2);
                TESSAL_STORE(di[3] + p, r3);
            }
        }
    }
}
#endif

}  // namespace

void fft_butterflies(double* re, double* im, std::size_t m, const double* wcos,
                     const double* wsin, int stages_done) {
    if (m < 2) return;
    int levels = 0;
    while ((std::size_t{1} << levels) < m) ++levels;

    // Spans 1 and 2 together, a single stage of span 4 when the number of
    // stages is odd, then pairs; or, with the first four stages done, a
    // single stage of span 16 when the rest is odd, then pairs.
    sweep plan[16];
    int count = 0;
    int start = 0;
    if (stages_done >= 4 && levels >= 4) {
        std::size_t d = 16;
        if ((levels - 4) % 2 == 1) plan[count++] = {d, 1}, d *= 2;
        for (; 2 * d < m; d *= 4) plan[count++] = {d, 2};
    } else if (levels == 1) {
        plan[count++] = {1, 1};
    } else {
        plan[count++] = {1, 2};
        std::size_t d = 4;
        if (levels % 2 == 1) plan[count++] = {d, 1}, d *= 2;
        for (; 2 * d < m; d *= 4) plan[count++] = {d, 2};
        start = stages_done >= 2 ? 1 : 0;
    }

    // The sweeps whose groups fit a level-1 block run block by block, then
    // those that fit a level-2 block, then the rest over the whole array.
    const std::size_t block = std::min(m, block_points);
    const std::size_t big = std::min(m, l2_block_points);
    int inblock = start;
    while (inblock < count && plan[inblock].group() <= block) ++inblock;
    int inbig = inblock;
    while (inbig < count && plan[inbig].group() <= big) ++inbig;
    for (std::size_t b = 0; b < m; b += block)
        for (int k = start; k < inblock; ++k) run_sweep(plan[k], re + b, im + b, block, wcos, wsin);
    for (std::size_t b = 0; b < m; b += big)
        for (int k = inblock; k < inbig; ++k) run_sweep(plan[k], re + b, im + b, big, wcos, wsin);
    for (int k = inbig; k < count; ++k) run_sweep(plan[k], re, im, m, wcos, wsin);
}

void fft_split_real(double* re, double* im, std::size_t n, const double* tc, const double* ts,
                    double scale) {
    split_real(re, im, re, im, n, tc, ts, scale);
}

void fft_build_twiddles(std::size_t n, double* wcos, double* wsin) {
    const std::size_t half = n / 2;
    double* tc = wcos + half;
    double* ts = wsin + half;
    const std::size_t q = n / 4, e = n / 8;
    const double step = 2.0 * std::numbers::pi / static_cast<double>(n);
    if (n >= 8) {
        for (std::size_t i = 0; i <= e; ++i) {
            const double c = std::cos(step * static_cast<double>(i));
            const double s = std::sin(step * static_cast<double>(i));
            tc[i] = c;
            ts[i] = s;
            tc[q - i] = s;  // cos(pi/2 - x) = sin x
            ts[q - i] = c;
        }
        for (std::size_t i = 1; i < q; ++i) {  // x + pi/2
            tc[q + i] = -ts[i];
            ts[q + i] = tc[i];
        }
    } else {
        for (std::size_t i = 0; i < half; ++i) {
            const double a = step * static_cast<double>(i);
            tc[i] = (4 * i == n) ? 0.0 : std::cos(a);
            ts[i] = (4 * i == n) ? 1.0 : std::sin(a);
        }
    }
    // Lower spans take every (n / 2d)-th entry of the top one.
    for (std::size_t d = half / 2; d >= 1; d /= 2) {
        const std::size_t stride = half / d;
        for (std::size_t f = 0; f < d; ++f) {
            wcos[d + f] = tc[f * stride];
            wsin[d + f] = ts[f * stride];
        }
    }
}

namespace {

std::vector<std::uint32_t> reversal_table(int bits) {
    std::vector<std::uint32_t> t(std::size_t{1} << bits, 0);
    for (std::size_t i = 1; i < t.size(); ++i)
        t[i] = (t[i >> 1] >> 1) | (static_cast<std::uint32_t>(i & 1) << (bits - 1));
    return t;
}

}  // namespace

void tfftreal::resize(int logn) {
    if (logn == logn_) return;
    logn_ = logn;
    n_ = std::size_t{1} << logn;
    const std::size_t n = std::max<std::size_t>(n_, 2);
    wcos_.assign(n, 0.0);
    wsin_.assign(n, 0.0);
    fft_build_twiddles(n, wcos_.data(), wsin_.data());
    const int logm = logn - 1;
    rev_ = logm > 0 ? reversal_table(logm) : std::vector<std::uint32_t>(1, 0);
}

void tfftreal::forward(const tfftrealinput& in, double* re, double* im, double scale) {
    const double* tc = wcos_.data() + n_ / 2;
    const double* ts = wsin_.data() + n_ / 2;
    forward_complex(in, re, im);
    split_real(re, im, re, im, n_, tc, ts, scale);
}

void tfftreal::forward_complex(const tfftrealinput& in, double* re, double* im) {
    const std::size_t n = n_, m = n_ / 2, w = in.w;
    const int logm = logn_ - 1;
    const double* x = in.x;
    const double* win = in.win;
    const double mean = in.mean;
#if defined(__GNUC__)
    if (m >= small_points) {
        place_reversed16(in, logm, rev_.data(), re, im, wcos_.data(), wsin_.data());
        fft_butterflies(re, im, m, wcos_.data(), wsin_.data(), 4);
        return;
    }
#endif
    bool two_done;
    if (w == n && win) {
        two_done = fft_scatter_reversed(logm, logm, rev_.data(), re, im,
                                        [&](std::size_t j, double& r, double& v) {
                                            r = (x[2 * j] - mean) * win[2 * j];
                                            v = (x[2 * j + 1] - mean) * win[2 * j + 1];
                                        });
    } else if (w == n) {
        two_done = fft_scatter_reversed(logm, logm, rev_.data(), re, im,
                                        [&](std::size_t j, double& r, double& v) {
                                            r = x[2 * j] - mean;
                                            v = x[2 * j + 1] - mean;
                                        });
    } else {
        two_done = fft_scatter_reversed(
            logm, logm, rev_.data(), re, im, [&](std::size_t j, double& r, double& v) {
                r = 2 * j < w ? (x[2 * j] - mean) * (win ? win[2 * j] : 1.0) : 0.0;
                v = 2 * j + 1 < w ? (x[2 * j + 1] - mean) * (win ? win[2 * j + 1] : 1.0) : 0.0;
            });
    }
    fft_butterflies(re, im, m, wcos_.data(), wsin_.data(), two_done ? 2 : 0);
}

}  // namespace tessal
