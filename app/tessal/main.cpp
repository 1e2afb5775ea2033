// tessal: the GUI program.
//
//   tessal [files...]
//   tessal --help | --version
//   tessal --screenshot OUT.png [--window CAPTION] [--menu NAME] [--dialog STEP]
//          [--cursor T] [--select FROM TO] [--freqcursor HZ] [--trigger ID,ID...]
//          [--leave-journal] [files...]
//   tessal --screenshot OUT.png --loading-screenshot LOAD.png file.wav
//   tessal --list-windows
//   tessal --check-layout [--cursor T] [--freqcursor HZ] [files...]
//   tessal --screenshot OUT.png --desktop [--open CAPTION]... [files...]
//
// With --screenshot the main window (or the secondary window with that
// caption) is laid out at 1280x800, rendered to a PNG, and the program ends.
// --dialog shows the settings dialog of step STEP (counting from 0) of the
// process in the processing window (a ".tessalproc" among the files).
// --cursor, --select and --freqcursor place the time cursor, the selection
// and the shared frequency cursor first, so analysis windows show a chosen
// moment.
// --trigger runs the menu commands with those ids first (questions are
// answered OK or Yes); --leave-journal then ends the run as a crash would,
// leaving the undo journal for "--window \"Recover changes\"", the picture
// of the question the next start asks.
// --loading-screenshot renders the main window as well at the moment a long
// file's progress bar first appears, while the file is still being read.
// Without a display it then runs on the offscreen platform.
// --check-layout opens every window in turn where it first opens and lists
// each text cut short or window reaching past the screen on stderr; it
// exits 1 when it found any.
// --desktop pictures the whole screen with the main window and the windows
// --open opened (in that order) at the places they open at.
//
// With TESSAL_TIMING=1 in the environment a screenshot run prints
//   tessal: opened at X s, first drawing at Y s
// on stderr: seconds from the start of main() until the files given are
// open, and until the window has been drawn for the picture (before the PNG
// is written).
#include <QMessageBox>
#include <QAbstractButton>
#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QTabWidget>
#include <QTimer>
#include <QAbstractItemView>
#include <QComboBox>
#include <QFileDialog>
#include <memory>
#include <QStringList>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "gui/commands/guardedapplication.h"
#include "gui/widgets/fileprogress.h"
#include "gui/mainwindow/mainwindow.h"
#include "engine/core/prompter.h"
#include "engine/document/title.h"
#include "gui/mainwindow/screenshot.h"
#include "gui/measurements/tmeasurementcommands.h"
#include "gui/editing/teditingcommands.h"
#include "gui/editing/undomodule.h"
#include "gui/processing/processingmodule.h"
#include "gui/processing/processingwindow.h"
#include "gui/processing/stepformdialog.h"
#include "gui/settings/tmainsettings.h"

namespace {

const char* const help_text =
    "usage: tessal [FILE...]\n"
    "       tessal --screenshot OUT.png [OPTION...] [FILE...]\n"
    "\n"
    "Records, shows, edits, processes and analyses multichannel voice and speech\n"
    "signals. Each FILE is opened in order: a process file (.tessalproc) in the\n"
    "processing window, the first other file as the document (.tessal, .wav, .smp,\n"
    ".orlet, or a file a codec entry converts).\n"
    "\n"
    "options:\n"
    "  -h, --help               this text\n"
    "  --version                the version\n"
    "  --screenshot OUT.png     lay the main window out at 1280x800, write it as a\n"
    "                           PNG picture and end; needs no display\n"
    "  --window CAPTION         the picture shows the window with this caption\n"
    "  --menu NAME              ... with this menu of the main window open\n"
    "  --dialog STEP            ... the settings dialog of step STEP (from 0) of the\n"
    "                           process among the files\n"
    "  --cursor T               place the time cursor at T seconds first\n"
    "  --select FROM TO         select FROM..TO seconds first\n"
    "  --freqcursor HZ          place the frequency cursor first\n"
    "  --click NAME             press the window's button of this object name (again: in turn)\n"
    "  --wait MS                let the program run this long (after the click before it)\n"
    "  --popup NAME             show the window's drop-down list of this name open\n"
    "  --tab TEXT               bring the window's page with this tab to the front\n"
    "  --main                   picture the main window, with --window's window open\n"
    "  --trigger ID,ID...       run these menu commands first (questions answered yes)\n"
    "  --leave-journal          then end as a crash would, leaving the undo journal\n"
    "  --loading-screenshot LOAD.png\n"
    "                           also a picture when a long file's progress first shows\n"
    "  --list-windows           print the captions --window pictures, one a line, and end\n"
    "  --check-layout           open every window in turn, list texts cut short and\n"
    "                           windows past the screen, exit 1 on any\n"
    "  --desktop                with --screenshot: picture the whole screen\n"
    "  --open CAPTION           ... with this window open as well (again: more)\n"
    "\n"
    "Screenshots read the settings but never change them. With TESSAL_TIMING=1 a\n"
    "screenshot run prints when the files were open and the window first drawn.\n"
    "tessal-cli(1) runs the same analyses without a window.\n";

}  // namespace

