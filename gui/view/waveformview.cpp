#include "gui/view/waveformview.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

#include "engine/core/tdocument.h"
#include "engine/view/viewstate.h"
#include "gui/commands/commandguard.h"
#include "gui/widgets/viewcolors.h"
#include "gui/view/waveformlayer.h"
#include "gui/windows/windowjobs.h"

namespace tessal {

twaveformview::twaveformview(tdocument& doc, tviewstate& view, int chno, QWidget* parent)
    : QWidget(parent), doc_(doc), view_(view), chno_(chno), line_(deliver_to(this)) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
}

twaveformview::tlayerkey twaveformview::current_key() const {
    return {doc_.xaxis.GetLoValue(), doc_.xaxis.GetHiValue(), width(), height(), devicePixelRatioF()};
}

tlayerinput twaveformview::layer_input() const {
    tlayerinput in;
    in.doc = &doc_;
    in.chno = chno_;
    in.view = &view_;
    in.width = width();
    in.height = height();
    in.dpr = devicePixelRatioF();
    in.pyramid = &pyramid_;
    return in;
}

void twaveformview::rebuild_layer() {
    tchannel& ch = doc_.channel(chno_);
    const bool wasdirty = ch.sigcachedirty;
    ch.fix_sigcache();
    // The coarser levels follow the cache: rebuilt whenever it was rebuilt
    // here, or looks different from what they were built from.
    if (wasdirty || !pyramid_.built_for(ch.sigcache) || pyrmin_ != ch.sigmin || pyrmax_ != ch.sigmax) {
        pyramid_.build(ch.sigcache);
        pyrmin_ = ch.sigmin;
        pyrmax_ = ch.sigmax;
    }
    const tlayerinput in = layer_input();
    if (const std::optional<trawlayerjob> job = long_raw_layer(in, job_samples)) {
        // The worker reads a slice of the channel's store (it shares the
        // blocks, so later edits of the channel do not reach it).
        const tlayerkey key = current_key();
        pendingkey_ = key;
        pending_ = true;
        line_.start(
            [j = *job, slice = ch.samples_slice(job->first, job->last)](tjobcontext& c) {
                c.check();
                const tsinglearr v = slice.to_array();
                c.check();
                return raw_layer_columns(j, v.data(), v.size());
            },
            [this, key](std::vector<twavecolumn> cols) { take_columns(key, cols); },
            [this, key](const std::string&) {
                // Drawn here instead, where a failure is shown as for any paint.
                pending_ = false;
                if (chno_ >= doc_.totnchans() || doc_.channel(chno_).bmpdirty || !(key == current_key()))
                    return update();
                if (paint_guarded(this, tpaintstep::waveform, chno_,
                                  [this] { lastmode_ = render_waveform_layer(bmp_, layer_input()); }))
                    shown_ = key;
                update();
            });
        ch.bmpdirty = false;
        return;
    }
    line_.cancel();
    pending_ = false;
    lastmode_ = render_waveform_layer(bmp_, in);
    shown_ = current_key();
    ch.bmpdirty = false;
}

void twaveformview::take_columns(const tlayerkey& key, const std::vector<twavecolumn>& cols) {
    pending_ = false;
    if (chno_ < 0 || chno_ >= doc_.totnchans()) return;
    const tchannel& ch = doc_.channel(chno_);
    // A view or channel changed since: the next paint starts the newer layer.
    if (!ch.bmpdirty && key == current_key()) {
        const bool drawn = paint_guarded(this, tpaintstep::waveform, chno_, [&] {
            lastmode_ = render_waveform_layer(bmp_, layer_input(), &cols);
        });
        if (drawn) shown_ = key;
        else doc_.channel(chno_).bmpdirty = true;
    }
    update();
}

// The last layer, stretched so its times sit where the present axis puts
// them; what it did not show is background.
void twaveformview::stretch_last_layer() {
    const qreal dpr = devicePixelRatioF();
    const QSize devsize(std::max(1, qRound(width() * dpr)), std::max(1, qRound(height() * dpr)));
    if (tempbmp_.size() != devsize || tempbmp_.format() != QImage::Format_RGB32)
        tempbmp_ = QImage(devsize, QImage::Format_RGB32);
    tempbmp_.setDevicePixelRatio(dpr);
    tempbmp_.fill(qcolor(view_.wavebackgroundcolor));
    const tlayerkey now = current_key();
    if (bmp_.isNull() || shown_.width < 2 || now.width < 2 || !(shown_.hi > shown_.lo) || !(now.hi > now.lo))
        return;
    // Image column x of the last layer is at time lo + x * dt; pixel X of
    // the present axis at lo + X * DT.
    const double dt = (shown_.hi - shown_.lo) / ((shown_.width - 1) * shown_.dpr);
    const double DT = (now.hi - now.lo) / (now.width - 1);
    const double a = std::max(shown_.lo, now.lo);
    const double b = std::min(shown_.lo + bmp_.width() * dt, now.lo + now.width * DT);
    if (!(b > a)) return;
    const QRectF source((a - shown_.lo) / dt, 0, (b - a) / dt, bmp_.height());
    const QRectF target((a - now.lo) / DT, 0, (b - a) / DT, height());
    QPainter p(&tempbmp_);
    p.drawImage(target, bmp_, source);
}

