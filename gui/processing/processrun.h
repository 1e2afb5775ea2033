// tprocessrun: a process run on the user-interface thread that keeps the
// program painting. The steps touch the document, which belongs to this
// thread, so the run stays here; from the runner's progress callback
// (at most about 20 times a second) it lets Qt paint and deliver input, and
// an event filter on the application lets through only Esc, which cancels
// the run. Every other key, click and close waits until the run is over,
// so nobody edits the document while a step works on it (a message box a
// step opens takes its own input as usual). The running
// step's text and a progress bar show in the main window's status bar.
#pragma once

#include <QObject>
#include <atomic>
#include <functional>

#include "engine/process/procrunner.h"

class QMainWindow;
class QProgressBar;

namespace tessal {

class tprocessrun : public QObject {
    Q_OBJECT

public:
    explicit tprocessrun(QMainWindow* main);
    ~tprocessrun() override;

    tprocresult run(tprocrunner& runner, tprocsteps& steps, tprocenv& env);
    bool running() const { return running_; }
    // Esc does this.
    void cancel() { cancel_ = true; }

    // Told after each progress report the window took (tests).
    std::function<void(int stepno, double fraction)> onprogress;

protected:
    bool eventFilter(QObject* o, QEvent* e) override;

private:
    QMainWindow* main_;
    QProgressBar* bar_ = nullptr;
    std::atomic<bool> cancel_{false};
    bool running_ = false;
};

}  // namespace tessal
