// The strip view of the spectrogram and correlogram windows: the tool bar,
// tabs and status bar they share, the strips and their layout, the deferred
// updates and the workers, painting, the cursors under the mouse, the log
// and the settings keys both write.
#include "gui/spectrogram/tstripwindow.h"

#include <QAction>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMouseEvent>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QMenu>
#include <QPainter>
#include <QSplitter>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "engine/core/tchannel.h"
#include "engine/core/tdocument.h"
#include "engine/dsp/notes.h"
#include "engine/dsp/numberfield.h"
#include "engine/dsp/numformat.h"
#include "engine/settings/tsetting.h"
#include "engine/view/viewmouse.h"
#include "gui/commands/commandguard.h"
#include "gui/widgets/figureexport.h"
#include "gui/context/appcontext.h"
#include "gui/widgets/settingspage.h"
#include "gui/widgets/taxiswidget.h"
#include "gui/widgets/tplotpanel.h"
#include "gui/windows/windowjobs.h"

namespace tessal {

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

// A strip's paint box: paints through the window, forwards the mouse.
class TSpegCanvas : public QWidget {
public:
    TSpegCanvas(tstripwindow* w, int chno, QWidget* parent) : QWidget(parent), chno_(chno), w_(w) {
        setAttribute(Qt::WA_OpaquePaintEvent);
        setMouseTracking(false);
    }
    int chno_;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        w_->paint_strip(chno_, p, size());
    }
    void mousePressEvent(QMouseEvent* e) override { send(e, 0); }
    void mouseMoveEvent(QMouseEvent* e) override {
        if (e->buttons() & Qt::LeftButton) send(e, 1);
    }
    void mouseReleaseEvent(QMouseEvent* e) override {
        if (e->button() == Qt::RightButton) send(e, 3);
        else if (e->button() == Qt::LeftButton) send(e, 2);
    }
    void contextMenuEvent(QContextMenuEvent* e) override {
        QMenu menu(this);
        const int chno = chno_;
        menu.addAction("Copy as image", w_, [this] { w_->copy_image(); });
        menu.addAction("Export...", w_, [this, chno] {
            export_figure_dialog(w_, [this, chno] { return w_->figure(chno); }, QSize(800, 400));
        });
        menu.exec(e->globalPos());
    }

private:
    void send(QMouseEvent* e, int kind) {
        if (kind == 0 && e->button() != Qt::LeftButton) return;
        w_->strip_mouse(chno_, e->position().toPoint(), kind, e->modifiers() & Qt::ShiftModifier);
    }
    tstripwindow* w_;
};

// The panel the strips and the time axis lie on.
class TSpegArea : public QWidget {
public:
    explicit TSpegArea(tstripwindow* w) : w_(w) {}

protected:
    void resizeEvent(QResizeEvent*) override { w_->layout_strips(); }

private:
    tstripwindow* w_;
};

class TColorBar : public QWidget {
public:
    explicit TColorBar(tstripwindow* w) : w_(w) { setFixedWidth(16); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        w_->paint_colorbar(p, size());
    }

private:
    tstripwindow* w_;
};

tstripwindow::tstripwindow(tappcontext& ctx, QWidget* owner, const tstripkind& kind)
    : QWidget(owner, Qt::Window | Qt::Tool), ctx_(ctx), tools_(this, &ctx.doc), kind_(kind) {
    setWindowTitle(kind.title);
}

void tstripwindow::build() {
    build_ui();
    write_controls();
    timer_ = new QTimer(this);
    timer_->setInterval(200);
    connect(timer_, &QTimer::timeout, this, [this] { tick(); });
    timer_->start();
    ctx_.doc.theglobal.add_listener(this);
}

void tstripwindow::finish() {
    detach_fields(this);
    for (std::size_t i = 0; i < strips_.size(); ++i) cancel(static_cast<int>(i));
    if (persist) run_guarded(nullptr, [&] { persist(*this); });
    persist = nullptr;
}

tstripwindow::~tstripwindow() {
    for (std::size_t i = 0; i < strips_.size(); ++i) cancel(static_cast<int>(i));
    ctx_.doc.theglobal.remove_listener(this);
    for (auto& s : strips_)
        if (s->axis) s->axis->axis().OnScaleChanged.unsubscribe(s->scaletoken);
}

QAction* tstripwindow::action(const QString& name) const { return findChild<QAction*>(name); }

// ------------------------------------------------------------------ controls

