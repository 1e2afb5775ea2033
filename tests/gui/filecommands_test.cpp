// The File menu with its dialogs replaced by scripted choices: Save as picks
// the format by the filter index, Save selection as proposes its name, a
// dropped file of an unknown type is refused without touching the document.
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>

#include "formats/twavfile.h"
#include "mainwindow/mainwindow.h"
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
    EXPECT_EQ(w.pending_process(), dir.filePath("p.tessalproc"));
}
