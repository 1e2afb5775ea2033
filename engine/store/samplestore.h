// tsamplestore: a channel's samples as a list of extents, each a stretch of
// one shared block (blocks.h). Copies share the blocks and copy only the
// list, so a copy kept for undo or a clipboard costs a few bytes per 64 K
// samples; an edit splits the extents at its ends and never moves samples
// (erase and insert cost O(number of extents)); writing over samples
// replaces only the blocks it touches by new ones. The samples may be in
// memory, in a sample source (a file's data, read when accessed) or in the
// cache's scratch file; every read goes through the blocks' pins.
//
// A store is a value like std::vector: one thread may edit it while others
// read other stores that share its blocks. Its const members may be called
// from several threads at once, except at(), which keeps the block it read
// last.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/dsp/arrays.h"
#include "engine/store/blocks.h"

namespace tessal {

class tsamplestore {
public:
    // A stretch of one block: samples offset..offset+length of it.
    struct textent {
        std::shared_ptr<const tblock> block;
        std::uint32_t offset = 0;
        std::uint32_t length = 0;
    };

    // An empty store whose new blocks go to the process's cache, or to `cache`.
    tsamplestore();
    explicit tsamplestore(std::shared_ptr<tblockcache> cache);
    static tsamplestore from_array(const tsinglearr& a,
                                   std::shared_ptr<tblockcache> cache = tblockcache::process());

    tsamplestore(const tsamplestore& o);
    tsamplestore(tsamplestore&& o) noexcept;
    tsamplestore& operator=(const tsamplestore& o);
    tsamplestore& operator=(tsamplestore&& o) noexcept;
    ~tsamplestore();

    std::int64_t size() const { return ends_.empty() ? 0 : ends_.back(); }
    bool empty() const { return ends_.empty(); }
    const std::shared_ptr<tblockcache>& cache() const { return cache_; }
    std::size_t extent_count() const { return ext_.size(); }
    const std::vector<textent>& extents() const { return ext_; }

    // Sample i (0 <= i < size()); for tests and single samples, not loops.
    float at(std::int64_t i) const;
    // out[0..n) = samples from..from+n.
    void read(std::int64_t from, std::size_t n, float* out) const;
    // Calls f(const float* p, std::size_t n, std::int64_t pos) for the
    // samples from..to in order, one call per piece of an extent, with the
    // piece's block pinned during the call.
    template <class F>
    void for_each_chunk(std::int64_t from, std::int64_t to, F&& f) const;
    // The same for a walk that reads each sample once (a process step going
    // through a long signal): once a piece reaches the end of its extent,
    // the block is forgotten again when it can be read back for nothing
    // (from the file or the scratch file), so the walk does not fill the
    // cache with blocks it will not read again.
    template <class F>
    void stream_chunks(std::int64_t from, std::int64_t to, F&& f) const;
    // out[0..n) = samples from..from+n, for a caller that reads each sample
    // once into a buffer of its own (a copy handed to another program): a
    // block that is out of memory and reads from a source is decoded from
    // it straight into `out` and stays out; blocks in memory are copied,
    // blocks in the scratch file are loaded as read() loads them.
    void read_through(std::int64_t from, std::size_t n, float* out) const;
    // A contiguous copy of samples from..to (all of them by default).
    tsinglearr to_array() const { return to_array(0, size()); }
    tsinglearr to_array(std::int64_t from, std::int64_t to) const;

    // Samples from..to as a store of their own, sharing the blocks.
    tsamplestore slice(std::int64_t from, std::int64_t to) const;

    // The edits. Each either completes or, when it throws (no memory, the
    // scratch file cannot be written), leaves the store as it was.
    void erase(std::int64_t from, std::int64_t to);
    void insert(std::int64_t at, const tsamplestore& other);
    void insert(std::int64_t at, const float* p, std::size_t n);
    void append(const float* p, std::size_t n);
    void append(const tsamplestore& other) { insert(size(), other); }
    void write(std::int64_t at, const float* p, std::size_t n);
    void clear();
    // Samples from..from+n of `source` at the end, as blocks that read it
    // when accessed; nothing is read now.
    void append_source(std::shared_ptr<tsamplesource> source, std::int64_t from, std::int64_t n);

    // Packs runs of adjacent extents shorter than a quarter block into new
    // memory blocks (reads their samples). Edits by many small pieces leave
    // such runs; the samples stay the same.
    void compact();

private:
    // The extent holding sample pos (0 <= pos < size()).
    std::size_t find(std::int64_t pos) const;
    // Splits the extent holding pos so that an extent starts there; returns
    // its index (ext.size() for pos == end).
    static std::size_t split(std::vector<textent>& ext, std::int64_t pos);
    std::vector<textent> memory_extents(const float* p, std::size_t n, bool room_at_end) const;
    void commit(std::vector<textent>&& ext);
    void check_span(std::int64_t from, std::int64_t to) const;
    // for_each_chunk, and with `once` stream_chunks.
    template <class F>
    void walk(std::int64_t from, std::int64_t to, bool once, F&& f) const;

    std::shared_ptr<tblockcache> cache_;
    std::vector<textent> ext_;
    std::vector<std::int64_t> ends_;  // ends_[k]: position after extent k

    // at()'s last block.
    mutable std::size_t last_ = 0;
    mutable std::shared_ptr<const float[]> last_pin_;
};

template <class F>
void tsamplestore::walk(std::int64_t from, std::int64_t to, bool once, F&& f) const {
    check_span(from, to);
    if (from == to) return;
    std::size_t k = find(from);
    std::int64_t pos = from;
    while (pos < to) {
        const textent& e = ext_[k];
        const std::int64_t start = ends_[k] - e.length;
        const std::int64_t stop = std::min(to, ends_[k]);
        {
            const auto pin = e.block->pin();
            f(pin.get() + e.offset + (pos - start), static_cast<std::size_t>(stop - pos), pos);
        }
        if (once && stop == ends_[k]) e.block->drop();
        pos = stop;
        ++k;
    }
}

template <class F>
void tsamplestore::for_each_chunk(std::int64_t from, std::int64_t to, F&& f) const {
    walk(from, to, false, f);
}

template <class F>
void tsamplestore::stream_chunks(std::int64_t from, std::int64_t to, F&& f) const {
    walk(from, to, true, f);
}

}  // namespace tessal
