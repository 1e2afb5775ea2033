// Every writer (WAVE, .smp with its label file, the native file and so the
// settings container) saves an existing file through the one seam and the
// one replacement: the new data is synced to the disk before a rename makes
// it the file, the old file is moved aside to "_old_" while the new one moves
// in, and the folder is synced. Any failing step leaves the old files byte
// for byte and no stray files.
#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <fstream>
#include <functional>
#include <iterator>

#include "engine/core/tdocument.h"
#include "engine/formats/safereplace.h"
#include "engine/formats/tessalfile.h"
#include "engine/formats/tsmpfile.h"
#include "engine/formats/twavfile.h"
#include "support/tempdirtest.h"

namespace tessal {
namespace {

using bytes = std::vector<char>;

bytes read_all(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    return bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool has(const std::string& s, const char* part) { return s.find(part) != std::string::npos; }

// The real file system, recording what happens to files, with one chosen
// step made to fail.
class trecordingops : public tfileops {
public:
    enum class tfault { none, write, sync, move_aside, move_in };
    tfault fault = tfault::none;
    std::vector<std::string> events;

    std::size_t write(std::FILE* f, const void* data, std::size_t n) override {
        if (fault == tfault::write) return short_write();
        return tfileops::write(f, data, n);
    }
    std::size_t write_at(std::FILE* f, std::int64_t pos, const void* data, std::size_t n) override {
        if (fault == tfault::write) return short_write();
        return tfileops::write_at(f, pos, data, n);
    }
    bool sync(const std::string& name) override {
        events.push_back("sync " + kind(name));
        if (fault == tfault::sync) {
            errno = EIO;
            return false;
        }
        return tfileops::sync(name);
    }
    bool sync_folder(const std::string& name) override {
        events.push_back("sync folder");
        return tfileops::sync_folder(name);
    }
    bool rename(const std::string& from, const std::string& to) override {
        events.push_back("rename " + kind(from) + " " + kind(to));
        const bool aside = kind(to) == "old", in = kind(from) == "partial";
        if ((fault == tfault::move_aside && aside) || (fault == tfault::move_in && in)) {
            errno = EACCES;
            return false;
        }
        return tfileops::rename(from, to);
    }
    bool remove(const std::string& name) override {
        events.push_back("remove " + kind(name));
        return tfileops::remove(name);
    }

private:
    static std::string kind(const std::string& name) {
        return has(name, "_partial_") ? "partial" : has(name, "_old_") ? "old" : "target";
    }
    static std::size_t short_write() {
        errno = ENOSPC;
        return 0;
    }
};

class SafeReplaceTest : public testing::ttempdirtest {
protected:
    // The three writers, each saving a new version of `name` through `ops`;
    // false (or an exception) when the save failed.
    struct twriter {
        const char* label;
        const char* file;
        std::function<void(const std::string&, int, tfileops&)> save;  // version, ops
    };
    static std::vector<twriter> writers() {
        return {
            {"wav", "rec.wav",
             [](const std::string& name, int version, tfileops& ops) {
                 TWavFile w;
                 w.set_fileops(&ops);
                 w.Setfullscale(0, 1.0);
                 w.save_file(name, std::vector<tsinglearr>{tsinglearr(1000 * version, 0.25f * version)}, true, false);
             }},
            {"smp", "rec.smp",
             [](const std::string& name, int version, tfileops& ops) {
                 TSMPfile s;
                 s.set_fileops(&ops);
                 s.SetOverwrite(true);
                 s.new_file(name);
                 s.insert_nonpresent_defaults();
                 s.set_proc("Tessal");
                 s.SetnChans(1);
                 s.SetSfTot(16000);
                 s.set_channel(0, "mic", "Pa", 1.0);
                 s.write_channel(0, tsinglearr(1000 * version, 0.25f * version), false);
                 s.SetExternalLabels(true);
                 s.add_label(0.01 * version, 0.01, "label " + std::to_string(version));
                 const bool ok = s.save_file();
                 s.close_file();
                 if (!ok) throw EFileSaveError(s.Getsaveerror());
             }},
            {"tessal", "rec.tessal",
             [](const std::string& name, int version, tfileops& ops) {
                 tdocument doc;
                 doc.set_totnchans(1);
                 tchannel& c = doc.channel(0);
                 c.set_name("mic");
                 c.sampfreq = 16000;
                 c.set_fsd(1.0);
                 c.sig.assign(1000 * version, 0.25f * version);
                 write_tessal_file(doc, name, {}, 0, 0, ops);
             }},
        };
    }
};

TEST_F(SafeReplaceTest, EveryWriterReplacesThroughTheOneSafeReplace) {
    for (const twriter& w : writers()) {
        SCOPED_TRACE(w.label);
        const std::string name = path(w.file);
        w.save(name, 1, tfileops::system());
        const std::vector<std::string> files = listing();
        std::vector<bytes> before;
        for (const std::string& f : files) before.push_back(read_all(path(f)));

        using tfault = trecordingops::tfault;
        for (tfault fault : {tfault::write, tfault::sync, tfault::move_aside, tfault::move_in}) {
            SCOPED_TRACE(static_cast<int>(fault));
            trecordingops ops;
            ops.fault = fault;
            bool failed = false;
            try {
                w.save(name, 2, ops);
            } catch (const std::exception&) {
                failed = true;
            }
            EXPECT_TRUE(failed);
            EXPECT_EQ(listing(), files);
            for (std::size_t i = 0; i < files.size(); ++i)
                EXPECT_EQ(read_all(path(files[i])), before[i]) << files[i];
        }

        // The working save: synced before any rename, old moved aside, new
        // moved in, folder synced, old deleted, in that order.
        trecordingops ops;
        w.save(name, 2, ops);
        EXPECT_EQ(listing(), files);
        EXPECT_NE(read_all(name), before[std::find(files.begin(), files.end(), w.file) - files.begin()]);
        std::vector<std::string> steps;
        for (const std::string& e : ops.events)
            if (e.rfind("sync", 0) == 0 || e.rfind("rename", 0) == 0 || e == "remove old")
                steps.push_back(e);
        const std::size_t targets = files.size();  // .smp replaces its label file with it
        std::vector<std::string> expected;
        for (std::size_t i = 0; i < targets; ++i) expected.push_back("sync partial");
        for (std::size_t i = 0; i < targets; ++i) expected.push_back("rename target old");
        for (std::size_t i = 0; i < targets; ++i) expected.push_back("rename partial target");
        for (std::size_t i = 0; i < targets; ++i) expected.push_back("sync folder");
        for (std::size_t i = 0; i < targets; ++i) expected.push_back("remove old");
        EXPECT_EQ(steps, expected);
        for (const std::string& f : listing()) std::filesystem::remove(path(f));
    }
}

TEST(SafeNames, InsertBeforeTheExtensionOfTheFileNameOnly) {
    EXPECT_EQ(insert_before_extension("a/rec.wav", "_partial_7"), "a/rec_partial_7.wav");
    EXPECT_EQ(insert_before_extension("a/rec.take2.wav", "_old_7"), "a/rec.take2_old_7.wav");
    EXPECT_EQ(insert_before_extension("rec.wav", "_old_7"), "rec_old_7.wav");
    // No extension: appended. A dot in a folder or a leading dot (a hidden
    // file's name) is no extension.
    EXPECT_EQ(insert_before_extension("a/rec", "_old_7"), "a/rec_old_7");
    EXPECT_EQ(insert_before_extension("v1.2/rec", "_old_7"), "v1.2/rec_old_7");
    EXPECT_EQ(insert_before_extension("a/.csv", "_old_7"), "a/.csv_old_7");
    EXPECT_EQ(insert_before_extension(".csv", "_old_7"), ".csv_old_7");
    EXPECT_EQ(insert_before_extension("a\\b.c\\rec", "_old_7"), "a\\b.c\\rec_old_7");
}

}  // namespace
}  // namespace tessal
