// The FFT butterflies; see fftkernels.h. The sweeps are written once over a
// vector type of four doubles. On GCC and Clang for x86-64 Linux each sweep
// is also compiled for AVX2 with FMA and the best version is picked when the
// program loads; elsewhere the vector type is plain double. FMA rounds the
// products once instead of twice, which changes results by no more than the
// last bit.
#include "engine/dsp/fftkernels.h"

#include <algorithm>

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

// Points per cache block: re and im of 2048 points take 32 KiB.
constexpr std::size_t block_points = 2048;


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

TESSAL_FFT_CLONES void split_real(double* re, double* im, std::size_t n, const double* tc,
                                  const double* ts, double scale) {
    const std::size_t m = n / 2;
    const double h = 0.5 * scale;
    {
        const double zr = re[0], zi = im[0];
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
        const vec ar = TESSAL_LOAD(re + k), ai = TESSAL_LOAD(im + k);
        const vec br = TESSAL_REVERSED(TESSAL_LOAD(re + j)), bi = TESSAL_REVERSED(TESSAL_LOAD(im + j));
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
        const double ar = re[k], ai = im[k], br = re[j], bi = im[j];
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

}  // namespace

void fft_butterflies(double* re, double* im, std::size_t m, const double* wcos,
                     const double* wsin, bool first_two_done) {
    if (m < 2) return;
    int levels = 0;
    while ((std::size_t{1} << levels) < m) ++levels;

    // Spans 1 and 2 together, a single stage of span 4 when the number of
    // stages is odd, then pairs.
    sweep plan[16];
    int count = 0;
    if (levels == 1) {
        plan[count++] = {1, 1};
    } else {
        plan[count++] = {1, 2};
        std::size_t d = 4;
        if (levels % 2 == 1) plan[count++] = {d, 1}, d *= 2;
        for (; 2 * d < m; d *= 4) plan[count++] = {d, 2};
    }

    // The sweeps whose groups fit a cache block run block by block.
    const std::size_t block = std::min(m, block_points);
    const int start = (first_two_done && levels >= 2) ? 1 : 0;
    int inblock = 0;
    while (inblock < count && plan[inblock].group() <= block) ++inblock;
    for (std::size_t b = 0; b < m; b += block)
        for (int k = start; k < inblock; ++k) run_sweep(plan[k], re + b, im + b, block, wcos, wsin);
    for (int k = inblock; k < count; ++k) run_sweep(plan[k], re, im, m, wcos, wsin);
}

void fft_split_real(double* re, double* im, std::size_t n, const double* tc, const double* ts,
                    double scale) {
    split_real(re, im, n, tc, ts, scale);
}

}  // namespace tessal
