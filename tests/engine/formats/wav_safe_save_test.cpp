// Saving over an existing WAVE file: on success nothing but the new file is
// left; on any failure (a short write from a full disk or a file-size limit,
// a folder that refuses new files, refused renames) the existing file stays
// byte for byte as it was and the message says what happened.
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>

#include <sys/resource.h>

#include "engine/formats/safereplace.h"
#include "engine/formats/twavfile.h"
#include "wav_test_support.h"

namespace tessal {
namespace {

using testing::read_bytes;
using testing::tbytes;

// The real file system, with one chosen call made to fail.
class tfailingops : public tfileops {
public:
    std::size_t write_limit = SIZE_MAX;  // bytes accepted before writes fail with ENOSPC
    bool refuse_create = false;          // as a read-only folder does
    std::string refuse_rename_from;      // rename of this file fails with EACCES
    std::string refuse_remove;           // removing this file fails with EBUSY

    std::FILE* create(const std::string& name) override {
        if (refuse_create) {
            errno = EACCES;
            return nullptr;
        }
        return tfileops::create(name);
    }
    std::size_t write(std::FILE* f, const void* data, std::size_t n) override {
        const std::size_t take = std::min(n, write_limit - written_);
        const std::size_t done = tfileops::write(f, data, take);
        written_ += done;
        if (done < n) errno = ENOSPC;
        return done;
    }
    bool rename(const std::string& from, const std::string& to) override {
        if (from == refuse_rename_from) {
            errno = EACCES;
            return false;
        }
        return tfileops::rename(from, to);
    }
    bool remove(const std::string& name) override {
        if (name == refuse_remove) {
            errno = EBUSY;
            return false;
        }
        return tfileops::remove(name);
    }

private:
    std::size_t written_ = 0;
};

class WavSafeSaveTest : public testing::twavtempdir {
protected:
    void SetUp() override {
        twavtempdir::SetUp();
        name = path("rec.wav");
        wav.Setfullscale(0, 1.0);
        wav.save_file(name, signal(100), true, false);  // the existing recording
        before = read_bytes(name);
        wav.set_fileops(&ops);
    }
    static std::vector<tsinglearr> signal(std::size_t n) { return {tsinglearr(n, 0.5f)}; }
    // Saves a longer signal and returns the message it failed with.
    std::string failed_save(bool safe = true) {
        try {
            wav.save_file(name, signal(50000), safe, false);
        } catch (const std::runtime_error& e) {
            return e.what();
        }
        ADD_FAILURE() << "the save did not fail";
        return "";
    }
    std::string name;
    tbytes before;
    tfailingops ops;
    TWavFile wav;
};

TEST_F(WavSafeSaveTest, ASuccessfulSaveLeavesOnlyTheNewFile) {
    wav.save_file(name, signal(1000), true, false);
    EXPECT_EQ(listing(), std::vector<std::string>{"rec.wav"});
    EXPECT_EQ(read_bytes(name).size(), 44u + 2000u);
    // A plain (unsafe) save writes in place, also leaving nothing else.
    wav.save_file("", signal(10), false, false);
    EXPECT_EQ(listing(), std::vector<std::string>{"rec.wav"});
    EXPECT_EQ(read_bytes(name).size(), 44u + 20u);
}

TEST_F(WavSafeSaveTest, AShortWriteKeepsTheOldFileAndSaysHowFarItGot) {
    ops.write_limit = 44 + 30000;
    const std::string msg = failed_save();
    EXPECT_EQ(msg, "Error saving file\rIncomplete save, 30000 of 100000 audio bytes written\r28 (No space left on device)");
    EXPECT_EQ(read_bytes(name), before);
    EXPECT_EQ(listing(), std::vector<std::string>{"rec.wav"});
}

TEST_F(WavSafeSaveTest, ANewFileAppearsUnderItsNameOnlyWhenComplete) {
    name = path("new.wav");
    for (std::size_t limit : {std::size_t{20}, std::size_t{44 + 30000}}) {  // not even the header; part of the data
        SCOPED_TRACE(limit);
        tfailingops full;
        full.write_limit = limit;
        wav.set_fileops(&full);
        const std::string msg = failed_save();
        EXPECT_EQ(msg.rfind("Error saving file\rIncomplete save, ", 0), 0u) << msg;
        EXPECT_NE(msg.find("\r28 (No space left on device)"), std::string::npos) << msg;
        EXPECT_EQ(listing(), std::vector<std::string>{"rec.wav"});
    }
}

TEST_F(WavSafeSaveTest, TheFileSizeLimitOfTheSystemIsAShortWrite) {
    // A real failure of the operating system: writes beyond RLIMIT_FSIZE fail
    // with EFBIG once SIGXFSZ is ignored.
    wav.set_fileops(nullptr);
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    auto oldhandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit lim = old;
    lim.rlim_cur = 40000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &lim), 0);
    const std::string msg = failed_save();
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldhandler);
    EXPECT_EQ(msg.rfind("Error saving file\rIncomplete save, ", 0), 0u) << msg;
    EXPECT_NE(msg.find(" of 100000 audio bytes written\r27 ("), std::string::npos) << msg;
    EXPECT_EQ(read_bytes(name), before);
    EXPECT_EQ(listing(), std::vector<std::string>{"rec.wav"});
}

