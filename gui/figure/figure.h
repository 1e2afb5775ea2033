// A figure for a paper: a title line, the plot with its x and y axes (ticks,
// tick labels, the axis texts with their units) and, where colour carries a
// value, a colour scale with its values. The plot windows export what they
// show through it and tessal-cli draws the same figures through it, so a
// batch run and the window give the same picture.
//
// Needs QtGui and QtSvg only (no widgets): tessal-cli draws figures with a
// QGuiApplication on the offscreen platform. Where the numbers come from:
// tick positions and which labels are left out are the axis model's
// (engine/core TAxis, which drops labels that would touch), the colour
// scale's steps are colour_scale_steps (engine/core/ticklabels.h).
//
// Sizes are in figure pixels of 1/96 inch; `dpi` decides how many image
// pixels a PNG has (size * dpi / 96) and the PDF's resolution. The SVG and
// PDF are vector drawings: lines, curves and texts stay vectors, a raster
// picture (a spectrogram strip) is embedded as an image.
#pragma once

#include <QByteArray>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QSize>
#include <functional>
#include <optional>
#include <string>

#include "engine/core/taxis.h"
#include "gui/figure/figuretitle.h"

namespace tessal {

struct tfigureaxis {
    double lo = 0, hi = 1;
    bool logarithmic = false;
    bool music = false;  // note names on a logarithmic frequency axis
    std::string text;    // with its unit: "Time [s]"
    int tickspace = 40;  // pixels aimed at between ticks, as on screen
};

struct tfigurescale {
    double lo = 0, hi = 1;
    std::string text;                         // "Level [dB]"
    std::function<QRgb(double)> colour;       // of a fraction 0 (lo) .. 1 (hi)
};

struct tfigure {
    std::string title;  // file, channel and span
    tfigureaxis x, y;
    // Draws the plot area, `size` figure pixels from (0, 0) (clipped to it),
    // with the figure's two axes laid out for that size.
    std::function<void(QPainter&, const QSize&, TAxis& x, TAxis& y)> paint;
    std::optional<tfigurescale> scale;
    // When set, fits the y axis to the plot's size before the figure is
    // laid out (a histogram's time axis leaves room for its text).
    std::function<void(tfigureaxis& y, const QSize& plot)> fit_y;
    // False for a drawing without value axes (the palate): the plot area
    // only, framed by nothing.
    bool axes = true;
};

// An axis text that is a bare unit, as a window's narrow axis shows it,
// with the quantity's name for a figure: "[Hz]" "Frequency [Hz]", "[s]"
// "Time [s]", "[dB]" "Level [dB]"; any other text as it is.
std::string named_axis_text(const std::string& text);

// The font of the figure's tick labels and axis texts.
QFont figure_label_font();

// Where the parts of a figure of `size` lie.
struct tfigurelayout {
    QRect plot;        // the plot area
    QRect scalebar;    // the colour bar (empty without a scale)
    int titlebase = 0; // the title's top
    tfigureaxis y;     // the figure's y axis, fitted to the plot (fit_y)
};
tfigurelayout layout_figure(const tfigure& f, const QSize& size);
// The figure size whose plot area is `plot` (for a picture with one image
// pixel per plot pixel).
QSize figure_size_around(const tfigure& f, const QSize& plot);

// Draws the whole figure at `size` figure pixels from (0, 0).
void draw_figure(QPainter& p, const tfigure& f, const QSize& size);
QImage figure_image(const tfigure& f, const QSize& size, int dpi = 96);

// "png", "svg", "pdf" from the file name's extension (any case), else "".
std::string figure_format(const std::string& path);
// The figure as a file's bytes in `format`; empty with `error` set when it
// cannot be drawn.
QByteArray figure_bytes(const tfigure& f, const std::string& format, const QSize& size, int dpi,
                        std::string& error);
// Writes the figure to `path` (PNG, SVG or PDF by its extension) through a
// temporary copy that replaces the file only when whole: a failed write
// leaves an existing file as it was. False with the reason in `error`.
bool write_figure(const tfigure& f, const std::string& path, const QSize& size, int dpi,
                  std::string& error);

// Limits of a figure's size and resolution.
constexpr int figure_min_size = 50, figure_max_size = 20000;
constexpr int figure_min_dpi = 36, figure_max_dpi = 1200;

}  // namespace tessal