int main(int argc, char** argv) {
    const auto started = std::chrono::steady_clock::now();
    auto since_start = [started] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    };
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(help_text, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("tessal %s\n", TESSAL_VERSION);
            return 0;
        }
    }
    QString screenshot, windowcaption, menu, dialogstep, cursor, freqcursor, selfrom, selto,
        loadingshot, popupname, tabname, triggers;
    // --click and --wait in the order given: press, let run, press again...
    QStringList clicks, waits, opens;
    bool checklayout = false;
    bool desktop = false;
    bool leavejournal = false;
    bool wantscreenshot = false;
    bool picturemain = false;  // --main: the main window, with --window's window open
    bool listwindows = false;
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--screenshot") == 0 || std::strcmp(argv[i], "--loading-screenshot") == 0 ||
            std::strcmp(argv[i], "--list-windows") == 0 || std::strcmp(argv[i], "--check-layout") == 0)
            wantscreenshot = true;
    if (wantscreenshot && !std::getenv("QT_QPA_PLATFORM") && !std::getenv("DISPLAY") &&
        !std::getenv("WAYLAND_DISPLAY"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);

    tessal::tguardedapplication app(argc, argv);
    QApplication::setApplicationName("Tessal");
    QStringList files;
    QStringList args = QApplication::arguments();
    for (int i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        auto value = [&](QString& out) {
            if (i + 1 >= args.size()) {
                std::fprintf(stderr, "tessal: %s needs a value\n", qPrintable(a));
                std::exit(2);
            }
            out = args[++i];
        };
        if (a == "--screenshot")
            value(screenshot);
        else if (a == "--window")
            value(windowcaption);
        else if (a == "--menu")
            value(menu);
        else if (a == "--dialog")
            value(dialogstep);
        else if (a == "--cursor")
            value(cursor);
        else if (a == "--freqcursor")
            value(freqcursor);
        else if (a == "--select") {
            value(selfrom);
            value(selto);
        }
        else if (a == "--loading-screenshot")
            value(loadingshot);
        else if (a == "--click") {
            QString v;
            value(v);
            clicks << v;
        } else if (a == "--wait") {
            QString v;
            value(v);
            while (waits.size() + 1 < clicks.size()) waits << "0";
            waits << v;
        }
        else if (a == "--popup")
            value(popupname);
        else if (a == "--tab")
            value(tabname);
        else if (a == "--main")
            picturemain = true;
        else if (a == "--trigger")
            value(triggers);
        else if (a == "--leave-journal")
            leavejournal = true;
        else if (a == "--list-windows")
            listwindows = true;
        else if (a == "--check-layout")
            checklayout = true;
        else if (a == "--desktop")
            desktop = true;
        else if (a == "--open") {
            QString v;
            value(v);
            opens << v;
        }
        else
            files << a;
    }

    // A screenshot is not the user's session: it reads the settings but
    // leaves them and the recent-files lists as they were.
    if (wantscreenshot) tessal::tmainsettings::set_writes_allowed(false);
    if (!loadingshot.isEmpty()) {
        if (screenshot.isEmpty()) {
            std::fprintf(stderr, "tessal: --loading-screenshot goes with --screenshot\n");
            return 2;
        }
        tessal::tfileprogress::shown_hook() = [loadingshot, done = false](QWidget* window) mutable {
            if (done) return;
            done = true;
            if (QGuiApplication::platformName() == "offscreen") window->resize(1280, 800);
            tessal::render_window_png(window, loadingshot);
        };
    }
    // Commands run before the picture (--trigger) answer their questions
    // with OK or Yes. A screenshot run has no one to read a message box:
    // it prints the message and goes on.
    struct tyesprompter : tessal::tprompter {
        bool print = false;
        tessal::tanswer ask(const std::string& text, const std::string& caption, tessal::tbuttons b,
                            tessal::ticon) override {
            if (print) {
                std::fprintf(stderr, "tessal: %s: %s\n", caption.c_str(),
                             tessal::with_newlines(text).c_str());
            }
            return b == tessal::tbuttons::yesno || b == tessal::tbuttons::yesnocancel
                       ? tessal::tanswer::yes
                       : tessal::tanswer::ok;
        }
    };
    tyesprompter yes;
    yes.print = wantscreenshot;
    tessal::TMainWindow w(triggers.isEmpty() && !wantscreenshot ? nullptr : &yes);
    // The windows as their features registered them: scripts/screenshots
    // pictures each.
    if (listwindows) {
        for (const QString& caption : w.windows().screenshot_captions())
            std::printf("%s\n", qPrintable(caption));
        return 0;
    }
    // Whether a command (--trigger exitaction) closed the window before it
    // was ever shown: then the program ends instead of showing it.
    struct tclosewatch : QObject {
        bool closed = false;
        bool eventFilter(QObject* o, QEvent* e) override {
            if (e->type() != QEvent::Close) return false;
            o->event(e);  // the window's own closeEvent decides
            closed = e->isAccepted();
            return true;
        }
    };
    tclosewatch closewatch;
    w.installEventFilter(&closewatch);
    // The recovery question is a picture of its own.
    if (wantscreenshot && windowcaption != "Recover changes") w.set_offer_recovery(false);
    if (windowcaption == "Recover changes")
        w.undo().ask_recovery = [&](const QString& text, const QStringList& buttons) {
            QMessageBox box(QMessageBox::Question, "Recover changes", text, QMessageBox::NoButton, &w);
            for (const QString& b : buttons) box.addButton(b, QMessageBox::AcceptRole);
            box.addButton(QMessageBox::Close);
            box.show();
            QApplication::processEvents();
            std::exit(tessal::render_window_png(&box, screenshot) ? 0 : 1);
            return QString();
        };
    w.first_activation(files);
    const double openedat = since_start();
    const char* timing = std::getenv("TESSAL_TIMING");
    if (timing && *timing && std::strcmp(timing, "0") != 0)
        tessal::drawn_hook() = [openedat, since_start, done = false]() mutable {
            if (done) return;
            done = true;
            std::fprintf(stderr, "tessal: opened at %.3f s, first drawing at %.3f s\n", openedat,
                         since_start());
        };
    if (windowcaption == "Recover changes") {
        std::fprintf(stderr, "tessal: no journal to recover\n");
        return 1;
    }
    if (!selfrom.isEmpty()) w.document().theglobal.set_selection(selfrom.toDouble(), selto.toDouble());
    if (!triggers.isEmpty()) w.editing().is_foreground = [] { return true; };
    for (const QString& id : triggers.split(',', Qt::SkipEmptyParts)) {
        w.commands().refresh();
        QAction* act = w.commands().action(id);
        if (!act) {
            std::fprintf(stderr, "tessal: no command \"%s\"\n", qPrintable(id));
            return 1;
        }
        act->trigger();
        QApplication::processEvents();
    }
    w.removeEventFilter(&closewatch);
    if (closewatch.closed && screenshot.isEmpty()) return 0;
    if (leavejournal) {
        // As a crash would leave it: the journal on disk, nothing cleaned up.
        w.undo().flush_journal();
        std::_Exit(0);
    }
    if (!cursor.isEmpty()) w.document().theglobal.set_timecursor(cursor.toDouble());
    if (!freqcursor.isEmpty()) w.document().theglobal.set_freqcursor(freqcursor.toDouble());
    if (checklayout) {
        const QStringList findings = tessal::check_all_windows(w);
        for (const QString& f : findings) std::fprintf(stderr, "tessal: %s\n", qPrintable(f));
        std::fprintf(stderr, "tessal: check-layout: %d finding(s)\n", static_cast<int>(findings.size()));
        return findings.isEmpty() ? 0 : 1;
    }
    if (desktop) {
        if (screenshot.isEmpty()) {
            std::fprintf(stderr, "tessal: --desktop goes with --screenshot\n");
            return 2;
        }
        w.show();
        QList<QWidget*> shown{&w};
        for (const QString& caption : opens) {
            QString key;
            for (const QString& k : w.windows().keys())
                if (w.windows().caption(k) == caption) key = k;
            if (key.isEmpty()) {
                std::fprintf(stderr, "tessal: no window with the caption \"%s\"\n", qPrintable(caption));
                return 1;
            }
            w.windows().show(key);
            shown << w.windows().window(key);
            QApplication::processEvents();
        }
        w.measurements().measurements().flush();
        return tessal::render_desktop_png(screenshot, shown) ? 0 : 1;
    }
    // The offscreen platform has no real screen: screenshots there are
    // drawn at one fixed size. On a real screen the window keeps the size
    // it opens at on that screen.
    if (!screenshot.isEmpty() && QGuiApplication::platformName() == "offscreen") w.resize(1280, 800);
    if (screenshot.isEmpty()) {
        w.show();
        return app.exec();
    }

    QWidget* target = &w;
    std::unique_ptr<QWidget> dialog;
    QWidget* popup = nullptr;
    if (!dialogstep.isEmpty()) {
        bool ok = false;
        const int step = dialogstep.toInt(&ok);
        tessal::tstepformdialog* d = ok ? w.processing().window()->make_step_dialog(step) : nullptr;
        if (!d) {
            std::fprintf(stderr, "tessal: step %s has no settings dialog\n", qPrintable(dialogstep));
            return 1;
        }
        dialog.reset(d);
        // At the size it opens at: the whole form where the screen holds it.
        d->show();
        target = d;
    } else if (windowcaption == "Save as") {
        // The save dialog, opened on its filter list.
        auto* d = w.filecommands().make_save_dialog(
            QString::fromStdString(tessal::file_name_part(w.document().filename())));
        dialog.reset(d);
        d->resize(760, 480);
        d->show();
        for (QComboBox* box : d->findChildren<QComboBox*>())
            if (box->count() > 1 && box->objectName() == "fileTypeCombo") {
                box->showPopup();
                popup = box->view()->window();
            }
        target = d;
    } else if (!windowcaption.isEmpty()) {
        w.show();
        target = w.windows().find(windowcaption);
        if (!target) {
            std::fprintf(stderr, "tessal: no window with the caption \"%s\"\n",
                         qPrintable(windowcaption));
            return 1;
        }
        target->resize(target->sizeHint());
        target->show();
        // A window caught at work: press one of its buttons (by object
        // name) and let it run for a while before the picture.
        for (qsizetype k = 0; k < std::max(clicks.size(), waits.size()); ++k) {
            if (k < clicks.size()) {
                auto* b = target->findChild<QAbstractButton*>(clicks[k]);
                if (!b) {
                    std::fprintf(stderr, "tessal: no button \"%s\"\n", qPrintable(clicks[k]));
                    return 1;
                }
                b->click();
            }
            if (k < waits.size()) {
                QEventLoop loop;
                QTimer::singleShot(waits[k].toInt(), &loop, &QEventLoop::quit);
                loop.exec();
            }
        }
        // A page of the window brought to the front (by its tab's text).
        if (!tabname.isEmpty()) {
            bool found = false;
            for (QTabWidget* tabs : target->findChildren<QTabWidget*>())
                for (int t = 0; t < tabs->count(); ++t)
                    if (tabs->tabText(t) == tabname) {
                        tabs->setCurrentIndex(t);
                        found = true;
                    }
            if (!found) {
                std::fprintf(stderr, "tessal: no page \"%s\"\n", qPrintable(tabname));
                return 1;
            }
        }
        // A drop-down list of the window shown open (by object name).
        if (!popupname.isEmpty()) {
            auto* box = target->findChild<QComboBox*>(popupname);
            if (!box) {
                std::fprintf(stderr, "tessal: no list \"%s\"\n", qPrintable(popupname));
                return 1;
            }
            box->showPopup();
            popup = box->view()->window();
        }
    }
    if (picturemain) target = &w;
    // A picture shows the document as a user sees it once the measurement
    // pass has run, whatever the machine's speed.
    w.measurements().measurements().flush();
    QApplication::processEvents();
    return tessal::render_window_png(target, screenshot, menu, popup) ? 0 : 1;
}
