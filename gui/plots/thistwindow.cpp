#include "gui/plots/thistwindow.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QScrollArea>
#include <QSplitter>
#include <QTabBar>
#include <QTabWidget>
#include <algorithm>
#include <QStringList>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>
#include <cmath>

#include "engine/core/tchannel.h"
#include "engine/core/tdocument.h"
#include "engine/dsp/numformat.h"
#include "engine/settings/tsetting.h"
#include "gui/commands/commandguard.h"
#include "gui/context/appcontext.h"
#include "gui/widgets/settingspage.h"
#include "gui/widgets/tplotpanel.h"
#include "gui/windows/windowsettings.h"

namespace tessal {

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

struct thistwindow::tbox {
    TPlotPanel* panel = nullptr;
    int chno = 0;
    // The last finished bins, for `key`.
    std::vector<double> bins;
    thiststats stats;
    double lo = 0, hi = 0;
    bool have = false;
    unsigned long long gen = 0;
    bool scaled = false;  // the time axis was fitted once to the first bins
};

namespace {

// One channel's part of a job: its samples over the selection (a slice of
// its store, taken on the window's thread) and what to compute them for.
struct thistrequest {
    int chno = 0;
    unsigned long long gen = 0;
    double lo = 0, hi = 0;
    tsamplestore samples;
    double fs = 0;
};

struct thistresult {
    int chno = 0;
    unsigned long long gen = 0;
    double lo = 0, hi = 0;
    std::vector<double> bins;
    thiststats stats;
};

}  // namespace

thistwindow::thistwindow(tappcontext& ctx, QWidget* owner)
    : QWidget(owner, Qt::Window | Qt::Tool), ctx_(ctx), tools_(this, &ctx.doc) {
    setWindowTitle("Histograms/KDE");
    progresstimer_ = new QTimer(this);
    progresstimer_->setInterval(100);
    connect(progresstimer_, &QTimer::timeout, this, [this] {
        if (!line_.busy()) progresstimer_->stop();
        mark_computing_dirty();
    });
    build_ui();
    write_controls();
    rebuild_boxes();
    ctx_.doc.theglobal.add_listener(this);
}

thistwindow::~thistwindow() {
    detach_fields(this);
    line_.cancel();
    if (persist) run_guarded(nullptr, [&] { persist(*this); });
    ctx_.doc.theglobal.remove_listener(this);
}

void thistwindow::build_ui() {
    tools_.add({.id = "showgridaction", .caption = "Show grid", .checkable = true, .toolorder = 10});
    tools_.add({.id = "autoscaleaction", .caption = "Autoscale", .checkable = true, .toolorder = 11});
    tools_.add({.id = "logstatsaction", .caption = "Log stats", .handler = [this] { logstatsExecute(); },
                .toolorder = 12});
    tools_.add({.id = "showlogaction", .caption = "Show log",
                .handler = [this] { ctx_.windows.show("datalog"); }, .toolorder = 13});
    auto* outer = tools_.build_layout();
    toolbar_ = tools_.bar();
    grid_ = tools_.action("showgridaction");
    autoscale_ = tools_.action("autoscaleaction");
    // The checks count however they change (the settings file sets them too).
    for (QAction* a : {grid_, autoscale_})
        connect(a, &QAction::toggled, this, [this] { read_controls(); });

    auto* split = new QSplitter(Qt::Horizontal, this);
    outer->addWidget(split, 1);
    auto* tabs = new QTabWidget(split);
    tabs->setMaximumWidth(320);

    auto* settings = new QWidget;
    auto* sl = new QVBoxLayout(settings);
    sl->addWidget(new QLabel("Kernel function"));
    kernel_ = new QComboBox;
    kernel_->setObjectName("kernelbox");
    kernel_->addItems({"None (normal histogram)", "Rectangle", "Triangle", "Parabolic", "Hanning"});
    sl->addWidget(kernel_);
    sl->addWidget(new QLabel("Samples add to bins by..."));
    method_ = new QComboBox;
    method_->setObjectName("methodbox");
    method_->addItems({"rounding each sample to the nearest bin",
                       "distributing each sample to two nearest bins ",
                       "distributing each consecutive sample pair to all bins between them"});
    sl->addWidget(method_);
    // Each choice shows whole in the closed list: the panel widens to it.
    for (QComboBox* c : {kernel_, method_}) c->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    auto* bins = new QGroupBox("Bins");
    auto* bl = new QFormLayout(bins);
    nbins_ = new QLineEdit;
    nbins_->setObjectName("nbinsedit");
    winwidth_ = new QLineEdit;
    winwidth_->setObjectName("winwidthedit");
    winwidthlabel_ = new QLabel("Kernel width [bins]");
    bl->addRow("n bins", nbins_);
    bl->addRow(winwidthlabel_, winwidth_);
    binsproblem_ = new QLabel;
    binsproblem_->setObjectName("binsproblem");
    binsproblem_->setWordWrap(true);
    binsproblem_->setStyleSheet("color: #b00000");
    binsproblem_->hide();
    bl->addRow(binsproblem_);
    sl->addWidget(bins);
    sl->addStretch(1);
    tabs->addTab(scrolled_page(settings, Qt::ScrollBarAsNeeded), "Settings");
    connect(kernel_, &QComboBox::currentIndexChanged, this, [this] { read_controls(); });
    connect(method_, &QComboBox::currentIndexChanged, this, [this] { read_controls(); });
    connect(nbins_, &QLineEdit::editingFinished, this, [this] { read_controls(); });
    connect(winwidth_, &QLineEdit::editingFinished, this, [this] { read_controls(); });

    channels_ = new TChannelCheckList;
    channels_->setObjectName("channellist");
    tabs->addTab(channels_, "Channels");
    connect(channels_, &TChannelCheckList::checks_changed, this, [this](int c, bool on) {
        if (c >= 0 && c < static_cast<int>(checked_.size())) checked_[c] = on;
        rebuild_boxes();
    });

    auto* display = new QWidget;
    auto* dl = new QVBoxLayout(display);
    auto* stats = new QGroupBox("Show statistics based on bins");
    auto* stl = new QVBoxLayout(stats);
    avg_ = new QCheckBox("Average");
    mode_ = new QCheckBox("Mode");
    median_ = new QCheckBox("Median");
    for (QCheckBox* c : {avg_, mode_, median_}) stl->addWidget(c);
    stl->addWidget(new QLabel("Percentiles"));
    percentiles_ = new QListWidget;
    percentiles_->setObjectName("percentilelist");
    for (double f : percentile_fractions) {
        auto* it = new QListWidgetItem(qs(percentile_text(f) + " %"), percentiles_);
        it->setFlags(it->flags() | Qt::ItemIsUserCheckable);
        it->setCheckState(Qt::Unchecked);
    }
    stl->addWidget(percentiles_);
    dl->addWidget(stats);
    binwidth_ = new QCheckBox("Show bin width");
    kernelwidth_ = new QCheckBox("Show kernel width");
    name_ = new QCheckBox("Show channel name");
    for (QCheckBox* c : {binwidth_, kernelwidth_, name_}) dl->addWidget(c);
    dl->addStretch(1);
    tabs->addTab(scrolled_page(display, Qt::ScrollBarAsNeeded), "Display");
    for (QCheckBox* c : {avg_, mode_, median_, binwidth_, kernelwidth_, name_})
        connect(c, &QCheckBox::toggled, this, [this] { read_controls(); });
    connect(percentiles_, &QListWidget::itemChanged, this, [this] { read_controls(); });

    auto* scroll = new QScrollArea(split);
    scroll->setWidgetResizable(true);
    boxarea_ = new QWidget;
    boxlayout_ = new QVBoxLayout(boxarea_);
    boxlayout_->setContentsMargins(2, 2, 2, 2);
    scroll->setMinimumHeight(150);
    scroll->setWidget(boxarea_);
    split->setStretchFactor(1, 1);
    split->setSizes({std::max({230, tabs->sizeHint().width(), tabs->tabBar()->sizeHint().width() + 4}), 590});
}

void thistwindow::write_controls() {
    writing_ = true;
    kernel_->setCurrentIndex(static_cast<int>(st_.kernel));
    method_->setCurrentIndex(static_cast<int>(st_.method));
    nbins_->setText(QString::number(st_.nbins));
    winwidth_->setText(QString::number(st_.winwidth));
    winwidth_->setVisible(st_.kernel != tkernel::none);
    winwidthlabel_->setVisible(st_.kernel != tkernel::none);
    avg_->setChecked(st_.showavg);
    mode_->setChecked(st_.showmode);
    median_->setChecked(st_.showmedian);
    for (int i = 0; i < percentiles_->count(); ++i)
        percentiles_->item(i)->setCheckState(st_.percentiles[i] ? Qt::Checked : Qt::Unchecked);
    binwidth_->setChecked(st_.showbinwidth);
    kernelwidth_->setChecked(st_.showkernelwidth);
    name_->setChecked(st_.showname);
    grid_->setChecked(st_.showgrid);
    autoscale_->setChecked(st_.autoscale);
    writing_ = false;
}

void thistwindow::read_controls() {
    if (writing_) return;
    thiststate s = st_;
    s.kernel = static_cast<tkernel>(std::max(0, kernel_->currentIndex()));
    s.method = static_cast<tbinning>(std::max(0, method_->currentIndex()));
    // Integers below 2 become 2; texts that are not numbers are ignored;
    // more than a field allows is refused with the field's rule.
    QStringList problems;
    auto field = [&](QLineEdit* edit, const tnumberfield& f, int& value) {
        bool ok = false;
        const long long v = edit->text().trimmed().toLongLong(&ok);
        if (!ok) return;
        if (v > static_cast<long long>(f.hi)) {
            problems << qs(number_field_rule(f));
            return;
        }
        value = static_cast<int>(std::max(v, 2LL));
    };
    field(nbins_, histogram_nbins_field, s.nbins);
    if (s.kernel != tkernel::none) field(winwidth_, histogram_kernelwidth_field, s.winwidth);
    binsproblem_->setText(problems.join('\n'));
    binsproblem_->setVisible(!problems.isEmpty());
    s.showavg = avg_->isChecked();
    s.showmode = mode_->isChecked();
    s.showmedian = median_->isChecked();
    for (int i = 0; i < percentiles_->count(); ++i)
        s.percentiles[i] = percentiles_->item(i)->checkState() == Qt::Checked;
    s.showbinwidth = binwidth_->isChecked();
    s.showkernelwidth = kernelwidth_->isChecked();
    s.showname = name_->isChecked();
    s.showgrid = grid_->isChecked();
    s.autoscale = autoscale_->isChecked();
    set_state(s);
}

void thistwindow::set_state(const thiststate& s) {
    const bool recompute = s.nbins != st_.nbins || s.winwidth != st_.winwidth ||
                           s.kernel != st_.kernel || s.method != st_.method;
    st_ = s;
    write_controls();
    if (recompute) {
        declined_.clear();
        mark_all_dirty();
    }
    for (auto& b : boxes_)
        if (b->panel) b->panel->mark_dirty();
}

thistwindow::tbox* thistwindow::box(int chno) const {
    ensure_boxes();
    if (chno < 0 || chno >= static_cast<int>(boxes_.size())) return nullptr;
    return boxes_[chno].get();
}

TPlotPanel* thistwindow::panel_of(int chno) const {
    tbox* b = box(chno);
    return b ? b->panel : nullptr;
}

void thistwindow::set_channel_checked(int chno, bool on) {
    if (chno < 0 || chno >= static_cast<int>(checked_.size())) return;
    checked_[chno] = on;
    channels_->set_checked(chno, on);
    rebuild_boxes();
}

void thistwindow::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    ensure_boxes();
}

