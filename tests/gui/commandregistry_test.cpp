// The command registry: the main window's menus entry by entry (caption,
// shortcut, checkable, order) as the program has always shown them and as
// the declared layout places them; a feature's commands landing in its
// group among another feature's; enablings, captions and checks following
// their rules after a refresh, a menu opening and a handler; radio groups;
// the tool bar; and the mistakes the registry refuses.
#include <memory>
#include <QAction>
#include <QActionGroup>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <gtest/gtest.h>
#include <stdexcept>

#include "engine/core/tdocument.h"
#include "gui/commands/commandregistry.h"
#include "gui/commands/commandguard.h"
#include "gui/mainwindow/mainwindow.h"
#include "support/scriptedprompter.h"

using namespace tessal;
using tessal::testing::tscriptedprompter;

namespace {

// "-" a separator; "caption=shortcut" with "[x]" for a checkable entry and
// "(o)" for one of a radio group.
QStringList entries(QMenu* m) {
    QStringList list;
    for (QAction* a : m->actions()) {
        if (a->isSeparator()) {
            list << "-";
            continue;
        }
        QString e = a->text() + "=" + a->shortcut().toString();
        if (a->isCheckable()) e += a->actionGroup() ? "(o)" : "[x]";
        if (a->menu()) e += ">" + QString::number(a->menu()->actions().size());
        list << e;
    }
    return list;
}

}  // namespace

TEST(CommandRegistry, MainMenusEntryByEntry) {
    tscriptedprompter w_prompter;
    TMainWindow w(&w_prompter);
    const std::vector<std::pair<QString, QString>> expected = {
        {"&File", "New=Ctrl+N|Open...=Ctrl+O|Ad&d...=Ctrl+D|&Save=Ctrl+S|Save &as=|"
                  "Save sele&ction as...=Ctrl+E|Export...=|Export labels as TextGrid...=|Import labels from TextGrid...=|-|E&xit="},
        {"&Edit", "Undo=Alt+Backspace|Redo=Ctrl+Shift+Z|-|Cut=Ctrl+X|Copy=Ctrl+C|Paste=Ctrl+V|Select all=Ctrl+A|Delete=Del|-|"
                  "Set FSD to peak value=|Reverse=|Zero=|Interpolate=|-|Levels...=|Set FSD...=|"
                  "Calibrate...=|-|Show log=|Log measurements=F5|Copy measurements=Ctrl+M"},
        {"&Channels", "Channel info=|Align channels=|Channel color...=|Delete channel=|"
                      "Delete channels=|-|Edit mono=(o)|Edit stereo=(o)|Edit all=(o)|"
                      "Edit visible=(o)"},
        {"&View", "Preferences...=|Keyboard shortcuts=|-|Zoom=Ctrl+Z|Zoom back=Ctrl+B|"
                  "Stretch=Ctrl+Y|Stretch to FSD=|-|Show grid=Ctrl+G[x]|Show FSD=[x]|"
                  "Show samples=[x]|Hide all information for hidden channels=Ctrl+H[x]|"
                  "Show red and blue marks=[x]|-|Show only seleced channel(s) =F2|"
                  "Show all channels=F3|Hide crosshairs=Esc"},
        {"&Labels", "Log labels=|-|Add label...=F7|Add measurement label=F10|"
                    "Select signal at label=F6|-|Select labels by type=>8|Select all labels=|"
                    "Deselect all labels=|-|Delete labels="},
        {"&Analysis", "Measurements...=|Spectrum=|Spectrogram=|Correlation=|Correlogram=|"
                      "Show histograms=|xy-plot="},
        {"&Process", "Edit process=|&Run process=|Open process...=|Add another process="},
        {"&Sound", "Play!=F9[x]|Play entire file!=Ctrl+F9|Loop sound=[x]|-|Select playback soundcard...=|"
                   "Record...=|Advanced record...=|Manage codecs...="},
        {"&Tools", "Inverse filter=|Glottal flow parameter measurement=|Subglottal pressure=|"
                   "Electropalatograph (EPG)="},
    };
    QStringList bar;
    for (QAction* a : w.menuBar()->actions()) bar << a->text();
    QStringList titles;
    for (const auto& [title, items] : expected) titles << title;
    EXPECT_EQ(bar, titles);
    for (const auto& [title, items] : expected) {
        QMenu* m = w.commands().menu(title);
        ASSERT_NE(m, nullptr) << title.toStdString();
        EXPECT_EQ(entries(m).join("|").toStdString(), items.toStdString());
    }
}

