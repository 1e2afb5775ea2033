// TPlotPanel: the plot area with its cached layer and overlay, the axes
// around it, copying and exporting; the grid, channel check list and
// status panels the plot windows share.
#include "gui/widgets/tplotpanel.h"


#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QSpinBox>
#include <QSvgGenerator>

#include "engine/core/tchannel.h"
#include "engine/core/tdocument.h"
#include "engine/formats/safereplace.h"
#include "gui/commands/commandguard.h"
#include "gui/widgets/figureexport.h"

namespace tessal {

class TPlotCanvas : public QWidget {
public:
    explicit TPlotCanvas(TPlotPanel* owner) : QWidget(owner), owner_(owner) {
        setAttribute(Qt::WA_OpaquePaintEvent);
        setMouseTracking(false);
        setMinimumSize(40, 40);
        setContextMenuPolicy(Qt::DefaultContextMenu);
    }
    bool dirty = true;
    QImage layer;

protected:
    void paintEvent(QPaintEvent*) override {
        const qreal dpr = devicePixelRatioF();
        if (dirty || layer.devicePixelRatio() != dpr || layer.deviceIndependentSize().toSize() != size()) {
            layer = QImage(size() * dpr, QImage::Format_RGB32);
            layer.setDevicePixelRatio(dpr);
            layer.fill(Qt::white);
            dirty = false;
            ++owner_->builds_;
            if (owner_->paint_layer) {
                QPainter lp(&layer);
                owner_->oncanvas_ = true;
                const bool ok = paint_guarded(this, tpaintstep::plot, -1,
                                              [&] { owner_->paint_layer(lp, size()); });
                owner_->oncanvas_ = false;
                if (!ok) layer.fill(Qt::white);
            }
        }
        QPainter p(this);
        p.drawImage(0, 0, layer);
        if (owner_->paint_overlay) owner_->paint_overlay(p, size());
    }
    void mousePressEvent(QMouseEvent* e) override {
        if (e->button() == Qt::LeftButton && owner_->mouse_press)
            run_guarded(nullptr, [&] { owner_->mouse_press(e); });
    }
    void mouseMoveEvent(QMouseEvent* e) override {
        if (owner_->mouse_move) run_guarded(nullptr, [&] { owner_->mouse_move(e); });
    }
    void mouseReleaseEvent(QMouseEvent* e) override {
        if (e->button() == Qt::LeftButton && owner_->mouse_release)
            run_guarded(nullptr, [&] { owner_->mouse_release(e); });
    }
    void contextMenuEvent(QContextMenuEvent* e) override {
        QMenu menu(this);
        menu.addAction("Copy as image", owner_, [this] { owner_->copy_image(); });
        menu.addAction("Export...", owner_, [this] { owner_->export_dialog(); });
        menu.exec(e->globalPos());
    }
    void resizeEvent(QResizeEvent*) override { dirty = true; }

private:
    TPlotPanel* owner_;
};

TPlotPanel::TPlotPanel(QWidget* parent) : QWidget(parent) {
    yaxis_ = new TAxisWidget(this);
    xaxis_ = new TAxisWidget(this);
    canvas_ = new TPlotCanvas(this);
    TAxis& y = yaxis_->axis();
    y.SetPosition(taxisposition::posleft);
    y.SetAutosize(true);
    TAxis& x = xaxis_->axis();
    x.SetPosition(taxisposition::posunder);
    x.SetAutosize(true);
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setSpacing(0);
    grid->addWidget(yaxis_, 0, 0);
    grid->addWidget(canvas_, 0, 1);
    grid->addWidget(xaxis_, 1, 1);
    grid->setRowStretch(0, 1);
    grid->setColumnStretch(1, 1);
    // A scale change redraws the curves.
    for (TAxisWidget* a : {yaxis_, xaxis_}) {
        a->axis().OnScaleChanging.subscribe([this](TAxis&) { mark_dirty(); });
        a->axis().OnScaleChanged.subscribe([this](TAxis&) { mark_dirty(); });
    }
}

QWidget* TPlotPanel::canvas() const { return canvas_; }
QSize TPlotPanel::plot_size() const { return canvas_->size(); }

void TPlotPanel::mark_dirty() {
    canvas_->dirty = true;
    canvas_->update();
}

void TPlotPanel::update_overlay() { canvas_->update(); }

void TPlotPanel::render(QPainter& p, const QSize& size) {
    TAxis& y = yaxis_->axis();
    TAxis& x = xaxis_->axis();
    const int yw = yaxis_->width(), xh = xaxis_->height();
    const QSize plot(std::max(size.width() - yw, 2), std::max(size.height() - xh, 2));
    // The axes are laid out for the picture's size while it is drawn, then
    // put back.
    const int oldyh = y.GetHeight(), oldxw = x.GetWidth();
    y.SetHeight(plot.height());
    x.SetWidth(plot.width());
    p.save();
    p.fillRect(QRect(QPoint(0, 0), size), Qt::white);
    yaxis_->paint_scale(p, yw, plot.height());
    p.translate(yw, plot.height());
    xaxis_->paint_scale(p, plot.width(), xh);
    p.translate(0, -plot.height());
    p.setClipRect(QRect(QPoint(0, 0), plot));
    p.fillRect(QRect(QPoint(0, 0), plot), Qt::white);
    if (paint_layer) paint_layer(p, plot);
    if (paint_overlay) paint_overlay(p, plot);
    p.restore();
    y.SetHeight(oldyh);
    x.SetWidth(oldxw);
}

QImage TPlotPanel::render_image(const QSize& size, qreal dpr) {
    QImage img(size * dpr, QImage::Format_RGB32);
    img.setDevicePixelRatio(dpr);
    img.fill(Qt::white);
    QPainter p(&img);
    render(p, size);
    return img;
}

namespace {
tfigureaxis figure_axis(TAxis& a) {
    tfigureaxis f;
    f.lo = a.GetLoValue();
    f.hi = a.GetHiValue();
    f.logarithmic = a.GetLogarithmic();
    f.music = a.GetMusicScale();
    f.text = named_axis_text(a.GetAxisText());
    f.tickspace = a.GetTickSpaceAim();
    return f;
}
}  // namespace

tfigure TPlotPanel::figure() {
    tfigure f;
    f.title = figure_title ? figure_title() : (window() ? window()->windowTitle().toStdString() : std::string());
    f.x = figure_axis(xaxis_->axis());
    f.y = figure_axis(yaxis_->axis());
    f.paint = [this](QPainter& p, const QSize& plot, TAxis&, TAxis&) {
        // The window draws through its own axes: laid out for the plot's
        // size while it draws, then put back.
        TAxis& y = yaxis_->axis();
        TAxis& x = xaxis_->axis();
        const int oldyh = y.GetHeight(), oldxw = x.GetWidth();
        y.SetHeight(plot.height());
        x.SetWidth(plot.width());
        p.fillRect(QRect(QPoint(0, 0), plot), Qt::white);
        if (paint_layer) paint_layer(p, plot);
        if (paint_overlay) paint_overlay(p, plot);
        y.SetHeight(oldyh);
        x.SetWidth(oldxw);
    };
    if (figure_extras) figure_extras(f);
    return f;
}

bool TPlotPanel::export_file(const QString& path, const QSize& size, QString* error, int dpi) {
    return export_figure(figure(), path, size, dpi, error);
}

void TPlotPanel::copy_image() {
    QApplication::clipboard()->setImage(render_image(size(), devicePixelRatioF()));
}

void TPlotPanel::export_dialog() {
    export_figure_dialog(this, [this] { return figure(); }, size());
}

void paint_plot_grid(QPainter& p, TAxis& x, TAxis& y, const QSize& size) { draw_plot_grid(p, x, y, size); }

// --------------------------------------------------------------- lock

void TChannelLock::set_locked(bool on, const tdocument& doc) {
    locked_ = on;
    if (on) channo_ = doc.totnchans() > 0 ? doc.thischanno() : 0;
}

int TChannelLock::channel(const tdocument& doc) const {
    const int n = doc.totnchans();
    if (n == 0) return -1;
    if (!locked_) return doc.thischanno();
    return channo_ >= 0 && channo_ < n ? channo_ : 0;
}

// --------------------------------------------------------------- check list

TChannelCheckList::TChannelCheckList(QWidget* parent) : QListWidget(parent) {
    connect(this, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
        if (!rebuilding_) emit checks_changed(row(item), item->checkState() == Qt::Checked);
    });
}

