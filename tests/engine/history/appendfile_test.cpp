// The append-only file's hand-over of its actions: an action queued behind
// records runs once, whether the records reach the disk or the file is
// discarded before they do. The journal relies on it to remove a finished
// recording's spool; a discard that dropped the action left the spool
// behind after a clean exit, to be offered for recovery at the next start.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <vector>

#include "engine/history/appendfile.h"
#include "support/tempdirtest.h"

using namespace tessal;

namespace {

class tappend : public tessal::testing::ttempdirtest {};

constexpr std::string_view magic = "TESTFILE";

}  // namespace

TEST_F(tappend, ActionsRunOnceWrittenOrDiscarded) {
    for (bool discard : {false, true}) {
        SCOPED_TRACE(discard ? "discarded" : "flushed");
        const std::string p = path(discard ? "d.bin" : "f.bin");
        std::atomic<int> ran{0};
        {
            tappendfile f(p, magic);
            // Records big enough that the writer is still busy with them
            // when the file is discarded (each is synced to the disk).
            for (int i = 0; i < 8; ++i) f.append(std::vector<std::uint8_t>(1 << 20, static_cast<std::uint8_t>(i)));
            f.after_written([&] { ++ran; });
            if (discard) {
                f.discard();
                EXPECT_EQ(ran.load(), 1);
                EXPECT_FALSE(std::filesystem::exists(p));
            } else {
                f.flush();
                EXPECT_EQ(ran.load(), 1);
                EXPECT_EQ(read_framed(p, magic).records.size(), 8u);
            }
        }
        EXPECT_EQ(ran.load(), 1);  // closing runs it no second time
    }
}

TEST_F(tappend, AnActionAfterADiscardRunsAtOnce) {
    tappendfile f(path("x.bin"), magic);
    f.discard();
    int ran = 0;
    f.after_written([&] { ++ran; });
    EXPECT_EQ(ran, 1);
}