void tstripwindow::build_ui() {
    auto check = [this](const char* id, const QString& caption, const QString& hint, int toolorder,
                        std::function<void(bool)> onchange) {
        tools_.add_check({.id = id, .caption = caption, .toolorder = toolorder, .hint = hint},
                         std::move(onchange));
    };
    tools_.add_log(10, [this] { logcursoractionExecute(); }, 11, [this] { ctx_.windows.show("datalog"); });
    check("zoomselectionaction", "Zoom selection", "Follow zoom in main window", 12, [this](bool on) {
        common().zoomselection = on;
        schedule(true);
    });
    check("tandemaction", "Tandem f axes", "Lock frequency axes to one another", 13,
          [this](bool on) { common().tandem = on; });
    tools_.add({.id = "colorcombo", .toolorder = 14, .toolwidget = [this] {
                    colorcombo_ = new QComboBox;
                    colorcombo_->setObjectName("colorcombo");
                    colorcombo_->setToolTip("Color");
                    for (int i = 0; i < 5; ++i) colorcombo_->addItem(spectrogram_colormode_name(i));
                    connect(colorcombo_, &QComboBox::activated, this, [this](int i) {
                        common().colormode = i;
                        settings_changed(false);
                    });
                    return colorcombo_;
                }});
    check("showgridaction", "Show grid", "Show gridlines", 15, [this](bool on) {
        common().showgrid = on;
        repaint_strips();
    });
    check("freezeaction", "Freeze", kind_.freezehint, 16, [this](bool on) { set_frozen(on); });
    tools_.add({.id = "copyimageaction", .caption = "Copy as image", .handler = [this] { copy_image(); },
                .toolorder = 20});
    tools_.add({.id = "exportaction", .caption = "Export...", .handler = [this] { export_dialog(); },
                .toolorder = 21});
    auto* outer = tools_.build_layout();
    toolbar_ = tools_.bar();
    auto* split = new QSplitter(Qt::Horizontal, this);
    outer->addWidget(split, 1);
    tabs_ = new QTabWidget(split);

    auto* settings = new QWidget;
    auto* sl = new QVBoxLayout(settings);
    build_settings(sl);
    auto* levelrow = new QHBoxLayout;
    grayaxis_ = new TAxisWidget;
    grayaxis_->setObjectName("grayaxis");
    {
        TAxis& g = grayaxis_->axis();
        g.SetPosition(taxisposition::posleft);
        g.SetAxisText(kind_.leveltext.toStdString());
        g.SetMinLoValue(-1e300);
        g.SetMaxHiValue(1e300);
        g.set_hilovalues(kind_.levelhi, kind_.levello);
        g.SetTickSpaceAim(40);
        g.fallowdoubleclick = true;
        g.OnScaleChanged.subscribe([this](TAxis& a) {
            if (updating_) return;
            common().levello = a.GetLoValue();
            common().levelhi = a.GetHiValue();
            settings_changed(false);
        });
    }
    grayaxis_->setFixedWidth(50);
    grayaxis_->setMinimumHeight(140);
    colorbar_ = new TColorBar(this);
    levelrow->addWidget(grayaxis_);
    levelrow->addWidget(colorbar_);
    levelrow->addStretch(1);
    add_levels(sl, levelrow);
    tabs_->addTab(scrolled_page(settings), "Settings");
    channels_ = new TChannelCheckList;
    tabs_->addTab(channels_, "Channels");
    QString caption;
    if (QWidget* extra = extra_tab(caption)) tabs_->addTab(scrolled_page(extra), caption);
    connect(channels_, &TChannelCheckList::checks_changed, this,
            [this](int chno, bool on) { set_strip_visible(chno, on); });

    auto* right = new QWidget(split);
    auto* rl = new QVBoxLayout(right);
    rl->setContentsMargins(0, 0, 0, 0);
    area_ = new TSpegArea(this);
    area_->setMinimumSize(300, 200);
    rl->addWidget(area_, 1);
    timeaxis_ = new TAxisWidget(area_);
    {
        TAxis& t = timeaxis_->axis();
        t.SetPosition(taxisposition::posunder);
        t.SetAxisText("[s]");
        t.SetMinLoValue(-1e300);
        t.SetMaxHiValue(1e300);
        t.fallowloscroll = true;
        t.fallowhiscroll = true;
        t.fallowmidscroll = false;
        t.fallowdoubleclick = false;
        t.OnScaleChanged.subscribe([this](TAxis&) {
            if (updating_) return;
            repaint_strips();
            schedule(false);
        });
    }
    split->setStretchFactor(0, 0);
    split->setStretchFactor(1, 1);
    split->setSizes({kind_.settingswidth, 900 - kind_.settingswidth});
    status_ = new TStatusPanels({150, 100, 50}, this);
    outer->addWidget(status_);
}

void tstripwindow::add_levels(QVBoxLayout* settings, QHBoxLayout* levelrow) { settings->addLayout(levelrow, 1); }

QWidget* tstripwindow::extra_tab(QString&) { return nullptr; }

void tstripwindow::write_controls() {
    updating_ = true;
    write_own_controls();
    colorcombo_->setCurrentIndex(common().colormode);
    action("showgridaction")->setChecked(common().showgrid);
    action("zoomselectionaction")->setChecked(common().zoomselection);
    action("tandemaction")->setChecked(common().tandem);
    action("freezeaction")->setChecked(frozen_);
    grayaxis_->axis().set_hilovalues(common().levelhi, common().levello);
    updating_ = false;
}

