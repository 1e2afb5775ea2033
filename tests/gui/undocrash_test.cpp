// Recovery after a real crash: a child process (this test program, running
// the disabled child test) opens a file in the main window, deletes, labels
// and reverses through the menu commands, records two new channels from the
// fake input device, and starts a second recording over channel 1; it is
// killed with SIGKILL while that recording runs, once its journal and the
// recording's spool are on disk. A new main window in the same data folder
// offers the journal with the recording, recovers both and saves; the file
// equals the one saved by a run that made the same edits and recordings
// without the crash. The recovery question for a journal whose file changed
// since offers no "Recover", but the recording that was running when
// the spool was left.
#include <memory>
#include <QCoreApplication>
#include <QEventLoop>
#include <QProcess>
#include <csignal>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <utility>
#include <gtest/gtest.h>

#include "engine/history/journal.h"
#include "engine/history/recordspool.h"
#include "engine/formats/twavfile.h"
#include "gui/editing/teditingcommands.h"
#include "gui/editing/undomodule.h"
#include "gui/labels/labelsmodule.h"
#include "gui/mainwindow/mainwindow.h"
#include "support/fakerecording.h"
#include "support/scriptedprompter.h"
#include "windowfixture.h"
#include "support/tempdirtest.h"

using namespace tessal;
using namespace tessal::testing;

namespace {

void write_stereo(const std::string& path) {
    std::vector<tsinglearr> chans(2);
    for (int i = 0; i < 8000; ++i) {
        chans[0].push_back(0.5f * static_cast<float>(std::sin(2 * M_PI * 220 * i / 8000.0)));
        chans[1].push_back(0.25f * static_cast<float>(std::sin(2 * M_PI * 330 * i / 8000.0)));
    }
    TWavFile w;
    w.Setsampfreq(8000);
    w.Setnbits(16);
    w.Setnchans(2);
    w.save_file(path, chans, false, false);
}

void trigger(TMainWindow& w, const char* id) {
    w.commands().refresh();
    QAction* a = w.commands().action(id);
    ASSERT_NE(a, nullptr) << id;
    ASSERT_TRUE(a->isEnabled()) << id;
    a->trigger();
}

// The edits both runs make, through the menu commands and the recording
// window; the second recording is left running.
void edit(TMainWindow& w, tscriptedprompter& prompter, const std::string& wav, tfakerecording& rec) {
    ASSERT_TRUE(w.files().open_document(wav));
    tdocument& doc = w.document();
    w.editing().is_foreground = [] { return true; };
    w.labels().ask_label_text = [] { return std::optional<std::string>("crash"); };
    doc.selectmode = selstereo;
    doc.theglobal.set_selection(0.1, 0.2);
    prompter.answers = {tanswer::ok};
    trigger(w, "deleteaction");
    doc.theglobal.set_selection(0.3, 0.35);
    trigger(w, "addlabelaction");
    doc.theglobal.set_selection(0.5, 0.6);
    trigger(w, "reverseaction");
    rec.setup("Stereo", 8000, -1, -1);
    rec.window->record_clicked();
    rec.device->capture16(tfakerecording::signal(1536, 2, 4));
    rec.window->record_clicked();
    ASSERT_EQ(doc.totnchans(), 4);
    doc.theglobal.set_selection(0.7, 0.72);
    trigger(w, "zeroaction");
    trigger(w, "undoaction");  // the zero is taken back again
    rec.setup("Mono", 8000, 1, 1);
    rec.window->record_clicked();
    // Whole buffers of 256 samples, all delivered before the crash.
    rec.device->capture16(tfakerecording::signal(2048, 1, 5));
}

std::string bytes_of(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

struct UndoCrash : tessal::testing::ttempdirtest {};

// The next start, with a journal to offer: the recovery question is
// answered with `choice` (the prompter's questions with `answers`), and
// what it said and offered is kept.
struct trecoverystart : tscriptedmain {
    QString asked;
    QStringList offered;
    explicit trecoverystart(const QString& choice, std::deque<tanswer> answers = {}) : tscriptedmain(false) {
        prompter->answers = std::move(answers);
        w.undo().ask_recovery = [this, choice](const QString& text, const QStringList& buttons) {
            asked = text;
            offered = buttons;
            return choice;
        };
        w.first_activation({});
    }
};

}  // namespace

// Run only by KilledRunIsRecoveredToTheSameFile, in a process of its own.
TEST(UndoCrashChild, DISABLED_EditThenWaitToBeKilled) {
    const char* data = std::getenv("TESSAL_CRASH_DATA");
    const char* wav = std::getenv("TESSAL_CRASH_WAV");
    ASSERT_TRUE(data && wav);
    setenv("XDG_DATA_HOME", data, 1);
    tscriptedmain m;
    TMainWindow& w = m.w;
    tfakerecording rec(w);
    edit(w, *m.prompter, wav, rec);
    w.undo().flush_journal();
    rec.window->flush_spool();
    std::printf("journal ready\n");
    std::fflush(stdout);
    QEventLoop loop;
    loop.exec();  // until killed
}

TEST_F(UndoCrash, KilledRunIsRecoveredToTheSameFile) {
    const std::string wav = path("take.wav");
    write_stereo(wav);
    const std::string data = qEnvironmentVariable("XDG_DATA_HOME").toStdString();

    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TESSAL_CRASH_DATA", QString::fromStdString(data));
    env.insert("TESSAL_CRASH_WAV", QString::fromStdString(wav));
    env.insert("QT_QPA_PLATFORM", "offscreen");
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(),
                {"--gtest_also_run_disabled_tests",
                 "--gtest_filter=UndoCrashChild.DISABLED_EditThenWaitToBeKilled"});
    ASSERT_TRUE(child.waitForStarted());
    QByteArray out;
    while (!out.contains("journal ready") && child.state() == QProcess::Running &&
           child.waitForReadyRead(60000))
        out += child.readAllStandardOutput();
    ASSERT_TRUE(out.contains("journal ready")) << out.toStdString();
    ::kill(static_cast<pid_t>(child.processId()), SIGKILL);
    child.waitForFinished();
    EXPECT_EQ(child.exitStatus(), QProcess::CrashExit);
    ASSERT_EQ(list_journals(journal_folder()).size(), 1u);
    ASSERT_EQ(list_spools(journal_folder()).size(), 1u);

