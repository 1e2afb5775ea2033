// The correlogram window's "Extract F0/T0" and tessal-cli correlogram make
// the same channels: a synthetic vowel (125 Hz, then 200 Hz) with a trace
// drawn in the window, extracted by a click on the tool button, and the
// same file and trace file through the command-line program, sample for
// sample equal; the F0 is the period the vowel was made with.
#include <memory>
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "engine/core/tchannel.h"
#include "engine/core/tdocument.h"
#include "engine/document/documentfiles.h"
#include "engine/document/lifecycle.h"
#include "engine/formats/saveformats.h"
#include "engine/tools/lfvowel.h"
#include "gui/context/appcontext.h"
#include "gui/mainwindow/mainwindow.h"
#include "gui/spectrogram/tcorrelogramwindow.h"
#include "support/scriptedprompter.h"
#include "windowfixture.h"

using namespace tessal;
using namespace tessal::testing;

namespace {

constexpr double fs = 16000;

void vowel(tdocument& doc) {
    const std::vector<float> v = tessal::testing::two_pitch_vowel(fs);
    doc.set_totnchans(1);
    tchannel& ch = doc.channel(0);
    ch.sampfreq = ch.orgsampfreq = fs;
    ch.set_name("v");
    ch.format = tFormat::ieeefloat;
    ch.nbits = 32;
    ch.set_samples(tsinglearr(v.begin(), v.end()));
    ch.set_fsd(1);
    doc.theglobal.channels_changed();
}

std::vector<std::uint32_t> bits(const tchannel& c) {
    const tsinglearr s = c.samples_array();
    std::vector<std::uint32_t> b(s.size());
    if (!b.empty()) std::memcpy(b.data(), s.data(), b.size() * 4);
    return b;
}

}  // namespace

TEST(CorrelogramExtraction, WindowAndCommandLineWriteTheSameChannels) {
    tscriptedmain m;
    TMainWindow& w = m.w;
    tdocument& doc = w.document();
    vowel(doc);
    QTemporaryDir dir;
    const std::string input = dir.filePath("v.tessal").toStdString();
    ASSERT_TRUE(w.files().save_file(input, 32, 0, 0, {}, tFormat::ieeefloat));

    auto* win = dynamic_cast<tcorrelogramwindow*>(w.windows().window("correlogram"));
    ASSERT_NE(win, nullptr);
    win->resize(900, 600);
    w.windows().show("correlogram");
    settle();
    win->wait_for_workers();
    settle();
    // A trace of two points drawn with the mouse: at the left and right of
    // the strip, at 150 Hz (bands 112.5 .. 187.5 Hz), then widened to
    // 110..250 Hz by moving their upper limits.
    win->set_trace_mode(1);
    TAxis& fa = win->freq_axis(0);
    const TAxis& ta = win->time_axis();
    const int x0 = ta.value_to_pixel(0.0) + 1, x1 = ta.value_to_pixel(0.99);
    QWidget* canvas = win->findChild<QWidget*>("spegpaint0");
    ASSERT_NE(canvas, nullptr);
    for (int x : {x0, x1}) {
        QTest::mousePress(canvas, Qt::LeftButton, {}, QPoint(x, fa.value_to_pixel(150)));
        QTest::mouseRelease(canvas, Qt::LeftButton, {}, QPoint(x, fa.value_to_pixel(150)));
    }
    ASSERT_EQ(win->trace(0).size(), 2u);
    for (TTracePoint& p : win->trace(0)) {
        p.fmin = 110;
        p.fmax = 250;
    }
    const std::string ctr = dir.filePath("v.ctr").toStdString();
    ASSERT_TRUE(win->save_trace(QString::fromStdString(ctr), 0));
    // Every 160th sample, one output each, width too; then the click.
    win->findChild<QCheckBox*>("keepratecheck")->setChecked(false);
    auto* skip = win->findChild<QLineEdit*>("skipedit");
    ASSERT_NE(skip, nullptr);
    skip->setText("160");
    emit skip->editingFinished();
    win->findChild<QCheckBox*>("widthoutput")->setChecked(true);
    QToolButton* extract = nullptr;
    for (QToolButton* b : win->findChildren<QToolButton*>())
        if (b->defaultAction() == win->action("extractaction")) extract = b;
    ASSERT_NE(extract, nullptr);
    QTest::mouseClick(extract, Qt::LeftButton);
    settle();
    ASSERT_EQ(doc.totnchans(), 4);
    EXPECT_EQ(doc.channel(1).name(), "v F0");

    // The same through tessal-cli, in a private home.
    const QString out = dir.filePath("out.tessal");
    QProcess cli;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", dir.path());
    env.insert("XDG_CONFIG_HOME", dir.filePath("config"));
    env.insert("XDG_DATA_HOME", dir.filePath("data"));
    cli.setProcessEnvironment(env);
    cli.start(TESSAL_CLI, {"correlogram", QString::fromStdString(input), "--trace", QString::fromStdString(ctr),
                           "--skip", "160", "--no-keep-rate", "--width", "new", "-o", out});
    ASSERT_TRUE(cli.waitForFinished(60000));
    ASSERT_EQ(cli.exitCode(), 0) << cli.readAllStandardError().toStdString();
    tscriptedprompter quiet;
    tdocument cdoc;
    tdocumentlifecycle life{cdoc, quiet};
    tdocumentfiles files{cdoc, life, quiet};
    ASSERT_TRUE(files.open_document(out.toStdString()));
    ASSERT_EQ(cdoc.totnchans(), 4);
    for (int c = 1; c < 4; ++c) {
        const tchannel& a = doc.channel(c);
        const tchannel& b = cdoc.channel(c);
        EXPECT_EQ(a.name(), b.name()) << c;
        EXPECT_EQ(a.yunit(), b.yunit()) << c;
        EXPECT_EQ(a.fsd(), b.fsd()) << c;
        EXPECT_EQ(a.sampfreq, b.sampfreq) << c;
        EXPECT_EQ(a.xshift, b.xshift) << c;
        EXPECT_EQ(bits(a), bits(b)) << "channel " << c << " differs";
    }
    // Against the synthesis: 125 Hz, then 200 Hz.
    const tchannel& f0 = doc.channel(1);
    ASSERT_EQ(f0.sample_count(), 100);
    for (std::size_t k = 3; k < 97; ++k) {
        const double tk = static_cast<double>(k) * 160 / fs;
        if (tk > 0.47 && tk < 0.53) continue;
        EXPECT_NEAR(f0.sample(k), tk < 0.5 ? 125 : 200, 0.25) << "at " << tk << " s";
    }
}
