// TAxisWidget: painting per axis side, mouse feeding, drag cursors and the
// limits dialog.
#include "gui/widgets/taxiswidget.h"

#include <QHash>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QTransform>
#include <cmath>

#include "gui/commands/commandguard.h"
#include "gui/widgets/taxislimitform.h"

namespace tessal {

namespace {

// The model keeps colours as 0x00BBGGRR.
QColor bgr_color(unsigned c) { return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }

QString qs(const std::string& s) { return QString::fromStdString(s); }

// One drag cursor, 32 x 32 with the hot spot in the middle: a double arrow
// along the axis with a bar at the end it moves (both ends for panning get
// the bar in the middle). Drawn for a vertical axis; the horizontal ones are
// the same turned a quarter clockwise, so "upper" lands on the right.
QPixmap draw_cursor(const QString& name) {
    QPixmap pm(32, 32);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing, false);
    if (name.startsWith('H')) p.setTransform(QTransform().translate(16, 16).rotate(90).translate(-16, -16));
    const QString kind = name.mid(1);
    int top = 3, bottom = 29, bar = 16;
    if (kind == "UPPER") {
        bar = 2;
        top = 7;
    } else if (kind == "LOWER") {
        bar = 30;
        bottom = 25;
    }
    QPainterPath path;
    path.moveTo(16, top);
    path.lineTo(11, top + 6);
    path.lineTo(15, top + 6);
    path.lineTo(15, bottom - 6);
    path.lineTo(11, bottom - 6);
    path.lineTo(16, bottom);
    path.lineTo(21, bottom - 6);
    path.lineTo(17, bottom - 6);
    path.lineTo(17, top + 6);
    path.lineTo(21, top + 6);
    path.closeSubpath();
    path.addRect(8, bar - 1, 16, 2);
    p.setPen(QPen(Qt::white, 2));
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    p.drawPath(path);
    return pm;
}

}  // namespace

QCursor TAxisWidget::drag_cursor(const QString& name) {
    static QHash<QString, QCursor> cursors;
    auto it = cursors.find(name);
    if (it == cursors.end()) it = cursors.insert(name, QCursor(draw_cursor(name), 16, 16));
    return *it;
}

TAxisWidget::TAxisWidget(QWidget* parent) : TAxisWidget(nullptr, parent) {}

TAxisWidget::TAxisWidget(TAxis* axis, QWidget* parent) : QWidget(parent), metrics_(font()) {
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAxis(axis);
}

TAxisWidget::~TAxisWidget() { detach(); }

void TAxisWidget::setAxis(TAxis* axis) {
    if (axis_) detach();
    if (!axis) {
        if (!own_) own_ = std::make_unique<TAxis>();
        axis = own_.get();
    }
    axis_ = axis;
    attach();
}

void TAxisWidget::attach() {
    invalidatetoken_ = axis_->OnInvalidate.subscribe([this](TAxis&) {
        cachedirty_ = true;
        update();
    });
    resizetoken_ = axis_->OnResize.subscribe([this](TAxis&) { apply_autosize(); });
    axis_->SetWidth(width());
    axis_->SetHeight(height());
    axis_->set_textmetrics(&metrics_);
    cachedirty_ = true;
    apply_autosize();
    update();
}

void TAxisWidget::forget_axis() {
    axis_ = nullptr;
    setAxis(nullptr);
}

void TAxisWidget::detach() {
    if (!axis_) return;
    axis_->OnInvalidate.unsubscribe(invalidatetoken_);
    axis_->OnResize.unsubscribe(resizetoken_);
    // The metrics die with this widget; leave the model with the default ones.
    axis_->set_textmetrics(nullptr);
    axis_ = nullptr;
}

void TAxisWidget::apply_autosize() {
    if (!axis_->GetAutosize()) return;
    if (axis_->vertical()) setFixedWidth(axis_->GetWidth());
    else setFixedHeight(axis_->GetHeight());
}

QSize TAxisWidget::sizeHint() const {
    if (axis_->vertical()) return QSize(axis_->autosize_extent(), 200);
    return QSize(200, axis_->autosize_extent());
}

void TAxisWidget::resizeEvent(QResizeEvent*) {
    axis_->SetWidth(width());
    axis_->SetHeight(height());
    cachedirty_ = true;
}

void TAxisWidget::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) {
        metrics_.set_font(font());
        axis_->font_changed();
    }
    QWidget::changeEvent(event);
}

// --------------------------------------------------------------- painting

void TAxisWidget::render_cache() {
    const qreal dpr = devicePixelRatioF();
    const int W = width(), H = height();
    cache_ = QPixmap(QSize(std::max(W, 1), std::max(H, 1)) * dpr);
    cache_.setDevicePixelRatio(dpr);
    cachedirty_ = false;
    QPainter p(&cache_);
    paint_scale(p, W, H);
}

