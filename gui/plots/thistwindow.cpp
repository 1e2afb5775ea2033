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
#include <QTabWidget>
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

std::string num(double v) { return format_significant(5, v); }

}  // namespace

struct thistwindow::tbox {
    TPlotPanel* panel = nullptr;
    int chno = 0;
    std::vector<double> bins;
    thiststats stats;
    double lo = 0, hi = 0;
    bool dirty = true;
    bool scaled = false;  // the time axis was fitted once to the first bins
};

thistwindow::thistwindow(tappcontext& ctx, QWidget* owner)
    : QWidget(owner, Qt::Window | Qt::Tool), ctx_(ctx), tools_(this, &ctx.doc) {
    setWindowTitle("Histograms/KDE");
    build_ui();
    write_controls();
    rebuild_boxes();
    ctx_.doc.theglobal.add_listener(this);
}

thistwindow::~thistwindow() {
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
    for (QComboBox* c : {kernel_, method_}) {
        c->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        c->setMinimumContentsLength(16);
    }
    auto* bins = new QGroupBox("Bins");
    auto* bl = new QFormLayout(bins);
    nbins_ = new QLineEdit;
    nbins_->setObjectName("nbinsedit");
    winwidth_ = new QLineEdit;
    winwidth_->setObjectName("winwidthedit");
    winwidthlabel_ = new QLabel("Kernel width [bins]");
    bl->addRow("n bins", nbins_);
    bl->addRow(winwidthlabel_, winwidth_);
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
    split->setSizes({230, 590});
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
    // Integers below 2 become 2; texts that are not numbers are ignored.
    bool ok = false;
    if (int v = nbins_->text().trimmed().toInt(&ok); ok) s.nbins = std::max(v, 2);
    if (int v = winwidth_->text().trimmed().toInt(&ok); ok) s.winwidth = std::max(v, 2);
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
    if (recompute) mark_all_dirty();
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
    boxes_.clear();
    for (int c = 0; c < n; ++c) {
        auto b = std::make_unique<tbox>();
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
            boxlayout_->addWidget(panel, 1);
            b->panel = panel;
        }
        boxes_.push_back(std::move(b));
    }
}

void thistwindow::mark_all_dirty() {
    for (auto& b : boxes_) {
        b->dirty = true;
        if (b->panel) b->panel->mark_dirty();
    }
}

void thistwindow::compute(tbox& b) {
    const tdocument& doc = ctx_.doc;
    if (b.chno >= doc.totnchans()) return;
    const tchannel& ch = doc.channel(b.chno);
    double lo = ch.axis.GetLoValue(), hi = ch.axis.GetHiValue();
    if (b.panel) {
        lo = b.panel->xaxis()->axis().GetLoValue();
        hi = b.panel->xaxis()->axis().GetHiValue();
    }
    const double L = doc.theglobal.leftselcursor(), R = doc.theglobal.rightselcursor();
    b.bins = smooth_bins(value_histogram(ch, L, R, lo, hi, st_.nbins, st_.method), st_.kernel,
                         st_.winwidth);
    b.stats = bin_statistics(b.bins, lo, hi);
    b.lo = lo;
    b.hi = hi;
    b.dirty = false;
}

const std::vector<double>& thistwindow::bins_of(int chno) {
    tbox* b = box(chno);
    static const std::vector<double> none;
    if (!b) return none;
    if (b->dirty) compute(*b);
    return b->bins;
}

const thiststats& thistwindow::stats_of(int chno) {
    static const thiststats none;
    tbox* b = box(chno);
    if (!b) return none;
    if (b->dirty) compute(*b);
    return b->stats;
}

