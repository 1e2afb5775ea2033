// Damaged files opened through the File menu's Open dialog and the
// processing window: the file is refused with a message saying what is
// wrong, and what was open stays open, untouched.
#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "engine/formats/twavfile.h"
#include "gui/mainwindow/mainwindow.h"
#include "gui/processing/processingmodule.h"
#include "gui/processing/processingwindow.h"
#include "gui/view/signalpanel.h"
#include "support/scriptedprompter.h"

using namespace tessal;
using tessal::testing::tscriptedprompter;

namespace {

QByteArray slurp(const QString& path) {
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    return f.readAll();
}

void spit(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QString write_wave(const QTemporaryDir& dir, const QString& name, int nch, int frames) {
    std::vector<tsinglearr> chans(nch);
    for (int c = 0; c < nch; ++c)
        for (int i = 0; i < frames; ++i) chans[c].push_back(0.5f * std::sin(0.05 * (c + 1) * i));
    TWavFile w;
    w.Setsampfreq(8000);
    w.Setnbits(16);
    w.Setnchans(nch);
    const QString path = dir.filePath(name);
    w.save_file(path.toStdString(), chans, false, false);
    return path;
}

struct tdamaged : ::testing::Test {
    QTemporaryDir dir;
    tscriptedprompter prompter;
    std::unique_ptr<TMainWindow> w;
    QString good;

    void SetUp() override {
        good = write_wave(dir, "good.wav", 2, 4000);
        w = std::make_unique<TMainWindow>(&prompter);
        w->first_activation({});
        ASSERT_TRUE(w->files().open_document(good.toStdString()));
        // The histogram window listens to every channel change.
        w->commands().action("histogramsaction")->trigger();
        w->resize(900, 560);
        w->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
        settle();
        prompter.asked.clear();
    }
    void settle() {
        for (int i = 0; i < 5; ++i) QApplication::processEvents();
    }
    // File > Open, the file's name typed into the dialog and Enter.
    void open_through_dialog(const QString& path) {
        bool typed = false;
        QTimer::singleShot(0, [&] {
            auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(d, nullptr);
            auto* name = d->findChild<QLineEdit*>("fileNameEdit");
            ASSERT_NE(name, nullptr);
            name->setText(path);
            QTest::keyClick(name, Qt::Key_Return);
            typed = true;
        });
        w->commands().action("openaction")->trigger();
        settle();
        ASSERT_TRUE(typed);
    }
    // The document is still the good file, whole.
    void expect_good_file_open() {
        tdocument& doc = w->document();
        ASSERT_EQ(doc.totnchans(), 2);
        EXPECT_EQ(doc.filename(), good.toStdString());
        EXPECT_EQ(doc.channel(0).sample_count(), 4000);
        EXPECT_NEAR(doc.channel(1).sample(100), 0.5 * std::sin(0.1 * 100), 1.0 / 32768);
        EXPECT_EQ(w->signalpanel()->stripcount(), 2);
        EXPECT_TRUE(w->windowTitle().contains("good.wav")) << w->windowTitle().toStdString();
    }
};

}  // namespace

// Bytes 22-23 of a valid file set to FF FF: 65535 channels that its
// 4-byte frames cannot hold.
TEST_F(tdamaged, AWaveWhoseChannelCountIsDamagedIsRefused) {
    const QString path = write_wave(dir, "ffff.wav", 2, 8000);
    QByteArray b = slurp(path);
    b[22] = char(0xFF);
    b[23] = char(0xFF);
    spit(path, b);

    open_through_dialog(path);

    expect_good_file_open();
    ASSERT_EQ(prompter.asked.size(), 1u);
    EXPECT_EQ(prompter.asked[0].caption, "Could not open file");
    EXPECT_NE(prompter.asked[0].text.find("65535 channels"), std::string::npos) << prompter.asked[0].text;
    EXPECT_NE(prompter.asked[0].text.find(path.toStdString()), std::string::npos);
}

// A native file whose "nChans" key lost 4 bytes, and one whose magic did.
TEST_F(tdamaged, ADamagedTessalFileKeepsTheOpenDocument) {
    const QString saved = dir.filePath("saved.tessal");
    ASSERT_TRUE(w->files().save_file(saved.toStdString(), 32, 0, 0, {}, tFormat::ieeefloat));
    ASSERT_TRUE(w->files().open_document(good.toStdString()));
    settle();
    prompter.asked.clear();
    const QByteArray whole = slurp(saved);

    QByteArray key = whole;
    const int at = key.indexOf("nChans");
    ASSERT_GT(at, 0);
    for (int i = 1; i <= 4; ++i) key[at + i] = char(key[at + i] ^ 0x5A);
    const QString nokey = dir.filePath("nokey.tessal");
    spit(nokey, key);
    open_through_dialog(nokey);
    expect_good_file_open();
    ASSERT_EQ(prompter.asked.size(), 1u);
    EXPECT_EQ(prompter.asked[0].caption, "Cannot open Tessal file");
    EXPECT_NE(prompter.asked[0].text.find("channel count"), std::string::npos) << prompter.asked[0].text;

    QByteArray magic = whole;
    for (int i = 0; i < 4; ++i) magic[i] = char(magic[i] ^ 0xFF);
    const QString nomagic = dir.filePath("nomagic.tessal");
    spit(nomagic, magic);
    prompter.asked.clear();
    open_through_dialog(nomagic);
    expect_good_file_open();
    ASSERT_EQ(prompter.asked.size(), 1u);
    EXPECT_EQ(prompter.asked[0].caption, "Cannot open Tessal file");
    EXPECT_NE(prompter.asked[0].text.find(nomagic.toStdString()), std::string::npos);

    // The file as saved still opens.
    open_through_dialog(saved);
    EXPECT_EQ(w->document().filename(), saved.toStdString());
    EXPECT_EQ(w->document().totnchans(), 2);
}

// Random bytes named ".tessalproc": refused, and the process that was open
// stays with its steps and its name.
TEST_F(tdamaged, ARandomProcessFileKeepsTheOpenProcess) {
    tprocessingwindow* pw = w->processing().window();
    const QString good = dir.filePath("good.tessalproc");
    spit(good, "[Common]\nnsteps=1\n[Step_0]\nprocid=delete\nnchans=1\nchanno0=1\n");
    pw->choose_open_name = [&] { return good; };
    pw->findChild<QAction*>("openaction")->trigger();
    ASSERT_EQ(pw->process().steps.size(), 1u);
    prompter.asked.clear();

    std::mt19937 random(17);
    QByteArray noise(4096, 0);
    for (char& c : noise) c = static_cast<char>(random() & 0xFF);
    const QString bad = dir.filePath("noise.tessalproc");
    spit(bad, noise);
    pw->choose_open_name = [&] { return bad; };
    pw->findChild<QAction*>("openaction")->trigger();
    settle();

    ASSERT_EQ(pw->process().steps.size(), 1u);
    EXPECT_EQ(pw->process().steps[0]->get_procid(), "delete");
    EXPECT_EQ(pw->process().name(), good.toStdString());
    EXPECT_EQ(pw->windowTitle(), good + " - Tessal");
    ASSERT_EQ(prompter.asked.size(), 1u);
    EXPECT_NE(prompter.asked[0].text.find("not a process file"), std::string::npos) << prompter.asked[0].text;
}
