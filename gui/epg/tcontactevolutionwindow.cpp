// The contact evolution window: its time axis following the main window,
// the cached picture of the row bands, the selection and marks over it.
#include "gui/epg/tcontactevolutionwindow.h"

#include <QMouseEvent>
#include <QPainter>
#include <cmath>
#include <QVBoxLayout>
#include <algorithm>

#include "engine/core/tchannel.h"
#include "engine/core/tdocument.h"
#include "engine/tools/epg.h"
#include "gui/commands/commandguard.h"
#include "gui/context/appcontext.h"
#include "gui/epg/tepgwindow.h"

namespace tessal {

namespace {

QColor bgr(TColor c) { return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }

}  // namespace

tcontactevolutionwindow::tcontactevolutionwindow(tappcontext& ctx, tepgwindow* epg, QWidget* owner)
    : QWidget(owner, Qt::Window | Qt::Tool), ctx_(ctx), epg_(epg) {
    setWindowTitle("Contact evolution");
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    plot_ = new TPlotPanel(this);
    plot_->yaxis()->hide();
    outer->addWidget(plot_);
    TAxis& x = plot_->xaxis()->axis();
    x.SetAxisText("[s]");
    x.SetMinLoValue(-1e300);
    x.SetMaxHiValue(1e300);
    plot_->paint_layer = [this](QPainter& p, const QSize& s) { paint_layer(p, s); };
    plot_->paint_overlay = [this](QPainter& p, const QSize& s) { paint_overlay(p, s); };
    // The figure: the eight row bands up the side (row 1 at the bottom) and,
    // in grey, the share of a row's electrodes in contact.
    plot_->figure_title = [this] {
        const int c = epg_ ? epg_->channel() : -1;
        const TAxis& x = plot_->xaxis()->axis();
        if (c < 0 || c >= ctx_.doc.totnchans()) return figure_title_of(ctx_.doc.filename(), -1, "", 0, -1);
        return figure_title_of(ctx_.doc.filename(), c, ctx_.doc.channel(c).name(), x.GetLoValue(), x.GetHiValue());
    };
    plot_->figure_extras = [this](tfigure& f) {
        f.y = {0, 8, false, false, "Electrode row (bands from the back)", 20};
        // The scale shows the colour of a row's share of contacts (in
        // colour mode for contacts spread to both sides of the middle).
        const bool colour = epg_ && epg_->colormode();
        f.scale = tfigurescale{0, 100, "Row contact [%]", [colour](double v) {
                                   const trgb c = contact_share_color(v, colour);
                                   return qRgb(c.r, c.g, c.b);
                               }};
    };
    plot_->mouse_press = [this](QMouseEvent* e) { press_at(static_cast<int>(e->position().x())); };
    plot_->mouse_move = [this](QMouseEvent* e) {
        if (e->buttons() & Qt::LeftButton)
            drag_to(static_cast<int>(e->position().x()), e->modifiers() & Qt::ControlModifier);
    };
    axistoken_ = ctx_.doc.xaxis.OnScaleChanged.subscribe([this](TAxis&) { fix_xaxis(); });
    // The picture is rebuilt when the channel or the colours change; a
    // new selection only moves the overlay.
    if (epg_)
        epg_->changed = [this] {
            if (isVisible()) Setbmpdirty(epg_->channel() != drawnchanno_ || epg_->colormode() != drawncolor_);
        };
    ctx_.doc.theglobal.add_listener(this);
}

tcontactevolutionwindow::~tcontactevolutionwindow() {
    ctx_.doc.xaxis.OnScaleChanged.unsubscribe(axistoken_);
    if (epg_) epg_->changed = nullptr;
    ctx_.doc.theglobal.remove_listener(this);
}

void tcontactevolutionwindow::Setbmpdirty(bool value) {
    if (value) plot_->mark_dirty();
    else plot_->update_overlay();
}

void tcontactevolutionwindow::fix_xaxis() {
    TAxis& x = plot_->xaxis()->axis();
    const TAxis& m = ctx_.doc.xaxis;
    if (x.GetLoValue() != m.GetLoValue() || x.GetHiValue() != m.GetHiValue()) {
        x.set_hilovalues(m.GetHiValue(), m.GetLoValue());
        plot_->mark_dirty();
    }
}

void tcontactevolutionwindow::press_at(int px) {
    const double t = plot_->xaxis()->axis().pixel_to_value(px);
    run_guarded(&ctx_.doc, [&] { ctx_.doc.theglobal.set_sel1cursor(t); }, false);
}

void tcontactevolutionwindow::drag_to(int px, bool ctrl) {
    const double t = plot_->xaxis()->axis().pixel_to_value(px);
    run_guarded(&ctx_.doc, [&] {
        if (ctrl) ctx_.doc.theglobal.set_sel1cursor(t);
        ctx_.doc.theglobal.set_sel2cursor(t);
    }, false);
}

void tcontactevolutionwindow::paint_layer(QPainter& p, const QSize& size) {
    p.fillRect(QRect(QPoint(0, 0), size), Qt::white);
    const int c = epg_ ? epg_->channel() : -1;
    drawnchanno_ = c;
    drawncolor_ = epg_ && epg_->colormode();
    if (c < 0 || c >= ctx_.doc.totnchans()) return;
    const tchannel& ch = ctx_.doc.channel(c);
    if (!ch.epgexists || ch.epg.empty()) return;
    TAxis& x = plot_->xaxis()->axis();
    const int W = size.width(), H = size.height();
    std::vector<double> times(static_cast<std::size_t>(std::max(W, 0)));
    for (int i = 0; i < W; ++i) times[static_cast<std::size_t>(i)] = x.pixel_to_value(i);
    const std::vector<trgb> img = contact_evolution_raster(ch, times, H, epg_->colormode());
    QImage q(W, H, QImage::Format_RGB32);
    for (int y = 0; y < H; ++y) {
        auto* line = reinterpret_cast<QRgb*>(q.scanLine(y));
        for (int i = 0; i < W; ++i) {
            const trgb& v = img[static_cast<std::size_t>(y) * static_cast<std::size_t>(W) + static_cast<std::size_t>(i)];
            line[i] = qRgb(v.r, v.g, v.b);
        }
    }
    p.drawImage(QRect(0, 0, W, H), q);
}

void tcontactevolutionwindow::paint_overlay(QPainter& p, const QSize& size) {
    const tglobal& g = ctx_.doc.theglobal;
    TAxis& x = plot_->xaxis()->axis();
    const int H = size.height();
    if (g.has_selection()) {
        const int a = x.value_to_notclippedpixel(g.leftselcursor());
        const int b = x.value_to_notclippedpixel(g.rightselcursor());
        p.fillRect(QRect(QPoint(std::min(a, b), 0), QPoint(std::max(a, b), H)), QColor(0, 0, 0, 60));
        p.setPen(Qt::black);
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRect(QPoint(std::min(a, b), 0), QPoint(std::max(a, b), H - 1)));
    } else {
        p.setPen(Qt::black);
        const int a = x.value_to_notclippedpixel(g.timecursor());
        p.drawLine(a, 0, a, H);
    }
    const int c = epg_ ? epg_->channel() : -1;
    if (c < 0 || c >= ctx_.doc.totnchans()) return;
    const tchannel& ch = ctx_.doc.channel(c);
    for (std::size_t i = 0; i < ch.cursors.size() && i < ctx_.view.showcursors.size(); ++i) {
        if (!ctx_.view.showcursors[i]) continue;
        p.setPen(QPen(bgr(i < ch.cursorcolors.size() ? ch.cursorcolors[i] : 0), 1));
        const int a = x.value_to_notclippedpixel(ch.cursors[i]);
        p.drawLine(a, 0, a, H);
    }
}

void tcontactevolutionwindow::showEvent(QShowEvent* e) {
    fix_xaxis();
    plot_->mark_dirty();
    QWidget::showEvent(e);
}

void tcontactevolutionwindow::main_cursor_changed(bool) {
    if (isVisible()) plot_->update_overlay();
}

void tcontactevolutionwindow::time_cursor_changed() {
    if (isVisible()) plot_->update_overlay();
}

void tcontactevolutionwindow::invalidate_paintboxes(bool makebmps) {
    if (!isVisible()) return;
    if (makebmps) plot_->mark_dirty();
    else plot_->update_overlay();
}

void tcontactevolutionwindow::fix_things() {
    // The channel list or the current channel may have changed.
    if (!isVisible()) return;
    fix_xaxis();
    plot_->mark_dirty();
}

void tcontactevolutionwindow::channel_changed(const tchannelchange&) {
    if (isVisible()) plot_->mark_dirty();
}

void tcontactevolutionwindow::document_state_changed() {
    if (isVisible() && epg_ && epg_->channel() != drawnchanno_) plot_->mark_dirty();
}

}  // namespace tessal
