// The measurement windows for the window set: the "Measurements" dialog, the
// "Data log" and the "Logged measurements" memo, made for the main window
// that owns them.
#pragma once

#include <QWidget>

#include "gui/windows/windowset.h"

namespace tessal {

// The window for `id` when it is one of the three and `owner` is the main
// window; null otherwise (the caller makes its usual window).
QWidget* make_measurement_window(twindowid id, QWidget* owner);

}  // namespace tessal
