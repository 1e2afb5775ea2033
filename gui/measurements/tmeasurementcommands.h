// tmeasurementcommands: the main window's measurement work on the Qt side.
// It owns the engine's tmeasurements (countdown, pass, data log), drives its
// tick() from a 100 ms timer, shows the pass's progress in the status bar,
// and gives the main window its commands "Log measurements" (F5) and
// "Copy measurements" (Ctrl+M). The main window holds it as a member after
// the document (it listens to the document, so it must go first) and makes
// it before its menus are built.
#pragma once

#include <QObject>
#include <QTimer>
#include <vector>

#include "engine/core/prompter.h"
#include "engine/document/measurements.h"
#include "gui/mainwindow/commandtable.h"
#include "gui/platform/qtclipboard.h"

class QMainWindow;

namespace tessal {

class tmeasurementcommands : public QObject, public ttextclipboard {
    Q_OBJECT

public:
    tmeasurementcommands(tdocument& doc, tprompter& prompter, QMainWindow* owner);

    tmeasurements& measurements() { return meas_; }
    tprompter& prompter() { return prompter_; }
    // The clipboard the commands and the data log write to; this object
    // forwards to it, so windows made earlier follow set_clipboard.
    ttextclipboard& clipboard() { return *this; }
    void set_text(const std::string& text) override { clipboard_->set_text(text); }
    // Tests put a memory clipboard here; null goes back to the system one.
    void set_clipboard(ttextclipboard* c) { clipboard_ = c ? c : &qtclipboard_; }
    QTimer* timer() { return &timer_; }
    // Called by Log measurements to show the data log window.
    std::function<void()> show_log;

    std::vector<tcommand> commands();

private:
    tmeasurements meas_;
    tprompter& prompter_;
    QMainWindow* owner_;
    tqtclipboard qtclipboard_;
    ttextclipboard* clipboard_ = &qtclipboard_;
    QTimer timer_;
};

}  // namespace tessal