void thistwindow::ensure_boxes() const {
    if (boxesstale_) const_cast<thistwindow*>(this)->rebuild_boxes(true);
}

void thistwindow::rebuild_boxes(bool evenhidden) {
    const tdocument& doc = ctx_.doc;
    const int n = doc.totnchans();
    checked_.resize(n, true);
    if (!evenhidden && !isVisible()) {
        boxesstale_ = true;
        return;
    }
    boxesstale_ = false;
    channels_->rebuild(doc, [this](int i) { return static_cast<bool>(checked_[i]); });
    for (auto& b : boxes_)
        if (b && b->panel) {
            b->panel->hide();
            boxlayout_->removeWidget(b->panel);
            b->panel->deleteLater();
        }
    // Finished bins stay with their channel (a change of the channel list
    // counts as a change, so they are not taken for another channel).
    std::vector<std::unique_ptr<tbox>> old = std::move(boxes_);
    boxes_.clear();
    for (int c = 0; c < n; ++c) {
        auto b = std::make_unique<tbox>();
        if (c < static_cast<int>(old.size()) && old[c]) {
            *b = *old[c];
            b->panel = nullptr;
            b->scaled = false;
        }
        b->chno = c;
        if (checked_[c]) {
            auto* panel = new TPlotPanel(boxarea_);
            panel->setMinimumHeight(140);
            TAxis& x = panel->xaxis()->axis();
            const TAxis& cx = doc.channel(c).axis;
            x.SetAxisText(cx.GetAxisText());
            x.set_hilovalues(cx.GetHiValue(), cx.GetLoValue());
            x.SetTickSpaceAim(1);
            TAxis& y = panel->yaxis()->axis();
            y.SetAxisText("[s]");
            y.set_hilovalues(std::max(doc.channel(c).duration(), 1e-3), 0);
            y.SetTickSpaceAim(1);
            tbox* raw = b.get();
            panel->paint_layer = [this, raw](QPainter& p, const QSize& s) { paint_box(*raw, p, s); };
            panel->figure_title = [this, raw] {
                const tdocument& d = ctx_.doc;
                if (raw->chno < 0 || raw->chno >= d.totnchans()) return figure_title_of(d.filename(), -1, "", 0, -1);
                return figure_title_of(d.filename(), raw->chno, d.channel(raw->chno).name(),
                                       d.theglobal.leftselcursor(), d.theglobal.rightselcursor());
            };
            boxlayout_->addWidget(panel, 1);
            b->panel = panel;
        }
        boxes_.push_back(std::move(b));
    }
}

