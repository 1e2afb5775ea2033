// Where windows open and whether their texts can be read: every secondary
// window opens wholly on the screen and clear of the main window's menu
// and tool bars, the processing window is a window of its own (not kept
// above the main window), and the layout check finds a status panel made
// too narrow for its text and nothing in one that fits.
#include <algorithm>

#include <QApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QMainWindow>
#include <QScreen>
#include <QStatusBar>
#include <QVBoxLayout>
#include <QWindow>

#include "gui/processing/processingmodule.h"
#include "gui/processing/processingwindow.h"
#include "gui/widgets/layoutcheck.h"
#include "gui/widgets/tplotpanel.h"
#include "gui/windows/windowset.h"
#include "windowfixture.h"

using namespace tessal;
using namespace tessal::testing;

namespace {

// The main window's frame from its top down to the bottom of its tool bars.
QRect bars_of(const QMainWindow& w) {
    const QRect f = w.frameGeometry();
    const int bottom = w.centralWidget()->mapToGlobal(QPoint(0, 0)).y();
    return QRect(f.left(), f.top(), f.width(), bottom - f.top());
}

}  // namespace

TEST(Placement, WindowsOpenOnTheScreenClearOfTheMainWindowsBars) {
    const QRect avail = QGuiApplication::primaryScreen()->availableGeometry();
    tscriptedmain m;
    TMainWindow& w = m.w;
    tone_channels(w.document(), 1.0, 16000, 200);
    w.show();
    settle();
    const QRect bars = bars_of(w);
    ASSERT_GT(bars.height(), 0);
    // Opened one after the other and left open, as a user does: on this
    // small test screen none has room beside or below the main window, so
    // each steps down from the one before, none at another's place.
    QList<QWidget*> open;
    for (const char* id : {"datalog", "spectrum", "processing", "correlation", "psub"}) {
        w.windows().show(id);
        settle();
        QWidget* win = w.windows().window(id);
        const std::string what = w.windows().caption(id).toStdString();
        // The frame, with the title bar a window manager would add (this
        // platform reports a thin border only).
        QRect frame = win->frameGeometry();
        frame.setTop(std::min(frame.top(), win->geometry().top() - windowtitleheight));
        EXPECT_TRUE(avail.contains(frame)) << what;
        EXPECT_FALSE(frame.intersects(bars)) << what << ": over the menu or tool bar";
        EXPECT_GE(win->width(), win->minimumSizeHint().width()) << what;
        EXPECT_GE(win->height(), win->minimumSizeHint().height()) << what;
        for (const QWidget* before : open)
            EXPECT_NE(win->pos(), before->pos()) << what << " opened where " << before->windowTitle().toStdString()
                                                 << " is";
        open << win;
    }
}

TEST(Placement, TheProcessingWindowIsNotKeptAboveTheMainWindow) {
    tscriptedmain m;
    TMainWindow& w = m.w;
    w.show();
    w.windows().show(processingwindowkey);
    settle();
    QWidget* p = w.windows().window(processingwindowkey);
    EXPECT_NE(p->windowType(), Qt::Tool);
    EXPECT_EQ(p->windowType(), Qt::Window);
    EXPECT_FALSE(p->windowFlags() & Qt::WindowStaysOnTopHint);
    ASSERT_NE(p->windowHandle(), nullptr);
    EXPECT_EQ(p->windowHandle()->transientParent(), nullptr);
    // Closing the main window still ends the program with it open.
    EXPECT_FALSE(p->testAttribute(Qt::WA_QuitOnClose));
    // A further processing window is the same kind of window.
    QWidget* more = w.windows().add_processing_window();
    settle();
    EXPECT_EQ(more->windowType(), Qt::Window);
    EXPECT_EQ(more->windowHandle()->transientParent(), nullptr);
    // The analysis windows stay tool windows of the main window.
    EXPECT_EQ(w.windows().window("spectrum")->windowType(), Qt::Tool);
}

TEST(LayoutCheck, FindsAStatusPanelTooNarrowForItsText) {
    QWidget win;
    win.setWindowTitle("Panels");
    auto* l = new QVBoxLayout(&win);
    l->addStretch(1);
    auto* status = new TStatusPanels({60, 160, 50});
    l->addWidget(status);
    const QString text = "f=276.74 Hz (C#4 -2.8 cent)";
    status->set_text(0, text);
    win.resize(700, 200);
    win.show();
    settle();
    // The panel widened to its text: nothing to find.
    QStringList found = check_layout(&win, QRect());
    EXPECT_TRUE(found.isEmpty()) << found.join("\n").toStdString();
    // Deliberately narrowed: found, with the text and both widths.
    QLabel* panel = status->findChildren<QLabel*>().at(0);
    ASSERT_EQ(panel->text(), text);
    panel->setFixedWidth(60);
    settle();
    found = check_layout(&win, QRect());
    ASSERT_EQ(found.size(), 1) << found.join("\n").toStdString();
    EXPECT_TRUE(found[0].startsWith("Panels: QLabel: \"" + text + "\" needs ")) << found[0].toStdString();
    EXPECT_TRUE(found[0].endsWith("has " + QString::number(panel->contentsRect().width())))
        << found[0].toStdString();
}

TEST(LayoutCheck, FindsClippedCaptionsAndAWindowPastTheScreen) {
    QWidget win;
    win.setWindowTitle("A caption much longer than the narrow window can show in its title bar");
    auto* l = new QVBoxLayout(&win);
    auto* check = new QCheckBox("Show formant cluster prominence");
    l->addWidget(check);
    win.show();
    settle();
    win.setFixedSize(120, 60);
    win.move(50, 40);
    settle();
    const QStringList found = check_layout(&win, QRect(0, 0, 150, 600));
    const QString all = found.join("\n");
    EXPECT_TRUE(all.contains("QCheckBox: \"Show formant cluster prominence\" needs")) << all.toStdString();
    EXPECT_TRUE(all.contains("the caption needs")) << all.toStdString();
    EXPECT_TRUE(all.contains("reaches past the screen")) << all.toStdString();
    // Wide enough, and on the screen: nothing.
    win.setFixedSize(caption_width(win.windowTitle()), 80);
    win.move(0, 0);
    settle();
    const QStringList none = check_layout(&win, QRect(0, 0, 2000, 600));
    EXPECT_TRUE(none.isEmpty()) << none.join("\n").toStdString();
}
