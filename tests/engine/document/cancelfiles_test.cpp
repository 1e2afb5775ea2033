// Long file commands the user cancels: a cancelled Open leaves the document
// that was open (samples, names, title, modified flag) as it was; a
// cancelled Add adds nothing; a cancelled Save leaves the old file byte for
// byte and no new or temporary file behind. Progress reaches the caller
// with the file's name and rising fractions. Reading in one pass gives the
// same channels, drawing cache, peak and RMS as reading and computing them
// separately (checked against sums over the samples and a sox reading).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "engine/document/documentfiles.h"
#include "engine/formats/twavfile.h"
#include "support/scriptedprompter.h"
#include "support/tempdirtest.h"

using namespace tessal;
using tessal::testing::tscriptedprompter;

namespace {

std::string bytes_of(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

struct tcancelfixture : tessal::testing::ttempdirtest {
    tdocument doc;
    tscriptedprompter prompter;
    tdocumentlifecycle life{doc, prompter};
    tdocumentfiles files{doc, life, prompter};
    std::vector<double> seen;
    double stop_at = 2;  // the fraction at which progress answers "cancel"

    void SetUp() override {
        ttempdirtest::SetUp();
        doc.prefs.WarnSaveWav = false;
        files.progress = [this](const std::string& p, double f) {
            EXPECT_NE(p.find(".wav"), std::string::npos);
            seen.push_back(f);
            return f < stop_at;
        };
    }
    // 3 channels of 3 s at 48 kHz: several blocks of the reader.
    std::string wav(const std::string& name, float scale, int nbits = 16) {
        std::vector<tsinglearr> c(3, tsinglearr(144000));
        for (std::size_t i = 0; i < c[0].size(); ++i)
            for (std::size_t k = 0; k < 3; ++k)
                c[k][i] = scale * static_cast<float>(std::sin(0.001 * static_cast<double>(i * (k + 1))));
        TWavFile w;
        w.Setsampfreq(48000);
        w.Setnbits(static_cast<std::uint32_t>(nbits));
        w.Setnchans(3);
        w.save_file(path(name), c, false, false);
        return path(name);
    }
};

}  // namespace

using CancelledFileCommands = tcancelfixture;

TEST_F(CancelledFileCommands, OpenLeavesThePreviousDocument) {
    const std::string first = wav("first.wav", 0.5f), second = wav("second.wav", 0.25f);
    ASSERT_TRUE(files.open_document(first));
    const float edit = 0.125f;  // an unsaved edit
    doc.channel(1).write_samples(7, &edit, 1);
    doc.channel(1).sigcachedirty = true;
    doc.set_modified(true);
    const tsinglearr before = doc.channel(1).samples_array();
    stop_at = 0.5;
    prompter.answers.push_back(tanswer::no);  // "save changes?": no
    seen.clear();
    EXPECT_FALSE(files.open_document(second));
    EXPECT_TRUE(files.cancelled());
    ASSERT_FALSE(seen.empty());
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    ASSERT_EQ(doc.totnchans(), 3);
    EXPECT_EQ(doc.channel(1).samples_array(), before);
    EXPECT_EQ(doc.channel(0).name(), "first.wav Ch 0");
    EXPECT_EQ(doc.filename(), first);
    EXPECT_TRUE(doc.modified());
    // Adding, cancelled, adds nothing.
    EXPECT_FALSE(files.add_file(second));
    EXPECT_TRUE(files.cancelled());
    EXPECT_EQ(doc.totnchans(), 3);
    // Not cancelled, the same file opens and reports up to the end.
    stop_at = 2;
    seen.clear();
    prompter.answers.push_back(tanswer::no);
    EXPECT_TRUE(files.open_document(second));
    EXPECT_FALSE(files.cancelled());
    EXPECT_EQ(doc.filename(), second);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back(), 1.0);
}

TEST_F(CancelledFileCommands, SaveLeavesTheOldFileAndNothingElse) {
    const std::string f = wav("doc.wav", 0.5f);
    ASSERT_TRUE(files.open_document(f));
    const std::string old = bytes_of(f);
    const float zero = 0;
    doc.channel(0).write_samples(3, &zero, 1);
    doc.channel(0).sigcachedirty = true;
    doc.set_modified(true);
    stop_at = 0.3;
    EXPECT_FALSE(files.save_document());
    EXPECT_TRUE(files.cancelled());
    EXPECT_EQ(bytes_of(f), old);
    EXPECT_EQ(listing(), std::vector<std::string>{"doc.wav"});
    EXPECT_TRUE(doc.modified());
    EXPECT_TRUE(prompter.asked.empty());  // a cancel is no error to report
    // A cancelled save to a new name leaves no file under that name.
    EXPECT_FALSE(files.save_file(path("new.wav"), 16, 0, 0, {}, tFormat::pcm));
    EXPECT_EQ(listing(), std::vector<std::string>{"doc.wav"});
    // Not cancelled, the save goes through.
    stop_at = 2;
    EXPECT_TRUE(files.save_document());
    EXPECT_NE(bytes_of(f), old);
}

TEST_F(CancelledFileCommands, OnePassReadGivesWhatSeparatePassesGive) {
    const std::string f = wav("stats.wav", 0.7f, 24);
    files.keep_stats = true;
    for (int threads : {1, 2, 3}) {
        SCOPED_TRACE(threads);
        files.threads = threads;
        prompter.answers.push_back(tanswer::no);
        ASSERT_TRUE(files.open_document(f));
        for (int c = 0; c < doc.totnchans(); ++c) {
            tchannel& ch = doc.channel(c);
            EXPECT_FALSE(ch.sigcachedirty);
            const std::vector<tsinglepair> kept = ch.sigcache;
            ch.sigcachedirty = true;  // rebuilds, and forgets the kept figures
            ch.fix_sigcache();
            ASSERT_EQ(kept.size(), ch.sigcache.size());
            for (std::size_t b = 0; b < kept.size(); ++b) {
                ASSERT_EQ(kept[b].lo, ch.sigcache[b].lo) << b;
                ASSERT_EQ(kept[b].hi, ch.sigcache[b].hi) << b;
            }
        }
        // The kept peak and RMS, then the same from the samples.
        prompter.answers.push_back(tanswer::no);
        ASSERT_TRUE(files.open_document(f));
        for (int c = 0; c < doc.totnchans(); ++c) {
            const double peak = doc.file_peak_value(c), rms = doc.file_rms_value(c);
            float m = 0;
            double sum = 0;
            for (float x : doc.channel(c).samples_array()) {
                m = std::max(m, std::fabs(x));
                sum += static_cast<double>(x) * x;
            }
            EXPECT_EQ(peak, m);
            EXPECT_EQ(rms, std::sqrt(sum / static_cast<double>(doc.channel(c).sample_count())));
            // A sine of amplitude 0.7 over nearly 23 periods.
            EXPECT_NEAR(rms, 0.7 / std::sqrt(2.0), 0.01);
        }
    }
}
