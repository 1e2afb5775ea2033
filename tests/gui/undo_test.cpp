// Edit > Undo and Redo in the main window: captions that name the change,
// enabling, the keys with and without the "Ctrl+Z undoes" preference, a
// Delete and a Paste taken back and done again through the real commands,
// and a process run undone as one step. Changes made with the mouse and
// keys in the signal view (a label dragged by its middle and by an edge, a
// label added by its key, a label's and a channel's dialogs opened by a
// click) are named after what they did and are undone.
#include <memory>
#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include "engine/core/tdocument.h"
#include "engine/view/viewrange.h"
#include "gui/commands/commandregistry.h"
#include "gui/editing/teditingcommands.h"
#include "gui/labels/labelsmodule.h"
#include "gui/mainwindow/mainwindow.h"
#include "gui/view/channelstrip.h"
#include "gui/view/showbox.h"
#include "gui/view/signalpanel.h"
#include "gui/view/waveformview.h"
#include "support/scriptedprompter.h"
#include "windowfixture.h"

using namespace tessal;
using namespace tessal::testing;

namespace {

// Two counting channels, a stereo pair.
void fill(TMainWindow& w) {
    counting_channels(w.document(), 2);
    w.document().set_modified(false);
    w.commands().refresh_enablings();
}

QAction* action(TMainWindow& w, const char* id) {
    QAction* a = w.commands().action(id);
    EXPECT_NE(a, nullptr) << id;
    return a;
}

void trigger(TMainWindow& w, const char* id) {
    QAction* a = action(w, id);
    ASSERT_TRUE(a->isEnabled()) << id;
    a->trigger();
    w.commands().refresh_enablings();
}

}  // namespace

TEST(UndoCommands, DeleteAndPasteAreUndoneAndRedoneByName) {
    tscriptedmain m(false);
    TMainWindow& w = m.w;
    fill(w);
    tdocument& doc = w.document();
    w.editing().is_foreground = [] { return true; };
    EXPECT_FALSE(action(w, "undoaction")->isEnabled());
    EXPECT_EQ(action(w, "undoaction")->text(), "Undo");
    EXPECT_FALSE(action(w, "redoaction")->isEnabled());

    doc.theglobal.set_selection(0.1, 0.2);
    trigger(w, "copyaction");
    m.prompter->answers = {tanswer::ok};
    trigger(w, "deleteaction");
    ASSERT_EQ(doc.channel(0).sample_count(), 900);
    EXPECT_EQ(action(w, "undoaction")->text(), "Undo Delete");
    doc.theglobal.set_selection(0.5, 0.5);
    trigger(w, "pasteaction");
    ASSERT_EQ(doc.channel(1).sample_count(), 1000);  // the copy held the 100 samples deleted
    EXPECT_EQ(action(w, "undoaction")->text(), "Undo Paste");

    trigger(w, "undoaction");
    EXPECT_EQ(doc.channel(1).sample_count(), 900);
    EXPECT_EQ(action(w, "undoaction")->text(), "Undo Delete");
    EXPECT_EQ(action(w, "redoaction")->text(), "Redo Paste");
    trigger(w, "undoaction");
    ASSERT_EQ(doc.channel(0).sample_count(), 1000);
    for (int k = 0; k < 1000; ++k) ASSERT_EQ(doc.channel(1).sample(k), 1000.0f + k) << k;
    EXPECT_FALSE(doc.modified());
    EXPECT_FALSE(action(w, "undoaction")->isEnabled());
    EXPECT_EQ(action(w, "redoaction")->text(), "Redo Delete");

    trigger(w, "redoaction");
    trigger(w, "redoaction");
    ASSERT_EQ(doc.channel(0).sample_count(), 1000);
    EXPECT_EQ(doc.channel(0).sample(100), 200.0f);  // the delete closed the gap
    EXPECT_EQ(doc.channel(0).sample(500), 100.0f);  // the paste at 0.5 s (400 after the delete)
    EXPECT_TRUE(doc.modified());
    EXPECT_FALSE(action(w, "redoaction")->isEnabled());
}

