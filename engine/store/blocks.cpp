#include "engine/store/blocks.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

namespace tessal {

// ---------------------------------------------------------------- tblock

std::shared_ptr<const tblock> tblock::from_memory(const std::shared_ptr<tblockcache>& cache,
                                                  const float* p, std::size_t n, std::size_t capacity) {
    capacity = std::max(capacity, n);
    if (n == 0 || capacity > block_samples) throw std::invalid_argument("tblock::from_memory: bad size");
    auto b = std::make_shared<tblock>(tkey{});
    b->cache_ = cache;
    b->data_ = std::shared_ptr<float[]>(new float[capacity]);
    std::memcpy(b->data_.get(), p, n * sizeof(float));
    b->size_ = n;
    b->capacity_ = capacity;
    b->self_ = b;
    cache->block_made();
    std::lock_guard lock(b->mutex_);
    cache->block_in(*b);
    return b;
}

std::shared_ptr<const tblock> tblock::from_source(const std::shared_ptr<tblockcache>& cache,
                                                  std::shared_ptr<tsamplesource> source,
                                                  std::int64_t from, std::size_t n) {
    if (n == 0 || n > block_samples || !source) throw std::invalid_argument("tblock::from_source: bad block");
    auto b = std::make_shared<tblock>(tkey{});
    b->cache_ = cache;
    b->source_ = std::move(source);
    b->source_from_ = from;
    b->size_ = n;
    b->capacity_ = n;
    b->self_ = b;
    cache->block_made();
    return b;
}

tblock::~tblock() {
    if (!cache_) return;
    if (scratch_offset_ >= 0) cache_->scratch_release(scratch_offset_, size_);
    cache_->block_gone(*this);
}

std::size_t tblock::size() const {
    std::lock_guard lock(mutex_);
    return size_;
}

bool tblock::in_memory() const {
    std::lock_guard lock(mutex_);
    return static_cast<bool>(data_);
}

std::shared_ptr<const float[]> tblock::pin() const {
    std::shared_ptr<const float[]> p;
    bool loaded = false;
    {
        std::lock_guard lock(mutex_);
        if (data_) {
            cache_->block_touched(*this);
        } else {
            std::shared_ptr<float[]> d(new float[capacity_]);
            if (source_)
                source_->read(source_from_, size_, d.get());
            else
                cache_->scratch_read(scratch_offset_, size_, d.get());
            data_ = std::move(d);
            cache_->block_in(*this);
            loaded = true;
        }
        p = data_;
    }
    // Outside the block's mutex: trimming takes other blocks' mutexes. A
    // read never fails for want of memory or scratch room.
    if (loaded) cache_->trim_nothrow();
    return p;
}

void tblock::copy_out(std::size_t at, std::size_t n, float* out) const {
    std::shared_ptr<const float[]> p;
    {
        std::lock_guard lock(mutex_);
        if (at > size_ || n > size_ - at) throw std::out_of_range("tblock: span outside the block");
        if (data_) {
            cache_->block_touched(*this);
            p = data_;
        }
    }
    if (!p && source_) {
        // Read outside the block's mutex (a source may be read from several
        // threads at once), so other readers of the block do not wait.
        source_->read(source_from_ + static_cast<std::int64_t>(at), n, out);
        return;
    }
    if (!p) p = pin();
    std::memcpy(out, p.get() + at, n * sizeof(float));
}

bool tblock::evict() const {
    std::lock_guard lock(mutex_);
    if (!data_ || data_.use_count() > 1) return false;
    bool spilled = false;
    if (!source_ && scratch_offset_ < 0) {
        scratch_offset_ = cache_->scratch_write(data_.get(), size_);
        spilled = true;
    }
    data_.reset();
    cache_->block_out(*this, spilled);
    return true;
}

bool tblock::drop() const {
    std::lock_guard lock(mutex_);
    if (!data_ || data_.use_count() > 1 || (!source_ && scratch_offset_ < 0)) return false;
    data_.reset();
    cache_->block_out(*this, false);
    return true;
}

bool tblock::fill(const float* p, std::size_t n) const {
    std::lock_guard lock(mutex_);
    if (source_ || !data_ || size_ + n > capacity_) return false;
    // Pins handed out earlier read only [0, size_), so the room after it is
    // free to write.
    std::memcpy(data_.get() + size_, p, n * sizeof(float));
    // The copy in the scratch file is short now.
    if (scratch_offset_ >= 0) cache_->scratch_release(scratch_offset_, size_);
    scratch_offset_ = -1;
    size_ += n;
    return true;
}

// ------------------------------------------------------------ tblockcache

std::size_t tblockcache::quarter_of_physical_memory() {
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long page = ::sysconf(_SC_PAGE_SIZE);
    if (pages <= 0 || page <= 0) return std::size_t(1) << 30;
    return static_cast<std::size_t>(pages) / 4 * static_cast<std::size_t>(page);
}

tblockcache::tblockcache(std::size_t budget_bytes, std::filesystem::path scratch_folder)
    : folder_(std::move(scratch_folder)),
      budget_(budget_bytes ? budget_bytes : quarter_of_physical_memory()) {
    stats_.budget = budget_;
}

tblockcache::~tblockcache() {
    if (fd_ >= 0) ::close(fd_);
}

const std::shared_ptr<tblockcache>& tblockcache::process() {
    static const std::shared_ptr<tblockcache> cache = std::make_shared<tblockcache>();
    return cache;
}

std::size_t tblockcache::budget() const {
    std::lock_guard lock(mutex_);
    return budget_;
}

void tblockcache::set_budget(std::size_t bytes) {
    std::lock_guard lock(mutex_);
    budget_ = bytes;
    stats_.budget = bytes;
}

tcachestats tblockcache::stats() const {
    std::lock_guard lock(mutex_);
    return stats_;
}

void tblockcache::block_made() {
    std::lock_guard lock(mutex_);
    ++stats_.blocks_made;
}

void tblockcache::block_in(const tblock& b) {
    std::lock_guard lock(mutex_);
    // A memory block is "in" when made; everything later is a load.
    if (b.source_ || b.scratch_offset_ >= 0) ++stats_.loads;
    if (b.listed_) return;
    lru_.push_front(b.self_);
    b.lru_pos_ = lru_.begin();
    b.listed_ = true;
    stats_.bytes_in_memory += b.bytes_locked();
    ++stats_.blocks_in_memory;
}

void tblockcache::block_touched(const tblock& b) {
    std::lock_guard lock(mutex_);
    if (b.listed_) lru_.splice(lru_.begin(), lru_, b.lru_pos_);
}

void tblockcache::block_out(const tblock& b, bool spilled) {
    std::lock_guard lock(mutex_);
    if (!b.listed_) return;
    lru_.erase(b.lru_pos_);
    b.listed_ = false;
    stats_.bytes_in_memory -= b.bytes_locked();
    --stats_.blocks_in_memory;
    ++stats_.evictions;
    if (spilled) {
        ++stats_.spills;
        stats_.bytes_spilled += b.size_ * sizeof(float);
    }
}

void tblockcache::block_gone(const tblock& b) {
    std::lock_guard lock(mutex_);
    if (!b.listed_) return;
    lru_.erase(b.lru_pos_);
    b.listed_ = false;
    stats_.bytes_in_memory -= b.bytes_locked();
    --stats_.blocks_in_memory;
}

void tblockcache::trim() {
    std::size_t tries;
    {
        std::lock_guard lock(mutex_);
        tries = lru_.size();
    }
    // Each try takes the least recently used block and moves it to the
    // front: out of memory if it can go, kept as recently used if pinned.
    for (; tries > 0; --tries) {
        std::shared_ptr<const tblock> victim;
        {
            std::lock_guard lock(mutex_);
            if (stats_.bytes_in_memory <= budget_ || lru_.empty()) return;
            auto last = std::prev(lru_.end());
            victim = last->lock();  // null while the block is being destroyed
            lru_.splice(lru_.begin(), lru_, last);
        }
        if (victim) victim->evict();
    }
    std::lock_guard lock(mutex_);
    if (stats_.bytes_in_memory > budget_)
        stats_.max_overshoot = std::max(stats_.max_overshoot, stats_.bytes_in_memory - budget_);
}

void tblockcache::trim_nothrow() noexcept {
    try {
        trim();
    } catch (...) {
        // The blocks that could not be written stay in memory, over budget.
        std::lock_guard lock(mutex_);
        if (stats_.bytes_in_memory > budget_)
            stats_.max_overshoot = std::max(stats_.max_overshoot, stats_.bytes_in_memory - budget_);
    }
}

namespace {
[[noreturn]] void scratch_error(const std::string& what, const std::filesystem::path& where, int err) {
    throw std::system_error(err, std::generic_category(),
                            "scratch file in \"" + where.string() + "\": " + what);
}

// `left` bytes at `pos` through pread or pwrite, again after a short
// transfer or an interrupted call; `none` is the error when nothing moves.
template <class Io, class Byte>
void whole_transfer(Io io, int fd, Byte* bytes, std::size_t left, std::int64_t pos, const char* what,
                    int none, const std::filesystem::path& where) {
    while (left > 0) {
        const ssize_t got = io(fd, bytes, left, pos);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) scratch_error(what, where, got < 0 ? errno : none);
        bytes += got;
        left -= static_cast<std::size_t>(got);
        pos += got;
    }
}
}  // namespace

