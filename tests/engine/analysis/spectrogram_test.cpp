// Spectrogram columns and correlations against analytic signals: a linear
// chirp's ridge follows its instantaneous frequency within one bin in every
// column; a 1 kHz tone of RMS level -20 dB reads -20 dB (rectangle, tone on
// a bin) and -20 dB plus the Hanning mean's level otherwise; harmonic
// cursors set on a 200 Hz pulse train land on its spectral peaks; rows
// above fs/2 and zoomed-out rows; the colour modes' end points; a 100 Hz
// sine's correlation peaks at 10 ms with r = 1, and constant or silent
// stretches give r = 0.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <mutex>
#include <numbers>
#include <vector>

#include "engine/analysis/correlation.h"
#include "engine/analysis/spectrogram.h"

using namespace tessal;

namespace {

tsampleview view_of(const std::vector<float>& x, double fs) {
    return {x.data(), static_cast<long long>(x.size()), 0, fs};
}

std::vector<double> linear_rows(double lo, double hi, int h) {
    std::vector<double> f(static_cast<std::size_t>(h));
    for (int y = 0; y < h; ++y) f[static_cast<std::size_t>(y)] = lo + (hi - lo) * y / (h - 1);
    return f;
}

}  // namespace

TEST(Spectrogram, ChirpRidgeFollowsInstantaneousFrequency) {
    const double fs = 16000, T = 2, f0 = 200, f1 = 6000;
    std::vector<float> x(static_cast<std::size_t>(fs * T));
    for (std::size_t n = 0; n < x.size(); ++n) {
        const double t = n / fs;
        x[n] = static_cast<float>(0.5 * std::sin(2 * std::numbers::pi * (f0 * t + (f1 - f0) / (2 * T) * t * t)));
    }
    tspectrogramsettings s;  // Hanning, 300 Hz: 107 samples, FFT 128, bins of 125 Hz
    s.bw = 150;              // 213 samples, FFT 256, bins of 62.5 Hz
    const double binhz = fs / 256;
    std::vector<double> times;
    for (int c = 0; c < 200; ++c) times.push_back(0.05 + (T - 0.1) * c / 199);
    const std::vector<double> rows = linear_rows(0, 8000, 400);  // 20 Hz rows
    tspectrogramstrip strip;
    ASSERT_TRUE(compute_spectrogram(view_of(x, fs), s, times, rows, strip, 2));
    ASSERT_EQ(strip.width, 200);
    for (int c = 0; c < strip.width; ++c) {
        const double finst = f0 + (f1 - f0) / T * times[static_cast<std::size_t>(c)];
        const double got = rows[static_cast<std::size_t>(strip.peak_row(c))];
        EXPECT_LE(std::fabs(got - finst), binhz) << "column " << c << " at " << times[c] << " s";
    }
    // From the copies of the columns' frames (what a worker gets) the strip
    // is the same, to the bit.
    const tcolumnsamples copy = copy_column_samples(view_of(x, fs), s, times);
    EXPECT_EQ(copy.data.size(), times.size() * 213);
    tspectrogramstrip fromcopy;
    ASSERT_TRUE(compute_spectrogram(copy, s, rows, fromcopy, 2));
    EXPECT_EQ(fromcopy.levels, strip.levels);
}

TEST(Spectrogram, ToneLevelReadsItsRmsLevel) {
    const double fs = 16000;
    const double amp = std::pow(10.0, -20.0 / 20) * std::numbers::sqrt2;  // RMS -20 dB
    std::vector<float> x(32000);
    for (std::size_t n = 0; n < x.size(); ++n)
        x[n] = static_cast<float>(amp * std::sin(2 * std::numbers::pi * 1000 * n / fs));
    // Rectangle, 62.5 Hz: 256 samples, 1000 Hz is bin 16 exactly.
    tspectrogramsettings rect{62.5, TFFTWindow::rectangle};
    std::vector<double> rows = {500, 1000, 1500};
    tspectrogramworkspace ws;
    float out[3];
    ws.column(view_of(x, fs), rect, 1.0, rows.data(), 3, out);
    EXPECT_NEAR(out[1], -20.0, 0.2);
    // Hanning: the window's mean 0.5 (1 - 1/N) lowers it by its level.
    tspectrogramsettings han{125, TFFTWindow::Hanning};
    ws.column(view_of(x, fs), han, 1.0, rows.data(), 3, out);
    EXPECT_NEAR(out[1], -20.0 + 20 * std::log10(0.5 * (1 - 1.0 / 256)), 0.2);
    EXPECT_LT(out[0], -80);
    // The picture maps it through the level range with the tilt: at 1 kHz
    // no tilt, so -20 dB in -100..0 is v = 0.8, grey 51 in grayscale.
    tspectrogramstrip strip;
    ASSERT_TRUE(compute_spectrogram(view_of(x, fs), rect, {1.0}, rows, strip));
    std::vector<std::uint32_t> px;
    tspegpicture p;
    p.lo = -100;
    p.hi = 0;
    spectrogram_picture(strip, rows, p, px);
    ASSERT_EQ(px.size(), 3u);
    EXPECT_EQ(px[1] & 0xFF, 51u);  // middle row; top row first
}