void twaveformview::paintEvent(QPaintEvent*) {
    if (chno_ < 0 || chno_ >= doc_.totnchans()) return;
    tchannel& ch = doc_.channel(chno_);
    const qreal dpr = devicePixelRatioF();
    const bool resized = pending_ ? (pendingkey_.width != width() || pendingkey_.height != height() ||
                                     pendingkey_.dpr != dpr)
                                  : (bmp_.isNull() || bmp_.size() != (size() * dpr) ||
                                     bmp_.devicePixelRatio() != dpr);
    if (ch.bmpdirty || resized) {
        const bool drawn = paint_guarded(this, tpaintstep::waveform, chno_, [this] { rebuild_layer(); });
        if (!drawn) {
            // An empty area in the background colour; the next repaint tries again.
            pending_ = false;
            line_.cancel();
            bmp_ = QImage(size() * dpr, QImage::Format_RGB32);
            bmp_.setDevicePixelRatio(dpr);
            bmp_.fill(qcolor(0xFFFFFF));
            shown_ = {};
        }
    }
    if (pending_ && !(shown_ == current_key())) {
        stretch_last_layer();
    } else if (tempbmp_.size() == bmp_.size() && tempbmp_.format() == bmp_.format() &&
               tempbmp_.bytesPerLine() == bmp_.bytesPerLine()) {
        // The same buffer again: no allocation (and page faults) per paint.
        std::copy_n(bmp_.constBits(), bmp_.sizeInBytes(), tempbmp_.bits());
    } else {
        tempbmp_ = bmp_.copy();
    }
    tempbmp_.setDevicePixelRatio(dpr);
    paint_guarded(this, tpaintstep::overlays, chno_, [this] {
        QPainter p(&tempbmp_);
        paint_overlays(p);
    });
    QPainter w(this);
    w.drawImage(QPoint(0, 0), tempbmp_);
}

void twaveformview::paint_overlays(QPainter& p) {
    const tchannel& ch = doc_.channel(chno_);
    const TAxis& xa = doc_.xaxis;
    const int W = width(), H = height();

    // Selection: inverted columns L..R with a dotted line at R on the edit
    // set, a grey frame elsewhere.
    const int L = xa.value_to_pixel(doc_.theglobal.leftselcursor());
    const int R = xa.value_to_pixel(doc_.theglobal.rightselcursor());
    if (doc_.is_channel_selected(chno_)) {
        p.save();
        p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
        if (R > L) p.fillRect(QRect(L, 0, R - L + 1, H), Qt::white);
        p.setPen(QPen(Qt::white, 0, Qt::DotLine));
        p.drawLine(QPointF(R + 0.5, 0), QPointF(R + 0.5, H));
        p.restore();
    } else {
        p.setPen(QColor(0x80, 0x80, 0x80));
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRectF(L + 0.5, 0.5, R + 1 - L, H - 1));
    }

    // Labels in the strip at the top.
    const QFontMetrics fm(p.font());
    const int strip = fm.height() + 2;  // text height of "ykk" + 2
    const double lo = xa.GetLoValue(), hi = xa.GetHiValue();
    for (const tsiglabel& l : ch.labels) {
        double t = l.moving ? l.newtime : l.time;
        double d = l.moving ? l.newduration : l.duration;
        if (!(t + d > lo && t < hi)) continue;
        int a = xa.value_to_notclippedpixel(t), b = xa.value_to_notclippedpixel(t + d);
        a = std::clamp(a, -10000, W + 10000);
        b = std::clamp(b, -10000, W + 10000);
        QString text = QString::fromStdString(l.text);
        p.fillRect(QRect(a, 2, fm.horizontalAdvance(text) + 3, strip - 2), Qt::white);
        QColor fill = l.playlabel ? qcolor(0x6464E6) : l.selected ? qcolor(0xE6C8C8) : qcolor(0xE6E6E6);
        p.setPen(qcolor(0xC0C0C0));
        p.setBrush(fill);
        p.drawRect(QRectF(a + 0.5, 2.5, std::max(0, b - a), strip - 3));
        p.fillRect(QRect(a, 2, 2, strip + 2), qcolor(0xC0C0C0));
        p.fillRect(QRect(b - 1, 2, 2, strip + 2), qcolor(0xC0C0C0));
        p.setPen(Qt::black);
        p.drawText(QPoint(a + 3, 2 + fm.ascent()), text);
        if (l.selected) {
            p.drawLine(QPointF(a + 0.5, 0), QPointF(a + 0.5, H));
            p.drawLine(QPointF(b + 0.5, 0), QPointF(b + 0.5, H));
        }
    }

    // Channel frame: the current channel heavy, its partner grey, the rest thin.
    p.setBrush(Qt::NoBrush);
    const int cur = doc_.thischanno();
    if (chno_ == cur) {
        p.setPen(QPen(Qt::black, 3));
        p.drawRect(QRectF(1.5, 1.5, W - 3, H - 3));
        p.drawRect(QRectF(2.5, 2.5, W - 5, H - 5));
    } else if (doc_.totnchans() > cur && doc_.channel(cur).stereochanno == chno_) {
        p.setPen(QPen(QColor(0x80, 0x80, 0x80), 3));
        p.drawRect(QRectF(1.5, 1.5, W - 3, H - 3));
    } else {
        p.setPen(QPen(Qt::black, 1));
        p.drawRect(QRectF(0.5, 0.5, W - 1, H - 1));
    }

    // Channel marks, with handles for 1..8.
    for (int i = 0; i <= 8; ++i) {
        if (!mark_shown(view_, chno_, i)) continue;
        QColor c = qcolor(ch.cursorcolors[i]);
        if (i == 0 && chno_ != view_.playchanno && chno_ != view_.playstereochanno)
            c = QColor(0x80, 0x80, 0x80);
        int x = xa.value_to_notclippedpixel(ch.cursors[i]);
        if (x < -10 || x > W + 10) continue;
        p.setPen(QPen(c, 1));
        p.drawLine(QPointF(x + 0.5, 0), QPointF(x + 0.5, H));
        if (i >= 1) {
            p.setBrush(Qt::white);
            p.drawEllipse(QRectF(x - 4, H - 10, 9, 9));
            p.setBrush(Qt::NoBrush);
        }
    }
}