void TChannelCheckList::rebuild(const tdocument& doc, const std::function<bool(int)>& checked) {
    rebuilding_ = true;
    const int selected = currentRow();
    clear();
    for (int i = 0; i < doc.totnchans(); ++i) {
        auto* item = new QListWidgetItem(QString::number(i) + ": " +
                                         QString::fromStdString(doc.channel(i).name()), this);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(checked(i) ? Qt::Checked : Qt::Unchecked);
    }
    if (selected >= 0 && selected < count()) setCurrentRow(selected);
    rebuilding_ = false;
}

bool TChannelCheckList::is_checked(int chno) const {
    const QListWidgetItem* it = item(chno);
    return it && it->checkState() == Qt::Checked;
}

void TChannelCheckList::set_checked(int chno, bool on) {
    if (QListWidgetItem* it = item(chno)) it->setCheckState(on ? Qt::Checked : Qt::Unchecked);
}

// ------------------------------------------------------------ status panels

TStatusPanels::TStatusPanels(const std::vector<int>& widths, QWidget* parent) : QStatusBar(parent) {
    setSizeGripEnabled(false);
    for (std::size_t i = 0; i < widths.size(); ++i) {
        auto* l = new QLabel(this);
        // The last panel reaches to the bar's right end, so a long status
        // ("Calculating spectrogram for channel 2 - 42.0 %") is not cut.
        if (i + 1 < widths.size()) {
            l->setFixedWidth(widths[i]);
            addWidget(l);
        } else {
            l->setMinimumWidth(widths[i]);
            addWidget(l, 1);
        }
        panels_.push_back(l);
    }
}

void TStatusPanels::set_text(int panel, const QString& text) {
    if (panel < 0 || panel >= static_cast<int>(panels_.size())) return;
    QLabel* l = panels_[panel];
    l->setText(text);
    // A panel widens to a text longer than it (and keeps that width, so the
    // panels beside it do not jump as the numbers change).
    const QMargins m = l->contentsMargins();
    const int need = l->fontMetrics().horizontalAdvance(text) + m.left() + m.right() + 2 * l->margin() + 4;
    if (panel + 1 < static_cast<int>(panels_.size())) {
        if (need > l->width() && need > l->minimumWidth()) l->setFixedWidth(need);
    } else if (need > l->minimumWidth()) {
        l->setMinimumWidth(need);
    }
}

QString TStatusPanels::text(int panel) const {
    return panel >= 0 && panel < static_cast<int>(panels_.size()) ? panels_[panel]->text() : QString();
}

}  // namespace tessal