TEST(Spectrogram, HarmonicCursorsLandOnPulseTrainHarmonics) {
    const double fs = 16000;
    std::vector<float> x(16000, 0.0f);
    for (std::size_t n = 0; n < x.size(); n += 80) x[n] = 0.9f;  // 200 Hz
    tspectrogramsettings s{40, TFFTWindow::Hanning};  // 50 ms: 10 pulses
    const std::vector<double> rows = linear_rows(0, 4000, 801);  // 5 Hz rows
    tspectrogramworkspace ws;
    std::vector<float> col(rows.size());
    ws.column(view_of(x, fs), s, 0.5, rows.data(), static_cast<int>(rows.size()), col.data());
    // Cursor at the 3rd harmonic, pointing at harmonic number 3.
    const std::vector<double> h = harmonic_cursor_freqs(600, 3);
    ASSERT_EQ(h.size(), 100u);
    EXPECT_DOUBLE_EQ(h[0], 200);
    for (int k = 1; k <= 19; ++k) {
        const int row = static_cast<int>(std::lround(h[static_cast<std::size_t>(k - 1)] / 5));
        // The strongest row within +-100 Hz is the cursor's row (within a bin).
        int best = row;
        for (int y = row - 20; y <= row + 20; ++y)
            if (col[static_cast<std::size_t>(y)] > col[static_cast<std::size_t>(best)]) best = y;
        EXPECT_LE(std::abs(best - row) * 5, 31) << "harmonic " << k;
        // and it stands well above the trough between harmonics
        EXPECT_GT(col[static_cast<std::size_t>(row)], col[static_cast<std::size_t>(row + 20)] + 20);
    }
    EXPECT_TRUE(harmonic_cursor_freqs(0, 1).empty());
    EXPECT_TRUE(harmonic_cursor_freqs(100, 0).empty());
}

TEST(Spectrogram, RowsAboveNyquistAndZoomedOutRows) {
    const double fs = 8000;
    std::vector<float> x(8000);
    for (std::size_t n = 0; n < x.size(); ++n)
        x[n] = static_cast<float>(0.5 * std::sin(2 * std::numbers::pi * 1530 * n / fs));
    tspectrogramsettings s{62.5, TFFTWindow::Hanning};  // 256 samples, bins of 31.25 Hz
    // Rows 500 Hz apart: the row at 2000 Hz covers bins up from 1500 Hz and
    // must show the tone's peak at 1530, as loud as a fine row on the tone.
    std::vector<double> coarse = {0, 500, 1000, 1500, 2000, 2500, 3000, 3500, 4000, 5000};
    tspectrogramworkspace ws;
    std::vector<float> c(coarse.size());
    ws.column(view_of(x, fs), s, 0.5, coarse.data(), static_cast<int>(coarse.size()), c.data());
    double fine = 1530, finelevel;
    float fl;
    ws.column(view_of(x, fs), s, 0.5, &fine, 1, &fl);
    finelevel = fl;
    EXPECT_GE(c[4], finelevel - 1.5);
    EXPECT_GT(c[4], c[6] + 30);
    EXPECT_EQ(c[8], spectrogram_above_nyquist);
    EXPECT_EQ(c[9], spectrogram_above_nyquist);
    // A bandwidth too high for 16 samples still gives 16-sample frames.
    EXPECT_EQ(spectrogram_frame_length({10000, TFFTWindow::Hanning}, 8000), 16);
}

