// Edit > Undo and Redo in the main window: captions that name the change,
// enabling, the keys with and without the "Ctrl+Z undoes" preference, a
// Delete and a Paste taken back and done again through the real commands,
// and a process run undone as one step.
#include <QAction>
#include <QApplication>
#include <gtest/gtest.h>

#include "engine/core/tdocument.h"
#include "gui/commands/commandregistry.h"
#include "gui/editing/teditingcommands.h"
#include "gui/mainwindow/mainwindow.h"
#include "support/scriptedprompter.h"

using namespace tessal;
using tessal::testing::tscriptedprompter;

namespace {

// Two channels at 1 kHz; sample k of channel c holds 1000 * c + k.
void fill(TMainWindow& w) {
    tdocument& doc = w.document();
    doc.set_totnchans(2);
    for (int c = 0; c < 2; ++c) {
        tchannel& ch = doc.channel(c);
        ch.sampfreq = ch.orgsampfreq = 1000;
        ch.set_fsd(8000);
        ch.sig.resize(1000);
        for (int k = 0; k < 1000; ++k) ch.sig[k] = static_cast<float>(1000 * c + k);
    }
    doc.channel(0).stereochanno = 1;
    doc.channel(1).stereochanno = 0;
    doc.selectmode = selstereo;
    doc.set_modified(false);
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
    auto* prompter = new tscriptedprompter;
    TMainWindow w(prompter);
    fill(w);
    tdocument& doc = w.document();
    w.editing().is_foreground = [] { return true; };
    EXPECT_FALSE(action(w, "undoaction")->isEnabled());
    EXPECT_EQ(action(w, "undoaction")->text(), "Undo");
    EXPECT_FALSE(action(w, "redoaction")->isEnabled());

    doc.theglobal.set_selection(0.1, 0.2);
    trigger(w, "copyaction");
    prompter->answers = {tanswer::ok};
    trigger(w, "deleteaction");
    ASSERT_EQ(doc.channel(0).sig.size(), 900u);
    EXPECT_EQ(action(w, "undoaction")->text(), "Undo Delete");
    doc.theglobal.set_selection(0.5, 0.5);
    trigger(w, "pasteaction");
    ASSERT_EQ(doc.channel(1).sig.size(), 1001u);  // the copy held both ends: 101 samples
    EXPECT_EQ(action(w, "undoaction")->text(), "Undo Paste");

    trigger(w, "undoaction");
    EXPECT_EQ(doc.channel(1).sig.size(), 900u);
    EXPECT_EQ(action(w, "undoaction")->text(), "Undo Delete");
    EXPECT_EQ(action(w, "redoaction")->text(), "Redo Paste");
    trigger(w, "undoaction");
    ASSERT_EQ(doc.channel(0).sig.size(), 1000u);
    for (int k = 0; k < 1000; ++k) ASSERT_EQ(doc.channel(1).sig[k], 1000.0f + k) << k;
    EXPECT_FALSE(doc.modified());
    EXPECT_FALSE(action(w, "undoaction")->isEnabled());
    EXPECT_EQ(action(w, "redoaction")->text(), "Redo Delete");

    trigger(w, "redoaction");
    trigger(w, "redoaction");
    ASSERT_EQ(doc.channel(0).sig.size(), 1001u);
    EXPECT_EQ(doc.channel(0).sig[100], 200.0f);  // the delete closed the gap
    EXPECT_EQ(doc.channel(0).sig[500], 100.0f);  // the paste at 0.5 s (400 after the delete)
    EXPECT_TRUE(doc.modified());
    EXPECT_FALSE(action(w, "redoaction")->isEnabled());
}

TEST(UndoCommands, KeysFollowTheCtrlZPreference) {
    TMainWindow w(new tscriptedprompter);
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
