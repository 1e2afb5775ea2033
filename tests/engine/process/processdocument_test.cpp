// The processing window's editing rules, without the window: adding (and
// the separator), copy, delete, moving blocks, enabling, the modified flag
// and the caption and Run-command texts.
#include <gtest/gtest.h>

#include <cstdio>

#include "engine/process/channelsteps.h"
#include "engine/process/processdocument.h"
#include "engine/process/procregistry.h"

using namespace tessal;

namespace {

// A process of the given step types, each step's list text made unique by
// its channel number so that the order can be read from lines().
tprocessdocument deletes(int n) {
    tprocessdocument p;
    for (int i = 0; i < n; ++i) {
        p.add_step(find_procid("delete"));
        dynamic_cast<tdeletechannel&>(*p.steps.back()).channo = {i};
    }
    p.set_modified(false);
    return p;
}

std::string order(const tprocessdocument& p) {
    std::string s;
    for (const auto& step : p.steps)
        s += std::to_string(dynamic_cast<const tdeletechannel&>(*step).channo[0]);
    return s;
}

}  // namespace

TEST(ProcessDocument, AddingASeparatorAddsNothingAndLeavesTheFlag) {
    tprocessdocument p;
    const int sep = find_procid("-");
    ASSERT_GE(sep, 0);
    EXPECT_FALSE(p.add_step(sep));
    EXPECT_TRUE(p.steps.empty());
    EXPECT_FALSE(p.modified());
    // A double-click marks the process modified all the same.
    EXPECT_FALSE(p.add_step_marking(sep));
    EXPECT_TRUE(p.modified());
    EXPECT_TRUE(p.add_step(find_procid("load")));
    ASSERT_EQ(p.steps.size(), 1u);
    EXPECT_TRUE(p.steps[0]->enabled);
    EXPECT_EQ(p.lines(), std::vector<std::string>{"Load from channel 0"});
}

TEST(ProcessDocument, MovesBlocksAndKeepsStepsAtTheEnds) {
    tprocessdocument p = deletes(5);
    p.set_selection({true, true, false, false, false});
    p.move_up();
    EXPECT_EQ(order(p), "01234");  // the first two stay where they are
    EXPECT_TRUE(p.modified());
    p.set_selection({false, false, true, true, false});
    p.move_up();
    EXPECT_EQ(order(p), "02314");
    EXPECT_EQ(p.selection(), (std::vector<bool>{false, true, true, false, false}));
    p.move_down();
    EXPECT_EQ(order(p), "01234");
    p.move_down();
    EXPECT_EQ(order(p), "01423");
    p.move_down();  // the block is at the end
    EXPECT_EQ(order(p), "01423");
    p.set_selection({true, false, true, false, true});
    p.move_up();
    EXPECT_EQ(order(p), "04132");
}

TEST(ProcessDocument, CopyDeleteAndEnableWorkOnTheSelection) {
    tprocessdocument p = deletes(3);
    p.copy_selected();  // nothing selected: only the flag changes
    EXPECT_EQ(order(p), "012");
    EXPECT_TRUE(p.modified());

    p.set_selection({true, false, true});
    p.set_enabled(false);
    EXPECT_EQ(p.lines(), (std::vector<std::string>{"% Delete channel 0", "Delete channel 1",
                                                   "% Delete channel 2"}));
    p.copy_selected();
    EXPECT_EQ(order(p), "01202");
    // Only the copies are selected, and they are enabled.
    EXPECT_EQ(p.selection(), (std::vector<bool>{false, false, false, true, true}));
    EXPECT_TRUE(p.steps[3]->enabled && p.steps[4]->enabled);
    // A copy has its own parameters.
    dynamic_cast<tdeletechannel&>(*p.steps[3]).channo = {7};
    EXPECT_EQ(dynamic_cast<tdeletechannel&>(*p.steps[0]).channo, tintarr{0});

    p.set_selection({true, false, true, false, true});
    p.delete_selected();
    EXPECT_EQ(order(p), "17");
}

TEST(ProcessDocument, CaptionAndRunCommandFollowNameAndFlag) {
    tprocessdocument p;
    EXPECT_EQ(p.caption(), "<untitled> - Tessal");
    EXPECT_EQ(p.run_caption(), "&Run process");
    EXPECT_EQ(p.run_hint(), "Run current process");

    const std::string path = ::testing::TempDir() + "/tessal_captions.tessalproc";
    p.add_step(find_procid("load"));
    p.save(path);
    EXPECT_EQ(p.caption(), path + " - Tessal");
    EXPECT_EQ(p.run_caption(), "&Run process tessal_captions");
    EXPECT_EQ(p.run_hint(), "Run current process (" + path + ")");
    p.touch();
    EXPECT_EQ(p.caption(), path + "* - Tessal");
    EXPECT_EQ(p.run_hint(), "Run current process");
    EXPECT_EQ(p.run_caption(), "&Run process tessal_captions");

    // A failed save keeps the name and the flag (a file stands where the
    // folder would be).
    const std::string blocker = ::testing::TempDir() + "/tessal_captions_blocker";
    std::fclose(std::fopen(blocker.c_str(), "w"));
    EXPECT_ANY_THROW(p.save(blocker + "/x.tessalproc"));
    std::remove(blocker.c_str());
    EXPECT_EQ(p.name(), path);
    EXPECT_TRUE(p.modified());

    tprocessdocument q;
    q.open(path);
    EXPECT_EQ(q.lines(), std::vector<std::string>{"Load from channel 0"});
    EXPECT_FALSE(q.modified());
    q.clear();
    EXPECT_EQ(q.caption(), "<untitled> - Tessal");
    EXPECT_TRUE(q.steps.empty());
    std::remove(path.c_str());
}
