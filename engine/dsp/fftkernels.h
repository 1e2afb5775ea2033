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

namespace tessal {

// All stages over m = 2^k points whose input is already in bit-reversed
// order. The tables hold m entries (indices 1 .. m - 1 used).
void fft_butterflies(double* re, double* im, std::size_t m, const double* wcos,
                     const double* wsin);

// For every j < 2^bits, load(j, r, i) gives a value that is stored at
// re[reverse(j)], im[reverse(j)], where reverse(j) reverses the low `bits`
// bits; `bitflip` is the reversal table of 2^logn >= 2^bits entries. The
// visiting order keeps both the reads around j and the writes around
// reverse(j) within few cache lines at a time, which a plain loop over j
// does not for large sizes.
template <typename Load>
void fft_scatter_reversed(int bits, int logn, const std::uint32_t* bitflip, double* re,
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
        return;
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
            double* dr = re + drow;
            double* di = im + drow;
            for (std::size_t t = 0; t < tile; ++t) {
                dr[t] = br[rev4[t]][l];
                di[t] = bi[rev4[t]][l];
            }
        }
    }
}

}  // namespace tessal
