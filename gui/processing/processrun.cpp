#include "gui/processing/processrun.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMainWindow>
#include <QProgressBar>
#include <QStatusBar>
#include <algorithm>

namespace tessal {

tprocessrun::tprocessrun(QMainWindow* main) : QObject(main), main_(main) {}

tprocessrun::~tprocessrun() {
    if (running_) qApp->removeEventFilter(this);
}

bool tprocessrun::eventFilter(QObject* o, QEvent* e) {
    // A message a step shows (a warning box) is modal itself and must be
    // answerable.
    if (!running_ || QApplication::activeModalWidget()) return QObject::eventFilter(o, e);
    switch (e->type()) {
        case QEvent::KeyPress:
            if (static_cast<QKeyEvent*>(e)->key() == Qt::Key_Escape) cancel();
            return true;
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::KeyRelease:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::Wheel:
        case QEvent::ContextMenu:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::Drop:
        case QEvent::DragEnter:
        case QEvent::DragMove:
            return true;
        case QEvent::Close:
            // Closing a window (or the program) waits for the run.
            e->ignore();
            return true;
        default: return QObject::eventFilter(o, e);
    }
}

tprocresult tprocessrun::run(tprocrunner& runner, tprocsteps& steps, tprocenv& env) {
    if (running_) return {};
    cancel_ = false;
    running_ = true;
    QStatusBar* status = main_->statusBar();
    if (!bar_) {
        bar_ = new QProgressBar;
        bar_->setObjectName("processprogress");
        bar_->setRange(0, 1000);
        bar_->setMaximumWidth(200);
        bar_->setTextVisible(false);
        status->addPermanentWidget(bar_);
    }
    bar_->setValue(0);
    bar_->show();
    qApp->installEventFilter(this);

    QElapsedTimer since;
    since.start();
    const int n = std::max<int>(1, static_cast<int>(steps.size()));
    auto oldstatus = runner.onstatus;
    runner.onstatus = [&](const std::string& s) {
        if (oldstatus) oldstatus(s);
        status->showMessage(QString::fromStdString(s));
        status->repaint();
    };
    env.cancel = &cancel_;
    env.onprogress = [&](int stepno, double fraction) {
        if (since.elapsed() < 50 && fraction > 0 && fraction < 1) return;
        since.restart();
        bar_->setValue(static_cast<int>(1000.0 * (stepno + std::clamp(fraction, 0.0, 1.0)) / n));
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        if (onprogress) onprogress(stepno, fraction);
    };

    tprocresult r;
    try {
        r = runner.run(steps, env);
    } catch (...) {
        qApp->removeEventFilter(this);
        running_ = false;
        runner.onstatus = oldstatus;
        bar_->hide();
        throw;
    }
    qApp->removeEventFilter(this);
    running_ = false;
    runner.onstatus = oldstatus;
    env.onprogress = nullptr;
    env.cancel = nullptr;
    bar_->hide();
    return r;
}

}  // namespace tessal
