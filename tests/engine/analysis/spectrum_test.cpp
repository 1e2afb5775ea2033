// Spectra against analytic signals: a sine on a bin reads its RMS level
// plus the window's mean in dB for every window; LTAS of white and pink
// noise (pink from a published filter, not from our FFT) is flat and falls
// 3 dB per octave; the FCP of a line with one raised bin equals the rise
// less its least-squares leverage; band levels, snapping, the frame slots
// with their change notices and allocation-free recomputation, and the
// exact texts of the three logs.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <new>
#include <numbers>
#include <random>
#include <thread>

#include "engine/analysis/spectrum.h"
#include "engine/core/tchannel.h"
#include "engine/core/tdocument.h"

using namespace tessal;

#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

// Allocation counter for the frame test: counts while armed.
namespace {
std::atomic<long> g_allocs{0};
std::atomic<bool> g_counting{false};
}  // namespace

void* operator new(std::size_t n) {
    if (g_counting.load(std::memory_order_relaxed)) g_allocs.fetch_add(1);
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

constexpr TFFTWindow all_windows[] = {TFFTWindow::rectangle, TFFTWindow::Bartlett,
                                      TFFTWindow::Hamming, TFFTWindow::Hanning,
                                      TFFTWindow::Blackman};

// The window's mean, straight from the textbook formulas.
double window_mean(TFFTWindow w, int W) {
    double sum = 0;
    for (int i = 0; i < W; ++i) {
        const double x = 2 * std::numbers::pi * i / (W - 1);
        switch (w) {
            case TFFTWindow::rectangle: sum += 1; break;
            case TFFTWindow::Bartlett: sum += 1 - std::fabs(2.0 * i / (W - 1) - 1); break;
            case TFFTWindow::Hamming: sum += 0.54 - 0.46 * std::cos(x); break;
            case TFFTWindow::Hanning: sum += 0.5 * (1 - std::cos(x)); break;
            case TFFTWindow::Blackman: sum += 0.42 - 0.5 * std::cos(x) + 0.08 * std::cos(2 * x); break;
        }
    }
    return sum / W;
}

std::vector<float> sine(double fs, double f, double amp, double seconds) {
    std::vector<float> x(static_cast<std::size_t>(fs * seconds));
    for (std::size_t i = 0; i < x.size(); ++i)
        x[i] = static_cast<float>(amp * std::sin(2 * std::numbers::pi * f * i / fs + 0.3));
    return x;
}

tsampleview view(const std::vector<float>& x, double fs) {
    return {x.data(), static_cast<long long>(x.size()), 0, fs};
}

// Mean power per bin over lo..hi Hz, in dB.
double band_db(const tspectrum& s, double lo, double hi) { return band_level(s, lo, hi).level; }

}  // namespace

TEST(Spectrum, WindowLengthFollowsTheBandwidthFactor) {
    const double factors[] = {1, 2, 2, 2, 4};
    const char* names[] = {"rectangular", "Bartlett", "Hamming", "Hanning", "Blackman"};
    for (int i = 0; i < 5; ++i) {
        tspectrumsettings s;
        s.fftwin = all_windows[i];
        EXPECT_STREQ(spectrum_window_name(s.fftwin), names[i]);
        EXPECT_DOUBLE_EQ(s.fwinlength(), factors[i] / 50);
        EXPECT_EQ(spectrum_frame_length(s, 44100), std::llround(factors[i] / 50 * 44100));
        TFFTWindow back;
        ASSERT_TRUE(spectrum_window_from_name(names[i], back));
        EXPECT_EQ(back, all_windows[i]);
    }
    tspectrumsettings s;  // defaults: Blackman at 50 Hz is 80 ms
    EXPECT_DOUBLE_EQ(s.fwinlength() * 1000, 80);
    s.fftwin = TFFTWindow::rectangle;
    EXPECT_DOUBLE_EQ(s.fwinlength() * 1000, 20);
    s.bw = 0;
    EXPECT_EQ(spectrum_frame_length(s, 44100), 0);
    // A bandwidth so small the frame exceeds the largest FFT makes no frame.
    s.bw = 1e-6;
    EXPECT_EQ(spectrum_frame_length(s, 44100), 0);
}

