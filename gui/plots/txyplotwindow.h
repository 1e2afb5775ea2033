// The "xy-plot" window: one channel against another, sample by sample, as
// a line or as points, over the selection, the main window's visible range
// or the whole file. The plot is drawn through the pixel grid that
// engine/analysis makes (txyrasterizer), on a job line off the window's
// thread from slices of the channels' stores; the window shows the last
// finished grid, with the progress of the newer one, until it is ready.
#pragma once

#include <QImage>
#include <QWidget>

#include "engine/analysis/xyplot.h"
#include "engine/core/tviewlistener.h"
#include "engine/jobs/jobline.h"
#include "gui/windows/windowjobs.h"
#include "gui/windows/windowtools.h"

class QAction;
class QCheckBox;
class QComboBox;
class QTimer;

namespace tessal {

class tappcontext;
class TPlotPanel;

class txyplotwindow : public QWidget, public tviewlistener {
    Q_OBJECT

public:
    txyplotwindow(tappcontext& ctx, QWidget* owner);
    ~txyplotwindow() override;
    QSize sizeHint() const override { return {700, 520}; }

    TPlotPanel* plot() const { return plot_; }
    void set_channels(int x, int y);
    void set_span(txyspan s);
    void set_points(bool points);
    // The span the plot shows now.
    txyrange range() const;
    // Whether the plot shown is the whole grid of that span at the plot's
    // size and scales (a long one is computed off the window's thread).
    bool drawing_done() const;

    void selection_changed(const tselectionchange& change) override;
    void channels_changed() override;
    void channel_changed(const tchannelchange& change) override;
    void fix_things() override;

private:
    void rebuild_lists();
    void choices_changed();
    void autoscale();
    void paint_layer(QPainter& p, const QSize& size);
    // What a grid is computed for; a paint with another key than the one
    // being computed starts again.
    struct trasterkey {
        int cx = -1, cy = -1, width = 0, height = 0;
        long long first = 0, last = -1;
        bool lines = true, xlog = false, ylog = false;
        double xlo = 0, xhi = 0, ylo = 0, yhi = 0;
        bool operator==(const trasterkey&) const = default;
    };

    tappcontext& ctx_;
    twindowtools tools_;
    TPlotPanel* plot_ = nullptr;
    QComboBox *xchan_ = nullptr, *ychan_ = nullptr, *what_ = nullptr, *type_ = nullptr;
    QCheckBox* autoscale_ = nullptr;
    QAction* grid_ = nullptr;
    bool rebuilding_ = false;
    trasterkey current_key(const QSize& size) const;
    void start_raster(const trasterkey& key, txyrange r);
    QTimer* progresstimer_ = nullptr;
    QImage shown_;             // the last finished grid, black on transparent
    trasterkey shownkey_;
    trasterkey wantedkey_;     // what the newest request computes
    bool haveshown_ = false;
    bool rasterstale_ = true;  // the document changed: start again
    // Last: it goes first, cancelling its job before what the hand-backs touch.
    tjobline line_{deliver_to(this)};
};

}  // namespace tessal
