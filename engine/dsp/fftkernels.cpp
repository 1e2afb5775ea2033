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

// The R-point transforms of four columns at once (the lanes of a vector):
// re and im hold R vectors each, in bit-reversed order of their rows; the
// stages run in place with the twiddles of fft_butterflies: spans 1 and 2
// together (twiddles 1 and i, no products), then two at a time (spans d and
// 2d in one sweep, as sweep_pair), then a lone last stage when their number
// is odd.
TESSAL_FFT_CLONES void column_butterflies(double* re, double* im, std::size_t r,
                                          const double* wcos, const double* wsin) {
    if (r < 4) {
        for (std::size_t a = 0; a < r; a += 2) {
            double* pr = re + lanes * a;
            double* pi = im + lanes * a;
            const vec ar = TESSAL_LOAD(pr), ai = TESSAL_LOAD(pi);
            const vec br = TESSAL_LOAD(pr + lanes), bi = TESSAL_LOAD(pi + lanes);
            TESSAL_STORE(pr, ar + br);
            TESSAL_STORE(pi, ai + bi);
            TESSAL_STORE(pr + lanes, ar - br);
            TESSAL_STORE(pi + lanes, ai - bi);
        }
        return;
    }
    for (std::size_t a = 0; a < r; a += 4) {
        double* pr = re + lanes * a;
        double* pi = im + lanes * a;
        const vec p0r = TESSAL_LOAD(pr), p0i = TESSAL_LOAD(pi);
        const vec p1r = TESSAL_LOAD(pr + lanes), p1i = TESSAL_LOAD(pi + lanes);
        const vec p2r = TESSAL_LOAD(pr + 2 * lanes), p2i = TESSAL_LOAD(pi + 2 * lanes);
        const vec p3r = TESSAL_LOAD(pr + 3 * lanes), p3i = TESSAL_LOAD(pi + 3 * lanes);
        const vec x0r = p0r + p1r, x0i = p0i + p1i;
        const vec x1r = p0r - p1r, x1i = p0i - p1i;
        const vec x2r = p2r + p3r, x2i = p2i + p3i;
        const vec x3r = p2r - p3r, x3i = p2i - p3i;
        TESSAL_STORE(pr, x0r + x2r);
        TESSAL_STORE(pi, x0i + x2i);
        TESSAL_STORE(pr + 2 * lanes, x0r - x2r);
        TESSAL_STORE(pi + 2 * lanes, x0i - x2i);
        // times i: (re, im) -> (-im, re)
        TESSAL_STORE(pr + lanes, x1r - x3i);
        TESSAL_STORE(pi + lanes, x1i + x3r);
        TESSAL_STORE(pr + 3 * lanes, x1r + x3i);
        TESSAL_STORE(pi + 3 * lanes, x1i - x3r);
    }
    std::size_t d = 4;
    for (; 4 * d <= r; d *= 4) {
        const std::size_t q = lanes * d;
        for (std::size_t e = 0; e < r; e += 4 * d) {
            for (std::size_t f = 0; f < d; ++f) {
                const double c = wcos[d + f], s = wsin[d + f];
                const double c2 = wcos[2 * d + f], s2 = wsin[2 * d + f];
                const double c3 = wcos[3 * d + f], s3 = wsin[3 * d + f];
                double* r0 = re + lanes * (e + f);
                double* i0 = im + lanes * (e + f);
                vec xr = TESSAL_LOAD(r0 + q), xi = TESSAL_LOAD(i0 + q);
                vec er = xr * c - xi * s, ei = xr * s + xi * c;
                vec yr = TESSAL_LOAD(r0), yi = TESSAL_LOAD(i0);
                const vec x0r = yr + er, x0i = yi + ei;
                const vec x1r = yr - er, x1i = yi - ei;
                xr = TESSAL_LOAD(r0 + 3 * q), xi = TESSAL_LOAD(i0 + 3 * q);
                er = xr * c - xi * s, ei = xr * s + xi * c;
                yr = TESSAL_LOAD(r0 + 2 * q), yi = TESSAL_LOAD(i0 + 2 * q);
                const vec x2r = yr + er, x2i = yi + ei;
                const vec x3r = yr - er, x3i = yi - ei;
                er = x2r * c2 - x2i * s2, ei = x2r * s2 + x2i * c2;
                TESSAL_STORE(r0, x0r + er);
                TESSAL_STORE(i0, x0i + ei);
                TESSAL_STORE(r0 + 2 * q, x0r - er);
                TESSAL_STORE(i0 + 2 * q, x0i - ei);
                er = x3r * c3 - x3i * s3, ei = x3r * s3 + x3i * c3;
                TESSAL_STORE(r0 + q, x1r + er);
                TESSAL_STORE(i0 + q, x1i + ei);
                TESSAL_STORE(r0 + 3 * q, x1r - er);
                TESSAL_STORE(i0 + 3 * q, x1i - ei);
            }
        }
    }
    if (d < r) {  // the lone last stage, span d = r / 2
        for (std::size_t f = 0; f < d; ++f) {
            const double c = wcos[d + f], s = wsin[d + f];
            double* pr = re + lanes * f;
            double* pi = im + lanes * f;
            double* qr = pr + lanes * d;
            double* qi = pi + lanes * d;
            const vec xr = TESSAL_LOAD(qr), xi = TESSAL_LOAD(qi);
            const vec er = xr * c - xi * s, ei = xr * s + xi * c;
            const vec yr = TESSAL_LOAD(pr), yi = TESSAL_LOAD(pi);
            TESSAL_STORE(qr, yr - er);
            TESSAL_STORE(qi, yi - ei);
            TESSAL_STORE(pr, yr + er);
            TESSAL_STORE(pi, yi + ei);
        }
    }
}