TEST(Spectrum, SineOnABinReadsItsRmsLevelPlusTheWindowMean) {
    const double amp = 0.5, rms_db = 20 * std::log10(amp / std::sqrt(2.0));
    for (TFFTWindow w : all_windows) {
        SCOPED_TRACE(spectrum_window_name(w));
        // Frame length a power of two (W = M = 4096), and a frame of
        // 3528 samples zero-padded to 4096 at 44.1 kHz.
        struct tcase { double fs, bw; };
        const double f = spectrum_window_factor(w);
        for (tcase c : {tcase{32768, f * 8}, tcase{44100, 50 * f / 4}}) {
            tspectrumsettings s;
            s.fftwin = w;
            s.bw = c.bw;
            tspectrumworkspace ws;
            tspectrum out;
            const long long N = spectrum_frame_length(s, c.fs);
            const double fbin = 200 * c.fs / 4096;
            const auto x = sine(c.fs, fbin, amp, 1.0);
            ws.frame(view(x, c.fs), s, 0.5, out);
            ASSERT_EQ(out.M, 4096u);
            const double expect = rms_db + 20 * std::log10(window_mean(w, static_cast<int>(N)));
            EXPECT_NEAR(spectrum_level(out, 200, 0), expect, 0.05) << "fs " << c.fs;
        }
    }
    // The nominal figures: 0 dB more for the rectangle, -6.02 dB for Hanning.
    EXPECT_NEAR(20 * std::log10(window_mean(TFFTWindow::Hanning, 4096)), -6.02, 0.01);
}

TEST(Spectrum, LevelsRelativeToFsdOrReferenceShiftEveryBin) {
    tspectrum s;
    s.fs = 8000;
    s.M = 8;
    s.mag = {0, 1, 0.1, 0.01, 0.001};
    EXPECT_DOUBLE_EQ(spectrum_level(s, 2, 0), -20);
    EXPECT_DOUBLE_EQ(spectrum_level(s, 2, level_reference(1, 10, 0)), -40);
    EXPECT_DOUBLE_EQ(spectrum_level(s, 2, level_reference(2, 0, 0.1)), 0);
    // Bins past the Nyquist bin mirror (real input), bin 0 of silence is -inf.
    EXPECT_DOUBLE_EQ(spectrum_level(s, 6, 0), -20);
    EXPECT_DOUBLE_EQ(spectrum_level(s, -1, 0), 0);
    EXPECT_TRUE(std::isinf(spectrum_level(s, 0, 0)));
}

