#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "engine/store/blocks.h"
#include "storetest.h"

namespace tessal {
namespace {

using namespace storetest;

std::vector<float> ramp(std::size_t n, float start) {
    std::vector<float> v(n);
    for (std::size_t k = 0; k < n; ++k) v[k] = start + static_cast<float>(k);
    return v;
}

TEST(tblock, memory_block_goes_to_scratch_and_comes_back_the_same) {
    ttempfolder dir;
    auto cache = std::make_shared<tblockcache>(2 * block_bytes, dir.path);
    std::vector<std::shared_ptr<const tblock>> blocks;
    for (int b = 0; b < 5; ++b) {
        const auto v = ramp(block_samples, 1000.0f * b);
        blocks.push_back(tblock::from_memory(cache, v.data(), v.size()));
        cache->trim();
    }
    auto st = cache->stats();
    EXPECT_EQ(st.blocks_made, 5u);
    EXPECT_EQ(st.blocks_in_memory, 2u);
    EXPECT_EQ(st.bytes_in_memory, 2 * block_bytes);
    EXPECT_EQ(st.spills, 3u);
    EXPECT_EQ(st.bytes_spilled, 3 * block_bytes);
    EXPECT_EQ(st.loads, 0u);
    EXPECT_FALSE(blocks[0]->in_memory());
    EXPECT_TRUE(blocks[4]->in_memory());
    // The scratch file is removed from the folder as soon as it is open.
    EXPECT_TRUE(std::filesystem::is_empty(dir.path));

    for (int b = 0; b < 5; ++b) {
        const auto pin = blocks[b]->pin();
        for (std::size_t k = 0; k < block_samples; k += 997)
            ASSERT_EQ(pin[k], 1000.0f * b + static_cast<float>(k)) << b << " " << k;
    }
    st = cache->stats();
    // Each pin brought its block back and pushed the oldest out: blocks 3
    // and 4 were written out too, 0..2 only dropped again.
    EXPECT_EQ(st.loads, 5u);
    EXPECT_LE(st.bytes_in_memory, 2 * block_bytes);
    EXPECT_EQ(st.spills, 5u);
    // A block read back from scratch keeps its place there: sending it out
    // again writes nothing.
    const auto before = st.bytes_spilled;
    for (int b = 0; b < 5; ++b) blocks[b]->pin();
    EXPECT_EQ(cache->stats().bytes_spilled, before);
    EXPECT_EQ(cache->stats().bytes_in_scratch, 5 * block_bytes);
    // Blocks that go give their scratch space back.
    blocks.erase(blocks.begin(), blocks.begin() + 2);
    EXPECT_EQ(cache->stats().bytes_in_scratch, 3 * block_bytes);
    blocks.clear();
    EXPECT_EQ(cache->stats().bytes_in_scratch, 0u);
    EXPECT_EQ(cache->stats().bytes_in_memory, 0u);
}

TEST(tblock, source_block_reads_nothing_until_pinned_and_again_after_eviction) {
    auto src = std::make_shared<tformulasource>();
    auto cache = std::make_shared<tblockcache>(block_bytes, std::filesystem::temp_directory_path());
    auto a = tblock::from_source(cache, src, 0, block_samples);
    auto b = tblock::from_source(cache, src, 5000000, 1000);
    EXPECT_EQ(src->reads, 0);
    EXPECT_EQ(cache->stats().bytes_in_memory, 0u);
    {
        const auto p = a->pin();
        EXPECT_EQ(src->reads, 1);
        EXPECT_EQ(p[12345], formula(12345));
        const auto q = a->pin();  // in memory: no read
        EXPECT_EQ(src->reads, 1);
    }
    {
        const auto p = b->pin();  // over budget: a leaves memory
        EXPECT_EQ(p[999], formula(5000999));
    }
    EXPECT_FALSE(a->in_memory());
    EXPECT_EQ(cache->stats().spills, 0u);  // a source block is not written out
    EXPECT_EQ(a->pin()[7], formula(7));
    EXPECT_EQ(src->reads, 3);
    EXPECT_EQ(cache->stats().loads, 3u);
}

TEST(tblockcache, goes_over_budget_when_everything_is_pinned_and_records_it) {
    auto src = std::make_shared<tformulasource>();
    auto cache = std::make_shared<tblockcache>(block_bytes, std::filesystem::temp_directory_path());
    std::vector<std::shared_ptr<const tblock>> blocks;
    std::vector<std::shared_ptr<const float[]>> pins;
    for (int b = 0; b < 3; ++b) {
        blocks.push_back(tblock::from_source(cache, src, b * 100000, block_samples));
        pins.push_back(blocks.back()->pin());
    }
    auto st = cache->stats();
    EXPECT_EQ(st.bytes_in_memory, 3 * block_bytes);
    EXPECT_EQ(st.max_overshoot, 2 * block_bytes);
    EXPECT_EQ(st.evictions, 0u);
    for (int b = 0; b < 3; ++b) EXPECT_EQ(pins[b][5], formula(b * 100000 + 5));
    pins.clear();
    cache->trim();
    EXPECT_EQ(cache->stats().bytes_in_memory, block_bytes);
    // Destroyed blocks leave the count.
    blocks.clear();
    EXPECT_EQ(cache->stats().bytes_in_memory, 0u);
    EXPECT_EQ(cache->stats().blocks_in_memory, 0u);
}

TEST(tblockcache, missing_scratch_folder_is_made_with_the_file) {
    ttempfolder dir;
    const auto missing = dir.path / "not yet" / "scratch";
    auto cache = std::make_shared<tblockcache>(block_bytes, missing);
    const auto v = ramp(block_samples, 0);
    auto a = tblock::from_memory(cache, v.data(), v.size());
    EXPECT_FALSE(std::filesystem::exists(missing));  // nothing had to leave memory yet
    auto b = tblock::from_memory(cache, v.data(), v.size());
    cache->trim();
    EXPECT_TRUE(std::filesystem::is_directory(missing));
    EXPECT_EQ(cache->stats().spills, 1u);
    EXPECT_EQ(a->pin()[100], 100.0f);
    EXPECT_EQ(b->pin()[65535], 65535.0f);
}

TEST(tblockcache, scratch_folder_that_cannot_be_made_is_a_clear_error) {
    ttempfolder dir;
    { std::ofstream(dir.path / "file") << "x"; }
    const auto impossible = dir.path / "file" / "scratch";
    auto cache = std::make_shared<tblockcache>(block_bytes, impossible);
    const auto v = ramp(block_samples, 0);
    auto a = tblock::from_memory(cache, v.data(), v.size());
    auto b = tblock::from_memory(cache, v.data(), v.size());
    try {
        cache->trim();
        FAIL() << "no error";
    } catch (const std::system_error& e) {
        const std::string what = e.what();
        EXPECT_NE(what.find("scratch file"), std::string::npos) << what;
        EXPECT_NE(what.find(impossible.string()), std::string::npos) << what;
        EXPECT_EQ(e.code(), std::errc::not_a_directory) << what;
    }
    // Nothing left memory; both blocks read as before.
    EXPECT_TRUE(a->in_memory());
    EXPECT_TRUE(b->in_memory());
    EXPECT_EQ(a->pin()[100], 100.0f);
    EXPECT_EQ(b->pin()[65535], 65535.0f);
}

TEST(tblockcache, default_budget_is_a_quarter_of_physical_memory) {
    const auto phys = static_cast<std::size_t>(::sysconf(_SC_PHYS_PAGES)) *
                      static_cast<std::size_t>(::sysconf(_SC_PAGE_SIZE));
    tblockcache cache;
    EXPECT_NEAR(static_cast<double>(cache.budget()), phys / 4.0, 4096.0);
    cache.set_budget(12345);
    EXPECT_EQ(cache.budget(), 12345u);
    EXPECT_EQ(cache.stats().budget, 12345u);
}

}  // namespace
}  // namespace tessal
