// The main window's view as a user drives it: the zoom history forgets a
// closed document, the red and blue marks can be shown, dragged and used by
// F8, Edit levels and Align channels, the tool bar, the default save
// format, the mouse wheel and the time scroll bar, and the channel column
// and strip heights. Screenshots for a look by eye go to
// TESSAL_SCREENSHOT_DIR when it is set.
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QCheckBox>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QtTest/qtestspontaneevent.h>
#include <QToolBar>
#include <QToolButton>
#include <QWheelEvent>
#include <cmath>
#include <gtest/gtest.h>

#include "engine/view/viewlayout.h"
#include "engine/view/viewrange.h"
#include "engine/view/viewscroll.h"
#include "gui/editing/talignchannelsdialog.h"
#include "gui/editing/teditlevelsdialog.h"
#include "engine/formats/twavfile.h"
#include "gui/view/channelstrip.h"
#include "gui/mainwindow/mainwindow.h"
#include "gui/mainwindow/screenshot.h"
#include "gui/view/showbox.h"
#include "gui/view/signalpanel.h"
#include "gui/view/waveformview.h"
#include "support/scriptedprompter.h"
#include "tonechannels.h"
#include "gui/widgets/taxiswidget.h"

using namespace tessal;
using tessal::testing::settle;
using tessal::testing::tscriptedprompter;

namespace {

// `nchans` channels of `seconds` of a 200 Hz sine at 8 kHz, channel c at
// amplitude 0.5 / (c + 1), 16-bit.
QString write_wav(const QTemporaryDir& dir, const QString& name, int nchans, double seconds) {
    std::vector<tsinglearr> chans(nchans);
    const int n = static_cast<int>(seconds * 8000);
    for (int c = 0; c < nchans; ++c)
        for (int i = 0; i < n; ++i)
            chans[c].push_back(static_cast<float>(0.5 / (c + 1) * std::sin(2 * M_PI * 200 * i / 8000.0)));
    TWavFile w;
    w.Setsampfreq(8000);
    w.Setnbits(16);
    w.Setnchans(nchans);
    QString path = dir.filePath(name);
    w.save_file(path.toStdString(), chans, false, false);
    return path;
}

struct tshown {
    QTemporaryDir dir;
    tscriptedprompter prompter;
    TMainWindow w{&prompter};
    explicit tshown(int nchans = 2, double seconds = 2, QSize size = {1000, 600}) {
        w.first_activation({write_wav(dir, "rec.wav", nchans, seconds)});
        w.resize(size);
        w.show();
        settle();
    }
    tdocument& doc() { return w.document(); }
    tsignalpanel& panel() { return *w.signalpanel(); }
    twaveformview* wave(int i) { return panel().strip(i).wave; }
    void shot(const char* name) {
        const char* d = std::getenv("TESSAL_SCREENSHOT_DIR");
        if (d) render_window_png(&w, QDir(d).filePath(name));
    }
};

// A wheel turn at `pos` of widget `w`, delivered to the widget under the
// pointer as the platform's would be.
void turn_wheel(QWidget* w, QPoint pos, int angle, Qt::KeyboardModifiers mods = {}) {
    QWheelEvent e(QPointF(pos), QPointF(w->mapToGlobal(pos)), QPoint(), QPoint(0, angle), Qt::NoButton,
                  mods, Qt::NoScrollPhase, false);
    QSpontaneKeyEvent::setSpontaneous(&e);
    QApplication::sendEvent(w, &e);
}

}  // namespace

