// Electropalatography: indices against hand-counted frames, the average
// palate and its frame range, colours, channels made from a recording with
// its ".epg" file, and the palate grid file with damaged copies.
#include "engine/tools/epg.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <thread>

#include "engine/core/tchannel.h"
#include "engine/core/tdocument.h"
#include "engine/document/documentfiles.h"
#include "engine/formats/twavfile.h"
#include "engine/formats/txiifile.h"
#include "engine/jobs/jobline.h"
#include "support/scriptedprompter.h"
#include "support/tempdirtest.h"
#include "jobprobe.h"

using namespace tessal;

namespace {

enum tindex {
    cog, anterior, posterior, mid4, antmid4, postmid4, front3, mid2, back3, frontmost, syncmarks
};

std::uint64_t frame_of(std::initializer_list<std::pair<int, int>> contacts) {
    std::array<std::uint8_t, 8> rows{};
    for (auto [r, c] : contacts) rows[static_cast<std::size_t>(r)] |= static_cast<std::uint8_t>(1u << c);
    return epg_frame(rows);
}

double index_of(std::uint64_t f, int m) { return make_extraction_methods().at(static_cast<std::size_t>(m)).extract(f); }

}  // namespace

TEST(EpgIndices, TheElevenMethodsInOrder) {
    const auto m = make_extraction_methods();
    ASSERT_EQ(m.size(), 11u);
    EXPECT_EQ(m[0].methodname, "Center of gravity (COG)");
    EXPECT_EQ(m[9].methodname, "Frontmost contact");
    EXPECT_EQ(m[10].methodname, "Sync");
    for (const auto& e : m) {
        EXPECT_EQ(e.channelid, -1);
        EXPECT_FALSE(e.countzeroweight);
    }
    EXPECT_EQ(m[6].methodfsd, 1);
    EXPECT_EQ(m[9].methodfsd, 8);
}

TEST(EpgIndices, SyncPositionsAloneCountOnlyForSync) {
    const std::uint64_t f = frame_of({{7, 0}, {7, 7}});
    EXPECT_EQ(index_of(f, syncmarks), 1);
    for (int m : {cog, anterior, posterior, mid4, antmid4, postmid4}) EXPECT_EQ(index_of(f, m), 0) << m;
    EXPECT_EQ(index_of(f, frontmost), 0);
    EXPECT_EQ(index_of(f, front3), 0);  // 22 electrodes counted, none touched
    EXPECT_EQ(index_of(0, syncmarks), 0);
    EXPECT_EQ(index_of(frame_of({{7, 0}}), syncmarks), 0.5);
}

TEST(EpgIndices, BackThreeRowsInContact) {
    std::array<std::uint8_t, 8> rows{0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0};
    const std::uint64_t f = epg_frame(rows);
    EXPECT_EQ(index_of(f, back3), 1);
    EXPECT_EQ(index_of(f, front3), 0);
    EXPECT_EQ(index_of(f, mid2), 0);
    EXPECT_DOUBLE_EQ(index_of(f, cog), 1.5);  // (0.5 + 1.5 + 2.5) / 3
    EXPECT_DOUBLE_EQ(index_of(f, posterior), 1.5);
    EXPECT_DOUBLE_EQ(index_of(f, postmid4), 1.5);
    EXPECT_EQ(index_of(f, anterior), 0);
    EXPECT_EQ(index_of(f, frontmost), 3);
    EXPECT_EQ(index_of(f, syncmarks), 0);
}

