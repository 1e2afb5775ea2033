// The settings through the main window: a restart brings back preferences,
// window places (pulled onto the desktop) and save-format choices; the
// recent-files lists sit where the menus expect them; the Settings dialog
// accepts only valid numbers and copies its values; the Colors dialog
// recolours a channel.
#include <memory>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "gui/mainwindow/mainwindow.h"
#include "gui/measurements/tmeasurementcommands.h"
#include "gui/settings/tcolorsdialog.h"
#include "gui/settings/tmainsettings.h"
#include "gui/settings/trecentfilesmenu.h"
#include "gui/settings/tsettingsdialog.h"
#include "support/scriptedprompter.h"
#include "windowfixture.h"
#include "support/settingswrites.h"

using namespace tessal;
using namespace tessal::testing;

namespace {

// Points the per-user data folder at a temporary one for the test.
struct tdatahome {
    QTemporaryDir dir;
    QByteArray old = qgetenv("XDG_DATA_HOME");
    bool had = qEnvironmentVariableIsSet("XDG_DATA_HOME");
    tdatahome() { qputenv("XDG_DATA_HOME", dir.path().toLocal8Bit()); }
    ~tdatahome() {
        if (had)
            qputenv("XDG_DATA_HOME", old);
        else
            qunsetenv("XDG_DATA_HOME");
    }
};

void close_window(TMainWindow& w) {
    QCloseEvent e;
    QApplication::sendEvent(&w, &e);
}

}  // namespace

TEST(Settings, ARestartBringsTheSettingsBack) {
    tdatahome home;
    tessal::testing::tsettingswrites writes;
    const QRect desk = QGuiApplication::primaryScreen()->availableGeometry();
    QSize logsize;
    {
        tscriptedmain m;
        TMainWindow& w = m.w;
        EXPECT_EQ(w.document().prefs.nSignificantDigits, 5);
        EXPECT_EQ(w.document().selectmode, selstereo);
        w.document().prefs.nSignificantDigits = 8;
        w.document().prefs.dBFormat = "0.0";
        w.document().selectmode = 3;
        w.files().savefilter[2].used = !w.files().savefilter[2].used;
        w.filecommands().savefilterindex = 1;
        // The spectrum window was last seen far right on a bigger desktop.
        QWidget* spectrumwin = w.windows().window("spectrum");
        spectrumwin->resize(300, 200);
        spectrumwin->move(desk.right() + 500, desk.top() + 10);
        // The data log was last seen at a place that fits this screen.
        QWidget* logwin = w.windows().window("datalog");
        logwin->resize(logwin->sizeHint().expandedTo(logwin->minimumSizeHint()).boundedTo(desk.size() - QSize(20, 30)));
        logwin->move(desk.left() + 10, desk.top() + 20);
        logsize = logwin->size();
        close_window(w);
        EXPECT_TRUE(m.prompter->asked.empty());
    }
    EXPECT_TRUE(QFileInfo::exists(tmainsettings::settings_folder() + "/tessalsettings.xiifile"));
    tscriptedprompter w_prompter;
    TMainWindow w(&w_prompter);
    const bool used2 = !default_savefilters()[2].used;
    w.first_activation({});
    EXPECT_EQ(w.document().prefs.nSignificantDigits, 8);
    EXPECT_EQ(w.document().prefs.dBFormat, "0.0");
    EXPECT_EQ(w.document().selectmode, 3);
    EXPECT_EQ(w.files().savefilter[2].used, used2);
    EXPECT_EQ(w.filecommands().savefilterindex, 1);
    // A place that fits is used as it was; one that does not is not, and
    // the window opens at its first place, wholly on the screen.
    QWidget* logwin = w.windows().window("datalog");
    EXPECT_EQ(logwin->pos(), QPoint(desk.left() + 10, desk.top() + 20));
    EXPECT_EQ(logwin->size(), logsize);
    QWidget* spectrumwin = w.windows().window("spectrum");
    w.show();
    w.windows().show("spectrum");
    settle();
    EXPECT_TRUE(desk.contains(spectrumwin->frameGeometry()));
    EXPECT_GE(spectrumwin->width(), spectrumwin->minimumSizeHint().width());
    spectrumwin->hide();
}

