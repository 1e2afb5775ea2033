// tsamplearr<T>: the storage of sample arrays (channels and the working
// arrays of processes and analyses). It behaves like std::vector<T> for a
// trivially copyable T: the same member functions, resize and the sized
// constructor give zeros, iterators are plain pointers. What differs is
// the memory behind it:
//
// - resize_for_overwrite(n) and the tnoinit constructor give elements that
//   are not written at all, for arrays about to be filled (file readers,
//   step outputs): no pass of zeros over memory that is overwritten next.
// - Blocks of 1 MB and more are mapped straight from the kernel, 2 MB
//   aligned and advised as transparent huge pages where the kernel offers
//   them, so the first touch of a large new array costs a fraction of what
//   4 KB pages cost. Where huge pages are not available nothing changes
//   but the speed.
// - A large array grows by remapping its pages (no copy of the samples),
//   so a paste, an append or a recording that outgrows the capacity moves
//   only the samples after the insertion point.
#pragma once

#include <algorithm>
#include <compare>
#include <cstddef>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <limits>
#include <memory>
#include <new>
#include <stdexcept>
#include <type_traits>
#include <utility>
#include <vector>

namespace tessal {

// Tag of the constructor that leaves the elements unwritten.
struct tnoinit_t {
    explicit tnoinit_t() = default;
};
inline constexpr tnoinit_t tnoinit{};

namespace samplemem {
// Blocks of at least this many bytes are mapped pages.
inline constexpr std::size_t mapped_threshold = std::size_t(1) << 20;
// Allocates `bytes` (> 0); a block of mapped_threshold or more is a 2 MB
// aligned mapping advised for huge pages. Throws std::bad_alloc.
void* allocate(std::size_t bytes);
void release(void* p, std::size_t bytes) noexcept;
// Grows or shrinks a block to `newbytes`, keeping the first `keep` bytes;
// may move it. A mapped block that stays mapped is remapped, not copied.
void* reallocate(void* p, std::size_t oldbytes, std::size_t newbytes, std::size_t keep);
}  // namespace samplemem

template <class T>
class tsamplearr {
    static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>,
                  "tsamplearr holds plain values");

public:
    using value_type = T;
    using size_type = std::size_t;
    using difference_type = std::ptrdiff_t;
    using reference = T&;
    using const_reference = const T&;
    using pointer = T*;
    using const_pointer = const T*;
    using iterator = T*;
    using const_iterator = const T*;
    using reverse_iterator = std::reverse_iterator<iterator>;
    using const_reverse_iterator = std::reverse_iterator<const_iterator>;

    tsamplearr() noexcept = default;
    explicit tsamplearr(size_type n) { resize(n); }
    tsamplearr(size_type n, const T& v) { assign(n, v); }
    tsamplearr(size_type n, tnoinit_t) { resize_for_overwrite(n); }
    template <class It, class = std::enable_if_t<!std::is_integral_v<It>>>
    tsamplearr(It first, It last) {
        insert(end(), first, last);
    }
    tsamplearr(std::initializer_list<T> il) { insert(end(), il.begin(), il.end()); }
    tsamplearr(const std::vector<T>& v) { insert(end(), v.begin(), v.end()); }
    tsamplearr(const tsamplearr& o) { insert(end(), o.begin(), o.end()); }
    tsamplearr(tsamplearr&& o) noexcept
        : p_(std::exchange(o.p_, nullptr)), n_(std::exchange(o.n_, 0)), cap_(std::exchange(o.cap_, 0)) {}
    ~tsamplearr() { samplemem::release(p_, cap_ * sizeof(T)); }

    tsamplearr& operator=(const tsamplearr& o) {
        if (this != &o) assign(o.begin(), o.end());
        return *this;
    }
    tsamplearr& operator=(tsamplearr&& o) noexcept {
        tsamplearr(std::move(o)).swap(*this);
        return *this;
    }
    tsamplearr& operator=(std::initializer_list<T> il) {
        assign(il.begin(), il.end());
        return *this;
    }
    // A copy as a std::vector, for code written against one (both ways
    // convert, so a conditional mixing the two types names the one it wants).
    operator std::vector<T>() const { return std::vector<T>(begin(), end()); }

