// Secondary windows' tool bars and the recent-files lists come from command
// registries: a click on the correlation window's actual tool buttons
// changes its snapping and opens the data log, F5 is that window's own
// "Log cursor", the spectrum window's bar keeps its buttons, order and
// hidden ones, and a click on a recent-file entry in the opened File menu
// opens that file again.
#include <QApplication>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <gtest/gtest.h>

#include "engine/formats/twavfile.h"
#include "gui/correlation/tcorrelationwindow.h"
#include "gui/mainwindow/mainwindow.h"
#include "gui/settings/tmainsettings.h"
#include "gui/settings/trecentfilesmenu.h"
#include "gui/spectrum/tspectrumwindow.h"
#include "support/scriptedprompter.h"

using namespace tessal;
using tessal::testing::tscriptedprompter;

namespace {

void settle() {
    for (int i = 0; i < 5; ++i) QApplication::processEvents();
}

// The bar as captions, "-" for a separator, "(x)" around a hidden button;
// a second row the bar's last groups went to on a narrow screen follows
// after a "-".
QString layout_of(const QToolBar* bar) {
    QStringList items;
    for (const QToolBar* row : bar->parentWidget()->findChildren<QToolBar*>(Qt::FindDirectChildrenOnly)) {
        if (row != bar && row->objectName() != bar->objectName() + "2") continue;
        if (row != bar) items << "-";
        for (QAction* a : row->actions())
            items << (a->isSeparator() ? "-" : a->isVisible() ? a->text() : "(" + a->text() + ")");
    }
    return items.join(", ");
}

void click_tool(QToolBar* bar, const QString& id) {
    QAction* a = bar->findChild<QAction*>(id);
    if (!a) a = bar->parentWidget()->findChild<QAction*>(id);
    ASSERT_NE(a, nullptr) << id.toStdString();
    // On a narrow screen the bar's last groups sit in a second row.
    for (QToolBar* row : bar->parentWidget()->findChildren<QToolBar*>())
        if (row->widgetForAction(a)) bar = row;
    auto* button = qobject_cast<QToolButton*>(bar->widgetForAction(a));
    ASSERT_NE(button, nullptr) << id.toStdString();
    ASSERT_TRUE(button->isVisible() && button->isEnabled()) << id.toStdString();
    QTest::mouseClick(button, Qt::LeftButton);
    settle();
}

QString write_tone(const QTemporaryDir& dir, const char* name, int frames) {
    const QString wav = dir.filePath(name);
    TWavFile out;
    out.Setsampfreq(8000);
    out.Setnchans(1);
    out.save_file(wav.toStdString(), std::vector<tsinglearr>{tsinglearr(frames, 0.25f)}, false, false);
    return wav;
}

// The main window, activated and shown, with one of its windows shown.
struct tfixture {
    tscriptedprompter prompter;
    TMainWindow w{&prompter};
    explicit tfixture(const QString& key = {}) {
        w.first_activation({});
        w.show();
        if (key.isEmpty()) return;
        w.windows().show(key);
        settle();
    }
};

}  // namespace

TEST(WindowTools, TheCorrelationToolBarAnswersClicksOnItsButtons) {
    tfixture f("correlation");
    TMainWindow& w = f.w;
    auto* win = dynamic_cast<tcorrelationwindow*>(w.windows().window("correlation"));
    ASSERT_NE(win, nullptr);
    auto* bar = win->findChild<QToolBar*>();
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(layout_of(bar).toStdString(),
              "Log cursor, Show log, -, Don't snap, Snap to curve, Snap to peak, Lock snap ch., -, "
              "Copy as image, Export...");
    EXPECT_EQ(win->snap_mode(), 0);
    EXPECT_TRUE(win->action("dontsnapaction")->isChecked());

    click_tool(bar, "snaptopeakaction");
    EXPECT_EQ(win->snap_mode(), 2);
    EXPECT_TRUE(win->action("snaptopeakaction")->isChecked());
    EXPECT_FALSE(win->action("dontsnapaction")->isChecked());
    click_tool(bar, "snaptocurveaction");
    EXPECT_EQ(win->snap_mode(), 1);

    click_tool(bar, "locksnapaction");
    EXPECT_TRUE(win->action("locksnapaction")->isChecked());

    QWidget* log = w.windows().window("datalog");
    EXPECT_FALSE(log->isVisible());
    click_tool(bar, "showlogaction");
    EXPECT_TRUE(log->isVisible());

    // F5 is this window's "Log cursor", a key of the window only.
    QAction* logcursor = win->action("logcursoraction");
    EXPECT_EQ(logcursor->shortcut(), QKeySequence("F5"));
    EXPECT_EQ(logcursor->shortcutContext(), Qt::WidgetWithChildrenShortcut);
    EXPECT_TRUE(win->actions().contains(logcursor));
}

