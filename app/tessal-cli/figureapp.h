// What a command needs to draw a figure (gui/figure): a QGuiApplication,
// made on first use on the offscreen platform unless QT_QPA_PLATFORM says
// otherwise, so batch runs never need a display and commands that draw
// nothing never start Qt.
#pragma once

#include <string>

#include "gui/figure/figure.h"

namespace tessal::cli {

// Makes the application once; false when Qt could not start.
bool ensure_figure_app();

// Draws `f` at `size` (its plot area laid out around it) and writes it to
// `path` (PNG, SVG or PDF by the extension); prints the reason and returns
// false when it cannot.
bool write_cli_figure(const tfigure& f, const std::string& path, const QSize& size, int dpi);

// --dpi N (default 96); false with the usage message printed.
bool parse_dpi(const std::string* text, int& dpi);

// "speech.wav, channel 0 (Left), 0.120-1.500 s"
std::string figure_title(const std::string& file, int channo, const std::string& channame, double t1,
                         double t2);

}  // namespace tessal::cli
