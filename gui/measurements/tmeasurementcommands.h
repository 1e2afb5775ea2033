// tmeasurementcommands: the measurement feature of the main window on the
// Qt side. It drives the context's tmeasurements (countdown, pass, data
// log) from a 100 ms timer, shows the pass's progress in the status bar,
// adds the commands "Show log", "Log measurements" (F5), "Copy
// measurements" (Ctrl+M) and "Measurements...", and the windows
// "Measurements", "Data log" and "Logged measurements". A double-click on
// a channel's information line opens the Measurements dialog.
#pragma once

#include <QObject>
#include <QTimer>

#include "gui/context/appcontext.h"

namespace tessal {

class tmeasurementcommands : public QObject, public tfeaturemodule {
    Q_OBJECT

public:
    explicit tmeasurementcommands(tappcontext& ctx);
    ~tmeasurementcommands() override;

    tmeasurements& measurements() { return ctx.measurements; }
    tprompter& prompter() { return ctx.prompter; }
    // The clipboard the commands and the data log write to; windows keep
    // it, so they follow set_clipboard.
    ttextclipboard& clipboard() { return ctx.clipboard; }
    // Tests put a memory clipboard here; null goes back to the system one.
    void set_clipboard(ttextclipboard* c) { ctx.clipboard.set_texts(c); }
    QTimer* timer() { return &timer_; }

private:
    QTimer timer_;
};

}  // namespace tessal
