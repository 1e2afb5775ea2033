// Block conversion loops of the WAVE reader and writer (see wavsamples.h).
// Each coding gets its own instantiation of a small loop template, with the
// byte width as a constant and the mono and stereo layouts spelled out, so
// the loops compile to straight loads, multiplies and stores.
#include "engine/formats/wavsamples.h"

#include <array>
#include <bit>
#include <cstring>
#include <type_traits>

#include "engine/formats/g711.h"
#include "engine/formats/halffloat.h"

namespace tessal {
namespace {

using bytep = const std::uint8_t*;

inline std::int32_t load16(bytep p) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(p[0] | (p[1] << 8)));
}
inline std::int32_t load24(bytep p) {
    const std::uint32_t u = static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
                            (static_cast<std::uint32_t>(p[2]) << 16);
    return static_cast<std::int32_t>(u << 8) >> 8;
}
inline std::uint32_t load32u(bytep p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

struct tbytetables {
    std::array<float, 256> u8, alaw, ulaw;
    std::array<std::int32_t, 256> u8i, alawi, ulawi;
};

const tbytetables& byte_tables() {
    static const tbytetables t = [] {
        tbytetables r{};
        for (int b = 0; b < 256; ++b) {
            const auto code = static_cast<std::uint8_t>(b);
            r.u8i[b] = b - 128;
            r.alawi[b] = alaw_to_linear(code);
            r.ulawi[b] = ulaw_to_linear(code);
            r.u8[b] = static_cast<float>((b - 128) / 127.0);
            r.alaw[b] = static_cast<float>(r.alawi[b]) * 0x1p-15f;
            r.ulaw[b] = static_cast<float>(r.ulawi[b]) * 0x1p-15f;
        }
        return r;
    }();
    return t;
}

template <int B, class T, class Conv>
void deinterleave(bytep src, std::size_t n, int nchans, T* const* out, Conv conv) {
    if (nchans == 1) {
        T* o = out[0];
        if (o)
            for (std::size_t f = 0; f < n; ++f) o[f] = conv(src + f * B);
        return;
    }
    if (nchans == 2 && out[0] && out[1]) {
        T* o0 = out[0];
        T* o1 = out[1];
        for (std::size_t f = 0; f < n; ++f) {
            bytep p = src + f * (2 * B);
            o0[f] = conv(p);
            o1[f] = conv(p + B);
        }
        return;
    }
    const std::size_t stride = static_cast<std::size_t>(nchans) * B;
    for (int ch = 0; ch < nchans; ++ch) {
        T* o = out[ch];
        if (!o) continue;
        bytep p = src + static_cast<std::size_t>(ch) * B;
        for (std::size_t f = 0; f < n; ++f) o[f] = conv(p + f * stride);
    }
}

// The fast path for codings whose samples are a whole C++ type (16-bit and
// 32-bit PCM, 32-bit float) on a little-endian machine, mono or stereo: the
// frames go through a small typed buffer in fixed chunks, a shape the
// compiler turns into vector code. Returns false when it does not apply.
template <class S, class T, class Conv>
bool deinterleave_typed(bytep src, std::size_t n, int nchans, T* const* out, Conv conv) {
    if constexpr (std::endian::native != std::endian::little) {
        return false;
    } else {
        constexpr std::size_t chunk = 16;
        auto run = [&](auto channels, T* __restrict o0, T* __restrict o1) {
            constexpr int c = decltype(channels)::value;
            std::size_t f = 0;
            for (; f + chunk <= n; f += chunk) {
                S t[chunk * c];
                std::memcpy(t, src + f * c * sizeof(S), sizeof t);
                T* __restrict a = o0 + f;
                for (std::size_t j = 0; j < chunk; ++j) a[j] = conv(t[c * j]);
                if constexpr (c == 2) {
                    T* __restrict b = o1 + f;
                    for (std::size_t j = 0; j < chunk; ++j) b[j] = conv(t[c * j + 1]);
                }
            }
            for (; f < n; ++f) {
                S t[c];
                std::memcpy(t, src + f * c * sizeof(S), sizeof t);
                o0[f] = conv(t[0]);
                if constexpr (c == 2) o1[f] = conv(t[1]);
            }
        };
        if (nchans == 1 && out[0]) {
            run(std::integral_constant<int, 1>{}, out[0], nullptr);
            return true;
        }
        if (nchans == 2 && out[0] && out[1]) {
            run(std::integral_constant<int, 2>{}, out[0], out[1]);
            return true;
        }
        return false;
    }
}

// Round to nearest, ties to even, for |y| < 2^51: adding and removing 1.5 x 2^52
// leaves the rounded value, without a library call per sample.
inline double round_even(double y) {
    constexpr double k = 6755399441055744.0;
    return (y + k) - k;
}

inline double clip(double y, double lo, double hi) {
    if (y != y) return 0;  // NaN
    return y < lo ? lo : (y > hi ? hi : y);
}

inline void store16(std::uint8_t* p, std::int32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void store24(std::uint8_t* p, std::int32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v >> 16);
}
inline void store32(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v >> 16);
    p[3] = static_cast<std::uint8_t>(v >> 24);
}

