// The inner loops of the FFT: the bit-reversed placement of the input and
// the in-place decimation-in-time radix-2 butterflies. Each stage of span d
// combines the points a = e + f and b = a + d (e a multiple of 2d, f < d)
// with the twiddle (c, s) = (wcos[d + f], wsin[d + f]), the cosine and sine
// of 2 pi f / 2d:
//     E + iG = (re[b] + i im[b]) (c + i s);  b := a - (E + iG);  a := a + (E + iG).
// The stages are grouped for speed (two per sweep over the data, the short
// spans block by block inside the level-1 cache), which leaves the
// arithmetic of every butterfly as it is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/dsp/samplearr.h"

namespace tessal {

// All stages over m = 2^k points whose input is already in bit-reversed
// order, or all but the first stages_done (0, 2 or 4: spans 1 and 2, or
// spans 1 to 8, done while placing the input). The tables hold m entries
// (indices 1 .. m - 1 used).
void fft_butterflies(double* re, double* im, std::size_t m, const double* wcos,
                     const double* wsin, int stages_done = 0);

// Turns the m = n/2 point transform Z of z[j] = x[2j] + i x[2j + 1] (in
// re, im [0, m)) into the n point transform X of the real x, times scale,
// in re, im [0, n). With E and O the transforms of the even and odd samples,
// E[k] = (Z[k] + conj Z[m-k]) / 2, O[k] = (Z[k] - conj Z[m-k]) / 2i,
// X[k] = E[k] + w^k O[k] and X[m-k] = conj(E[k] - w^k O[k]) for
// w = e^(+i 2 pi / n); the upper half is the conjugate mirror. tc and ts
// hold cos and sin of 2 pi k / n for k < m.
void fft_split_real(double* re, double* im, std::size_t n, const double* tc, const double* ts,
                    double scale);

// The twiddles of every span d < n (n a power of two >= 2) into wcos and
// wsin (n entries each): [d, 2d) holds cos and sin of 2 pi f / 2d, f < d,
// taken from the top span's cos and sin of 2 pi i / n, which come from the
// first octant by symmetry, so that the quarter and eighth points are exact.
void fft_build_twiddles(std::size_t n, double* wcos, double* wsin);

// The butterflies of span 1 and 2 (twiddles 1 and i) on four consecutive
// points.
inline void fft_span1and2(double* re, double* im) {
    const double x0r = re[0] + re[1], x0i = im[0] + im[1];
    const double x1r = re[0] - re[1], x1i = im[0] - im[1];
    const double x2r = re[2] + re[3], x2i = im[2] + im[3];
    const double x3r = re[2] - re[3], x3i = im[2] - im[3];
    re[0] = x0r + x2r;
    im[0] = x0i + x2i;
    re[2] = x0r - x2r;
    im[2] = x0i - x2i;
    // times i: (re, im) -> (-im, re)
    re[1] = x1r - x3i;
    im[1] = x1i + x3r;
    re[3] = x1r + x3i;
    im[3] = x1i - x3r;
}

// For every j < 2^bits, load(j, r, i) gives a value that is stored at
// re[reverse(j)], im[reverse(j)], where reverse(j) reverses the low `bits`
// bits; `bitflip` is the reversal table of 2^logn >= 2^bits entries. The
// visiting order keeps both the reads around j and the writes around
// reverse(j) within few cache lines at a time, which a plain loop over j
// does not for large sizes. Large sizes also get the butterflies of span 1
// and 2 on the way out, which saves a sweep; the result says whether they
// did.
template <typename Load>
bool fft_scatter_reversed(int bits, int logn, const std::uint32_t* bitflip, double* re,
                          double* im, Load&& load) {
    const int shift = logn - bits;
    constexpr int tile_bits = 4;
    constexpr std::size_t tile = std::size_t{1} << tile_bits;
    if (bits < 2 * tile_bits + 2) {
        const std::size_t n = std::size_t{1} << bits;
        for (std::size_t j = 0; j < n; ++j) {
            const std::size_t p = bitflip[j] >> shift;
            load(j, re[p], im[p]);
        }
        return false;
    }
    // j = (h, mid, l) with h and l of tile_bits bits: a tile of fixed mid is
    // read as rows of consecutive l, buffered, and written as rows of
    // consecutive reverse(h).
    static constexpr std::uint8_t rev4[16] = {0, 8, 4, 12, 2, 10, 6, 14,
                                              1, 9, 5, 13, 3, 11, 7, 15};
    const int midbits = bits - 2 * tile_bits;
    const int hshift = bits - tile_bits;
    const std::size_t mids = std::size_t{1} << midbits;
    double br[tile][tile], bi[tile][tile];
    for (std::size_t mid = 0; mid < mids; ++mid) {
        for (std::size_t h = 0; h < tile; ++h) {
            const std::size_t row = (h << hshift) | (mid << tile_bits);
            for (std::size_t l = 0; l < tile; ++l) load(row | l, br[h][l], bi[h][l]);
        }
        const std::size_t rmid = static_cast<std::size_t>(bitflip[mid] >> (logn - midbits))
                                 << tile_bits;
        for (std::size_t l = 0; l < tile; ++l) {
            const std::size_t drow = (static_cast<std::size_t>(rev4[l]) << hshift) | rmid;
            double vr[tile], vi[tile];
            for (std::size_t t = 0; t < tile; ++t) {
                vr[t] = br[rev4[t]][l];
                vi[t] = bi[rev4[t]][l];
            }
            for (std::size_t t = 0; t < tile; t += 4) fft_span1and2(vr + t, vi + t);
            double* dr = re + drow;
            double* di = im + drow;
            for (std::size_t t = 0; t < tile; ++t) {
                dr[t] = vr[t];
                di[t] = vi[t];
            }
        }
    }
    return true;
}

// A real block as the transform reads it: (x[i] - mean) * win[i] for i < w
// (without win when it is null), zero from w on.
struct tfftrealinput {
    const double* x = nullptr;
    const double* win = nullptr;
    double mean = 0.0;
    std::size_t w = 0;
};

// The transform of a real block of n = 2^logn points (2 <= logn <= 24) with
// its tables:
//     X[k] = scale * sum over j < n of in(j) e^(+i 2 pi j k / n),   k < n,
// into re and im (n entries each; the upper half is the conjugate mirror).
// The n/2 point complex transform of z[j] = in(2j) + i in(2j + 1) is split
// into X afterwards (fft_split_real; Sorensen et al. 1987, real-valued FFTs).
//
// The complex transform is the decimation-in-time radix-2 FFT of Cooley and
// Tukey (1965): from small_points complex points on, the block is placed in
// bit-reversed order tile by tile with the first four stages (a 16-point
// transform over the lowest four bits of the placed index) done in vector
// registers on the way, so the data are read once for the first four; then the
// butterflies above sweep the rest, two stages per sweep, inside level-1 and
// level-2 cache blocks while the groups fit them. Below small_points the
// plain placement with the first two stages. A four-step order (Bailey 1990)
// over an R x C matrix measured slower than this at every size once the
// first four stages moved into the placement, and was dropped.
class tfftreal {
public:
    static constexpr std::size_t small_points = std::size_t{1} << 8;

    void resize(int logn);
    int logsize() const { return logn_; }
    std::size_t size() const { return n_; }
    void forward(const tfftrealinput& in, double* re, double* im, double scale);

private:
    void forward_complex(const tfftrealinput& in, double* re, double* im);

    int logn_ = -1;
    std::size_t n_ = 0;
    // Twiddles of every span d < n in the layout of fft_butterflies
    // ([d, 2d): cos and sin of 2 pi f / 2d); the top span's half holds
    // cos and sin of 2 pi k / n, the split's table.
    std::vector<double> wcos_, wsin_;
    std::vector<std::uint32_t> rev_;  // bit reversal over n / 2
};

}  // namespace tessal