void thistwindow::mark_all_dirty() {
    ++gen_;
    for (auto& b : boxes_)
        if (b->panel) b->panel->mark_dirty();
}

void thistwindow::mark_computing_dirty() {
    for (const tbinskey& k : inflight_)
        if (tbox* b = k.chno < static_cast<int>(boxes_.size()) ? boxes_[k.chno].get() : nullptr; b && b->panel)
            b->panel->mark_dirty();
}

thistwindow::tbinskey thistwindow::wanted(const tbox& b) const {
    const TAxis& x = b.panel->xaxis()->axis();
    return {b.chno, gen_, x.GetLoValue(), x.GetHiValue()};
}

bool thistwindow::up_to_date(const tbox& b) const {
    return b.have && tbinskey{b.chno, b.gen, b.lo, b.hi} == wanted(b);
}

// One job for every box whose bins are stale; a newer request supersedes
// it (its work stops, its result is never taken). The samples are slices
// taken here, so the worker reads nothing the document edits.
void thistwindow::update_bins() {
    ensure_boxes();
    const tdocument& doc = ctx_.doc;
    const double L = doc.theglobal.leftselcursor(), R = doc.theglobal.rightselcursor();
    std::vector<tbinskey> keys;
    for (const auto& b : boxes_)
        if (b->panel && b->chno < doc.totnchans() && !up_to_date(*b)) keys.push_back(wanted(*b));
    if (keys.empty()) {
        if (line_.busy()) line_.cancel();
        inflight_.clear();
        return;
    }
    if ((line_.busy() && keys == inflight_) || keys == declined_) return;
    declined_.clear();
    std::vector<thistrequest> reqs;
    for (const tbinskey& k : keys) {
        const tchannel& ch = doc.channel(k.chno);
        const thistspan sp = value_histogram_span(ch, L, R);
        reqs.push_back({k.chno, k.gen, k.lo, k.hi, ch.samples_slice(sp.first, sp.last), ch.sampfreq});
    }
    inflight_ = keys;
    failure_.clear();
    const thiststate st = st_;
    line_.start(
        [reqs = std::move(reqs), st](tjobcontext& c) {
            std::vector<thistresult> out;
            const double n = static_cast<double>(reqs.size());
            for (std::size_t i = 0; i < reqs.size(); ++i) {
                const thistrequest& q = reqs[i];
                const double p0 = static_cast<double>(i) / n, p1 = (static_cast<double>(i) + 1) / n;
                const double pm = st.kernel == tkernel::none ? p1 : p0 + 0.8 * (p1 - p0);
                thistresult r{q.chno, q.gen, q.lo, q.hi, {}, {}};
                r.bins = value_histogram(q.samples, q.fs, q.lo, q.hi, st.nbins, st.method, &c, p0, pm);
                if (st.kernel != tkernel::none)
                    r.bins = smooth_bins(r.bins, st.kernel, st.winwidth, &c, pm, p1);
                c.check();
                r.stats = bin_statistics(r.bins, q.lo, q.hi);
                out.push_back(std::move(r));
            }
            return out;
        },
        [this](std::vector<thistresult> results) {
            inflight_.clear();
            for (thistresult& r : results) {
                if (r.gen != gen_ || r.chno >= static_cast<int>(boxes_.size())) continue;
                tbox& b = *boxes_[r.chno];
                b.bins = std::move(r.bins);
                b.stats = r.stats;
                b.lo = r.lo;
                b.hi = r.hi;
                b.gen = r.gen;
                b.have = true;
                if (b.panel) b.panel->mark_dirty();
            }
        },
        [this](const std::string& why) {
            failure_ = qs(why);
            for (const tbinskey& k : inflight_) declined_.push_back(k);
            mark_computing_dirty();
            inflight_.clear();
        });
    progresstimer_->start();
}