TEST(Spectrum, LtasOfWhiteAndPinkNoise) {
    const double fs = 44100, sigma = 0.1;
    std::mt19937 rng(12345);
    std::normal_distribution<double> g(0, sigma);
    std::vector<float> white(static_cast<std::size_t>(60 * fs)), pink(white.size());
    // Paul Kellet's refined pink filter (within 0.05 dB above 9.2 Hz at 44.1 kHz).
    double b0 = 0, b1 = 0, b2 = 0, b3 = 0, b4 = 0, b5 = 0, b6 = 0;
    for (std::size_t i = 0; i < white.size(); ++i) {
        const double w = g(rng);
        white[i] = static_cast<float>(w);
        b0 = 0.99886 * b0 + w * 0.0555179;
        b1 = 0.99332 * b1 + w * 0.0750759;
        b2 = 0.96900 * b2 + w * 0.1538520;
        b3 = 0.86650 * b3 + w * 0.3104856;
        b4 = 0.55000 * b4 + w * 0.5329522;
        b5 = -0.7616 * b5 - w * 0.0168980;
        pink[i] = static_cast<float>(b0 + b1 + b2 + b3 + b4 + b5 + b6 + w * 0.5362);
        b6 = w * 0.115926;
    }
    tspectrumsettings s;  // Blackman, 50 Hz
    tspectrumworkspace ws;
    tspectrum lw, lp;
    ASSERT_TRUE(ws.ltas(view(white, fs), s, 0, 60, lw));
    ASSERT_TRUE(ws.ltas(view(pink, fs), s, 0, 60, lp));
    EXPECT_EQ(lw.frames, static_cast<long long>(std::ceil(60 * fs / 1764)));
    // White: per bin E|X|^2 = 2 sigma^2 sum(w^2) / W^2.
    const int W = 3528;
    double sw2 = 0;
    for (int i = 0; i < W; ++i) {
        const double x = 2 * std::numbers::pi * i / (W - 1);
        const double v = 0.42 - 0.5 * std::cos(x) + 0.08 * std::cos(2 * x);
        sw2 += v * v;
    }
    const double white_db = 10 * std::log10(2 * sigma * sigma * sw2 / (double(W) * W));
    const double bands[][2] = {{100, 200},   {200, 400},   {400, 800},   {800, 1600},
                               {1600, 3200}, {3200, 6400}, {6400, 10000}};
    // Pink: mean of 1/f over a band is ln(hi/lo)/(hi-lo).
    auto pink_shape = [](double lo, double hi) { return 10 * std::log10(std::log(hi / lo) / (hi - lo)); };
    const double pink0 = band_db(lp, 100, 200) - pink_shape(100, 200);
    for (auto& b : bands) {
        SCOPED_TRACE(b[0]);
        EXPECT_NEAR(band_db(lw, b[0], b[1]), white_db, 0.5);
        EXPECT_NEAR(band_db(lp, b[0], b[1]) - pink_shape(b[0], b[1]), pink0, 0.5);
    }
    // Octave to octave the pink bands fall by 3 dB.
    EXPECT_NEAR(band_db(lp, 1000, 2000) - band_db(lp, 2000, 4000), 3.0, 0.5);
}

// A channel shifted 2^31 - 128 samples from time 0, averaged from time 0
// to twice its end: every frame counts, but the frames before and after the
// samples hold nothing, so the summed power (level^2 x frames) is that of the
// same channel shifted only 1280 samples, with the frames at the same places
// relative to the samples. The frame count is that of the whole range.
TEST(Spectrum, LtasOfAFarShiftedChannelCountsItsEmptyFrames) {
    const double fs = 8000;
    const auto x = sine(fs, 1000, 0.5, 1.0);
    tspectrumsettings s{62.5, TFFTWindow::Hanning, 1, true};  // N = 256, hop 128
    ASSERT_EQ(spectrum_frame_length(s, fs), 256);
    tspectrumworkspace ws;
    tspectrum near, far;
    const long long size = static_cast<long long>(x.size());
    ASSERT_TRUE(ws.ltas(tsampleview(x.data(), size, 1280, fs), s, 0, (1280 + 8000 + 1000) / fs, near));
    const long long X = 128LL * 16777215;
    ASSERT_TRUE(ws.ltas(tsampleview(x.data(), size, X, fs), s, 0, 2.0 * (X + 8000) / fs, far));
    EXPECT_EQ(far.frames, (2 * (X + 8000) + 127) / 128);
    ASSERT_EQ(near.mag.size(), far.mag.size());
    for (std::size_t k = 0; k < near.mag.size(); k += 8) {
        const double a = near.mag[k] * near.mag[k] * static_cast<double>(near.frames);
        const double b = far.mag[k] * far.mag[k] * static_cast<double>(far.frames);
        EXPECT_NEAR(b, a, 1e-9 * a + 1e-12) << "bin " << k;
    }
    EXPECT_GT(band_db(far, 900, 1100), band_db(far, 2900, 3100) + 40);
}