TEST(EpgIndices, MixedFrameCountedByHand) {
    // Row 7 columns 1..3, row 4 columns 2 and 3, row 1 column 0, plus the
    // sync mark at (7,7).
    const std::uint64_t f = frame_of({{7, 1}, {7, 2}, {7, 3}, {4, 2}, {4, 3}, {1, 0}, {7, 7}});
    // COG: contacts of non-zero weight: 3 x 7.5, 2 x 4.5, 1 x 1.5 = 33 / 6.
    EXPECT_DOUBLE_EQ(index_of(f, cog), 33.0 / 6);
    EXPECT_DOUBLE_EQ(index_of(f, anterior), (3 * 7.5 + 2 * 4.5) / 5);
    EXPECT_DOUBLE_EQ(index_of(f, posterior), 1.5);
    // Columns 2..5: (7,2), (7,3), (4,2), (4,3).
    EXPECT_DOUBLE_EQ(index_of(f, mid4), (2 * 7.5 + 2 * 4.5) / 4);
    EXPECT_DOUBLE_EQ(index_of(f, antmid4), 6.0);
    EXPECT_EQ(index_of(f, postmid4), 0);
    EXPECT_DOUBLE_EQ(index_of(f, front3), 3.0 / 22);  // rows 5..7 hold 22 electrodes
    EXPECT_DOUBLE_EQ(index_of(f, mid2), 2.0 / 16);
    EXPECT_DOUBLE_EQ(index_of(f, back3), 1.0 / 24);
    EXPECT_EQ(index_of(f, frontmost), 8);
    EXPECT_DOUBLE_EQ(index_of(f, syncmarks), 0.5);
    EXPECT_EQ(epg_row_contacts(f, 7), 3);  // the sync mark is no electrode
    const tepgcog g = frame_cog(frame_of({{0, 0}, {2, 7}}));
    EXPECT_DOUBLE_EQ(g.row, 1.5);
    EXPECT_DOUBLE_EQ(g.col, 4.0);
    EXPECT_FALSE(frame_cog(0).any);
}

// The centre of gravity is the COG index's: the sync marks are no
// electrodes, for one frame (against the method's weight table) and for an
// average palate (against the mean over the frames' contacts counted here).
TEST(EpgPalate, CentreOfGravityLeavesTheSyncMarksOut) {
    const auto methods = make_extraction_methods();
    const std::uint64_t syncs = frame_of({{7, 0}, {7, 7}});
    std::uint64_t seed = 12345;
    std::vector<std::uint64_t> frames;
    for (int k = 0; k < 200; ++k) {
        seed = seed * 6364136223846793005ull + 1442695040888963407ull;
        const std::uint64_t f = (seed >> 3) | syncs;
        frames.push_back(f);
        const tepgcog g = frame_cog(f);
        ASSERT_TRUE(g.any);
        EXPECT_NEAR(g.row, methods[cog].extract(f), 1e-12) << std::hex << f;
    }
    EXPECT_FALSE(frame_cog(syncs).any);
    EXPECT_EQ(epg_cog_text(frame_cog(syncs), 6), "No contact");
    // Front rows in full: (8 * 5.5 + 8 * 6.5 + 6 * 7.5) / 22 electrodes.
    const std::uint64_t front = epg_frame({0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF});
    EXPECT_DOUBLE_EQ(frame_cog(front).row, 141.0 / 22);
    EXPECT_EQ(epg_cog_text(frame_cog(front), 6), "COG row 6.40909, column 4");

    double n = 0, sr = 0, sc = 0;
    for (std::uint64_t f : frames)
        for (int r = 0; r < 8; ++r)
            for (int c = 0; c < 8; ++c)
                if (epg_contact(f, r, c) && epg_is_electrode(r, c)) n += 1, sr += r + 0.5, sc += c + 0.5;
    const tepgcog avg = palate_cog(average_palate(frames, 0, static_cast<int>(frames.size()) - 1));
    EXPECT_NEAR(avg.row, sr / n, 1e-12);
    EXPECT_NEAR(avg.col, sc / n, 1e-12);
}

