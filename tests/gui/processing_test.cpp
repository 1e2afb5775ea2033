// The processing window driven through its controls: a four-step process
// built by adding, editing in the step dialog, moving, disabling and
// enabling, saved and reopened key for key, and run on a document; the
// editing edge cases (moving a block at the top, copying a selection, the
// separator, dropped files, the question about a modified process); the
// step dialog refusing a value; and a run cancelled with Esc inside a step.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDropEvent>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <chrono>
#include <functional>
#include <map>
#include <thread>
#include <utility>
#include <gtest/gtest.h>

#include "engine/formats/twavfile.h"
#include "engine/process/channelsteps.h"
#include "engine/process/procregistry.h"
#include "engine/settings/tsetting.h"
#include "gui/mainwindow/mainwindow.h"
#include "gui/processing/processingmodule.h"
#include "gui/processing/processingwindow.h"
#include "gui/processing/processrun.h"
#include "engine/process/f0step.h"
#include "gui/processing/stepformdialog.h"
#include "gui/settings/tmainsettings.h"
#include "gui/settings/trecentfilesmenu.h"
#include "support/scriptedprompter.h"

using namespace tessal;
using tessal::testing::tscriptedprompter;

namespace {

// Two channels at 1000 Hz: 10 samples of 0.25 and 10 of 0.5.
QString write_pair(const QTemporaryDir& dir) {
    const QString wav = dir.filePath("pair.wav");
    TWavFile out;
    out.Setsampfreq(1000);
    out.Setnchans(2);
    out.save_file(wav.toStdString(),
                  std::vector<tsinglearr>{tsinglearr(10, 0.25f), tsinglearr(10, 0.5f)}, false,
                  false);
    return wav;
}

void click(QWidget* w, const char* name) {
    auto* b = w->findChild<QPushButton*>(name);
    ASSERT_NE(b, nullptr) << name;
    QTest::mouseClick(b, Qt::LeftButton);
}

void trigger(QWidget* w, const char* name) {
    auto* a = w->findChild<QAction*>(name);
    ASSERT_NE(a, nullptr) << name;
    a->trigger();
}

void add(tprocessingwindow* w, const std::string& procid) {
    w->available_list()->setCurrentRow(find_procid(procid));
    click(w, "addbutton");
}

void select_rows(tprocessingwindow* w, std::initializer_list<int> rows) {
    QListWidget* l = w->steps_list();
    l->clearSelection();
    for (int r : rows) l->item(r)->setSelected(true);
}

std::vector<std::string> lines(tprocessingwindow* w) {
    std::vector<std::string> out;
    for (int i = 0; i < w->steps_list()->count(); ++i)
        out.push_back(w->steps_list()->item(i)->text().toStdString());
    return out;
}

std::vector<bool> selected(tprocessingwindow* w) {
    std::vector<bool> out;
    for (int i = 0; i < w->steps_list()->count(); ++i)
        out.push_back(w->steps_list()->item(i)->isSelected());
    return out;
}

// Types into a dialog's line edit as a user would.
void type(tstepformdialog& d, const std::string& key, const QString& text) {
    auto* e = qobject_cast<QLineEdit*>(d.widget(key));
    ASSERT_NE(e, nullptr) << key;
    e->selectAll();
    QTest::keyClick(e, Qt::Key_Backspace);
    QTest::keyClicks(e, text);
}

void press_ok(tstepformdialog& d) {
    auto* box = d.findChild<QDialogButtonBox*>();
    QTest::mouseClick(box->button(QDialogButtonBox::Ok), Qt::LeftButton);
}

// Opens the step in `row` through the Edit button, its dialog shown and
// then filled in by `fill`.
void edit_step(tprocessingwindow* pw, int row, std::function<void(tstepformdialog&)> fill) {
    pw->exec_dialog = [fill](tstepformdialog& d) {
        d.show();
        fill(d);
        return d.result();
    };
    pw->steps_list()->setCurrentRow(row);
    click(pw, "editbutton");
}

// Every section and key of an ini file, keys compared without case.
std::map<std::string, std::map<std::string, std::string>> ini(const QString& path) {
    TSetting s;
    s.SetManualIniClose(true);
    s.SetLocation(Location::slfile);
    s.SetFilename(path.toStdString());
    std::map<std::string, std::map<std::string, std::string>> out;
    for (const std::string& sec : s.ReadSections())
        for (const std::string& key : s.ReadSection(sec)) {
            std::string k = key;
            for (char& c : k) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            out[sec][k] = s.ReadString(sec, key, "");
        }
    return out;
}

struct tfixture {
    QTemporaryDir dir;
    tscriptedprompter prompter;
    TMainWindow w{&prompter};
    tprocessingwindow* pw = nullptr;
    tfixture() {
        w.first_activation({write_pair(dir)});
        pw = w.processing().window();
        w.windows().show("processing");
        // Temporary folders count as fixed drives for the recent list.
        w.settings().proc()->list().mount_table = [] {
            return std::vector<tmountentry>{{"/dev/sda1", "/", "ext4"}};
        };
    }
};

}  // namespace