    // The next start offers the journal and recovers it.
    const std::string recovered = path("recovered.wav"), clean = path("clean.wav");
    {
        trecoverystart start("Recover");
        TMainWindow& w = start.w;
        EXPECT_EQ(start.offered, (QStringList{"Recover", "Show files", "Discard"}));
        // Delete, the label, Reverse, the recording, Zero and its undo, and
        // the recording that was running.
        EXPECT_NE(start.asked.indexOf("6 unsaved changes and a recording of 0.3 s on channel 1"), -1)
            << start.asked.toStdString();
        ASSERT_EQ(w.document().totnchans(), 4);
        EXPECT_TRUE(w.document().modified());
        EXPECT_EQ(w.commands().action("undoaction")->text(), "Undo Record");
        w.document().prefs.WarnSaveWav = false;  // no question about the labels
        ASSERT_TRUE(w.files().save_file(recovered, 32, 0, 0, {}, tFormat::ieeefloat));
        ASSERT_EQ(w.document().channel(0).labels.size(), 1u);
        EXPECT_EQ(w.document().channel(0).labels[0].text, "crash");
    }
    // The same edits without a crash, the second recording stopped.
    {
        tscriptedmain m;
        TMainWindow& w = m.w;
        tfakerecording rec(w);
        edit(w, *m.prompter, wav, rec);
        rec.window->record_clicked();
        w.document().prefs.WarnSaveWav = false;
        ASSERT_TRUE(w.files().save_file(clean, 32, 0, 0, {}, tFormat::ieeefloat));
    }
    EXPECT_EQ(bytes_of(recovered), bytes_of(clean));
    EXPECT_GE(bytes_of(recovered).size(), 7200u * 16u);  // 0.9 s of four float channels
    // A save and a clean exit left no journal or spool behind.
    EXPECT_TRUE(list_journals(journal_folder()).empty());
    EXPECT_TRUE(list_spools(journal_folder()).empty());
}

TEST_F(UndoCrash, AJournalWhoseFileChangedOffersNoRecover) {
    const std::string wav = path("take.wav");
    write_stereo(wav);
    std::filesystem::create_directories(journal_folder());
    {
        tjournal j((std::filesystem::path(journal_folder()) / "old.tjournal").string(), wav);
        j.append_move(true);
        j.flush();
    }
    write_stereo(wav);
    std::ofstream(wav, std::ios::app) << "more";
    trecoverystart start("Discard");
    EXPECT_EQ(start.offered, (QStringList{"Show files", "Discard"}));
    EXPECT_NE(start.asked.indexOf("has changed"), -1) << start.asked.toStdString();
    EXPECT_TRUE(list_journals(journal_folder()).empty());
}