    void assign(size_type n, const T& v) {
        clear();
        resize(n, v);
    }
    template <class It, class = std::enable_if_t<!std::is_integral_v<It>>>
    void assign(It first, It last) {
        if (aliases(first, last)) {
            tsamplearr copy(first, last);
            swap(copy);
            return;
        }
        clear();
        insert(end(), first, last);
    }
    void assign(std::initializer_list<T> il) { assign(il.begin(), il.end()); }

    reference at(size_type i) {
        if (i >= n_) throw std::out_of_range("tsamplearr::at");
        return p_[i];
    }
    const_reference at(size_type i) const {
        if (i >= n_) throw std::out_of_range("tsamplearr::at");
        return p_[i];
    }
    reference operator[](size_type i) noexcept { return p_[i]; }
    const_reference operator[](size_type i) const noexcept { return p_[i]; }
    reference front() noexcept { return p_[0]; }
    const_reference front() const noexcept { return p_[0]; }
    reference back() noexcept { return p_[n_ - 1]; }
    const_reference back() const noexcept { return p_[n_ - 1]; }
    T* data() noexcept { return p_; }
    const T* data() const noexcept { return p_; }

    iterator begin() noexcept { return p_; }
    const_iterator begin() const noexcept { return p_; }
    const_iterator cbegin() const noexcept { return p_; }
    iterator end() noexcept { return p_ + n_; }
    const_iterator end() const noexcept { return p_ + n_; }
    const_iterator cend() const noexcept { return p_ + n_; }
    reverse_iterator rbegin() noexcept { return reverse_iterator(end()); }
    const_reverse_iterator rbegin() const noexcept { return const_reverse_iterator(end()); }
    const_reverse_iterator crbegin() const noexcept { return rbegin(); }
    reverse_iterator rend() noexcept { return reverse_iterator(begin()); }
    const_reverse_iterator rend() const noexcept { return const_reverse_iterator(begin()); }
    const_reverse_iterator crend() const noexcept { return rend(); }

    bool empty() const noexcept { return n_ == 0; }
    size_type size() const noexcept { return n_; }
    size_type max_size() const noexcept { return std::numeric_limits<difference_type>::max() / sizeof(T); }
    size_type capacity() const noexcept { return cap_; }
    void reserve(size_type n) {
        if (n > cap_) reallocate(n);
    }
    void shrink_to_fit() {
        if (cap_ > n_) reallocate(n_);
    }
    void clear() noexcept { n_ = 0; }

    // resize gives zeros (or v) to new elements, as std::vector does;
    // resize_for_overwrite leaves them unwritten.
    void resize(size_type n) { resize(n, T{}); }
    void resize(size_type n, const T& v) {
        const size_type old = n_;
        resize_for_overwrite(n);
        if (n > old) std::fill(p_ + old, p_ + n, v);
    }
    void resize_for_overwrite(size_type n) {
        if (n > cap_) reallocate(grown(n));
        n_ = n;
    }

    void push_back(const T& v) {
        if (n_ == cap_) {
            const T copy = v;  // v may live in this array
            reallocate(grown(n_ + 1));
            p_[n_++] = copy;
            return;
        }
        p_[n_++] = v;
    }
    template <class... A>
    reference emplace_back(A&&... a) {
        push_back(T(std::forward<A>(a)...));
        return back();
    }
    void pop_back() noexcept { --n_; }