TEST(Spectrum, LtasFramesAndCancelling) {
    const double fs = 16000;
    const auto x = sine(fs, 1000, 0.5, 2.0);
    tspectrumsettings s;  // N = 1280 at 16 kHz
    tspectrumworkspace ws;
    tspectrum out;
    // Shorter than half a frame: exactly one frame.
    ASSERT_TRUE(ws.ltas(view(x, fs), s, 1.0, 1.0 + 0.5 * 640 / fs, out));
    EXPECT_EQ(out.frames, 1);
    ASSERT_TRUE(ws.ltas(view(x, fs), s, 1.0, 1.0, out));
    EXPECT_EQ(out.frames, 1);
    // One second: hop 640 samples.
    ASSERT_TRUE(ws.ltas(view(x, fs), s, 0.5, 1.5, out));
    EXPECT_EQ(out.frames, 25);
    // The LTAS of a steady sine equals its single frame.
    tspectrum one;
    ws.frame(view(x, fs), s, 1.0, one);
    EXPECT_NEAR(spectrum_level(out, 80, 0), spectrum_level(one, 80, 0), 0.3);
    std::atomic<bool> cancel{true};
    EXPECT_FALSE(ws.ltas(view(x, fs), s, 0, 2, out, &cancel));
    // Progress runs up to 1.
    double lastp = -1;
    ASSERT_TRUE(ws.ltas(view(x, fs), s, 0, 2, out, nullptr, [&](double p) { lastp = p; }));
    EXPECT_EQ(lastp, 1.0);
    // A copy of the samples the frames read gives the same LTAS.
    tdocument doc;
    tchannel& ch = doc.create_channel(0);
    ch.set_samples(tsinglearr(x.begin(), x.end()));
    ch.sampfreq = fs;
    ch.xshift = 100;
    long long first = 0, last = 0;
    ltas_sample_range(s, fs, 0.5, 1.5, first, last);
    const tsamplecopy copy = copy_samples(ch, first, last);
    tspectrum a, b;
    ws.ltas(sample_view(ch), s, 0.5, 1.5, a);
    ws.ltas(copy.view(), s, 0.5, 1.5, b);
    EXPECT_EQ(a.mag, b.mag);
    // Samples still arriving: frames wait for them, and give the same LTAS;
    // cancelling stops a waiting run.
    {
        std::vector<float> late(x.size(), 0.0f);
        std::atomic<long long> filled{0};
        std::thread feeder([&] {
            for (std::size_t i = 0; i < late.size(); i += 4096) {
                const std::size_t n = std::min<std::size_t>(4096, late.size() - i);
                std::copy_n(x.begin() + static_cast<long>(i), n, late.begin() + static_cast<long>(i));
                filled.store(static_cast<long long>(i + n), std::memory_order_release);
            }
        });
        tspectrum fed, whole;
        ASSERT_TRUE(ws.ltas(view(late, fs), s, 0, 2, fed, nullptr, {}, &filled));
        feeder.join();
        ws.ltas(view(x, fs), s, 0, 2, whole);
        EXPECT_EQ(fed.mag, whole.mag);
        std::atomic<long long> none{0};
        std::atomic<bool> stop{false};
        std::thread canceller([&] { stop = true; });
        EXPECT_FALSE(ws.ltas(view(late, fs), s, 0, 2, fed, &stop, {}, &none));
        canceller.join();
    }
    // The red/blue span comes smaller first.
    ch.cursors[1] = 1.5;
    ch.cursors[2] = 0.5;
    double t1 = 0, t2 = 0;
    ltas_span(ch, 2, 0, 0, t1, t2);
    EXPECT_EQ(t1, 0.5);
    EXPECT_EQ(t2, 1.5);
}