TEST(ZoomHistory, OpenNewAndCloseForgetThePreviousDocumentsRanges) {
    tshown f(2, 2);
    tdocument& doc = f.doc();
    doc.theglobal.set_selection(0.5, 1.0);
    f.w.commands().action("zoomaction")->trigger();
    ASSERT_DOUBLE_EQ(doc.xaxis.GetLoValue(), 0.5);

    // File > Open of a second, shorter file (the path the dialog takes).
    const QString other = write_wav(f.dir, "short.wav", 1, 0.5);
    ASSERT_TRUE(f.w.files().open_document(other.toStdString()));
    f.w.commands().action("zoombackaction")->trigger();
    // The new file's whole extent, not the closed document's 0..2 s.
    EXPECT_DOUBLE_EQ(doc.xaxis.GetLoValue(), 0);
    EXPECT_DOUBLE_EQ(doc.xaxis.GetHiValue(), 3999 / 8000.0);

    // New forgets a zoom as well.
    doc.theglobal.set_selection(0.1, 0.2);
    f.w.commands().action("zoomaction")->trigger();
    f.w.commands().action("newaction")->trigger();
    EXPECT_TRUE(f.panel().view().zoom.zoomstack().empty());
}

TEST(RedBlueMarks, ShownDraggedAndUsedByF8LevelsAndAlign) {
    tshown f(2, 2);
    tdocument& doc = f.doc();
    QAction* show = f.w.commands().action("showmarksaction");
    ASSERT_NE(show, nullptr);
    EXPECT_EQ(show->text(), "Show red and blue marks");
    EXPECT_TRUE(show->isCheckable());
    EXPECT_FALSE(show->isChecked());

    // Align channels, with the marks hidden, says how to show them and
    // cannot align.
    auto* align = qobject_cast<talignchannelsdialog*>(f.w.windows().window("align"));
    ASSERT_NE(align, nullptr);
    align->fill_lists();
    EXPECT_FALSE(align->alignbutton()->isEnabled());
    EXPECT_FALSE(align->markshint()->isHidden());

    show->trigger();
    EXPECT_TRUE(show->isChecked());
    EXPECT_TRUE(f.panel().view().showcursors[1] && f.panel().view().showcursors[2]);

    // Drawn: the red mark in channel 0's colour 0x0000FF (red), the blue
    // one in 0xFF0000 (blue), each with its handle.
    twaveformview* w0 = f.wave(0);
    const int H = w0->height();
    int x1 = doc.xaxis.value_to_pixel(doc.channel(0).cursors[1]);
    int x2 = doc.xaxis.value_to_pixel(doc.channel(0).cursors[2]);
    ASSERT_GT(x2 - x1, 100);
    QImage img = w0->grab().toImage();
    const double dpr = img.devicePixelRatio();
    EXPECT_EQ(img.pixelColor(int((x1 + 0.5) * dpr), int(H / 4 * dpr)), QColor(255, 0, 0));
    EXPECT_EQ(img.pixelColor(int((x2 + 0.5) * dpr), int(H / 4 * dpr)), QColor(0, 0, 255));
    f.shot("red-blue-marks.png");

    // Dragged by the handle at the bottom of the strip.
    QTest::mousePress(w0, Qt::LeftButton, {}, QPoint(x1 + 2, H - 5));
    QTest::mouseMove(w0, QPoint(x1 - 150, H - 5));
    QTest::mouseRelease(w0, Qt::LeftButton, {}, QPoint(x1 - 150, H - 5));
    EXPECT_NEAR(doc.channel(0).cursors[1], doc.xaxis.pixel_to_value(x1 - 150), 1e-12);
    x1 -= 150;

    // F8 selects from the red to the blue mark of the current channel.
    doc.set_thischanno(0);
    QTest::keyClick(&f.panel(), Qt::Key_F8);
    EXPECT_DOUBLE_EQ(doc.theglobal.leftselcursor(), doc.channel(0).cursors[1]);
    EXPECT_DOUBLE_EQ(doc.theglobal.rightselcursor(), doc.channel(0).cursors[2]);

    // Edit levels, DC constant in mono mode: the button reads minus the
    // mean between the marks (of a sine over whole periods plus 0.25).
    doc.channel(0).cursors[1] = 0.5;
    doc.channel(0).cursors[2] = 1.0;  // 100 periods of 200 Hz
    tsinglearr raised = doc.channel(0).samples_array();
    for (float& x : raised) x += 0.25f;
    doc.channel(0).write_samples(0, raised.data(), raised.size());
    f.w.commands().action("editmonoaction")->trigger();
    auto* levels = qobject_cast<teditlevelsdialog*>(f.w.windows().window("editlevels"));
    ASSERT_NE(levels, nullptr);
    levels->set_type(4);
    auto* readavg = levels->findChild<QPushButton*>("readavg");
    ASSERT_NE(readavg, nullptr);
    EXPECT_TRUE(readavg->isEnabled());
    QTest::mouseClick(readavg, Qt::LeftButton);
    EXPECT_NEAR(levels->findChild<QLineEdit*>("start")->text().toDouble(), -0.25, 1e-4);

    // Align channels now aligns: channel 1's red mark moves onto channel 0's.
    doc.channel(1).cursors[1] = 0.7;
    align->fill_lists();
    EXPECT_TRUE(align->alignbutton()->isEnabled());
    EXPECT_TRUE(align->markshint()->isHidden());
    align->referencelist()->setCurrentRow(0);
    align->checklist()->item(1)->setCheckState(Qt::Checked);
    align->onlyshiftbox()->setChecked(true);
    QTest::mouseClick(align->alignbutton(), Qt::LeftButton);
    EXPECT_EQ(doc.channel(1).xshift, std::lround((0.5 - 0.7) * 8000));
    EXPECT_DOUBLE_EQ(doc.channel(1).cursors[1], 0.5);

    // Hidden again: F8 leaves the selection alone.
    show->trigger();
    EXPECT_FALSE(show->isChecked());
    doc.theglobal.set_selection(1.5, 1.6);
    QTest::keyClick(&f.panel(), Qt::Key_F8);
    EXPECT_DOUBLE_EQ(doc.theglobal.leftselcursor(), 1.5);
}