TEST(UndoCommands, KeysFollowTheCtrlZPreference) {
    tscriptedprompter w_prompter;
    TMainWindow w(&w_prompter);
    fill(w);
    auto keys = [&](const char* id) {
        QStringList l;
        for (const QKeySequence& k : action(w, id)->shortcuts()) l << k.toString();
        return l;
    };
    EXPECT_EQ(keys("undoaction"), (QStringList{"Alt+Backspace", "Ctrl+Alt+Z"}));
    EXPECT_EQ(keys("redoaction"), (QStringList{"Ctrl+Shift+Z"}));
    EXPECT_EQ(keys("zoomaction"), (QStringList{"Ctrl+Z"}));
    w.document().prefs.CtrlZUndoes = true;
    w.commands().refresh();
    EXPECT_EQ(keys("undoaction"), (QStringList{"Alt+Backspace", "Ctrl+Z"}));
    EXPECT_EQ(keys("zoomaction"), (QStringList{"Ctrl+Alt+Z"}));
}

TEST(UndoCommands, AStepIsNamedAfterTheMenuCaption) {
    EXPECT_EQ(step_name("&Delete channel"), "Delete channel");
    EXPECT_EQ(step_name("Levels..."), "Levels");
}

namespace {

// The main window on screen with two channels (fill) and a "manual" label
// on channel 0 from 0.3 s to 0.6 s.
struct tshownwindow : tscriptedmain {
    tshownwindow() {
        fill(w);
        tdocument& doc = w.document();
        doc.channel(0).add_label(0.3, 0.3, "a", "manual");
        doc.set_modified(false);
        fix_xaxis(doc, true);
        w.resize(1000, 600);
        w.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&w));
        settle();
    }
    void settle() {
        for (int i = 0; i < 5; ++i) QApplication::processEvents();
        w.commands().refresh_enablings();
    }
    twaveformview* wave(int c) { return w.signalpanel()->strip(c).wave; }
    int pixel(double t) { return w.document().xaxis.value_to_pixel(t); }
    double time(int x) { return w.document().xaxis.pixel_to_value(x); }
    QString undotext() { return action(w, "undoaction")->text(); }
    // An Alt-drag in the label strip of channel 0 from x0 to x1. QTest's
    // move carries no keys, so the move is sent as the window system would.
    void altdrag(int x0, int x1) {
        twaveformview* v = wave(0);
        QTest::mousePress(v, Qt::LeftButton, Qt::AltModifier, QPoint(x0, 4));
        QMouseEvent move(QEvent::MouseMove, QPointF(x1, 4), v->mapToGlobal(QPointF(x1, 4)),
                         Qt::NoButton, Qt::LeftButton, Qt::AltModifier);
        QApplication::sendEvent(v, &move);
        QTest::mouseRelease(v, Qt::LeftButton, Qt::AltModifier, QPoint(x1, 4));
        settle();
    }
    void undo() {
        trigger(w, "undoaction");
        settle();
    }
};

// Fills in the modal dialog that opens next and presses its save button.
void answer_next_dialog(std::function<void(QWidget*)> fillin) {
    QTimer::singleShot(0, [fillin] {
        QWidget* d = QApplication::activeModalWidget();
        ASSERT_NE(d, nullptr);
        fillin(d);
        auto* save = d->findChild<QPushButton*>("save");
        ASSERT_NE(save, nullptr);
        save->click();
    });
}

}  // namespace