TEST(Spectrum, FcpOfALineWithOneRaisedBin) {
    // -6 dB per octave from 1 kHz, one bin at 3 kHz raised by B dB. The
    // least-squares line moves towards the raised bin by its leverage h, so
    // the FCP is B (1 - h) and the slope rises by B (x_i - mean x) / Sxx.
    const double fs = 16000, B = 12;
    const std::size_t M = 1024;
    tspectrum s;
    s.ltas = true;
    s.fs = fs;
    s.M = M;
    s.mag.resize(M / 2 + 1);
    for (std::size_t k = 0; k <= M / 2; ++k) {
        const double f = std::max(1.0, k * fs / M);
        double level = -6 * std::log2(f / 1000);
        if (k == 192) level += B;  // 3000 Hz
        s.mag[k] = std::pow(10, level / 20);
    }
    const tfcpsettings f;  // trend 1000-5000, FCP 2000-4000
    const ttrend t = compute_fcp(s, f);
    ASSERT_TRUE(t.valid);
    double mx = 0, sxx = 0;
    const int a = 64, b = 320;
    std::vector<double> xs;
    for (int k = a; k <= b; ++k) xs.push_back(std::log2(k * fs / M / 1000));
    for (double x : xs) mx += x;
    mx /= xs.size();
    for (double x : xs) sxx += (x - mx) * (x - mx);
    const double xi = std::log2(3000.0 / 1000);
    const double h = 1.0 / xs.size() + (xi - mx) * (xi - mx) / sxx;
    EXPECT_NEAR(t.fcp, B * (1 - h), 1e-3);
    EXPECT_DOUBLE_EQ(t.fcpfreq, 3000);
    EXPECT_NEAR(t.slope, -6 + B * (xi - mx) / sxx, 1e-4);
    EXPECT_NEAR(t.fcplevel, -6 * std::log2(3.0) + B, 1e-4);
    EXPECT_EQ(t.lofreq, 1000);
    EXPECT_EQ(t.hifreq, 5000);
    EXPECT_NEAR(t.hilevel - t.lolevel, t.slope * std::log2(5.0), 1e-9);

    // An FCP range outside the trend line makes it invalid, with the fixed
    // record of an invalid trend.
    for (tfcpsettings bad : {tfcpsettings{1000, 5000, 2000, 6000}, tfcpsettings{1000, 5000, 500, 4000},
                             tfcpsettings{5000, 1000, 2000, 4000}, tfcpsettings{1000, 9000, 2000, 4000}}) {
        const ttrend u = compute_fcp(s, bad);
        EXPECT_FALSE(u.valid);
        EXPECT_EQ(u.fcpfreq, 1);
        EXPECT_EQ(u.hifreq, 10);
    }
}

TEST(Spectrum, BandLevelsAreTheMeanPowerPerBin) {
    tspectrum s;
    s.ltas = true;
    s.fs = 8000;
    s.M = 16;  // 500 Hz per bin
    s.mag.assign(9, 1.0);
    s.mag[2] = 3;  // 1000 Hz
    // 500..1500 Hz: bins 1, 2, 3 with powers 1, 9, 1.
    const tfreqbanddata d = band_level(s, 500, 1500);
    ASSERT_TRUE(d.valid);
    EXPECT_NEAR(d.level, 10 * std::log10(11.0 / 3), 1e-12);
    EXPECT_FALSE(band_level(s, 2000, 1000).valid);
    EXPECT_FALSE(band_level(s, 0, 4000).valid);  // bin 8 > (M-1)/2
    EXPECT_TRUE(std::isnan(band_level(s, 0, 4000).level));
    EXPECT_TRUE(band_level(s, 0, 3500).valid);
}