// Column pass of the four-step transform over the R x C matrix z[C r + c]
// for the columns c0 .. c0 + lanes - 1: the R-point transforms (in buf)
// times e^(+i 2 pi k c / m), stored as rows c of sre, sim (R entries each). tc and ts hold
// cos and sin of 2 pi i / 2m for i < m. The twiddles run by recurrence
// from an exact value every 16 rows, which keeps their error within a few
// units of the last place.
TESSAL_FFT_CLONES void column_twiddle_store(double* bre, double* bim, std::size_t r,
                                            std::size_t c0, std::size_t m,
                                            const double* tc, const double* ts, double* sre,
                                            double* sim) {
    auto exact = [&](std::size_t t, double& c, double& s) {
        t &= m - 1;  // e^(+i 2 pi t / m) = e^(+i 2 pi 2t / 2m)
        if (t < m / 2) {
            c = tc[2 * t];
            s = ts[2 * t];
        } else {
            c = -tc[2 * t - m];
            s = -ts[2 * t - m];
        }
    };
    double stc[lanes], sts[lanes];
    for (std::size_t l = 0; l < lanes; ++l) exact(c0 + l, stc[l], sts[l]);
    const vec stepr = TESSAL_LOAD(stc), stepi = TESSAL_LOAD(sts);
    vec wr = stepr, wi = stepi;
    for (std::size_t k = 0; k < r; ++k) {
        if (k % 16 == 0) {
            double ec[lanes], es[lanes];
            for (std::size_t l = 0; l < lanes; ++l) exact(k * (c0 + l), ec[l], es[l]);
            wr = TESSAL_LOAD(ec);
            wi = TESSAL_LOAD(es);
        } else {
            const vec nr = wr * stepr - wi * stepi, ni = wr * stepi + wi * stepr;
            wr = nr;
            wi = ni;
        }
        const vec xr = TESSAL_LOAD(bre + lanes * k), xi = TESSAL_LOAD(bim + lanes * k);
        TESSAL_STORE(bre + lanes * k, xr * wr - xi * wi);
        TESSAL_STORE(bim + lanes * k, xr * wi + xi * wr);
    }
    // Column c0 + l becomes row c0 + l of T.
#if defined(__GNUC__)
    for (double* const* part : {&sre, &sim}) {
        const double* b = part == &sre ? bre : bim;
        double* d = *part + c0 * r;
        for (std::size_t k = 0; k < r; k += 4) {
            const vec a0 = TESSAL_LOAD(b + lanes * k), a1 = TESSAL_LOAD(b + lanes * (k + 1));
            const vec a2 = TESSAL_LOAD(b + lanes * (k + 2)), a3 = TESSAL_LOAD(b + lanes * (k + 3));
            const vec t0 = __builtin_shufflevector(a0, a1, 0, 4, 2, 6);
            const vec t1 = __builtin_shufflevector(a0, a1, 1, 5, 3, 7);
            const vec t2 = __builtin_shufflevector(a2, a3, 0, 4, 2, 6);
            const vec t3 = __builtin_shufflevector(a2, a3, 1, 5, 3, 7);
            TESSAL_STORE(d + k, __builtin_shufflevector(t0, t2, 0, 1, 4, 5));
            TESSAL_STORE(d + r + k, __builtin_shufflevector(t1, t3, 0, 1, 4, 5));
            TESSAL_STORE(d + 2 * r + k, __builtin_shufflevector(t0, t2, 2, 3, 6, 7));
            TESSAL_STORE(d + 3 * r + k, __builtin_shufflevector(t1, t3, 2, 3, 6, 7));
        }
    }
#else
    for (std::size_t l = 0; l < lanes; ++l) {
        double* dr = sre + (c0 + l) * r;
        double* di = sim + (c0 + l) * r;
        for (std::size_t k = 0; k < r; ++k) {
            dr[k] = bre[lanes * k + l];
            di[k] = bim[lanes * k + l];
        }
    }
#endif
}

