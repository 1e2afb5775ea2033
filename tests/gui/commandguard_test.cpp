// No input ends the program: a command handler that raises leaves the
// document as it was and shows its message; a channel paint that raises
// writes the "Ykk!" status text while the other channels still paint; and
// the two crashes users met (a logarithmic axis given a full scale of 0 in
// Channel information, and Edit levels on a silent channel whose FSD went
// to 0 before its axis was made logarithmic) are replayed through the real
// widgets.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <gtest/gtest.h>
#include <stdexcept>
#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

#include "gui/editing/tchannelinfodialog.h"
#include "gui/editing/teditlevelsdialog.h"
#include "gui/view/channelstrip.h"
#include "gui/commands/commandguard.h"
#include "gui/commands/commandregistry.h"
#include "engine/history/undohistory.h"
#include "gui/mainwindow/mainwindow.h"
#include "gui/view/signalpanel.h"
#include "gui/view/waveformview.h"
#include "support/comboclick.h"
#include "support/scriptedprompter.h"
#include "support/tempdirtest.h"
#include "gui/widgets/taxislimitform.h"
#include "gui/widgets/taxiswidget.h"

using namespace tessal;
using tessal::testing::tscriptedprompter;
using tessal::testing::click_combo_item;

namespace {

// A 16-bit stereo WAVE file: channel 0 a 200 Hz tone at half scale,
// channel 1 digital silence.
void write_tone_and_silence(const std::string& path, int rate = 8000, int frames = 8000) {
    std::ofstream f(path, std::ios::binary);
    auto u32 = [&](std::uint32_t v) { f.write(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [&](std::uint16_t v) { f.write(reinterpret_cast<const char*>(&v), 2); };
    const std::uint32_t data = static_cast<std::uint32_t>(frames) * 4;
    f.write("RIFF", 4);
    u32(36 + data);
    f.write("WAVEfmt ", 8);
    u32(16);
    u16(1);
    u16(2);
    u32(static_cast<std::uint32_t>(rate));
    u32(static_cast<std::uint32_t>(rate) * 4);
    u16(4);
    u16(16);
    f.write("data", 4);
    u32(data);
    for (int k = 0; k < frames; ++k) {
        u16(static_cast<std::uint16_t>(static_cast<std::int16_t>(
            std::lround(16384 * std::sin(2 * M_PI * 200.0 * k / rate)))));
        u16(0);
    }
}

struct CommandGuard : tessal::testing::ttempdirtest {
    tscriptedprompter prompter;
    std::unique_ptr<TMainWindow> w;
    void SetUp() override {
        ttempdirtest::SetUp();
        write_tone_and_silence(path("tone.wav"));
        w = std::make_unique<TMainWindow>(&prompter);
        w->first_activation({});
        ASSERT_TRUE(w->files().open_document(path("tone.wav")));
        w->resize(900, 560);
        w->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
        settle();
    }
    void TearDown() override {
        w.reset();
        ttempdirtest::TearDown();
    }
    void settle() {
        for (int i = 0; i < 5; ++i) QApplication::processEvents();
        w->grab();  // every paint handler runs now
    }
    tdocument& doc() { return w->document(); }
    tchannelstrip& strip(int c) { return w->signalpanel()->strip(c); }
    void trigger(const char* action) { w->commands().action(action)->trigger(); }
    // Double-clicks the channel's amplitude axis and fills in its limits
    // dialog.
    void set_axis_limits(int c, const QString& lo, const QString& hi, bool logarithmic) {
        QTimer::singleShot(0, [=] {
            auto* form = qobject_cast<TAxisLimitForm*>(QApplication::activeModalWidget());
            ASSERT_NE(form, nullptr);
            if (!hi.isEmpty()) form->Edit1->setText(hi);
            form->Edit2->setText(lo);
            form->logarithmiccheck->setChecked(logarithmic);
            form->Button1->click();
        });
        TAxisWidget* axis = strip(c).axis;
        QTest::mouseDClick(axis, Qt::LeftButton, {}, QPoint(axis->width() / 2, axis->height() / 2));
        settle();
    }
    // Samples a text metrics that fails, as a broken font would.
    struct tbrokenmetrics : ttextmetrics {
        int text_width(const std::string&) const override { throw std::runtime_error("no font"); }
        int text_height(const std::string&) const override { throw std::runtime_error("no font"); }
    };
};

bool nonwhite(const QImage& img) {
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if ((img.pixel(x, y) & 0xFFFFFF) != 0xFFFFFF) return true;
    return false;
}

}  // namespace

TEST_F(CommandGuard, AFailingHandlerLeavesTheDocumentAsItWasAndSaysWhy) {
    // One more command built like every other, whose work fails half way.
    QMenuBar bar;
    tcommandregistry set(std::vector<tmenudecl>{{"&Test", {"test"}}});
    set.guarded_document = &doc();
    set.add({.id = "halfaction", .caption = "Half a change", .handler = [this] {
                          tchannel& ch = doc().channel(0);
                          ch.set_name("renamed");
                          ch.set_yunit("Pa");
                          doc().samples_changing(ch, 10, 11);
                          const float v = 0.75f;
                          ch.write_samples(10, &v, 1);
                          ch.add_label(0.1, 0.2, "new", "manual");
                          doc().create_channel(doc().totnchans());
                          doc().set_modified(true);
                          throw EAxisError("HiValue=0, must be >0 for log scale!");
                      }, .group = "test"});
    set.build(&bar);
    const std::string name = doc().channel(0).name();
    const float s10 = doc().channel(0).sample(10);
    const std::size_t nlabels = doc().channel(0).labels.size();
    ASSERT_FALSE(doc().modified());
    prompter.asked.clear();

    set.action("halfaction")->trigger();
    settle();

    ASSERT_EQ(doc().totnchans(), 2);
    EXPECT_EQ(doc().channel(0).name(), name);
    EXPECT_EQ(doc().channel(0).yunit(), "");
    EXPECT_EQ(doc().channel(0).sample(10), s10);
    EXPECT_EQ(doc().channel(0).labels.size(), nlabels);
    EXPECT_FALSE(doc().modified());
    EXPECT_EQ(w->signalpanel()->stripcount(), 2);
    ASSERT_EQ(prompter.asked.size(), 1u);
    const std::string& msg = prompter.asked[0].text;
    EXPECT_NE(msg.find("logarithmic axis"), std::string::npos) << msg;
    EXPECT_NE(msg.find("HiValue=0, must be >0 for log scale!"), std::string::npos) << msg;
    EXPECT_NE(msg.find("Nothing was changed"), std::string::npos) << msg;
}

TEST_F(CommandGuard, AFailingChannelPaintWritesYkkAndTheOthersStillPaint) {
    tbrokenmetrics broken;
    // The measurement pass writes the status bar too: every message counts.
    QStringList statuses;
    QObject::connect(w->statusBar(), &QStatusBar::messageChanged,
                     [&](const QString& m) { statuses << m; });
    // The grid asks the channel axis for its ticks, which need text sizes.
    trigger("showgridaction");
    doc().channel(1).axis.set_textmetrics(&broken);
    doc().theglobal.invalidate_paintboxes(true);
    settle();

    const QStringList ykk = statuses.filter("Ykk! ");
    ASSERT_FALSE(ykk.isEmpty()) << statuses.join(" | ").toStdString();
    for (const QString& m : ykk) {
        // "Ykk! " + the step's letter + the channel: always channel 1.
        EXPECT_EQ(m.size(), 7) << m.toStdString();
        EXPECT_TRUE(m.endsWith("1")) << m.toStdString();
    }
    EXPECT_TRUE(nonwhite(strip(0).wave->layer()));  // channel 0 drew its tone
    EXPECT_TRUE(w->isVisible());

    // Once the fault is gone the channel paints again.
    doc().channel(1).axis.set_textmetrics(&doc().theglobal.axisfont());
    statuses.clear();
    doc().theglobal.invalidate_paintboxes(true);
    settle();
    EXPECT_TRUE(statuses.filter("Ykk! ").isEmpty());
}

TEST_F(CommandGuard, LogAxisThenFullScaleZeroInChannelInformation) {
    set_axis_limits(0, "0.01", "", true);
    ASSERT_TRUE(doc().channel(0).axis.GetLogarithmic());
    const std::string name = doc().channel(0).name();
    const double fsd = doc().channel(0).fsd();
    prompter.asked.clear();

    trigger("channelinfoaction");
    auto* d = qobject_cast<tchannelinfodialog*>(w->windows().window("channelinfo"));
    ASSERT_NE(d, nullptr);
    ASSERT_TRUE(d->isVisible());
    d->field("name")->setText("glottis");
    d->field("unit")->setText("Pa");
    d->field("fsd")->setText("0");
    d->findChild<QPushButton*>("apply")->click();
    settle();

    // Still running, told why, and nothing half applied.
    EXPECT_TRUE(w->isVisible());
    EXPECT_FALSE(prompter.asked.empty());
    EXPECT_EQ(doc().channel(0).name(), name);
    EXPECT_EQ(doc().channel(0).yunit(), "");
    EXPECT_EQ(doc().channel(0).fsd(), fsd);
    EXPECT_TRUE(doc().channel(0).axis.GetLogarithmic());
    EXPECT_DOUBLE_EQ(doc().channel(0).axis.GetLoValue(), 0.01);
    d->close();
}

TEST_F(CommandGuard, SilentChannelFsdToPeakLogAxisThenEditLevels) {
    // Channel 1 becomes current by a click in it.
    twaveformview* wave1 = strip(1).wave;
    QTest::mouseClick(wave1, Qt::LeftButton, {}, QPoint(wave1->width() / 2, wave1->height() / 3));
    settle();
    ASSERT_EQ(doc().thischanno(), 1);
    trigger("editmonoaction");
    trigger("fsdpeakaction");
    settle();
    set_axis_limits(1, "0.01", "1", true);
    // A selection in channel 1.
    QTest::mousePress(wave1, Qt::LeftButton, {}, QPoint(wave1->width() / 4, wave1->height() / 3));
    QTest::mouseMove(wave1, QPoint(wave1->width() / 2, wave1->height() / 3));
    QTest::mouseRelease(wave1, Qt::LeftButton, {}, QPoint(wave1->width() / 2, wave1->height() / 3));
    settle();
    ASSERT_TRUE(doc().theglobal.has_selection());

    trigger("levelsaction");
    auto* d = qobject_cast<teditlevelsdialog*>(w->windows().window("editlevels"));
    ASSERT_NE(d, nullptr);
    ASSERT_TRUE(d->isVisible());
    d->findChild<QRadioButton*>("type0")->setChecked(true);
    d->findChild<QLineEdit*>("start")->setText("6");
    d->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    settle();

    // The program is still here and the document is whole: two channels,
    // the tone untouched, the silence still silence, every FSD a number.
    EXPECT_TRUE(w->isVisible());
    ASSERT_EQ(doc().totnchans(), 2);
    EXPECT_NEAR(doc().channel(0).sample(10), 16384.0 / 32768 * std::sin(2 * M_PI * 200.0 * 10 / 8000), 1e-4);
    for (float v : doc().channel(1).samples_array()) ASSERT_EQ(v, 0.0f);
    for (int c = 0; c < 2; ++c) EXPECT_TRUE(std::isfinite(doc().channel(c).fsd()));
    if (d->isVisible()) d->close();
    settle();
}

// What no guard covers: a slot connected straight to a drop-down, which
// begins an undo step, changes the document and then raises. The
// application object catches it: the step is rolled back, the message
// shown, and the program goes on taking clicks.
TEST_F(CommandGuard, AnExceptionLeavingASlotIsCaughtRolledBackAndShown) {
#if defined(__SANITIZE_ADDRESS__)
    // An exception that leaves a slot unwinds through Qt's event delivery,
    // which is built without clean-up for it and leaves a few hundred bytes
    // of the event and the box's item texts behind; the program lives on, which is what counts.
    __lsan::ScopedDisabler qt_unwinding_leaks;
#endif
    QComboBox box;
    box.addItems({"first", "second", "third"});
    tundohistory& history = w->context().history;
    int calls = 0;
    QObject::connect(&box, &QComboBox::currentIndexChanged, [&] {
        ++calls;
        history.begin("Half a change");
        doc().channel(0).set_name("renamed");
        doc().delete_channel(1);
        throw std::runtime_error("the slot gave up");
    });
    box.resize(200, 30);
    box.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
    const std::string name = doc().channel(0).name();
    const std::size_t undos = history.undo_count();
    prompter.asked.clear();

    click_combo_item(&box, 2);

    EXPECT_EQ(calls, 1);
    EXPECT_EQ(box.currentIndex(), 2);
    ASSERT_EQ(doc().totnchans(), 2);
    EXPECT_EQ(doc().channel(0).name(), name);
    EXPECT_FALSE(history.recording());
    EXPECT_EQ(history.undo_count(), undos);
    EXPECT_EQ(w->signalpanel()->stripcount(), 2);
    ASSERT_EQ(prompter.asked.size(), 1u);
    EXPECT_NE(prompter.asked[0].text.find("the slot gave up"), std::string::npos) << prompter.asked[0].text;

    // Still running, and the drop-down still answers.
    click_combo_item(&box, 0);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(box.currentIndex(), 0);
    EXPECT_EQ(prompter.asked.size(), 2u);
    EXPECT_EQ(doc().totnchans(), 2);
    EXPECT_TRUE(w->isVisible());
}
