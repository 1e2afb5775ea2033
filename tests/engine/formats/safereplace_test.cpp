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
#include <chrono>
#include <thread>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include "engine/core/tdocument.h"
#include "engine/formats/safereplace.h"
#include "engine/formats/tessalfile.h"
#include "engine/formats/textgrid.h"
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
                 c.set_samples(tsinglearr(static_cast<std::size_t>(1000 * version), 0.25f * version));
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

// What a name stands for decides how it is written: a link's target is
// replaced and the link stays, a FIFO is written into and stays a FIFO,
// anything else that is not a regular file is refused untouched.
TEST_F(SafeReplaceTest, WhatTheNameStandsForDecidesHowItIsWritten) {
    namespace fs = std::filesystem;
    const std::string real = path("real.txt"), link = path("link.txt");
    write_text_file("old", real);
    fs::create_symlink("real.txt", link);
    write_text_file("new", link);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(read_all(real), bytes({'n', 'e', 'w'}));
    // A link to a file not there yet creates the file where it points.
    fs::create_symlink("later.txt", path("dangling.txt"));
    write_text_file("made", path("dangling.txt"));
    EXPECT_TRUE(fs::is_symlink(path("dangling.txt")));
    EXPECT_EQ(read_all(path("later.txt")).size(), 4u);
    // The other writers too: the .tessal file through a link, and the .smp
    // file through tsafereplace.
    fs::create_symlink("real.tessal", path("link.tessal"));
    fs::create_symlink("real.smp", path("link.smp"));
    for (const twriter& w : writers()) {
        if (std::string(w.label) == "wav") continue;
        SCOPED_TRACE(w.label);
        const std::string l = path(std::string("link.") + w.label);
        w.save(l, 1, tfileops::system());
        w.save(l, 2, tfileops::system());
        EXPECT_TRUE(fs::is_symlink(l));
        EXPECT_TRUE(fs::is_regular_file(path(std::string("real.") + w.label)));
    }

    // A FIFO gets the text straight, and stays a FIFO.
    const std::string fifo = path("pipe");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // The reader gives up after ten seconds, so a writer that never comes
    // fails the test instead of hanging it.
    std::string got;
    const int rfd = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(rfd, 0);
    std::thread reader([&] {
        char buf[256];
        for (int tick = 0; tick < 1000; ++tick) {
            const ssize_t n = ::read(rfd, buf, sizeof buf);
            if (n > 0) got.append(buf, static_cast<std::size_t>(n));
            if (n == 0 && !got.empty()) break;
            if (n <= 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ::close(rfd);
    });
    fs::create_symlink("pipe", path("pipelink"));
    write_text_file("through the pipe", path("pipelink"));
    reader.join();
    EXPECT_EQ(got, "through the pipe");
    EXPECT_TRUE(fs::is_fifo(fifo));
    EXPECT_TRUE(fs::is_symlink(path("pipelink")));

    // Refused before anything is written: a folder, a socket, a loop of links.
    fs::create_directory(path("folder"));
    const std::string sock = path("sock");
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", sock.c_str());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    fs::create_symlink("loop2", path("loop1"));
    fs::create_symlink("loop1", path("loop2"));
    const std::vector<std::string> before = listing();
    for (const char* name : {"folder", "sock", "loop1"}) {
        SCOPED_TRACE(name);
        EXPECT_THROW(write_text_file("x", path(name)), EFileSaveError);
        for (const twriter& w : writers())
            EXPECT_ANY_THROW(w.save(path(name), 1, tfileops::system())) << w.label;
        EXPECT_EQ(listing(), before);
    }
    EXPECT_TRUE(fs::is_socket(sock));
    ::close(fd);
    try {
        write_text_file("x", sock);
    } catch (const EFileSaveError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot create file \r" + sock + "\r" + sock + " is a socket, not a file to write");
    }
}

// A character device is written into, never replaced, and a failing write
// to it says so. The device is a private copy of /dev/full (root only), so a
// fault here cannot harm the system's own.
TEST_F(SafeReplaceTest, ADeviceIsWrittenIntoAndStays) {
    const std::string full = path("full");
    if (::mknod(full.c_str(), S_IFCHR | 0666, makedev(1, 7)) != 0)
        GTEST_SKIP() << "no device node can be made here";
    std::filesystem::create_symlink("full", path("fulllink"));
    struct stat st {};
    ASSERT_EQ(::stat(full.c_str(), &st), 0);
    for (const std::string& name : {full, path("fulllink")}) {
        SCOPED_TRACE(name);
        try {
            write_text_file("not for the device", name);
            ADD_FAILURE() << "a write to the full device succeeded";
        } catch (const EFileSaveError& e) {
            EXPECT_EQ(std::string(e.what()),
                      name + "\rThe output to " + name + " is incomplete\r28 (No space left on device)");
        }
        struct stat after {};
        ASSERT_EQ(::lstat(full.c_str(), &after), 0);
        EXPECT_TRUE(S_ISCHR(after.st_mode));
        EXPECT_EQ(after.st_ino, st.st_ino);
        EXPECT_EQ(after.st_rdev, st.st_rdev);
        EXPECT_TRUE(std::filesystem::is_symlink(path("fulllink")));
        EXPECT_EQ(listing(), (std::vector<std::string>{"full", "fulllink"}));
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
