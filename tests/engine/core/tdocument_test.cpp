// The document's channel list, the edit set, the view state's cursors and
// broadcasts, colour schemes and units.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "engine/core/tdocument.h"
#include "engine/core/unitproduct.h"
#include "engine/store/blocks.h"
#include "support/tempdirtest.h"

using namespace tessal;

TEST(ChannelList, DeletingRenumbersChannelsAndStereoPartners) {
    tdocument doc;
    doc.set_totnchans(3);
    doc.channel(0).stereochanno = 2;
    doc.channel(1).stereochanno = -1;
    doc.channel(2).stereochanno = 0;
    doc.channel(2).set_name("third");
    doc.delete_channel(1);
    ASSERT_EQ(doc.totnchans(), 2);
    EXPECT_EQ(doc.channel(0).stereochanno, 1);
    EXPECT_EQ(doc.channel(1).stereochanno, 0);
    EXPECT_EQ(doc.channel(1).channo(), 1);
    EXPECT_EQ(doc.channel(1).name(), "third");

    // Deleting a partner unpairs the other.
    doc.delete_channel(0);
    ASSERT_EQ(doc.totnchans(), 1);
    EXPECT_EQ(doc.channel(0).stereochanno, -1);
    EXPECT_EQ(doc.channel(0).channo(), 0);
    doc.delete_channel(5);  // no such channel: nothing happens
    EXPECT_EQ(doc.totnchans(), 1);
}

TEST(ChannelList, IdsCountUpAndTheCurrentChannelIsClamped) {
    tdocument doc;
    EXPECT_EQ(doc.thischanno(), 0);
    doc.set_totnchans(4);
    EXPECT_EQ(doc.channel(3).id, 3);
    doc.set_thischanno(3);
    doc.delete_channel(3);
    EXPECT_EQ(doc.thischanno(), 2);
    doc.set_totnchans(0);
    doc.set_totnchans(1);
    EXPECT_EQ(doc.channel(0).id, 4);  // ids are never reused
    doc.set_thischanno(-4);
    EXPECT_EQ(doc.thischanno(), 0);
}

TEST(ChannelList, TranslateChannelSelectors) {
    tdocument doc;
    EXPECT_EQ(doc.translate_channo(-1), 0);
    EXPECT_EQ(doc.translate_channo(-3), -3);
    doc.set_totnchans(3);
    doc.channel(1).stereochanno = 2;
    doc.set_thischanno(1);
    EXPECT_EQ(doc.translate_channo(5), 5);
    EXPECT_EQ(doc.translate_channo(-1), 3);
    EXPECT_EQ(doc.translate_channo(-2), 1);
    EXPECT_EQ(doc.translate_channo(-3), 2);
}

TEST(ChannelList, EditSetByMode) {
    tdocument doc;
    doc.set_totnchans(4);
    doc.channel(1).stereochanno = 3;
    doc.channel(3).stereochanno = 1;
    doc.channel(2).set_visible(false);
    doc.set_thischanno(1);
    auto set = [&] {
        std::string s;
        for (int i = 0; i < 4; ++i) s += doc.is_channel_selected(i) ? '1' : '0';
        return s;
    };
    doc.selectmode = selmono;
    EXPECT_EQ(set(), "0100");
    doc.selectmode = selstereo;
    EXPECT_EQ(set(), "0101");
    doc.selectmode = selall;
    EXPECT_EQ(set(), "1111");
    doc.selectmode = selvisible;
    EXPECT_EQ(set(), "1101");
    EXPECT_FALSE(doc.is_channel_selected(9));
}

