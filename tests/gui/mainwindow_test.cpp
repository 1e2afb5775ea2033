// The main window shell: secondary windows in order, the title with the
// modified marker, New and Exit through a scripted prompter, the command
// line, and the screenshot.
#include <memory>
#include <stdexcept>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QMenu>
#include <QMenuBar>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "engine/formats/twavfile.h"
#include "gui/mainwindow/mainwindow.h"
#include "gui/processing/processingmodule.h"
#include "gui/processing/processingwindow.h"
#include "gui/mainwindow/screenshot.h"
#include "support/scriptedprompter.h"

using namespace tessal;
using tessal::testing::tscriptedprompter;

TEST(MainWindow, SecondaryWindowsExistOnceInOrderAndHidden) {
    tscriptedprompter w_prompter;
    TMainWindow w(&w_prompter);
    EXPECT_EQ(w.windows().caption("align"), "Align channels");
    EXPECT_EQ(w.windows().caption("filterdesign"), "");
    EXPECT_EQ(w.windows().caption("frequencyrange"), "Frequency range ");
    EXPECT_EQ(w.windows().caption("histograms"), "Histograms/KDE");
    EXPECT_EQ(w.windows().caption("f0"), "F0");
    QStringList keys = w.windows().keys();
    EXPECT_EQ(keys.size(), 33);
    EXPECT_EQ(keys.removeDuplicates(), 0);
    EXPECT_THROW(w.windows().window("nosuchwindow"), std::logic_error);
    for (const QString& key : keys) {
        QWidget* win = w.windows().window(key);
        ASSERT_NE(win, nullptr);
        EXPECT_FALSE(win->isVisible());
    }
    // Every window but the unbuilt filter design has a caption, and the
    // screenshots picture each caption once (the second recording window
    // shares the first one's).
    QStringList shots = w.windows().screenshot_captions();
    EXPECT_EQ(shots.size(), keys.size() - 2);
    EXPECT_EQ(shots.removeDuplicates(), 0);
    // --window finds each pictured window by its caption.
    for (const QString& key : keys) {
        const twindowinfo& info = w.windows().info(key);
        if (info.screenshot && !info.caption.isEmpty())
            EXPECT_EQ(w.windows().find(info.caption), w.windows().window(key))
                << info.caption.toStdString();
    }
    // The settings file keeps the place and size of the windows that say so.
    const auto layouts = w.windows().layout_windows();
    EXPECT_EQ(layouts.size(), 13u);
    for (const auto& [section, win] : layouts)
        if (section == "RowogramWindow")
            EXPECT_EQ(win, w.windows().window("contactevolution"));
    // Two recording windows share a caption; find gives the first.
    EXPECT_EQ(w.windows().find("Record from soundcard"), w.windows().window("record"));
    w.commands().action("setfsdaction")->trigger();
    EXPECT_TRUE(w.windows().window("setfsd")->isVisible());
    w.commands().action("addprocessaction")->trigger();
    EXPECT_EQ(w.windows().processing_window_count(), 2);
}

TEST(MainWindow, FileMenuCaptionsAndShortcuts) {
    tscriptedprompter w_prompter;
    TMainWindow w(&w_prompter);
    QMenu* file = w.commands().menu("&File");
    ASSERT_NE(file, nullptr);
    QStringList captions;
    for (QAction* a : file->actions())
        captions << (a->isSeparator() ? "-" : a->text() + "=" + a->shortcut().toString());
    EXPECT_EQ(captions.join(", ").toStdString(),
              "New=Ctrl+N, Open...=Ctrl+O, Ad&d...=Ctrl+D, &Save=Ctrl+S, Save &as=, "
              "Save sele&ction as...=Ctrl+E, Export...=, Export labels as TextGrid...=, Import labels from TextGrid...=, -, E&xit=");
    EXPECT_EQ(w.commands().action("playaction")->shortcut().toString(), "F9");
    EXPECT_EQ(w.commands().action("playentirefileaction")->shortcut().toString(), "Ctrl+F9");
}