TEST(Spectrum, SnappingAndCentroid) {
    const double fs = 16000;
    tspectrumsettings s;
    s.bw = 25;  // Blackman, 2560 samples, M = 4096
    const double f0 = 1234.5;
    const auto x = sine(fs, f0, 0.5, 1.0);
    tspectrumworkspace ws;
    tspectrum out;
    ws.frame(view(x, fs), s, 0.5, out);
    // Snap to peak from anywhere on the main lobe finds the sine.
    for (double f : {1222.0, 1234.0, 1246.0}) {  // on the main lobe
        const tsnapresult r = snap_to_peak(out, f, 0);
        EXPECT_NEAR(r.f, f0, 1.0);
        EXPECT_NEAR(r.level, 20 * std::log10(0.5 / std::sqrt(2.0) * 0.42), 0.2);
    }
    // Snap to curve passes through each bin's level.
    for (long long k : {1LL, 5LL, 300LL, 2047LL})
        EXPECT_NEAR(snap_to_curve(out, out.bin_freq(k), 3).level, spectrum_level(out, k, 3), 1e-9);
    // The zero DC bin reads as the FFT's floor, -3250 dB, not as a NaN.
    EXPECT_DOUBLE_EQ(snap_to_curve(out, 0, 3).level, -3253);
    // Beyond fs/2 the cursor stops at fs/2.
    EXPECT_EQ(snap_to_curve(out, 20000, 0).f, 8000);
    // Snap to peak at the lowest bins never reads below bin 0.
    tspectrum low;
    low.fs = fs;
    low.M = 16;
    low.mag = {5, 4, 3, 2, 1, 1, 1, 1, 1};
    const tsnapresult r0 = snap_to_peak(low, 1500, 0);
    EXPECT_EQ(r0.f, 0);
    EXPECT_NEAR(r0.level, 20 * std::log10(5.0), 1e-12);
    // The centroid of a single line is its frequency.
    tspectrum line;
    line.fs = fs;
    line.M = 16;
    line.mag.assign(9, 0);
    line.mag[3] = 1;
    EXPECT_DOUBLE_EQ(spectral_centroid(line), 3000);
}

TEST(Spectrum, HiddenF0FindsTheFundamentalBelowAStrongerHarmonic) {
    // Harmonics of 200 Hz with the third the strongest: the peak is at
    // 600 Hz and F0 is 600 / 3.
    const double fs = 16000;
    std::vector<float> x(16000);
    const double amps[] = {0.1, 0.2, 0.5, 0.1, 0.05};
    for (std::size_t i = 0; i < x.size(); ++i) {
        double v = 0;
        for (int h = 0; h < 5; ++h) v += amps[h] * std::sin(2 * std::numbers::pi * 200 * (h + 1) * i / fs);
        x[i] = static_cast<float>(v);
    }
    tspectrumsettings s;
    s.bw = 12.5;  // 5120 samples, 8192-point FFT: 1.95 Hz bins, 200 Hz exact on none
    tspectrumworkspace ws;
    tspectrum out;
    ws.frame(view(x, fs), s, 0.5, out);
    const tspectrumf0 f = spectrum_f0(out);
    ASSERT_TRUE(f.valid);
    EXPECT_NEAR(f.peakfreq, 600, 1.0);
    EXPECT_EQ(f.harmonics, 3);
    EXPECT_NEAR(f.f0, 200, 0.5);
    tspectrum silent = out;
    std::fill(silent.mag.begin(), silent.mag.end(), 0.0);
    EXPECT_FALSE(spectrum_f0(silent).valid);
}

TEST(Spectrum, FrameSlotsFollowChangeNoticesAndDoNotAllocate) {
    tdocument doc;
    tchannel& ch = doc.create_channel(0);
    const auto x = sine(44100, 440, 0.5, 10.0);
    ch.set_samples(tsinglearr(x.begin(), x.end()));
    ch.sampfreq = 44100;
    tspectrumframes frames(doc.theglobal);
    tspectrumsettings s;
    bool computed = false;
    frames.frame(ch, 0, s, 5.0, &computed);
    EXPECT_TRUE(computed);
    frames.frame(ch, 0, s, 5.0, &computed);
    EXPECT_FALSE(computed);
    // An edit far from the frame leaves it; one inside it drops it.
    doc.theglobal.channel_changed(tchannelchange::samples(0, 1000, 2000));
    frames.frame(ch, 0, s, 5.0, &computed);
    EXPECT_FALSE(computed);
    doc.theglobal.channel_changed(tchannelchange::samples(0, 220500, 220501));
    frames.frame(ch, 0, s, 5.0, &computed);
    EXPECT_TRUE(computed);
    // Dragging the cursor: no allocation per frame once sizes are fixed.
    frames.frame(ch, 0, s, 1.0);
    frames.frame(ch, 0, s, 1.01);
    g_allocs = 0;
    g_counting = true;
    for (int i = 0; i < 200; ++i) frames.frame(ch, 0, s, 1.0 + i * 0.01, &computed);
    g_counting = false;
    EXPECT_TRUE(computed);
    EXPECT_EQ(g_allocs.load(), 0);
}