void tstripwindow::settings_changed(bool levels) {
    for (auto& s : strips_) {
        if (levels) s->fspegdirty = true;
        s->fbmpdirty = true;
    }
    if (levels) {
        if (countdown_ <= 0) countdown_ = 5;
    }
    if (colorbar_) colorbar_->update();
    repaint_strips();
    update_readouts();
}

// ------------------------------------------------------------------ strips

void tstripwindow::rebuild_strips() {
    const int n = ctx_.doc.totnchans();
    while (static_cast<int>(strips_.size()) > n) {
        cancel(static_cast<int>(strips_.size()) - 1);
        auto& s = strips_.back();
        s->axis->axis().OnScaleChanged.unsubscribe(s->scaletoken);
        delete s->axis;
        delete s->canvas;
        strips_.pop_back();
    }
    while (static_cast<int>(strips_.size()) < n) {
        const int chno = static_cast<int>(strips_.size());
        auto s = std::make_unique<tstrip>();
        s->axis = new TAxisWidget(area_);
        TAxis& a = s->axis->axis();
        a.SetPosition(taxisposition::posleft);
        a.SetTickSpaceAim(1);
        a.SetMinLoValue(0);
        a.SetMinHiValue(0);
        a.SetMaxLoValue(1e300);
        a.SetMaxHiValue(1e300);
        a.SetMaxValueDifference(1e300);
        a.fallowloscroll = a.fallowhiscroll = a.fallowmidscroll = true;
        a.fallowdoubleclick = true;
        a.fallowlogarithmicchange = true;
        init_strip_axis(a);
        s->scaletoken = a.OnScaleChanged.subscribe([this, chno](TAxis& changed) {
            if (updating_) return;
            if (common().tandem && !copying_axes_) {
                copying_axes_ = true;
                for (std::size_t i = 0; i < strips_.size(); ++i)
                    if (static_cast<int>(i) != chno) {
                        strips_[i]->axis->axis().set_hilovalues(changed.GetHiValue(), changed.GetLoValue());
                        strips_[i]->scheduled = true;
                    }
                copying_axes_ = false;
            }
            strips_[static_cast<std::size_t>(chno)]->scheduled = true;
            repaint_strips();
            if (countdown_ <= 0) countdown_ = 5;
        });
        s->canvas = new TSpegCanvas(this, chno, area_);
        s->canvas->setObjectName("spegpaint" + QString::number(chno));
        s->axis->show();
        s->canvas->show();
        strips_.push_back(std::move(s));
    }
    layout_strips();
}

void tstripwindow::rebuild_channels() {
    rebuild_strips();
    channels_->rebuild(ctx_.doc, [this](int i) { return strip_visible(i); });
    channels_rebuilt();
}

bool tstripwindow::strip_visible(int chno) const {
    return chno >= 0 && chno < strip_count() && strips_[static_cast<std::size_t>(chno)]->fvisible;
}

void tstripwindow::set_strip_visible(int chno, bool on) {
    if (chno < 0 || chno >= strip_count()) return;
    strips_[static_cast<std::size_t>(chno)]->fvisible = on;
    if (channels_->is_checked(chno) != on) channels_->set_checked(chno, on);
    layout_strips();
    update_strips();
}

void tstripwindow::layout_strips() {
    if (!area_) return;
    const int W = area_->width(), H = area_->height();
    const int axisw = 50;
    const int th = std::max(24, timeaxis_->sizeHint().height());
    const int top = std::max(0, H - th);
    std::vector<int> vis;
    for (int i = 0; i < strip_count(); ++i) {
        if (strips_[static_cast<std::size_t>(i)]->fvisible) vis.push_back(i);
        else {
            strips_[static_cast<std::size_t>(i)]->axis->hide();
            strips_[static_cast<std::size_t>(i)]->canvas->hide();
        }
    }
    const int m = static_cast<int>(vis.size());
    for (int k = 0; k < m; ++k) {
        tstrip& s = *strips_[static_cast<std::size_t>(vis[static_cast<std::size_t>(k)])];
        const int y0 = static_cast<int>(std::lround(static_cast<double>(top) * k / m));
        const int y1 = static_cast<int>(std::lround(static_cast<double>(top) * (k + 1) / m));
        const QSize old = s.canvas->size();
        s.axis->setGeometry(0, y0, axisw, y1 - y0);
        s.canvas->setGeometry(axisw, y0, std::max(1, W - axisw - 2), std::max(1, y1 - y0 - 1));
        s.axis->show();
        s.canvas->show();
        if (s.canvas->size() != old) s.scheduled = true;
    }
    timeaxis_->setGeometry(axisw, top, std::max(1, W - axisw - 2), th);
    if (countdown_ <= 0 && isVisible()) countdown_ = 5;
}