TEST(CommandRegistry, BuiltMenusFollowTheDeclaredLayout) {
    tscriptedprompter w_prompter;
    TMainWindow w(&w_prompter);
    const tcommandregistry& reg = w.commands();
    ASSERT_EQ(reg.menus().size(), reg.layout().size());
    for (std::size_t i = 0; i < reg.layout().size(); ++i) {
        const tmenudecl& decl = reg.layout()[i];
        QMenu* m = reg.menus()[i];
        EXPECT_EQ(m->title(), decl.title);
        const QList<QAction*> acts = m->actions();
        int k = 0;
        for (const QString& g : decl.groups) {
            if (g == menuseparator) {
                ASSERT_LT(k, acts.size());
                EXPECT_TRUE(acts[k++]->isSeparator()) << decl.title.toStdString();
                continue;
            }
            const auto cmds = reg.group(g);
            EXPECT_FALSE(cmds.empty()) << g.toStdString();
            for (const tcommand* c : cmds) {
                if (c->items) {
                    // A list: its items, all of them, in its place.
                    for (QAction* item : reg.list_actions(c->id)) {
                        ASSERT_LT(k, acts.size()) << c->id.toStdString();
                        EXPECT_EQ(acts[k++], item) << c->id.toStdString();
                    }
                    continue;
                }
                ASSERT_LT(k, acts.size()) << c->id.toStdString();
                QAction* a = acts[k++];
                EXPECT_EQ(a, reg.action(c->id));
                EXPECT_EQ(a->objectName(), c->id);
                // "A|B": the first key is the one the menu shows.
                EXPECT_EQ(a->shortcut(), QKeySequence(c->shortcut.section('|', 0, 0)))
                    << c->id.toStdString();
                EXPECT_EQ(a->isCheckable(), c->checkable) << c->id.toStdString();
                EXPECT_EQ(a->actionGroup() != nullptr, !c->radio.isEmpty()) << c->id.toStdString();
                if (!c->caption_rule) {
                    EXPECT_EQ(a->text(), c->caption);
                }
            }
        }
        EXPECT_EQ(k, acts.size()) << decl.title.toStdString();
    }
}

TEST(CommandRegistry, ChecksFollowTheStateWithoutAnyoneSettingThem) {
    tscriptedprompter w_prompter;
    TMainWindow w(&w_prompter);
    tcommandregistry& reg = w.commands();
    tdocument& doc = w.document();
    doc.set_totnchans(2);
    for (int c = 0; c < 2; ++c) {
        doc.channel(c).sampfreq = 1000;
        doc.channel(c).set_samples(tsinglearr(100, 0.f));
    }
    doc.selectmode = selstereo;
    reg.refresh();
    EXPECT_TRUE(reg.action("editstereoaction")->isChecked());
    EXPECT_FALSE(reg.action("editmonoaction")->isChecked());
    reg.action("editallaction")->trigger();
    EXPECT_EQ(doc.selectmode, selall);
    EXPECT_TRUE(reg.action("editallaction")->isChecked());
    EXPECT_FALSE(reg.action("editstereoaction")->isChecked());
    // A state changed elsewhere (the settings, a key) shows at the next refresh.
    const bool grid = reg.action("showgridaction")->isChecked();
    reg.action("showgridaction")->trigger();
    EXPECT_NE(reg.action("showgridaction")->isChecked(), grid);
    doc.selectmode = selmono;
    doc.theglobal.fix_things();
    EXPECT_TRUE(reg.action("editmonoaction")->isChecked());
    EXPECT_FALSE(reg.action("editallaction")->isChecked());
}

namespace {

struct tstate {
    bool on = false;
    bool allowed = false;
    int mode = 0;
    int count = 0;
};

const std::vector<tmenudecl> testlayout = {
    {"&One", {"a", menuseparator, "b"}},
    {"&Empty", {"nothing"}},
    {"&Two", {"c"}},
};

}  // namespace

TEST(CommandRegistry, FeaturesFillTheirGroupsInOrder) {
    tcommandregistry reg(testlayout);
    // Two features add into group "a"; the order numbers interleave them,
    // equal numbers keep the order they came in.
    reg.add({.id = "c1", .caption = "C one", .group = "c"});
    reg.add({.id = "a30", .caption = "A 30", .group = "a", .order = 30});
    reg.add({.id = "a10", .caption = "A 10", .group = "a", .order = 10});
    reg.add({.id = "b1", .caption = "B first", .group = "b"});
    reg.add({.id = "a20x", .caption = "A 20 x", .group = "a", .order = 20});
    reg.add({.id = "a20y", .caption = "A 20 y", .group = "a", .order = 20});
    reg.add({.id = "b2", .caption = "B second", .group = "b"});
    QMenuBar bar;
    reg.build(&bar);
    ASSERT_EQ(reg.menus().size(), 2u);  // "&Empty" has no commands and is left out
    EXPECT_EQ(reg.menus()[0]->title(), "&One");
    EXPECT_EQ(reg.menus()[1]->title(), "&Two");
    EXPECT_EQ(entries(reg.menus()[0]).join("|"), "A 10=|A 20 x=|A 20 y=|A 30=|-|B first=|B second=");
    EXPECT_EQ(reg.menu("&Empty"), nullptr);
}

