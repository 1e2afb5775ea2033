#include "gui/windows/windowjobs.h"

#include <QEventLoop>
#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QProgressDialog>
#include <QTimer>
#include <QWidget>

namespace tessal {

tjobline::tdelivery deliver_to(QObject* owner) {
    // A guarded pointer: the line goes before the window, so a delivery
    // never runs after, but a queued hand-back may still be in the event
    // queue when the window goes; Qt drops those with their context.
    QPointer<QObject> guard(owner);
    return [guard](tjobline::thandback back) {
        QObject* o = guard.data();
        if (!o) return;
        QMetaObject::invokeMethod(o, std::move(back), Qt::QueuedConnection);
    };
}

bool wait_with_progress(QWidget* parent, tjobline& line, const QString& label) {
    if (!line.busy()) return true;
    QProgressDialog dialog(label, "Cancel", 0, 1000, parent);
    dialog.setWindowModality(Qt::WindowModal);
    dialog.setMinimumDuration(300);
    dialog.setAutoClose(false);
    dialog.setAutoReset(false);
    QEventLoop loop;
    bool cancelled = false;
    QTimer poll;
    poll.setInterval(30);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (!line.busy()) {
            loop.quit();
            return;
        }
        dialog.setValue(static_cast<int>(line.progress() * 1000));
    });
    QObject::connect(&dialog, &QProgressDialog::canceled, &loop, [&] {
        cancelled = true;
        line.cancel();
        loop.quit();
    });
    poll.start();
    loop.exec();
    poll.stop();
    return !cancelled;
}

QString progress_text(const QString& what, double fraction) {
    return what + " - " + QString::number(fraction * 100, 'f', 1) + " %";
}

}  // namespace tessal