tmouseinput twaveformview::input(QMouseEvent* e, bool press) const {
    tmouseinput in;
    QPoint pos = e->position().toPoint();
    in.x = pos.x();
    in.y = pos.y();
    in.height = height();
    Qt::MouseButton b = press ? e->button() : e->button();
    Qt::MouseButtons held = e->buttons();
    if (e->type() == QEvent::MouseMove)
        in.button = held & Qt::LeftButton ? tmousebutton::left
                    : held & Qt::RightButton ? tmousebutton::right : tmousebutton::none;
    else
        in.button = b == Qt::LeftButton ? tmousebutton::left
                    : b == Qt::RightButton ? tmousebutton::right : tmousebutton::none;
    in.mods.shift = e->modifiers() & Qt::ShiftModifier;
    in.mods.ctrl = e->modifiers() & Qt::ControlModifier;
    in.mods.alt = e->modifiers() & Qt::AltModifier;
    return in;
}

void twaveformview::mousePressEvent(QMouseEvent* e) {
    if (chno_ >= doc_.totnchans()) return;
    const tmouseinput in = input(e, true);
    run_guarded(&doc_, [&] {
        tmouseresult r = view_mouse_down(doc_, view_, chno_, in);
        if (r.change) name_step(&doc_, r.change);
        if (on_result) on_result(r);
    }, false);
}

void twaveformview::mouseDoubleClickEvent(QMouseEvent* e) {
    if (chno_ >= doc_.totnchans()) return;
    tmouseinput in = input(e, true);
    in.doubleclick = true;
    run_guarded(&doc_, [&] {
        tmouseresult r = view_mouse_down(doc_, view_, chno_, in);
        if (r.change) name_step(&doc_, r.change);
        if (on_result) on_result(r);
    }, false);
}

void twaveformview::mouseMoveEvent(QMouseEvent* e) {
    if (chno_ >= doc_.totnchans()) return;
    if (!e->buttons() && !(e->modifiers() & Qt::AltModifier)) return;
    const tmouseinput in = input(e, false);
    run_guarded(&doc_, [&] {
        tmouseresult r = view_mouse_move(doc_, view_, chno_, in);
        if (r.change) name_step(&doc_, r.change);
        if (on_result) on_result(r);
    }, false);
}

void twaveformview::mouseReleaseEvent(QMouseEvent* e) {
    if (chno_ >= doc_.totnchans()) return;
    const tmouseinput in = input(e, false);
    run_guarded(&doc_, [&] {
        tmouseresult r = view_mouse_up(doc_, view_, chno_, in);
        if (r.change) name_step(&doc_, r.change);
        if (on_result) on_result(r);
    }, false);
}

}  // namespace tessal