TAxis& tstripwindow::freq_axis(int chno) { return strips_.at(static_cast<std::size_t>(chno))->axis->axis(); }
TAxis& tstripwindow::time_axis() { return timeaxis_->axis(); }
const tspectrogramstrip& tstripwindow::levels(int chno) const {
    return strips_.at(static_cast<std::size_t>(chno))->speg;
}
const std::vector<double>& tstripwindow::row_freqs(int chno) const {
    return strips_.at(static_cast<std::size_t>(chno))->rows;
}
QImage tstripwindow::picture(int chno) const { return strips_.at(static_cast<std::size_t>(chno))->bmp; }
QWidget* tstripwindow::strip_canvas(int chno) const { return strips_.at(static_cast<std::size_t>(chno))->canvas; }

void tstripwindow::repaint_strips() {
    for (auto& s : strips_)
        if (s->canvas) s->canvas->update();
}

void tstripwindow::extend_countdown(int ticks) {
    if (countdown_ > 0) countdown_ = std::max(countdown_, ticks);
}

// ------------------------------------------------------------------ updates

void tstripwindow::synchronise_time_axis() {
    if (frozen_) return;
    const tglobal& g = ctx_.doc.theglobal;
    double lo = ctx_.doc.xaxis.GetLoValue(), hi = ctx_.doc.xaxis.GetHiValue();
    if (common().zoomselection && g.has_selection()) {
        lo = g.leftselcursor();
        hi = g.rightselcursor();
    }
    TAxis& t = timeaxis_->axis();
    if (t.GetLoValue() == lo && t.GetHiValue() == hi) return;
    updating_ = true;
    t.set_hilovalues(hi, lo);
    updating_ = false;
    for (auto& s : strips_) s->scheduled = true;
}

void tstripwindow::schedule(bool sync) {
    if (sync) syncpending_ = true;
    if (countdown_ <= 0) countdown_ = 5;
}

void tstripwindow::tick() {
    show_progress();
    // Strips that waited for a recording to end are computed now.
    if (waitingforrecording_ && !ctx_.view.recording) {
        waitingforrecording_ = false;
        update_strips();
    }
    if (countdown_ <= 0) return;
    if (--countdown_ > 0) return;
    if (syncpending_ || true) synchronise_time_axis();
    syncpending_ = false;
    for (auto& s : strips_)
        if (s->scheduled) {
            s->scheduled = false;
            s->fspegdirty = true;
        }
    update_strips();
    if (colorbar_) colorbar_->update();
}

void tstripwindow::update_strips() {
    if (!isVisible() || frozen_) return;
    // Nothing is computed while the recording window records: the channels
    // grow and the processor is the recording's.
    if (ctx_.view.recording) {
        waitingforrecording_ = true;
        repaint_strips();
        return;
    }
    budget_.restart();
    for (int i = 0; i < strip_count(); ++i) {
        tstrip& s = *strips_[static_cast<std::size_t>(i)];
        if (s.fvisible && s.fspegdirty) compute(i);
    }
    repaint_strips();
}

void tstripwindow::set_frozen(bool on) {
    frozen_ = on;
    if (QAction* a = action("freezeaction")) a->setChecked(on);
    if (!on) {
        synchronise_time_axis();
        for (auto& s : strips_)
            if (s->scheduled) {
                s->scheduled = false;
                s->fspegdirty = true;
            }
        update_strips();
    }
}


void tstripwindow::cancel(int chno) {
    tstrip& s = *strips_[static_cast<std::size_t>(chno)];
    if (s.run) s.run->cancel = true;
    if (s.line) s.line->cancel();
    s.run.reset();
}

bool tstripwindow::strip_busy(int chno) const {
    const tstrip& s = strip(chno);
    return s.run && s.line && s.line->busy();
}

// The first strip still computing shows how far it got.
void tstripwindow::show_progress() {
    for (auto& s : strips_)
        if (s->run && s->line && s->line->busy()) {
            status_->set_text(2, progress_text(s->run->what, s->line->progress()));
            return;
        }
}

void tstripwindow::compute(int chno) {
    tstrip& s = *strips_[static_cast<std::size_t>(chno)];
    cancel(chno);  // a newer request supersedes the running one
    if (chno >= ctx_.doc.totnchans()) return;
    const tchannel& ch = ctx_.doc.channel(chno);
    const int W = s.canvas->width(), H = s.canvas->height();
    if (W < 2 || H < 2) return;
    TAxis& ta = timeaxis_->axis();
    const double t1 = ta.GetLoValue(), t2 = ta.GetHiValue();
    std::vector<double> times(static_cast<std::size_t>(W));
    for (int x = 0; x < W; ++x) times[static_cast<std::size_t>(x)] = t1 + x * (t2 - t1) / (W - 1);
    TAxis& fa = s.axis->axis();
    std::vector<double> rows(static_cast<std::size_t>(H));
    for (int y = 0; y < H; ++y) rows[static_cast<std::size_t>(y)] = fa.pixel_to_value(H - 1 - y);
    ++computations_;
    s.calcowner = ++requests_;
    start_computation(chno, ch, std::move(times), std::move(rows));
}

