// The one export every plot window offers: asks for a PNG, SVG or PDF file,
// the figure's size and its resolution, then writes the figure the window
// describes (gui/figure) and says why when it could not.
#pragma once

#include <QSize>
#include <QString>
#include <functional>

#include "gui/figure/figure.h"

class QWidget;

namespace tessal {

// The dialog's file filters, in the order offered.
extern const char* const figure_file_filters;

// The file question after size and resolution: the file to write, empty
// when cancelled, and in `filter` the filter chosen (offered: the one
// chosen last). The file dialog unless replaced (tests answer it).
using tfigurefileask = std::function<QString(QWidget* parent, const QString& filters, QString& filter)>;
extern tfigurefileask ask_figure_file;

// Asks for size, resolution and file; `make` describes the figure when it
// is written. `size` is the size offered first.
void export_figure_dialog(QWidget* parent, const std::function<tfigure()>& make, const QSize& size);

// Writes `f` to `path`; false with the reason in `error` (a path without a
// known extension is refused).
bool export_figure(const tfigure& f, const QString& path, const QSize& size, int dpi, QString* error);

}  // namespace tessal