TEST(CommandRegistry, RefusesMistakesAtRegistration) {
    tcommandregistry reg(testlayout);
    reg.add({.id = "x", .caption = "X", .group = "a"});
    EXPECT_THROW(reg.add({.id = "y", .caption = "Y", .group = "nosuchgroup"}), std::logic_error);
    EXPECT_THROW(reg.add({.id = "y", .caption = "Y", .group = menuseparator}), std::logic_error);
    EXPECT_THROW(reg.add({.id = "x", .caption = "X again", .group = "b"}), std::logic_error);
    EXPECT_THROW(reg.add({.caption = "No id", .group = "b"}), std::logic_error);
    QMenuBar bar;
    reg.build(&bar);
    EXPECT_THROW(reg.add({.id = "late", .caption = "Late", .group = "a"}), std::logic_error);
    EXPECT_EQ(reg.menus()[0]->actions().size(), 2);  // X, separator
}

TEST(CommandRegistry, EnablingsCaptionsAndChecksComeFromTheRules) {
    tscriptedprompter prompter;
    set_error_display(&prompter);
    tstate s;
    tcommandregistry reg(testlayout);
    reg.add({.id = "go", .caption = "Go", .handler = [&s] { ++s.count; s.allowed = false; },
             .enabled = [&s] { return s.allowed; },
             .caption_rule = [&s] { return QString("Go %1").arg(s.count); }, .group = "a"});
    reg.add({.id = "toggle", .caption = "Toggle", .handler = [&s] { s.on = !s.on; },
             .checkable = true, .checked = [&s] { return s.on; }, .group = "a"});
    // Refuses to change its state: the check must not stay flipped by the click.
    reg.add({.id = "stubborn", .caption = "Stubborn",
             .handler = [] { throw std::runtime_error("Not now"); }, .checkable = true,
             .checked = [] { return false; }, .group = "b"});
    for (int m = 0; m < 3; ++m)
        reg.add({.id = QString("mode%1").arg(m), .caption = QString("Mode %1").arg(m),
                 .handler = [&s, m] { s.mode = m; }, .checkable = true,
                 .checked = [&s, m] { return s.mode == m; }, .radio = "modes", .group = "c"});
    QMenuBar bar;
    reg.build(&bar);
    QAction* go = reg.action("go");
    EXPECT_FALSE(go->isEnabled());
    EXPECT_EQ(go->text(), "Go 0");
    EXPECT_TRUE(reg.action("mode0")->isChecked());

    // Nothing changes until a refresh, a menu opening or a handler.
    s.allowed = true;
    EXPECT_FALSE(go->isEnabled());
    emit reg.menus()[0]->aboutToShow();
    EXPECT_TRUE(go->isEnabled());
    go->trigger();
    EXPECT_EQ(s.count, 1);
    EXPECT_FALSE(go->isEnabled());  // the handler's own change shows at once
    EXPECT_EQ(go->text(), "Go 1");

    reg.action("toggle")->trigger();
    EXPECT_TRUE(s.on);
    EXPECT_TRUE(reg.action("toggle")->isChecked());
    s.on = false;
    reg.refresh();
    EXPECT_FALSE(reg.action("toggle")->isChecked());

    prompter.asked.clear();
    reg.action("stubborn")->trigger();
    EXPECT_FALSE(reg.action("stubborn")->isChecked());
    ASSERT_EQ(prompter.asked.size(), 1u);

    reg.action("mode2")->trigger();
    EXPECT_EQ(s.mode, 2);
    EXPECT_TRUE(reg.action("mode2")->isChecked());
    EXPECT_FALSE(reg.action("mode0")->isChecked());
    s.mode = 1;
    reg.refresh();
    EXPECT_TRUE(reg.action("mode1")->isChecked());
    EXPECT_FALSE(reg.action("mode2")->isChecked());
    set_error_display(nullptr);
}

TEST(CommandRegistry, ToolBarTakesTheMenusOwnActionsInItsOrder) {
    tcommandregistry reg(testlayout);
    bool allowed = false;
    reg.add({.id = "late", .caption = "Late in the menu", .group = "c", .toolorder = 11});
    reg.add({.id = "early", .caption = "Early", .group = "a", .toolorder = 30,
             .toolcaption = "E."});
    reg.add({.id = "first", .caption = "First", .enabled = [&allowed] { return allowed; },
             .group = "b", .toolorder = 10});
    reg.add({.id = "menuonly", .caption = "Menu only", .group = "a"});
    QMenuBar bar;
    QToolBar tb;
    reg.build(&bar, &tb);
    QStringList items;
    for (QAction* a : tb.actions()) items << (a->isSeparator() ? "|" : a->iconText());
    EXPECT_EQ(items.join(", "), "First, Late in the menu, |, E.");
    EXPECT_EQ(reg.action("early")->text(), "Early");
    EXPECT_TRUE(tb.actions().contains(reg.action("first")));
    EXPECT_FALSE(tb.actions().contains(reg.action("menuonly")));
    EXPECT_FALSE(reg.action("first")->isEnabled());
    allowed = true;
    reg.refresh();
    EXPECT_TRUE(reg.action("first")->isEnabled());
}