TEST_F(WavSafeSaveTest, AFolderThatRefusesNewFiles) {
    ops.refuse_create = true;
    const std::string msg = failed_save();
    EXPECT_EQ(msg.rfind("Cannot create file \r" + path("rec_partial_"), 0), 0u) << msg;
    EXPECT_NE(msg.find(".wav\r13 (Permission denied)"), std::string::npos) << msg;
    EXPECT_EQ(read_bytes(name), before);
    EXPECT_EQ(listing(), std::vector<std::string>{"rec.wav"});
    // And for real: a folder that is not there.
    wav.set_fileops(nullptr);
    try {
        wav.save_file(path("gone/x.wav"), signal(10), true, false);
        FAIL();
    } catch (const EFileSaveError& e) {
        // A new file is made under a temporary name first, like any other.
        const std::string msg = e.what();
        EXPECT_EQ(msg.rfind("Cannot create file \r" + path("gone/x_partial_"), 0), 0u) << msg;
        EXPECT_NE(msg.find(".wav\r2 (No such file or directory)"), std::string::npos) << msg;
    }
}

TEST_F(WavSafeSaveTest, RefusedRenamesAndDeletes) {
    // Moving the old file aside fails: it stays where it is, untouched.
    ops.refuse_rename_from = name;
    EXPECT_EQ(failed_save(), "Error renaming old file \r" + name + "\r13");
    EXPECT_EQ(read_bytes(name), before);
    EXPECT_EQ(listing(), std::vector<std::string>{"rec.wav"});

    // Moving the new file in fails: the old file is put back.
    struct ttmpops : tfailingops {
        bool rename(const std::string& from, const std::string& to) override {
            if (from.find("_partial_") != std::string::npos) {
                errno = EXDEV;
                return false;
            }
            return tfailingops::rename(from, to);
        }
    } tmpops;
    wav.set_fileops(&tmpops);
    std::string msg = failed_save();
    EXPECT_EQ(msg.rfind("Error renaming tmp file \r" + path("rec_partial_"), 0), 0u) << msg;
    EXPECT_EQ(msg.substr(msg.size() - 3), "\r18");
    EXPECT_EQ(read_bytes(name), before);
    EXPECT_EQ(listing(), std::vector<std::string>{"rec.wav"});

    // Deleting the old copy fails: the new file is in place, the copy remains.
    struct tdelops : tfailingops {
        bool remove(const std::string& n) override {
            if (n.find("_old_") != std::string::npos) {
                errno = EBUSY;
                return false;
            }
            return tfailingops::remove(n);
        }
    } delops;
    wav.set_fileops(&delops);
    msg = failed_save();
    EXPECT_EQ(msg.rfind("Error deleting old file \r" + path("rec_old_"), 0), 0u) << msg;
    EXPECT_EQ(msg.substr(msg.size() - 3), "\r16");
    EXPECT_EQ(read_bytes(name).size(), 44u + 100000u);
    const auto files = listing();
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(read_bytes(path(files[1])), before);  // rec_old_N.wav sorts after rec.wav
}

TEST_F(WavSafeSaveTest, TemporaryFileThatCannotBeCleanedUp) {
    struct tcleanops : tfailingops {
        bool remove(const std::string& n) override {
            if (n.find("_partial_") != std::string::npos) {
                errno = EBUSY;
                return false;
            }
            return tfailingops::remove(n);
        }
    } cleanops;
    cleanops.write_limit = 1000;
    wav.set_fileops(&cleanops);
    const std::string msg = failed_save();
    EXPECT_EQ(msg.rfind("Error cleaning up tmp file \r" + path("rec_partial_"), 0), 0u) << msg;
    EXPECT_EQ(msg.substr(msg.size() - 3), "\r16");
    EXPECT_EQ(read_bytes(name), before);
}

}  // namespace
}  // namespace tessal
