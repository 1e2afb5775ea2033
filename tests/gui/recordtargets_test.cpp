// The recording window writes into the channels it prepared, whatever
// happens to the channel list meanwhile: commands that would close,
// replace, add or delete channels are off while it records (their status
// tip and the status bar say why), a target that leaves anyway ends the
// recording with what it captured kept in new channels, and afterwards the
// target lists, the partner links and the time axis follow the document as
// it now is. Without an input device the window says what to do.
#include <memory>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cmath>
#include <gtest/gtest.h>

#include "engine/formats/twavfile.h"
#include "support/fakerecording.h"
#include "support/scriptedprompter.h"
#include "windowfixture.h"

using namespace tessal;
using namespace tessal::testing;

namespace {

// `nchans` channels of `seconds` of silence at `rate`, 16-bit.
QString write_wav(const QTemporaryDir& dir, const QString& name, int nchans, double seconds,
                  int rate) {
    std::vector<tsinglearr> chans(nchans);
    for (auto& c : chans) c.assign(static_cast<std::size_t>(seconds * rate), 0.0f);
    TWavFile w;
    w.Setsampfreq(rate);
    w.Setnbits(16);
    w.Setnchans(nchans);
    const QString path = dir.filePath(name);
    w.save_file(path.toStdString(), chans, false, false);
    return path;
}

// `frames` of a stereo tone of `hz` at `rate`: the left in phase, the right
// inverted.
std::vector<std::int16_t> tone(int frames, double hz, int rate) {
    std::vector<std::int16_t> s;
    for (int i = 0; i < frames; ++i) {
        const auto v = static_cast<std::int16_t>(std::lround(10000 * std::sin(2 * M_PI * hz * i / rate)));
        s.push_back(v);
        s.push_back(static_cast<std::int16_t>(-v));
    }
    return s;
}

// The frequency of a tone from its upward zero crossings: crossings per
// second of the channel's own time.
double crossing_rate(const tchannel& ch) {
    int n = 0;
    long long first = -1, last = -1;
    const tsinglearr s = ch.samples_array();
    for (std::size_t i = 1; i < s.size(); ++i)
        if (s[i - 1] < 0 && s[i] >= 0) {
            if (first < 0) first = static_cast<long long>(i);
            last = static_cast<long long>(i);
            ++n;
        }
    if (n < 2) return 0;
    return (n - 1) / (static_cast<double>(last - first) / ch.sampfreq);
}

QStringList items(QComboBox* b) {
    QStringList l;
    for (int i = 0; i < b->count(); ++i) l << b->itemText(i);
    return l;
}

std::vector<QComboBox*> target_boxes(trecorddialog* d) {
    std::vector<QComboBox*> t;
    for (QComboBox* b : d->findChildren<QComboBox*>())
        if (b->objectName() != "recordsoundcardlist") t.push_back(b);
    return t;
}

}  // namespace

// Stereo into new channels of an empty document, and channel 0 deleted
// while it records: the command is off, and each side lands in its own
// channel.
TEST(RecordTargets, DeletingChannelZeroWhileRecordingIsRefusedAndEachSideKeepsItsChannel) {
    auto prompter_owner = std::make_unique<tscriptedprompter>();
    auto* prompter = prompter_owner.get();
    prompter->answers = {tanswer::yes, tanswer::yes};
    TMainWindow w(prompter);
    w.first_activation({});
    QStringList statuses;
    QObject::connect(w.statusBar(), &QStatusBar::messageChanged,
                     [&](const QString& m) { statuses << m; });
    tfakerecording rec(w);
    rec.setup("Stereo", 8000, -1, -1);
    rec.window->record_clicked();
    ASSERT_TRUE(rec.window->recorder().frecording);
    ASSERT_EQ(w.document().totnchans(), 2);
    const auto first = tfakerecording::signal(1024, 2, 1);
    rec.device->capture16(first);

    w.document().set_thischanno(0);
    EXPECT_FALSE(enabled(w, "deletechannelaction"));
    EXPECT_TRUE(w.commands().action("deletechannelaction")->statusTip().contains("recording"));
    for (const char* id : {"newaction", "openaction", "addaction", "deletechannelsaction"}) {
        EXPECT_FALSE(enabled(w, id)) << id;
        EXPECT_TRUE(w.commands().action(id)->statusTip().contains("recording")) << id;
    }
    EXPECT_TRUE(statuses.join("|").contains("recording")) << statuses.join("|").toStdString();
    w.commands().action("deletechannelaction")->trigger();
    ASSERT_EQ(w.document().totnchans(), 2);

    const auto second = tfakerecording::signal(1024, 2, 2);
    rec.device->capture16(second);
    rec.window->record_clicked();  // Stop!
    ASSERT_FALSE(rec.window->recorder().frecording);
    std::vector<std::int16_t> all = first;
    all.insert(all.end(), second.begin(), second.end());
    ASSERT_EQ(w.document().totnchans(), 2);
    EXPECT_EQ(w.document().channel(0).name(), "Left");
    EXPECT_EQ(w.document().channel(1).name(), "Right");
    EXPECT_EQ(samples(w.document(), 0), side(all, 2, 0));
    EXPECT_EQ(samples(w.document(), 1), side(all, 2, 1));
    // Stopped, the commands are back and say nothing of a recording.
    EXPECT_TRUE(enabled(w, "deletechannelaction"));
    EXPECT_TRUE(enabled(w, "openaction"));
    EXPECT_FALSE(w.commands().action("openaction")->statusTip().contains("recording"));
}