TEST(Processing, BuildSaveReopenAndRunAFourStepProcess) {
    tfixture f;
    tprocessingwindow* pw = f.pw;
    add(pw, "load");
    add(pw, "append");
    add(pw, "save");
    add(pw, "delete");
    ASSERT_EQ(lines(pw), (std::vector<std::string>{"Load from channel 0", "Append to channel 0",
                                                   "Save to channel N", "Delete channel 0"}));
    EXPECT_TRUE(pw->process().modified());
    EXPECT_EQ(pw->windowTitle(), "<untitled> - Tessal");
    EXPECT_TRUE(pw->run_action()->isEnabled());

    // Append belongs last: move it down twice.
    select_rows(pw, {1});
    click(pw, "movedownbutton");
    click(pw, "movedownbutton");
    EXPECT_EQ(lines(pw)[3], "Append to channel 0");
    EXPECT_EQ(selected(pw), (std::vector<bool>{false, false, false, true}));

    // Edit each step through its dialog.
    auto edit = [pw](int row, std::function<void(tstepformdialog&)> fill) { edit_step(pw, row, std::move(fill)); };
    edit(0, [](tstepformdialog& d) {
        EXPECT_EQ(d.windowTitle(), "Load signal from channel");
        type(d, "channo", "1");
        press_ok(d);
    });
    edit(1, [](tstepformdialog& d) {
        EXPECT_EQ(d.windowTitle(), "Save signal to channel");
        QTest::mouseClick(qobject_cast<QCheckBox*>(d.widget("usechannelname")), Qt::LeftButton);
        type(d, "channelname", "copy");
        auto* fixed = d.widget("fsdmode")->findChild<QRadioButton*>("fsdmode:2");
        ASSERT_NE(fixed, nullptr);
        EXPECT_FALSE(d.widget("fixedfsd")->isEnabled());
        QTest::mouseClick(fixed, Qt::LeftButton, {}, QPoint(8, fixed->height() / 2));
        EXPECT_TRUE(d.widget("fixedfsd")->isEnabled());
        type(d, "fixedfsd", "2");
        press_ok(d);
    });
    edit(3, [](tstepformdialog& d) {
        auto* keep = d.widget("fsdmode")->findChild<QRadioButton*>("fsdmode:0");
        QTest::mouseClick(keep, Qt::LeftButton, {}, QPoint(8, keep->height() / 2));
        press_ok(d);
    });
    EXPECT_EQ(lines(pw), (std::vector<std::string>{"Load from channel 1", "Save to channel N (copy)",
                                                   "Delete channel 0", "Append to channel 0"}));

    // The delete step is switched off; disabling and enabling two others
    // leaves them on.
    select_rows(pw, {2});
    click(pw, "disablebutton");
    select_rows(pw, {1, 3});
    click(pw, "disablebutton");
    EXPECT_EQ(lines(pw)[1], "% Save to channel N (copy)");
    click(pw, "enablebutton");
    EXPECT_EQ(lines(pw), (std::vector<std::string>{"Load from channel 1", "Save to channel N (copy)",
                                                   "% Delete channel 0", "Append to channel 0"}));

    // Save, reopen, save again: the same keys and values.
    const QString first = f.dir.filePath("four.tessalproc");
    pw->choose_save_name = [first] { return first; };
    trigger(pw, "saveaction");
    EXPECT_FALSE(pw->process().modified());
    EXPECT_EQ(pw->windowTitle(), first + " - Tessal");
    QAction* runcmd = f.w.commands().action("runprocessaction");
    EXPECT_EQ(runcmd->text(), "&Run process four");
    EXPECT_EQ(runcmd->toolTip(), "Run current process (" + first + ")");
    EXPECT_EQ(f.w.settings().proc()->list().entries(), std::vector<std::string>{first.toStdString()});

    trigger(pw, "newaction");
    EXPECT_TRUE(pw->steps_list()->count() == 0);
    EXPECT_EQ(runcmd->text(), "&Run process");
    EXPECT_FALSE(pw->run_action()->isEnabled());
    // The recent-process list in the Process menu opens it again.
    ASSERT_EQ(f.w.settings().proc()->entry_actions().size(), 1u);
    f.w.settings().proc()->entry_actions()[0]->trigger();
    QApplication::processEvents();  // the menu acts after the click
    EXPECT_EQ(pw->steps_list()->count(), 4);
    EXPECT_EQ(pw->process().name(), first.toStdString());
    trigger(pw, "newaction");
    pw->choose_open_name = [first] { return first; };
    trigger(pw, "openaction");
    EXPECT_EQ(lines(pw), (std::vector<std::string>{"Load from channel 1", "Save to channel N (copy)",
                                                   "% Delete channel 0", "Append to channel 0"}));
    const QString second = f.dir.filePath("again.tessalproc");
    pw->choose_save_name = [second] { return second; };
    trigger(pw, "saveaction");
    const auto a = ini(first), b = ini(second);
    EXPECT_EQ(a, b);
    QFile fa(first), fb(second);
    ASSERT_TRUE(fa.open(QIODevice::ReadOnly) && fb.open(QIODevice::ReadOnly));
    EXPECT_EQ(fa.readAll(), fb.readAll());  // the same text, key for key
    EXPECT_EQ(a.at("Step_1").at("fsdmode"), "2");
    EXPECT_EQ(a.at("Step_1").at("channelname"), "copy");
    EXPECT_EQ(a.at("Step_2").at("enabled"), "0");

    // Run it from the main window's Process menu, with the profile logged.
    trigger(pw, "logperfaction");
    EXPECT_TRUE(pw->logperf());
    runcmd->trigger();
    const std::vector<std::string>& log = f.w.context().measurements.datalog.lines();
    ASSERT_EQ(log.size(), 6u);
    EXPECT_EQ(log[0].rfind(" ---- Process performance profiling ", 0), 0u) << log[0];
    EXPECT_EQ(log[1].rfind("Total process execution time: ", 0), 0u) << log[1];
    EXPECT_EQ(log[4], "0 s \t0.000% \tDelete channel 0");  // off: no time
    EXPECT_TRUE(f.w.windows().window("datalog")->isVisible());
    tdocument& doc = f.w.document();
    ASSERT_EQ(doc.totnchans(), 3);  // the delete step was off
    EXPECT_EQ(doc.channel(2).name(), "copy");
    EXPECT_DOUBLE_EQ(doc.channel(2).fsd(), 2.0);
    EXPECT_EQ(doc.channel(2).samples_array(), tsinglearr(10, 0.5f));
    ASSERT_EQ(doc.channel(0).sample_count(), 20);
    EXPECT_EQ(doc.channel(0).sample(9), 0.25f);
    EXPECT_EQ(doc.channel(0).sample(10), 0.5f);
    EXPECT_TRUE(doc.modified());
    EXPECT_FALSE(pw->process().modified());
    EXPECT_EQ(f.w.statusBar()->currentMessage(), "Done ");
    EXPECT_TRUE(f.prompter.asked.empty());
}

