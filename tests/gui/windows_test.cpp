// Windows on the screen: the main window and every secondary window open
// at a readable size wholly inside the available screen (the offscreen
// screen is small, 800 x 600, like a laptop at a scale of 2); the data log
// shows each value under its heading; a double click on a channel's
// information line opens the Measurements dialog.
#include <memory>
#include <QApplication>
#include <QDir>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include "gui/view/channelstrip.h"
#include "gui/view/infoline.h"
#include "gui/mainwindow/mainwindow.h"
#include "gui/mainwindow/screenshot.h"
#include "gui/view/signalpanel.h"
#include "gui/measurements/tdatalogwindow.h"
#include "support/scriptedprompter.h"
#include "windowfixture.h"

using namespace tessal;
using namespace tessal::testing;

namespace {

void one_channel(tdocument& doc) {
    doc.set_totnchans(2);
    for (int c = 0; c < 2; ++c) {
        tchannel& ch = doc.channel(c);
        ch.sampfreq = 44100;
        ch.filename = "/data/take.wav";
        ch.set_name(c ? "airflow" : "microphone");
        ch.set_yunit(c ? "l/s" : "Pa");
        ch.set_samples(tsinglearr(44100, 0.2f * (c + 1)));
        ch.set_fsd(1);
    }
    doc.theglobal.channels_changed();
}

// Where each cell starts in a line laid out in columns.
std::vector<int> cell_starts(const QString& line) {
    std::vector<int> starts;
    for (int i = 0; i < line.size(); ++i) {
        if (line[i] == ' ') continue;
        if (i == 0 || (i >= 2 && line[i - 1] == ' ' && line[i - 2] == ' ')) starts.push_back(i);
    }
    return starts;
}

}  // namespace

TEST(Windows, EveryWindowOpensReadableAndInsideTheScreen) {
    const QRect avail = QGuiApplication::primaryScreen()->availableGeometry();
    tscriptedprompter w_prompter;
    TMainWindow w(&w_prompter);
    w.first_activation({});
    w.show();
    settle();
    EXPECT_TRUE(avail.contains(w.frameGeometry())) << w.width() << "x" << w.height();
    for (const QString& id : w.windows().keys()) {
        QWidget* win = w.windows().window(id);
        w.windows().show(id);
        settle();
        const QString what = w.windows().caption(id);
        EXPECT_TRUE(avail.contains(win->frameGeometry())) << what.toStdString();
        const QSize least = win->sizeHint().expandedTo(win->minimumSizeHint())
                                .boundedTo(avail.size());
        EXPECT_GE(win->width(), least.width()) << what.toStdString();
        EXPECT_GE(win->height(), least.height()) << what.toStdString();
        win->hide();
    }
}

TEST(Windows, TheDataLogLinesUpItsValuesUnderTheHeading) {
    QTemporaryDir dir;
    const std::string wav = dir.filePath("take.wav").toStdString();
    tscriptedmain m;
    TMainWindow& w = m.w;
    // A file: written once, then opened as a user would.
    one_channel(w.document());
    m.prompter->answers = {tanswer::yes};  // save as wav anyway
    ASSERT_TRUE(w.files().save_file(wav, 16, 0, 0, {}, tFormat::pcm));
    w.document().set_modified(false);
    ASSERT_TRUE(w.files().open_document(wav));
    w.document().selectmode = selall;
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    settle();
    QTest::keyClick(&w, Qt::Key_F5);
    QTest::keyClick(&w, Qt::Key_F5);
    settle();
    auto* log = qobject_cast<tdatalogwindow*>(w.windows().window("datalog"));
    ASSERT_NE(log, nullptr);
    ASSERT_TRUE(log->isVisible());
    const QRect avail = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_TRUE(avail.contains(log->frameGeometry()));
    EXPECT_GE(log->width(), 400);
    EXPECT_GE(log->height(), 200);
    const QStringList lines = log->memo()->toPlainText().split('\n');
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(lines[0].startsWith("Channel  ")) << lines[0].toStdString();
    EXPECT_EQ(cell_starts(lines[1]), cell_starts(lines[0]))
        << lines[0].toStdString() << "\n" << lines[1].toStdString();
    EXPECT_EQ(lines[2], lines[1]);
    // "44100" stands under "Sampling rate".
    EXPECT_EQ(lines[1].indexOf("44100"), lines[0].indexOf("Sampling rate"));
    if (const char* dir = std::getenv("TESSAL_SCREENSHOT_DIR"))
        render_window_png(log, QDir(dir).filePath("datalog.png"));
}

TEST(Windows, DoubleClickOnAnInformationLineOpensMeasurements) {
    tscriptedprompter w_prompter;
    TMainWindow w(&w_prompter);
    w.first_activation({});
    one_channel(w.document());
    w.show();
    settle();
    QWidget* dialog = w.windows().window("measurements");
    ASSERT_FALSE(dialog->isVisible());
    tinfoline* info = w.signalpanel()->strip(1).info;
    QTest::mouseDClick(info, Qt::LeftButton, {}, QPoint(20, info->height() / 2));
    settle();
    EXPECT_TRUE(dialog->isVisible());
    dialog->hide();
}
