// The p-sub window: controls and pages, the analysis on every change of
// the cursors, the channel or a field, painting of the section with its
// peaks, the aspect ratio, the logs and the labels.
#include "gui/psub/tpsubwindow.h"

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSplitter>
#include <QTabBar>
#include <QTabWidget>
#include <QToolBar>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "engine/core/tchannel.h"
#include "engine/core/tdocument.h"
#include "engine/dsp/numformat.h"
#include "gui/commands/commandguard.h"
#include "gui/context/appcontext.h"
#include "gui/widgets/settingspage.h"

namespace tessal {

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }

enum tshow { showheight, showvariability, showduration, showthreshold, showharmonics, showcategory, showscore };

const char* const fieldnames[] = {"thresholdedit",  "mindurationedit",    "maxdurationedit",
                                  "minscoreedit",   "peakpercentileedit", "variabilitypercentileedit"};

}  // namespace

tpsubwindow::tpsubwindow(tappcontext& ctx, QWidget* owner)
    : QWidget(owner, Qt::Window | Qt::Tool), ctx_(ctx), tools_(this, &ctx.doc) {
    setWindowTitle("p-sub measurement");
    tools_.add({.id = "logpeaksaction", .caption = "Log peaks", .shortcut = "F5",
                .handler = [this] { logpeaksactionExecute(); }, .toolorder = 10});
    tools_.add({.id = "logstatisticsaction", .caption = "Log statistics",
                .handler = [this] { logstatisticsactionExecute(); }, .toolorder = 11});
    tools_.add({.id = "showlogaction", .caption = "Show log",
                .handler = [this] { ctx_.windows.show("datalog"); }, .toolorder = 12});
    tools_.add_check({.id = "showgridaction", .caption = "Show grid", .toolorder = 20}, [this](bool on) {
        showgrid_ = on;
        plot_->mark_dirty();
    });
    tools_.add_check({.id = "lockchannelaction", .caption = "Lock channel", .toolorder = 21}, [this](bool on) {
        lock_.set_locked(on, ctx_.doc);
        refresh();
    });
    tools_.add_check({.id = "lockaspectaction", .caption = "Lock aspect", .toolorder = 22},
                     [this](bool on) { lockaspect_ = on; });
    tools_.add_image(30, plot_);
    auto* outer = tools_.build_layout();

    auto* split = new QSplitter(Qt::Horizontal, this);
    outer->addWidget(split, 1);
    tabs_ = new QTabWidget(split);

    // "Selection"
    auto* selpage = new QWidget;
    auto* sl = new QVBoxLayout(selpage);
    add_radio_box(sl, "Waveform, time section", modes_,
                  {"Selection in main window", "Fixed length, after cursor",
                   "Fixed length, around selection", "Manual", "Main window", "Entire file"},
                  this);
    modes_->button(0)->setChecked(true);
    connect(modes_, &QButtonGroup::idClicked, this,
            [this](int id) { set_section_mode(static_cast<tpsubsection>(id)); });
    auto* showbox = new QGroupBox("Show");
    auto* shl = new QVBoxLayout(showbox);
    const char* showcaps[] = {"Peak height", "Variability", "Duration", "Threshold",
                              "Harmonic analysis", "Category", "Score"};
    const bool showon[] = {true, true, false, true, false, true, true};
    for (int i = 0; i < 7; ++i) {
        auto* b = new QCheckBox(showcaps[i]);
        b->setChecked(showon[i]);
        shl->addWidget(b);
        shows_.push_back(b);
        connect(b, &QCheckBox::toggled, this, [this] { plot_->mark_dirty(); });
    }
    sl->addWidget(showbox);
    auto* aspectbox = new QGroupBox("Aspect ratio (x:y)");
    auto* al = new QGridLayout(aspectbox);
    auto* setaspect = new QPushButton("Set aspect ratio to:");
    setaspect->setObjectName("setaspectbutton");
    aspectedit_ = new QLineEdit("0.03");
    aspectedit_->setObjectName("aspectedit");
    aspectunit_ = new QLabel;
    aspectnow_ = new QLabel("is now:");
    aspectnow_->setObjectName("aspectnow");
    al->addWidget(setaspect, 0, 0, 1, 2);
    al->addWidget(aspectedit_, 1, 0);
    al->addWidget(aspectunit_, 1, 1);
    al->addWidget(aspectnow_, 2, 0, 1, 2);
    connect(setaspect, &QPushButton::clicked, this, [this] {
        double r = 0;
        if (try_parse_float(aspectedit_->text().toStdString(), r) && r > 0 && std::isfinite(r))
            set_aspect_ratio(r);
        else
            ctx_.prompter.warn("'" + aspectedit_->text().toStdString() + "' is not a valid aspect ratio",
                               "p-sub measurement");
    });
    sl->addWidget(aspectbox);
    sl->addStretch(1);
    tabs_->addTab(scrolled_page(selpage), "Selection");

    // "Peaks"
    peakmemo_ = new QPlainTextEdit;
    peakmemo_->setObjectName("peakmemo");
    peakmemo_->setReadOnly(true);
    peakmemo_->setLineWrapMode(QPlainTextEdit::NoWrap);
    tabs_->addTab(peakmemo_, "Peaks");

    // "Peak detection"
    auto* detpage = new QWidget;
    auto* form = new QFormLayout(detpage);
    const char* defaults[] = {"1", "0.05", "0.5", "30", "75", "50"};
    const char* caps[] = {"Peak threshold", "Minimum duration [s]", "Maximum duration [s]",
                          "Minumum score [%]", "Peak height percentile [%]", "Variability percentile [%]"};
    for (int i = 0; i < 6; ++i) {
        auto* e = new QLineEdit(defaults[i]);
        e->setObjectName(fieldnames[i]);
        e->setMaximumWidth(90);
        fields_.push_back(e);
        auto* label = new QLabel(caps[i]);
        if (i == 0) thresholdlabel_ = label;
        form->addRow(label, e);
        connect(e, &QLineEdit::editingFinished, this, [this] {
            read_params();
            refresh();
        });
    }
    tabs_->addTab(scrolled_page(detpage), "Peak detection");

    // "Statistics"
    statsmemo_ = new QPlainTextEdit;
    statsmemo_->setObjectName("statisticsmemo");
    statsmemo_->setReadOnly(true);
    tabs_->addTab(statsmemo_, "Statistics");

    // "Labels"
    auto* labpage = new QWidget;
    auto* ll = new QVBoxLayout(labpage);
    quantities_ = new QListWidget;
    quantities_->setObjectName("quantitylist");
    const std::vector<bool> on = default_psub_quantities();
    for (std::size_t i = 0; i < psub_quantity_names().size(); ++i) {
        auto* item = new QListWidgetItem(qs(psub_quantity_names()[i]), quantities_);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(on[i] ? Qt::Checked : Qt::Unchecked);
    }
    ll->addWidget(quantities_, 1);
    ll->addWidget(new QLabel("Label text"));
    labeltext_ = new QComboBox;
    labeltext_->setObjectName("labeltextcombo");
    labeltext_->addItems({"Peak height", "Peak height + unit", "Peak height + unit + descriptor"});
    labeltext_->setCurrentIndex(1);
    ll->addWidget(labeltext_);
    auto* addlabels = new QPushButton("Add labels");
    addlabels->setObjectName("addlabelsbutton");
    connect(addlabels, &QPushButton::clicked, this, [this] { addlabelsExecute(); });
    ll->addWidget(addlabels);
    tabs_->addTab(labpage, "Labels");

    plot_ = new TPlotPanel(split);
    split->setStretchFactor(1, 1);
    // The side panel as wide as its tabs and controls want, the plot the rest.
    split->setSizes({std::max({300, tabs_->sizeHint().width(), tabs_->tabBar()->sizeHint().width() + 4}), 600});
    for (TAxis* a : {&plot_->xaxis()->axis(), &plot_->yaxis()->axis()}) {
        a->SetMinLoValue(-1e300);
        a->SetMaxHiValue(1e300);
        a->SetMinValueDifference(1e-9);
    }
    plot_->xaxis()->axis().SetAxisText("[s]");
    plot_->xaxis()->axis().OnScaleChanged.subscribe([this](TAxis& x) {
        if (settingaxis_) return;
        // Dragged or panned by the user: the section follows the axis.
        section_ = {x.GetLoValue(), x.GetHiValue()};
        if (mode_ == tpsubsection::selection || mode_ == tpsubsection::mainwindow ||
            mode_ == tpsubsection::entirefile)
            return;
        refresh();
    });
    plot_->yaxis()->axis().OnScaleChanged.subscribe([this](TAxis&) {
        if (!settingaxis_) update_pages();
    });
    plot_->paint_layer = [this](QPainter& p, const QSize& s) { paint_layer(p, s); };
    // The pressure channel and the stretch of time the plot shows.
    plot_->figure_title = [this] {
        const int c = channel();
        const TAxis& x = plot_->xaxis()->axis();
        if (c < 0) return figure_title_of(ctx_.doc.filename(), -1, "", 0, -1);
        return figure_title_of(ctx_.doc.filename(), c, ctx_.doc.channel(c).name(), x.GetLoValue(), x.GetHiValue());
    };
    plot_->paint_overlay = [this](QPainter& p, const QSize& s) { paint_overlay(p, s); };
    auto cross = [this](QMouseEvent* e) {
        crosshair_ = true;
        crossx_ = plot_->xaxis()->axis().pixel_to_value(static_cast<int>(e->position().x()));
        crossy_ = plot_->yaxis()->axis().pixel_to_value(static_cast<int>(e->position().y()));
        const int d = ctx_.doc.prefs.nSignificantDigits;
        status_->set_text(0, "t=" + qs(format_significant(d, crossx_)) + " s");
        status_->set_text(1, qs(format_significant(d, crossy_) + " " + stats_.yunit));
        plot_->update_overlay();
    };
    plot_->mouse_press = cross;
    plot_->mouse_move = [cross](QMouseEvent* e) {
        if (e->buttons() & Qt::LeftButton) cross(e);
    };
    status_ = new TStatusPanels({160, 160, 200}, this);
    outer->addWidget(status_);
    update_axis_permissions();
    ctx_.doc.theglobal.add_listener(this);
}

