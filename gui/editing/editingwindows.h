// The editing windows for the window set: "Edit levels", "Set Full Scale
// Deflection (FSD)", "Align channels", "Channel information", "Label
// properties" and "Notes for channel", made for the main window that owns
// them.
#pragma once

#include <QWidget>

#include "gui/windows/windowset.h"

namespace tessal {

// The window for `id` when it is one of the six and `owner` is the main
// window; null otherwise (the caller makes its usual window).
QWidget* make_editing_window(twindowid id, QWidget* owner);

}  // namespace tessal