TEST(EpgPalate, AverageOverTheSelectionClampsToTheFrames) {
    tdocument doc;
    doc.set_totnchans(1);
    tchannel& ch = doc.channel(0);
    ch.epgexists = true;
    ch.epgsampfreq = 100;
    for (int i = 0; i < 10; ++i) ch.epg.push_back(i % 2 ? frame_of({{3, 4}}) : frame_of({{0, 0}, {3, 4}}));
    tepgrange g = epg_frame_range(ch, 0.042, 0.011);
    EXPECT_EQ(g.startindex, 1);
    EXPECT_EQ(g.endindex, 4);
    EXPECT_EQ(g.lastframe, 9);
    tepgmatrix p = average_palate(ch.epg, g.startindex, g.endindex);
    EXPECT_DOUBLE_EQ(p[3][4], 1.0);
    EXPECT_DOUBLE_EQ(p[0][0], 0.5);  // frames 2 and 4 of 1..4
    EXPECT_EQ(p[5][5], 0);
    g = epg_frame_range(ch, -3, -1);
    EXPECT_EQ(g.startindex, 0);
    EXPECT_EQ(g.endindex, 0);
    g = epg_frame_range(ch, 5, 7);
    EXPECT_EQ(g.startindex, 9);
    EXPECT_EQ(g.endindex, 9);
    EXPECT_EQ(epg_title(ch, epg_frame_range(ch, 0.02, 0.05)), "0:  - EPG frame 2 - 5 of 9");
    ch.set_name("a.wav Ch 0");
    EXPECT_EQ(epg_title(ch, g), "0: a.wav Ch 0 - EPG frame 9 - 9 of 9");
    const tepgcog c = palate_cog(p);  // (0,0) weighs 0.5, (3,4) weighs 1
    EXPECT_DOUBLE_EQ(c.row, (0.5 * 0.5 + 3.5) / 1.5);
    tchannel& bare = doc.channel(0);
    bare.epg.clear();
    bare.epgexists = false;
    EXPECT_EQ(epg_title(bare, epg_frame_range(bare, 0, 1)), "No EPG available");
}

TEST(EpgColours, ElectrodesAndContactBands) {
    EXPECT_EQ(electrode_color(0, 3, false), (trgb{255, 255, 255}));
    EXPECT_EQ(electrode_color(1, 3, false), (trgb{0, 0, 0}));
    EXPECT_EQ(electrode_color(0.5, 0, false), (trgb{128, 128, 128}));
    // Colour mode, full contact: column 0 keeps its red, column 7 its blue.
    EXPECT_EQ(electrode_color(1, 0, true), (trgb{255, 0, 0}));
    EXPECT_EQ(electrode_color(1, 7, true), (trgb{0, 0, 255}));
    EXPECT_EQ(electrode_color(1, 4, true), (trgb{0, 0, 0}));

    const std::uint64_t row3 = epg_frame({0, 0, 0, 0xFF, 0, 0, 0, 0});
    EXPECT_EQ(contact_band_color(row3, 3, false), (trgb{0, 0, 0}));
    EXPECT_EQ(contact_band_color(row3, 2, false), (trgb{255, 255, 255}));
    const std::uint64_t three = frame_of({{7, 1}, {7, 2}, {7, 3}, {7, 0}});
    EXPECT_EQ(contact_band_color(three, 7, false), (trgb{128, 128, 128}));
    EXPECT_EQ(contact_band_color(0, 5, true), (trgb{255, 255, 255}));
    // Full row: hue 0 (red), columns' mean 3.5, spread mean (2+1+0+... )/8/3.
    const trgb full = contact_band_color(row3, 3, true);
    const double s = (3 + 2 + 1 + 0 + 0 + 1 + 2 + 3) / 8.0 / 3, v = 1 - 3.5 / 21;
    EXPECT_EQ(full, (trgb{static_cast<std::uint8_t>(std::lround(v * 255)),
                          static_cast<std::uint8_t>(std::lround(v * (1 - s) * 255)),
                          static_cast<std::uint8_t>(std::lround(v * (1 - s) * 255))}));
    // Four of eight in row 2 at columns 0, 1, 6, 7: hue 0.5 (cyan), the
    // spread (3 + 2 + 2 + 3) / 4 / 3, columns' mean 3.5.
    const trgb edge = contact_band_color(epg_frame({0, 0, 0xC3, 0, 0, 0, 0, 0}), 2, true);
    const double s2 = 10.0 / 4 / 3;
    EXPECT_EQ(edge, (trgb{static_cast<std::uint8_t>(std::lround(v * (1 - s2) * 255)),
                          static_cast<std::uint8_t>(std::lround(v * 255)),
                          static_cast<std::uint8_t>(std::lround(v * 255))}));

    // Row 0 at the bottom, row 3 the fourth band from below.
    EXPECT_EQ(contact_band(0, 80).y0, 70);
    EXPECT_EQ(contact_band(0, 80).y1, 80);
    EXPECT_EQ(contact_band(3, 80).y0, 40);
    EXPECT_EQ(contact_band(3, 80).y1, 50);
    EXPECT_EQ(contact_band(7, 80).y0, 0);
}