TEST(ToolBar, CommandsFromTheTableInPlaceWithTheirEnabling) {
    tscriptedprompter prompter;
    TMainWindow w(&prompter);
    auto* tb = w.findChild<QToolBar*>("toolbar");
    ASSERT_NE(tb, nullptr);
    QStringList items;
    for (QAction* a : tb->actions()) items << (a->isSeparator() ? "|" : a->iconText());
    EXPECT_EQ(items.join(", ").toStdString(),
              "Open, Save, |, Zoom back, Stretch, |, Log meas., |, Play!, Play entire file!");
    // The menus' own actions: one enabling, one handler.
    for (const char* n : {"openaction", "saveaction", "zoombackaction", "stretchaction",
                          "logmeasurementsaction", "playaction", "playentirefileaction"})
        EXPECT_TRUE(tb->actions().contains(w.commands().action(n))) << n;
    EXPECT_EQ(w.commands().action("logmeasurementsaction")->text(), "Log measurements");

    w.first_activation({});
    EXPECT_TRUE(w.commands().action("openaction")->isEnabled());
    EXPECT_FALSE(w.commands().action("saveaction")->isEnabled());
    EXPECT_FALSE(w.commands().action("logmeasurementsaction")->isEnabled());

    QTemporaryDir dir;
    ASSERT_TRUE(w.files().open_document(write_wav(dir, "a.wav", 2, 1).toStdString()));
    w.show();
    settle();
    EXPECT_TRUE(w.commands().action("saveaction")->isEnabled());
    EXPECT_TRUE(w.commands().action("playaction")->isEnabled());
    // A click on "Log meas." logs a row and shows the data log.
    auto* button = qobject_cast<QToolButton*>(tb->widgetForAction(w.commands().action("logmeasurementsaction")));
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->text(), "Log meas.");
    ASSERT_TRUE(button->isEnabled());
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_TRUE(w.windows().window("datalog")->isVisible());
    // Stretch from the tool bar fits channel 0's axis to its samples.
    w.document().set_thischanno(0);
    QTest::mouseClick(tb->widgetForAction(w.commands().action("stretchaction")), Qt::LeftButton);
    EXPECT_LT(w.document().channel(0).axis.GetHiValue(), 0.7);
    EXPECT_GT(w.document().channel(0).axis.GetHiValue(), 0.5);
}

