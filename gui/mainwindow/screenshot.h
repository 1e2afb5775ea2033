// Renders a window to a PNG without a display: the way to look at the
// program from a script. The picture gets a plain title bar with the
// window's caption, since an offscreen window has no frame; a named menu of
// the main window can be shown opened below the menu bar, and an open popup
// (a combo box's list) where it lies over the window.
#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace tessal {

// Lays `w` out at `size` (when valid), renders it and writes the PNG.
// Returns false with a message on stderr when the file cannot be written.
bool render_window_png(QWidget* w, const QString& path, const QString& openmenu = {},
                       QWidget* popup = nullptr);

// Told each time a window has been drawn for its picture, before the PNG is
// written (the program's own timing of its first drawing).
std::function<void()>& drawn_hook();

}  // namespace tessal