    iterator insert(const_iterator pos, const T& v) { return insert(pos, size_type(1), v); }
    iterator insert(const_iterator pos, size_type count, const T& v) {
        const T copy = v;
        iterator at = open_gap(pos, count);
        std::fill(at, at + count, copy);
        return at;
    }
    template <class It, class = std::enable_if_t<!std::is_integral_v<It>>>
    iterator insert(const_iterator pos, It first, It last) {
        using cat = typename std::iterator_traits<It>::iterator_category;
        if constexpr (std::is_base_of_v<std::forward_iterator_tag, cat>) {
            if (aliases(first, last)) {
                const tsamplearr copy(first, last);
                return insert(pos, copy.begin(), copy.end());
            }
            const auto count = static_cast<size_type>(std::distance(first, last));
            iterator at = open_gap(pos, count);
            std::copy(first, last, at);
            return at;
        } else {
            const size_type off = static_cast<size_type>(pos - p_);
            tsamplearr tail;
            for (; first != last; ++first) tail.push_back(*first);
            return insert(p_ + off, tail.begin(), tail.end());
        }
    }
    iterator insert(const_iterator pos, std::initializer_list<T> il) { return insert(pos, il.begin(), il.end()); }
    template <class... A>
    iterator emplace(const_iterator pos, A&&... a) {
        return insert(pos, T(std::forward<A>(a)...));
    }
    iterator erase(const_iterator pos) { return erase(pos, pos + 1); }
    iterator erase(const_iterator first, const_iterator last) {
        iterator f = p_ + (first - p_);
        const size_type count = static_cast<size_type>(last - first);
        if (count > 0) {
            std::memmove(static_cast<void*>(f), f + count, static_cast<size_type>(end() - f - count) * sizeof(T));
            n_ -= count;
        }
        return f;
    }

    void swap(tsamplearr& o) noexcept {
        std::swap(p_, o.p_);
        std::swap(n_, o.n_);
        std::swap(cap_, o.cap_);
    }
    friend void swap(tsamplearr& a, tsamplearr& b) noexcept { a.swap(b); }

    friend bool operator==(const tsamplearr& a, const tsamplearr& b) {
        return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
    }
    friend bool operator==(const tsamplearr& a, const std::vector<T>& b) {
        return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
    }
    friend auto operator<=>(const tsamplearr& a, const tsamplearr& b) {
        return std::lexicographical_compare_three_way(a.begin(), a.end(), b.begin(), b.end());
    }

private:
    template <class It>
    bool aliases(It first, It last) const {
        if constexpr (std::is_pointer_v<It>) {
            if (first == last || !p_) return false;
            const auto* a = reinterpret_cast<const char*>(std::to_address(first));
            const auto* lo = reinterpret_cast<const char*>(p_);
            const auto* hi = reinterpret_cast<const char*>(p_ + cap_);
            return std::less_equal<const char*>()(lo, a) && std::less<const char*>()(a, hi);
        } else {
            return false;
        }
    }
    size_type grown(size_type need) const {
        if (need > max_size()) throw std::length_error("tsamplearr too long");
        const size_type more = cap_ + cap_ / 2;
        return std::max(need, std::min(more, max_size()));
    }
    void reallocate(size_type newcap) {
        if (newcap == cap_) return;
        if (newcap == 0) {
            samplemem::release(p_, cap_ * sizeof(T));
            p_ = nullptr;
            cap_ = n_ = 0;
            return;
        }
        const size_type keep = std::min(n_, newcap);
        p_ = static_cast<T*>(samplemem::reallocate(p_, cap_ * sizeof(T), newcap * sizeof(T), keep * sizeof(T)));
        cap_ = newcap;
        n_ = keep;
    }
    // Makes room for `count` elements at pos by one move of the tail and
    // returns where they go (unwritten).
    iterator open_gap(const_iterator pos, size_type count) {
        const size_type off = static_cast<size_type>(pos - p_);
        if (count == 0) return p_ + off;
        if (n_ + count > cap_) reallocate(grown(n_ + count));
        iterator at = p_ + off;
        std::memmove(static_cast<void*>(at + count), at, (n_ - off) * sizeof(T));
        n_ += count;
        return at;
    }

    T* p_ = nullptr;
    size_type n_ = 0;
    size_type cap_ = 0;
};

}  // namespace tessal