// Reads the columns c0 .. c0 + lanes - 1 of z[C r + c] = in(2 (C r + c)) +
// i in(2 (C r + c) + 1) into bre, bim, row r at the bit-reversed place.
TESSAL_FFT_CLONES void column_load(const tfftrealinput& in, std::size_t r, std::size_t cols,
                                   std::size_t c0, const std::uint32_t* rev, double* bre,
                                   double* bim) {
    const double* x = in.x;
    const double* win = in.win;
    const double mean = in.mean;
    for (std::size_t row = 0; row < r; ++row) {
        const std::size_t i0 = 2 * (cols * row + c0);
        double* dr = bre + lanes * rev[row];
        double* di = bim + lanes * rev[row];
        if (i0 + 2 * lanes <= in.w) {
#if defined(__GNUC__)
            vec v0 = TESSAL_LOAD(x + i0) - mean, v1 = TESSAL_LOAD(x + i0 + lanes) - mean;
            if (win) {
                v0 *= TESSAL_LOAD(win + i0);
                v1 *= TESSAL_LOAD(win + i0 + lanes);
            }
            TESSAL_STORE(dr, __builtin_shufflevector(v0, v1, 0, 2, 4, 6));
            TESSAL_STORE(di, __builtin_shufflevector(v0, v1, 1, 3, 5, 7));
            continue;
#endif
            if (win) {
                for (std::size_t l = 0; l < lanes; ++l) {
                    dr[l] = (x[i0 + 2 * l] - mean) * win[i0 + 2 * l];
                    di[l] = (x[i0 + 2 * l + 1] - mean) * win[i0 + 2 * l + 1];
                }
            } else {
                for (std::size_t l = 0; l < lanes; ++l) {
                    dr[l] = x[i0 + 2 * l] - mean;
                    di[l] = x[i0 + 2 * l + 1] - mean;
                }
            }
        } else {
            for (std::size_t l = 0; l < lanes; ++l) {
                const std::size_t i = i0 + 2 * l;
                dr[l] = i < in.w ? (x[i] - mean) * (win ? win[i] : 1.0) : 0.0;
                di[l] = i + 1 < in.w ? (x[i + 1] - mean) * (win ? win[i + 1] : 1.0) : 0.0;
            }
        }
    }
}