tpsubwindow::~tpsubwindow() { ctx_.doc.theglobal.remove_listener(this); }

QAction* tpsubwindow::action(const QString& name) const { return findChild<QAction*>(name); }

int tpsubwindow::channel() const {
    const int n = ctx_.doc.totnchans();
    if (n == 0) return -1;
    return std::clamp(lock_.channel(ctx_.doc), 0, n - 1);
}

bool tpsubwindow::shown(int i) const { return shows_[static_cast<std::size_t>(i)]->isChecked(); }

void tpsubwindow::set_section_mode(tpsubsection m) {
    mode_ = m;
    if (QAbstractButton* b = modes_->button(static_cast<int>(m))) b->setChecked(true);
    update_axis_permissions();
    refresh();
}

void tpsubwindow::update_axis_permissions() {
    TAxis& x = plot_->xaxis()->axis();
    const bool ends = mode_ == tpsubsection::fixedafter || mode_ == tpsubsection::fixedaround ||
                      mode_ == tpsubsection::manual;
    x.fallowloscroll = ends;
    x.fallowhiscroll = ends;
    x.fallowmidscroll = mode_ == tpsubsection::manual;
    x.fallowdoubleclick = mode_ == tpsubsection::manual;
}

void tpsubwindow::set_field(const QString& name, const QString& text) {
    for (QLineEdit* e : fields_)
        if (e->objectName() == name) e->setText(text);
    read_params();
    refresh();
}