TEST(ChannelList, PeakRmsAndAxisRange) {
    tdocument doc;
    doc.set_totnchans(2);
    tchannel& c = doc.channel(0);
    tsinglearr x;
    for (int i = 0; i < 48000; ++i) x.push_back(0.5 * std::sin(2 * M_PI * 100 * i / 48000.0));
    c.set_samples(std::move(x));
    EXPECT_NEAR(doc.file_peak_value(0), 0.5, 1e-6);
    EXPECT_NEAR(doc.file_rms_value(0), 0.5 / std::sqrt(2.0), 1e-6);
    EXPECT_EQ(doc.file_peak_value(1), 0);
    EXPECT_EQ(doc.file_rms_value(1), 0);

    c.axis.SetMaxHiValue(100);
    c.axis.SetMinLoValue(-100);
    doc.set_axis_minmax(0, {-3, 7});
    EXPECT_DOUBLE_EQ(c.axis.GetLoValue(), -3);
    EXPECT_DOUBLE_EQ(c.axis.GetHiValue(), 7);
    c.axis.set_hilovalues(10, 1);
    c.axis.SetLogarithmic(true);
    doc.set_axis_minmax(0, {-3, 50});
    EXPECT_DOUBLE_EQ(c.axis.GetLoValue(), 0.5);
    EXPECT_DOUBLE_EQ(c.axis.GetHiValue(), 50);
    doc.set_axis_minmax(0, {1, -2});  // no positive end: unchanged
    EXPECT_DOUBLE_EQ(c.axis.GetHiValue(), 50);
}

namespace {

struct trecorder : tviewlistener {
    int cursor = 0, sel2 = 0, fix = 0, repaint = 0, rebuild = 0, state = 0;
    void main_cursor_changed(bool s2) override {
        ++cursor;
        sel2 += s2;
    }
    void fix_things() override { ++fix; }
    void invalidate_paintboxes(bool makebmps) override {
        ++repaint;
        rebuild += makebmps;
    }
    void document_state_changed() override { ++state; }
    std::vector<tselectionchange> selections;
    std::vector<tchannelchange> changes;
    void selection_changed(const tselectionchange& c) override { selections.push_back(c); }
    void channel_changed(const tchannelchange& c) override { changes.push_back(c); }
};

}  // namespace

TEST(ViewState, SelectionCursorsMarkResultsStaleAndTellListeners) {
    tdocument doc;
    doc.set_totnchans(2);
    trecorder rec;
    doc.theglobal.add_listener(&rec);
    doc.measurementdirty = false;
    doc.theglobal.set_sel1cursor(2.0);
    doc.theglobal.set_sel2cursor(1.0);
    EXPECT_TRUE(doc.measurementdirty);
    // Each move says where the selection was and where it is now, left first.
    ASSERT_EQ(rec.selections.size(), 2u);
    EXPECT_EQ(rec.selections[0].oldleft, 0);
    EXPECT_EQ(rec.selections[0].oldright, 0);
    EXPECT_EQ(rec.selections[0].left, 0);
    EXPECT_EQ(rec.selections[0].right, 2);
    EXPECT_EQ(rec.selections[1].oldleft, 0);
    EXPECT_EQ(rec.selections[1].oldright, 2);
    EXPECT_EQ(rec.selections[1].left, 1);
    EXPECT_EQ(rec.selections[1].right, 2);
    doc.theglobal.set_selection(5, 4);
    EXPECT_EQ(rec.selections.back().oldleft, 1);
    EXPECT_EQ(rec.selections.back().left, 4);
    EXPECT_EQ(rec.selections.back().right, 5);
    doc.theglobal.set_selection(1, 2);
    rec.cursor = rec.sel2 = 0;
    doc.theglobal.set_sel1cursor(2.0);
    doc.theglobal.set_sel2cursor(1.0);
    EXPECT_EQ(rec.cursor, 2);
    EXPECT_EQ(rec.sel2, 1);
    EXPECT_DOUBLE_EQ(doc.theglobal.timecursor(), 1.0);
    // sel1 > sel2: the left cursor is sel2.
    doc.theglobal.set_leftselcursor(0.5);
    EXPECT_DOUBLE_EQ(doc.theglobal.sel2cursor(), 0.5);
    EXPECT_DOUBLE_EQ(doc.theglobal.sel1cursor(), 2.0);
    doc.theglobal.set_rightselcursor(3.0);
    EXPECT_DOUBLE_EQ(doc.theglobal.sel1cursor(), 3.0);
    EXPECT_DOUBLE_EQ(doc.theglobal.leftselcursor(), 0.5);
    EXPECT_DOUBLE_EQ(doc.theglobal.rightselcursor(), 3.0);

    doc.channel(0).sigcachedirty = false;
    rec.rebuild = 0;
    doc.theglobal.full_redraw();
    EXPECT_TRUE(doc.channel(0).sigcachedirty);
    EXPECT_TRUE(doc.channel(0).bmpdirty);
    EXPECT_EQ(rec.rebuild, 1);

    int before = rec.fix;
    rec.changes.clear();
    doc.set_totnchans(3);
    EXPECT_EQ(rec.fix, before + 1);
    ASSERT_EQ(rec.changes.size(), 1u);
    EXPECT_EQ(rec.changes[0].kind, tchannelchange::tkind::added);
    EXPECT_EQ(rec.changes[0].channel, 2);
    doc.theglobal.remove_listener(&rec);
    doc.theglobal.fix_things();
    EXPECT_EQ(rec.fix, before + 1);
}

