// The File menu with its dialogs replaced by scripted choices: Save as picks
// the format by the filter index, Save selection as proposes its name, a
// dropped file of an unknown type is refused without touching the document.
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>

#include "engine/formats/twavfile.h"
#include "gui/mainwindow/mainwindow.h"
#include "gui/processing/processingmodule.h"
#include "gui/processing/processingwindow.h"
#include "support/scriptedprompter.h"

using namespace tessal;
using tessal::testing::tscriptedprompter;

namespace {

QString write_stereo(const QTemporaryDir& dir) {
    std::vector<tsinglearr> chans(2);
    for (int i = 0; i < 4800; ++i) {
        chans[0].push_back(0.5f * std::sin(2 * M_PI * 220 * i / 48000.0));
        chans[1].push_back(0.25f * std::sin(2 * M_PI * 330 * i / 48000.0));
    }
    TWavFile w;
    w.Setsampfreq(48000);
    w.Setnbits(16);
    w.Setnchans(2);
    QString path = dir.filePath("rec.wav");
    w.save_file(path.toStdString(), chans, false, false);
    return path;
}

}  // namespace

TEST(FileCommands, SaveAsUsesTheChosenFilterRow) {
    QTemporaryDir dir;
    tscriptedprompter prompter;
    TMainWindow w(&prompter);
    w.first_activation({write_stereo(dir)});
    ASSERT_EQ(w.document().totnchans(), 2);
    w.document().prefs.WarnSaveWav = false;

    QStringList seenfilters;
    QString seenname;
    QString target = dir.filePath("copy.wav");
    w.filecommands().choose_save_name = [&](const QStringList& filters, int& index,
                                            const QString& proposed) {
        seenfilters = filters;
        seenname = proposed;
        index = 3;  // the fourth used row: 24-bit WAVE
        return target;
    };
    w.commands().action("saveasaction")->trigger();
    EXPECT_EQ(seenfilters.size(), 5);  // the rows used by default
    EXPECT_EQ(seenfilters[0].toStdString(), "Tessal file 32-bit float (*.tessal)");
    EXPECT_EQ(seenname, "rec.wav");  // the default row: 24-bit WAVE
    TWavFile back;
    ASSERT_TRUE(back.open_file(target.toStdString(), true));
    EXPECT_EQ(back.Getnbits(), 24u);
    EXPECT_EQ(w.document().filename(), target.toStdString());
    EXPECT_EQ(w.windowTitle(), target + " - Tessal");

    // Save selection as proposes the channel part and the start time.
    w.document().theglobal.set_selection(0.05, 0.075);
    w.commands().refresh_enablings();
    EXPECT_EQ(w.commands().action("saveselectionaction")->text(),
              "Save selection of channels 0 and 1 as...");
    target = dir.filePath("part.wav");
    w.commands().action("saveselectionaction")->trigger();
    EXPECT_EQ(seenname, "rec_0-1_0_050.wav");
    ASSERT_TRUE(back.open_file(target.toStdString(), true));
    EXPECT_EQ(back.Getnsamples(), 1200);
    EXPECT_EQ(w.document().filename(), dir.filePath("copy.wav").toStdString());
}

TEST(FileCommands, ExitWithYesSavesThroughSaveAs) {
    QTemporaryDir dir;
    tscriptedprompter prompter;
    TMainWindow w(&prompter);
    w.first_activation({write_stereo(dir)});
    w.document().prefs.WarnSaveWav = false;
    w.document().set_modified(true);
    w.filecommands().choose_save_name = [&](const QStringList&, int& index, const QString&) {
        index = 4;
        return dir.filePath("saved.wav");
    };
    prompter.answers = {tanswer::yes};
    EXPECT_TRUE(w.lifecycle().close_document());
    EXPECT_TRUE(QFileInfo::exists(dir.filePath("saved.wav")));
}