void tpsubwindow::read_params() {
    const double old[] = {params_.fthreshold,         params_.fminduration,
                          params_.fmaxduration,       params_.fminscore * 100,
                          params_.fpeakpercentile * 100, params_.fvariabilitypercentile * 100};
    double v[6];
    for (int i = 0; i < 6; ++i) {
        if (!try_parse_float(fields_[i]->text().toStdString(), v[i]) || !std::isfinite(v[i])) {
            v[i] = old[i];
            fields_[i]->setText(qs(float_to_text(old[i])));
        }
        if (i > 0 && v[i] < 0) v[i] = 0;  // a negative entry counts as 0
    }
    params_.fthreshold = v[0];
    params_.fminduration = v[1];
    params_.fmaxduration = v[2];
    params_.fminscore = v[3] / 100;
    params_.fpeakpercentile = std::min(v[4] / 100, 1.0);
    params_.fvariabilitypercentile = std::min(v[5] / 100, 1.0);
}

void tpsubwindow::refresh_if_shown() {
    if (isVisible()) refresh();
}

void tpsubwindow::refresh() {
    tdocument& doc = ctx_.doc;
    const int c = channel();
    if (c < 0) {
        peaks_.clear();
        stats_ = {};
        update_pages();
        plot_->mark_dirty();
        return;
    }
    const tchannel& ch = doc.channel(c);
    if (c != lastchannel_) lastchannel_ = c;
    tpsubview v;
    v.left = doc.theglobal.leftselcursor();
    v.right = doc.theglobal.rightselcursor();
    v.timecursor = doc.theglobal.timecursor();
    v.visiblelo = doc.xaxis.GetLoValue();
    v.visiblehi = doc.xaxis.GetHiValue();
    v.channelstart = ch.sampfreq > 0 ? static_cast<double>(ch.xshift) / ch.sampfreq : 0;
    v.channelend = v.channelstart + ch.duration();
    section_ = psub_section(mode_, section_, v, params_);
    if (!(section_.to > section_.from)) section_.to = section_.from + std::max(params_.fmaxduration, 0.01);
    peaks_ = detect_peaks(ch, section_, params_);
    stats_ = peak_statistics(peaks_, ch, section_);

    // Axes: the section, and the amplitude span it holds (from 0).
    settingaxis_ = true;
    const double ylo0 = plot_->yaxis()->axis().GetLoValue(), yhi0 = plot_->yaxis()->axis().GetHiValue();
    const double ratio = aspect_ratio();
    plot_->xaxis()->axis().set_hilovalues(section_.to, section_.from);
    double lo = 0, hi = params_.fthreshold;
    const long long n = ch.sample_count();
    const long long a = std::clamp<long long>(std::llround(section_.from * ch.sampfreq) - ch.xshift, 0, n);
    const long long b = std::clamp<long long>(std::llround(section_.to * ch.sampfreq) - ch.xshift, 0, n);
    if (a < b)
        ch.for_each_chunk(a, b, [&](const float* p, std::size_t m, std::int64_t) {
            for (std::size_t i = 0; i < m; ++i) {
                const double s = p[i];
                if (std::isfinite(s)) lo = std::min(lo, s), hi = std::max(hi, s);
            }
        });
    if (!(hi > lo)) hi = lo + 1;
    const double pad = (hi - lo) * 0.1;
    if (lockaspect_ && ratio > 0 && std::isfinite(ratio)) {
        plot_->yaxis()->axis().set_hilovalues(yhi0, ylo0);
        set_aspect_ratio(ratio);
    } else {
        plot_->yaxis()->axis().set_hilovalues(hi + pad, lo < 0 ? lo - pad : lo);
    }
    plot_->yaxis()->axis().SetAxisText(ch.yunit().empty() ? "" : "[" + ch.yunit() + "]");
    settingaxis_ = false;

    setWindowTitle(qs(psub_title(c)));
    update_pages();
    plot_->mark_dirty();
}