// Writes channel ch of a block: conv(value) for the samples the channel has,
// conv(T{}) (zero) for the rest. Channels outer, frames inner: each channel's
// input is read sequentially and the output block stays in cache.
template <int B, class T, class Conv>
void interleave(const tblockinput<T>& block, std::size_t nframes, std::uint8_t* dst, Conv conv) {
    const int nchans = static_cast<int>(block.in.size());
    const std::size_t stride = static_cast<std::size_t>(nchans) * B;
    for (int ch = 0; ch < nchans; ++ch) {
        const T* in = block.in[ch];
        std::size_t have = in ? block.count[ch] : 0;
        if (have > nframes) have = nframes;
        std::uint8_t* p = dst + static_cast<std::size_t>(ch) * B;
        std::size_t f = 0;
        for (; f < have; ++f) conv(ch, in[f], p + f * stride);
        for (; f < nframes; ++f) conv(ch, T{}, p + f * stride);
    }
}

// The fast path of writing mono or stereo 16-bit and 32-bit PCM and 32-bit
// float on a little-endian machine, without dither, while every channel
// still has samples: frames are built in a small typed buffer in fixed
// chunks (a shape the compiler turns into vector code) and copied out.
// Returns false when it does not apply.
template <class S, class Q>
bool interleave_typed(const tblockinput<float>& block, std::size_t n, std::uint8_t* dst, Q q) {
    if constexpr (std::endian::native != std::endian::little) {
        return false;
    } else {
        const std::size_t nchans = block.in.size();
        if (nchans < 1 || nchans > 2) return false;
        for (std::size_t ch = 0; ch < nchans; ++ch)
            if (!block.in[ch] || block.count[ch] < n) return false;
        constexpr std::size_t chunk = 16;
        const float* __restrict a = block.in[0];
        std::size_t f = 0;
        if (nchans == 1) {
            for (; f + chunk <= n; f += chunk) {
                S t[chunk];
                for (std::size_t j = 0; j < chunk; ++j) t[j] = q(0, a[f + j]);
                std::memcpy(dst + f * sizeof(S), t, sizeof t);
            }
            for (; f < n; ++f) {
                const S v = q(0, a[f]);
                std::memcpy(dst + f * sizeof(S), &v, sizeof v);
            }
        } else {
            const float* __restrict b = block.in[1];
            for (; f + chunk <= n; f += chunk) {
                S t[2 * chunk];
                for (std::size_t j = 0; j < chunk; ++j) {
                    t[2 * j] = q(0, a[f + j]);
                    t[2 * j + 1] = q(1, b[f + j]);
                }
                std::memcpy(dst + 2 * f * sizeof(S), t, sizeof t);
            }
            for (; f < n; ++f) {
                const S t[2] = {q(0, a[f]), q(1, b[f])};
                std::memcpy(dst + 2 * f * sizeof(S), t, sizeof t);
            }
        }
        return true;
    }
}

// Scales, clips (NaN to 0) and rounds one sample to an integer coding.
template <class S>
inline S quantise(float x, double gain, double lo, double hi) {
    double y = x * gain;
    y = y == y ? y : 0.0;
    y = y < lo ? lo : y;
    y = y > hi ? hi : y;
    return static_cast<S>(static_cast<std::int32_t>(round_even(y)));
}

}  // namespace

twavcoding wav_coding(std::uint32_t bits, tFormat format) {
    switch (format) {
        case tFormat::pcm:
            switch (bits) {
                case 8: return twavcoding::u8;
                case 16: return twavcoding::s16;
                case 24: return twavcoding::s24;
                case 32: return twavcoding::s32;
                default: return twavcoding::none;
            }
        case tFormat::ieeefloat:
            return bits == 16 ? twavcoding::f16 : bits == 32 ? twavcoding::f32 : twavcoding::none;
        case tFormat::alaw: return bits == 8 ? twavcoding::alaw : twavcoding::none;
        case tFormat::ulaw: return bits == 8 ? twavcoding::ulaw : twavcoding::none;
    }
    return twavcoding::none;
}