TEST(UndoMouseAndKeys, LabelDragsAreNamedAfterWhatTheyChangedAndUndone) {
    tshownwindow f;
    tdocument& doc = f.w.document();
    const tsiglabel& l = doc.channel(0).labels[0];

    // By the middle: the label moves, its length stays.
    const int xm = f.pixel(0.45);
    f.altdrag(xm, xm + 100);
    const double dt = f.time(xm + 100) - f.time(xm);
    ASSERT_GT(dt, 0.05);
    EXPECT_NEAR(l.time, 0.3 + dt, 1e-9);
    EXPECT_NEAR(l.duration, 0.3, 1e-9);
    EXPECT_TRUE(doc.modified());
    EXPECT_EQ(f.undotext(), "Undo Move label");
    f.undo();
    EXPECT_DOUBLE_EQ(doc.channel(0).labels[0].time, 0.3);
    EXPECT_DOUBLE_EQ(doc.channel(0).labels[0].duration, 0.3);
    EXPECT_FALSE(doc.modified());
    EXPECT_EQ(action(f.w, "redoaction")->text(), "Redo Move label");

    // By its end edge: the length changes, the start stays.
    const int xe = f.pixel(0.6) - 2;
    f.altdrag(xe, xe + 50);
    EXPECT_DOUBLE_EQ(doc.channel(0).labels[0].time, 0.3);
    EXPECT_NEAR(doc.channel(0).labels[0].duration, 0.3 + f.time(xe + 50) - f.time(xe), 1e-9);
    EXPECT_EQ(f.undotext(), "Undo Label length");
    // By its start edge, past the end: the label flips, its length changes.
    const int xs = f.pixel(doc.channel(0).labels[0].time) + 2;
    f.altdrag(xs, f.pixel(1.0));
    EXPECT_NEAR(doc.channel(0).labels[0].time + doc.channel(0).labels[0].duration,
                f.time(f.pixel(1.0)) - f.time(xs) + 0.3, 1e-9);
    EXPECT_EQ(f.undotext(), "Undo Label length");
    f.undo();
    f.undo();
    EXPECT_DOUBLE_EQ(doc.channel(0).labels[0].time, 0.3);
    EXPECT_DOUBLE_EQ(doc.channel(0).labels[0].duration, 0.3);
    EXPECT_FALSE(action(f.w, "undoaction")->isEnabled());

    // A drag dropped below the label strip, a plain selection drag and the
    // view's keys change no data: no step.
    QTest::mousePress(f.wave(0), Qt::LeftButton, Qt::AltModifier, QPoint(xm, 4));
    QTest::mouseRelease(f.wave(0), Qt::LeftButton, Qt::AltModifier, QPoint(xm + 80, 60));
    const int y = f.wave(1)->height() / 2;
    QTest::mousePress(f.wave(1), Qt::LeftButton, {}, QPoint(100, y));
    QTest::mouseRelease(f.wave(1), Qt::LeftButton, {}, QPoint(300, y));
    QTest::keyClick(f.w.signalpanel(), Qt::Key_PageDown);
    QTest::keyClick(f.w.signalpanel(), Qt::Key_Right, Qt::ShiftModifier);
    QTest::keyClick(f.w.signalpanel(), Qt::Key_F4);
    f.settle();
    EXPECT_DOUBLE_EQ(doc.channel(0).labels[0].time, 0.3);
    EXPECT_FALSE(action(f.w, "undoaction")->isEnabled());
    EXPECT_EQ(f.undotext(), "Undo");
}

TEST(UndoMouseAndKeys, AKeyAndTheDialogsAClickOpensNameTheirSteps) {
    tshownwindow f;
    tdocument& doc = f.w.document();

    // F7 adds a label at the selection.
    f.w.labels().ask_label_text = [] { return std::optional<std::string>("k"); };
    doc.theglobal.set_selection(0.7, 0.8);
    QTest::keyClick(&f.w, Qt::Key_F7);
    f.settle();
    ASSERT_EQ(doc.channel(0).labels.size(), 2u);
    EXPECT_EQ(doc.channel(0).labels[1].text, "k");
    EXPECT_EQ(f.undotext(), "Undo Add label");
    f.undo();
    ASSERT_EQ(doc.channel(0).labels.size(), 1u);

    // A double click on the label opens its properties; saved, the click's
    // step is named after the dialog.
    answer_next_dialog([](QWidget* d) { d->findChild<QLineEdit*>("text")->setText("b"); });
    QTest::mouseDClick(f.wave(0), Qt::LeftButton, {}, QPoint(f.pixel(0.45), 4));
    f.settle();
    ASSERT_EQ(doc.channel(0).labels[0].text, "b");
    EXPECT_EQ(f.undotext(), "Undo Label properties");
    f.undo();
    EXPECT_EQ(doc.channel(0).labels[0].text, "a");

    // The show box's notes button opens the channel's notes.
    tshowbox* show = f.w.signalpanel()->strip(1).show;
    answer_next_dialog([](QWidget* d) { d->findChild<QPlainTextEdit*>("memo")->setPlainText("n"); });
    QTest::mouseClick(show, Qt::LeftButton, {}, QPoint(show->width() - 30, show->height() / 2));
    f.settle();
    ASSERT_EQ(doc.channel(1).notes, std::vector<std::string>{"n"});
    EXPECT_EQ(f.undotext(), "Undo Notes for channel 1");
    f.undo();
    EXPECT_TRUE(doc.channel(1).notes.empty());
    EXPECT_FALSE(doc.modified());
}
