#include "engine/store/samplestore.h"

#include <cstring>
#include <stdexcept>
#include <utility>

namespace tessal {

tsamplestore::tsamplestore() : cache_(tblockcache::process()) {}
tsamplestore::tsamplestore(std::shared_ptr<tblockcache> cache) : cache_(std::move(cache)) {}

tsamplestore::tsamplestore(const tsamplestore& o) : cache_(o.cache_), ext_(o.ext_), ends_(o.ends_) {}
tsamplestore::tsamplestore(tsamplestore&& o) noexcept
    : cache_(o.cache_), ext_(std::move(o.ext_)), ends_(std::move(o.ends_)) {
    o.ext_.clear();
    o.ends_.clear();
    o.last_pin_.reset();
}
tsamplestore& tsamplestore::operator=(const tsamplestore& o) {
    if (this != &o) {
        tsamplestore copy(o);
        *this = std::move(copy);
    }
    return *this;
}
tsamplestore& tsamplestore::operator=(tsamplestore&& o) noexcept {
    if (this != &o) {
        cache_ = o.cache_;
        ext_ = std::move(o.ext_);
        ends_ = std::move(o.ends_);
        last_pin_.reset();
        o.ext_.clear();
        o.ends_.clear();
        o.last_pin_.reset();
    }
    return *this;
}
tsamplestore::~tsamplestore() = default;

tsamplestore tsamplestore::from_array(const tsinglearr& a, std::shared_ptr<tblockcache> cache) {
    tsamplestore s(std::move(cache));
    s.append(a.data(), a.size());
    return s;
}

void tsamplestore::check_span(std::int64_t from, std::int64_t to) const {
    if (from < 0 || to < from || to > size()) throw std::out_of_range("tsamplestore: span outside the samples");
}

std::size_t tsamplestore::find(std::int64_t pos) const {
    return static_cast<std::size_t>(std::upper_bound(ends_.begin(), ends_.end(), pos) - ends_.begin());
}

std::size_t tsamplestore::split(std::vector<textent>& ext, std::int64_t pos) {
    std::int64_t start = 0;
    for (std::size_t k = 0; k < ext.size(); ++k) {
        if (start == pos) return k;
        const std::int64_t end = start + ext[k].length;
        if (pos < end) {
            const auto head = static_cast<std::uint32_t>(pos - start);
            textent tail{ext[k].block, ext[k].offset + head, ext[k].length - head};
            ext[k].length = head;
            ext.insert(ext.begin() + static_cast<std::ptrdiff_t>(k) + 1, std::move(tail));
            return k + 1;
        }
        start = end;
    }
    return ext.size();
}

void tsamplestore::commit(std::vector<textent>&& ext) {
    ext_ = std::move(ext);
    ends_.resize(ext_.size());
    std::int64_t pos = 0;
    for (std::size_t k = 0; k < ext_.size(); ++k) {
        pos += ext_[k].length;
        ends_[k] = pos;
    }
    last_pin_.reset();
}

std::vector<tsamplestore::textent> tsamplestore::memory_extents(const float* p, std::size_t n,
                                                                bool room_at_end) const {
    std::vector<textent> out;
    out.reserve(n / block_samples + 1);
    for (std::size_t done = 0; done < n;) {
        const std::size_t k = std::min(block_samples, n - done);
        const bool last = done + k == n;
        out.push_back({tblock::from_memory(cache_, p + done, k, last && room_at_end ? block_samples : k), 0,
                       static_cast<std::uint32_t>(k)});
        done += k;
    }
    return out;
}

float tsamplestore::at(std::int64_t i) const {
    if (i < 0 || i >= size()) throw std::out_of_range("tsamplestore::at");
    if (!last_pin_ || last_ >= ext_.size() || i >= ends_[last_] || i < ends_[last_] - ext_[last_].length) {
        last_pin_.reset();
        last_ = find(i);
        last_pin_ = ext_[last_].block->pin();
    }
    const textent& e = ext_[last_];
    return last_pin_[e.offset + static_cast<std::size_t>(i - (ends_[last_] - e.length))];
}

void tsamplestore::read(std::int64_t from, std::size_t n, float* out) const {
    const std::int64_t to = from + static_cast<std::int64_t>(n);
    for_each_chunk(from, to, [&](const float* p, std::size_t k, std::int64_t pos) {
        std::memcpy(out + (pos - from), p, k * sizeof(float));
    });
}

void tsamplestore::read_through(std::int64_t from, std::size_t n, float* out) const {
    const std::int64_t to = from + static_cast<std::int64_t>(n);
    check_span(from, to);
    if (from == to) return;
    std::int64_t pos = from;
    for (std::size_t k = find(from); pos < to; ++k) {
        const textent& e = ext_[k];
        const std::int64_t start = ends_[k] - e.length;
        const std::int64_t stop = std::min(to, ends_[k]);
        e.block->copy_out(e.offset + static_cast<std::size_t>(pos - start), static_cast<std::size_t>(stop - pos),
                          out + (pos - from));
        pos = stop;
    }
}

tsinglearr tsamplestore::to_array(std::int64_t from, std::int64_t to) const {
    check_span(from, to);
    tsinglearr a(static_cast<std::size_t>(to - from), tnoinit);
    read(from, a.size(), a.data());
    return a;
}

tsamplestore tsamplestore::slice(std::int64_t from, std::int64_t to) const {
    check_span(from, to);
    tsamplestore s(cache_);
    if (from == to) return s;
    std::vector<textent> ext;
    for (std::size_t k = find(from); k < ext_.size() && ends_[k] - ext_[k].length < to; ++k) {
        const std::int64_t start = ends_[k] - ext_[k].length;
        const std::int64_t a = std::max(from, start), b = std::min(to, ends_[k]);
        ext.push_back({ext_[k].block, ext_[k].offset + static_cast<std::uint32_t>(a - start),
                       static_cast<std::uint32_t>(b - a)});
    }
    s.commit(std::move(ext));
    return s;
}

void tsamplestore::erase(std::int64_t from, std::int64_t to) {
    check_span(from, to);
    if (from == to) return;
    auto ext = ext_;
    const std::size_t i = split(ext, from);
    const std::size_t j = split(ext, to);
    ext.erase(ext.begin() + static_cast<std::ptrdiff_t>(i), ext.begin() + static_cast<std::ptrdiff_t>(j));
    commit(std::move(ext));
}

void tsamplestore::insert(std::int64_t at, const tsamplestore& other) {
    check_span(at, at);
    if (other.empty()) return;
    const std::vector<textent> add = other.ext_;  // other may be *this
    auto ext = ext_;
    const std::size_t i = split(ext, at);
    ext.insert(ext.begin() + static_cast<std::ptrdiff_t>(i), add.begin(), add.end());
    commit(std::move(ext));
}

void tsamplestore::insert(std::int64_t at, const float* p, std::size_t n) {
    check_span(at, at);
    if (n == 0) return;
    if (at == size()) {
        append(p, n);
        return;
    }
    auto add = memory_extents(p, n, false);
    auto ext = ext_;
    const std::size_t i = split(ext, at);
    ext.insert(ext.begin() + static_cast<std::ptrdiff_t>(i), add.begin(), add.end());
    add.clear();
    cache_->trim();
    commit(std::move(ext));
}

void tsamplestore::append(const float* p, std::size_t n) {
    if (n == 0) return;
    last_pin_.reset();
    // Fill the room at the end of the last block when this store alone
    // refers to it and covers all of it.
    std::size_t filled = 0;
    if (!ext_.empty()) {
        textent& e = ext_.back();
        if (e.block.use_count() == 1 && e.offset == 0 && !e.block->from_source() &&
            e.length == e.block->size()) {
            const std::size_t k = std::min(n, block_samples - e.length);
            if (k > 0 && e.block->fill(p, k)) {
                e.length += static_cast<std::uint32_t>(k);
                ends_.back() += static_cast<std::int64_t>(k);
                filled = k;
            }
        }
    }
    if (filled == n) return;
    try {
        auto add = memory_extents(p + filled, n - filled, true);
        auto ext = ext_;
        ext.insert(ext.end(), add.begin(), add.end());
        add.clear();
        cache_->trim();
        commit(std::move(ext));
    } catch (...) {
        // Take back the filled samples: the extent ends where it did (the
        // block keeps them, unseen, and is never filled again).
        if (filled) {
            ext_.back().length -= static_cast<std::uint32_t>(filled);
            ends_.back() -= static_cast<std::int64_t>(filled);
        }
        throw;
    }
}

void tsamplestore::write(std::int64_t at, const float* p, std::size_t n) {
    const std::int64_t to = at + static_cast<std::int64_t>(n);
    check_span(at, to);
    if (n == 0) return;
    auto ext = ext_;
    std::vector<float> tmp;
    for (std::size_t k = find(at); k < ext.size() && ends_[k] - ext[k].length < to; ++k) {
        const textent e = ext[k];
        const std::int64_t start = ends_[k] - e.length;
        const std::int64_t a = std::max(at, start) - start, b = std::min(to, ends_[k]) - start;
        tmp.resize(e.length);
        if (a > 0 || b < e.length) {
            const auto pin = e.block->pin();
            std::memcpy(tmp.data(), pin.get() + e.offset, e.length * sizeof(float));
        }
        std::memcpy(tmp.data() + a, p + (start + a - at), static_cast<std::size_t>(b - a) * sizeof(float));
        ext[k] = {tblock::from_memory(cache_, tmp.data(), e.length), 0, e.length};
    }
    cache_->trim();
    commit(std::move(ext));
}

void tsamplestore::clear() { commit({}); }

void tsamplestore::append_source(std::shared_ptr<tsamplesource> source, std::int64_t from, std::int64_t n) {
    if (n < 0 || from < 0) throw std::out_of_range("tsamplestore::append_source: negative span");
    if (n == 0) return;
    auto ext = ext_;
    ext.reserve(ext.size() + static_cast<std::size_t>(n) / block_samples + 1);
    for (std::int64_t done = 0; done < n;) {
        const auto k = static_cast<std::size_t>(std::min<std::int64_t>(block_samples, n - done));
        ext.push_back({tblock::from_source(cache_, source, from + done, k), 0, static_cast<std::uint32_t>(k)});
        done += static_cast<std::int64_t>(k);
    }
    commit(std::move(ext));
}

void tsamplestore::compact() {
    constexpr std::uint32_t small = block_samples / 4;
    std::vector<textent> out;
    out.reserve(ext_.size());
    std::vector<float> tmp;
    bool changed = false;
    for (std::size_t k = 0; k < ext_.size();) {
        std::size_t j = k, total = 0;
        while (j < ext_.size() && ext_[j].length < small && total + ext_[j].length <= block_samples)
            total += ext_[j++].length;
        if (j - k < 2) {
            out.push_back(ext_[k++]);
            continue;
        }
        tmp.resize(total);
        read(ends_[k] - ext_[k].length, total, tmp.data());
        out.push_back({tblock::from_memory(cache_, tmp.data(), total), 0, static_cast<std::uint32_t>(total)});
        changed = true;
        k = j;
    }
    if (!changed) return;
    cache_->trim();
    commit(std::move(out));
}

}  // namespace tessal
