// Memory of the sample arrays (see samplearr.h): small blocks from the heap,
// large ones mapped from the kernel, 2 MB aligned and advised for huge pages.
#include "engine/dsp/samplearr.h"

#include <cstdint>
#include <cstdlib>

#if defined(__linux__)
#include <sys/mman.h>
#define TESSAL_MAPPED_SAMPLES 1
#else
#define TESSAL_MAPPED_SAMPLES 0
#endif

namespace tessal::samplemem {

namespace {

constexpr std::size_t hugepage = std::size_t(2) << 20;
constexpr std::size_t heapalign = 64;

bool mapped(std::size_t bytes) { return TESSAL_MAPPED_SAMPLES && bytes >= mapped_threshold; }

#if TESSAL_MAPPED_SAMPLES
// Mapped blocks are whole huge pages, so the end of one is never shared.
std::size_t mapped_size(std::size_t bytes) { return (bytes + hugepage - 1) / hugepage * hugepage; }

void advise(void* p, std::size_t size) {
#ifdef MADV_HUGEPAGE
    // Refused where transparent huge pages are off: the block works the same.
    ::madvise(p, size, MADV_HUGEPAGE);
#else
    (void)p;
    (void)size;
#endif
}

void* map_block(std::size_t bytes) {
    const std::size_t size = mapped_size(bytes);
    // Map one huge page more than needed and trim both ends to 2 MB.
    void* raw = ::mmap(nullptr, size + hugepage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) throw std::bad_alloc();
    const auto start = reinterpret_cast<std::uintptr_t>(raw);
    const std::uintptr_t aligned = (start + hugepage - 1) & ~(hugepage - 1);
    const std::size_t head = aligned - start;
    if (head > 0) ::munmap(raw, head);
    const std::size_t tail = hugepage - head;
    if (tail > 0) ::munmap(reinterpret_cast<void*>(aligned + size), tail);
    void* p = reinterpret_cast<void*>(aligned);
    advise(p, size);
    return p;
}
#endif

void* heap_block(std::size_t bytes) { return ::operator new(bytes, std::align_val_t(heapalign)); }

}  // namespace

void* allocate(std::size_t bytes) {
#if TESSAL_MAPPED_SAMPLES
    if (mapped(bytes)) return map_block(bytes);
#endif
    return heap_block(bytes);
}

void release(void* p, std::size_t bytes) noexcept {
    if (!p) return;
#if TESSAL_MAPPED_SAMPLES
    if (mapped(bytes)) {
        ::munmap(p, mapped_size(bytes));
        return;
    }
#endif
    ::operator delete(p, std::align_val_t(heapalign));
}

void* reallocate(void* p, std::size_t oldbytes, std::size_t newbytes, std::size_t keep) {
    if (!p) return allocate(newbytes);
#if TESSAL_MAPPED_SAMPLES
    if (mapped(oldbytes) && mapped(newbytes)) {
        const std::size_t oldsize = mapped_size(oldbytes), newsize = mapped_size(newbytes);
        if (oldsize == newsize) return p;
        // The kernel moves the page tables; no sample is copied.
        void* q = ::mremap(p, oldsize, newsize, MREMAP_MAYMOVE);
        if (q == MAP_FAILED) throw std::bad_alloc();
        if (newsize > oldsize) advise(q, newsize);
        return q;
    }
#endif
    void* q = allocate(newbytes);
    if (keep > 0) std::memcpy(q, p, keep);
    release(p, oldbytes);
    return q;
}

}  // namespace tessal::samplemem
