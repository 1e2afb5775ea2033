#include <gtest/gtest.h>

#include <set>

#include "engine/process/channelsteps.h"
#include "engine/process/resamplestep.h"
#include "engine/process/procregistry.h"

namespace tessal {
namespace {

TEST(ProcRegistry, FortyFiveEntriesWithSeparatorsAndUniqueIds) {
    const auto& reg = procinfo();
    ASSERT_EQ(reg.size(), 45u);
    std::set<std::string> ids;
    std::vector<int> seps;
    for (int i = 0; i < 45; ++i) {
        if (reg[i].procid == "-") {
            seps.push_back(i);
            EXPECT_EQ(reg[i].listname, "-");
        } else {
            EXPECT_TRUE(ids.insert(reg[i].procid).second) << reg[i].procid;
            EXPECT_FALSE(reg[i].helptext.empty()) << reg[i].procid;
        }
    }
    EXPECT_EQ(seps, (std::vector<int>{11, 20, 25, 35, 40}));
    EXPECT_EQ(reg[0].helptext, "Loads a channel from the editor window");
    EXPECT_EQ(reg[14].helptext, "A sinc based \"ideal\" lowpass filter");
    EXPECT_EQ(reg[24].listname, "ReSample");
    EXPECT_EQ(reg[44].procid, "divch");
    EXPECT_EQ(find_procid("-"), 40);
    EXPECT_EQ(find_procid("nope"), -1);
}

TEST(ProcFactory, CreatesEveryTypeRefusesBadIndexAndSeparators) {
    for (int i = 0; i < 45; ++i) {
        auto s = create_step(i);
        if (procinfo()[i].procid == "-") {
            EXPECT_EQ(s, nullptr);
            continue;
        }
        ASSERT_NE(s, nullptr) << i;
        EXPECT_EQ(s->procnum, i);
        EXPECT_TRUE(s->enabled);
        EXPECT_FALSE(s->selected);
        EXPECT_EQ(s->get_procid(), procinfo()[i].procid);
        EXPECT_EQ(s->props.size(), 1u);
    }
    try {
        create_step(45);
        FAIL();
    } catch (const EProcessError& e) {
        EXPECT_STREQ(e.what(), "Invalid procid: 45");
    }
    EXPECT_THROW(create_step(-1), EProcessError);
}

TEST(ProcFactory, CopyTakesParametersNotStateAndIsEnabled) {
    auto a = create_step(find_procid("save"));
    auto& s = dynamic_cast<tsavechannel&>(*a);
    s.channo = {3, -1};
    s.channelname = "flow";
    s.usechannelname = true;
    s.enabled = false;
    s.selected = true;
    s.inarr = {{1, 2}};
    s.props.resize(2);
    auto b = create_step(s.procnum, &s);
    auto& c = dynamic_cast<tsavechannel&>(*b);
    EXPECT_EQ(c.channo, (tintarr{3, -1}));
    EXPECT_EQ(c.get_procname(), "Save to channels 3 N (flow)");
    EXPECT_TRUE(c.enabled);
    EXPECT_FALSE(c.selected);
    EXPECT_TRUE(c.inarr.empty());
    EXPECT_EQ(c.props.size(), 2u);
}

TEST(ProcFactory, ResampleTargetsTheDefaultRate) {
    auto resample = create_step(find_procid("resample"), nullptr, 16000);
    EXPECT_EQ(dynamic_cast<tresample&>(*resample).targetfreq, 16000);
    EXPECT_EQ(resample->get_procname(), "Resample to 16000 Hz (Decent)");
}

TEST(ProcStep, ListTexts) {
    tloadchannel l;
    EXPECT_EQ(l.get_procname(), "Load from channel 0");
    l.channo = {};
    EXPECT_EQ(l.get_procname(), "Load from channel ");
    l.channo = {-2, -3};
    EXPECT_EQ(l.get_procname(), "Load from channels S C");
    tsavechannel s;
    EXPECT_EQ(s.get_procname(), "Save to channel N");
    tappendchannel a;
    a.channo = {1, 2};
    EXPECT_EQ(a.get_procname(), "Append to channels 1 2");
    tprependchannel p;
    EXPECT_EQ(p.get_procname(), "Prepend to channel 0");
    tdeletechannel d;
    d.channo = {0, 1};
    EXPECT_EQ(d.get_procname(), "Delete channel 0 1");
    EXPECT_EQ(create_step(find_procid("comment"))->get_procname(), "   == Comment ==");
}

}  // namespace
}  // namespace tessal
