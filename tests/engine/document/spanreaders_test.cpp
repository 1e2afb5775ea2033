// The document's readers of a channel's samples over long spans, with the
// channel's pieces cut to 1, 7 and 1000 samples and left as they are: the
// RMS that sets the FSD, a file's peak and RMS, the mean between marks and
// the check that a level change fits, each against sums taken here.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "engine/core/tdocument.h"
#include "engine/document/channelcommands.h"
#include "engine/document/levels.h"

using namespace tessal;

namespace {

const std::size_t limits[] = {0, 1, 7, 1000};

// k - 1000 for k = 0..n-1 at 1000 Hz: sums in closed form, exact in doubles.
tsinglearr ramp(std::size_t n) {
    tsinglearr x(n);
    for (std::size_t k = 0; k < n; ++k) x[k] = static_cast<float>(k) - 1000.0f;
    return x;
}

double sum_of_squares(long long a, long long b) {  // of k - 1000, k = a..b
    double s = 0;
    for (long long k = a; k <= b; ++k) s += static_cast<double>(k - 1000) * static_cast<double>(k - 1000);
    return s;
}

}  // namespace

TEST(SpanReaders, RmsForFsdAndFileFiguresOverAnyPieces) {
    const std::size_t n = 70001;
    tdocument doc;
    doc.set_totnchans(1);
    tchannel& ch = doc.channel(0);
    ch.set_samples(ramp(n));
    ch.sampfreq = 1000;
    for (std::size_t limit : limits) {
        ch.set_chunk_limit(limit);
        doc.theglobal.set_selection(0, 0);  // none: the whole channel
        EXPECT_DOUBLE_EQ(setfsd_rms(doc, 0), std::sqrt(sum_of_squares(0, n - 1) / n)) << limit;
        doc.theglobal.set_selection(1.234, 65.4321);  // samples 1234..65432
        EXPECT_DOUBLE_EQ(setfsd_rms(doc, 0), std::sqrt(sum_of_squares(1234, 65432) / (65432 - 1234 + 1)))
            << limit;
        EXPECT_EQ(doc.file_peak_value(0), 69000.0) << limit;
        EXPECT_DOUBLE_EQ(doc.file_rms_value(0), std::sqrt(sum_of_squares(0, n - 1) / n)) << limit;
    }
}

TEST(SpanReaders, MeanBetweenMarksOverAnyPieces) {
    tchannel ch(nullptr, 0);
    ch.sampfreq = 1000;
    ch.set_samples(ramp(70001));
    ch.xshift = 100;  // sample k lies at time index k + 100
    ch.cursors[1] = 60.1;
    ch.cursors[2] = 1.1;  // time indices 1100..60100: samples 1000..60000
    for (std::size_t limit : limits) {
        ch.set_chunk_limit(limit);
        EXPECT_DOUBLE_EQ(read_avg_between_marks(ch), -29500.0) << limit;  // mean of 0..59000
    }
    // Past the end the missing samples count as 0: time indices 60100..80100
    // hold samples 60000..70000 (59000..69000) and 10000 zeros.
    ch.cursors[1] = 60.1;
    ch.cursors[2] = 80.1;
    for (std::size_t limit : limits) {
        ch.set_chunk_limit(limit);
        EXPECT_DOUBLE_EQ(read_avg_between_marks(ch), -64000.0 * 10001 / 20001) << limit;
    }
}

TEST(SpanReaders, LevelChangeFitsFindsTheLargestSampleItTouchesOverAnyPieces) {
    // Doubling samples 2000..3000 with 10-sample ramps touches 1990..3010: a
    // sample of 0.6 of the largest float there does not fit, one just
    // outside does.
    tchannel ch(nullptr, 0);
    ch.sampfreq = 1000;
    tlevelchange c;
    c.type = constantfactor;
    c.startvalue = 2;
    c.ramp_ms = 10;
    const float big = 0.6f * std::numeric_limits<float>::max();
    for (long long at : {1989LL, 1990LL, 2500LL, 3010LL, 3011LL}) {
        tsinglearr x(8000, 0.5f);
        x[static_cast<std::size_t>(at)] = big;
        ch.set_samples(x);
        for (std::size_t limit : limits) {
            ch.set_chunk_limit(limit);
            EXPECT_EQ(level_change_fits(ch, 2000, 3000, c), at < 1990 || at > 3010) << at << " " << limit;
        }
    }
    // Removing the mean: samples of 0.6 of the largest float fit alone; their
    // mean added to one of them does not.
    c.type = removedc;
    tsinglearr x(5000, big);
    x[4999] = -big;
    ch.set_samples(x);
    for (std::size_t limit : limits) {
        ch.set_chunk_limit(limit);
        EXPECT_FALSE(level_change_fits(ch, 0, 4998, c)) << limit;
        EXPECT_TRUE(level_change_fits(ch, 4998, 4999, c)) << limit;  // mean 0
    }
}