TEST(ChangeNotices, ChannelsAddedAndRemovedAreNamedAndRenumberTheRest) {
    tdocument doc;
    doc.set_totnchans(3);
    trecorder rec;
    doc.theglobal.add_listener(&rec);
    doc.create_channel(1);  // inserted before the old channels 1 and 2
    doc.delete_channel(0);
    doc.set_totnchans(1);   // channels 1 and 2 go: one notice naming the first
    doc.channel(0).set_fsd(3);
    using k = tchannelchange::tkind;
    ASSERT_EQ(rec.changes.size(), 4u);
    EXPECT_EQ(rec.changes[0].kind, k::added);
    EXPECT_EQ(rec.changes[0].channel, 1);
    EXPECT_EQ(rec.changes[1].kind, k::removed);
    EXPECT_EQ(rec.changes[1].channel, 0);
    EXPECT_EQ(rec.changes[2].kind, k::removed);
    EXPECT_EQ(rec.changes[2].channel, 1);
    EXPECT_EQ(rec.changes[3].kind, k::properties);
    EXPECT_EQ(rec.changes[3].channel, 0);
    doc.theglobal.remove_listener(&rec);
}

TEST(ChangeNotices, WhatAChangeTouches) {
    using c = tchannelchange;
    // Zeroing samples 100..199 of channel 1.
    const c zero = c::samples(1, 100, 200);
    EXPECT_FALSE(zero.touches(1, 0, 100));    // ends just before
    EXPECT_TRUE(zero.touches(1, 0, 101));
    EXPECT_TRUE(zero.touches(1, 150, 160));   // inside
    EXPECT_TRUE(zero.touches(1, 199, 300));
    EXPECT_FALSE(zero.touches(1, 200, 300));  // begins just after
    EXPECT_FALSE(zero.touches(0, 0, 1000));   // another channel
    // Deleting 100..199: everything after moved down.
    const c del = c::samples(1, 100, 200, -100);
    EXPECT_FALSE(del.touches(1, 0, 100));
    EXPECT_TRUE(del.touches(1, 500, 600));
    // Inserting at 100: the samples before stay where they were.
    const c ins = c::samples(1, 100, 100, 50);
    EXPECT_FALSE(ins.touches(1, 0, 100));
    EXPECT_TRUE(ins.touches(1, 99, 101));
    EXPECT_TRUE(ins.touches(1, 100, 101));
    // Channels and properties.
    EXPECT_TRUE(c::removed(1).touches(2, 0, 1));  // renumbered
    EXPECT_FALSE(c::removed(1).touches(0, 0, 1));
    EXPECT_TRUE(c::added(0).touches(0, 0, 1));
    EXPECT_TRUE(c::properties(1).touches(1, 5, 6));
    EXPECT_FALSE(c::properties(1).touches(2, 5, 6));
    EXPECT_FALSE(c::labels(1).touches(1, 0, 1000));
}

TEST(ViewState, AxisFontSizesFollowTheMetrics) {
    tdocument doc;
    doc.set_totnchans(1);
    tfixedtextmetrics big(10, 20);
    doc.theglobal.set_axisfont(&big);
    EXPECT_EQ(doc.theglobal.axisheight(), 27);
    EXPECT_EQ(doc.theglobal.axiswidth(), 67);
    EXPECT_EQ(doc.theglobal.textpaintheight(), 24);
    EXPECT_EQ(doc.channel(0).axis.GetWidth(), 78);
    doc.theglobal.set_axisfont(nullptr);
}

