// tworksig: one signal of a process's working set, held either as a sample
// store (a channel's samples as the load step took them, or a streaming
// step's output: blocks under the document's memory budget, shared with the
// channel, never copied) or as a plain array (what steps that compute over
// the whole signal at once make and read).
//
// Streaming steps read either kind through size(), read() and
// for_each_chunk(). The array accessors (arr(), data(), begin() and the
// conversions to tsinglearr) hold only for an array: the runner turns
// stores into arrays, after checking the memory they need, before a step
// that does not take stores runs (stepsupport.h, arrays_for).
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <stdexcept>
#include <vector>

#include "engine/dsp/arrays.h"
#include "engine/store/samplestore.h"

namespace tessal {

class tworksig {
public:
    tworksig() = default;
    tworksig(tsinglearr a) : arr_(std::move(a)) {}
    tworksig(std::initializer_list<float> l) : arr_(l) {}
    tworksig(tsamplestore s) : store_(std::move(s)), isstore_(true) {}

    bool is_store() const { return isstore_; }
    std::size_t size() const {
        return isstore_ ? static_cast<std::size_t>(store_.size()) : arr_.size();
    }
    bool empty() const { return size() == 0; }

    // The array; std::logic_error while the signal is a store.
    tsinglearr& arr() {
        if (isstore_) throw std::logic_error("working signal is a store, not an array");
        return arr_;
    }
    const tsinglearr& arr() const {
        if (isstore_) throw std::logic_error("working signal is a store, not an array");
        return arr_;
    }
    operator tsinglearr&() { return arr(); }
    operator const tsinglearr&() const { return arr(); }
    float* data() { return arr().data(); }
    const float* data() const { return arr().data(); }
    auto begin() { return arr().begin(); }
    auto end() { return arr().end(); }
    auto begin() const { return arr().begin(); }
    auto end() const { return arr().end(); }

    // The store; std::logic_error while the signal is an array.
    const tsamplestore& store() const {
        if (!isstore_) throw std::logic_error("working signal is an array, not a store");
        return store_;
    }

    // out[0..n) = samples from..from+n, either kind.
    void read(std::int64_t from, std::size_t n, float* out) const {
        if (isstore_) {
            store_.read(from, n, out);
            return;
        }
        if (from < 0 || static_cast<std::size_t>(from) + n > arr_.size())
            throw std::out_of_range("working signal read outside its samples");
        std::copy(arr_.data() + from, arr_.data() + from + n, out);
    }
    // f(p, n, pos) over samples from..to in order (one call for an array).
    // A store is read as a walk that reads each sample once
    // (tsamplestore::stream_chunks).
    template <class F>
    void for_each_chunk(std::int64_t from, std::int64_t to, F&& f) const {
        if (isstore_) {
            store_.stream_chunks(from, to, f);
            return;
        }
        if (from < 0 || from > to || static_cast<std::size_t>(to) > arr_.size())
            throw std::out_of_range("working signal read outside its samples");
        if (from < to) f(arr_.data() + from, static_cast<std::size_t>(to - from), from);
    }

    // A copy of the samples as an array, either kind.
    tsinglearr to_array() const { return isstore_ ? store_.to_array() : arr_; }
    // The samples as a store: the store itself, or the array's samples in
    // new blocks of `cache`.
    tsamplestore to_store(const std::shared_ptr<tblockcache>& cache) const {
        return isstore_ ? store_ : tsamplestore::from_array(arr_, cache);
    }
    // Turns a store into an array (no check: the runner's arrays_for checks
    // the memory first).
    void make_array() {
        if (!isstore_) return;
        arr_ = store_.to_array();
        store_ = tsamplestore(store_.cache());
        isstore_ = false;
    }

private:
    tsinglearr arr_;
    tsamplestore store_;
    bool isstore_ = false;
};

// Appends samples to a store through a bounded buffer, so a streaming step
// writes a signal of any length without holding it as an array.
class tstoreappender {
public:
    explicit tstoreappender(std::shared_ptr<tblockcache> cache) : store_(std::move(cache)) {
        buf_.reserve(block_samples);
    }
    void push(float v) {
        buf_.push_back(v);
        if (buf_.size() == block_samples) flush();
    }
    void append(const float* p, std::size_t n) {
        while (n > 0) {
            const std::size_t k = std::min(n, block_samples - buf_.size());
            buf_.insert(buf_.end(), p, p + k);
            p += k;
            n -= k;
            if (buf_.size() == block_samples) flush();
        }
    }
    // n copies of v.
    void fill(float v, std::size_t n) {
        while (n > 0) {
            const std::size_t k = std::min(n, block_samples - buf_.size());
            buf_.insert(buf_.end(), k, v);
            n -= k;
            if (buf_.size() == block_samples) flush();
        }
    }
    std::int64_t size() const { return store_.size() + static_cast<std::int64_t>(buf_.size()); }
    // The samples pushed so far; the appender is empty afterwards.
    tsamplestore take() {
        flush();
        tsamplestore s = std::move(store_);
        store_ = tsamplestore(s.cache());
        return s;
    }

private:
    void flush() {
        if (buf_.empty()) return;
        store_.append(buf_.data(), buf_.size());
        buf_.clear();
    }
    tsamplestore store_;
    std::vector<float> buf_;
};

}  // namespace tessal
