#include "engine/audio/tringbuffer.h"

#include <algorithm>

namespace tessal {

void tRingBuffer::set_nsamples(int v) {
    fnsamples = std::max(v, 1);
    rebuild();
}

void tRingBuffer::set_wavedisplaywidth(int v) {
    fwavedisplaywidth = std::max(v, 1);
    rebuild();
}

void tRingBuffer::rebuild() {
    fratefactor = fnsamples / fwavedisplaywidth + 1;
    buffer.assign(static_cast<std::size_t>(fratefactor) * fwavedisplaywidth, 0);
    wavedisplaybuffer.assign(fwavedisplaywidth, tminmax{0, 0});
    bufferpos = 0;
    wavedisplaybufferpos = 0;
}

void tRingBuffer::clear_buffers() {
    std::fill(buffer.begin(), buffer.end(), std::int16_t{0});
    std::fill(wavedisplaybuffer.begin(), wavedisplaybuffer.end(), tminmax{0, 0});
    bufferpos = 0;
    wavedisplaybufferpos = 0;
}

void tRingBuffer::add_sample(std::int16_t s) {
    bufferpos = (bufferpos + 1) % static_cast<int>(buffer.size());
    buffer[bufferpos] = s;
    int c = bufferpos / fratefactor;
    tminmax& col = wavedisplaybuffer[c];
    if (c != wavedisplaybufferpos || bufferpos % fratefactor == 0) {
        wavedisplaybufferpos = c;
        col = tminmax{};
    }
    col.min = std::min(col.min, s);
    col.max = std::max(col.max, s);
}

void tRingBuffer::add_wavechunk(const std::int16_t* arr, int used) {
    for (int i = 0; i < used; ++i) add_sample(arr[i]);
}

std::int16_t tRingBuffer::get_sample(int pos) const {
    int n = static_cast<int>(buffer.size());
    if (pos < 0 || pos >= n) return 0;
    return buffer[((bufferpos - pos) % n + n) % n];
}

std::vector<std::int16_t> tRingBuffer::get_wavechunk(int pos1, int pos2) const {
    std::vector<std::int16_t> r;
    for (int p = pos1; p <= pos2; ++p) r.push_back(get_sample(p));
    return r;
}

std::vector<tminmax> tRingBuffer::Getwavedisplay() const {
    std::vector<tminmax> r;
    int n = fwavedisplaywidth;
    r.reserve(n);
    for (int i = 1; i <= n; ++i) r.push_back(wavedisplaybuffer[(wavedisplaybufferpos + i) % n]);
    return r;
}

}  // namespace tessal