// A target that leaves anyway (here deleted underneath the window): the
// recording stops at the next buffer, the other side stays in its channel
// and the side that lost its channel is kept whole in a new one.
TEST(RecordTargets, ATargetThatLeavesAnywayEndsTheRecordingWithEverySampleKept) {
    tscriptedmain m;
    TMainWindow& w = m.w;
    tfakerecording rec(w);
    rec.setup("Stereo", 8000, -1, -1);
    rec.window->record_clicked();
    ASSERT_EQ(w.document().totnchans(), 2);
    const auto first = tfakerecording::signal(1024, 2, 1);
    rec.device->capture16(first);
    w.document().delete_channel(0);
    const auto second = tfakerecording::signal(1024, 2, 2);
    rec.device->capture16(second);
    EXPECT_FALSE(rec.window->recorder().frecording);
    // It stopped after the buffer that came next: 256 frames at 8 kHz stereo.
    std::vector<std::int16_t> all = first;
    all.insert(all.end(), second.begin(), second.begin() + 2 * 256);
    ASSERT_EQ(w.document().totnchans(), 2);
    EXPECT_EQ(w.document().channel(0).name(), "Right");
    EXPECT_EQ(samples(w.document(), 0), side(all, 2, 1));
    EXPECT_EQ(w.document().channel(1).name(), "Left");
    EXPECT_EQ(samples(w.document(), 1), side(all, 2, 0));
    EXPECT_EQ(w.document().channel(1).sampfreq, 8000);
    EXPECT_TRUE(enabled(w, "undoaction"));
}

// File > Open and a recent file while recording into a 4 kHz file at
// 8 kHz: nothing opens, the recording stays in its own channels at its own
// rate (a 300 Hz tone reads 300 Hz), and it is one undo step.
TEST(RecordTargets, OpenWhileRecordingIsRefusedAndTheRecordingKeepsItsRate) {
    QTemporaryDir dir;
    const QString a = write_wav(dir, "a.wav", 2, 1, 4000);
    const QString b = write_wav(dir, "b.wav", 2, 1, 4000);
    tscriptedmain m(false);
    TMainWindow& w = m.w;
    w.first_activation({a});
    ASSERT_EQ(w.document().totnchans(), 2);
    tfakerecording rec(w);
    rec.setup("Stereo", 8000, -1, -1);
    rec.window->record_clicked();
    ASSERT_TRUE(rec.window->recorder().frecording);
    ASSERT_EQ(w.document().totnchans(), 4);

    // Ctrl+O: a file dialog that opens is closed at once and counted.
    int dialogs = 0;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (QWidget* m = QApplication::activeModalWidget()) {
            ++dialogs;
            m->close();
        }
    });
    closer.start(10);
    w.show();
    w.activateWindow();
    QTest::keyClick(&w, Qt::Key_O, Qt::ControlModifier);
    w.commands().action("openaction")->trigger();
    closer.stop();
    EXPECT_EQ(dialogs, 0);
    // A recent file or a command-line open takes the same road and is refused.
    EXPECT_FALSE(w.context().files.open_document(b.toStdString()));
    EXPECT_FALSE(w.context().files.add_file(b.toStdString()));
    EXPECT_EQ(w.document().filename(), a.toStdString());
    ASSERT_EQ(w.document().totnchans(), 4);

    rec.device->capture16(tone(8000, 300, 8000));
    rec.window->record_clicked();
    ASSERT_FALSE(rec.window->recorder().frecording);
    ASSERT_EQ(w.document().totnchans(), 4);
    EXPECT_EQ(w.document().channel(0).sampfreq, 4000);
    EXPECT_EQ(w.document().channel(0).sample_count(), 4000);
    for (int c : {2, 3}) {
        EXPECT_EQ(w.document().channel(c).sampfreq, 8000);
        EXPECT_NEAR(crossing_rate(w.document().channel(c)), 300, 1) << c;
    }
    ASSERT_TRUE(enabled(w, "undoaction"));
    EXPECT_EQ(w.commands().action("undoaction")->text(), "Undo Record");
    // Stopped, Open works again (not saving the recording).
    m.prompter->answers = {tanswer::no};
    EXPECT_TRUE(w.context().files.open_document(b.toStdString()));
    EXPECT_EQ(w.document().totnchans(), 2);
}