TEST(SaveFormat, DefaultIsTheFourthUsedRow24BitWave) {
    // A document made here, so no file's own coding is there to propose.
    QTemporaryDir dir;
    tscriptedprompter prompter;
    TMainWindow w(&prompter);
    w.first_activation({});
    tdocument& doc = w.document();
    doc.prefs.WarnSaveWav = false;
    doc.set_totnchans(1);
    doc.channel(0).sampfreq = 8000;
    doc.channel(0).set_samples(tsinglearr(1600, 0.25f));
    doc.channel(0).set_fsd(1);
    EXPECT_EQ(w.filecommands().savefilterindex, 4);

    // The real dialog opens on the fourth row.
    std::unique_ptr<QFileDialog> dialog(w.filecommands().make_save_dialog("x.wav"));
    EXPECT_EQ(dialog->selectedNameFilter().toStdString(), "Wave file 24-bit (*.wav)");

    QStringList seen;
    int seenindex = -1;
    const QString target = dir.filePath("copy.wav");
    w.filecommands().choose_save_name = [&](const QStringList& filters, int& index, const QString&) {
        seen = filters;
        seenindex = index;
        return target;
    };
    w.commands().action("saveasaction")->trigger();
    ASSERT_GE(seenindex, 0);
    ASSERT_LT(seenindex, seen.size());
    EXPECT_EQ(seen[seenindex].toStdString(), "Wave file 24-bit (*.wav)");
    TWavFile back;
    ASSERT_TRUE(back.open_file(target.toStdString(), true));
    EXPECT_EQ(back.Getnbits(), 24u);
    EXPECT_EQ(w.filecommands().savefilterindex, 4);

    // Choosing the fifth row (32-bit float) is kept as "SaveFormat" 5.
    w.filecommands().choose_save_name = [&](const QStringList&, int& index, const QString&) {
        index = 4;
        return target;
    };
    w.commands().action("saveasaction")->trigger();
    EXPECT_EQ(w.filecommands().savefilterindex, 5);
}

TEST(WheelAndScrollBar, WheelScrollsCtrlWheelZoomsTheBarShowsAndMoves) {
    tshown f(2, 10);
    tdocument& doc = f.doc();
    doc.xaxis.set_hilovalues(4, 2);
    settle();
    QScrollBar* bar = f.panel().timescrollbar();
    ASSERT_NE(bar, nullptr);
    EXPECT_TRUE(bar->isVisible());
    // Under the channels, as wide as the time axis.
    EXPECT_EQ(bar->x(), f.panel().timeaxis()->x());
    EXPECT_EQ(bar->width(), f.panel().timeaxis()->width());
    EXPECT_GE(bar->y(), f.panel().timeaxis()->geometry().bottom());
    EXPECT_EQ(bar->pageStep(), time_scroll_resolution / 5);
    EXPECT_EQ(bar->value(), time_scroll_resolution / 5);

    // One notch towards the user: a tenth of the span later.
    twaveformview* w1 = f.wave(1);
    turn_wheel(w1, QPoint(300, w1->height() / 2), -120);
    EXPECT_NEAR(doc.xaxis.GetLoValue(), 2.2, 1e-9);
    EXPECT_NEAR(doc.xaxis.GetHiValue(), 4.2, 1e-9);
    EXPECT_EQ(bar->value(), time_scrollbar(doc).value);
    // Over the information line too, and back.
    turn_wheel(f.panel().strip(0).info, QPoint(100, 5), 120);
    EXPECT_NEAR(doc.xaxis.GetLoValue(), 2.0, 1e-9);

    // Ctrl: zoom in about the pointer, whose time stays under it.
    const int x = 250;
    const double at = doc.xaxis.pixel_to_value(x);
    turn_wheel(w1, QPoint(x, 10), 120, Qt::ControlModifier);
    EXPECT_NEAR(doc.xaxis.GetHiValue() - doc.xaxis.GetLoValue(), 1.6, 1e-9);
    EXPECT_NEAR(doc.xaxis.pixel_to_value(x), at, 1e-9);
    EXPECT_EQ(bar->pageStep(), time_scroll_resolution * 16 / 100);

    // The bar moves the view: a page to the right, then dragged to the end.
    const double lo = doc.xaxis.GetLoValue(), span = doc.xaxis.GetHiValue() - lo;
    bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_NEAR(doc.xaxis.GetLoValue(), lo + span, 1e-3);
    EXPECT_NEAR(doc.xaxis.GetHiValue() - doc.xaxis.GetLoValue(), span, 1e-9);
    // Clicks in the groove right of the handle, past the arrow button.
    for (int i = 0; i < 20; ++i)
        QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(bar->width() - 30, bar->height() / 2));
    EXPECT_EQ(bar->value(), bar->maximum());
    EXPECT_NEAR(doc.xaxis.GetHiValue(), channels_end_time(doc), 1e-9);
    f.shot("stereo-scrolled.png");
}