TEST(Processing, EditingEdgeCases) {
    tfixture f;
    tprocessingwindow* pw = f.pw;
    for (const char* id : {"load", "save", "delete"}) add(pw, id);
    const auto three = lines(pw);

    // Move up with the first two selected: nothing moves, both stay selected.
    select_rows(pw, {0, 1});
    click(pw, "moveupbutton");
    EXPECT_EQ(lines(pw), three);
    EXPECT_EQ(selected(pw), (std::vector<bool>{true, true, false}));

    // Copy of rows 0 and 2: copies at the end, only they selected.
    select_rows(pw, {0, 2});
    click(pw, "copybutton");
    EXPECT_EQ(lines(pw), (std::vector<std::string>{three[0], three[1], three[2], three[0], three[2]}));
    EXPECT_EQ(selected(pw), (std::vector<bool>{false, false, false, true, true}));
    click(pw, "deletebutton");
    EXPECT_EQ(lines(pw), three);

    // The separator adds nothing and leaves the flag; a double-click marks it.
    f.prompter.answers = {tanswer::no};
    trigger(pw, "newaction");  // modified: answered No, the steps go
    EXPECT_EQ(f.prompter.asked.back().caption, "Save changes");
    EXPECT_EQ(f.prompter.asked.back().text, "Process has been modified, do you want to save changes?");
    EXPECT_FALSE(pw->process().modified());
    const int sep = find_procid("-");
    pw->available_list()->setCurrentRow(sep);
    EXPECT_EQ(pw->findChild<QPlainTextEdit*>("helptext")->toPlainText(), "-\n \n");
    click(pw, "addbutton");
    EXPECT_EQ(pw->steps_list()->count(), 0);
    EXPECT_FALSE(pw->process().modified());
    QListWidget* avail = pw->available_list();
    const QPoint at = avail->visualItemRect(avail->item(sep)).center();
    QTest::mouseClick(avail->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(avail->viewport(), Qt::LeftButton, {}, at);
    EXPECT_EQ(pw->steps_list()->count(), 0);
    EXPECT_TRUE(pw->process().modified());
    avail->setCurrentRow(find_procid("diff"));
    EXPECT_EQ(pw->findChild<QPlainTextEdit*>("helptext")->toPlainText(),
              "Derivative\n \nTakes the derivative of the signal(s)");

    // Open while modified, answered Cancel: nothing changes, no dialog.
    add(pw, "load");
    bool asked = false;
    pw->choose_open_name = [&asked] {
        asked = true;
        return QString();
    };
    f.prompter.answers = {tanswer::cancel};
    trigger(pw, "openaction");
    EXPECT_FALSE(asked);
    EXPECT_EQ(lines(pw), std::vector<std::string>{"Load from channel 0"});
    EXPECT_TRUE(pw->process().modified());

    // Dropped files: a process with its extension in capitals opens; a
    // signal file does nothing.
    QFile file(f.dir.filePath("CAPS.TESSALPROC"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[Common]\nnsteps=1\n[Step_0]\nprocid=delete\nnchans=1\nchanno0=1\n");
    file.close();
    auto drop = [pw](const QString& path) {
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(path)});
        QDropEvent ev(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        // Straight to the window: the application delivers drops only
        // while a drag of its own is under way.
        static_cast<QObject*>(pw)->event(&ev);
    };
    f.prompter.answers = {tanswer::no};
    drop(f.dir.filePath("pair.wav"));
    EXPECT_EQ(lines(pw), std::vector<std::string>{"Load from channel 0"});
    drop(file.fileName());
    EXPECT_EQ(lines(pw), std::vector<std::string>{"Delete channel 1"});
    EXPECT_EQ(pw->process().name(), file.fileName().toStdString());
    EXPECT_FALSE(pw->process().modified());

    // A file that goes wrong halfway: the process that was open stays,
    // under its own name, and the error is shown.
    QFile bad(f.dir.filePath("bad.tessalproc"));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("[Common]\nnsteps=3\n[Step_0]\nprocid=delete\n[Step_1]\nprocid=bogus\n");
    bad.close();
    pw->choose_open_name = [&bad] { return bad.fileName(); };
    const std::size_t before = f.prompter.asked.size();
    trigger(pw, "openaction");
    EXPECT_EQ(lines(pw), std::vector<std::string>{"Delete channel 1"});
    EXPECT_EQ(pw->windowTitle(), file.fileName() + " - Tessal");
    ASSERT_EQ(f.prompter.asked.size(), before + 1);
    EXPECT_EQ(f.prompter.asked.back().text, "Invalid procid: -1");

    // A further process window is a window of its own.
    f.w.commands().action("addprocessaction")->trigger();
    EXPECT_EQ(f.w.windows().processing_window_count(), 2);
    tprocessingwindow* second = f.w.processing().windows().back();
    ASSERT_NE(second, pw);
    EXPECT_EQ(second->steps_list()->count(), 0);
    EXPECT_EQ(second->windowTitle(), "<untitled> - Tessal");
}

TEST(Processing, TheStepDialogRefusesValuesAndCancelKeepsTheStep) {
    tfixture f;
    tprocessingwindow* pw = f.pw;
    add(pw, "save");
    auto& save = dynamic_cast<tsavechannel&>(*pw->process().steps[0]);
    pw->exec_dialog = [&](tstepformdialog& d) {
        d.show();
        type(d, "channo", "3");
        type(d, "dbreference", "0");
        EXPECT_FALSE(d.problem_text().isEmpty());  // told while typing
        press_ok(d);
        EXPECT_TRUE(d.isVisible());  // refused: the dialog stays
        EXPECT_EQ(f.prompter.asked.size(), 1u);
        EXPECT_EQ(save.channo, tintarr{-1});
        type(d, "dbreference", "2e-5");
        EXPECT_TRUE(d.problem_text().isEmpty());
        QTest::mouseClick(d.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Cancel),
                          Qt::LeftButton);
        return d.result();
    };
    pw->steps_list()->setCurrentRow(0);
    click(pw, "editbutton");
    EXPECT_EQ(save.channo, tintarr{-1});
    EXPECT_DOUBLE_EQ(save.dbreference, 1.0);
    EXPECT_TRUE(pw->process().modified());  // Edit marks it, even cancelled

    // A step without settings says so.
    add(pw, "diff");
    pw->exec_dialog = nullptr;
    pw->steps_list()->setCurrentRow(1);
    click(pw, "editbutton");
    EXPECT_EQ(f.prompter.asked.back().text, "No settings available");
    EXPECT_EQ(f.prompter.asked.back().caption, "Cannot change settings");
}

// The F0 dialog's fifth algorithm: its radio button, its own group of
// fields enabled only while it is chosen, and the values it takes.
TEST(Processing, TheF0DialogOffersThePathTrackerWithItsFields) {
    tfixture f;
    tprocessingwindow* pw = f.pw;
    add(pw, "f0");
    auto& f0 = dynamic_cast<tf0&>(*pw->process().steps[0]);
    edit_step(pw, 0, [](tstepformdialog& d) {
        auto* ac = d.widget("algorithm")->findChild<QRadioButton*>("algorithm:4");
        ASSERT_NE(ac, nullptr);
        EXPECT_EQ(ac->text(), "Autocorrelation with path tracking");
        EXPECT_FALSE(d.widget("timestep")->isEnabled());
        QTest::mouseClick(ac, Qt::LeftButton);
        for (const char* k : {"timestep", "voicing", "silence", "octave", "octavejump", "voicedunvoiced", "minf0"})
            EXPECT_TRUE(d.widget(k)->isEnabled()) << k;
        EXPECT_FALSE(d.widget("threshold")->isEnabled());
        type(d, "timestep", "5");
        type(d, "octavejump", "0.5");
        press_ok(d);
    });
    EXPECT_EQ(f0.algorithm, 4);
    EXPECT_DOUBLE_EQ(f0.timestep, 0.005);
    EXPECT_DOUBLE_EQ(f0.octavejumpcost, 0.5);
    EXPECT_EQ(lines(pw)[0].find("F0 ac 50 - 400 Hz") != std::string::npos, true) << lines(pw)[0];
}

// Edit... opens the step on the focused line, also after a double-click's
// dialog has closed and after the step moved.
TEST(Processing, EditOpensTheFocusedStepAfterADoubleClickAndAMove) {
    tfixture f;
    tprocessingwindow* pw = f.pw;
    for (const char* id : {"load", "save", "delete"}) add(pw, id);
    std::vector<const tprocstep*> opened;
    pw->exec_dialog = [&](tstepformdialog& d) {
        opened.push_back(&d.step());
        return static_cast<int>(QDialog::Rejected);
    };
    QListWidget* list = pw->steps_list();
    const tprocstep* save = pw->process().steps[1].get();
    list->scrollToItem(list->item(1));
    const QPoint at = list->visualItemRect(list->item(1)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], save);
    EXPECT_EQ(list->currentRow(), 1);
    click(pw, "editbutton");
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[1], save);  // not step 0

    // Move up: the focus goes with the step, and Edit... still opens it.
    click(pw, "moveupbutton");
    ASSERT_EQ(pw->process().steps[0].get(), save);
    EXPECT_EQ(list->currentRow(), 0);
    click(pw, "editbutton");
    ASSERT_EQ(opened.size(), 3u);
    EXPECT_EQ(opened[2], save);
    click(pw, "movedownbutton");
    click(pw, "movedownbutton");
    ASSERT_EQ(pw->process().steps[2].get(), save);
    click(pw, "editbutton");
    ASSERT_EQ(opened.size(), 4u);
    EXPECT_EQ(opened[3], save);

    // Deleting the focused step leaves the focus on the line that took its place.
    click(pw, "deletebutton");
    ASSERT_EQ(pw->process().steps.size(), 2u);
    EXPECT_EQ(list->currentRow(), 1);
    click(pw, "editbutton");
    ASSERT_EQ(opened.size(), 5u);
    EXPECT_EQ(opened[4], pw->process().steps[1].get());
}

