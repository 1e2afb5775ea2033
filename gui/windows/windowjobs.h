// A window's work off its thread: the delivery that brings a job line's
// hand-backs to the window's own event loop, the wait a command that needs
// a result makes (a progress dialog with Cancel, the event loop running)
// and the status text of a computation under way.
#pragma once

#include <QString>

#include "engine/jobs/jobline.h"

class QObject;
class QWidget;

namespace tessal {

// Hand-backs run on `owner`'s thread in its event loop; those still queued
// when `owner` goes are dropped. The line using it must go before `owner`
// does (a member of the window does).
tjobline::tdelivery deliver_to(QObject* owner);

// Waits until `line`'s newest request is handed back, showing `label` and
// its progress in a dialog over `parent` with a "Cancel" button (shown after
// a short moment, so a quick job shows nothing). True when the result (or
// its failure) was handed back; false when the user cancelled (the request is
// then cancelled and nothing is handed back). Never blocks the event loop.
bool wait_with_progress(QWidget* parent, tjobline& line, const QString& label);

// `what` + " - " + percent with one decimal + " %", e.g.
// "Calculating histogram - 42.0 %".
QString progress_text(const QString& what, double fraction);

}  // namespace tessal
