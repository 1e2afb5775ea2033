// The editing commands in the main window: a stereo selection copied
// through the real Qt clipboard (offscreen) and pasted into another pair
// keeps its samples and moves the labels after the cursor; the menus carry
// their captions, shortcuts and enabling rules; the editing dialogs change
// the document only with readable numbers.
#include <memory>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "engine/document/clipboardblock.h"
#include "engine/document/labelcommands.h"
#include "engine/document/levels.h"
#include "gui/editing/tchannelinfodialog.h"
#include "gui/editing/teditingcommands.h"
#include "gui/editing/teditlevelsdialog.h"
#include "gui/labels/tlabelpropertiesdialog.h"
#include "gui/editing/tnotesdialog.h"
#include "gui/editing/tsetfsdwindow.h"
#include "gui/labels/labelsmodule.h"
#include "gui/mainwindow/mainwindow.h"
#include "gui/view/channelstrip.h"
#include "gui/view/signalpanel.h"
#include "gui/view/waveformview.h"
#include "support/scriptedprompter.h"
#include "windowfixture.h"

using namespace tessal;
using namespace tessal::testing;

namespace {

// Four counting channels in two stereo pairs.
void fill(TMainWindow& w) {
    counting_channels(w.document(), 4);
    w.document().set_thischanno(0);
    w.commands().refresh_enablings();
}

// The main window, not activated, holding fill()'s channels.
struct tfilled : tscriptedmain {
    tfilled() : tscriptedmain(false) { fill(w); }
};

void trigger(TMainWindow& w, const char* name) {
    QAction* a = w.commands().action(name);
    ASSERT_NE(a, nullptr) << name;
    ASSERT_TRUE(a->isEnabled()) << name;
    a->trigger();
}

}  // namespace

TEST(EditingClipboard, StereoSelectionThroughTheQtClipboard) {
    tfilled f;
    TMainWindow& w = f.w;
    tdocument& doc = w.document();
    doc.theglobal.set_selection(0.100, 0.150);  // samples 100..149 of each channel
    QApplication::clipboard()->clear();
    w.commands().refresh_enablings();
    EXPECT_FALSE(w.commands().action("pasteaction")->isEnabled());
    trigger(w, "copyaction");

    const QMimeData* m = QApplication::clipboard()->mimeData();
    ASSERT_NE(m, nullptr);
    ASSERT_TRUE(m->hasFormat("application/x-tessal-sampled-data"));
    EXPECT_EQ(m->data("application/x-tessal-sampled-data").size(), 8 + 2 * (12 + 4 * 50));
    QApplication::processEvents();
    EXPECT_TRUE(w.commands().action("pasteaction")->isEnabled());

    // Into the other pair, at 0.5 s, where a label waits after the cursor.
    doc.channel(3).add_label(0.7, 0.1, "later", "manual");
    doc.channel(3).add_label(0.2, 0.1, "earlier", "manual");
    doc.set_thischanno(2);
    doc.theglobal.set_selection(0.5, 0.5);
    trigger(w, "pasteaction");
    for (int c : {2, 3}) {
        const tsinglearr s = doc.channel(c).samples_array();
        ASSERT_EQ(s.size(), 1050u);
        EXPECT_EQ(s[499], 1000 * c + 499);
        // Channel 2 gets the current channel's copy, 3 its partner's.
        EXPECT_EQ(s[500], 1000 * (c - 2) + 100);
        EXPECT_EQ(s[549], 1000 * (c - 2) + 149);
        EXPECT_EQ(s[550], 1000 * c + 500);
    }
    EXPECT_NEAR(doc.channel(3).labels[0].time, 0.2, 1e-12);
    EXPECT_NEAR(doc.channel(3).labels[1].time, 0.75, 1e-12);
    EXPECT_EQ(doc.channel(0).sample_count(), 1000);
    EXPECT_TRUE(doc.modified());
    EXPECT_TRUE(f.prompter->asked.empty());

    // A stereo block does not fit a channel without a partner.
    doc.channel(2).stereochanno = doc.channel(3).stereochanno = -1;
    trigger(w, "pasteaction");
    ASSERT_EQ(f.prompter->asked.size(), 1u);
    EXPECT_EQ(f.prompter->asked[0].caption, "Channel mismatch");
    EXPECT_EQ(doc.channel(2).sample_count(), 1050);
}

