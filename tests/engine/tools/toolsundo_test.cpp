// The tools' document changes as undo steps: calibrating a channel (its
// samples scaled in place, unit, FSD and label) and making EPG index
// channels a second time (written over the channels made the first time)
// are each taken back exactly by one undo, samples bit for bit, and redone
// exactly.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>

#include "engine/core/tdocument.h"
#include "engine/history/channelstate.h"
#include "engine/history/undohistory.h"
#include "engine/tools/calibration.h"
#include "engine/tools/epg.h"

using namespace tessal;

namespace {

// Places in the list of the eleven indices.
constexpr int cog = 0, back3 = 8;

struct tsnapshot {
    std::vector<std::vector<std::uint32_t>> bits;
    std::vector<tchannelstate> states;
    bool operator==(const tsnapshot&) const = default;
};

tsnapshot snapshot(const tdocument& doc) {
    tsnapshot s;
    for (int i = 0; i < doc.totnchans(); ++i) {
        const tchannel& c = doc.channel(i);
        const tsinglearr x = c.samples_array();
        std::vector<std::uint32_t> b(x.size());
        if (!b.empty()) std::memcpy(b.data(), x.data(), b.size() * 4);
        s.bits.push_back(std::move(b));
        s.states.push_back(tchannelstate::of(c));
    }
    return s;
}

}  // namespace

TEST(ToolsUndo, CalibrationIsOneStepTakenBackBitForBit) {
    tdocument doc;
    tundohistory history(doc);
    tchannel& c = doc.create_channel(0);
    c.sampfreq = c.orgsampfreq = 16000;
    tsinglearr v(32000);
    for (std::size_t i = 0; i < v.size(); ++i)
        v[i] = static_cast<float>(0.3 * std::sin(2 * M_PI * 1000 * double(i) / 16000) + 1e-7 * double(i % 7));
    c.set_samples(std::move(v));
    doc.set_modified(false);
    const tsnapshot before = snapshot(doc);

    history.begin("Calibrate");
    tcalibration p;
    p.value = 94;
    ASSERT_EQ(calibrate_channels(doc, {0}, p, 0.5, 1.5).calibrated, std::vector<int>{0});
    history.commit();
    const tsnapshot after = snapshot(doc);
    ASSERT_NE(after, before);
    EXPECT_EQ(history.undo_name(), "Calibrate");

    ASSERT_TRUE(history.undo());
    EXPECT_EQ(snapshot(doc), before);
    EXPECT_FALSE(doc.modified());
    ASSERT_TRUE(history.redo());
    EXPECT_EQ(snapshot(doc), after);
}

TEST(ToolsUndo, MakingEpgChannelsAgainIsUndoneToTheFirstMaking) {
    tdocument doc;
    tundohistory history(doc);
    tchannel& src = doc.create_channel(0);
    src.sampfreq = src.orgsampfreq = 8000;
    src.set_samples(tsinglearr(8000, 0.25f));
    src.epgexists = true;
    src.epgsampfreq = 100;
    auto frames = [](int shift) {
        std::vector<std::uint64_t> f;
        for (int i = 0; i < 100; ++i) {
            std::array<std::uint8_t, 8> rows{};
            for (int r = 0; r <= (i + shift) % 8; ++r) rows[static_cast<std::size_t>(r)] = r == 7 ? 0x7E : 0xFF;
            f.push_back(epg_frame(rows));
        }
        return f;
    };
    src.epg = frames(0);
    auto methods = make_extraction_methods();
    std::vector<bool> checked(11, false);
    checked[cog] = checked[back3] = true;

    history.begin(make_epg_channels_caption);
    ASSERT_EQ(make_epg_channels(doc, 0, methods, checked), 2);
    history.commit();
    const tsnapshot first = snapshot(doc);
    ASSERT_EQ(doc.totnchans(), 3);

    // The palate data changes and the channels are made again, over the same channels.
    doc.channel(0).epg = frames(3);
    history.begin(make_epg_channels_caption);
    ASSERT_EQ(make_epg_channels(doc, 0, methods, checked), 2);
    history.commit();
    ASSERT_EQ(doc.totnchans(), 3);
    const tsnapshot second = snapshot(doc);
    ASSERT_NE(second.bits, first.bits);

    ASSERT_TRUE(history.undo());
    EXPECT_EQ(snapshot(doc).bits, first.bits);
    ASSERT_TRUE(history.undo());
    EXPECT_EQ(doc.totnchans(), 1);
    ASSERT_TRUE(history.redo());
    ASSERT_TRUE(history.redo());
    EXPECT_EQ(snapshot(doc).bits, second.bits);
}
