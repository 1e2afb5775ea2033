// A window's job line: hand-backs arrive on the window's thread in its event
// loop, never after the window is gone, and a command waiting for a result
// keeps the event loop running and can be cancelled.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QProgressDialog>
#include <QPushButton>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QWidget>
#include <atomic>
#include <memory>

#include "gui/widgets/tplotpanel.h"
#include "gui/windows/windowjobs.h"
#include "windowfixture.h"

using namespace tessal;

namespace {

// Events until `done` or a few seconds.
template <class F>
bool spin_until(F done) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < 5000) QApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

}  // namespace

TEST(WindowJobs, HandBacksRunOnTheWindowsThreadAndNotAfterItIsGone) {
    QWidget window;
    tjobline line(deliver_to(&window));
    QThread* takenon = nullptr;
    int value = 0;
    line.start([](tjobcontext&) { return 42; },
               [&](int v) {
                   value = v;
                   takenon = QThread::currentThread();
               });
    ASSERT_TRUE(spin_until([&] { return value != 0; }));
    EXPECT_EQ(takenon, QApplication::instance()->thread());
    EXPECT_FALSE(line.busy());

    // A window that goes while its result is queued: nothing runs.
    bool ran = false;
    {
        auto w = std::make_unique<QWidget>();
        auto l = std::make_unique<tjobline>(deliver_to(w.get()));
        l->start([](tjobcontext&) { return 1; }, [&](int) { ran = true; });
        l->wait();  // the hand-back is in the event queue now
        l.reset();
        w.reset();
    }
    QApplication::processEvents();
    EXPECT_FALSE(ran);
}

TEST(WindowJobs, AWaitingCommandKeepsTheEventLoopRunningAndCanBeCancelled) {
    QWidget window;
    tjobline line(deliver_to(&window));
    std::atomic<bool> release{false};
    bool taken = false;
    line.start(
        [&](tjobcontext& c) {
            while (!release) {
                c.check();
                c.progress(0.5);
                QThread::msleep(2);
            }
            return 7;
        },
        [&](int) { taken = true; });
    // The event loop runs during the wait: a timer fires, then the job is
    // let go and the wait returns with the result taken.
    int ticks = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        if (++ticks == 5) release = true;
    });
    tick.start(20);
    EXPECT_TRUE(wait_with_progress(&window, line, "Calculating"));
    EXPECT_TRUE(taken);
    EXPECT_GE(ticks, 5);
    tick.stop();

    // Cancel in the dialog: the wait answers false and nothing is handed back.
    taken = false;
    release = false;
    line.start(
        [&](tjobcontext& c) {
            while (!release) {
                c.check();
                QThread::msleep(2);
            }
            return 8;
        },
        [&](int) { taken = true; });
    tessal::testing::tprogresscanceller canceller("Calculating");
    EXPECT_FALSE(wait_with_progress(&window, line, "Calculating"));
    EXPECT_TRUE(canceller.clicked());
    EXPECT_FALSE(line.busy());
    release = true;
    line.wait();
    QApplication::processEvents();
    EXPECT_FALSE(taken);
}

TEST(WindowJobs, ProgressText) {
    EXPECT_EQ(progress_text("Calculating histogram", 0.42), "Calculating histogram - 42.0 %");
    EXPECT_EQ(progress_text("x", 1), "x - 100.0 %");
}

TEST(WindowJobs, AProgressStatusInTheLastPanelIsNotCut) {
    QWidget window;
    window.resize(800, 200);
    auto* status = new TStatusPanels({150, 100, 50}, &window);
    status->setGeometry(0, 170, 800, 30);
    window.show();
    const QString text = progress_text("Calculating spectrogram for channel 2", 0.42);
    status->set_text(2, text);
    QApplication::processEvents();
    auto labels = status->findChildren<QLabel*>();
    ASSERT_EQ(labels.size(), 3);
    EXPECT_EQ(labels[0]->width(), 150);
    EXPECT_EQ(labels[1]->width(), 100);
    EXPECT_GE(labels[2]->width(), labels[2]->fontMetrics().horizontalAdvance(text));
}