const std::vector<double>& thistwindow::bins_of(int chno) {
    tbox* b = box(chno);
    static const std::vector<double> none;
    if (!b) return none;
    if (b->panel && !up_to_date(*b)) update_bins();
    return b->bins;
}

const thiststats& thistwindow::stats_of(int chno) {
    static const thiststats none;
    tbox* b = box(chno);
    if (!b) return none;
    if (b->panel && !up_to_date(*b)) update_bins();
    return b->stats;
}

void thistwindow::paint_box(tbox& b, QPainter& p, const QSize& size) {
    p.fillRect(QRect(QPoint(0, 0), size), Qt::white);
    TAxis& x = b.panel->xaxis()->axis();
    TAxis& y = b.panel->yaxis()->axis();
    // Stale bins are asked for (once: a running job for them is left to
    // finish) and the last finished ones are shown meanwhile.
    if (!up_to_date(b)) update_bins();
    const bool working = line_.busy() && std::find(inflight_.begin(), inflight_.end(), wanted(b)) != inflight_.end();
    auto status = [&] {
        const QString t = working ? progress_text("Calculating histogram", line_.progress())
                                  : (!up_to_date(b) ? failure_ : QString());
        if (t.isEmpty()) return;
        p.setPen(Qt::darkGray);
        p.drawText(QRect(QPoint(0, 0), size).adjusted(4, 2, -4, -2), Qt::AlignRight | Qt::AlignTop, t);
    };
    const int nb = static_cast<int>(b.bins.size());
    if (!b.have || nb < 2 || !(b.hi > b.lo)) {
        if (st_.showgrid) paint_plot_grid(p, x, y, size);
        status();
        return;
    }
    const tchannel& ch = ctx_.doc.channel(b.chno);
    const double bw = bin_width(b.lo, b.hi, nb);
    thistshow show;
    show.binwidth = st_.showbinwidth;
    show.kernelwidth = st_.showkernelwidth;
    show.average = st_.showavg;
    show.mode = st_.showmode;
    show.median = st_.showmedian;
    for (std::size_t i = 0; i < show.percentiles.size() && i < st_.percentiles.size(); ++i)
        show.percentiles[i] = st_.percentiles[i];
    show.name = st_.showname;
    const double kw = st_.kernel == tkernel::none ? std::nan("") : st_.winwidth * bw;

    // The envelope per pixel column (no bin skipped); the text goes where
    // the curve is lowest and Autoscale leaves it room. An export draws
    // with the axis the window shows, so that its tick labels fit.
    const thistcolumns cols = histogram_columns(x, b.bins, b.lo, b.hi, size.width());
    const thisttext text =
        place_histogram_text(p.fontMetrics(), cols, histogram_box_lines(show, b.stats, bw, kw, ch.yunit(), ch.name()));
    if ((st_.autoscale || !b.scaled) && b.panel->painting_canvas()) {
        b.scaled = true;
        const double hi = histogram_box_top(b.bins, cols, text, size.height());
        if (hi > 0 && std::abs(y.GetHiValue() - hi) > 1e-12 * hi) y.set_hilovalues(hi, 0);
    }
    if (st_.showgrid) paint_plot_grid(p, x, y, size);
    draw_histogram_columns(p, y, cols);
    status();
    // Where the curve still reaches the text (a fixed scale), the text
    // keeps a light backing so both stay readable.
    draw_text_box(p, text.x, text.width, text.lines);
}