void tpsubwindow::update_pages() {
    const int d = ctx_.doc.prefs.nSignificantDigits;
    QStringList lines;
    for (const tpeak& p : peaks_) lines << qs(peak_memo_line(p, stats_.yunit, d));
    peakmemo_->setPlainText(lines.join('\n'));
    QStringList st;
    for (const std::string& s : statistics_lines(stats_, d)) st << qs(s);
    statsmemo_->setPlainText(st.join('\n'));
    thresholdlabel_->setText(qs(threshold_caption(stats_.yunit)));
    aspectunit_->setText(qs(aspect_unit(stats_.yunit)));
    const double r = aspect_ratio();
    aspectnow_->setText("is now: " + (std::isfinite(r) ? qs(format_significant(d, r)) : QString("-")));
    status_->set_text(2, QString::number(peaks_.size()) + " peaks");
}

double tpsubwindow::aspect_ratio() const {
    const QSize s = plot_->plot_size();
    const TAxis& x = plot_->xaxis()->axis();
    const TAxis& y = plot_->yaxis()->axis();
    const double xs = (x.GetHiValue() - x.GetLoValue()) / std::max(1, s.width());
    const double ys = (y.GetHiValue() - y.GetLoValue()) / std::max(1, s.height());
    return xs > 0 ? ys / xs : std::nan("");
}

