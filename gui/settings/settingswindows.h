// Makes the Settings and Colors dialogs for the main window's window set;
// null for any other window (or an owner that is not the main window).
#pragma once

#include <QWidget>

#include "gui/windows/windowset.h"

namespace tessal {

QWidget* make_settings_window(twindowid id, QWidget* owner);

}  // namespace tessal
