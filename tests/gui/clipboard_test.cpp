// The editing commands in the main window: a stereo selection copied
// through the real Qt clipboard (offscreen) and pasted into another pair
// keeps its samples and moves the labels after the cursor; the menus carry
// their captions, shortcuts and enabling rules; the editing dialogs change
// the document only with readable numbers.
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
#include <gtest/gtest.h>

#include "engine/document/clipboardblock.h"
#include "engine/document/labelcommands.h"
#include "engine/document/levels.h"
#include "gui/editing/tchannelinfodialog.h"
#include "gui/editing/teditingcommands.h"
#include "gui/editing/teditlevelsdialog.h"
#include "gui/editing/tlabelpropertiesdialog.h"
#include "gui/editing/tnotesdialog.h"
#include "gui/editing/tsetfsdwindow.h"
#include "gui/labels/labelsmodule.h"
#include "gui/mainwindow/mainwindow.h"
#include "support/scriptedprompter.h"

using namespace tessal;
using tessal::testing::tscriptedprompter;

namespace {

// Four channels in two stereo pairs at 1 kHz; sample k of channel c holds
// 1000 * c + k.
void fill(TMainWindow& w) {
    tdocument& doc = w.document();
    doc.set_totnchans(4);
    for (int c = 0; c < 4; ++c) {
        tchannel& ch = doc.channel(c);
        ch.sampfreq = ch.orgsampfreq = 1000;
        ch.set_fsd(8000);
        ch.sig.resize(1000);
        for (int k = 0; k < 1000; ++k) ch.sig[k] = static_cast<float>(1000 * c + k);
    }
    doc.channel(0).stereochanno = 1;
    doc.channel(1).stereochanno = 0;
    doc.channel(2).stereochanno = 3;
    doc.channel(3).stereochanno = 2;
    doc.selectmode = selstereo;
    doc.set_thischanno(0);
    w.commands().refresh_enablings();
}

void trigger(TMainWindow& w, const char* name) {
    QAction* a = w.commands().action(name);
    ASSERT_NE(a, nullptr) << name;
    ASSERT_TRUE(a->isEnabled()) << name;
    a->trigger();
}

}  // namespace

TEST(EditingClipboard, StereoSelectionThroughTheQtClipboard) {
    auto* prompter = new tscriptedprompter;
    TMainWindow w(prompter);
    fill(w);
    tdocument& doc = w.document();
    doc.theglobal.set_selection(0.100, 0.149);  // 50 samples a channel
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
        const tsinglearr& s = doc.channel(c).sig;
        ASSERT_EQ(s.size(), 1050u);
        EXPECT_EQ(s[499], 1000 * c + 499);
        // Channel 2 gets the current channel's copy, 3 its partner's.
        EXPECT_EQ(s[500], 1000 * (c - 2) + 100);
        EXPECT_EQ(s[549], 1000 * (c - 2) + 149);
        EXPECT_EQ(s[550], 1000 * c + 500);
    }
    EXPECT_NEAR(doc.channel(3).labels[0].time, 0.2, 1e-12);
    EXPECT_NEAR(doc.channel(3).labels[1].time, 0.75, 1e-12);
    EXPECT_EQ(doc.channel(0).sig.size(), 1000u);
    EXPECT_TRUE(doc.modified());
    EXPECT_TRUE(prompter->asked.empty());

    // A stereo block does not fit a channel without a partner.
    doc.channel(2).stereochanno = doc.channel(3).stereochanno = -1;
    trigger(w, "pasteaction");
    ASSERT_EQ(prompter->asked.size(), 1u);
    EXPECT_EQ(prompter->asked[0].caption, "Channel mismatch");
    EXPECT_EQ(doc.channel(2).sig.size(), 1050u);
}

