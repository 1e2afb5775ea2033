#include "gui/plots/txyplotwindow.h"

#include <QTimer>
#include <memory>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QToolBar>
#include <QVBoxLayout>

#include "engine/analysis/spectrum.h"
#include "engine/core/tchannel.h"
#include "engine/core/tdocument.h"
#include "gui/commands/commandguard.h"
#include "gui/context/appcontext.h"
#include "gui/widgets/tplotpanel.h"

namespace tessal {

txyplotwindow::txyplotwindow(tappcontext& ctx, QWidget* owner)
    : QWidget(owner, Qt::Window | Qt::Tool), ctx_(ctx), tools_(this, &ctx.doc) {
    setWindowTitle("xy-plot");
    progresstimer_ = new QTimer(this);
    progresstimer_->setInterval(100);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    tools_.add({.id = "showgridaction", .caption = "Show grid", .checkable = true, .toolorder = 10,
                .hint = "Show grid"});
    outer->addWidget(tools_.build());
    grid_ = tools_.action("showgridaction");
    grid_->setChecked(true);
    connect(grid_, &QAction::toggled, this, [this] { plot_->mark_dirty(); });

    auto* body = new QHBoxLayout;
    outer->addLayout(body, 1);
    auto* side = new QVBoxLayout;
    body->addLayout(side);
    auto combo = [&](const char* label, const char* name) {
        side->addWidget(new QLabel(label));
        auto* c = new QComboBox;
        c->setObjectName(name);
        side->addWidget(c);
        return c;
    };
    xchan_ = combo("x channel", "xchannelbox");
    ychan_ = combo("y channel", "ychannelbox");
    what_ = combo("What to plot", "whatbox");
    what_->addItems({"Selection", "Main window", "Entire file"});
    autoscale_ = new QCheckBox("Autoscale axes");
    autoscale_->setChecked(true);
    side->addWidget(autoscale_);
    type_ = combo("Graph type", "graphtypebox");
    type_->addItems({"Lines", "Points"});
    side->addStretch(1);
    // A channel's axis may refuse what another channel's holds: the change
    // runs guarded, so a refusal is a message, not the end of the program.
    for (QComboBox* c : {xchan_, ychan_, what_})
        connect(c, &QComboBox::currentIndexChanged, this,
                [this] { run_guarded(nullptr, [this] { choices_changed(); }, false); });
    connect(type_, &QComboBox::currentIndexChanged, this, [this] { plot_->mark_dirty(); });

    plot_ = new TPlotPanel(this);
    body->addWidget(plot_, 1);
    for (TAxis* a : {&plot_->xaxis()->axis(), &plot_->yaxis()->axis()}) {
        a->set_hilovalues(1, 0);
        a->SetTickSpaceAim(1);
        a->fallowdoubleclick = true;
        a->fallowlogarithmicchange = true;
        a->fallowmidscroll = true;
    }
    plot_->paint_layer = [this](QPainter& p, const QSize& s) { paint_layer(p, s); };
    // Both channels and the span of samples the plot pairs.
    plot_->figure_title = [this] {
        const tdocument& doc = ctx_.doc;
        const int cx = xchan_->currentIndex(), cy = ychan_->currentIndex();
        const txyrange r = range();
        if (cx < 0 || cy < 0 || cx >= doc.totnchans() || cy >= doc.totnchans() || r.empty())
            return figure_title_of(doc.filename(), -1, "", 0, -1);
        const tchannel& x = doc.channel(cx);
        const std::string names = "channels " + std::to_string(cx) + " \"" + x.name() + "\" and " +
                                  std::to_string(cy) + " \"" + doc.channel(cy).name() + "\"";
        const double fs = x.sampfreq > 0 ? x.sampfreq : 1;
        return figure_title_of(doc.filename(), -1, names, (static_cast<double>(r.first) + x.xshift) / fs,
                               (static_cast<double>(r.last) + x.xshift) / fs);
    };
    connect(progresstimer_, &QTimer::timeout, this, [this] {
        if (!line_.busy()) progresstimer_->stop();
        plot_->mark_dirty();
    });
    rebuild_lists();
    ctx_.doc.theglobal.add_listener(this);
}

txyplotwindow::~txyplotwindow() {
    line_.cancel();
    ctx_.doc.theglobal.remove_listener(this);
}

void txyplotwindow::rebuild_lists() {
    rebuilding_ = true;
    const int ox = xchan_->currentIndex(), oy = ychan_->currentIndex();
    const tdocument& doc = ctx_.doc;
    for (QComboBox* c : {xchan_, ychan_}) {
        c->clear();
        for (int i = 0; i < doc.totnchans(); ++i)
            c->addItem(QString::number(i) + ": " + QString::fromStdString(doc.channel(i).name()));
    }
    const int n = doc.totnchans();
    xchan_->setCurrentIndex(ox >= 0 && ox < n ? ox : (n > 0 ? 0 : -1));
    ychan_->setCurrentIndex(oy >= 0 && oy < n ? oy : (n > 1 ? 1 : n - 1));
    rebuilding_ = false;
    choices_changed();
}

void txyplotwindow::set_channels(int x, int y) {
    xchan_->setCurrentIndex(x);
    ychan_->setCurrentIndex(y);
}
void txyplotwindow::set_span(txyspan s) { what_->setCurrentIndex(static_cast<int>(s)); }
void txyplotwindow::set_points(bool points) { type_->setCurrentIndex(points ? 1 : 0); }

void txyplotwindow::choices_changed() {
    if (rebuilding_) return;
    if (autoscale_->isChecked()) autoscale();
    plot_->mark_dirty();
}

// Each axis takes its channel's value axis: text, range and scale kind.
void txyplotwindow::autoscale() {
    const tdocument& doc = ctx_.doc;
    const int cx = xchan_->currentIndex(), cy = ychan_->currentIndex();
    const int n = doc.totnchans();
    for (auto [c, w] : {std::pair{cx, plot_->xaxis()}, std::pair{cy, plot_->yaxis()}}) {
        if (c < 0 || c >= n) continue;
        const TAxis& src = doc.channel(c).axis;
        TAxis& a = w->axis();
        a.SetAxisText(src.GetAxisText());
        // A logarithmic scale needs a positive range before it is switched
        // on, and a range reaching 0 or below needs the linear scale first.
        if (src.GetLogarithmic()) {
            a.set_hilovalues(src.GetHiValue(), src.GetLoValue());
            a.SetLogarithmic(true);
        } else {
            a.SetLogarithmic(false);
            a.set_hilovalues(src.GetHiValue(), src.GetLoValue());
        }
    }
}

txyrange txyplotwindow::range() const {
    const tdocument& doc = ctx_.doc;
    const int cx = xchan_->currentIndex(), cy = ychan_->currentIndex();
    if (cx < 0 || cy < 0 || cx >= doc.totnchans() || cy >= doc.totnchans()) return {};
    return xy_range(doc.channel(cx), doc.channel(cy), static_cast<txyspan>(what_->currentIndex()),
                    doc.theglobal.leftselcursor(), doc.theglobal.rightselcursor(),
                    doc.xaxis.GetLoValue(), doc.xaxis.GetHiValue());
}

namespace {

// The engine's pixel grid in black on transparent.
QImage grid_image(const std::vector<std::uint8_t>& px, const QSize& size) {
    QImage img(size, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    for (int v = 0; v < size.height(); ++v) {
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(v));
        const std::uint8_t* src = px.data() + static_cast<size_t>(v) * size.width();
        for (int u = 0; u < size.width(); ++u)
            if (src[u]) line[u] = qRgb(0, 0, 0);
    }
    return img;
}

}  // namespace

txyplotwindow::trasterkey txyplotwindow::current_key(const QSize& size) const {
    const TAxis& xa = plot_->xaxis()->axis();
    const TAxis& ya = plot_->yaxis()->axis();
    const txyrange r = range();
    return {xchan_->currentIndex(), ychan_->currentIndex(), size.width(), size.height(), r.first, r.last,
            type_->currentIndex() == 0, xa.GetLogarithmic(), ya.GetLogarithmic(),
            xa.GetLoValue(), xa.GetHiValue(), ya.GetLoValue(), ya.GetHiValue()};
}

// The grid of the span computed on the job line from slices of the two
// channels' stores and copies of the axes' mappings; a newer request
// supersedes it.
void txyplotwindow::start_raster(const trasterkey& key, txyrange r) {
    const tdocument& doc = ctx_.doc;
    const tsamplecopy xs = copy_samples(doc.channel(key.cx), r.first, r.last + 1);
    const tsamplecopy ys = copy_samples(doc.channel(key.cy), r.first, r.last + 1);
    auto xa = std::make_shared<TAxis>(), ya = std::make_shared<TAxis>();
    copy_axis_mapping(plot_->xaxis()->axis(), *xa);
    copy_axis_mapping(plot_->yaxis()->axis(), *ya);
    wantedkey_ = key;
    line_.start(
        [xs, ys, xa, ya, r, key](tjobcontext& c) {
            txyrasterizer g;
            g.begin(r, key.width, key.height, key.lines);
            const tsampleview xv = xs.view(), yv = ys.view();
            while (!g.step(xv, yv, *xa, *ya, 1 << 18)) {
                c.check();
                c.progress(g.fraction());
            }
            return grid_image(g.pixels(), QSize(key.width, key.height));
        },
        [this, key](QImage img) {
            shown_ = std::move(img);
            shownkey_ = key;
            haveshown_ = true;
            plot_->mark_dirty();
        },
        [this](const std::string&) { plot_->mark_dirty(); });
    progresstimer_->start();
}

void txyplotwindow::paint_layer(QPainter& p, const QSize& size) {
    p.fillRect(QRect(QPoint(0, 0), size), Qt::white);
    TAxis& xa = plot_->xaxis()->axis();
    TAxis& ya = plot_->yaxis()->axis();
    if (grid_->isChecked()) paint_plot_grid(p, xa, ya, size);
    const txyrange r = range();
    if (r.empty()) {
        line_.cancel();
        haveshown_ = false;
        rasterstale_ = false;
        wantedkey_ = {};
        return;
    }
    const tdocument& doc = ctx_.doc;
    const int cx = xchan_->currentIndex(), cy = ychan_->currentIndex();
    if (!plot_->painting_canvas()) {
        // A picture for export or the clipboard: drawn whole, now.
        p.drawImage(0, 0, grid_image(xy_raster(doc.channel(cx), doc.channel(cy), r, xa, ya, size.width(),
                                               size.height(), type_->currentIndex() == 0),
                                     size));
        return;
    }
    const trasterkey key = current_key(size);
    if (rasterstale_ || !(key == wantedkey_)) {
        // Back to what is shown (a drag that returned): nothing to compute.
        if (!rasterstale_ && haveshown_ && key == shownkey_) {
            line_.cancel();
            wantedkey_ = key;
        } else {
            start_raster(key, r);
        }
        rasterstale_ = false;
    }
    // The last finished grid until the newer one is ready.
    if (haveshown_) p.drawImage(0, 0, shown_);
    if (line_.busy()) {
        p.setPen(Qt::darkGray);
        p.drawText(QRect(QPoint(0, 0), size).adjusted(4, 2, -4, -2), Qt::AlignRight | Qt::AlignTop,
                   progress_text("Drawing", line_.progress()));
    }
}

bool txyplotwindow::drawing_done() const {
    if (range().empty()) return true;
    return haveshown_ && !rasterstale_ && !line_.busy() && shownkey_ == current_key(plot_->canvas()->size());
}

void txyplotwindow::selection_changed(const tselectionchange&) {
    if (what_->currentIndex() == 0) plot_->mark_dirty();
}
void txyplotwindow::channels_changed() {
    rasterstale_ = true;
    rebuild_lists();
}
void txyplotwindow::channel_changed(const tchannelchange&) {
    rasterstale_ = true;
    plot_->mark_dirty();
}
void txyplotwindow::fix_things() {
    // Names may change after the list was built (a file's channels are named
    // once it is read).
    const tdocument& doc = ctx_.doc;
    for (QComboBox* c : {xchan_, ychan_})
        for (int i = 0; i < c->count() && i < doc.totnchans(); ++i)
            c->setItemText(i, QString::number(i) + ": " + QString::fromStdString(doc.channel(i).name()));
    if (what_->currentIndex() == 1) plot_->mark_dirty();
}

}  // namespace tessal
