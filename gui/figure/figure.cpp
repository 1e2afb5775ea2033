// Figure layout and drawing, and writing it as PNG, SVG or PDF.
#include "gui/figure/figure.h"

#include <QBuffer>
#include <QFont>
#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPageSize>
#include <QPdfWriter>
#include <QSvgGenerator>
#include <algorithm>
#include <cmath>

#include "engine/core/prompter.h"
#include "engine/core/ticklabels.h"
#include "engine/formats/safereplace.h"

namespace tessal {

namespace {

constexpr int pad = 8;        // around the figure
constexpr int ticklen = 5;    // tick marks, outwards
constexpr int labelgap = 3;   // between a tick and its label
constexpr int barwidth = 14;  // of the colour bar
constexpr int bargap = 16;    // between the plot and the colour bar

QFont label_font() { return figure_label_font(); }

QFont title_font() {
    QFont f = label_font();
    f.setPixelSize(14);
    f.setBold(true);
    return f;
}

class tfigmetrics : public ttextmetrics {
public:
    explicit tfigmetrics(const QFont& f) : fm_(f) {}
    int text_width(const std::string& s) const override {
        return static_cast<int>(std::ceil(fm_.horizontalAdvance(QString::fromStdString(s))));
    }
    int text_height(const std::string&) const override { return static_cast<int>(std::ceil(fm_.height())); }

private:
    QFontMetricsF fm_;
};

const tfigmetrics& metrics() {
    static const tfigmetrics m(label_font());
    return m;
}

void setup_axis(TAxis& a, const tfigureaxis& fa, bool vertical, int length) {
    a.set_textmetrics(&metrics());
    a.SetPosition(vertical ? taxisposition::posleft : taxisposition::posunder);
    if (vertical) {
        a.SetHeight(length);
        a.SetWidth(60);
    } else {
        a.SetWidth(length);
        a.SetHeight(30);
    }
    a.SetTickSpaceAim(fa.tickspace);
    double lo = fa.lo, hi = fa.hi;
    if (!(hi > lo)) hi = lo + 1;
    a.set_hilovalues(hi, lo);
    if (fa.logarithmic && lo > 0) {
        a.SetLogarithmic(true);
        a.SetMusicScale(fa.music);
    }
}

// The widest tick label of a vertical axis.
int widest_label(TAxis& a) {
    int w = 0;
    for (int i = 0; i < a.nTickMarks(); ++i) w = std::max(w, metrics().text_width(a.ticktext(i)));
    return w;
}

int widest_step(const std::vector<tcolourstep>& steps) {
    int w = 0;
    for (const auto& s : steps) w = std::max(w, metrics().text_width(s.text));
    return w;
}

int text_h() { return metrics().text_height("0"); }

int title_h(const tfigure& f) {
    return f.title.empty() ? 0 : static_cast<int>(std::ceil(QFontMetricsF(title_font()).height()));
}

}  // namespace

QFont figure_label_font() {
    QFont f;
    f.setFamilies({"DejaVu Sans", "Liberation Sans", "Arial", "Helvetica"});
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(12);
    return f;
}

std::string named_axis_text(const std::string& text) {
    std::string t = text;
    while (!t.empty() && t.front() == ' ') t.erase(t.begin());
    if (t == "[Hz]") return "Frequency [Hz]";
    if (t == "[s]") return "Time [s]";
    if (t == "[dB]") return "Level [dB]";
    return t;
}

tfigurelayout layout_figure(const tfigure& f, const QSize& size) {
    tfigurelayout l;
    const int lh = text_h();
    const int top = pad + (f.title.empty() ? 0 : title_h(f) + 8);
    const int bottom = f.axes ? ticklen + labelgap + lh + 4 + (f.x.text.empty() ? 0 : lh) + pad : pad;
    const int ph = std::max(10, size.height() - top - bottom);
    int right = f.axes ? pad + 24 : pad;  // room for the last time label's half
    if (f.scale) {
        const auto steps = colour_scale_steps(f.scale->lo, f.scale->hi, ph, lh);
        right = bargap + barwidth + 4 + labelgap + widest_step(steps) + 6 +
                (f.scale->text.empty() ? 0 : lh) + pad;
    }
    auto left_of = [&](const tfigureaxis& y) {
        TAxis ya;
        setup_axis(ya, y, true, ph);
        return f.axes ? pad + (y.text.empty() ? 0 : lh + 6) + widest_label(ya) + labelgap + ticklen : pad;
    };
    l.y = f.y;
    int left = left_of(l.y);
    if (f.fit_y) {
        // Fitted for the plot the unfitted axis leaves, then laid out with
        // the fitted axis's labels.
        f.fit_y(l.y, QSize(std::max(10, size.width() - left - right), ph));
        left = left_of(l.y);
    }
    const int pw = std::max(10, size.width() - left - right);
    l.plot = QRect(left, top, pw, ph);
    if (f.scale) l.scalebar = QRect(left + pw + bargap, top, barwidth, ph);
    l.titlebase = pad;
    return l;
}

QSize figure_size_around(const tfigure& f, const QSize& plot) {
    QSize s = plot + QSize(200, 100);
    for (int i = 0; i < 3; ++i) {
        const tfigurelayout l = layout_figure(f, s);
        s += plot - l.plot.size();
    }
    return s;
}

void draw_figure(QPainter& p, const tfigure& f, const QSize& size) {
    const tfigurelayout l = layout_figure(f, size);
    const QRect& pr = l.plot;
    const int lh = text_h();
    p.save();
    p.fillRect(QRect(QPoint(0, 0), size), Qt::white);
    TAxis xa, ya;
    setup_axis(xa, f.x, false, pr.width());
    setup_axis(ya, l.y, true, pr.height());

    // The plot.
    p.save();
    p.translate(pr.topLeft());
    p.setClipRect(QRect(QPoint(0, 0), pr.size()));
    if (f.paint) f.paint(p, pr.size(), xa, ya);
    p.restore();

    const QFont lf = label_font();
    p.setFont(lf);
    QPen ink(Qt::black);
    ink.setWidthF(1);
    ink.setCosmetic(false);
    p.setPen(ink);
    p.setBrush(Qt::NoBrush);
    if (f.axes) p.drawRect(QRectF(pr).adjusted(-0.5, -0.5, 0.5, 0.5));

    auto text = [&](const QRectF& r, int align, const std::string& s) {
        p.drawText(r, align | Qt::TextDontClip, QString::fromStdString(s));
    };
    // x axis.
    for (int i = 0; f.axes && i < xa.nTickMarks(); ++i) {
        const double x = pr.left() + xa.tickposition(i) + 0.5;
        p.drawLine(QPointF(x, pr.bottom() + 1), QPointF(x, pr.bottom() + 1 + ticklen));
        const std::string s = xa.ticktext(i);
        if (s.empty()) continue;
        const int w = metrics().text_width(s);
        text(QRectF(x - w / 2.0 - 2, pr.bottom() + 1 + ticklen + labelgap, w + 4, lh), Qt::AlignHCenter | Qt::AlignTop, s);
    }
    if (f.axes && !f.x.text.empty())
        text(QRectF(pr.left(), pr.bottom() + 1 + ticklen + labelgap + lh + 4, pr.width(), lh),
             Qt::AlignHCenter | Qt::AlignTop, f.x.text);
    // y axis.
    for (int i = 0; f.axes && i < ya.nTickMarks(); ++i) {
        const double y = pr.top() + ya.tickposition(i) + 0.5;
        p.drawLine(QPointF(pr.left() - 1 - ticklen, y), QPointF(pr.left() - 1, y));
        const std::string s = ya.ticktext(i);
        if (s.empty()) continue;
        const double right = pr.left() - 1 - ticklen - labelgap;
        text(QRectF(right - 200, y - lh / 2.0, 200, lh), Qt::AlignRight | Qt::AlignVCenter, s);
    }
    if (f.axes && !f.y.text.empty()) {
        p.save();
        p.translate(pad, pr.top() + pr.height() / 2.0);
        p.rotate(-90);
        text(QRectF(-pr.height() / 2.0, 0, pr.height(), lh), Qt::AlignHCenter | Qt::AlignTop, f.y.text);
        p.restore();
    }
    // The colour scale: the bar, low values at the bottom, its steps and text.
    if (f.scale && !l.scalebar.isEmpty()) {
        const QRect& b = l.scalebar;
        QLinearGradient g(QPointF(0, b.bottom()), QPointF(0, b.top()));
        const int stops = 64;
        for (int i = 0; i <= stops; ++i) {
            const double fr = static_cast<double>(i) / stops;
            g.setColorAt(fr, QColor::fromRgb(f.scale->colour ? f.scale->colour(fr) : qRgb(0, 0, 0)));
        }
        p.fillRect(b, QBrush(g));
        p.drawRect(QRectF(b).adjusted(-0.5, -0.5, 0.5, 0.5));
        const auto steps = colour_scale_steps(f.scale->lo, f.scale->hi, b.height(), lh);
        int wmax = 0;
        for (const auto& s : steps) {
            const double y = b.bottom() - s.pixel + 0.5;
            p.drawLine(QPointF(b.right() + 1, y), QPointF(b.right() + 1 + 4, y));
            text(QRectF(b.right() + 1 + 4 + labelgap, y - lh / 2.0, 200, lh), Qt::AlignLeft | Qt::AlignVCenter, s.text);
            wmax = std::max(wmax, metrics().text_width(s.text));
        }
        if (!f.scale->text.empty()) {
            p.save();
            p.translate(b.right() + 1 + 4 + labelgap + wmax + 6 + lh, b.top() + b.height() / 2.0);
            p.rotate(90);
            text(QRectF(-b.height() / 2.0, 0, b.height(), lh), Qt::AlignHCenter | Qt::AlignTop, f.scale->text);
            p.restore();
        }
    }
    // The title over the plot, cut with an ellipsis where it is too long.
    if (!f.title.empty()) {
        const QFont tf = title_font();
        p.setFont(tf);
        const QFontMetricsF fm(tf);
        const QString t = fm.elidedText(QString::fromStdString(f.title), Qt::ElideMiddle, size.width() - 2 * pad);
        p.drawText(QRectF(pad, l.titlebase, size.width() - 2 * pad, fm.height()),
                   Qt::AlignHCenter | Qt::AlignTop | Qt::TextDontClip, t);
    }
    p.restore();
}

QImage figure_image(const tfigure& f, const QSize& size, int dpi) {
    const qreal scale = dpi / 96.0;
    QImage img(QSize(static_cast<int>(std::lround(size.width() * scale)),
                     static_cast<int>(std::lround(size.height() * scale))),
               QImage::Format_RGB32);
    if (img.isNull()) return img;
    img.setDevicePixelRatio(scale);
    img.setDotsPerMeterX(static_cast<int>(std::lround(dpi / 0.0254)));
    img.setDotsPerMeterY(static_cast<int>(std::lround(dpi / 0.0254)));
    img.fill(Qt::white);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    draw_figure(p, f, size);
    return img;
}

std::string figure_format(const std::string& path) {
    const auto dot = path.find_last_of('.');
    const auto slash = path.find_last_of('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    std::string ext = path.substr(dot + 1);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext == "png" || ext == "svg" || ext == "pdf" ? ext : std::string();
}

QByteArray figure_bytes(const tfigure& f, const std::string& format, const QSize& size, int dpi,
                        std::string& error) {
    QByteArray data;
    if (size.width() < figure_min_size || size.height() < figure_min_size || size.width() > figure_max_size ||
        size.height() > figure_max_size) {
        error = "The figure must be between 50 and 20000 pixels wide and high";
        return {};
    }
    if (dpi < figure_min_dpi || dpi > figure_max_dpi) {
        error = "The resolution must be between 36 and 1200 dpi";
        return {};
    }
    if (static_cast<double>(size.width()) * size.height() * (dpi / 96.0) * (dpi / 96.0) > 4e8 && format == "png") {
        error = "The picture would have more than 400 million pixels; choose a smaller size or resolution";
        return {};
    }
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    if (format == "png") {
        const QImage img = figure_image(f, size, dpi);
        if (img.isNull() || !img.save(&buffer, "PNG")) {
            error = "The picture could not be made (out of memory?)";
            return {};
        }
    } else if (format == "svg") {
        QSvgGenerator svg;
        svg.setOutputDevice(&buffer);
        svg.setSize(size);
        svg.setViewBox(QRect(QPoint(0, 0), size));
        svg.setResolution(96);
        svg.setTitle(QString::fromStdString(f.title));
        svg.setDescription("Drawn by Tessal");
        QPainter p;
        if (!p.begin(&svg)) {
            error = "The drawing could not be started";
            return {};
        }
        draw_figure(p, f, size);
        p.end();
    } else if (format == "pdf") {
        QPdfWriter pdf(&buffer);
        pdf.setResolution(dpi);
        pdf.setPageSize(QPageSize(QSizeF(size.width() * 72.0 / 96, size.height() * 72.0 / 96), QPageSize::Point,
                                  QString(), QPageSize::ExactMatch));
        pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
        pdf.setTitle(QString::fromStdString(f.title));
        pdf.setCreator("Tessal");
        QPainter p;
        if (!p.begin(&pdf)) {
            error = "The PDF could not be started";
            return {};
        }
        p.scale(dpi / 96.0, dpi / 96.0);
        draw_figure(p, f, size);
        p.end();
    } else {
        error = "A figure is written as .png, .svg or .pdf";
        return {};
    }
    if (data.isEmpty()) error = "The figure came out empty";
    return data;
}

bool write_figure(const tfigure& f, const std::string& path, const QSize& size, int dpi, std::string& error) {
    const std::string format = figure_format(path);
    if (format.empty()) {
        error = "A figure is written as .png, .svg or .pdf";
        return false;
    }
    const QByteArray data = figure_bytes(f, format, size, dpi, error);
    if (data.isEmpty()) return false;
    try {
        write_whole_file(data.constData(), static_cast<std::size_t>(data.size()), path);
    } catch (const std::exception& e) {
        error = with_newlines(e.what());
        return false;
    }
    return true;
}

}  // namespace tessal
