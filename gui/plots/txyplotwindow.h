// The "xy-plot" window: one channel against another, sample by sample, as
// a line or as points, over the selection, the main window's visible range
// or the whole file. The plot is drawn through the pixel grid that
// engine/analysis makes (xy_raster), so long spans stay quick.
#pragma once

#include <QWidget>

#include "engine/analysis/xyplot.h"
#include "engine/core/tviewlistener.h"
#include "gui/windows/windowtools.h"

class QAction;
class QCheckBox;
class QComboBox;

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
    // Whether the plot of that span is drawn whole (a long one takes
    // several paints).
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
    // What the grid being drawn was started for; a paint with another key
    // starts again.
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
    // A long span is drawn in slices, one paint at a time, so the window
    // keeps answering; the grid so far is shown meanwhile.
    txyrasterizer raster_;
    trasterkey rasterkey_;
    bool rasterstale_ = true;  // the document changed: start again
};

}  // namespace tessal