TEST(EditingClipboard, CutAsksAndRefusalKeepsTheSamples) {
    tfilled f;
    TMainWindow& w = f.w;
    tdocument& doc = w.document();
    w.editing().is_foreground = [] { return true; };
    doc.theglobal.set_selection(0.1, 0.2);
    trigger(w, "cutaction");  // the box is closed: cancel
    ASSERT_EQ(f.prompter->asked.size(), 1u);
    EXPECT_EQ(f.prompter->asked[0].text, "Do you want to delete the selection of channels 0 and 1?");
    EXPECT_EQ(doc.channel(0).sample_count(), 1000);
    f.prompter->answers = {tanswer::ok};
    trigger(w, "deleteaction");
    EXPECT_EQ(doc.channel(0).sample_count(), 900);
    EXPECT_EQ(doc.channel(1).sample_count(), 900);
    EXPECT_EQ(doc.channel(2).sample_count(), 1000);
    // Delete does nothing while another window is in front.
    w.editing().is_foreground = [] { return false; };
    doc.theglobal.set_selection(0.1, 0.2);
    w.commands().action("deleteaction")->trigger();
    EXPECT_EQ(doc.channel(0).sample_count(), 900);
}

TEST(EditingMenus, CaptionsShortcutsAndEnablings) {
    tscriptedmain m(false);
    TMainWindow& w = m.w;
    tcommandregistry& cmds = w.commands();
    // Undo, Redo, a separator, then the clipboard commands.
    EXPECT_EQ(cmds.menu("&Edit")->actions().first()->text(), "Undo");
    EXPECT_EQ(cmds.menu("&Edit")->actions().at(3)->text(), "Cut");
    EXPECT_EQ(cmds.action("addlabelaction")->shortcut().toString(), "F7");
    EXPECT_EQ(cmds.action("addmeasurementlabelaction")->shortcut().toString(), "F10");
    EXPECT_EQ(cmds.action("selectsignalatlabelaction")->shortcut().toString(), "F6");
    EXPECT_EQ(cmds.action("deleteaction")->shortcut().toString(), "Del");
    ASSERT_NE(cmds.action("selectlabelsbytypeaction")->menu(), nullptr);
    EXPECT_EQ(cmds.action("selectlabelsbytypeaction")->menu()->actions().size(), 8);
    EXPECT_FALSE(cmds.action("editstereoaction")->isEnabled());
    EXPECT_FALSE(cmds.action("addlabelaction")->isEnabled());

    fill(w);
    tdocument& doc = w.document();
    EXPECT_TRUE(cmds.action("editstereoaction")->isEnabled());
    EXPECT_EQ(cmds.action("deletechannelsaction")->text(), "Delete channels 0 and 1");
    w.labels().ask_label_text = [] { return std::optional<std::string>("vowel"); };
    doc.theglobal.set_selection(0.2, 0.3);
    trigger(w, "addlabelaction");
    trigger(w, "addlabelaction");
    cmds.refresh_enablings();
    EXPECT_EQ(cmds.action("loglabelsaction")->text(), "Log all 2 labels");
    cmds.action("selectlabelsbytypeaction")->menu()->actions().at(0)->trigger();  // Manual
    EXPECT_EQ(cmds.action("deletelabelsaction")->text(), "Delete 2 selected labels");
    trigger(w, "loglabelsaction");
    m.prompter->answers = {tanswer::yes};
    trigger(w, "deletelabelsaction");
    EXPECT_EQ(m.prompter->asked.back().caption, "Delete labels?");
    EXPECT_TRUE(doc.channel(0).labels.empty());
    EXPECT_EQ(cmds.action("deletelabelsaction")->text(), "Delete labels");
}

TEST(EditingDialogs, UnreadableNumbersChangeNothing) {
    tfilled f;
    TMainWindow& w = f.w;
    tdocument& doc = w.document();
    doc.theglobal.set_selection(0.1, 0.2);

    auto* levels = qobject_cast<teditlevelsdialog*>(w.windows().find("Edit levels"));
    ASSERT_NE(levels, nullptr);
    levels->set_type(constantfactor);
    levels->startfield()->setText("two");
    EXPECT_FALSE(levels->apply());
    EXPECT_EQ(doc.channel(0).sample(150), 150);
    levels->startfield()->setText("2");
    levels->rampfield()->setText("0");
    EXPECT_TRUE(levels->apply());
    EXPECT_EQ(doc.channel(0).sample(150), 300);
    EXPECT_EQ(doc.channel(1).sample(150), 2300);
    EXPECT_EQ(doc.channel(2).sample(150), 2150);

    auto* fsd = qobject_cast<tsetfsdwindow*>(w.windows().find("Set Full Scale Deflection (FSD)"));
    ASSERT_NE(fsd, nullptr);
    fsd->refresh();
    EXPECT_EQ(fsd->heading(), "Set FSD such that the Leq of the selection of channels 0 and 1 become");
    fsd->levelfield()->setText("-");
    EXPECT_FALSE(fsd->set_fsd());
    EXPECT_EQ(doc.channel(0).fsd(), 8000);

    auto* info = qobject_cast<tchannelinfodialog*>(w.windows().find("Channel information"));
    ASSERT_NE(info, nullptr);
    info->fill();
    info->field("sampfreq")->setText("fast");
    info->field("name")->setText("renamed");
    EXPECT_FALSE(info->apply());
    EXPECT_EQ(doc.channel(0).name(), "");
    info->field("sampfreq")->setText("2000");
    info->field("unit")->setText("Pa");
    EXPECT_EQ(info->dbreferencecaption()->text(), "dB reference (0=disable) [Pa]");
    EXPECT_TRUE(info->apply());
    EXPECT_EQ(doc.channel(0).name(), "renamed");
    EXPECT_EQ(doc.channel(0).sampfreq, 2000);
}