TEST(ChannelColumn, OneWidthFromTheCommandLineOrFileOpen) {
    QTemporaryDir dir;
    const QString path = write_wav(dir, "rec.wav", 2, 0.5);
    tscriptedprompter p1, p2;
    TMainWindow a(&p1), b(&p2);
    a.first_activation({path});
    a.resize(1000, 600);
    a.show();
    b.first_activation({});
    b.resize(1000, 600);
    b.show();
    settle();
    ASSERT_TRUE(b.files().open_document(path.toStdString()));
    settle();
    for (TMainWindow* w : {&a, &b}) {
        tsignalpanel& panel = *w->signalpanel();
        const int left = channel_column_width(w->document());
        EXPECT_EQ(panel.timeaxis()->x(), left);
        for (int i = 0; i < panel.stripcount(); ++i) {
            tchannelstrip& s = panel.strip(i);
            EXPECT_EQ(s.show->width(), left);
            EXPECT_EQ(s.axis->width(), left);
            EXPECT_EQ(s.wave->x(), left);
            // The number ends before the notes icon (35 pixels from the right).
            EXPECT_LT(2 + s.show->fontMetrics().horizontalAdvance(QString::number(i)), left - 35);
        }
    }
    EXPECT_EQ(a.signalpanel()->strip(0).show->width(), b.signalpanel()->strip(0).show->width());
}

TEST(ChannelStrips, EightChannelsInASmallWindowScrollInsteadOfOverprinting) {
    tshown f(8, 1, {800, 420});
    tsignalpanel& panel = f.panel();
    ASSERT_EQ(panel.stripcount(), 8);
    QScrollBar* vbar = panel.channelarea()->verticalScrollBar();
    EXPECT_TRUE(vbar->isVisible());
    EXPECT_GT(vbar->maximum(), 0);
    for (int i = 0; i < 8; ++i) {
        tchannelstrip& s = panel.strip(i);
        EXPECT_EQ(s.wave->height(), min_wave_height);
        if (i > 0) {
            EXPECT_GT(s.info->y(), panel.strip(i - 1).wave->geometry().bottom());
        }
        EXPECT_GE(s.info->y(), s.show->y());
        // Waveforms and the time axis still share their columns.
        EXPECT_EQ(s.wave->x(), panel.timeaxis()->x());
        EXPECT_EQ(s.wave->width(), panel.timeaxis()->width());
    }
    // Keys keep the current channel in sight; Shift+wheel scrolls the strips.
    f.doc().set_thischanno(0);
    for (int i = 0; i < 7; ++i) QTest::keyClick(&panel, Qt::Key_Down);
    EXPECT_EQ(f.doc().thischanno(), 7);
    EXPECT_EQ(vbar->value(), vbar->maximum());
    turn_wheel(f.wave(7), QPoint(50, 10), 120, Qt::ShiftModifier);
    EXPECT_LT(vbar->value(), vbar->maximum());
    f.shot("eight-channels-small.png");

    // A taller window fits them all again without scrolling.
    f.w.resize(800, 1000);
    settle();
    EXPECT_FALSE(vbar->isVisible());
    EXPECT_GT(f.wave(0)->height(), min_wave_height);
    f.shot("eight-channels-tall.png");
}