// The C-point transforms down the columns k0 .. k0 + lanes - 1 of the C x R
// matrix t[R j + k], in place, through the buffers bre, bim.
TESSAL_FFT_CLONES void columns_in_place(double* tre, double* tim, std::size_t r, std::size_t cols,
                                        std::size_t k0, const std::uint32_t* rev, double* bre,
                                        double* bim, const double* wcos, const double* wsin) {
    for (std::size_t j = 0; j < cols; ++j) {
        TESSAL_STORE(bre + lanes * rev[j], TESSAL_LOAD(tre + r * j + k0));
        TESSAL_STORE(bim + lanes * rev[j], TESSAL_LOAD(tim + r * j + k0));
    }
    column_butterflies(bre, bim, cols, wcos, wsin);
    for (std::size_t j = 0; j < cols; ++j) {
        TESSAL_STORE(tre + r * j + k0, TESSAL_LOAD(bre + lanes * j));
        TESSAL_STORE(tim + r * j + k0, TESSAL_LOAD(bim + lanes * j));
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
    const std::size_t m = n_ / 2;
    const int logm = logn - 1;
    four_step_ = m > large_points && m <= four_step_max_points;
    if (four_step_) {
        logr_ = logm / 2;
        logc_ = logm - logr_;
        rev_ = reversal_table(logr_);
        revrow_ = reversal_table(logc_);
        const std::size_t r = std::size_t{1} << logr_, c = std::size_t{1} << logc_;
        work_.assign(2 * lanes * std::max(r, c), 0.0);
        matrix_ = tsamplearr<double>(2 * m);
    } else {
        rev_ = logm > 0 ? reversal_table(logm) : std::vector<std::uint32_t>(1, 0);
        revrow_.clear();
        work_.clear();
        work_.shrink_to_fit();
        matrix_ = tsamplearr<double>();
    }
}

void tfftreal::forward(const tfftrealinput& in, double* re, double* im, double scale) {
    const double* tc = wcos_.data() + n_ / 2;
    const double* ts = wsin_.data() + n_ / 2;
    if (four_step_) {
        forward_large(in);
        const double* zre = matrix_.data();
        split_real(zre, zre + n_ / 2, re, im, n_, tc, ts, scale);
    } else {
        forward_small(in, re, im);
        split_real(re, im, re, im, n_, tc, ts, scale);
    }
}

void tfftreal::forward_small(const tfftrealinput& in, double* re, double* im) {
    const std::size_t n = n_, m = n_ / 2, w = in.w;
    const int logm = logn_ - 1;
    const double* x = in.x;
    const double* win = in.win;
    const double mean = in.mean;
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
    fft_butterflies(re, im, m, wcos_.data(), wsin_.data(), two_done);
}

// With z[C j1 + j2] (j1 < R, j2 < C) and k = k1 + R k2:
//     T[j2][k1] = e^(+i 2 pi j2 k1 / m) sum over j1 of z[C j1 + j2] e^(+i 2 pi j1 k1 / R),
//     Z[k1 + R k2] = sum over j2 of T[j2][k1] e^(+i 2 pi j2 k2 / C).
// T is stored as C rows of R, so the second step's result at [k2][k1] is Z
// in natural order, in place of T.
void tfftreal::forward_large(const tfftrealinput& in) {
    const std::size_t m = n_ / 2;
    const std::size_t r = std::size_t{1} << logr_, c = std::size_t{1} << logc_;
    double* tre = matrix_.data();
    double* tim = tre + m;
    double* bre = work_.data();
    double* bim = bre + work_.size() / 2;
    const double* tc = wcos_.data() + n_ / 2;  // cos 2 pi i / n = cos 2 pi i / 2m
    const double* ts = wsin_.data() + n_ / 2;
    for (std::size_t c0 = 0; c0 < c; c0 += lanes) {
        column_load(in, r, c, c0, rev_.data(), bre, bim);
        column_butterflies(bre, bim, r, wcos_.data(), wsin_.data());
        column_twiddle_store(bre, bim, r, c0, m, tc, ts, tre, tim);
    }
    for (std::size_t k0 = 0; k0 < r; k0 += lanes)
        columns_in_place(tre, tim, r, c, k0, revrow_.data(), bre, bim, wcos_.data(), wsin_.data());
}

}  // namespace tessal