int wav_coding_bytes(twavcoding c) {
    switch (c) {
        case twavcoding::u8:
        case twavcoding::alaw:
        case twavcoding::ulaw: return 1;
        case twavcoding::s16:
        case twavcoding::f16: return 2;
        case twavcoding::s24: return 3;
        case twavcoding::s32:
        case twavcoding::f32: return 4;
        case twavcoding::none: break;
    }
    return 0;
}

bool wav_coding_is_float(twavcoding c) { return c == twavcoding::f16 || c == twavcoding::f32; }

void decode_frames(twavcoding c, const std::uint8_t* src, std::size_t n, int nchans, float* const* out) {
    const tbytetables& t = byte_tables();
    switch (c) {
        case twavcoding::u8:
            deinterleave<1>(src, n, nchans, out, [&](bytep p) { return t.u8[*p]; });
            break;
        case twavcoding::alaw:
            deinterleave<1>(src, n, nchans, out, [&](bytep p) { return t.alaw[*p]; });
            break;
        case twavcoding::ulaw:
            deinterleave<1>(src, n, nchans, out, [&](bytep p) { return t.ulaw[*p]; });
            break;
        case twavcoding::s16:
            if (!deinterleave_typed<std::int16_t>(src, n, nchans, out,
                                                  [](std::int16_t v) { return static_cast<float>(v) * 0x1p-15f; }))
                deinterleave<2>(src, n, nchans, out,
                                [](bytep p) { return static_cast<float>(load16(p)) * 0x1p-15f; });
            break;
        case twavcoding::f16:
            deinterleave<2>(src, n, nchans, out, [](bytep p) {
                return half_to_float(static_cast<std::uint16_t>(p[0] | (p[1] << 8)));
            });
            break;
        case twavcoding::s24: {
            auto bytewise = [](bytep p) { return static_cast<float>(load24(p)) * 0x1p-23f; };
            if constexpr (std::endian::native != std::endian::little) {
                deinterleave<3>(src, n, nchans, out, bytewise);
            } else {
                // One 4-byte load that ends at the sample's last byte, then an
                // arithmetic shift drops the byte before it. Every sample but
                // the block's first has such a byte inside the block.
                if (n == 0) break;
                const std::size_t stride = static_cast<std::size_t>(nchans) * 3;
                std::vector<float*> next(static_cast<std::size_t>(nchans), nullptr);
                for (int ch = 0; ch < nchans; ++ch) {
                    if (!out[ch]) continue;
                    out[ch][0] = bytewise(src + 3 * ch);
                    next[static_cast<std::size_t>(ch)] = out[ch] + 1;
                }
                deinterleave<3>(src + stride, n - 1, nchans, next.data(), [](bytep p) {
                    std::uint32_t u;
                    std::memcpy(&u, p - 1, 4);
                    return static_cast<float>(static_cast<std::int32_t>(u) >> 8) * 0x1p-23f;
                });
            }
            break;
        }
        case twavcoding::s32:
            if (!deinterleave_typed<std::int32_t>(src, n, nchans, out,
                                                  [](std::int32_t v) { return static_cast<float>(v) * 0x1p-31f; }))
                deinterleave<4>(src, n, nchans, out, [](bytep p) {
                    return static_cast<float>(static_cast<std::int32_t>(load32u(p))) * 0x1p-31f;
                });
            break;
        case twavcoding::f32:
            if (deinterleave_typed<float>(src, n, nchans, out, [](float v) { return v; })) break;
            deinterleave<4>(src, n, nchans, out, [](bytep p) {
                const std::uint32_t u = load32u(p);
                float v;
                std::memcpy(&v, &u, 4);
                return v;
            });
            break;
        case twavcoding::none: break;
    }
}

void decode_frames_int(twavcoding c, const std::uint8_t* src, std::size_t n, int nchans, int channo,
                       std::int32_t* out) {
    const tbytetables& t = byte_tables();
    std::vector<std::int32_t*> outs(static_cast<std::size_t>(nchans), nullptr);
    outs[static_cast<std::size_t>(channo)] = out;
    std::int32_t* const* o = outs.data();
    switch (c) {
        case twavcoding::u8: deinterleave<1>(src, n, nchans, o, [&](bytep p) { return t.u8i[*p]; }); break;
        case twavcoding::alaw: deinterleave<1>(src, n, nchans, o, [&](bytep p) { return t.alawi[*p]; }); break;
        case twavcoding::ulaw: deinterleave<1>(src, n, nchans, o, [&](bytep p) { return t.ulawi[*p]; }); break;
        case twavcoding::s16: deinterleave<2>(src, n, nchans, o, [](bytep p) { return load16(p); }); break;
        case twavcoding::s24: deinterleave<3>(src, n, nchans, o, [](bytep p) { return load24(p); }); break;
        case twavcoding::s32:
            deinterleave<4>(src, n, nchans, o,
                            [](bytep p) { return static_cast<std::int32_t>(load32u(p)); });
            break;
        default: break;
    }
}