TEST(MainWindow, TitleFollowsFileNameAndModifiedFlag) {
    tscriptedprompter prompter;
    TMainWindow w(&prompter);
    w.first_activation({});
    EXPECT_EQ(w.windowTitle(), "Tessal");
    w.document().set_modified(true);
    EXPECT_EQ(w.windowTitle(), " * Tessal");
    w.lifecycle().setfilename("/data/a.wav");
    EXPECT_EQ(w.windowTitle(), "/data/a.wav *  - Tessal");
    w.lifecycle().setmodified(false);
    EXPECT_EQ(w.windowTitle(), "/data/a.wav - Tessal");
}

TEST(MainWindow, NewAndExitAskBeforeLosingChanges) {
    tscriptedprompter prompter;
    TMainWindow w(&prompter);
    w.first_activation({});
    w.document().set_totnchans(2);
    w.document().set_modified(true);

    prompter.answers = {tanswer::cancel};
    w.commands().action("newaction")->trigger();
    EXPECT_EQ(w.document().totnchans(), 2);
    ASSERT_EQ(prompter.asked.size(), 1u);
    EXPECT_EQ(prompter.asked[0].caption, "File has been modified");

    // "Yes" runs Save as; a cancelled save dialog refuses the close.
    w.filecommands().choose_save_name = [](const QStringList&, int&, const QString&) {
        return QString();
    };
    QCloseEvent yes;
    prompter.answers = {tanswer::yes};
    QApplication::sendEvent(&w, &yes);
    EXPECT_FALSE(yes.isAccepted());
    EXPECT_EQ(prompter.asked.back().caption, "File has been modified - Tessal");

    QCloseEvent cancel;
    prompter.answers = {tanswer::cancel};
    QApplication::sendEvent(&w, &cancel);
    EXPECT_FALSE(cancel.isAccepted());

    QCloseEvent no;
    prompter.answers = {tanswer::no};
    QApplication::sendEvent(&w, &no);
    EXPECT_TRUE(no.isAccepted());

    prompter.answers = {tanswer::no};
    w.commands().action("newaction")->trigger();
    EXPECT_EQ(w.document().totnchans(), 0);
    EXPECT_EQ(w.windowTitle(), "Tessal");
}

TEST(MainWindow, CommandLineSendsProcessesToTheProcessingWindow) {
    tscriptedprompter prompter;
    TMainWindow w(&prompter);
    QTemporaryDir dir;
    const QString wav = dir.filePath("a.wav");
    {
        TWavFile out;
        out.Setsampfreq(1000);
        out.Setnchans(1);
        out.save_file(wav.toStdString(), std::vector<tsinglearr>{tsinglearr(10, 0.25f)}, false,
                      false);
    }
    w.first_activation({"/tmp/f0.TessalProc", wav});
    EXPECT_EQ(w.processing().window()->process().name(), "/tmp/f0.TessalProc");
    EXPECT_TRUE(w.windows().window("processing")->isVisible());
    EXPECT_EQ(w.document().filename(), wav.toStdString());
    EXPECT_FALSE(w.document().modified());
    // A second activation does nothing.
    w.first_activation({dir.filePath("b.wav")});
    EXPECT_EQ(w.document().filename(), wav.toStdString());
}

TEST(MainWindow, ScreenshotWritesAPictureOfTheWindow) {
    QTemporaryDir dir;
    tscriptedprompter w_prompter;
    TMainWindow w(&w_prompter);
    w.resize(640, 400);
    w.first_activation({});
    QString path = dir.filePath("main.png");
    ASSERT_TRUE(render_window_png(&w, path, "File"));
    QImage img(path);
    ASSERT_FALSE(img.isNull());
    EXPECT_EQ(img.width(), 640 * img.devicePixelRatio());
    EXPECT_FALSE(render_window_png(&w, dir.filePath("x.png"), "Nonexistent"));
    EXPECT_FALSE(render_window_png(&w, "/nonexistent-folder/x.png"));
}