void thistwindow::logstatsExecute() {
    const tdocument& doc = ctx_.doc;
    // The stats need the bins of every box as they are now: wait for them,
    // with "Cancel" leaving everything as it was.
    declined_.clear();
    update_bins();
    if (line_.busy() && !wait_with_progress(this, line_, "Calculating histogram")) {
        declined_ = inflight_;
        inflight_.clear();
        return;
    }
    std::vector<thistlogchannel> chans;
    for (auto& b : boxes_) {
        if (!b->panel) continue;
        if (!up_to_date(*b)) return;  // the computation failed: its text is on the box
        const tchannel& ch = doc.channel(b->chno);
        thistlogchannel c;
        c.name = ch.name();
        c.unit = ch.yunit();
        c.from = doc.theglobal.leftselcursor();
        c.to = doc.theglobal.rightselcursor();
        c.binwidth = bin_width(b->lo, b->hi, static_cast<int>(b->bins.size()));
        c.kernelwidth = st_.kernel == tkernel::none ? std::nan("") : st_.winwidth * c.binwidth;
        c.stats = b->stats;
        chans.push_back(c);
    }
    if (chans.empty()) return;
    std::vector<int> pct;
    for (int i = 0; i < static_cast<int>(st_.percentiles.size()); ++i)
        if (st_.percentiles[i]) pct.push_back(i);
    const thistlog log = histogram_stats_log(chans, pct, ctx_.doc.prefs.nSignificantDigits);
    ctx_.measurements.datalog.add_line(log.heading, log.line);
    ctx_.windows.show("datalog");
}