void encode_frames(twavcoding c, const tblockinput<float>& block, std::size_t n,
                   const std::vector<double>& gain, tditherrng* dither, std::uint8_t* dst) {
    const double* g = gain.data();
    switch (c) {
        case twavcoding::u8:
            interleave<1>(block, n, dst, [&](int ch, float x, std::uint8_t* p) {
                double y = x * g[ch];
                if (dither) y += dither->triangular();
                *p = static_cast<std::uint8_t>(round_even(clip(y, -128.0, 127.0) + 128.0));
            });
            break;
        case twavcoding::alaw:
        case twavcoding::ulaw: {
            // Beyond full scale the value is clipped to 16 bits rather than
            // wrapped: an overload saturates instead of flipping sign.
            const bool a = c == twavcoding::alaw;
            interleave<1>(block, n, dst, [&](int ch, float x, std::uint8_t* p) {
                const auto s = static_cast<std::int16_t>(round_even(clip(x * g[ch], -32768.0, 32767.0)));
                *p = a ? linear_to_alaw(s) : linear_to_ulaw(s);
            });
            break;
        }
        case twavcoding::s16:
            if (!dither && interleave_typed<std::int16_t>(block, n, dst, [g](int ch, float x) {
                    return quantise<std::int16_t>(x, g[ch], -32768.0, 32767.0);
                }))
                break;
            interleave<2>(block, n, dst, [&](int ch, float x, std::uint8_t* p) {
                double y = x * g[ch];
                if (dither) y += dither->triangular();
                store16(p, static_cast<std::int32_t>(round_even(clip(y, -32768.0, 32767.0))));
            });
            break;
        case twavcoding::f16:
            interleave<2>(block, n, dst, [&](int, float x, std::uint8_t* p) {
                if (x > 65504.0f) x = 65504.0f;
                if (x < -65504.0f) x = -65504.0f;
                const std::uint16_t h = dither ? float_to_half_dithered(x, dither->uniform()) : float_to_half(x);
                p[0] = static_cast<std::uint8_t>(h);
                p[1] = static_cast<std::uint8_t>(h >> 8);
            });
            break;
        case twavcoding::s24:
            interleave<3>(block, n, dst, [&](int ch, float x, std::uint8_t* p) {
                double y = x * g[ch];
                if (dither) y += dither->triangular();
                store24(p, static_cast<std::int32_t>(round_even(clip(y, -8388608.0, 8388607.0))));
            });
            break;
        case twavcoding::s32:
            if (!dither && interleave_typed<std::int32_t>(block, n, dst, [g](int ch, float x) {
                    return quantise<std::int32_t>(x, g[ch], -2147483648.0, 2147483647.0);
                }))
                break;
            interleave<4>(block, n, dst, [&](int ch, float x, std::uint8_t* p) {
                double y = x * g[ch];
                if (dither) y += dither->triangular();
                const auto v = static_cast<std::int64_t>(round_even(clip(y, -2147483648.0, 2147483647.0)));
                store32(p, static_cast<std::uint32_t>(v));
            });
            break;
        case twavcoding::f32:
            if (interleave_typed<float>(block, n, dst, [](int, float x) { return x; })) break;
            interleave<4>(block, n, dst, [](int, float x, std::uint8_t* p) {
                std::uint32_t u;
                std::memcpy(&u, &x, 4);
                store32(p, u);
            });
            break;
        case twavcoding::none: break;
    }
}

void encode_frames(twavcoding c, const tblockinput<std::int16_t>& block, std::size_t n, tditherrng* dither,
                   std::uint8_t* dst) {
    if (c != twavcoding::s16) return;
    interleave<2>(block, n, dst, [&](int, std::int16_t v, std::uint8_t* p) {
        std::int32_t s = v;
        if (dither) s = static_cast<std::int32_t>(round_even(clip(v + dither->triangular(), -32768.0, 32767.0)));
        store16(p, s);
    });
}

void encode_frames(twavcoding c, const tblockinput<tint24>& block, std::size_t n, tditherrng* dither,
                   std::uint8_t* dst) {
    if (c != twavcoding::s24) return;
    interleave<3>(block, n, dst, [&](int, tint24 t, std::uint8_t* p) {
        if (dither) {
            const std::int32_t v = load24(t.b);
            store24(p, static_cast<std::int32_t>(round_even(clip(v + dither->triangular(), -8388608.0, 8388607.0))));
        } else {
            p[0] = t.b[0];
            p[1] = t.b[1];
            p[2] = t.b[2];
        }
    });
}

}  // namespace tessal
