#include "gui/view/waveformlayer.h"

#include <QPainter>
#include <algorithm>
#include <cmath>
#include <utility>

#include "engine/core/tdocument.h"
#include "engine/view/viewstate.h"
#include "gui/widgets/viewcolors.h"

namespace tessal {

namespace {

// The samples from..to-1 the columns of `map` reach, one more on either
// side, limited to the channel.
std::pair<long long, long long> visible_samples(const tchannel& ch, const tcolumnmap& map) {
    const double n = static_cast<double>(ch.sample_count());
    const double t0 = map.time(0), t1 = map.time(std::max(map.ncolumns - 1, 0));
    const double shift = static_cast<double>(ch.xshift);
    const double a = std::round(std::min(t0, t1) * ch.sampfreq) - shift - 1;
    const double b = std::round(std::max(t0, t1) * ch.sampfreq) - shift + 2;
    if (!(a < b)) return {0, 0};  // not a number
    return {static_cast<long long>(std::clamp(a, 0.0, n)), static_cast<long long>(std::clamp(b, 0.0, n))};
}

// Vertical runs straight into the pixels: one column per device pixel.
void draw_columns(QImage& img, const std::vector<twavecolumn>& cols, const TAxis& axis,
                  TColor pen, TColor background, bool antialias) {
    const int H = img.height();
    if (H <= 0) return;
    const QRgb penrgb = qrgb(pen);
    const qsizetype stride = img.bytesPerLine() / 4;
    QRgb* bits = reinterpret_cast<QRgb*>(img.bits());
    auto ypos = [&](double v) { return std::clamp(axis.value_to_notclipped_position(v), 0.0, 1.0) * H; };
    const int W = std::min<int>(img.width(), static_cast<int>(cols.size()));
    for (int x = 0; x < W; ++x) {
        const twavecolumn& c = cols[x];
        if (!c.drawn) continue;
        double top = ypos(c.max), bottom = ypos(c.min);
        QRgb* col = bits + x;
        if (!antialias) {
            int a = std::clamp(static_cast<int>(top), 0, H - 1);
            int b = std::clamp(static_cast<int>(bottom), 0, H - 1);
            for (int y = a; y <= b; ++y) col[y * stride] = penrgb;
            continue;
        }
        taaline r = antialias_run(top, bottom);
        r.top = std::clamp(r.top, 0, H - 1);
        r.bottom = std::clamp(r.bottom, 0, H - 1);
        for (int y = r.top + 1; y < r.bottom; ++y) col[y * stride] = penrgb;
        col[r.top * stride] = qrgb(blend_color(pen, background, r.topcover));
        if (r.bottom != r.top) col[r.bottom * stride] = qrgb(blend_color(pen, background, r.bottomcover));
    }
}

QSize device_size(const tlayerinput& in) {
    return QSize(std::max(1, qRound(in.width * in.dpr)), std::max(1, qRound(in.height * in.dpr)));
}

// One column per device pixel; column x of the image sits at logical pixel
// x / dpr of the time axis.
tcolumnmap layer_map(const tlayerinput& in, double lo, double span) {
    return tcolumnmap{lo, span / ((in.width - 1) * in.dpr), device_size(in).width()};
}

}  // namespace

std::optional<trawlayerjob> long_raw_layer(const tlayerinput& in, long long min_samples) {
    const tdocument& doc = *in.doc;
    const tviewstate& view = *in.view;
    const tchannel& ch = doc.channel(in.chno);
    const double lo = doc.xaxis.GetLoValue(), hi = doc.xaxis.GetHiValue(), span = hi - lo;
    if (view.recording || in.width < 2 || in.height < 1) return std::nullopt;
    if (!(ch.sampfreq > 0) || ch.sample_count() == 0) return std::nullopt;
    if (choose_drawmode(span, ch.sampfreq, in.width, doc.prefs.QuickDraw, view.showsamples) != tdrawmode::raw)
        return std::nullopt;
    const tcolumnmap map = layer_map(in, lo, span);
    const auto [a, b] = visible_samples(ch, map);
    if (b - a < min_samples) return std::nullopt;
    trawlayerjob job;
    job.first = a;
    job.last = b;
    job.xshift = ch.xshift + a;
    job.sampfreq = ch.sampfreq;
    job.map = map;
    job.skipjumps = ch.skipjumps();
    job.axislo = ch.axis.GetLoValue();
    job.axishi = ch.axis.GetHiValue();
    return job;
}

std::vector<twavecolumn> raw_layer_columns(const trawlayerjob& job, const float* samples, std::size_t n) {
    return raw_columns(samples, n, job.xshift, job.sampfreq, job.map, job.skipjumps, job.axislo, job.axishi);
}

tdrawmode render_waveform_layer(QImage& bmp, const tlayerinput& in, const std::vector<twavecolumn>* rawcols) {
    const tdocument& doc = *in.doc;
    const tviewstate& view = *in.view;
    const tchannel& ch = doc.channel(in.chno);
    const QSize devsize = device_size(in);
    if (bmp.size() != devsize || bmp.format() != QImage::Format_RGB32)
        bmp = QImage(devsize, QImage::Format_RGB32);
    bmp.setDevicePixelRatio(in.dpr);
    bmp.fill(qcolor(view.wavebackgroundcolor));
    const double lo = doc.xaxis.GetLoValue(), hi = doc.xaxis.GetHiValue(), span = hi - lo;
    tdrawmode mode = choose_drawmode(span, ch.sampfreq, in.width, doc.prefs.QuickDraw, view.showsamples);
    if (view.recording || in.width < 2 || in.height < 1) return mode;

    QPainter p(&bmp);
    // Grid: dotted black at every tick of both axes (the axes share the
    // waveform's pixel positions).
    if (view.showgrid) {
        QPen pen(Qt::black, 0, Qt::DotLine);
        p.setPen(pen);
        TAxis& xa = const_cast<TAxis&>(doc.xaxis);
        TAxis& ya = const_cast<TAxis&>(ch.axis);
        for (int i = 0; i < xa.nTickMarks(); ++i) {
            int x = xa.tickposition(i);
            p.drawLine(QPointF(x + 0.5, 0), QPointF(x + 0.5, in.height));
        }
        for (int i = 0; i < ya.nTickMarks(); ++i) {
            int y = ya.tickposition(i);
            p.drawLine(QPointF(0, y + 0.5), QPointF(in.width, y + 0.5));
        }
    }
    // Zero line, and the full-scale lines with their names.
    {
        QPen pen(Qt::black, 0, Qt::DashLine);
        p.setPen(pen);
        auto hline = [&](double v) {
            double y = ch.axis.value_to_pixel(v) + 0.5;
            p.drawLine(QPointF(0, y), QPointF(in.width, y));
            return y;
        };
        auto inview = [&](double v) {
            return v >= std::min(ch.axis.GetLoValue(), ch.axis.GetHiValue()) &&
                   v <= std::max(ch.axis.GetLoValue(), ch.axis.GetHiValue());
        };
        if (inview(0)) hline(0);
        if (view.showfsd && ch.fsd() > 0) {
            const QFontMetrics fm(p.font());
            for (int s : {1, -1}) {
                double v = s * ch.fsd();
                if (!inview(v)) continue;
                double y = hline(v);
                QString t = s > 0 ? "FSD" : "-FSD";
                QRectF r(5, y - fm.height() / 2.0, fm.horizontalAdvance(t) + 2, fm.height());
                p.fillRect(r, qcolor(view.wavebackgroundcolor));
                p.drawText(r, Qt::AlignLeft | Qt::AlignVCenter, t);
            }
        }
    }
    if (!(ch.sampfreq > 0) || ch.sample_count() == 0) return mode;

    if (mode == tdrawmode::markers) {
        tindexrange r = marker_range(static_cast<std::size_t>(ch.sample_count()), ch.xshift,
                                     ch.sampfreq, lo, hi);
        p.setPen(Qt::NoPen);
        const QColor c = qcolor(ch.color);
        // Markers are drawn only at high zoom: few samples.
        const tsinglearr v = r.first <= r.last ? ch.samples_array(r.first, r.last + 1) : tsinglearr{};
        for (long long k = r.first; k <= r.last; ++k) {
            double t = static_cast<double>(k + ch.xshift) / ch.sampfreq;
            int x = doc.xaxis.value_to_notclippedpixel(t);
            int y = ch.axis.value_to_pixel(v[static_cast<std::size_t>(k - r.first)]);
            p.fillRect(QRect(x - 2, y - 2, 5, 5), c);
        }
        return mode;
    }
    p.end();
    const tcolumnmap map = layer_map(in, lo, span);
    std::vector<twavecolumn> cols;
    if (mode == tdrawmode::cache) {
        cols = cache_columns(ch.sigcache, ch.xshift, ch.sampfreq, map, in.pyramid);
    } else if (rawcols) {
        draw_columns(bmp, *rawcols, ch.axis, ch.color, view.wavebackgroundcolor, doc.prefs.AntiAlias);
        return mode;
    } else {
        // Raw mode has few samples per pixel: a copy of the visible samples
        // and one on either side, drawn as if the channel began at the first.
        const auto [a, b] = visible_samples(ch, map);
        const tsinglearr v = ch.samples_array(a, b);
        cols = raw_columns(v.data(), v.size(), ch.xshift + a, ch.sampfreq, map, ch.skipjumps(),
                           ch.axis.GetLoValue(), ch.axis.GetHiValue());
    }
    draw_columns(bmp, cols, ch.axis, ch.color, view.wavebackgroundcolor, doc.prefs.AntiAlias);
    return mode;
}

}  // namespace tessal