unsigned long long tstripwindow::current_request(int chno) const { return strip(chno).calcowner; }

bool tstripwindow::little_to_read(double t1, double t2, double fs, long long frame) {
    // About sixteen of the store's blocks.
    constexpr double most = 1 << 20;
    return (t2 - t1) * fs + static_cast<double>(frame) <= most;
}

void tstripwindow::store_result(int chno, tspectrogramstrip levels, std::vector<double> rows, double t1,
                                double t2) {
    tstrip& s = strip(chno);
    // A run still under way for an older request must not replace this.
    if (s.run) {
        s.run->cancel = true;
        if (s.line) s.line->cancel();
        s.run.reset();
    }
    s.speg = std::move(levels);
    s.rows = std::move(rows);
    s.t1 = t1;
    s.t2 = t2;
    s.fspegdirty = false;
    s.fbmpdirty = true;
    status_->set_text(2, "Done ");
    s.canvas->update();
}

void tstripwindow::start_run(int chno, std::unique_ptr<trun> run, std::function<bool(trun&)> work) {
    tstrip& s = strip(chno);
    ++workerruns_;
    if (s.run) s.run->cancel = true;  // superseded: its job stops at its next look
    std::shared_ptr<trun> r(std::move(run));
    r->id = s.calcowner;
    r->what = status_->text(2);
    s.run = r;
    if (!s.line) s.line = std::make_unique<tjobline>(deliver_to(this));
    s.line->start(
        [r, work = std::move(work)](tjobcontext& c) {
            r->report = [flag = &r->cancel, &c](double f) {
                c.progress(f);
                if (c.cancelled()) *flag = true;
            };
            if (c.cancelled()) r->cancel = true;
            const bool ok = work(*r);
            r->report = nullptr;
            if (!ok) throw tjobcancelled{};
            r->finished.store(true, std::memory_order_release);
            return r->id;
        },
        [this, chno](unsigned long long id) { take_result(chno, id); },
        [this, chno, id = r->id](const std::string& why) {
            if (chno >= strip_count() || !strip(chno).run || strip(chno).run->id != id) return;
            strip(chno).run.reset();
            status_->set_text(2, QString::fromStdString(why));
        });
}

void tstripwindow::take_result(int chno, unsigned long long id) {
    if (chno >= strip_count()) return;
    tstrip& s = *strips_[static_cast<std::size_t>(chno)];
    if (!s.run || s.run->id != id) return;
    if (!s.run->finished.load(std::memory_order_acquire)) {
        if (s.line) s.line->wait();
        if (!s.run->finished.load(std::memory_order_acquire)) return;
    }
    s.speg = std::move(s.run->out);
    s.rows = std::move(s.run->rows);
    s.t1 = s.run->cols.times.empty() ? 0 : s.run->cols.times.front();
    s.t2 = s.run->cols.times.empty() ? 0 : s.run->cols.times.back();
    s.run.reset();  // its hand-back, still on its way, finds nothing to take
    s.fspegdirty = false;
    s.fbmpdirty = true;
    status_->set_text(2, "Done ");
    s.canvas->update();
}

void tstripwindow::wait_for_workers() {
    for (int i = 0; i < strip_count(); ++i) {
        tstrip& s = *strips_[static_cast<std::size_t>(i)];
        if (s.run) take_result(i, s.run->id);
    }
}

void tstripwindow::build_picture(int chno) {
    tstrip& s = *strips_[static_cast<std::size_t>(chno)];
    s.fbmpdirty = false;
    if (s.speg.width < 1 || s.speg.height < 1) {
        s.bmp = QImage();
        return;
    }
    std::vector<std::uint32_t> px;
    make_pixels(chno, s, px);
    QImage img(s.speg.width, s.speg.height, QImage::Format_RGB32);
    for (int y = 0; y < s.speg.height; ++y)
        std::copy(px.begin() + static_cast<long>(y) * s.speg.width,
                  px.begin() + static_cast<long>(y + 1) * s.speg.width,
                  reinterpret_cast<std::uint32_t*>(img.scanLine(y)));
    s.bmp = std::move(img);
    ++picturebuilds_;
}

// ------------------------------------------------------------------ painting