void thistwindow::selection_changed(const tselectionchange&) {
    declined_.clear();
    mark_all_dirty();
}
void thistwindow::channels_changed() {
    ++gen_;
    declined_.clear();
    rebuild_boxes();
}
void thistwindow::channel_changed(const tchannelchange& change) {
    if (change.kind == tchannelchange::tkind::labels) return;
    // Every box's key counts the changes; the boxes of other channels only
    // stay as they are when the samples of one channel changed.
    std::vector<std::pair<tbox*, bool>> keep;
    for (auto& b : boxes_)
        keep.emplace_back(b.get(), change.kind == tchannelchange::tkind::samples && change.channel != b->chno &&
                                       b->have && b->gen == gen_);
    ++gen_;
    declined_.clear();
    for (auto [b, k] : keep) {
        if (k) b->gen = gen_;
        if (b->panel) b->panel->mark_dirty();
    }
}
void thistwindow::fix_things() {
    for (auto& b : boxes_)
        if (b->panel) b->panel->mark_dirty();
}

void thistwindow::save_settings_to(const QString& path) const {
    TSetting ini;
    open_settings_file(ini, path);
    const std::string s = "Histograms";
    ini.WriteInteger(s, "nBins", st_.nbins);
    ini.WriteInteger(s, "KernelWidth", st_.winwidth);
    ini.WriteInteger(s, "Kernel", static_cast<int>(st_.kernel));
    ini.WriteInteger(s, "Method", static_cast<int>(st_.method));
    ini.WriteBool(s, "ShowAverage", st_.showavg);
    ini.WriteBool(s, "ShowMode", st_.showmode);
    ini.WriteBool(s, "ShowMedian", st_.showmedian);
    for (size_t i = 0; i < st_.percentiles.size(); ++i)
        ini.WriteBool(s, "Percentile" + std::to_string(i), st_.percentiles[i]);
    ini.WriteBool(s, "ShowBinWidth", st_.showbinwidth);
    ini.WriteBool(s, "ShowKernelWidth", st_.showkernelwidth);
    ini.WriteBool(s, "ShowChannelName", st_.showname);
    ini.WriteBool(s, "ShowGrid", st_.showgrid);
    ini.WriteBool(s, "Autoscale", st_.autoscale);
    ini.IniClose();
}

