// tRingBuffer: the last fnsamples samples of one side of a recording, and
// per overview column the min and max of the samples that fell in it.
// Positions passed to get_sample/get_wavechunk count back from the write
// position; reads outside the buffer give 0.
#pragma once

#include <cstdint>
#include <vector>

namespace tessal {

struct tminmax {
    std::int16_t min = 32767;
    std::int16_t max = -32768;
};

class tRingBuffer {
public:
    tRingBuffer() { rebuild(); }
    int nsamples() const { return fnsamples; }
    void set_nsamples(int v);
    int wavedisplaywidth() const { return fwavedisplaywidth; }
    void set_wavedisplaywidth(int v);
    int ratefactor() const { return fratefactor; }

    void add_sample(std::int16_t s);
    void add_wavechunk(const std::int16_t* arr, int used);
    std::int16_t get_sample(int pos) const;
    std::vector<std::int16_t> get_wavechunk(int pos1, int pos2) const;
    // The columns oldest first, starting after the one being written.
    std::vector<tminmax> Getwavedisplay() const;
    void clear_buffers();

private:
    void rebuild();

    int fnsamples = 100;
    int fwavedisplaywidth = 10;
    int fratefactor = 11;
    std::vector<std::int16_t> buffer;
    int bufferpos = 0;
    std::vector<tminmax> wavedisplaybuffer;
    int wavedisplaybufferpos = 0;
};

}  // namespace tessal