void tstripwindow::paint_strip(int chno, QPainter& p, const QSize& size) {
    p.fillRect(QRect(QPoint(0, 0), size), Qt::white);
    if (chno >= strip_count() || chno >= ctx_.doc.totnchans()) return;
    tstrip& s = *strips_[static_cast<std::size_t>(chno)];
    if (!s.fvisible) return;
    if (s.fbmpdirty) build_picture(chno);
    TAxis& ta = timeaxis_->axis();
    const double lo = ta.GetLoValue(), hi = ta.GetHiValue();
    const int W = size.width(), H = size.height();
    auto tx = [&](double t) { return hi != lo ? (t - lo) / (hi - lo) * (W - 1) : 0.0; };
    if (!s.bmp.isNull()) {
        // The picture where its time range lies now (stretched while a new
        // one is on its way).
        const double x1 = tx(s.t1), x2 = tx(s.t2);
        p.drawImage(QRectF(x1, 0, std::max(1.0, x2 - x1 + 1), H), s.bmp);
    }
    TAxis& fa = s.axis->axis();
    if (common().showgrid) {
        QPen pen;
        pen.setStyle(Qt::DotLine);
        for (int i = 0; i < ta.nTickMarks(); ++i) {
            pen.setColor(ta.tickismajor(i) ? QColor(128, 128, 128) : QColor(192, 192, 192));
            p.setPen(pen);
            const int x = ta.tickposition(i);
            p.drawLine(x, 0, x, H);
        }
        for (int i = 0; i < fa.nTickMarks(); ++i) {
            pen.setColor(fa.tickismajor(i) ? QColor(128, 128, 128) : QColor(192, 192, 192));
            p.setPen(pen);
            const int y = fa.tickposition(i);
            p.drawLine(0, y, W, y);
        }
    }
    const tglobal& g = ctx_.doc.theglobal;
    const double f = g.freqcursor();
    const int xc = static_cast<int>(std::lround(tx(fxcursor_)));
    if (crosshair_ && f > 0) {
        paint_crosshair_extras(p, fa, f, xc, W, H);
        p.setPen(Qt::red);
        const int y = frequency_pixel(fa, f);
        if (y >= 0 && y < H) p.drawLine(0, y, W, y);
        if (fxcursor_ != g.leftselcursor()) p.drawLine(xc, 0, xc, H);
    }
    paint_over(chno, p, tx, fa);
    p.setPen(Qt::red);
    const int s1 = static_cast<int>(std::lround(tx(g.leftselcursor())));
    const int s2 = static_cast<int>(std::lround(tx(g.rightselcursor())));
    if (s1 == s2) p.drawLine(s1, 0, s1, H);
    else p.drawRect(QRect(QPoint(s1, 0), QPoint(s2, H - 1)));
    // The channel's cursors the main window shows (7 and 8 only on the
    // inverse filter's channel).
    const tchannel& ch = ctx_.doc.channel(chno);
    for (int i = 0; i <= 8 && i < static_cast<int>(ch.cursors.size()); ++i) {
        if (!mark_shown(ctx_.view, chno, i)) continue;
        const TColor c = ch.cursorcolors[static_cast<std::size_t>(i)];
        p.setPen(QColor(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF),
                        static_cast<int>((c >> 16) & 0xFF)));
        const double x = tx(ch.cursors[static_cast<std::size_t>(i)]);
        if (x >= -1 && x <= W + 1) p.drawLine(QPointF(x, 0), QPointF(x, H));
    }
}

// ------------------------------------------------------------------ figure

std::uint32_t tstripwindow::figure_scale_color(double v, TColor channel) const {
    return spectrogram_color(common().colormode, v, channel);
}

std::string tstripwindow::figure_strip_text(const TAxis& a) const {
    const std::string t = a.GetAxisText();
    if (t == "[ms]") return "Lag [ms]";
    if (t.empty() && a.GetMusicScale()) return "Note";
    return named_axis_text(t);
}

std::string tstripwindow::figure_level_text() const {
    const std::string t = named_axis_text(kind_.leveltext.toStdString());
    return t == "r" ? "Correlation r" : t;
}

tfigure tstripwindow::figure(int chno) {
    tfigure f;
    const int n = std::min(strip_count(), ctx_.doc.totnchans());
    if (chno < 0 || chno >= n || !strips_[static_cast<std::size_t>(chno)]->fvisible) {
        chno = -1;
        const int cur = ctx_.doc.totnchans() > 0 ? ctx_.doc.thischanno() : -1;
        if (cur >= 0 && cur < n && strips_[static_cast<std::size_t>(cur)]->fvisible) chno = cur;
        for (int i = 0; chno < 0 && i < n; ++i)
            if (strips_[static_cast<std::size_t>(i)]->fvisible) chno = i;
    }
    TAxis& ta = timeaxis_->axis();
    f.x = {ta.GetLoValue(), ta.GetHiValue(), false, false, "Time [s]", ta.GetTickSpaceAim()};
    if (chno < 0) {
        f.title = windowTitle().toStdString();
        return f;
    }
    wait_for_workers();
    TAxis& fa = strip(chno).axis->axis();
    f.y = {fa.GetLoValue(), fa.GetHiValue(), fa.GetLogarithmic(), fa.GetMusicScale(), figure_strip_text(fa),
           fa.GetTickSpaceAim()};
    const tchannel& ch = ctx_.doc.channel(chno);
    f.title = figure_title_of(ctx_.doc.filename(), chno, ch.name(), ta.GetLoValue(), ta.GetHiValue());
    f.paint = [this, chno](QPainter& p, const QSize& size, TAxis&, TAxis&) {
        // The window's own axes, laid out for the figure's plot while the
        // strip is drawn through them, then put back.
        TAxis& t = timeaxis_->axis();
        TAxis& a = strip(chno).axis->axis();
        const int oldw = t.GetWidth(), oldh = a.GetHeight();
        t.SetWidth(size.width());
        a.SetHeight(size.height());
        paint_strip(chno, p, size);
        t.SetWidth(oldw);
        a.SetHeight(oldh);
    };
    TAxis& g = grayaxis_->axis();
    const TColor c = ch.color;
    f.scale = tfigurescale{g.GetLoValue(), g.GetHiValue(), figure_level_text(),
                           [this, c](double v) { return static_cast<QRgb>(figure_scale_color(v, c)); }};
    return f;
}

