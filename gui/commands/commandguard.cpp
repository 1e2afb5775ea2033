#include "gui/commands/commandguard.h"

#include <QMainWindow>
#include <QStatusBar>
#include <QWidget>
#include <cstdio>
#include <exception>
#include <optional>

#include <QApplication>

#include "engine/core/prompter.h"
#include "engine/history/checkpoint.h"
#include "engine/history/undohistory.h"

namespace tessal {

namespace {
tprompter* errordisplay = nullptr;
tdocument* guardeddocument = nullptr;
}

void set_guarded_document(tdocument* doc) { guardeddocument = doc; }

tdocument* guarded_document() { return guardeddocument; }

void set_error_display(tprompter* p) { errordisplay = p; }

tprompter* error_display() { return errordisplay; }

void show_error(const std::string& text) {
    if (errordisplay) {
        try {
            errordisplay->ask(text, "Tessal", tbuttons::ok, ticon::error);
            return;
        } catch (...) {
        }
    }
    std::fprintf(stderr, "tessal: %s\n", with_newlines(text).c_str());
}

namespace {

// A dialog's OK names its change after the dialog (one on screen: a closed
// dialog may still count as the active window). Mouse and key input in
// the main window gets no name here: the work names its step once it knows
// what it did (name_step), or a dialog it opens does.
std::string default_step_name(const QString& name) {
    if (!name.isEmpty()) return name.toStdString();
    QWidget* w = QApplication::activeModalWidget();
    if (!w) w = QApplication::activeWindow();
    if (w && w->isVisible() && !qobject_cast<QMainWindow*>(w) && !w->windowTitle().isEmpty())
        return w->windowTitle().toStdString();
    return {};
}

}  // namespace

void name_step(tdocument* doc, const QString& name) {
    if (name.isEmpty()) return;
    if (auto* history = doc ? dynamic_cast<tundohistory*>(doc->recorder()) : nullptr)
        history->rename(name.toStdString());
}

bool run_guarded(tdocument* doc, const std::function<void()>& work, bool withsamples,
                 const QString& name) {
    if (auto* history = doc ? dynamic_cast<tundohistory*>(doc->recorder()) : nullptr) {
        std::string message;
        const bool outermost = !history->recording();
        try {
            history->begin(default_step_name(name));
        } catch (const std::exception& e) {
            show_error(failure_text(e));
            return false;
        }
        try {
            work();
            if (outermost && history->step_name().empty()) history->rename("Change");
            history->commit();
            return true;
        } catch (const std::exception& e) {
            message = failure_text(e);
        } catch (...) {
            message = "The command could not be completed.\rNothing was changed.";
        }
        history->rollback();
        show_error(message);
        return false;
    }
    std::optional<tdocumentcheckpoint> before;
    try {
        if (doc) before.emplace(*doc, withsamples ? tdocumentcheckpoint::default_samplebudget : 0);
    } catch (const std::exception& e) {
        // No room even to remember the document: the command does not run.
        show_error(failure_text(e));
        return false;
    }
    std::string message;
    try {
        work();
        return true;
    } catch (const std::exception& e) {
        message = failure_text(e);
    } catch (...) {
        message = "The command could not be completed.\rNothing was changed.";
    }
    if (doc && before) before->restore(*doc);
    show_error(message);
    return false;
}

QString paint_failure_text(tpaintstep step, int chno) {
    QString t = QString("Ykk! ") + QChar(static_cast<char>(step));
    if (chno >= 0) t += QString::number(chno);
    return t;
}

bool paint_guarded(QWidget* w, tpaintstep step, int chno, const std::function<void()>& work) {
    try {
        work();
        return true;
    } catch (...) {
    }
    try {
        if (auto* main = qobject_cast<QMainWindow*>(w ? w->window() : nullptr))
            main->statusBar()->showMessage(paint_failure_text(step, chno));
        else
            std::fprintf(stderr, "tessal: %s\n", qPrintable(paint_failure_text(step, chno)));
    } catch (...) {
    }
    return false;
}

}  // namespace tessal
