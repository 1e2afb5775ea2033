// The blocks a sample store is made of, and the cache that decides which of
// them are in memory.
//
// A tblock holds up to block_samples floats that never change once the
// block is made (the one exception is a store filling the free room at the
// end of a block only it refers to). Its samples are in memory, or in a
// tsamplesource they are read from again when needed, or in the cache's
// scratch file once they had to leave memory. pin() brings them into
// memory and keeps them there while the returned pointer is held.
//
// The tblockcache counts the bytes of the blocks in memory against a
// budget and, when a block comes in over it, sends the least recently used
// unpinned blocks out: a source block just forgets its samples, a memory
// block is first appended to the scratch file. When everything left is
// pinned the cache goes over the budget rather than fail, and records by
// how much.
//
// Threads: blocks and the cache may be used from any thread. Each block
// has a mutex for loading and evicting; the cache has one for its list and
// one for the scratch file. A block's mutex may be held while the cache's
// is taken, never the other way round.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <list>
#include <memory>
#include <mutex>

namespace tessal {

// The most samples a block holds (256 KB of floats).
inline constexpr std::size_t block_samples = 65536;

// Where samples outside memory come from: a file's data, decoded on each
// access. read() fills out[0..n) with samples from..from+n; errors throw.
// It may be called from several threads at once.
class tsamplesource {
public:
    virtual ~tsamplesource() = default;
    virtual void read(std::int64_t from, std::size_t n, float* out) const = 0;
};

class tblockcache;
class tsamplestore;

class tblock {
public:
    // A block holding a copy of p[0..n) (n <= capacity <= block_samples;
    // the room beyond n can be filled later by the one store owning it).
    static std::shared_ptr<const tblock> from_memory(const std::shared_ptr<tblockcache>& cache,
                                                     const float* p, std::size_t n,
                                                     std::size_t capacity = 0);
    // A block standing for samples from..from+n of `source`; nothing is read.
    static std::shared_ptr<const tblock> from_source(const std::shared_ptr<tblockcache>& cache,
                                                     std::shared_ptr<tsamplesource> source,
                                                     std::int64_t from, std::size_t n);

    ~tblock();
    tblock(const tblock&) = delete;
    tblock& operator=(const tblock&) = delete;

    std::size_t size() const;
    bool from_source() const { return static_cast<bool>(source_); }
    // The samples, in memory while the pointer (or a copy of it) is held.
    // Loads them from the source or the scratch file if they are out.
    std::shared_ptr<const float[]> pin() const;
    bool in_memory() const;
    // out[0..n) = samples at..at+n of the block. Samples out of memory that
    // a source holds are decoded from it straight into `out`, without
    // loading the block; the others are copied from memory (after loading
    // them from the scratch file when they are there).
    void copy_out(std::size_t at, std::size_t n, float* out) const;

private:
    friend class tblockcache;
    friend class tsamplestore;
    struct tkey {};

public:
    explicit tblock(tkey) {}

private:
    // Sends the samples out of memory unless pinned; false when pinned or
    // already out. Throws when a memory block cannot be written to scratch.
    bool evict() const;
    // Forgets the samples when that costs nothing: not pinned, and they can
    // be read again from the source or the scratch file. False otherwise.
    bool drop() const;
    // Appends p[0..n) in the free room when the samples are in memory and
    // there is room; false otherwise. Only for a block one store owns.
    bool fill(const float* p, std::size_t n) const;
    std::size_t bytes_locked() const { return capacity_ * sizeof(float); }

    std::shared_ptr<tblockcache> cache_;
    std::shared_ptr<tsamplesource> source_;
    std::int64_t source_from_ = 0;

    mutable std::mutex mutex_;
    mutable std::shared_ptr<float[]> data_;   // null while out of memory
    mutable std::size_t size_ = 0;
    mutable std::size_t capacity_ = 0;
    mutable std::int64_t scratch_offset_ = -1;  // where a memory block was spilled

    // The cache's bookkeeping, under the cache's mutex.
    mutable std::weak_ptr<const tblock> self_;
    mutable bool listed_ = false;
    mutable std::list<std::weak_ptr<const tblock>>::iterator lru_pos_;
};

struct tcachestats {
    std::size_t budget = 0;            // bytes
    std::size_t bytes_in_memory = 0;   // of the blocks loaded now
    std::size_t bytes_spilled = 0;     // written to the scratch file, in all
    std::size_t bytes_in_scratch = 0;  // of blocks that still exist (the rest is given back)
    std::size_t blocks_in_memory = 0;
    std::uint64_t blocks_made = 0;     // memory and source blocks
    std::uint64_t loads = 0;           // from a source or the scratch file
    std::uint64_t evictions = 0;
    std::uint64_t spills = 0;          // evictions that wrote the scratch file
    std::size_t max_overshoot = 0;     // bytes over the budget with all pinned
};

class tblockcache {
public:
    // budget_bytes 0: a quarter of physical memory. The scratch file is
    // made in `scratch_folder` (and the folder with it, when missing) when
    // the first memory block has to leave memory, and removed from the folder as soon as it is open, so it goes
    // with the process.
    explicit tblockcache(std::size_t budget_bytes = 0,
                         std::filesystem::path scratch_folder = std::filesystem::temp_directory_path());
    ~tblockcache();
    tblockcache(const tblockcache&) = delete;
    tblockcache& operator=(const tblockcache&) = delete;

    // The one cache of the process, for stores made without one.
    static const std::shared_ptr<tblockcache>& process();
    static std::size_t quarter_of_physical_memory();

    std::size_t budget() const;
    // A lower budget takes effect at the next load or new block.
    void set_budget(std::size_t bytes);
    const std::filesystem::path& scratch_folder() const { return folder_; }
    tcachestats stats() const;

    // Sends unpinned blocks out, least recently used first, until the
    // bytes in memory are within the budget. Throws when a block cannot be
    // written to the scratch file (that block stays in memory).
    void trim();
    // The same, but a scratch file error only leaves memory over budget.
    void trim_nothrow() noexcept;

private:
    friend class tblock;

    // Called with the block's mutex held.
    void block_in(const tblock& b);
    void block_touched(const tblock& b);
    void block_out(const tblock& b, bool spilled);
    void block_gone(const tblock& b);
    void block_made();
    std::int64_t scratch_write(const float* p, std::size_t n);
    void scratch_read(std::int64_t offset, std::size_t n, float* out);
    // Gives the disk space of a block's copy back (a hole in the file).
    void scratch_release(std::int64_t offset, std::size_t n) noexcept;

    const std::filesystem::path folder_;

    mutable std::mutex mutex_;
    std::size_t budget_;
    std::list<std::weak_ptr<const tblock>> lru_;  // most recent first
    tcachestats stats_;

    std::mutex scratch_mutex_;
    int fd_ = -1;
    std::int64_t scratch_end_ = 0;
};

}  // namespace tessal