// After a recording the target lists show the document as it is then,
// keep "Record to new channel" where it was chosen, and follow a document
// opened later with the window open; a second stereo take goes into two
// more new channels.
TEST(RecordTargets, TargetListsFollowTheDocumentAndASecondTakeIsStereoAgain) {
    QTemporaryDir dir;
    const QString one = write_wav(dir, "one.wav", 1, 0.5, 8000);
    tscriptedmain m;
    TMainWindow& w = m.w;
    tfakerecording rec(w);
    rec.setup("Stereo", 8000, -1, -1);
    rec.window->record_clicked();
    rec.device->capture16(tfakerecording::signal(1024, 2, 1));
    rec.window->record_clicked();
    ASSERT_EQ(w.document().totnchans(), 2);
    auto boxes = target_boxes(rec.window);
    ASSERT_EQ(boxes.size(), 2u);
    const QStringList now{"0: Left", "1: Right", "Record to new channel"};
    EXPECT_EQ(items(boxes[0]), now);
    EXPECT_EQ(boxes[0]->currentText(), "Record to new channel");
    EXPECT_EQ(boxes[1]->currentText(), "Record to new channel");

    // A second take with the window as it is: two more channels, stereo.
    const auto second = tfakerecording::signal(1024, 2, 2);
    rec.window->record_clicked();
    rec.device->capture16(second);
    rec.window->record_clicked();
    ASSERT_EQ(w.document().totnchans(), 4);
    EXPECT_EQ(samples(w.document(), 2), side(second, 2, 0));
    EXPECT_EQ(samples(w.document(), 3), side(second, 2, 1));
    EXPECT_EQ(w.document().channel(3).name(), "Right");

    // A one-channel file opened later, the window still open.
    m.prompter->answers = {tanswer::no};
    ASSERT_TRUE(w.context().files.open_document(one.toStdString()));
    ASSERT_EQ(w.document().totnchans(), 1);
    const QString name = QString("0: ") + QString::fromStdString(w.document().channel(0).name());
    EXPECT_EQ(items(boxes[0]), (QStringList{name, "Record to new channel"}));
    EXPECT_EQ(items(boxes[1]), (QStringList{name, "Record to new channel"}));
}

// A 60 s recording into a new channel of a 3 s file can be seen whole
// afterwards; the partner links are set on both channels and taken from a
// channel that was the partner of a target.
TEST(RecordTargets, TimeAxisShowsTheWholeRecordingAndPartnersAreRelinked) {
    QTemporaryDir dir;
    const QString three = write_wav(dir, "three.wav", 3, 3, 500);
    tscriptedmain m(false);
    TMainWindow& w = m.w;
    w.first_activation({three});
    ASSERT_EQ(w.document().totnchans(), 3);
    w.document().channel(1).stereochanno = 2;
    w.document().channel(2).stereochanno = 1;
    tfakerecording rec(w);
    rec.setup("Stereo", 500, 0, 1);  // over channels 0 and 1
    for (QCheckBox* c : rec.window->findChildren<QCheckBox*>())
        if (c->text() == "Make channels stereo companions") c->setChecked(true);
    rec.window->record_clicked();
    rec.device->capture16(tone(60 * 500, 50, 500));
    rec.window->record_clicked();
    ASSERT_EQ(w.document().totnchans(), 3);
    EXPECT_EQ(w.document().channel(0).stereochanno, 1);
    EXPECT_EQ(w.document().channel(1).stereochanno, 0);
    EXPECT_EQ(w.document().channel(2).stereochanno, -1);
    EXPECT_GE(w.document().xaxis.GetMaxHiValue(), 60);
    EXPECT_GE(w.document().xaxis.GetHiValue(), 59.99);
    EXPECT_LE(w.document().xaxis.GetLoValue(), 0);
}

// No input device: Record! and Test! are off and the window says why.
TEST(RecordTargets, NoInputDeviceIsSaidInTheWindow) {
    tscriptedmain m;
    TMainWindow& w = m.w;
    w.context().soundcards.makeinput = [] {
        auto d = std::make_unique<test::tfakeinput>();
        d->names.clear();
        return d;
    };
    auto* d = dynamic_cast<trecorddialog*>(w.windows().window("record"));
    d->show();
    EXPECT_FALSE(d->findChild<QPushButton*>("recordbutton")->isEnabled());
    EXPECT_FALSE(d->findChild<QPushButton*>("testbutton")->isEnabled());
    auto* why = d->findChild<QLabel*>("nodevicetext");
    ASSERT_NE(why, nullptr);
    EXPECT_TRUE(why->isVisible());
    EXPECT_EQ(why->text(), "No input device: connect one or choose another");
}
