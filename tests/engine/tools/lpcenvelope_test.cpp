// The LPC envelope on the spectrum's scale: for white noise it lies on the
// noise's long-term spectrum as the spectrum code computes it (a second,
// independent path: FFT frames, windows, averaging), for several windows and
// bandwidths; frames of a long span are spread over it; the texts.
#include "engine/tools/lpcenvelope.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace tessal {
namespace {

TEST(LpcEnvelope, LiesOnTheLtasOfWhiteNoise) {
    const double fs = 16000;
    std::mt19937 rng(9);
    std::normal_distribution<float> g(0, 0.05f);
    std::vector<float> x(static_cast<std::size_t>(4 * fs));
    for (float& v : x) v = g(rng);
    const tsampleview view(x.data(), static_cast<long long>(x.size()), 0, fs);
    for (TFFTWindow w : {TFFTWindow::Hanning, TFFTWindow::Blackman, TFFTWindow::rectangle})
        for (double bw : {20.0, 100.0}) {
            tspectrumsettings st;
            st.fftwin = w;
            st.bw = bw;
            tspectrumworkspace ws;
            tspectrum ltas;
            ASSERT_TRUE(ws.ltas(view, st, 0.5, 3.5, ltas));
            const tlpcenvelope e = lpc_envelope(view, 0.5, 3.5, {}, st);
            ASSERT_EQ(e.models.size(), 100u);
            EXPECT_EQ(e.top(), 5500);
            double diff = 0;
            int n = 0;
            for (std::size_t k = 1; k < ltas.mag.size(); ++k) {
                const double f = ltas.bin_freq(static_cast<double>(k));
                if (f < 300 || f > 4500) continue;
                diff += e.level_db(f) - spectrum_level(ltas, static_cast<long long>(k), 0);
                ++n;
            }
            EXPECT_NEAR(diff / n, 0.0, 0.7) << static_cast<int>(w) << " " << bw;
            EXPECT_EQ(e.level_db(6000), -400);
        }
}

TEST(LpcEnvelope, TextsAndLog) {
    tlpcenvelope e;
    e.f = {730.4, NAN, 2440};
    e.b = {80, NAN, 150.25};
    EXPECT_EQ(lpc_formants_text(e), "F1=730 F3=2440 Hz");
    EXPECT_EQ(lpc_formants_text(tlpcenvelope{}), "no formants");
    const tpreferences prefs;
    tlpclog log = lpc_formants_log(e, false, 1.25, 1.25, prefs);
    EXPECT_EQ(log.heading, "t [s]\tF1 [Hz]\tB1 [Hz]\tF2 [Hz]\tB2 [Hz]\tF3 [Hz]\tB3 [Hz]");
    EXPECT_EQ(log.line, "1.250\t730.4\t80\t--\t--\t2440\t150.25\t");
    log = lpc_formants_log(e, true, 1, 2, prefs);
    EXPECT_EQ(log.heading.substr(0, 14), "t1 [s]\tt2 [s]\t");
    EXPECT_EQ(log.line.substr(0, 12), "1.000\t2.000\t");
    // Nothing to analyse: no models, no crash.
    const tsampleview none(nullptr, 0, 0, 0);
    EXPECT_TRUE(lpc_envelope(none, 0, 1, {}, {}).empty());
}

}  // namespace
}  // namespace tessal