TEST(Spectrum, LogTexts) {
    tpreferences p;  // 5 significant digits, "0.00" dB, "0.000" s
    tspectrum s;
    s.fs = 8000;
    s.M = 8;
    s.mag = {1, 0.1, 0, 1, 1};
    const tspectrumlog sl = spectrum_log(s, 0, p);
    EXPECT_EQ(sl.heading, "f [Hz]\tLevel [dB]\t");
    ASSERT_EQ(sl.lines.size(), 3u);  // k = 1..M/2-1
    EXPECT_EQ(sl.lines[0], "1000\t-20.00\t");
    EXPECT_EQ(sl.lines[2], "3000\t0.00\t");
    EXPECT_EQ(spectrum_log(s, 6, p).lines[0], "1000\t-26.00\t");
    EXPECT_EQ(sl.lines[1].substr(0, 6), "2000\t-");  // a zero bin: -1e100 - R

    const tspectrumlog c = cursor_log(false, 1.5, 0, 0, 440, -12.345, p);
    EXPECT_EQ(c.heading, "t [s]\tf [Hz]\tNote\tLevel [dB]");
    EXPECT_EQ(c.lines[0], "1.500\t440\tA4 +0 cent\t-12.35\t");
    const tspectrumlog cl = cursor_log(true, 0, 1, 2, 440, -12.345, p);
    EXPECT_EQ(cl.heading, "t1 [s]\tt2 [s]\tf [Hz]\tNote\tLevel [dB]");
    EXPECT_EQ(cl.lines[0].substr(0, 12), "1.000\t2.000\t");

    tspectrummeas a;
    a.chno = 0;
    a.filename = "a.wav";
    a.trend.valid = true;
    a.trend.fcp = 10.5;
    a.trend.fcpfreq = 3000;
    a.trend.slope = -6.25;
    a.bands = default_freqbands();
    a.banddata = {{-20, true}, {-30, true}, {0, false}};
    tspectrummeas b = a;
    b.chno = 1;
    b.filename = "b.wav";
    b.trend.valid = false;
    const tspectrumlog m = measurement_log({a, b}, true, true, 1, 2, p);
    EXPECT_EQ(m.heading,
              "FCP [dB]\tFCP f [Hz]\tSlope [dB/oct]\t0-2000 Hz [dB]\t2000-5000 Hz [dB]\t"
              "Channel\tFrom [s]\tTo [s]\tFile name\t"
              "0-2000 Hz [dB]\t2000-5000 Hz [dB]\tChannel\tFrom [s]\tTo [s]\tFile name");
    EXPECT_EQ(m.lines[0],
              "10.50\t3000\t-6.25\t-20.00\t-30.00\t0\t1.000\t2.000\ta.wav\t"
              "-20.00\t-30.00\t1\t1.000\t2.000\tb.wav");

    a.bands[1].checked = false;
    const auto e = spectrum_label_entities(a, true, true);
    ASSERT_EQ(e.size(), 4u);
    EXPECT_EQ(e[0].entityname, "FCP");
    EXPECT_EQ(e[2].yunit, "dB/oct");
    EXPECT_EQ(e[3].entityname, "0-2000 Hz");
    EXPECT_TRUE(spectrum_label_entities(b, true, false).empty());
}