TEST(ColourSchemes, BlackColourAndPaired) {
    tdocument doc;
    doc.set_totnchans(4);
    EXPECT_EQ(doc.channel(2).color, 0u);
    doc.channel(0).stereochanno = 2;
    doc.channel(2).stereochanno = 0;
    doc.set_colorscheme(tcolorscheme::colour);
    EXPECT_EQ(doc.channel(1).color, 0x4000FFu);
    EXPECT_EQ(doc.channel(3).color, 0x404080u);
    doc.set_colorscheme(tcolorscheme::colourpaired);
    EXPECT_EQ(doc.channel(0).color, 0xFF0040u);
    EXPECT_EQ(doc.channel(2).color, 0xFF0040u);
    EXPECT_EQ(doc.channel(1).color, 0x4000FFu);
    EXPECT_EQ(doc.channel(3).color, 0x00C000u);
    doc.set_totnchans(5);
    EXPECT_EQ(doc.channel(4).color, channel_palette(4));
    EXPECT_EQ(channel_palette(-1), 0xC0C0C0u);
    EXPECT_EQ(channel_palette(9), 0x4000FFu);
    doc.set_colorscheme(tcolorscheme::black);
    EXPECT_EQ(doc.channel(0).color, 0u);
}

TEST(Units, ProductWithSeconds) {
    EXPECT_EQ(unit_product("", "s"), "s");
    EXPECT_EQ(unit_product("Pa", "s"), "Pa*s");
    EXPECT_EQ(unit_product("l/s", "s"), "l");
    EXPECT_EQ(unit_product("m/s2", "s"), "m/s");
    EXPECT_EQ(unit_product("m/s3", "s"), "m/s2");
    EXPECT_EQ(unit_product("1/s", "s"), "");
    EXPECT_EQ(unit_product("s", "s"), "s2");
    EXPECT_EQ(unit_product("V*s", "s"), "V*s2");
    EXPECT_EQ(unit_product("m/Pa", "s"), "m/Pa*s");
}

// The document's block cache: made from the preferences on first use,
// following a changed budget, replaced for a changed folder only while no
// block uses it, and left alone when a test set its own.
namespace {

class BlockCache : public tessal::testing::ttempdirtest {};

std::vector<std::shared_ptr<const tblock>> fill_blocks(const std::shared_ptr<tblockcache>& cache,
                                                       int n) {
    std::vector<float> v(block_samples);
    for (std::size_t k = 0; k < v.size(); ++k) v[k] = static_cast<float>(k);
    std::vector<std::shared_ptr<const tblock>> blocks;
    for (int i = 0; i < n; ++i) blocks.push_back(tblock::from_memory(cache, v.data(), v.size()));
    return blocks;
}

constexpr std::size_t block_bytes = block_samples * sizeof(float);

}  // namespace

TEST_F(BlockCache, MadeFromThePreferences) {
    tdocument doc;
    doc.prefs.SampleMemoryMB = 3;
    doc.prefs.ScratchFolder = path("scratch");
    const auto cache = doc.block_cache();
    ASSERT_TRUE(cache);
    EXPECT_EQ(cache->budget(), std::size_t(3) * 1024 * 1024);
    EXPECT_EQ(cache->scratch_folder(), dir / "scratch");
    EXPECT_EQ(doc.block_cache(), cache);  // one cache, not one per call
    EXPECT_NE(cache, tblockcache::process());
    EXPECT_TRUE(listing().empty());  // no folder before a block has to leave memory
}

TEST_F(BlockCache, AnEmptyFolderIsTheDefaultOneThenTheTemporaryFolder) {
    tdocument doc;
    EXPECT_EQ(doc.block_cache()->scratch_folder(), std::filesystem::temp_directory_path());
    EXPECT_EQ(doc.block_cache()->budget(), tblockcache::quarter_of_physical_memory());
    tdocument told;
    told.scratch_default = dir / "default";
    EXPECT_EQ(told.block_cache()->scratch_folder(), dir / "default");
}

TEST_F(BlockCache, ACacheSetByTheCallerIsTheOneUsed) {
    tdocument doc;
    doc.prefs.SampleMemoryMB = 100;
    auto mine = std::make_shared<tblockcache>(2 * block_bytes, dir);
    doc.set_block_cache(mine);
    EXPECT_EQ(doc.block_cache(), mine);
    doc.prefs.SampleMemoryMB = 50;
    doc.prefs.ScratchFolder = path("elsewhere");
    EXPECT_EQ(doc.block_cache(), mine);
    EXPECT_EQ(mine->budget(), 2 * block_bytes);  // the preferences do not reach it
    EXPECT_EQ(mine->scratch_folder(), dir);
    // Blocks made through the document spill to the caller's folder.
    auto blocks = fill_blocks(doc.block_cache(), 3);
    doc.block_cache()->trim();
    EXPECT_EQ(mine->stats().spills, 1u);
    EXPECT_EQ(blocks[0]->pin()[65535], 65535.0f);
    blocks.clear();
    doc.set_block_cache(nullptr);  // back to the preferences
    EXPECT_EQ(doc.block_cache()->budget(), std::size_t(50) << 20);
    EXPECT_EQ(doc.block_cache()->scratch_folder(), dir / "elsewhere");
}

