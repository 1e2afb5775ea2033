// tsamplearr against std::vector<float> as the reference: the same random
// sequence of inserts, erases, resizes, assignments and pushes applied to
// both must leave the same elements, across the sizes where the storage
// changes from the heap to mapped pages and back. Also the promises of its
// own: resize gives zeros even over memory that held samples, the
// overwrite forms leave capacity usable, inserting a range of the array
// itself works, and a large array grows without moving its contents out of
// place when the kernel can remap it.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <span>
#include <vector>

#include "engine/dsp/arrays.h"

using namespace tessal;

namespace {

void expect_same(const tsinglearr& a, const std::vector<float>& b) {
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t i = 0; i < b.size(); ++i)
        if (a[i] != b[i]) FAIL() << "element " << i << ": " << a[i] << " vs " << b[i];
}

}  // namespace

TEST(samplearr, random_operations_match_std_vector_across_storage_kinds) {
    std::mt19937_64 rng(7);
    tsinglearr a;
    std::vector<float> b;
    float next = 1;
    auto pick = [&](std::size_t n) { return n == 0 ? std::size_t(0) : static_cast<std::size_t>(rng() % (n + 1)); };
    for (int step = 0; step < 400; ++step) {
        // Sizes swing between a few samples and a few million (mapped).
        const std::size_t big = (rng() % 4 == 0) ? 1u << 20 : 300;
        switch (rng() % 9) {
            case 0: {
                const std::size_t n = pick(big);
                a.resize(n);
                b.resize(n);
                break;
            }
            case 1: {
                const std::size_t at = pick(b.size()), n = pick(big);
                std::vector<float> src(n);
                for (float& x : src) x = next++;
                a.insert(a.begin() + at, src.begin(), src.end());
                b.insert(b.begin() + at, src.begin(), src.end());
                break;
            }
            case 2: {
                const std::size_t from = pick(b.size()), to = from + pick(b.size() - from);
                a.erase(a.begin() + from, a.begin() + to);
                b.erase(b.begin() + from, b.begin() + to);
                break;
            }
            case 3:
                for (int i = 0; i < 50; ++i) {
                    a.push_back(next);
                    b.push_back(next++);
                }
                break;
            case 4: {
                const std::size_t at = pick(b.size()), n = pick(1000);
                a.insert(a.begin() + at, n, next);
                b.insert(b.begin() + at, n, next++);
                break;
            }
            case 5: {
                // A range of the array itself, inserted into it.
                const std::size_t from = pick(b.size()), to = from + pick(std::min<std::size_t>(b.size() - from, 5000));
                const std::size_t at = pick(b.size());
                a.insert(a.begin() + at, a.begin() + from, a.begin() + to);
                std::vector<float> part(b.begin() + from, b.begin() + to);
                b.insert(b.begin() + at, part.begin(), part.end());
                break;
            }
            case 6: {
                const std::size_t n = pick(big);
                a.assign(n, next);
                b.assign(n, next++);
                break;
            }
            case 7: {
                tsinglearr c(a);
                a = std::move(c);
                a.shrink_to_fit();
                break;
            }
            case 8: {
                if (!b.empty()) {
                    const std::size_t i = pick(b.size() - 1);
                    a[i] = b[i] = next++;
                }
                break;
            }
        }
        expect_same(a, b);
        if (::testing::Test::HasFailure()) {
            ADD_FAILURE() << "after step " << step;
            return;
        }
    }
}

TEST(samplearr, value_forms_give_zeros_and_overwrite_forms_keep_what_is_written) {
    // Memory that held samples is handed out again by resize as zeros.
    tsinglearr a(3u << 20, 5.0f);
    a.resize(10);
    a.resize(3u << 20);
    for (std::size_t i = 10; i < a.size(); i += 4099) ASSERT_EQ(a[i], 0.0f) << i;
    EXPECT_EQ(a[9], 5.0f);
    tsinglearr z(2u << 20);
    EXPECT_EQ(z[0], 0.0f);
    EXPECT_EQ(z[z.size() - 1], 0.0f);

    tsinglearr w(1u << 21, tnoinit);
    ASSERT_EQ(w.size(), 1u << 21);
    for (std::size_t i = 0; i < w.size(); ++i) w[i] = static_cast<float>(i);
    w.resize_for_overwrite(w.size() + 7);
    EXPECT_EQ(w[(1u << 21) - 1], static_cast<float>((1u << 21) - 1));
}

TEST(samplearr, large_arrays_are_aligned_for_huge_pages_and_grow_keeping_contents) {
    tsinglearr a(4u << 20, 1.5f);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(a.data()) % (2u << 20), 0u);
    a[12345] = -2;
    // Growing far past the capacity keeps every sample.
    for (int i = 0; i < 20; ++i) a.insert(a.begin() + 100, 1u << 19, 3.0f);
    EXPECT_EQ(a.size(), (4u << 20) + 20 * (1u << 19));
    EXPECT_EQ(a[12345 + 20 * (1u << 19)], -2.0f);
    EXPECT_EQ(a[99], 1.5f);
    EXPECT_EQ(a[100], 3.0f);
    EXPECT_EQ(a.back(), 1.5f);
    // Small arrays stay aligned for vector loads.
    tsinglearr s(17, 1.0f);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(s.data()) % 64, 0u);
}

TEST(samplearr, works_where_a_vector_did) {
    tsinglearr a{1, 2, 3};
    std::span<const float> view(a);
    EXPECT_EQ(view.size(), 3u);
    std::vector<float> v(a.begin(), a.end());
    EXPECT_EQ(v, (std::vector<float>{1, 2, 3}));
    tsinglearr b(v);
    EXPECT_EQ(a, b);
    EXPECT_TRUE(a == v);
    b.push_back(4);
    EXPECT_LT(a, b);
    EXPECT_THROW(a.at(3), std::out_of_range);
    tsinglearr c(a.rbegin(), a.rend());
    EXPECT_EQ(c, (tsinglearr{3, 2, 1}));
}
