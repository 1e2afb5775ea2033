// The analysis plots' drawing, shared by the windows and tessal-cli.
#include "gui/figure/plotdrawing.h"

#include <QFontMetrics>
#include <QPen>
#include <QPolygonF>
#include <algorithm>
#include <climits>
#include <cmath>

#include "engine/analysis/correlogram.h"
#include "engine/analysis/histogram.h"
#include "engine/analysis/spectrum.h"

namespace tessal {

void draw_plot_grid(QPainter& p, TAxis& x, TAxis& y, const QSize& size) {
    const QColor major(128, 128, 128), minor(192, 192, 192);
    const int nx = x.nTickMarks();
    for (int i = 0; i < nx; ++i) {
        const int px = x.tickposition(i);
        p.fillRect(QRect(px, 0, 1, size.height()), x.tickismajor(i) ? major : minor);
    }
    const int ny = y.nTickMarks();
    for (int i = 0; i < ny; ++i) {
        const int py = y.tickposition(i);
        p.fillRect(QRect(0, py, size.width(), 1), y.tickismajor(i) ? major : minor);
    }
}

void draw_spectrum_curve(QPainter& p, const QSize& size, TAxis& f, TAxis& level, const tspectrum& s, double R,
                         const QColor& colour, tcurvescratch& scratch) {
    const int W = size.width();
    // Columns -1 and W gather the bins left and right of the plot.
    scratch.colmin.assign(static_cast<std::size_t>(std::max(W, 0)) + 2, INT_MAX);
    const int below = size.height() * 10;  // a zero bin
    for (std::size_t k = 1; k + 1 < s.M / 2 + 1; ++k) {
        int x = f.value_to_notclippedpixel(s.bin_freq(static_cast<double>(k)));
        x = std::clamp(x, -1, W);
        const double L = spectrum_level(s, static_cast<long long>(k), R);
        const int py = std::isfinite(L) ? level.value_to_notclippedpixel(L) : below;
        int& c = scratch.colmin[static_cast<std::size_t>(x + 1)];
        c = std::min(c, py);
    }
    scratch.points.clear();
    for (int x = -1; x <= W; ++x) {
        const int c = scratch.colmin[static_cast<std::size_t>(x + 1)];
        if (c != INT_MAX) scratch.points.emplace_back(x, std::clamp(c, -100000, 100000));
    }
    p.setPen(QPen(colour, 1));
    if (scratch.points.size() > 1) p.drawPolyline(scratch.points.data(), static_cast<int>(scratch.points.size()));
}

void draw_level_curve(QPainter& p, const QSize& size, TAxis& f, TAxis& level, const tlevelcurve& c, double R,
                      const QColor& colour, tcurvescratch& scratch) {
    if (!c) return;
    scratch.points.clear();
    for (int x = 0; x < size.width(); ++x) {
        const double fx = f.pixel_to_value(x);
        if (!(fx > 0) || fx > c.top) continue;
        const double L = c.level_db(fx);
        if (!(L > -400)) continue;
        scratch.points.emplace_back(x, std::clamp(level.value_to_notclippedpixel(L - R), -100000, 100000));
    }
    p.setPen(QPen(colour, 2));
    if (scratch.points.size() > 1) p.drawPolyline(scratch.points.data(), static_cast<int>(scratch.points.size()));
}

QColor envelope_colour(const QColor& c) {
    if (c.lightness() > 128) return c.darker(250);
    return QColor((c.red() + 255) / 2, (c.green() + 255) / 2, (c.blue() + 255) / 2);
}

void draw_correlation_curve(QPainter& p, TAxis& lagms, TAxis& r, const std::vector<double>& values, double fs,
                            const QColor& colour) {
    if (!(fs > 0) || values.empty()) return;
    QPolygonF line;
    line.reserve(static_cast<int>(values.size()));
    for (std::size_t i = 0; i < values.size(); ++i)
        line << QPointF(lagms.value_to_notclippedpixel(static_cast<double>(i) / fs * 1000),
                        r.value_to_notclippedpixel(values[i]));
    p.setPen(QPen(colour, 1));
    p.drawPolyline(line);
}

thistcolumns histogram_columns(TAxis& x, const std::vector<double>& bins, double lo, double hi, int width) {
    thistcolumns c;
    const int nb = static_cast<int>(bins.size());
    const int W = std::max(width, 0);
    c.lo.assign(static_cast<std::size_t>(W), 0);
    c.hi.assign(static_cast<std::size_t>(W), 0);
    if (nb < 1 || !(hi > lo)) return c;
    auto binat = [&](int px) {
        const double v = x.pixel_to_value(px);
        const double P = std::round((v - lo) / (hi - lo) * (nb - 1));
        return static_cast<int>(std::clamp(P, 0.0, static_cast<double>(nb - 1)));
    };
    c.firstbin = binat(0);
    c.lastbin = binat(W - 1);
    int prev = c.firstbin;
    for (int px = 1; px <= W - 2; ++px) {
        const int cur = binat(px);
        double mn = bins[static_cast<std::size_t>(prev)], mx = mn;
        for (int i = std::min(prev, cur); i <= std::max(prev, cur); ++i) {
            mn = std::min(mn, bins[static_cast<std::size_t>(i)]);
            mx = std::max(mx, bins[static_cast<std::size_t>(i)]);
        }
        c.lo[static_cast<std::size_t>(px)] = mn;
        c.hi[static_cast<std::size_t>(px)] = mx;
        prev = cur;
    }
    return c;
}

void draw_histogram_columns(QPainter& p, TAxis& y, const thistcolumns& c) {
    p.setPen(Qt::black);
    const int W = static_cast<int>(c.lo.size());
    for (int px = 1; px <= W - 2; ++px)
        p.drawLine(px, y.value_to_pixel(c.lo[static_cast<std::size_t>(px)]), px,
                   y.value_to_pixel(c.hi[static_cast<std::size_t>(px)]));
}

void draw_text_box(QPainter& p, int x, int width, const std::vector<std::string>& lines) {
    if (lines.empty()) return;
    const QFontMetrics fm = p.fontMetrics();
    const int lh = fm.height();
    p.fillRect(QRect(x, 0, width, static_cast<int>(lines.size()) * lh + 4), QColor(255, 255, 255, 190));
    p.setPen(Qt::black);
    for (std::size_t i = 0; i < lines.size(); ++i)
        p.drawText(x + 4, 2 + static_cast<int>(i) * lh + fm.ascent(), QString::fromStdString(lines[i]));
}

thisttext place_histogram_text(const QFontMetrics& fm, const thistcolumns& c, std::vector<std::string> lines) {
    thisttext t;
    t.lines = std::move(lines);
    if (t.lines.empty()) return t;
    for (const std::string& l : t.lines)
        t.width = std::max(t.width, fm.horizontalAdvance(QString::fromStdString(l)));
    t.width += 8;
    t.height = static_cast<int>(t.lines.size()) * fm.height() + 4;
    t.x = stats_text_column(c.hi, t.width, t.under);
    return t;
}

double histogram_box_top(const std::vector<double>& bins, const thistcolumns& c, const thisttext& t, int height) {
    double top = 0;
    for (int i = c.firstbin; i <= c.lastbin && i < static_cast<int>(bins.size()); ++i)
        if (std::isfinite(bins[static_cast<std::size_t>(i)])) top = std::max(top, bins[static_cast<std::size_t>(i)]);
    return histogram_autoscale_top(top, t.lines.empty() ? 0 : t.under,
                                   static_cast<double>(t.height) / std::max(1, height));
}

void draw_correlogram_trace(QPainter& p, const std::vector<TTracePoint>& trace,
                            const std::function<double(double)>& tx, const std::function<int(double)>& fy) {
    const QColor green(0, 160, 0);
    for (std::size_t i = 0; i < trace.size(); ++i) {
        const TTracePoint& a = trace[i];
        if (a.cut) continue;
        const int xa = static_cast<int>(std::lround(tx(a.t)));
        p.setPen(QPen(green, 1));
        p.drawRect(xa - 2, fy(a.fmin) - 2, 4, 4);
        p.drawRect(xa - 2, fy(a.fmax) - 2, 4, 4);
        if (i + 1 < trace.size() && !trace[i + 1].cut) {
            const TTracePoint& b = trace[i + 1];
            const int xb = static_cast<int>(std::lround(tx(b.t)));
            p.setPen(QPen(green, 1, Qt::DashLine));
            p.drawLine(xa, fy(a.fmin), xb, fy(b.fmin));
            p.drawLine(xa, fy(a.fmax), xb, fy(b.fmax));
            p.setPen(QPen(green, 2));
            p.drawLine(xa, fy((a.fmin + a.fmax) / 2), xb, fy((b.fmin + b.fmax) / 2));
        }
    }
}

void draw_strip_picture(QPainter& p, const QSize& size, const QImage& picture) {
    if (picture.isNull()) return;
    const double cw = static_cast<double>(size.width()) / std::max(1, picture.width() - 1);
    const double rh = static_cast<double>(size.height()) / std::max(1, picture.height() - 1);
    p.drawImage(QRectF(-cw / 2, -rh / 2, size.width() + cw, size.height() + rh), picture);
}

tfigure strip_figure(const std::string& title, double t1, double t2, const tfigureaxis& y, const QImage& picture,
                     const tfigurescale& scale,
                     const std::function<void(QPainter&, const QSize&, TAxis&, TAxis&)>& extra) {
    tfigure f;
    f.title = title;
    f.x = {t1, t2, false, false, "Time [s]"};
    f.y = y;
    f.paint = [picture, extra](QPainter& p, const QSize& size, TAxis& x, TAxis& ya) {
        draw_strip_picture(p, size, picture);
        if (extra) extra(p, size, x, ya);
    };
    f.scale = scale;
    return f;
}

// ------------------------------------------------------- tessal-cli's figures

tfigure spectrum_figure(const std::string& title, const tspectrum& s, double R, double flo, double fhi,
                        double levello, double levelhi, const std::string& leveltext,
                        const tlevelcurve& envelope) {
    tfigure f;
    f.title = title;
    f.x = {flo, fhi, false, false, "Frequency [Hz]"};
    f.y = {levello, levelhi, false, false, leveltext};
    f.paint = [s, R, envelope](QPainter& p, const QSize& size, TAxis& x, TAxis& y) {
        tcurvescratch scratch;
        draw_plot_grid(p, x, y, size);
        draw_spectrum_curve(p, size, x, y, s, R, Qt::black, scratch);
        draw_level_curve(p, size, x, y, envelope, R, envelope_colour(Qt::black), scratch);
    };
    return f;
}

tfigure correlation_figure(const std::string& title, const std::vector<double>& r, double fs, double lagms) {
    tfigure f;
    f.title = title;
    f.x = {0, lagms, false, false, "Lag [ms]"};
    f.y = {-1.2, 1.2, false, false, "Correlation r"};
    f.paint = [r, fs](QPainter& p, const QSize& size, TAxis& x, TAxis& y) {
        draw_plot_grid(p, x, y, size);
        draw_correlation_curve(p, x, y, r, fs, Qt::black);
    };
    return f;
}

tfigure histogram_figure(const std::string& title, const std::vector<double>& bins, double lo, double hi,
                         const std::string& unit, const std::vector<std::string>& stats) {
    tfigure f;
    f.title = title;
    f.x = {lo, hi, false, false, unit.empty() ? std::string("Value") : "Value [" + unit + "]"};
    f.y = {0, 1, false, false, "Time [s]"};
    // The text in the figure's label font, placed for the plot's size; the
    // time axis then rises as Autoscale lifts it in the window.
    auto place = [bins, lo, hi, stats](const QSize& plot, thistcolumns& cols) {
        TAxis x;
        x.SetPosition(taxisposition::posunder);
        x.SetWidth(plot.width());
        x.set_hilovalues(hi, lo);
        cols = histogram_columns(x, bins, lo, hi, plot.width());
        return place_histogram_text(QFontMetrics(figure_label_font()), cols, stats);
    };
    f.fit_y = [bins, place](tfigureaxis& y, const QSize& plot) {
        thistcolumns cols;
        const thisttext t = place(plot, cols);
        const double top = histogram_box_top(bins, cols, t, plot.height());
        y.hi = top > 0 ? top : 1;
    };
    f.paint = [bins, lo, hi, place](QPainter& p, const QSize& size, TAxis& x, TAxis& y) {
        draw_plot_grid(p, x, y, size);
        const thistcolumns cols = histogram_columns(x, bins, lo, hi, size.width());
        draw_histogram_columns(p, y, cols);
        thistcolumns placed;
        const thisttext t = place(size, placed);
        p.setFont(figure_label_font());
        draw_text_box(p, t.x, t.width, t.lines);
    };
    return f;
}

}  // namespace tessal