std::int64_t tblockcache::scratch_write(const float* p, std::size_t n) {
    std::lock_guard lock(scratch_mutex_);
    if (fd_ < 0) {
        // The folder is made with the file, so a folder chosen but never
        // needed is never made.
        std::error_code ec;
        std::filesystem::create_directories(folder_, ec);
        if (ec) scratch_error("cannot create the folder", folder_, ec.value());
        std::string name = (folder_ / "tessal-scratch-XXXXXX").string();
        std::vector<char> buf(name.begin(), name.end());
        buf.push_back('\0');
        const int fd = ::mkstemp(buf.data());
        if (fd < 0) scratch_error("cannot create it", folder_, errno);
        ::unlink(buf.data());
        fd_ = fd;
    }
    const std::int64_t at = scratch_end_;
    whole_transfer(::pwrite, fd_, reinterpret_cast<const char*>(p), n * sizeof(float), at, "cannot write to it",
                   ENOSPC, folder_);
    scratch_end_ = at + static_cast<std::int64_t>(n * sizeof(float));
    {
        std::lock_guard stats_lock(mutex_);
        stats_.bytes_in_scratch += n * sizeof(float);
    }
    return at;
}

void tblockcache::scratch_release(std::int64_t offset, std::size_t n) noexcept {
    {
        std::lock_guard lock(scratch_mutex_);
        if (fd_ >= 0)
            ::fallocate(fd_, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, offset,
                        static_cast<off_t>(n * sizeof(float)));  // where holes are not supported the space stays taken
    }
    std::lock_guard lock(mutex_);
    stats_.bytes_in_scratch -= n * sizeof(float);
}

void tblockcache::scratch_read(std::int64_t offset, std::size_t n, float* out) {
    int fd;
    {
        std::lock_guard lock(scratch_mutex_);
        fd = fd_;
    }
    whole_transfer(::pread, fd, reinterpret_cast<char*>(out), n * sizeof(float), offset, "cannot read from it", EIO,
                   folder_);
}

}  // namespace tessal
