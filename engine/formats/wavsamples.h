// The sample loops of the WAVE reader and writer: interleaved little-endian
// frames to per-channel arrays and back, in every coding a WAVE file may hold.
//
// Decoding gives the values of the reader's table: 8-bit PCM (b - 128) / 127,
// A-law and mu-law their 16-bit G.711 expansion x 2^-15, 16/24/32-bit PCM
// v x 2^-15 / 2^-23 / 2^-31, half floats widened exactly, 32-bit floats as
// stored. Encoding scales each channel by its own gain, adds dither when
// asked, clips to the coding's range and rounds to nearest (ties to even).
// NaN becomes 0 in the integer codings. Both directions work on whole blocks
// held in memory and make no call per sample that the compiler cannot inline
// (A-law, mu-law and half floats excepted on writing).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/dsp/arrays.h"

namespace tessal {

enum class twavcoding { none, u8, alaw, ulaw, s16, f16, s24, s32, f32 };

// The coding of a bits / format pair, or none when the pair is not one of
// PCM 8/16/24/32, float 16/32, A-law 8 or mu-law 8.
twavcoding wav_coding(std::uint32_t bits, tFormat format);
int wav_coding_bytes(twavcoding c);
bool wav_coding_is_float(twavcoding c);  // f16 and f32 have no integer reading

// Decodes `nframes` frames of `nchans` samples from `src`. For every channel
// ch with out[ch] != nullptr, out[ch][0..nframes) receives its samples.
void decode_frames(twavcoding c, const std::uint8_t* src, std::size_t nframes, int nchans,
                   float* const* out);
// The integer reading of one channel: 8-bit PCM b - 128, A-law and mu-law
// their 16-bit expansion, PCM as stored (sign-extended). Not for float codings.
void decode_frames_int(twavcoding c, const std::uint8_t* src, std::size_t nframes, int nchans,
                       int channo, std::int32_t* out);

// Triangular dither source: r1 - r2 of two uniform numbers in [0, 1).
class tditherrng {
public:
    explicit tditherrng(std::uint64_t seed) : s_(seed) {}
    std::uint64_t next() {
        // splitmix64: fast, and good enough to decorrelate dither.
        std::uint64_t z = (s_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // r1 - r2, each of 24 random bits.
    double triangular() {
        const std::uint64_t z = next();
        return (static_cast<double>(z >> 40) - static_cast<double>((z >> 8) & 0xFFFFFF)) * 0x1p-24;
    }
    float uniform() { return static_cast<float>(next() >> 40) * 0x1p-24f; }

private:
    std::uint64_t s_;
};

// One block of input for encoding: channel ch supplies in[ch][0..count[ch]),
// and zeros for the rest of the block.
template <class T>
struct tblockinput {
    std::vector<const T*> in;
    std::vector<std::size_t> count;
};

// Encodes float samples. gain[ch] maps a sample to the coding's integer
// steps (127 / F for 8-bit PCM, 125 / F when dithering; 32768 / F for 16-bit,
// A-law and mu-law; 2^23 / F and 2^31 / F for 24 and 32 bits); the float
// codings ignore it.
void encode_frames(twavcoding c, const tblockinput<float>& block, std::size_t nframes,
                   const std::vector<double>& gain, tditherrng* dither, std::uint8_t* dst);
// Integer forms: 16-bit and 24-bit PCM only, values stored as they are
// (plus dither when asked), clipped to the coding's range.
void encode_frames(twavcoding c, const tblockinput<std::int16_t>& block, std::size_t nframes,
                   tditherrng* dither, std::uint8_t* dst);
void encode_frames(twavcoding c, const tblockinput<tint24>& block, std::size_t nframes,
                   tditherrng* dither, std::uint8_t* dst);

}  // namespace tessal