// Every column analyses a frame of its own, so the frame length has a
// ceiling: a bandwidth of 0.001 Hz (2000 s frames) or a rate of 2^31 - 1 Hz
// gives no frame, and a strip over it is blank instead of taking gigabytes
// and minutes. The longest frame allowed is still computed.
TEST(Spectrogram, FrameLengthHasACeiling) {
    EXPECT_EQ(spectrogram_frame_length({0.001, TFFTWindow::Hanning}, 44100), 0);
    EXPECT_EQ(spectrogram_frame_length({300, TFFTWindow::Hanning}, 2147483647.0), 0);
    // Hanning: window length 2 / bw, so bw = 2 * fs / N gives N samples.
    EXPECT_EQ(spectrogram_frame_length({2.0 * 8000 / spectrogram_max_frame, TFFTWindow::Hanning}, 8000),
              spectrogram_max_frame);
    EXPECT_EQ(spectrogram_frame_length({2.0 * 8000 / (spectrogram_max_frame + 1), TFFTWindow::Hanning}, 8000),
              0);
    std::vector<float> x(1000, 0.25f);
    const std::vector<double> times(400, 0.05), rows = {0, 100, 1000};
    tspectrogramstrip strip;
    ASSERT_TRUE(compute_spectrogram(view_of(x, 2147483647.0), {300, TFFTWindow::Hanning}, times, rows, strip));
    ASSERT_EQ(strip.width, 400);
    EXPECT_EQ(strip.at(0, 0), spectrogram_above_nyquist);
    const tcolumnsamples c = copy_column_samples(view_of(x, 44100), {0.001, TFFTWindow::Hanning}, times);
    EXPECT_TRUE(c.data.empty());
}

TEST(Spectrogram, ColourModesAndTilt) {
    EXPECT_EQ(spectrogram_color(0, 0, 0), 0xFFFFFFFFu);
    EXPECT_EQ(spectrogram_color(0, 1, 0), 0xFF000000u);
    EXPECT_EQ(spectrogram_color(1, 0, 0), 0xFF000000u);
    EXPECT_EQ(spectrogram_color(1, 2, 0), 0xFFFFFFFFu);  // clipped
    EXPECT_EQ(spectrogram_color(2, 0, 0), 0xFFFFFFFFu);  // white
    EXPECT_EQ(spectrogram_color(2, 0.25, 0), 0xFFFFFF00u);  // yellow
    EXPECT_EQ(spectrogram_color(2, 1, 0), 0xFF0000FFu);  // blue
    EXPECT_EQ(spectrogram_color(3, 0, 0), 0xFF000000u);  // black
    EXPECT_EQ(spectrogram_color(3, 1.0 / 3, 0), 0xFF0000FFu);  // blue (h = 2/3)
    EXPECT_EQ(spectrogram_color(3, 1, 0), 0xFFFF0000u);  // red
    EXPECT_EQ(spectrogram_color(4, 0, 0x0000FF), 0xFFFFFFFFu);
    EXPECT_EQ(spectrogram_color(4, 1, 0x0000FF), 0xFFFF0000u);  // 0x00BBGGRR red
    EXPECT_DOUBLE_EQ(spectrogram_tilt(2000, 6), 6);
    EXPECT_DOUBLE_EQ(spectrogram_tilt(250, 6), -12);
    EXPECT_DOUBLE_EQ(spectrogram_tilt(0, 6), -300);
    int m = -1;
    EXPECT_TRUE(spectrogram_colormode_from_name("grey", m));
    EXPECT_EQ(m, 0);
    EXPECT_TRUE(spectrogram_colormode_from_name("Inverted color scale", m));
    EXPECT_EQ(m, 3);
    EXPECT_TRUE(spectrogram_colormode_from_name("colour", m));
    EXPECT_EQ(m, 2);
    EXPECT_FALSE(spectrogram_colormode_from_name("purple", m));
}

