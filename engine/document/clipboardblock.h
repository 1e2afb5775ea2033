// The "Tessal Sampled Data" block: copied samples of one or more channels
// as they travel through the clipboard. Little-endian: nchans (int32), the
// left selection cursor in seconds (float32), then per channel nsamples
// (int32), sampfreq (float32), fsd (float32) and the samples (float32 each).
// Size = 8 + sum(12 + 4 * nsamples) bytes.
//
// Contract: parse_clipblock accepts exactly what serialise_clipblock writes
// and refuses anything else (negative or oversized counts, a block cut
// short or longer than its contents) with EClipboardError, before it
// allocates: a damaged block can never make it read out of bounds or
// allocate more than the block itself holds.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <vector>

namespace tessal {

class EClipboardError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct tclipchannel {
    float sampfreq = 0;
    float fsd = 0;
    std::vector<float> samples;
};

struct tclipblock {
    float start = 0;  // left selection cursor of the copy, seconds
    std::vector<tclipchannel> chans;
};

std::vector<std::uint8_t> serialise_clipblock(const tclipblock& block);
tclipblock parse_clipblock(const std::vector<std::uint8_t>& bytes);

}  // namespace tessal