TEST(EditingDialogs, LabelPropertiesAndNotesStoreOnlyOnSave) {
    tfilled f;
    TMainWindow& w = f.w;
    tdocument& doc = w.document();
    doc.channel(0).add_label(0.5, 0.1, "b", "manual");
    doc.channel(0).add_label(0.2, 0.1, "a", "overload");
    auto* props = qobject_cast<tlabelpropertiesdialog*>(w.windows().find("Label properties"));
    ASSERT_NE(props, nullptr);
    ASSERT_TRUE(props->load(0, 1));  // the manual label
    props->findChild<QLineEdit*>("time")->setText("soon");
    EXPECT_FALSE(props->save());
    EXPECT_EQ(f.prompter->asked.size(), 1u);
    props->findChild<QLineEdit*>("time")->setText("0.1");
    props->findChild<QLineEdit*>("text")->setText("moved");
    ASSERT_TRUE(props->save());
    // Saved into the copy only; the caller's store puts it back in order.
    EXPECT_EQ(doc.channel(0).labels[1].text, "b");
    ASSERT_TRUE(store_label(doc, 0, 1, props->edited()));
    EXPECT_EQ(doc.channel(0).labels[0].text, "moved");
    ASSERT_TRUE(props->load(0, 1));  // the overload label: times read-only
    EXPECT_TRUE(props->findChild<QLineEdit*>("time")->isReadOnly());

    auto* notes = qobject_cast<tnotesdialog*>(w.windows().window("notes"));
    ASSERT_NE(notes, nullptr);
    ASSERT_TRUE(notes->load(2));
    EXPECT_EQ(notes->windowTitle(), "Notes for channel 2");
    EXPECT_FALSE(notes->savebutton()->isEnabled());
    notes->memo()->setPlainText("first\nsecond");
    EXPECT_TRUE(notes->savebutton()->isEnabled());
    EXPECT_TRUE(doc.channel(2).notes.empty());
    notes->save();
    EXPECT_EQ(doc.channel(2).notes, (std::vector<std::string>{"first", "second"}));
}

// --- cut and paste by mouse and keys, on files sox made ------------------------------

namespace {

bool sox(const QString& args) {
    return std::system(("sox " + args + " 2>/dev/null").toStdString().c_str()) == 0;
}

std::string bytes_of(const QString& path) {
    std::ifstream in(path.toStdString(), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// The main window shown and active (Delete acts only in the foreground
// window) with a file opened as a user would.
struct tfilewindow : tscriptedmain {
    explicit tfilewindow(const QString& file) {
        w.document().prefs.WarnSaveWav = false;
        EXPECT_TRUE(w.files().open_document(file.toStdString()));
        w.resize(1200, 700);
        w.show();
        w.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&w));
        settle();
    }
    void settle() {
        for (int i = 0; i < 5; ++i) QApplication::processEvents();
        w.commands().refresh_enablings();
    }
    twaveformview* wave(int c) { return w.signalpanel()->strip(c).wave; }
    // Shows the time axis from 0 s at `step` seconds a pixel, so that a
    // drag between pixels selects round numbers of seconds as a user reads
    // them off the axis.
    void pixels_of(double step) {
        TAxis& x = w.document().xaxis;
        x.set_hilovalues(step * (x.length() - 1), 0);
        settle();
    }
    // A drag in channel c's waveform from pixel a to pixel b.
    void drag(int c, int a, int b) {
        twaveformview* v = wave(c);
        const int y = v->height() / 2;
        QTest::mousePress(v, Qt::LeftButton, {}, QPoint(a, y));
        QTest::mouseMove(v, QPoint(b, y));
        QTest::mouseRelease(v, Qt::LeftButton, {}, QPoint(b, y));
        settle();
    }
    void keys(Qt::Key key, Qt::KeyboardModifiers mods = Qt::ControlModifier) {
        QTest::keyClick(&w, key, mods);
        settle();
    }
};

}  // namespace

