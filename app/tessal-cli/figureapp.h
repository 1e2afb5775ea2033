// What a command needs to draw a figure (gui/figure): a QGuiApplication,
// made on first use on the offscreen platform unless QT_QPA_PLATFORM says
// otherwise, so batch runs never need a display and commands that draw
// nothing never start Qt.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "gui/figure/figure.h"
#include "gui/figure/figuretitle.h"

namespace tessal::cli {

struct targs;

// Makes the application once; false when Qt could not start.
bool ensure_figure_app();

// Draws `f` at `size` (its plot area laid out around it) and writes it to
// `path` (PNG, SVG or PDF by the extension); prints the reason and returns
// false when it cannot.
bool write_cli_figure(const tfigure& f, const std::string& path, const QSize& size, int dpi);

// --dpi N (default 96); false with the usage message printed.
bool parse_dpi(const std::string* text, int& dpi);

// --figure OUT.png|svg|pdf [--size WxH] [--dpi N] of the analysis commands
// (spectrum, histogram, correlation, correlogram): the figure the window
// exports, written beside the command's usual output.
struct tfigureoptions {
    std::optional<std::string> path;  // none: no figure
    QSize size{800, 500};              // figure pixels of 1/96 inch
    int dpi = 96;
};
// Reads the three options; on a bad one says why with `usage` and returns
// false (the command then exits with exit_usage, writing nothing). --size
// and --dpi without --figure are refused too, and so is a --figure that
// names one of the command's input files.
bool read_figure_options(const targs& a, const char* usage, tfigureoptions& out);
// Writes the figure `make` describes when --figure was given: true when
// written or not asked for; false (reason printed) when it failed, the
// command then exits with exit_input.
bool write_figure_option(const tfigureoptions& o, const std::function<tfigure()>& make);

}  // namespace tessal::cli