TEST(EpgPalate, FramesOutsideTheRecordingAreNone) {
    tdocument doc;
    doc.set_totnchans(1);
    tchannel& ch = doc.channel(0);
    ch.epgsampfreq = 100;
    ch.epg.assign(5, 0);
    EXPECT_EQ(epg_frame_at(ch, -0.006), -1);
    EXPECT_EQ(epg_frame_at(ch, -0.004), 0);
    EXPECT_EQ(epg_frame_at(ch, 0.044), 4);
    EXPECT_EQ(epg_frame_at(ch, 0.046), -1);
}

class EpgFiles : public tessal::testing::ttempdirtest {};

TEST(EpgPicture, ContactEvolutionBandsAndEmptyTimes) {
    tdocument doc;
    doc.set_totnchans(1);
    tchannel& ch = doc.channel(0);
    ch.epgsampfreq = 100;
    ch.epg = {epg_frame({0, 0, 0, 0xFF, 0, 0, 0, 0}), epg_frame({0, 0, 0, 0, 0, 0, 0, 0x0E})};
    // Columns at -0.02 s (before the first frame), frame 0, frame 1, after.
    const std::vector<double> t{-0.02, 0.0, 0.01, 0.03};
    const auto img = contact_evolution_raster(ch, t, 16, false);
    ASSERT_EQ(img.size(), 64u);
    auto px = [&](int x, int y) { return img[static_cast<std::size_t>(y * 4 + x)]; };
    const trgb white{}, black{0, 0, 0}, grey{128, 128, 128};
    for (int y = 0; y < 16; ++y) {
        EXPECT_EQ(px(0, y), white);
        EXPECT_EQ(px(3, y), white);
        // Row 3 is the fourth band from below: pixels 8 and 9 of 16.
        EXPECT_EQ(px(1, y), (y == 8 || y == 9) ? black : white) << y;
        // Row 7 (three of six) is the top band.
        EXPECT_EQ(px(2, y), y < 2 ? grey : white) << y;
    }
}

