// The "xy-plot" window: one channel against another, sample by sample, as
// a line or as points, over the selection, the main window's visible range
// or the whole file. The plot is drawn through the pixel grid that
// engine/analysis makes (xy_raster), so long spans stay quick.
#pragma once

#include <QWidget>

#include "engine/analysis/xyplot.h"
#include "engine/core/tviewlistener.h"

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

    void selection_changed(const tselectionchange& change) override;
    void channels_changed() override;
    void channel_changed(const tchannelchange& change) override;
    void fix_things() override;

private:
    void rebuild_lists();
    void choices_changed();
    void autoscale();
    void paint_layer(QPainter& p, const QSize& size);

    tappcontext& ctx_;
    TPlotPanel* plot_ = nullptr;
    QComboBox *xchan_ = nullptr, *ychan_ = nullptr, *what_ = nullptr, *type_ = nullptr;
    QCheckBox* autoscale_ = nullptr;
    QAction* grid_ = nullptr;
    bool rebuilding_ = false;
};

}  // namespace tessal
