// The "SaveFormat" setting counts the save dialog's used rows from 1.
#include <gtest/gtest.h>

#include "engine/document/saveformats.h"

using namespace tessal;

TEST(SaveFormat, CountsUsedRowsFromOne) {
    std::vector<tsavefilter> rows = default_savefilters();
    const tsavefilter* r = saveformat_row(rows, default_saveformat);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->idstr, "wav24i");
    EXPECT_EQ(r->filterstr, "Wave file 24-bit (*.wav)|*.wav");
    EXPECT_EQ(saveformat_row(rows, 1)->idstr, "tessal32f");
    EXPECT_EQ(saveformat_row(rows, 5)->idstr, "wav32f");
    // Out of range (rows switched off since, a damaged file): the nearest.
    EXPECT_EQ(saveformat_row(rows, 0)->idstr, "tessal32f");
    EXPECT_EQ(saveformat_row(rows, 99)->idstr, "wav32f");
    // Only rows in use count: with 8-bit PCM on, the fourth is 16-bit.
    rows[2].used = true;
    EXPECT_EQ(saveformat_row(rows, 4)->idstr, "wav16i");
    for (tsavefilter& row : rows) row.used = false;
    EXPECT_EQ(saveformat_row(rows, 1), nullptr);
}