TEST(Settings, RecentFilesSitInTheirMenus) {
    tdatahome home;
    tscriptedprompter w_prompter;
    TMainWindow w(&w_prompter);
    w.first_activation({});
    tmainsettings& s = w.settings();
    ASSERT_NE(s.sound(), nullptr);
    s.sound()->list().AllowFileOnRAMDisk = true;  // the temporary folder may be tmpfs
    const QString a = home.dir.filePath("one.wav"), b = home.dir.filePath("t&b.wav");
    for (const QString& n : {a, b}) {
        QFile f(n);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    s.sound()->list().add(a.toStdString());
    s.sound()->list().add(b.toStdString());
    QMenu* file = w.commands().menu("&File");
    const QList<QAction*> acts = file->actions();
    ASSERT_GE(acts.size(), 11);
    EXPECT_EQ(acts[6]->objectName(), "exportaction");
    EXPECT_TRUE(acts[7]->isSeparator());
    EXPECT_EQ(acts[8]->text(), "&1 " + QDir::cleanPath(b).replace("&", "&&"));
    EXPECT_EQ(acts[9]->text(), "&2 " + QDir::cleanPath(a));
    EXPECT_EQ(acts[10]->text(), "&Clear list...");
    EXPECT_EQ(acts.back()->objectName(), "exitaction");
    QMenu* proc = w.commands().menu("&Process");
    EXPECT_EQ(proc->actions().back()->text(), "&Clear list...");
    EXPECT_FALSE(proc->actions().back()->isEnabled());  // nothing to clear yet

    // Opening a file through the document puts it first.
    s.sound()->list().click(1, w.measurements().prompter());
    EXPECT_EQ(s.sound()->list().entries()[0], QDir::cleanPath(a).toStdString());
    s.sound()->list().clear();
    EXPECT_EQ(file->actions()[8]->text(), "&Clear list...");
}

TEST(Settings, ATestRunReadsTheSettingsButNeverWritesThemOrTheRecentFiles) {
    tdatahome home;
    const QString wav = home.dir.filePath("take.wav");
    {
        tscriptedmain m;
        TMainWindow& w = m.w;
        tdocument& doc = w.document();
        m.prompter->answers = {tanswer::yes};  // save as wav anyway
        doc.set_totnchans(1);
        doc.channel(0).sampfreq = 8000;
        doc.channel(0).nbits = 16;
        doc.channel(0).set_samples(tsinglearr(800, 0.25f));
        doc.channel(0).set_fsd(1);
        w.document().prefs.nSignificantDigits = 9;
        tmainsettings& s = w.settings();
        s.sound()->list().AllowFileOnRAMDisk = true;  // the temporary folder may be tmpfs
        doc.set_modified(false);
        ASSERT_TRUE(w.files().save_file(wav.toStdString(), 16, 0, 0, {}, tFormat::pcm));
        ASSERT_TRUE(w.files().open_document(wav.toStdString()));
        ASSERT_FALSE(s.sound()->list().entries().empty());  // the list itself still works
        close_window(w);
    }
    // Nothing but the signal file itself was written into the data folder.
    QStringList written;
    QDirIterator it(home.dir.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) written << it.next();
    EXPECT_EQ(written, QStringList{wav});
    tscriptedprompter again_prompter;
    TMainWindow again(&again_prompter);
    again.first_activation({});
    EXPECT_EQ(again.document().prefs.nSignificantDigits, 5);
    EXPECT_TRUE(again.settings().sound()->list().entries().empty());
}

TEST(Settings, TheDialogTakesOnlyValidNumbers) {
    tdatahome home;
    tscriptedprompter w_prompter;
    TMainWindow w(&w_prompter);
    w.first_activation({});
    auto* d = qobject_cast<tsettingsdialog*>(w.windows().window("settings"));
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->windowTitle(), "Settings");
    d->load();
    auto* digits = d->findChild<QLineEdit*>("digits");
    auto* seconds = d->findChild<QLineEdit*>("seconds");
    auto* rate = d->findChild<QLineEdit*>("samprate");
    ASSERT_TRUE(digits && seconds && rate);
    EXPECT_EQ(seconds->text(), "3");
    EXPECT_TRUE(d->okbutton()->isEnabled());
    rate->setText("44,1");
    EXPECT_FALSE(d->okbutton()->isEnabled());
    rate->setText("0");
    EXPECT_FALSE(d->okbutton()->isEnabled());
    rate->setText("16000");
    digits->setText("x");
    EXPECT_FALSE(d->okbutton()->isEnabled());
    digits->setText("25");  // clamped to 20
    seconds->setText("-4");  // clamped to 0
    d->findChild<QListWidget*>("formats")->item(0)->setCheckState(Qt::Unchecked);
    ASSERT_TRUE(d->okbutton()->isEnabled());
    d->okbutton()->click();
    EXPECT_EQ(w.document().prefs.nSignificantDigits, 20);
    EXPECT_EQ(w.document().prefs.SecondsFormat, "0.");
    EXPECT_EQ(w.document().prefs.DefaultSampFreq, 16000);
    EXPECT_FALSE(w.files().savefilter[0].used);
    EXPECT_EQ(d->findChild<QLabel*>("settingsfolder")->text(), tmainsettings::settings_folder());
}

TEST(Settings, ColorsChangeTheSelectedChannel) {
    tdatahome home;
    tscriptedprompter w_prompter;
    TMainWindow w(&w_prompter);
    w.first_activation({});
    w.document().set_totnchans(2);
    auto* d = qobject_cast<tcolorsdialog*>(w.windows().window("colors"));
    ASSERT_NE(d, nullptr);
    d->fill();
    ASSERT_EQ(d->list()->count(), 2);
    EXPECT_TRUE(d->list()->item(1)->text().startsWith("1: "));
    d->list()->setCurrentRow(1);
    d->choose_color = [](QColor& c) {
        c = QColor(0x12, 0x34, 0x56);
        return true;
    };
    d->change_color();
    EXPECT_EQ(w.document().channel(1).color, 0x563412u);
    d->choose_color = [](QColor&) { return false; };
    d->change_color();
    EXPECT_EQ(w.document().channel(1).color, 0x563412u);
}
