// The spectrum window's "LPC envelope": off by default; switched on it
// draws the engine's envelope over a vowel's spectrum, shows the engine's
// formants in the status line and "Log cursor" adds the engine's formant
// line after the cursor line; a moved cursor gives a new envelope; the
// exported figure draws the envelope as the window does.
#include <QAction>
#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "gui/spectrum/tspectrumwindow.h"
#include "gui/widgets/tplotpanel.h"
#include "windowfixture.h"

using namespace tessal;
using namespace tessal::testing;

namespace {

// One second of a vowel at 16 kHz: a pulse train at 120 Hz through
// resonators at 700, 1200 and 2600 Hz.
void vowel_channel(tdocument& doc) {
    doc.set_totnchans(1);
    tchannel& ch = doc.channel(0);
    ch.sampfreq = 16000;
    ch.filename = "/data/v.wav";
    ch.set_name("v");
    std::vector<double> y(16000, 0.0);
    for (std::size_t i = 0; i < y.size(); i += 133) y[i] = 1;
    for (auto [f, b] : {std::pair{700.0, 80.0}, {1200.0, 90.0}, {2600.0, 120.0}}) {
        const double pi = std::numbers::pi, r = std::exp(-pi * b / 16000), c = 2 * r * std::cos(2 * pi * f / 16000);
        double y1 = 0, y2 = 0;
        for (double& v : y) {
            const double o = v + c * y1 - r * r * y2;
            y2 = y1, y1 = o, v = o;
        }
    }
    double peak = 0;
    for (double v : y) peak = std::max(peak, std::abs(v));
    tsinglearr x(y.size());
    for (std::size_t i = 0; i < y.size(); ++i) x[i] = static_cast<float>(0.5 * y[i] / peak);
    ch.set_samples(std::move(x));
    ch.set_fsd(1);
    doc.theglobal.channels_changed();
}

struct tenvelopefixture : twindowfixture<tspectrumwindow> {
    tenvelopefixture() {
        vowel_channel(w.document());
        w.document().theglobal.set_timecursor(0.5);
        open("spectrum");
    }
};

}  // namespace

TEST(SpectrumLpcEnvelope, StatusLogAndCurveComeFromTheEngine) {
    tenvelopefixture f;
    tspectrumwindow* win = f.win;
    ASSERT_NE(win, nullptr);
    tdocument& doc = f.doc();
    EXPECT_FALSE(win->state().showlpc);
    EXPECT_EQ(win->envelope_of(0), nullptr);
    const QImage off = win->plot()->canvas()->grab().toImage();

    win->action("lpcenvelopeaction")->trigger();
    ASSERT_TRUE(win->state().showlpc);
    win->plot()->canvas()->repaint();
    settle();
    const tlpcenvelope direct = lpc_envelope(sample_view(doc.channel(0)), 0.5, 0.5, {}, win->state().fft);
    const tlpcenvelope* shown = win->envelope_of(0);
    ASSERT_NE(shown, nullptr);
    ASSERT_EQ(shown->f.size(), direct.f.size());
    for (std::size_t i = 0; i < direct.f.size(); ++i) {
        if (std::isnan(direct.f[i])) continue;
        EXPECT_EQ(shown->f[i], direct.f[i]);
    }
    EXPECT_NEAR(direct.f[0], 700, 60);
    EXPECT_NEAR(direct.f[1], 1200, 80);
    EXPECT_EQ(win->status()->text(3).toStdString(), lpc_formants_text(direct));
    EXPECT_NE(win->plot()->canvas()->grab().toImage(), off);

    // Log cursor: the cursor line, then the formant line.
    tdatalog& log = f.w.context().measurements.datalog;
    log.clear();
    win->cursor_at(200, 100);
    win->logcursoractionExecute();
    const tlpclog expect = lpc_formants_log(direct, false, 0.5, 0.5, doc.prefs);
    ASSERT_GE(log.lines().size(), 4u);
    EXPECT_EQ(log.lines()[log.lines().size() - 2], expect.heading);
    EXPECT_EQ(log.lines().back(), expect.line);

    // Another cursor time, another envelope; switched off, the status is empty.
    doc.theglobal.set_timecursor(0.25);
    const tlpcenvelope* moved = win->envelope_of(0);
    ASSERT_NE(moved, nullptr);
    EXPECT_EQ(moved->models.front().frame.time,
              lpc_envelope(sample_view(doc.channel(0)), 0.25, 0.25, {}, win->state().fft).models.front().frame.time);
    win->action("lpcenvelopeaction")->trigger();
    EXPECT_EQ(win->status()->text(3), QString());
    EXPECT_EQ(win->envelope_of(0), nullptr);
}

// The figure the window exports is what it shows: with the envelope on, the
// SVG has one polyline more than with it off.
TEST(SpectrumLpcEnvelope, ExportedFigureDrawsTheEnvelope) {
    tenvelopefixture f;
    tspectrumwindow* win = f.win;
    ASSERT_NE(win, nullptr);
    QTemporaryDir dir;
    auto svg_of = [&](const QString& name) {
        QString error;
        EXPECT_TRUE(win->plot()->export_file(dir.filePath(name), QSize(800, 500), &error)) << error.toStdString();
        QFile file(dir.filePath(name));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    };
    static const QRegularExpression polyline("<polyline[^>]*>");
    auto polylines = [](const QString& svg) {
        QStringList all;
        for (auto it = polyline.globalMatch(svg); it.hasNext();) all << it.next().captured(0);
        return all;
    };
    const QStringList off = polylines(svg_of("off.svg"));
    ASSERT_FALSE(off.isEmpty());
    win->action("lpcenvelopeaction")->trigger();
    ASSERT_TRUE(win->state().showlpc);
    const QStringList on = polylines(svg_of("on.svg"));
    ASSERT_EQ(on.size(), off.size() + 1);
}
