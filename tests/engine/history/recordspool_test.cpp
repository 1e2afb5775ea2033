// The recording spool read back: a recorder writes the samples it converted
// from the device's integer buffers, so every sample it can hold is finite.
// A record whose samples are not (a spool damaged where its checksums still
// agree) ends the reading like any damaged record: the recording is what came
// before it, the rest is counted as lost.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <limits>
#include <vector>

#include "engine/core/tdocument.h"
#include "engine/history/recordspool.h"
#include "support/tempdirtest.h"

using namespace tessal;

namespace {

class tspool : public tessal::testing::ttempdirtest {
protected:
    // A spool of one target holding the given records, in order.
    std::string spool_of(const std::vector<std::vector<float>>& records) {
        tdocument doc;
        doc.set_totnchans(1);
        const std::string p = path("take.spool");
        trecordspool s(p, doc, {0}, {false});
        for (const auto& r : records) s.append(0, r.data(), r.size());
        s.flush();
        return p;
    }
};

TEST_F(tspool, FiniteSamplesAreReadWhole) {
    const std::string p = spool_of({{0.5f, -0.25f}, {0.125f}});
    const tspoolcontents c = read_spool(p);
    ASSERT_TRUE(c.readable);
    ASSERT_EQ(c.samples.size(), 1u);
    EXPECT_EQ(c.samples[0], (std::vector<float>{0.5f, -0.25f, 0.125f}));
    EXPECT_EQ(c.lostbytes, 0u);
}

TEST_F(tspool, ARecordWithSamplesNoDeviceGivesEndsTheRecording) {
    const float bad[] = {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                         -std::numeric_limits<float>::infinity()};
    for (float x : bad) {
        SCOPED_TRACE(x);
        const std::string p = spool_of({{0.5f, -0.25f}, {0.125f, x, 0.0f}, {0.75f}});
        const auto size = std::filesystem::file_size(p);
        const tspoolcontents c = read_spool(p);
        ASSERT_TRUE(c.readable);
        ASSERT_EQ(c.samples.size(), 1u);
        EXPECT_EQ(c.samples[0], (std::vector<float>{0.5f, -0.25f}));
        for (float v : c.samples[0]) EXPECT_TRUE(std::isfinite(v));
        // The two records from the damaged one on: 20 bytes of frame each,
        // and payloads of a side byte, a count and the floats.
        EXPECT_EQ(c.lostbytes, (20u + 1 + 8 + 3 * 4) + (20u + 1 + 8 + 4));
        EXPECT_LT(c.lostbytes, size);
    }
}

}  // namespace