TEST_F(EpgFiles, RecordingWithItsEpgFileMakesIndexChannelsTwiceIntoTheSameChannels) {
    // One second of sound at 8 kHz and 100 frames: frame i holds rows
    // 0..(i % 8) fully, and the sync marks on every tenth frame.
    const std::string wavpath = path("rec.wav");
    {
        TWavFile w;
        w.Setsampfreq(8000);
        w.Setnbits(16);
        w.Setnchans(1);
        std::vector<tsinglearr> chans(1, tsinglearr(8000, 0.25f));
        w.save_file(wavpath, chans, false, false);
    }
    std::vector<std::uint64_t> frames;
    {
        std::ofstream e(path("rec.epg"), std::ios::binary);
        for (int i = 0; i < 120; ++i) {  // more than the sound lasts: 100 are read
            std::array<std::uint8_t, 8> rows{};
            for (int r = 0; r <= i % 8; ++r) rows[static_cast<std::size_t>(r)] = r == 7 ? 0x7E : 0xFF;
            if (i % 10 == 0) rows[7] |= 0x81;
            e.write(reinterpret_cast<const char*>(rows.data()), 8);
            frames.push_back(epg_frame(rows));
        }
    }
    tdocument doc;
    tessal::testing::tscriptedprompter prompter;
    tdocumentlifecycle life{doc, prompter};
    tdocumentfiles files{doc, life, prompter};
    ASSERT_TRUE(files.add_file(wavpath));
    ASSERT_TRUE(doc.channel(0).epgexists);
    ASSERT_EQ(doc.channel(0).epg.size(), 100u);

    auto methods = make_extraction_methods();
    std::vector<bool> checked(11, false);
    checked[cog] = checked[back3] = checked[frontmost] = checked[syncmarks] = true;
    EXPECT_EQ(make_epg_channels(doc, 0, methods, checked), 4);
    ASSERT_EQ(doc.totnchans(), 5);
    EXPECT_EQ(doc.thischanno(), 4);
    EXPECT_TRUE(doc.modified());
    EXPECT_EQ(doc.filename(), "");
    const tchannel& c = doc.channel(1);
    EXPECT_EQ(c.name(), "Center of gravity (COG)");
    EXPECT_EQ(c.sampfreq, 100);
    EXPECT_EQ(c.orgsampfreq, 100);
    EXPECT_EQ(c.fsd(), 8);
    EXPECT_EQ(c.format, tFormat::ieeefloat);
    EXPECT_EQ(c.created().origin, "Tessal EPG");
    EXPECT_DOUBLE_EQ(c.axis.GetHiValue(), 13.6);
    EXPECT_DOUBLE_EQ(c.axis.GetLoValue(), 0);
    ASSERT_EQ(c.sample_count(), 100);
    for (int i = 0; i < 100; ++i) {
        const int k = i % 8;  // rows 0..k in contact
        // COG by hand: rows of 8 electrodes weigh r + 0.5, the front row 6.
        double sum = 0, n = 0;
        for (int r = 0; r <= k; ++r) {
            sum += epg_row_electrodes(r) * (r + 0.5);
            n += epg_row_electrodes(r);
        }
        EXPECT_FLOAT_EQ(c.sample(static_cast<std::size_t>(i)), static_cast<float>(sum / n)) << i;
        EXPECT_FLOAT_EQ(doc.channel(2).sample(static_cast<std::size_t>(i)),
                        static_cast<float>(std::min(k + 1, 3) / 3.0)) << i;
        EXPECT_EQ(doc.channel(3).sample(static_cast<std::size_t>(i)), k + 1) << i;
        EXPECT_EQ(doc.channel(4).sample(static_cast<std::size_t>(i)), i % 10 == 0 ? 1 : 0) << i;
    }
    EXPECT_EQ(doc.channel(4).name(), "Sync");

    // Again, with one more method: the four are overwritten, one is added.
    doc.channel(1).set_samples(tsinglearr(3, 0.0f));
    checked[front3] = true;
    EXPECT_EQ(make_epg_channels(doc, 0, methods, checked), 4);  // "Sync" comes last
    ASSERT_EQ(doc.totnchans(), 6);
    EXPECT_EQ(doc.channel(1).sample_count(), 100);
    EXPECT_EQ(doc.channel(5).name(), "Front 3 rows");
    EXPECT_EQ(doc.channel(5).sample(7), 1);  // rows 0..7 full
    // A deleted output channel is made anew at the end.
    doc.delete_channel(2);
    EXPECT_EQ(make_epg_channels(doc, 0, methods, checked), 3);
    EXPECT_EQ(doc.totnchans(), 6);
    EXPECT_EQ(doc.channel(5).name(), "Back 3 rows");

    const std::string report = epg_report(doc.channel(0), 0.07, 0.08, {cog, back3});
    EXPECT_NE(report.find("0: rec.wav Ch 0 - EPG frame 7 - 8 of 99\n"), std::string::npos) << report;
    EXPECT_NE(report.find("\n7\t0\t0.5\t0.5\t0.5\t0.5\t0.5\t0.5\t0\n"), std::string::npos) << report;
    EXPECT_NE(report.find("Frame\tTime [s]\tCenter of gravity (COG)\tBack 3 rows\n"), std::string::npos);
    EXPECT_NE(report.find("\n8\t0.08\t0.5\t0.3333"), std::string::npos) << report;
}

