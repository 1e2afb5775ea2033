// Renders a window to a PNG without a display: the way to look at the
// program from a script. The picture gets a plain title bar with the
// window's caption, since an offscreen window has no frame; a named menu of
// the main window can be shown opened below the menu bar, and an open popup
// (a combo box's list) where it lies over the window.
#pragma once

#include <QString>
#include <functional>

#include <QList>
#include <QStringList>

class QWidget;

namespace tessal {

class TMainWindow;

// Lays `w` out at `size` (when valid), renders it and writes the PNG.
// Returns false with a message on stderr when the file cannot be written.
bool render_window_png(QWidget* w, const QString& path, const QString& openmenu = {},
                       QWidget* popup = nullptr);

// Renders the primary screen's available area as a user would see it: the
// desktop, and every shown top-level window at its place with a plain
// title bar above it (bottom to top: the main window first, then the
// others in the order they were shown).
bool render_desktop_png(const QString& path, const QList<QWidget*>& windows);

// Shows each of the program's windows in turn (the main window, every
// window the screenshots picture, the label text dialog) where it first
// opens, and lists what check_layout finds in it.
QStringList check_all_windows(TMainWindow& main);

// Told each time a window has been drawn for its picture, before the PNG is
// written (the program's own timing of its first drawing).
std::function<void()>& drawn_hook();

}  // namespace tessal
