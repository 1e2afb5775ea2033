// The progress of a long file command in the main window: nothing shows in
// the first half second; then the status bar shows the file's name, a bar
// and Cancel; while the command runs, input to the window is held back
// except Cancel's, and Cancel makes the next report answer "stop".
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QMainWindow>
#include <QMouseEvent>
#include <QPushButton>
#include <QStatusBar>
#include <QThread>
#include <gtest/gtest.h>

#include "gui/widgets/fileprogress.h"

using namespace tessal;

namespace {

void post_click(QWidget* w) {
    const QPointF at(w->width() / 2.0, w->height() / 2.0);
    const QPointF global = w->mapToGlobal(at);
    QCoreApplication::postEvent(
        w, new QMouseEvent(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
    QCoreApplication::postEvent(
        w, new QMouseEvent(QEvent::MouseButtonRelease, at, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
}

}  // namespace

TEST(FileProgress, ShowsAfterHalfASecondAndCancelStopsTheCommand) {
    QMainWindow window;
    auto* other = new QPushButton("Other", &window);
    window.setCentralWidget(other);
    window.resize(800, 400);
    window.show();
    int otherclicks = 0;
    QObject::connect(other, &QPushButton::clicked, [&] { ++otherclicks; });
    tfileprogress progress(&window);

    QElapsedTimer t;
    t.start();
    double f = 0;
    // The first 400 ms: no bar.
    while (t.elapsed() < 400) {
        ASSERT_TRUE(progress.report("/data/long recording.wav", f));
        f += 0.0001;
        QThread::msleep(5);
    }
    EXPECT_FALSE(progress.showing());
    while (t.elapsed() < 700) {
        ASSERT_TRUE(progress.report("/data/long recording.wav", f));
        f += 0.0001;
        QThread::msleep(5);
    }
    ASSERT_TRUE(progress.showing());
    bool named = false;
    for (QLabel* l : window.statusBar()->findChildren<QLabel*>()) named |= l->text() == "long recording.wav";
    EXPECT_TRUE(named);
    auto* cancel = window.statusBar()->findChild<QPushButton*>("fileprogresscancel");
    ASSERT_NE(cancel, nullptr);

    // A click on the window during the command is dropped.
    post_click(other);
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(progress.report("/data/long recording.wav", f));
        QThread::msleep(5);
    }
    EXPECT_EQ(otherclicks, 0);
    // Cancel's click goes through and stops the command.
    post_click(cancel);
    bool stopped = false;
    for (int i = 0; i < 40 && !stopped; ++i) {
        stopped = !progress.report("/data/long recording.wav", f);
        QThread::msleep(5);
    }
    EXPECT_TRUE(stopped);
    EXPECT_FALSE(progress.showing());
    // The next command starts afresh, quietly.
    EXPECT_TRUE(progress.report("/data/other.wav", 0.1));
    EXPECT_FALSE(progress.showing());
}
