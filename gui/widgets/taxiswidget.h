// TAxisWidget: paints a TAxis scale model beside or under a plot and feeds
// it the mouse. The widget either owns a model of its own or shows one that
// lives elsewhere (a channel's amplitude axis); a model that is not owned
// must outlive the widget or be swapped out with setAxis first. While
// attached, the widget subscribes to the model's OnInvalidate and OnResize
// and sets its text metrics (its own font); plots that use the axis
// subscribe to OnScaleChanging/OnScaleChanged.
//
// Ticks and labels are drawn into a cached pixmap at the screen's device
// pixel ratio, rebuilt only when the model says something changed; the
// marker line is inverted over the cache on every paint.
#pragma once

#include <QCursor>
#include <QPainter>
#include <QPixmap>
#include <QString>
#include <QWidget>
#include <memory>

#include "engine/core/taxis.h"
#include "gui/platform/qttextmetrics.h"

namespace tessal {

class TAxisLimitForm;

class TAxisWidget : public QWidget {
    Q_OBJECT

public:
    explicit TAxisWidget(QWidget* parent = nullptr);
    explicit TAxisWidget(TAxis* axis, QWidget* parent = nullptr);
    ~TAxisWidget() override;

    TAxis& axis() { return *axis_; }
    // Shows another model (not owned); nullptr returns to the widget's own.
    void setAxis(TAxis* axis);
    // The model was destroyed behind the widget's back: drop it without
    // touching it and show a blank axis of the widget's own.
    void forget_axis();

    // The limits dialog of a double click; returns after it closed.
    void open_limits_dialog();

    // Name of the drag cursor shown now ("VUPPER" ... "HMIDDLE"), empty for
    // the plain cursor.
    const QString& cursor_name() const { return cursorname_; }
    // The small drag cursors, drawn once.
    static QCursor drag_cursor(const QString& name);

    QSize sizeHint() const override;

    // Paints the scale (background, ticks, labels, axis text) at the
    // model's current length into any painter, W x H pixels from (0, 0):
    // what the widget shows, and what an exported plot draws around it.
    void paint_scale(QPainter& p, int W, int H);

signals:
    // Mouse events, after the axis handled them.
    void mousePressed(QMouseEvent* event);
    void mouseMoved(QMouseEvent* event);
    void mouseReleased(QMouseEvent* event);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void attach();
    void detach();
    void render_cache();
    void apply_autosize();
    void update_cursor(int pos);
    int along(const QMouseEvent* event) const;

    std::unique_ptr<TAxis> own_;
    TAxis* axis_ = nullptr;
    tsubscribers<TAxis&>::token invalidatetoken_ = 0, resizetoken_ = 0;
    tqtextmetrics metrics_;
    QPixmap cache_;
    bool cachedirty_ = true;
    QString cursorname_;
    TAxisLimitForm* form_ = nullptr;
};

}  // namespace tessal