// Drag 1.1 .. 1.68 s in a 97953-frame file, Ctrl+X, Ctrl+V at the same
// place, Ctrl+S: the file has 97953 frames again, every one as sox decoded
// it before, in the same bytes as a save of the untouched file. Copy,
// Delete, Paste on a 20251-frame file keeps 20251 frames. On a stereo pair
// the Cut takes out of each channel exactly as many samples as the Paste
// puts back.
TEST(EditingClipboard, CutAndPasteByMouseAndKeysGiveTheFileBack) {
    if (!sox("--version >/dev/null")) GTEST_SKIP() << "sox is not installed";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    auto path = [&](const char* name) { return dir.filePath(name); };
    auto frames = [&](const QString& file) {
        EXPECT_TRUE(sox(file + " -t raw -e signed-integer -b 32 " + path("frames.raw")));
        return bytes_of(path("frames.raw"));
    };
    struct tcase {
        const char* name;
        const char* make;
        int chans, rate, frames;
        double step;  // seconds a pixel
        int a, b;     // pixels of the drag
        double L, R;  // the selection it makes
        bool cut;     // Ctrl+X, else Ctrl+C and Del
    };
    const tcase cases[] = {
        {"mono16.wav", "-b 16 -e signed-integer", 1, 44100, 97953, 0.002, 550, 840, 1.1, 1.68, true},
        {"mono8.wav", "-b 8 -e unsigned-integer", 1, 16000, 20251, 0.001, 300, 900, 0.3, 0.9, false},
        // 0.2016 s and 0.4032 s are 8890.56 and 17781.12 samples: the
        // selection holds samples 8891..17780, 8890 of them, though it is
        // 8890.56 samples long (a Copy of 8892 samples put two back).
        {"stereo24.wav", "-b 24 -e signed-integer", 2, 44100, 40000, 0.0008, 252, 504, 0.2016,
         0.4032, true},
    };
    for (const tcase& k : cases) {
        SCOPED_TRACE(k.name);
        const QString f = path(k.name);
        ASSERT_TRUE(sox(QString("-D -R -r %1 -n -r %1 -c %2 %3 %4 synth %5s whitenoise sine 300 vol 0.9")
                            .arg(k.rate).arg(k.chans).arg(k.make, f).arg(k.frames)));
        const std::string before = frames(f);
        {
            // The same file saved untouched, for its bytes.
            tfilewindow u(f);
            tdocument& d = u.w.document();
            ASSERT_TRUE(u.w.files().save_file(path("untouched.wav").toStdString(),
                                              d.channel(0).nbits, 0, 0, {}, d.channel(0).format));
        }
        tfilewindow t(f);
        tdocument& doc = t.w.document();
        ASSERT_EQ(doc.totnchans(), k.chans);
        ASSERT_EQ(doc.channel(0).sample_count(), k.frames);
        if (k.chans == 2) doc.selectmode = selstereo;

        ASSERT_GT(doc.xaxis.length(), k.b);
        t.pixels_of(k.step);
        t.drag(0, k.a, k.b);
        const double L = doc.theglobal.leftselcursor(), R = doc.theglobal.rightselcursor();
        ASSERT_NEAR(L, k.L, 1e-9);
        ASSERT_NEAR(R, k.R, 1e-9);
        const long long n = std::llround(R * k.rate) - std::llround(L * k.rate);

        t.prompter->answers = {tanswer::ok};
        if (k.cut) {
            t.keys(Qt::Key_X);
        } else {
            t.keys(Qt::Key_C);
            t.keys(Qt::Key_Delete, Qt::NoModifier);
        }
        ASSERT_EQ(t.prompter->asked.size(), 1u) << "the Delete question";
        for (int c = 0; c < k.chans; ++c)
            EXPECT_EQ(doc.channel(c).sample_count(), k.frames - n) << c;
        // The cursor stays where the selection began: paste there.
        ASSERT_EQ(doc.theglobal.rightselcursor(), L);
        t.keys(Qt::Key_V);
        for (int c = 0; c < k.chans; ++c)
            EXPECT_EQ(doc.channel(c).sample_count(), k.frames) << c;
        t.keys(Qt::Key_S);
        EXPECT_FALSE(doc.modified());
        EXPECT_TRUE(frames(f) == before);
        EXPECT_TRUE(bytes_of(f) == bytes_of(path("untouched.wav")));
    }
}