TEST(EditingClipboard, CutAsksAndRefusalKeepsTheSamples) {
    auto* prompter = new tscriptedprompter;
    TMainWindow w(prompter);
    fill(w);
    tdocument& doc = w.document();
    w.editing().is_foreground = [] { return true; };
    doc.theglobal.set_selection(0.1, 0.2);
    trigger(w, "cutaction");  // the box is closed: cancel
    ASSERT_EQ(prompter->asked.size(), 1u);
    EXPECT_EQ(prompter->asked[0].text, "Do you want to delete the selection of channels 0 and 1?");
    EXPECT_EQ(doc.channel(0).sig.size(), 1000u);
    prompter->answers = {tanswer::ok};
    trigger(w, "deleteaction");
    EXPECT_EQ(doc.channel(0).sig.size(), 900u);
    EXPECT_EQ(doc.channel(1).sig.size(), 900u);
    EXPECT_EQ(doc.channel(2).sig.size(), 1000u);
    // Delete does nothing while another window is in front.
    w.editing().is_foreground = [] { return false; };
    doc.theglobal.set_selection(0.1, 0.2);
    w.commands().action("deleteaction")->trigger();
    EXPECT_EQ(doc.channel(0).sig.size(), 900u);
}

TEST(EditingMenus, CaptionsShortcutsAndEnablings) {
    auto* prompter = new tscriptedprompter;
    TMainWindow w(prompter);
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
    prompter->answers = {tanswer::yes};
    trigger(w, "deletelabelsaction");
    EXPECT_EQ(prompter->asked.back().caption, "Delete labels?");
    EXPECT_TRUE(doc.channel(0).labels.empty());
    EXPECT_EQ(cmds.action("deletelabelsaction")->text(), "Delete labels");
}

TEST(EditingDialogs, UnreadableNumbersChangeNothing) {
    auto* prompter = new tscriptedprompter;
    TMainWindow w(prompter);
    fill(w);
    tdocument& doc = w.document();
    doc.theglobal.set_selection(0.1, 0.2);

    auto* levels = qobject_cast<teditlevelsdialog*>(w.windows().find("Edit levels"));
    ASSERT_NE(levels, nullptr);
    levels->set_type(constantfactor);
    levels->startfield()->setText("two");
    EXPECT_FALSE(levels->apply());
    EXPECT_EQ(doc.channel(0).sig[150], 150);
    levels->startfield()->setText("2");
    levels->rampfield()->setText("0");
    EXPECT_TRUE(levels->apply());
    EXPECT_EQ(doc.channel(0).sig[150], 300);
    EXPECT_EQ(doc.channel(1).sig[150], 2300);
    EXPECT_EQ(doc.channel(2).sig[150], 2150);

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
    auto* prompter = new tscriptedprompter;
    TMainWindow w(prompter);
    fill(w);
    tdocument& doc = w.document();
    doc.channel(0).add_label(0.5, 0.1, "b", "manual");
    doc.channel(0).add_label(0.2, 0.1, "a", "overload");
    auto* props = qobject_cast<tlabelpropertiesdialog*>(w.windows().find("Label properties"));
    ASSERT_NE(props, nullptr);
    ASSERT_TRUE(props->load(0, 1));  // the manual label
    props->findChild<QLineEdit*>("time")->setText("soon");
    EXPECT_FALSE(props->save());
    EXPECT_EQ(prompter->asked.size(), 1u);
    props->findChild<QLineEdit*>("time")->setText("0.1");
    props->findChild<QLineEdit*>("text")->setText("moved");
    ASSERT_TRUE(props->save());
    // Saved into the copy only; the caller's store puts it back in order.
    EXPECT_EQ(doc.channel(0).labels[1].text, "b");
    ASSERT_TRUE(store_label(doc, 0, 1, props->edited()));
    EXPECT_EQ(doc.channel(0).labels[0].text, "moved");
    ASSERT_TRUE(props->load(0, 1));  // the overload label: times read-only
    EXPECT_TRUE(props->findChild<QLineEdit*>("time")->isReadOnly());

    auto* notes = qobject_cast<tnotesdialog*>(w.windows().window(twindowid::notes));
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