TEST_F(UndoCrash, TheRecordingOfAJournalWhoseFileChangedIsRecoveredAlone) {
    const std::string wav = path("take.wav");
    write_stereo(wav);
    const std::string journal = (std::filesystem::path(journal_folder()) / "old.tjournal").string();
    std::filesystem::create_directories(journal_folder());
    std::vector<float> recorded;
    for (int i = 0; i < 4000; ++i) recorded.push_back(static_cast<float>(i % 100) / 200.0f);
    {
        tjournal j(journal, wav);
        j.append_move(true);
        j.flush();
        // The recording ran over channel 1 of the file's two channels.
        tdocument doc;
        doc.set_totnchans(2);
        doc.channel(1).set_name("Left");
        doc.channel(1).sampfreq = doc.channel(1).orgsampfreq = 8000;
        trecordspool s(spool_path(journal, 1), doc, {1}, {false});
        s.append(0, recorded.data(), 1500);
        s.append(0, recorded.data() + 1500, 2500);
        s.flush();
    }
    std::ofstream(wav, std::ios::app) << "more";
    trecoverystart start("Recover recording", {tanswer::ok});
    TMainWindow& w = start.w;
    EXPECT_EQ(start.offered, (QStringList{"Recover recording", "Show files", "Discard"}));
    EXPECT_NE(start.asked.indexOf("has changed"), -1) << start.asked.toStdString();
    EXPECT_NE(start.asked.indexOf("a recording of 0.5 s on channel 1"), -1) << start.asked.toStdString();
    // The recording alone, as the first channel of a new document.
    ASSERT_EQ(w.document().totnchans(), 1);
    EXPECT_EQ(w.document().channel(0).name(), "Left");
    const tsinglearr got = w.document().channel(0).samples_array();
    EXPECT_EQ(std::vector<float>(got.begin(), got.end()), recorded);
    EXPECT_TRUE(w.document().modified());
    // The old journal and spool are gone; the recovered recording is in
    // this run's journal.
    EXPECT_FALSE(std::filesystem::exists(journal));
    EXPECT_TRUE(list_spools(journal_folder()).empty());
}

TEST_F(UndoCrash, TheLabelsOfAJournalWhoseFileChangedGoOnTheFileAsItIsNow) {
    const std::string wav = path("take.wav");
    write_stereo(wav);
    std::string journal;
    {
        tscriptedmain m;
        TMainWindow& w = m.w;
        ASSERT_TRUE(w.files().open_document(wav));
        w.labels().ask_label_text = [] { return std::optional<std::string>("kept"); };
        w.document().selectmode = selstereo;
        w.document().theglobal.set_selection(0.3, 0.35);
        trigger(w, "addlabelaction");
        w.document().theglobal.set_selection(0.5, 0.55);
        w.labels().ask_label_text = [] { return std::optional<std::string>("also"); };
        trigger(w, "addlabelaction");
        w.undo().flush_journal();
        journal = w.undo().journal_path();
        std::filesystem::copy_file(journal, journal + ".kept");  // as a crash leaves it
    }
    std::filesystem::rename(journal + ".kept", journal);
    ASSERT_EQ(journal_labels(read_journal(journal)).size(), 1u);  // channel 0's
    EXPECT_EQ(journal_labels(read_journal(journal))[0].second.size(), 2u);
    std::ofstream(wav, std::ios::app) << "more";  // changed by another program

    trecoverystart start("Recover labels", {tanswer::ok});
    TMainWindow& w = start.w;
    EXPECT_EQ(start.offered, (QStringList{"Recover labels", "Show files", "Discard"}));
    ASSERT_EQ(w.document().totnchans(), 2);
    EXPECT_EQ(w.document().filename(), wav);
    EXPECT_TRUE(w.document().modified());
    ASSERT_EQ(w.document().channel(0).labels.size(), 2u);
    EXPECT_EQ(w.document().channel(0).labels[0].text, "kept");
    EXPECT_EQ(w.document().channel(0).labels[1].text, "also");
    EXPECT_NEAR(w.document().channel(0).labels[1].time, 0.5, 1e-3);
    EXPECT_TRUE(w.document().channel(1).labels.empty());
    EXPECT_FALSE(std::filesystem::exists(journal));
    // One step, taken back as one.
    w.commands().refresh();
    EXPECT_EQ(w.commands().action("undoaction")->text(), "Undo Recover labels");
    w.commands().action("undoaction")->trigger();
    EXPECT_TRUE(w.document().channel(0).labels.empty());
}