TEST(WindowTools, TheSpectrumToolBarKeepsItsButtonsAndHiddenOnes) {
    tfixture f("spectrum");
    auto* win = dynamic_cast<tspectrumwindow*>(f.w.windows().window("spectrum"));
    ASSERT_NE(win, nullptr);
    EXPECT_EQ(layout_of(win->toolbar()).toStdString(),
              "Log cursor, Log spectrum, Log meas., Show log, -, Don't snap, Snap to curve, "
              "Snap to peak, (Show centroid), (Show F0), -, Lock snap ch., Show grid, LPC envelope, -, "
              "Copy as image, Export...");
    win->resize(1600, win->height());  // every button on the bar, none behind its extension
    settle();
    // The grid shows by default; the button takes it away.
    EXPECT_TRUE(win->action("showgridaction")->isChecked());
    click_tool(win->toolbar(), "showgridaction");
    EXPECT_FALSE(win->action("showgridaction")->isChecked());
    click_tool(win->toolbar(), "snaptopeakaction");
    EXPECT_TRUE(win->action("snaptopeakaction")->isChecked());
    EXPECT_FALSE(win->action("dontsnapaction")->isChecked());
}

TEST(WindowTools, ARecentFileEntryInTheFileMenuOpensItAgain) {
    QTemporaryDir dir;
    const QString first = write_tone(dir, "first.wav", 800);
    const QString second = write_tone(dir, "second.wav", 1600);
    tfixture f;
    TMainWindow& w = f.w;
    trecentfilesmenu* recent = w.settings().sound();
    ASSERT_NE(recent, nullptr);
    recent->list().AllowFileOnRAMDisk = true;  // the temporary folder may be tmpfs
    recent->list().mount_table = [] { return std::vector<tmountentry>{{"/dev/sda1", "/", "ext4"}}; };
    ASSERT_TRUE(w.files().open_document(first.toStdString()));
    ASSERT_TRUE(w.files().open_document(second.toStdString()));
    EXPECT_EQ(w.document().channel(0).sample_count(), 1600);

    // The list stands after "Export..." behind a separator, the newest
    // first, and ends with its clear item.
    QMenu* file = w.commands().menu("&File");
    QStringList captions;
    for (QAction* a : file->actions()) captions << (a->isSeparator() ? "-" : a->text());
    const int at = captions.indexOf("Export...");
    ASSERT_GE(at, 0);
    ASSERT_EQ(recent->entry_actions().size(), 2u);
    EXPECT_EQ(captions.mid(at + 1, 5).join("|").toStdString(),
              ("-|" + recent->entry_actions()[0]->text() + "|" + recent->entry_actions()[1]->text() +
               "|&Clear list...|Export labels as TextGrid...")
                  .toStdString());
    EXPECT_TRUE(recent->entry_actions()[1]->text().contains("first.wav"));
    EXPECT_TRUE(recent->clear_action()->isEnabled());

    // The entry clicked in the opened menu.
    file->popup(w.mapToGlobal(QPoint(0, 0)));
    settle();
    QAction* entry = recent->entry_actions()[1];
    QTest::mouseClick(file, Qt::LeftButton, {}, file->actionGeometry(entry).center());
    settle();
    EXPECT_EQ(QString::fromStdString(w.document().filename()), first);
    EXPECT_EQ(w.document().channel(0).sample_count(), 800);
}