bool tstripwindow::export_file(const QString& path, const QSize& size, QString* error, int dpi) {
    return export_figure(figure(), path, size, dpi, error);
}

void tstripwindow::export_dialog() {
    export_figure_dialog(this, [this] { return figure(); }, QSize(800, 400));
}

void tstripwindow::copy_image() {
    const qreal dpr = devicePixelRatioF();
    QApplication::clipboard()->setImage(figure_image(figure(), QSize(800, 400), static_cast<int>(96 * dpr)));
}

void tstripwindow::paint_colorbar(QPainter& p, const QSize& size) {
    const int H = size.height(), W = size.width();
    std::vector<int> vis;
    for (int i = 0; i < strip_count(); ++i)
        if (strips_[static_cast<std::size_t>(i)]->fvisible && i < ctx_.doc.totnchans()) vis.push_back(i);
    const int n = std::max<int>(1, static_cast<int>(vis.size()));
    for (int r = 0; r < H; ++r) {
        const double v = 1 - static_cast<double>(r) / H;
        for (int k = 0; k < n; ++k) {
            const TColor c = vis.empty() ? 0 : ctx_.doc.channel(vis[static_cast<std::size_t>(k)]).color;
            p.setPen(QColor::fromRgb(spectrogram_color(common().colormode, v, c)));
            p.drawLine(W * k / n, r, W * (k + 1) / n - 1, r);
        }
    }
}


// ------------------------------------------------------------------ mouse

int tstripwindow::frequency_pixel(const TAxis& a, double f) const { return a.value_to_notclippedpixel(f); }

void tstripwindow::strip_mouse(int chno, QPoint pt, int kind, bool shift) {
    if (chno >= strip_count() || kind == 3) return;
    tstrip& s = *strips_[static_cast<std::size_t>(chno)];
    TAxis& ta = timeaxis_->axis();
    const int W = std::max(2, s.canvas->width());
    const double t = ta.GetLoValue() + pt.x() * (ta.GetHiValue() - ta.GetLoValue()) / (W - 1);
    tglobal& g = ctx_.doc.theglobal;
    if (kind == 0) {
        crosshair_ = true;
        g.set_sel1cursor(t);
    } else if (kind == 1) {
        fxcursor_ = t;
        const int y = std::clamp(pt.y(), 0, s.canvas->height() - 1);
        g.set_freqcursor(axis_frequency(s.axis->axis().pixel_to_value(y)));
        g.set_sel2cursor(t);
        if (!shift) g.set_sel1cursor(t);
    }
    update_readouts();
    repaint_strips();
}

void tstripwindow::update_readouts() {
    const double f = ctx_.doc.theglobal.freqcursor();
    const tpreferences& p = ctx_.doc.prefs;
    status_->set_text(0, f > 0 ? "f=" + qs(format_significant(p.nSignificantDigits, f)) + " Hz (" +
                                     qs(freq_to_notename(f, true)) + ")"
                               : QString());
    status_->set_text(1, "t=" + qs(format_float_pattern(p.SecondsFormat, fxcursor_)) + " s");
    if (QAction* a = action("logcursoraction")) a->setEnabled(f > 0);
}

void tstripwindow::logcursoractionExecute() {
    const double f = ctx_.doc.theglobal.freqcursor();
    if (!(f > 0)) return;
    const tspeglog l = spectrogram_cursor_log(fxcursor_, f, ctx_.doc.prefs);
    ctx_.measurements.datalog.add_line(l.heading, l.line);
    ctx_.windows.show("datalog");
}


// ------------------------------------------------------------------ notices

void tstripwindow::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    rebuild_channels();
    layout_strips();
    synchronise_time_axis();
    for (auto& s : strips_) {
        s->scheduled = false;
        s->fspegdirty = true;
    }
    countdown_ = 0;
    shown();
    update_strips();
    update_readouts();
}