void TAxisWidget::paint_scale(QPainter& p, int W, int H) {
    TAxis& a = *axis_;
    p.fillRect(QRect(0, 0, W, H), bgr_color(a.GetBackgroundColor()));
    p.setFont(font());
    p.setPen(Qt::black);
    const QColor ink(Qt::black);
    const int n = a.nTickMarks();  // recomputes dirty ticks with our sizes
    const int tms = a.GetTickMarkSize();
    const ttextmetrics& m = metrics_;
    const std::string& text = a.GetAxisText();
    const int textw = m.text_width(text), texth = m.text_height(text);
    const auto pos = a.GetPosition();
    // Texts are placed by their boxes, so measuring and drawing agree.
    auto draw = [&](int x, int y, const std::string& s) {
        p.drawText(QRect(x, y, m.text_width(s) + 1, m.text_height(s)),
                   Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip, qs(s));
    };

    if (a.vertical()) {
        const bool left = pos == taxisposition::posleft;
        const int base = left ? W - tms : 0;
        draw(left ? W - textw - 2 : 2, 2, text);
        a.axistextposition = texth;
        for (int i = 0; i < n; ++i) {
            const int y = a.tickposition(i);
            p.fillRect(QRect(base, y, tms, 1), ink);
            const std::string s = a.ticktext(i);
            if (s.empty()) continue;
            const int lw = m.text_width(s), lh = m.text_height(s);
            const int top = y - lh / 2;
            if (top < a.axistextposition + 2 || top + lh >= H) continue;
            draw(left ? base - lw - 1 : tms + 1, top, s);
        }
    } else {
        const bool over = pos == taxisposition::posover;
        const int base = over ? H - tms : 0;
        draw(W - textw, over ? base - texth : tms, text);
        a.axistextposition = W - textw;
        for (int i = 0; i < n; ++i) {
            const int x = a.tickposition(i);
            p.fillRect(QRect(x, base, 1, tms), ink);
            const std::string s = a.ticktext(i);
            if (s.empty()) continue;
            const int lw = m.text_width(s), lh = m.text_height(s);
            const int left = x - lw / 2;
            if (left < 0 || left + lw >= a.axistextposition) continue;
            draw(left, over ? base - lh : tms, s);
        }
    }
}

void TAxisWidget::paintEvent(QPaintEvent*) {
    if (cachedirty_ || cache_.devicePixelRatio() != devicePixelRatioF() ||
        cache_.deviceIndependentSize().toSize() != size())
        if (!paint_guarded(this, tpaintstep::axis, property("channo").isValid() ? property("channo").toInt() : -1,
                           [this] { render_cache(); }))
            cache_.fill(Qt::white);
    QPainter p(this);
    p.drawPixmap(0, 0, cache_);
    if (axis_->GetMarkerVisible()) {
        // Inverted, so the marker shows on any background and over labels.
        const int px = axis_->GetMarkerPixel();
        p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
        if (axis_->vertical()) p.fillRect(QRect(0, px, width(), 1), Qt::white);
        else p.fillRect(QRect(px, 0, 1, height()), Qt::white);
    }
}

// ------------------------------------------------------------------ mouse

int TAxisWidget::along(const QMouseEvent* event) const {
    const QPointF pt = event->position();
    return static_cast<int>(std::floor(axis_->vertical() ? pt.y() : pt.x()));
}

void TAxisWidget::update_cursor(int pos) {
    static const char* const vnames[] = {"", "VLOWER", "VMIDDLE", "VUPPER"};
    static const char* const hnames[] = {"", "HLOWER", "HMIDDLE", "HUPPER"};
    const int mode = axis_->drag_mode_at(pos);
    const QString name = (axis_->vertical() ? vnames : hnames)[mode];
    if (name == cursorname_) return;
    cursorname_ = name;
    if (name.isEmpty()) unsetCursor();
    else setCursor(drag_cursor(name));
}

void TAxisWidget::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) run_guarded(nullptr, [&] { axis_->mouse_down(along(event)); });
    emit mousePressed(event);
}

void TAxisWidget::mouseMoveEvent(QMouseEvent* event) {
    const int pos = along(event);
    if ((event->buttons() & Qt::LeftButton) && axis_->dragging())
        run_guarded(nullptr, [&] { axis_->mouse_move(pos); });
    else if (!axis_->dragging()) update_cursor(pos);
    emit mouseMoved(event);
}

void TAxisWidget::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        run_guarded(nullptr, [&] { axis_->mouse_up(along(event)); });
        update_cursor(along(event));
    }
    emit mouseReleased(event);
}

void TAxisWidget::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && axis_->fallowdoubleclick) {
        open_limits_dialog();
        return;
    }
    mousePressEvent(event);
}

void TAxisWidget::open_limits_dialog() {
    if (!form_) form_ = new TAxisLimitForm(this);
    TAxis& a = *axis_;
    form_->SetAxisText(qs(a.GetAxisText()));
    form_->set_values(a.GetLoValue(), a.GetHiValue(), a.GetLogarithmic(), a.fallowlogarithmicchange);
    const bool ok = form_->exec() == QDialog::Accepted;
    run_guarded(nullptr, [&] { a.apply_limits(ok, form_->hivalue(), form_->lovalue(), form_->logarithmic()); });
}

}  // namespace tessal