void tpsubwindow::set_aspect_ratio(double r) {
    if (!(r > 0) || !std::isfinite(r)) return;
    const QSize s = plot_->plot_size();
    TAxis& x = plot_->xaxis()->axis();
    TAxis& y = plot_->yaxis()->axis();
    const double xs = (x.GetHiValue() - x.GetLoValue()) / std::max(1, s.width());
    const double span = r * xs * std::max(1, s.height());
    const bool was = settingaxis_;
    settingaxis_ = true;
    y.set_hilovalues(y.GetLoValue() + span, y.GetLoValue());
    settingaxis_ = was;
    if (!was) {
        update_pages();
        plot_->mark_dirty();
    }
}

QString tpsubwindow::peaks_text() const { return peakmemo_->toPlainText(); }
QString tpsubwindow::statistics_text() const { return statsmemo_->toPlainText(); }
QString tpsubwindow::threshold_caption_text() const { return thresholdlabel_->text(); }

void tpsubwindow::paint_layer(QPainter& p, const QSize& size) {
    p.fillRect(QRect(QPoint(0, 0), size), Qt::white);
    TAxis& x = plot_->xaxis()->axis();
    TAxis& y = plot_->yaxis()->axis();
    if (showgrid_) paint_plot_grid(p, x, y, size);
    const int c = channel();
    if (c < 0) return;
    const tchannel& ch = ctx_.doc.channel(c);
    const double fs = ch.sampfreq;
    if (!(fs > 0)) return;
    const long long n = ch.sample_count();
    // The waveform: the span of the samples under each column.
    p.setPen(Qt::black);
    bool have = false;
    int ptop = 0, pbottom = 0;
    for (int px = 0; px < size.width(); ++px) {
        const long long a = std::clamp<long long>(std::llround(x.pixel_to_value(px) * fs) - ch.xshift, 0, n);
        long long b = std::clamp<long long>(std::llround(x.pixel_to_value(px + 1) * fs) - ch.xshift, 0, n);
        if (b <= a) b = std::min(a + 1, n);
        if (a >= n) break;
        double lo = 1e300, hi = -1e300;
        ch.for_each_chunk(a, b, [&](const float* s, std::size_t m, std::int64_t) {
            for (std::size_t i = 0; i < m; ++i) {
                lo = std::min<double>(lo, s[i]);
                hi = std::max<double>(hi, s[i]);
            }
        });
        if (lo > hi) continue;
        const int top = y.value_to_notclippedpixel(hi), bottom = y.value_to_notclippedpixel(lo);
        // Overlap the previous column so that steps are joined.
        const int t = have ? std::min(top, pbottom) : top;
        const int bo = have ? std::max(bottom, ptop) : bottom;
        p.drawLine(px, t, px, bo);
        have = true;
        ptop = top;
        pbottom = bottom;
    }
    if (shown(showthreshold)) {
        p.setPen(QPen(QColor(0, 0, 255), 1, Qt::DashLine));
        const int ty = y.value_to_notclippedpixel(params_.fthreshold);
        p.drawLine(0, ty, size.width(), ty);
    }
    const int d = ctx_.doc.prefs.nSignificantDigits;
    const QFontMetrics fm(p.font());
    for (const tpeak& pk : peaks_) {
        const int x0 = x.value_to_notclippedpixel(pk.starttime);
        const int x1 = x.value_to_notclippedpixel(pk.starttime + pk.duration);
        const int yh = y.value_to_notclippedpixel(pk.peakheight);
        if (shown(showheight)) {
            p.setPen(QPen(QColor(220, 0, 0), 2));
            p.drawLine(x0, yh, x1, yh);
        }
        if (shown(showvariability)) {
            p.setPen(QPen(QColor(0, 150, 0), 1));
            const int yu = y.value_to_notclippedpixel(pk.uperc);
            p.drawLine(x0, yu, x1, yu);
        }
        if (shown(showduration)) {
            p.setPen(QPen(QColor(128, 0, 128), 1));
            const int yd = y.value_to_notclippedpixel(0);
            p.drawLine(x0, yd - 6, x0, yd + 6);
            p.drawLine(x1, yd - 6, x1, yd + 6);
            p.drawLine(x0, yd, x1, yd);
        }
        if (shown(showharmonics)) {
            p.setPen(QPen(QColor(255, 128, 0), 1));
            const double t0 = static_cast<double>(pk.harmleft + ch.xshift) / fs;
            const double t1 = static_cast<double>(pk.harmright + ch.xshift) / fs;
            const int yb = y.value_to_notclippedpixel(pk.harmbase);
            p.drawLine(x.value_to_notclippedpixel(t0), yb, x.value_to_notclippedpixel(t1), yb);
        }
        // Category and score above the peak, on white, kept inside the plot.
        QStringList texts;
        if (shown(showcategory)) texts << qs(pk.score.category);
        if (shown(showscore)) texts << qs(format_significant(std::min(d, 3), 100 * pk.score.total)) + " %";
        int ty = yh - 4 - fm.descent();
        for (int i = static_cast<int>(texts.size()); i-- > 0;) {
            const int w = fm.horizontalAdvance(texts[i]);
            const int tx = std::max(0, std::min(x0, size.width() - w - 2));
            const int top = std::max(fm.ascent(), ty);
            p.fillRect(QRect(tx - 1, top - fm.ascent(), w + 2, fm.height()), QColor(255, 255, 255, 220));
            p.setPen(Qt::black);
            p.drawText(tx, top, texts[i]);
            ty -= fm.height();
        }
    }
}