TEST_F(BlockCache, AChangedBudgetReachesTheCache) {
    tdocument doc;
    doc.prefs.SampleMemoryMB = 1;  // four blocks
    doc.prefs.ScratchFolder = path("scratch");
    const auto cache = doc.block_cache();
    auto blocks = fill_blocks(cache, 4);
    cache->trim();
    EXPECT_EQ(cache->stats().spills, 0u);
    doc.prefs.SampleMemoryMB = 2;
    EXPECT_EQ(doc.block_cache(), cache);
    EXPECT_EQ(cache->budget(), 2 * 4 * block_bytes);
    auto more = fill_blocks(doc.block_cache(), 4);
    cache->trim();
    EXPECT_EQ(cache->stats().spills, 0u);  // eight blocks fit the new budget
    doc.prefs.SampleMemoryMB = 1;
    doc.block_cache()->trim();
    EXPECT_EQ(cache->stats().spills, 4u);  // and four go when it is one MB again
    doc.prefs.SampleMemoryMB = 0;
    EXPECT_EQ(doc.block_cache()->budget(), tblockcache::quarter_of_physical_memory());
}

TEST_F(BlockCache, AChangedFolderTakesANewCacheOnlyWhenNoBlockUsesTheOld) {
    tdocument doc;
    doc.prefs.SampleMemoryMB = 1;
    doc.prefs.ScratchFolder = path("a");
    auto first = doc.block_cache();
    auto blocks = fill_blocks(first, 1);
    first.reset();
    doc.prefs.ScratchFolder = path("b");
    doc.prefs.SampleMemoryMB = 2;
    // A block is in it: the folder stays (its scratch file may hold blocks),
    // the budget follows.
    auto kept = doc.block_cache();
    EXPECT_EQ(kept->scratch_folder(), dir / "a");
    EXPECT_EQ(kept->budget(), 2 * 4 * block_bytes);
    kept.reset();
    blocks.clear();
    // No block left: the next use takes the new folder.
    const auto fresh = doc.block_cache();
    EXPECT_EQ(fresh->scratch_folder(), dir / "b");
    EXPECT_EQ(fresh->budget(), 2 * 4 * block_bytes);
}

TEST_F(BlockCache, TheScratchFolderIsMadeAtTheFirstSpill) {
    tdocument doc;
    doc.prefs.SampleMemoryMB = 1;
    doc.prefs.ScratchFolder = path("deep/er/scratch");
    auto blocks = fill_blocks(doc.block_cache(), 4);
    doc.block_cache()->trim();
    EXPECT_FALSE(std::filesystem::exists(dir / "deep"));
    blocks.push_back(fill_blocks(doc.block_cache(), 1)[0]);
    doc.block_cache()->trim();
    EXPECT_TRUE(std::filesystem::is_directory(dir / "deep/er/scratch"));
    EXPECT_EQ(doc.block_cache()->stats().spills, 1u);
    for (const auto& b : blocks) EXPECT_EQ(b->pin()[12345], 12345.0f);
}

TEST_F(BlockCache, AFolderThatCannotBeMadeIsTheCachesError) {
    { std::ofstream(path("file")) << "x"; }
    tdocument doc;
    doc.prefs.SampleMemoryMB = 1;
    doc.prefs.ScratchFolder = path("file/scratch");
    const auto cache = doc.block_cache();
    auto blocks = fill_blocks(cache, 4);
    try {
        blocks.push_back(fill_blocks(cache, 1)[0]);
        cache->trim();
        FAIL() << "no error";
    } catch (const std::system_error& e) {
        EXPECT_NE(std::string(e.what()).find(path("file/scratch")), std::string::npos) << e.what();
    }
    for (const auto& b : blocks) EXPECT_EQ(b->pin()[7], 7.0f);
}
