// The plots the analysis windows draw, as functions of their numbers and
// their two axes, so that a window's paint, its exported figure and
// tessal-cli's --figure draw the same picture with the same code.
//
// Every function paints in plot-area pixels (0, 0 at the top left of the
// plot), mapping values through the axes it is given: the window's own
// axes on screen, the figure's axes laid out for the figure's plot size in
// a batch run.
#pragma once

#include <QColor>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QPoint>
#include <QSize>
#include <functional>
#include <string>
#include <vector>

#include "engine/core/taxis.h"
#include "gui/figure/figure.h"

namespace tessal {

struct tspectrum;
struct TTracePoint;

// A line at every tick of `x` and of `y`: grey for major ticks, silver
// for minor ones.
void draw_plot_grid(QPainter& p, TAxis& x, TAxis& y, const QSize& size);

// Scratch space a window keeps so that drawing a curve allocates nothing
// after the first paint.
struct tcurvescratch {
    std::vector<int> colmin;
    std::vector<QPoint> points;
};

// The spectrum's levels (dB relative to R) against frequency: per pixel
// column only the highest level is kept and the columns are joined, so
// dense bins draw their upper envelope.
void draw_spectrum_curve(QPainter& p, const QSize& size, TAxis& f, TAxis& level, const tspectrum& s, double R,
                         const QColor& colour, tcurvescratch& scratch);

// A smooth level curve over frequency (the LPC envelope): its level in dB
// (before the spectrum's reference R is taken off) at a frequency in Hz,
// -400 or less where it has none, up to the frequency `top` it reaches.
struct tlevelcurve {
    std::function<double(double)> level_db;
    double top = 0;
    explicit operator bool() const { return static_cast<bool>(level_db); }
};
// Drawn per pixel column up to its top, two pixels wide, at level - R.
void draw_level_curve(QPainter& p, const QSize& size, TAxis& f, TAxis& level, const tlevelcurve& c, double R,
                      const QColor& colour, tcurvescratch& scratch);
// The envelope's colour beside a spectrum drawn in `spectrum`: a light
// colour darkened, a dark one (black, the usual) halfway to white.
QColor envelope_colour(const QColor& spectrum);

// An autocorrelation r[i] at lag i / fs seconds, drawn against the lag in
// milliseconds.
void draw_correlation_curve(QPainter& p, TAxis& lagms, TAxis& r, const std::vector<double>& values, double fs,
                            const QColor& colour);

// A histogram's bins (bin 0 at value lo, the last at hi) per pixel column
// 1 .. width-2: each column spans the smallest to the largest bin between
// the previous column's bin and its own, so no bin is skipped.
struct thistcolumns {
    std::vector<double> lo, hi;  // per pixel column; columns 0 and width-1 unused
    int firstbin = 0, lastbin = 0;  // the bins under the plot's left and right edge
};
thistcolumns histogram_columns(TAxis& x, const std::vector<double>& bins, double lo, double hi, int width);
// The columns as vertical black lines.
void draw_histogram_columns(QPainter& p, TAxis& y, const thistcolumns& c);
// Lines of text from (x, 0) on a light backing `width` wide, so that a curve
// under them stays readable.
void draw_text_box(QPainter& p, int x, int width, const std::vector<std::string>& lines);
// A histogram's statistics text over its columns: its size in the font
// of `fm`, the column it starts at (stats_text_column: where it hides the
// least of the curve) and the largest bin under it.
struct thisttext {
    std::vector<std::string> lines;
    int x = 0, width = 0, height = 0;
    double under = 0;
};
thisttext place_histogram_text(const QFontMetrics& fm, const thistcolumns& c, std::vector<std::string> lines);
// The time axis top Autoscale sets (histogram_autoscale_top): the largest
// bin under the plot, and room for the text in a plot `height` high.
double histogram_box_top(const std::vector<double>& bins, const thistcolumns& c, const thisttext& t, int height);

// A correlogram's F0/T0 trace: the band's limits and centre between
// points, the points as small squares, broken at cuts. `tx` maps a time,
// `fy` a frequency to plot pixels.
void draw_correlogram_trace(QPainter& p, const std::vector<TTracePoint>& trace,
                            const std::function<double(double)>& tx, const std::function<int(double)>& fy);

// A strip's picture whose column x stands for time t1 + x (t2 - t1) / (w -
// 1) and row y for the value lo + y (hi - lo) / (h - 1) of the axes the
// figure lays out from t1..t2 and lo..hi: the pixel centres span the plot
// from edge to edge.
void draw_strip_picture(QPainter& p, const QSize& size, const QImage& picture);
// The figure of such a strip with its colour scale (`extra` draws over
// it through the figure's axes: a trace).
tfigure strip_figure(const std::string& title, double t1, double t2, const tfigureaxis& y, const QImage& picture,
                     const tfigurescale& scale,
                     const std::function<void(QPainter&, const QSize&, TAxis&, TAxis&)>& extra = {});

// The figures tessal-cli draws with these functions: one curve or one
// histogram with the window's axis texts. The spectrum's figure draws
// `envelope` over the spectrum when it is given.
tfigure spectrum_figure(const std::string& title, const tspectrum& s, double R, double flo, double fhi,
                        double levello, double levelhi, const std::string& leveltext,
                        const tlevelcurve& envelope = {});
tfigure correlation_figure(const std::string& title, const std::vector<double>& r, double fs, double lagms);
// The histogram's figure lists `stats` (histogram_box_lines) where the
// window puts them, its time axis scaled as the window's Autoscale does.
tfigure histogram_figure(const std::string& title, const std::vector<double>& bins, double lo, double hi,
                         const std::string& unit, const std::vector<std::string>& stats = {});

}  // namespace tessal
