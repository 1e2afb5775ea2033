// TPlotPanel: what every analysis plot is made of. A level (or value) axis
// at the left, a horizontal axis under the plot, and the plot area between
// them, each a TAxis the window configures. The plot area paints in two
// parts: a cached layer (grid, curves, marks: whatever is expensive),
// rebuilt only after mark_dirty() or a change of size or device pixel
// ratio, and an overlay (cursors, crosshair) drawn over it on every paint,
// so moving a cursor costs no rebuild. Both are the window's callbacks and
// paint in plot-area pixels, mapping values through the two axes.
//
// Every plot gets for free: "Copy as image" (the panel with its axes as a
// bitmap on the clipboard) and "Export..." of the plot as a figure (title,
// axes with their units, the picture; gui/figure) to PNG, SVG or PDF at any
// size and resolution (the window's axes are laid out again for the plot's
// size while it is drawn). Both are on the plot's context menu; windows add
// them to their tool bars too.
//
// Also here, for the tool windows: the grid under a plot (a line at every
// tick, grey for major ticks, silver for minor), the "Lock channel" rule, a
// channel check list that keeps its ticks when the channel list is rebuilt,
// and fixed-width status panels.
#pragma once

#include <QImage>
#include <QListWidget>
#include <QStatusBar>
#include <QWidget>
#include <functional>
#include <vector>

#include "gui/figure/figure.h"
#include "gui/figure/plotdrawing.h"
#include "gui/widgets/taxiswidget.h"

class QLabel;

namespace tessal {

class tdocument;

class TPlotCanvas;

class TPlotPanel : public QWidget {
    Q_OBJECT

public:
    explicit TPlotPanel(QWidget* parent = nullptr);

    TAxisWidget* yaxis() const { return yaxis_; }
    TAxisWidget* xaxis() const { return xaxis_; }
    QWidget* canvas() const;
    QSize plot_size() const;

    // Painters in plot-area pixels, given the area's size.
    std::function<void(QPainter&, const QSize&)> paint_layer;
    std::function<void(QPainter&, const QSize&)> paint_overlay;
    // Mouse over the plot area (positions in plot pixels).
    std::function<void(QMouseEvent*)> mouse_press, mouse_move, mouse_release;

    // The layer is rebuilt at the next paint.
    void mark_dirty();
    // Repaints the overlay over the cached layer.
    void update_overlay();
    // How often the layer was built (tests, benches).
    int layer_builds() const { return builds_; }
    // True while paint_layer draws the on-screen layer, false while it
    // draws for render() or an export: a window may draw the screen in
    // slices over several paints, but an export is drawn whole.
    bool painting_canvas() const { return oncanvas_; }

    // The whole panel, axes and plot, drawn at `size` into `p`.
    void render(QPainter& p, const QSize& size);
    QImage render_image(const QSize& size, qreal dpr = 1.0);
    // The figure of what the plot shows: its axes, the layer and overlay,
    // the title (figure_title, else the window's title) and what the
    // window adds (figure_extras: a colour scale).
    tfigure figure();
    std::function<std::string()> figure_title;
    std::function<void(tfigure&)> figure_extras;
    // PNG, SVG or PDF by the extension of `path`; false with the reason.
    bool export_file(const QString& path, const QSize& size, QString* error = nullptr, int dpi = 96);
    void copy_image();
    // Asks for a size, a resolution and a file, then exports.
    void export_dialog();

private:
    friend class TPlotCanvas;
    void layout_axes();
    TAxisWidget* yaxis_;
    TAxisWidget* xaxis_;
    TPlotCanvas* canvas_;
    int builds_ = 0;
    bool oncanvas_ = false;
};

// The grid of a plot: a vertical line at every tick of `x`, a horizontal
// line at every tick of `y`.
void paint_plot_grid(QPainter& p, TAxis& x, TAxis& y, const QSize& size);

// "Lock channel": a tool window follows the main window's current channel
// until it is locked, then keeps the channel it was locked to (the first
// channel when that one is gone).
class TChannelLock {
public:
    bool locked() const { return locked_; }
    // Locking takes the current channel.
    void set_locked(bool on, const tdocument& doc);
    // The channel followed now; -1 without channels.
    int channel(const tdocument& doc) const;

private:
    bool locked_ = false;
    int channo_ = 0;
};

// Channel check list, one line per channel: its index, ": " and its name.
class TChannelCheckList : public QListWidget {
    Q_OBJECT

public:
    explicit TChannelCheckList(QWidget* parent = nullptr);
    // Rebuilds from the document; `checked(i)` gives channel i's tick, the
    // selected row is kept when it still exists.
    void rebuild(const tdocument& doc, const std::function<bool(int)>& checked);
    bool is_checked(int chno) const;
    void set_checked(int chno, bool on);

signals:
    void checks_changed(int chno, bool on);

private:
    bool rebuilding_ = false;
};

// Status bar panels of fixed widths, each widened to the longest text it
// was given; the last one takes the rest of the bar.
class TStatusPanels : public QStatusBar {
    Q_OBJECT

public:
    TStatusPanels(const std::vector<int>& widths, QWidget* parent = nullptr);
    void set_text(int panel, const QString& text);
    QString text(int panel) const;

private:
    std::vector<QLabel*> panels_;
};

}  // namespace tessal