TEST(FileCommands, DroppedFilesAddWithoutAQuestion) {
    QTemporaryDir dir;
    tscriptedprompter prompter;
    TMainWindow w(&prompter);
    QString wav = write_stereo(dir);
    w.first_activation({wav});
    w.document().set_modified(true);
    w.filecommands().drop({wav, dir.filePath("notes.txt"), dir.filePath("p.tessalproc")});
    EXPECT_EQ(w.document().totnchans(), 4);
    ASSERT_EQ(prompter.asked.size(), 1u);
    EXPECT_EQ(prompter.asked[0].caption, "Unknown file type");
    EXPECT_EQ(prompter.asked[0].text, "Cannot open file: \r" + dir.filePath("notes.txt").toStdString());
    EXPECT_EQ(w.processing().window()->process().name(), dir.filePath("p.tessalproc").toStdString());
}

TEST(FileCommands, SaveKeepsTheCodingAndSaveAsOffersIt) {
    QTemporaryDir dir;
    tscriptedprompter prompter;
    TMainWindow w(&prompter);
    std::vector<tsinglearr> chans(2);
    for (int i = 0; i < 800; ++i) {
        chans[0].push_back(0.01f * std::sin(0.1f * i));  // about -43 dBFS
        chans[1].push_back(0.5f * std::sin(0.02f * i));
    }
    TWavFile a;
    a.Setsampfreq(8000);
    a.Setnbits(8);
    a.Setformat(tFormat::alaw);
    a.Setnchans(2);
    const QString path = dir.filePath("alaw.wav");
    a.save_file(path.toStdString(), chans, false, false);
    w.first_activation({path});
    ASSERT_EQ(w.document().totnchans(), 2);
    w.document().prefs.WarnSaveWav = false;
    tsinglearr before;
    ASSERT_TRUE(a.open_file(path.toStdString(), true));
    a.read_channel(0, before);
    a.close_file();

    // Ctrl+S writes A-law again; the quiet channel keeps its levels.
    const float zero = 0;
    w.document().channel(1).write_samples(5, &zero, 1);
    w.document().set_modified(true);
    w.commands().action("saveaction")->trigger();
    EXPECT_FALSE(w.document().modified());
    TWavFile back;
    ASSERT_TRUE(back.open_file(path.toStdString(), true));
    EXPECT_EQ(back.Getformat(), tFormat::alaw);
    EXPECT_EQ(back.Getnbits(), 8u);
    tsinglearr after;
    back.read_channel(0, after);
    back.close_file();
    EXPECT_EQ(after, before);

    // Save as offers the file's coding though the settings do not list it,
    // and leaves the settings' choice alone.
    const int remembered = w.filecommands().savefilterindex;
    QString offered;
    w.filecommands().choose_save_name = [&](const QStringList& filters, int& index,
                                            const QString&) {
        offered = index >= 0 && index < filters.size() ? filters[index] : QString();
        return dir.filePath("copy.wav");
    };
    w.commands().action("saveasaction")->trigger();
    EXPECT_EQ(offered.toStdString(), "Wave file 8-bit A-law (*.wav)");
    ASSERT_TRUE(back.open_file(dir.filePath("copy.wav").toStdString(), true));
    EXPECT_EQ(back.Getformat(), tFormat::alaw);
    back.close_file();
    EXPECT_EQ(w.filecommands().savefilterindex, remembered);
}

TEST(FileCommands, AFailedOpenAndAPartialSaveLeaveNoFalseState) {
    QTemporaryDir dir;
    tscriptedprompter prompter;
    TMainWindow w(&prompter);
    const QString bad = dir.filePath("broken.wav");
    QFile f(bad);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("RIFF this is not a wave file at all");
    f.close();
    w.first_activation({bad});
    EXPECT_EQ(w.document().totnchans(), 0);
    EXPECT_EQ(w.document().filename(), "");
    EXPECT_FALSE(w.windowTitle().contains("broken"));

    w.files().open_document(write_stereo(dir).toStdString());
    w.document().prefs.WarnSaveWav = false;
    w.document().selectmode = selmono;
    w.document().theglobal.set_selection(0.01, 0.02);
    w.document().set_modified(true);
    w.filecommands().choose_save_name = [&](const QStringList&, int&, const QString&) {
        return dir.filePath("part.wav");
    };
    w.commands().refresh_enablings();
    w.commands().action("saveselectionaction")->trigger();
    EXPECT_TRUE(QFileInfo::exists(dir.filePath("part.wav")));
    // Only a stretch of one channel was saved: closing must still ask.
    EXPECT_TRUE(w.document().modified());
}