TEST_F(EpgFiles, MakingChannelsNeedsEpgData) {
    tdocument doc;
    doc.set_totnchans(1);
    auto methods = make_extraction_methods();
    EXPECT_THROW(make_epg_channels(doc, 0, methods, std::vector<bool>(11, true)), std::runtime_error);
    EXPECT_EQ(doc.totnchans(), 1);
}

TEST_F(EpgFiles, PalateGridRoundTripAndDamagedFiles) {
    EXPECT_EQ(palate_grid_filename("/a/b.c/palate.bmp"), "/a/b.c/palate.tessalEPGgrid");
    EXPECT_EQ(palate_grid_filename("/a/b.c/palate"), "/a/b.c/palate.tessalEPGgrid");
    tpalategrid g = default_palate_grid();
    EXPECT_DOUBLE_EQ(g.x[7][2], 0.8);
    EXPECT_DOUBLE_EQ(g.y[7][2], 0.3);
    g.x[3][5] = 0.123;
    g.y[0][7] = 0.987;
    const std::string p = path("palate.tessalEPGgrid");
    save_palate_grid(p, g);
    const tpalategrid back = load_palate_grid(p);
    EXPECT_EQ(back.x, g.x);
    EXPECT_EQ(back.y, g.y);

    auto message = [&](const std::string& file) {
        try {
            load_palate_grid(file);
        } catch (const EEPGError& e) {
            return std::string(e.what());
        }
        return std::string("no error");
    };
    EXPECT_NE(message(path("none.tessalEPGgrid")).find("Cannot read the palate grid file"), std::string::npos);
    {
        std::ifstream in(p, std::ios::binary);
        std::string bytes{std::istreambuf_iterator<char>(in), {}};
        std::ofstream(path("cut.tessalEPGgrid"), std::ios::binary) << bytes.substr(0, bytes.size() / 2);
        std::ofstream(path("junk.tessalEPGgrid"), std::ios::binary) << "not a container at all";
    }
    EXPECT_NE(message(path("cut.tessalEPGgrid")).find("Cannot read"), std::string::npos);
    EXPECT_NE(message(path("junk.tessalEPGgrid")).find("Cannot read"), std::string::npos);

    TXIIFile other;
    other.SetFileId("TessalSignals");
    other.SetProgId(tessal_progid());
    other.writefloat("pointpos", "x00", 0.5);
    other.save_file(path("other.tessalEPGgrid"));
    EXPECT_EQ(message(path("other.tessalEPGgrid")),
              "Not a palate grid file: " + path("other.tessalEPGgrid") + " (file type \"TessalSignals\")");

    TXIIFile f;
    f.SetProgId(tessal_progid());
    ASSERT_TRUE(f.open_file(p));
    f.writestring("pointpos", "y45", "left");
    f.save_file(path("type.tessalEPGgrid"));
    EXPECT_NE(message(path("type.tessalEPGgrid")).find("damaged position y45"), std::string::npos);
    ASSERT_TRUE(f.open_file(p));
    f.writefloat("pointpos", "x12", 1.5);
    f.save_file(path("range.tessalEPGgrid"));
    EXPECT_NE(message(path("range.tessalEPGgrid")).find("x12 = 1.5, outside the picture"), std::string::npos);
    TXIIFile part;
    part.SetFileId("EPGgrid");
    part.SetProgId(tessal_progid());
    part.writefloat("pointpos", "x00", 0.5);
    part.save_file(path("part.tessalEPGgrid"));
    EXPECT_NE(message(path("part.tessalEPGgrid")).find("lacks the position y00"), std::string::npos);
}

