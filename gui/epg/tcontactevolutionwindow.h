// The "Contact evolution" window: for the channel the EPG window shows, the
// contact of each electrode row over time under the main window's time
// axis, one band per row (the back row at the bottom) shaded by how many of
// its electrodes touch. Dragging on it sets the main window's selection.
// The picture comes from engine/tools/epg.
#pragma once

#include <QWidget>

#include "engine/core/subscribers.h"
#include "engine/core/tviewlistener.h"
#include "gui/widgets/tplotpanel.h"

namespace tessal {

class tappcontext;
class tepgwindow;

class tcontactevolutionwindow : public QWidget, public tviewlistener {
    Q_OBJECT

public:
    tcontactevolutionwindow(tappcontext& ctx, tepgwindow* epg, QWidget* owner);
    ~tcontactevolutionwindow() override;
    QSize sizeHint() const override { return {720, 260}; }

    TPlotPanel* plot() const { return plot_; }
    // Marks the picture for rebuilding and repaints.
    void Setbmpdirty(bool value);
    // Follows the main window's time axis.
    void fix_xaxis();
    // The mouse at plot pixel x: press sets the first selection cursor,
    // dragging the second one (with Ctrl both, a single cursor).
    void press_at(int x);
    void drag_to(int x, bool ctrl);

    void main_cursor_changed(bool sel2) override;
    void time_cursor_changed() override;
    void invalidate_paintboxes(bool makebmps) override;
    void fix_things() override;
    void channel_changed(const tchannelchange& change) override;
    void document_state_changed() override;

protected:
    void showEvent(QShowEvent* e) override;

private:
    void paint_layer(QPainter& p, const QSize& size);
    void paint_overlay(QPainter& p, const QSize& size);

    tappcontext& ctx_;
    tepgwindow* epg_;
    TPlotPanel* plot_ = nullptr;
    tsubscribers<TAxis&>::token axistoken_ = 0;
    int drawnchanno_ = -2;
    bool drawncolor_ = false;
};

}  // namespace tessal