void tstripwindow::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    layout_strips();
}

void tstripwindow::main_cursor_changed(bool) {
    if (!isVisible()) return;
    if (common().zoomselection) schedule(true);
    repaint_strips();
}

void tstripwindow::time_cursor_changed() {
    fxcursor_ = ctx_.doc.theglobal.timecursor();
    if (isVisible()) {
        update_readouts();
        repaint_strips();
    }
}

void tstripwindow::freq_cursor_changed(double f) {
    if (f > 0) crosshair_ = true;
    if (!isVisible()) return;
    update_readouts();
    repaint_strips();
}

void tstripwindow::hide_crosshairs() {
    crosshair_ = false;
    repaint_strips();
}

void tstripwindow::fix_things() {
    if (isVisible()) rebuild_channels();
}

void tstripwindow::channels_changed() {
    if (isVisible()) rebuild_channels();
}

void tstripwindow::invalidate_paintboxes(bool) {
    if (!isVisible()) return;
    // The main window's range may have moved: draw now, update later.
    const TAxis& t = timeaxis_->axis();
    if (!common().zoomselection &&
        (t.GetLoValue() != ctx_.doc.xaxis.GetLoValue() || t.GetHiValue() != ctx_.doc.xaxis.GetHiValue()))
        schedule(true);
    repaint_strips();
}

void tstripwindow::channel_changed(const tchannelchange& change) {
    if (change.kind == tchannelchange::tkind::labels) return;
    for (int i = 0; i < strip_count(); ++i)
        if (change.touches(i, 0, tchannelchange::end_of_channel)) {
            strips_[static_cast<std::size_t>(i)]->scheduled = true;
            schedule(false);
        }
}


// ------------------------------------------------------------------ settings keys

void tstripwindow::write_speg_keys(TSetting& ini, const std::string& s, const tspeglevels& l) {
    ini.WriteFloat(s, "Bandwidth", l.fft.bw);
    ini.WriteInteger(s, "Window", static_cast<int>(l.fft.fftwin));
    ini.WriteInteger(s, "Relative", l.relative);
    ini.WriteInteger(s, "FrequencyAxis", l.freqaxis);
    ini.WriteFloat(s, "Tilt", l.tilt);
    ini.WriteBool(s, "HarmonicCursors", l.harmonics);
    ini.WriteInteger(s, "HarmonicNumber", l.harmonicno);
}

void tstripwindow::write_strip_keys(TSetting& ini, const std::string& s, const tstripstate& st) {
    ini.WriteInteger(s, "ColorMode", st.colormode);
    ini.WriteBool(s, "ShowGrid", st.showgrid);
    ini.WriteBool(s, "ZoomSelection", st.zoomselection);
    ini.WriteBool(s, "TandemAxes", st.tandem);
    ini.WriteFloat(s, "LevelLo", st.levello);
    ini.WriteFloat(s, "LevelHi", st.levelhi);
}

namespace {

int clampi(std::int64_t v, int lo, int hi, int def) { return v >= lo && v <= hi ? static_cast<int>(v) : def; }

}  // namespace

void tstripwindow::read_speg_keys(TSetting& ini, const std::string& s, tspeglevels& n) {
    const double bw = ini.ReadFloat(s, "Bandwidth", n.fft.bw);
    if (bw >= fields::spectrogrambandwidth.lo && bw <= fields::spectrogrambandwidth.hi) n.fft.bw = bw;
    n.fft.fftwin = static_cast<TFFTWindow>(clampi(ini.ReadInteger(s, "Window", 3), 0, 4, 3));
    n.relative = clampi(ini.ReadInteger(s, "Relative", 0), 0, 2, 0);
    n.freqaxis = clampi(ini.ReadInteger(s, "FrequencyAxis", 0), 0, 2, 0);
    const double tilt = ini.ReadFloat(s, "Tilt", n.tilt);
    if (std::isfinite(tilt)) n.tilt = tilt;
    n.harmonics = ini.ReadBool(s, "HarmonicCursors", false);
    n.harmonicno = clampi(ini.ReadInteger(s, "HarmonicNumber", 1), 1, 100, 1);
}

void tstripwindow::read_strip_keys(TSetting& ini, const std::string& s, tstripstate& n) {
    n.colormode = clampi(ini.ReadInteger(s, "ColorMode", 0), 0, 4, 0);
    n.showgrid = ini.ReadBool(s, "ShowGrid", true);
    n.zoomselection = ini.ReadBool(s, "ZoomSelection", false);
    n.tandem = ini.ReadBool(s, "TandemAxes", false);
    const double lo = ini.ReadFloat(s, "LevelLo", n.levello), hi = ini.ReadFloat(s, "LevelHi", n.levelhi);
    if (std::isfinite(lo) && std::isfinite(hi) && hi > lo) {
        n.levello = lo;
        n.levelhi = hi;
    }
}

}  // namespace tessal