void thistwindow::load_settings_from(const QString& path) {
    TSetting ini;
    open_settings_file(ini, path);
    const std::string s = "Histograms";
    thiststate d = st_;
    d.nbins = static_cast<int>(std::clamp<std::int64_t>(ini.ReadInteger(s, "nBins", d.nbins), 2,
                                                             static_cast<std::int64_t>(histogram_nbins_field.hi)));
    d.winwidth = static_cast<int>(std::clamp<std::int64_t>(ini.ReadInteger(s, "KernelWidth", d.winwidth), 2,
                                                                static_cast<std::int64_t>(histogram_kernelwidth_field.hi)));
    d.kernel = static_cast<tkernel>(std::clamp<std::int64_t>(ini.ReadInteger(s, "Kernel", static_cast<int>(d.kernel)), 0, 4));
    d.method = static_cast<tbinning>(std::clamp<std::int64_t>(ini.ReadInteger(s, "Method", static_cast<int>(d.method)), 0, 2));
    d.showavg = ini.ReadBool(s, "ShowAverage", d.showavg);
    d.showmode = ini.ReadBool(s, "ShowMode", d.showmode);
    d.showmedian = ini.ReadBool(s, "ShowMedian", d.showmedian);
    for (size_t i = 0; i < d.percentiles.size(); ++i)
        d.percentiles[i] = ini.ReadBool(s, "Percentile" + std::to_string(i), d.percentiles[i]);
    d.showbinwidth = ini.ReadBool(s, "ShowBinWidth", d.showbinwidth);
    d.showkernelwidth = ini.ReadBool(s, "ShowKernelWidth", d.showkernelwidth);
    d.showname = ini.ReadBool(s, "ShowChannelName", d.showname);
    d.showgrid = ini.ReadBool(s, "ShowGrid", d.showgrid);
    d.autoscale = ini.ReadBool(s, "Autoscale", d.autoscale);
    set_state(d);
}

}  // namespace tessal