// A save channel number typed near the top of the integers, and a delay
// typed too long for a time shift, are refused when the process runs, with
// the field named in the box, and the document keeps its channels.
TEST(Processing, NumbersThatCannotBeAnIndexOrShiftAreRefusedNamingTheField) {
    tfixture f;
    tprocessingwindow* pw = f.pw;
    tdocument& doc = f.w.document();
    ASSERT_EQ(doc.totnchans(), 2);
    auto edit = [pw](int row, std::function<void(tstepformdialog&)> fill) { edit_step(pw, row, std::move(fill)); };
    QAction* runcmd = f.w.commands().action("runprocessaction");
    add(pw, "load");
    add(pw, "save");
    edit(1, [](tstepformdialog& d) {
        type(d, "channo", "2147483647");
        press_ok(d);
    });
    ASSERT_EQ(lines(pw)[1], "Save to channel 2147483647");
    runcmd->trigger();
    QApplication::processEvents();
    ASSERT_FALSE(f.prompter.asked.empty());
    EXPECT_NE(f.prompter.asked.back().text.find("Channel number (N=new channel) 2147483647"),
              std::string::npos)
        << f.prompter.asked.back().text;
    ASSERT_EQ(doc.totnchans(), 2);
    EXPECT_EQ(doc.channel(0).samples_array(), tsinglearr(10, 0.25f));
    EXPECT_EQ(doc.channel(1).samples_array(), tsinglearr(10, 0.5f));

    // Load, delay 1e5 s (1e8 samples at 1 kHz fit; at 44.1 kHz they would
    // not), save into channel 1.
    doc.channel(0).sampfreq = 44100;
    f.prompter.answers = {tanswer::no};  // the first process is not kept
    trigger(pw, "newaction");
    ASSERT_EQ(pw->steps_list()->count(), 0);
    add(pw, "load");
    add(pw, "delay");
    add(pw, "save");
    edit(1, [](tstepformdialog& d) {
        type(d, "values", "1e5");
        press_ok(d);
    });
    edit(2, [](tstepformdialog& d) {
        type(d, "channo", "1");
        press_ok(d);
    });
    const std::size_t asked = f.prompter.asked.size();
    runcmd->trigger();
    QApplication::processEvents();
    ASSERT_EQ(f.prompter.asked.size(), asked + 1);
    EXPECT_NE(f.prompter.asked.back().text.find("Delay [s] 100000 s at 44100 Hz"), std::string::npos)
        << f.prompter.asked.back().text;
    EXPECT_EQ(doc.channel(1).xshift, 0);
    EXPECT_EQ(doc.channel(1).samples_array(), tsinglearr(10, 0.5f));
}