void tpsubwindow::paint_overlay(QPainter& p, const QSize& size) {
    if (!crosshair_) return;
    p.setPen(Qt::red);
    const int xp = plot_->xaxis()->axis().value_to_notclippedpixel(crossx_);
    const int yp = plot_->yaxis()->axis().value_to_notclippedpixel(crossy_);
    p.drawLine(xp, 0, xp, size.height());
    p.drawLine(0, yp, size.width(), yp);
}

void tpsubwindow::logpeaksactionExecute() {
    const tpsublog log = peaks_log(peaks_, stats_, ctx_.doc.prefs.nSignificantDigits);
    for (const std::string& row : log.rows) ctx_.measurements.datalog.add_line(log.heading, row);
    ctx_.windows.show("datalog");
}

void tpsubwindow::logstatisticsactionExecute() {
    const tpsublog log = statistics_log(stats_, ctx_.doc.prefs.nSignificantDigits);
    for (const std::string& row : log.rows) ctx_.measurements.datalog.add_line(log.heading, row);
    ctx_.windows.show("datalog");
}

int tpsubwindow::addlabelsExecute() {
    const int c = channel();
    if (c < 0) return 0;
    std::vector<bool> q;
    for (int i = 0; i < quantities_->count(); ++i)
        q.push_back(quantities_->item(i)->checkState() == Qt::Checked);
    int added = 0;
    // Removing the old labels sends change notices that refresh this window
    // and replace peaks_, so the labels are made from a copy.
    const std::vector<tpeak> peaks = peaks_;
    run_guarded(&ctx_.doc, [&] {
        added = add_psub_labels(ctx_.doc, ctx_.prompter, c, peaks, q, labeltext_->currentIndex());
    }, true, "Add p-sub labels");
    return added;
}

void tpsubwindow::channel_changed(const tchannelchange& change) {
    if (change.kind == tchannelchange::tkind::labels) return;
    refresh_if_shown();
}

void tpsubwindow::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    refresh();
}

}  // namespace tessal