void thistwindow::paint_box(tbox& b, QPainter& p, const QSize& size) {
    p.fillRect(QRect(QPoint(0, 0), size), Qt::white);
    TAxis& x = b.panel->xaxis()->axis();
    TAxis& y = b.panel->yaxis()->axis();
    if (b.dirty || b.lo != x.GetLoValue() || b.hi != x.GetHiValue()) compute(b);
    const int nb = static_cast<int>(b.bins.size());
    if (nb < 2 || !(b.hi > b.lo)) return;
    auto binat = [&](int px) {
        const double v = x.pixel_to_value(px);
        const double P = std::round((v - b.lo) / (b.hi - b.lo) * (nb - 1));
        return static_cast<int>(std::clamp(P, 0.0, static_cast<double>(nb - 1)));
    };
    const tchannel& ch = ctx_.doc.channel(b.chno);
    const std::string u = " " + ch.yunit();
    const double bw = bin_width(b.lo, b.hi, nb);
    std::vector<std::string> lines;
    if (st_.showbinwidth) lines.push_back("Bin width=" + num(bw) + u);
    if (st_.showkernelwidth)
        lines.push_back(st_.kernel == tkernel::none ? std::string("Kernel width= -")
                                                    : "Kernel width=" + num(st_.winwidth * bw) + u);
    if (st_.showavg) lines.push_back("Avg=" + num(b.stats.average) + u);
    if (st_.showmode) lines.push_back("Mode=" + num(b.stats.mode) + u);
    if (st_.showmedian) lines.push_back("Median=" + num(b.stats.median()) + u);
    for (size_t i = 0; i < percentile_fractions.size(); ++i)
        if (st_.percentiles[i])
            lines.push_back("p" + percentile_text(percentile_fractions[i]) + "=" +
                            num(b.stats.percentiles[i]) + u);
    if (st_.showname) lines.push_back(ch.name());
    const QFontMetrics fm = p.fontMetrics();
    const int lh = fm.height();
    int textw = 0;
    for (const std::string& l : lines) textw = std::max(textw, fm.horizontalAdvance(qs(l)));
    textw += 8;
    const int texth = static_cast<int>(lines.size()) * lh + 4;

    // The envelope per pixel column: each column joins the smallest and
    // largest bin between the previous column's bin and its own, so no bin
    // is skipped.
    const int W = size.width();
    std::vector<double> colmin(static_cast<std::size_t>(std::max(0, W))), colmax(colmin.size());
    int prev = binat(0);
    for (int px = 1; px <= W - 2; ++px) {
        const int cur = binat(px);
        double mn = b.bins[prev], mx = b.bins[prev];
        for (int i = std::min(prev, cur); i <= std::max(prev, cur); ++i) {
            mn = std::min(mn, b.bins[i]);
            mx = std::max(mx, b.bins[i]);
        }
        colmin[static_cast<std::size_t>(px)] = mn;
        colmax[static_cast<std::size_t>(px)] = mx;
        prev = cur;
    }
    // The text goes where the curve is lowest; Autoscale leaves it room.
    double under = 0;
    const int textx = lines.empty() ? 0 : stats_text_column(colmax, textw, under);
    if (st_.autoscale || !b.scaled) {
        b.scaled = true;
        double top = 0;
        for (int i = binat(0); i <= binat(W - 1); ++i) top = std::max(top, b.bins[i]);
        const double hi = histogram_autoscale_top(
            top, lines.empty() ? 0 : under, static_cast<double>(texth) / std::max(1, size.height()));
        if (top > 0 && std::abs(y.GetHiValue() - hi) > 1e-12 * top) y.set_hilovalues(hi, 0);
    }
    if (st_.showgrid) paint_plot_grid(p, x, y, size);
    p.setPen(Qt::black);
    for (int px = 1; px <= W - 2; ++px)
        p.drawLine(px, y.value_to_pixel(colmin[static_cast<std::size_t>(px)]), px,
                   y.value_to_pixel(colmax[static_cast<std::size_t>(px)]));
    if (lines.empty()) return;
    // Where the curve still reaches the text (a fixed scale), the text
    // keeps a light backing so both stay readable.
    p.fillRect(QRect(textx, 0, textw, texth), QColor(255, 255, 255, 190));
    for (size_t i = 0; i < lines.size(); ++i)
        p.drawText(textx + 4, 2 + static_cast<int>(i) * lh + fm.ascent(), qs(lines[i]));
}

void thistwindow::logstatsExecute() {
    const tdocument& doc = ctx_.doc;
    std::vector<thistlogchannel> chans;
    for (auto& b : boxes_) {
        if (!b->panel) continue;
        if (b->dirty) compute(*b);
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

void thistwindow::selection_changed(const tselectionchange&) { mark_all_dirty(); }
void thistwindow::channels_changed() { rebuild_boxes(); }
void thistwindow::channel_changed(const tchannelchange& change) {
    if (change.kind == tchannelchange::tkind::labels) return;
    for (auto& b : boxes_)
        if (change.channel == b->chno || change.kind != tchannelchange::tkind::samples) {
            b->dirty = true;
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
    d.nbins = static_cast<int>(std::clamp<std::int64_t>(ini.ReadInteger(s, "nBins", d.nbins), 2, 10000000));
    d.winwidth = static_cast<int>(std::clamp<std::int64_t>(ini.ReadInteger(s, "KernelWidth", d.winwidth), 2, 1000000));
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