TEST(EpgGrid, SurfaceCornersFollowAnAffineGrid) {
    // Electrodes on a sheared, scaled grid: every corner is the same map of
    // the corner on the regular grid (the middle of four electrodes,
    // continued half a step beyond the edges).
    auto map = [](double u, double v) { return tpointf{0.05 + 0.08 * u + 0.02 * v, 0.1 + 0.01 * u + 0.09 * v}; };
    tpalategrid g;
    for (int r = 0; r < 8; ++r)
        for (int c = 0; c < 8; ++c) {
            g.x[r][c] = map(r, c).x;
            g.y[r][c] = map(r, c).y;
        }
    const tpalatemidpos m = palate_midpos(g);
    for (int i = 0; i <= 8; ++i)
        for (int j = 0; j <= 8; ++j) {
            const tpointf want = map(i - 0.5, j - 0.5);
            EXPECT_NEAR(m[i][j].x, want.x, 1e-12) << i << "," << j;
            EXPECT_NEAR(m[i][j].y, want.y, 1e-12) << i << "," << j;
        }
    EXPECT_NEAR(grid_point_at(g, 2.25, 6.5).x, map(2.25, 6.5).x, 1e-12);
    EXPECT_NEAR(grid_point_at(g, -0.5, 7.5).y, map(-0.5, 7.5).y, 1e-12);
    EXPECT_NEAR(grid_point_at(g, 7.5, 0).x, map(7.5, 0).x, 1e-12);
    EXPECT_EQ(nearest_electrode(g, map(3, 5).x + 0.001, map(3, 5).y, 0.01), 3 * 8 + 5);
    EXPECT_EQ(nearest_electrode(g, 2, 2, 0.01), -1);
}

// With a job the average is the same; it reports a rising progress on a
// long range and stops at a cancel, long before the end.
TEST(EpgPalate, AverageWithAJobReportsProgressAndStopsWhenCancelled) {
    std::vector<std::uint64_t> frames(6000000);
    for (std::size_t i = 0; i < frames.size(); ++i) frames[i] = (i % 3 ? 0x0F0FULL : 0x1ULL) << (i % 5);
    const int last = static_cast<int>(frames.size()) - 1;
    const tepgmatrix plain = average_palate(frames, 0, last);
    tepgmatrix withjob{};
    std::vector<int> seen = tessal::testing::progress_seen(
        [&](tjobcontext& job) { withjob = average_palate(frames, 0, last, &job); }, std::chrono::microseconds(100));
    EXPECT_EQ(withjob, plain);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    std::sort(seen.begin(), seen.end());
    EXPECT_GE(std::unique(seen.begin(), seen.end()) - seen.begin(), 3);
    const tessal::testing::tcancelrun stopped =
        tessal::testing::cancel_once_started([&](tjobcontext& job) { average_palate(frames, 0, last, &job); });
    EXPECT_TRUE(stopped.cancelled);
    EXPECT_LT(stopped.permille, 500);
}

// The indices computed with a job are the ones each method gives a frame;
// a cancelled job stops at its first look and hands nothing back.
TEST(EpgMake, ComputeGivesEachFramesIndexAndStopsWhenCancelled) {
    std::vector<std::uint64_t> frames(200000);
    for (std::size_t i = 0; i < frames.size(); ++i) frames[i] = (i % 7 ? 0xFF00FF00ULL : 0x00FF00FFULL) >> (i % 9);
    const auto methods = make_extraction_methods();
    std::vector<bool> checked(methods.size(), false);
    checked[0] = checked[4] = true;
    tjobcontext::tflag flag;
    tjobcontext job(flag);
    const tepgmakedata d = compute_epg_channels(frames, 100, methods, checked, &job);
    EXPECT_EQ(flag.permille.load(), 1000);
    ASSERT_EQ(d.made.size(), methods.size());
    EXPECT_TRUE(d.made[0] && d.made[4] && !d.made[1]);
    EXPECT_TRUE(d.samples[1].empty());
    for (std::size_t i : {0u, 1u, 6u, 7u, 199999u}) {
        EXPECT_EQ(d.samples[0][i], static_cast<float>(methods[0].extract(frames[i]))) << i;
        EXPECT_EQ(d.samples[4][i], static_cast<float>(methods[4].extract(frames[i]))) << i;
    }
    tjobcontext::tflag stop;
    stop.cancel = true;
    tjobcontext cancelled(stop);
    EXPECT_THROW(compute_epg_channels(frames, 100, methods, checked, &cancelled), tjobcancelled);
    EXPECT_EQ(stop.permille.load(), 0);
}