namespace {

// A long step: it reports progress until the run is cancelled (or gives up
// after ten seconds, which the test reports as a failure).
class tpollingstep : public tprocstep {
public:
    std::unique_ptr<tprocstep> clone() const override {
        return std::make_unique<tpollingstep>();
    }
    void run_process(tprocenv& env) override {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        for (int i = 0; std::chrono::steady_clock::now() < until; ++i) {
            env.progress(0.001 * (i % 1000));
            ++polls;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        finished = true;
        tprocstep::run_process(env);
    }
    std::string get_procname() const override { return "Polling"; }
    int polls = 0;
    bool finished = false;
};

}  // namespace

TEST(Processing, EscCancelsARunInsideAStepAndKeepsWhatWasWritten) {
    tfixture f;
    tprocessingwindow* pw = f.pw;
    add(pw, "load");
    add(pw, "save");
    auto poll = std::make_unique<tpollingstep>();
    tpollingstep* p = poll.get();
    poll->enabled = true;
    pw->process().steps.push_back(std::move(poll));
    add(pw, "save");
    pw->refresh();

    tprocessrun& run = f.w.processing().runner();
    QProgressBar* bar = nullptr;
    std::string during;
    bool entered = false;
    run.onprogress = [&](int stepno, double) {
        if (stepno != 2 || !during.empty()) return;
        during = f.w.statusBar()->currentMessage().toStdString();
        bar = f.w.statusBar()->findChild<QProgressBar*>("processprogress");
        // Input other than Esc is held back during the run: Enter in the
        // step list would open a step's dialog.
        QApplication::postEvent(pw->steps_list(),
                                new QKeyEvent(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier));
        QApplication::postEvent(pw, new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
    };
    pw->exec_dialog = [&](tstepformdialog&) {
        entered = true;  // Enter reached the list during the run
        return 0;
    };
    trigger(pw, "runaction");
    run.onprogress = nullptr;

    EXPECT_EQ(during, "Running Polling");
    ASSERT_NE(bar, nullptr);
    EXPECT_FALSE(bar->isVisible());
    EXPECT_FALSE(p->finished);
    EXPECT_GT(p->polls, 0);
    EXPECT_FALSE(entered);
    EXPECT_EQ(f.w.statusBar()->currentMessage(), "Cancelled");
    // The first save wrote its channel; the second never ran.
    ASSERT_EQ(f.w.document().totnchans(), 3);
    EXPECT_EQ(f.w.document().channel(2).samples_array(), tsinglearr(10, 0.25f));
    EXPECT_TRUE(f.prompter.asked.empty());

    // The next run goes on to the end once the step is gone.
    pw->process().steps.erase(pw->process().steps.begin() + 2);
    trigger(pw, "runaction");
    EXPECT_EQ(f.w.document().totnchans(), 5);
    EXPECT_EQ(f.w.statusBar()->currentMessage(), "Done ");
}

TEST(Processing, ExitAsksAboutEveryModifiedProcess) {
    tfixture f;
    add(f.pw, "load");
    f.w.commands().action("addprocessaction")->trigger();
    tprocessingwindow* second = f.w.processing().windows().back();
    second->available_list()->setCurrentRow(find_procid("save"));
    click(second, "addbutton");
    f.prompter.answers = {tanswer::cancel};
    EXPECT_FALSE(f.w.lifecycle().confirm_exit());
    ASSERT_EQ(f.prompter.asked.size(), 1u);
    EXPECT_EQ(f.prompter.asked[0].caption, "Process has been modified - Tessal");
    EXPECT_EQ(f.prompter.asked[0].text,
              "The process has been modified.\rDo you want to save the changes?\r<untitled>\r<untitled>");
    // Yes saves each; a cancelled save dialog keeps the program open.
    int offered = 0;
    for (tprocessingwindow* w : f.w.processing().windows())
        w->choose_save_name = [&offered] {
            ++offered;
            return QString();
        };
    f.prompter.answers = {tanswer::yes};
    EXPECT_FALSE(f.w.lifecycle().confirm_exit());
    EXPECT_EQ(offered, 2);
}