TEST(Correlation, SinePeaksAtItsPeriod) {
    const double fs = 8000;
    std::vector<float> x(16000);
    for (std::size_t n = 0; n < x.size(); ++n)
        x[n] = static_cast<float>(0.7 * std::sin(2 * std::numbers::pi * 100 * n / fs));
    // 50 ms window: five whole periods; lags up to 40 ms.
    const std::vector<double> r = correlation_at(view_of(x, fs), 0.05, 0.5, 40);
    ASSERT_EQ(r.size(), 320u);
    EXPECT_NEAR(r[0], 1, 1e-9);
    EXPECT_NEAR(r[80], 1, 1e-6);   // 10 ms
    EXPECT_NEAR(r[40], -1, 1e-6);  // 5 ms
    // The highest r beyond the zero lag's lobe is at 10 ms.
    std::size_t best = 20;
    for (std::size_t d = 20; d < 120; ++d)
        if (r[d] > r[best]) best = d;
    EXPECT_EQ(best, 80u);
    const tcorrsnap pk = corr_snap_to_peak(r, fs, 0.0095);
    EXPECT_NEAR(pk.f, 100, 0.01);
    EXPECT_NEAR(pk.r, 1, 1e-6);
    const tcorrsnap cv = corr_snap_to_curve(r, fs, 0.010);
    EXPECT_NEAR(cv.r, 1, 1e-6);
    EXPECT_NEAR(cv.f, 100, 1e-9);
}

TEST(Correlation, ConstantAndSilentStretchesGiveZero) {
    std::vector<float> c(4000, 0.25f), z(4000, 0.0f);
    for (const auto* x : {&c, &z}) {
        const std::vector<double> r = correlation_at(view_of(*x, 8000), 0.05, 0.0, 10);
        ASSERT_EQ(r.size(), 80u);
        for (double v : r) EXPECT_EQ(v, 0);
    }
    // Past the end the samples read 0: still r = 0, never NaN.
    const std::vector<double> r = correlation_at(view_of(c, 8000), 0.05, 10.0, 10);
    for (double v : r) EXPECT_EQ(v, 0);
    tpreferences p;
    const tcorrlog l = correlation_cursor_log(0.5, 0.01, 0.99, p);
    EXPECT_EQ(l.heading, "t [s]\tT [ms]\t1/T [Hz]\tNote\tCorrelation\t");
    EXPECT_EQ(std::count(l.line.begin(), l.line.end(), '\t'), 5);
}

// The strip from column copies (what a window's worker computes) reports how
// far it got, rising to 1, from however many threads; cancelled from its
// progress report it stops before the rest of the columns and says so.
TEST(Spectrogram, ColumnCopiesReportProgressAndStopWhenCancelled) {
    const double fs = 16000;
    std::vector<float> x(static_cast<std::size_t>(fs * 4));
    for (std::size_t n = 0; n < x.size(); ++n) x[n] = static_cast<float>(std::sin(0.3 * static_cast<double>(n)));
    tspectrogramsettings s;
    std::vector<double> times;
    for (int c = 0; c < 400; ++c) times.push_back(0.05 + 3.9 * c / 399);
    const std::vector<double> rows = linear_rows(0, 8000, 100);
    const tcolumnsamples copy = copy_column_samples(view_of(x, fs), s, times);
    for (int threads : {1, 2}) {
        std::mutex m;
        std::vector<double> seen;
        tspectrogramstrip strip;
        ASSERT_TRUE(compute_spectrogram(copy, s, rows, strip, threads, nullptr, 10, [&](double f) {
            std::lock_guard lock(m);
            seen.push_back(f);
        }));
        ASSERT_EQ(seen.size(), 40u) << threads;  // one report per group of 10 columns
        std::sort(seen.begin(), seen.end());
        EXPECT_GT(seen.front(), 0.0);
        EXPECT_DOUBLE_EQ(seen.back(), 1.0);
        for (std::size_t i = 1; i < seen.size(); ++i) EXPECT_GT(seen[i], seen[i - 1]);

        // Cancelled after the third group: the work stops and the columns
        // after the groups under way are never computed.
        std::atomic<bool> cancel{false};
        std::atomic<int> reports{0};
        tspectrogramstrip part;
        EXPECT_FALSE(compute_spectrogram(copy, s, rows, part, threads, &cancel, 10, [&](double) {
            if (++reports == 3) cancel = true;
        }));
        EXPECT_LT(reports.load(), 3 + threads + 1) << threads;
        const int h = part.height;
        int computed = 0;
        for (int c = 0; c < part.width; ++c)
            computed += part.levels[static_cast<std::size_t>(c) * h + 5] != spectrogram_above_nyquist;
        EXPECT_GE(computed, 30) << threads;
        EXPECT_LE(computed, 10 * (3 + threads)) << threads;
        EXPECT_LT(computed, part.width / 2) << threads;
    }
}
