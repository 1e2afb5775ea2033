// The T-naq window: the two panels, the three marking drags, the result
// lines, the log and copy commands and the lock.
#include "gui/inversefilter/ttnaqwindow.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QSplitter>
#include <QTimer>
#include <QCoreApplication>
#include <QToolBar>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "engine/core/tchannel.h"
#include "engine/core/tdocument.h"
#include "engine/dsp/numformat.h"
#include "engine/settings/tsetting.h"
#include "engine/tools/channelsegment.h"
#include "engine/tools/glottalcycles.h"
#include "gui/commands/commandguard.h"
#include "gui/context/appcontext.h"
#include "gui/windows/windowjobs.h"
#include "gui/windows/windowsettings.h"

namespace tessal {

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }
double pix(const TAxis& a, double v) { return a.value_to_notclipped_position(v) * (a.length() - 1); }

// Samples from..to of one of the segment's curves (antialiased, as the
// painter was set), then, plain, the measured stretch's edges when shown.
void draw_curve(QPainter& p, const TAxis& x, const TAxis& y, const QSize& size, const tglottalflow& g,
                const std::vector<double>& values, int from, int to, const QColor& color) {
    QPolygonF line;
    for (int i = from; i < to; ++i) line << QPointF(pix(x, i / g.sampfreq * 1000), pix(y, values[i]));
    p.setPen(QPen(color, 1.5));
    p.drawPolyline(line);
    p.setRenderHint(QPainter::Antialiasing, false);
    if (g.showmeasurement) {
        p.setPen(QPen(QColor(0, 128, 0), 1));
        for (double t : {g.lotime, g.hitime}) p.drawLine(QPointF(pix(x, t * 1000), 0), QPointF(pix(x, t * 1000), size.height()));
    }
}

}  // namespace

ttnaqwindow::ttnaqwindow(tappcontext& ctx, QWidget* owner)
    : QWidget(owner, Qt::Window | Qt::Tool), ctx_(ctx), tools_(this, nullptr), line_(deliver_to(this)) {
    setWindowTitle("T-naq");
    title_ = "T-naq";
    progresstimer_ = new QTimer(this);
    progresstimer_->setInterval(100);
    connect(progresstimer_, &QTimer::timeout, this, [this] { show_progress(); });
    auto& log = ctx_.measurements.datalog;
    int order = 10;
    auto add = [&](const char* id, const QString& caption, const char* key, std::function<void()> handler) {
        tools_.add({.id = id, .caption = caption, .shortcut = key ? key : "", .handler = std::move(handler),
                    .toolorder = order++});
    };
    add("copyaction", "Copy measurement", nullptr, [this] { copyactionExecute(); });
    add("copyheaderaction", "Copy header", "Shift+F4", [this] { copyheaderactionExecute(); });
    add("logpointaction", "&Log data", "F5", [this] { logpointactionExecute(); });
    add("logallaction", "Log all cycles", nullptr, [this] { logallactionExecute(); });
    add("newlogaction", "&New log", nullptr, [this, &log] { log.new_log(ctx_.prompter); });
    add("clearlogaction", "Clear log", nullptr, [&log] { log.clear(); });
    add("showlogaction", "Show log", "F6", [this] { ctx_.windows.show("datalog"); });
    add("Copylogaction", "&Copy log", nullptr, [this, &log] { log.copy_log(ctx_.clipboard); });
    tools_.add({.id = "autocopyaction", .caption = "Auto copy log", .checkable = true, .toolorder = order++});
    tools_.add_check({.id = "lockaction", .caption = "Lock channel", .toolorder = order++}, [this](bool on) {
        locked_ = on;
        if (!on) faudiodatadirty_ = true;
        if (QAction* a = action("lockaction"))
            a->setToolTip((on ? "Locked to channel " : "Lock to channel ") + QString::number(std::max(0, flockchanno_)));
        flowplot_->mark_dirty();
        derplot_->mark_dirty();
    });
    tools_.add({.id = "extrachannelcombo", .toolorder = order++, .toolwidget = [this] {
                    extracombo_ = new QComboBox;
                    extracombo_->setObjectName("extrachannelcombo");
                    // Its items come later: from the start as wide as the
                    // longest fixed one, "Show no extra channel".
                    extracombo_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
                    extracombo_->setMinimumContentsLength(24);
                    return extracombo_;
                }});
    auto* outer = tools_.build_layout();
    connect(extracombo_, &QComboBox::activated, this, [this](int i) {
        addchanno_ = i < ctx_.doc.totnchans() ? i : -1;
        faudiodatadirty_ = true;
        flowplot_->mark_dirty();
    });

    auto* split = new QSplitter(Qt::Vertical, this);
    outer->addWidget(split, 1);
    flowplot_ = new TPlotPanel(split);
    derplot_ = new TPlotPanel(split);
    for (TPlotPanel* p : {flowplot_, derplot_}) {
        TAxis& x = p->xaxis()->axis();
        x.SetAxisText("[ms]");
        x.SetMinLoValue(0);
        x.SetMinValueDifference(0.01);
        x.SetMaxHiValue(glottal_seglen / 16000.0 * 1000);
        x.set_hilovalues(30, 0);
    }
    // The two time axes move together.
    auto follow = [this](TPlotPanel* from, TPlotPanel* to) {
        from->xaxis()->axis().OnScaleChanged.subscribe([this, from, to](TAxis& a) {
            TAxis& b = to->xaxis()->axis();
            if (b.GetLoValue() != a.GetLoValue() || b.GetHiValue() != a.GetHiValue())
                b.set_hilovalues(a.GetHiValue(), a.GetLoValue());
            fit_levels();
            from->mark_dirty();
            to->mark_dirty();
        });
    };
    follow(flowplot_, derplot_);
    follow(derplot_, flowplot_);
    flowplot_->paint_layer = [this](QPainter& p, const QSize& s) { paint_flow(p, s); };
    // Both plots show the segment from the cursor time the measures read.
    for (TPlotPanel* plot : {flowplot_, derplot_})
        plot->figure_title = [this] {
            const tdocument& doc = ctx_.doc;
            if (flockchanno_ < 0 || flockchanno_ >= doc.totnchans() || !(segfs_ > 0))
                return figure_title_of(doc.filename(), -1, "", 0, -1);
            return figure_title_of(doc.filename(), flockchanno_, doc.channel(flockchanno_).name(), segtime_,
                                   segtime_ + glottal_seglen / segfs_);
        };
    derplot_->paint_layer = [this](QPainter& p, const QSize& s) { paint_der(p, s); };
    derplot_->mouse_press = [this](QMouseEvent* e) {
        if (e->button() != Qt::LeftButton) return;
        downtime_ = time_at(derplot_, e->position().x());
        run_guarded(nullptr, [&] { mark_period(downtime_, downtime_); }, false);
    };
    derplot_->mouse_move = [this](QMouseEvent* e) {
        if (e->buttons() & Qt::LeftButton)
            run_guarded(nullptr, [&] { mark_period(downtime_, time_at(derplot_, e->position().x())); }, false);
    };
    derplot_->mouse_release = derplot_->mouse_move;
    flowplot_->mouse_press = [this](QMouseEvent* e) {
        downtime_ = time_at(flowplot_, e->position().x());
        downflow_ = flowplot_->yaxis()->axis().pixel_to_value(static_cast<int>(e->position().y()));
    };
    flowplot_->mouse_move = [this](QMouseEvent* e) {
        run_guarded(nullptr, [&] {
            if (e->buttons() & Qt::LeftButton) mark_closed(downtime_, time_at(flowplot_, e->position().x()));
            if (e->buttons() & Qt::RightButton)
                set_extremes(downflow_, flowplot_->yaxis()->axis().pixel_to_value(static_cast<int>(e->position().y())));
        }, false);
    };
    for (QLabel*& l : lines_) {
        l = new QLabel;
        l->setFrameShape(QFrame::StyledPanel);
        l->setTextInteractionFlags(Qt::TextSelectableByMouse);
        outer->addWidget(l);
    }
    for (int i = 0; i < 3; ++i) lines_[i]->setObjectName(QString("resultline%1").arg(i + 1));
    ctx_.doc.theglobal.add_listener(this);
}

ttnaqwindow::~ttnaqwindow() { ctx_.doc.theglobal.remove_listener(this); }

QAction* ttnaqwindow::action(const QString& name) const { return findChild<QAction*>(name); }

QString ttnaqwindow::line(int i) const { return i >= 0 && i < 3 ? lines_[i]->text() : QString(); }

// Each panel through its own axis: the level axes' widths differ, so the
// two plot areas need not be equally wide.
double ttnaqwindow::time_at(const TPlotPanel* panel, double px) const {
    return panel->xaxis()->axis().pixel_to_value(static_cast<int>(std::lround(px))) / 1000;
}

void ttnaqwindow::reload() {
    faudiodatadirty_ = false;
    tdocument& doc = ctx_.doc;
    if (doc.totnchans() == 0) {
        line_.cancel();
        progresstimer_->stop();
        segment_.reset();
        ops_.clear();
        g_.clear();
        flockchanno_ = -1;
        locked_ = false;
        if (QAction* a = action("lockaction")) a->setChecked(false);
        setWindowTitle(title_ = "T-Naq");
        flowplot_->yaxis()->axis().SetAxisText("");
        derplot_->yaxis()->axis().SetAxisText("");
        update_lines();
        return;
    }
    if (!locked_ || flockchanno_ < 0 || flockchanno_ >= doc.totnchans()) flockchanno_ = doc.thischanno();
    const tchannel& ch = doc.channel(flockchanno_);
    const double t = doc.theglobal.timecursor();
    // A copy of the segment for the job, which loads and measures it.
    auto seg = std::make_shared<tsegmentcopy>();
    seg->fs = ch.sampfreq;
    seg->time = t;
    segtime_ = t;
    segfs_ = ch.sampfreq;
    seg->channelname = ch.name();
    seg->filename = ch.filename.empty() ? doc.filename() : ch.filename;
    seg->unit = ch.yunit();
    {
        const tchannelsegment s(ch, t, 0, glottal_seglen);
        seg->samples.resize(glottal_seglen + 1);
        for (int i = 0; i <= glottal_seglen; ++i) seg->samples[static_cast<std::size_t>(i)] = s(i);
    }
    if (addchanno_ >= 0 && addchanno_ < doc.totnchans()) {
        const tchannel& x = doc.channel(addchanno_);
        const tchannelsegment s(x, t, 0, glottal_seglen);
        seg->addfs = x.sampfreq;
        seg->extra.resize(glottal_seglen + 1);
        for (int i = 0; i <= glottal_seglen; ++i) seg->extra[static_cast<std::size_t>(i)] = s(i);
    }
    seg->pendingmarks = pendingmarks_;
    std::copy(std::begin(marks_), std::end(marks_), std::begin(seg->marks));
    pendingmarks_ = false;
    segment_ = seg;
    g_.cursortime = t;
    flowplot_->yaxis()->axis().SetAxisText("[" + ch.yunit() + "]");
    derplot_->yaxis()->axis().SetAxisText("[" + ch.yunit() + "/s]");
    // Keep the width of the visible range while re-anchoring it.
    if (ch.sampfreq > 0) {
        const double limit = glottal_seglen / ch.sampfreq * 1000;
        for (TPlotPanel* p : {flowplot_, derplot_}) {
            TAxis& x = p->xaxis()->axis();
            const double width = std::min(x.GetHiValue() - x.GetLoValue(), limit);
            x.SetMaxHiValue(limit);
            x.set_hilovalues(width, 0);
        }
    }
    title_ = QString::number(flockchanno_) + ": " + qs(ch.name()) + " @ " +
             qs(format_float_pattern(doc.prefs.SecondsFormat, t)) + " s - T-Naq";
    setWindowTitle(title_);
    start_job();
}

void ttnaqwindow::ensure_current() {
    if (faudiodatadirty_) reload();
}

// The job starts from the last finished result: the marks made since are
// made on it again, then the segment copied since (if any) is loaded and
// measured under the marks, as the window did it step by step.
void ttnaqwindow::start_job() {
    line_.start(
        [g = g_, seg = segment_, ops = ops_](tjobcontext& c) mutable {
            for (const tmarkop& op : ops) {
                c.check();
                if (op.kind == 0) g.mark_period(op.a, op.b);
                else if (op.kind == 1) g.mark_closed(op.a, op.b);
                else g.set_extremes(op.a, op.b);
            }
            c.progress(0.3);
            if (seg) {
                c.check();
                g.cursortime = seg->time;
                g.channelname = seg->channelname;
                g.filename = seg->filename;
                g.unit = seg->unit;
                g.load_samples(seg->fs, [&](int i) { return seg->samples[static_cast<std::size_t>(i)]; });
                std::fill(g.addarr.begin(), g.addarr.end(), 0.0);
                g.addsampfreq = seg->extra.empty() ? -1.0 : seg->addfs;
                std::copy(seg->extra.begin(), seg->extra.end(), g.addarr.begin());
                c.progress(0.6);
                if (seg->pendingmarks) {
                    g.mark_period(seg->marks[0], seg->marks[1]);
                    if (seg->marks[3] > seg->marks[2]) g.mark_closed(seg->marks[2], seg->marks[3]);
                } else {
                    g.measure();
                }
            }
            c.progress(1.0);
            return g;
        },
        [this, reloaded = segment_ != nullptr](tglottalflow g) {
            g_ = std::move(g);
            segment_.reset();
            ops_.clear();
            progresstimer_->stop();
            setWindowTitle(title_);
            if (reloaded) fit_levels();
            update_lines();
            flowplot_->mark_dirty();
            derplot_->mark_dirty();
        },
        [this](const std::string& why) {
            progresstimer_->stop();
            setWindowTitle(title_);
            lines_[0]->setText(qs(why));
        });
    if (!progresstimer_->isActive()) progresstimer_->start();
}

void ttnaqwindow::show_progress() {
    if (!line_.busy()) {
        progresstimer_->stop();
        return;
    }
    setWindowTitle(title_ + progress_text("", line_.progress()));
}

void ttnaqwindow::finish_jobs() {
    ensure_current();
    while (line_.busy()) {
        line_.wait();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
}

void ttnaqwindow::visible_range(int& from, int& to) const {
    const TAxis& x = flowplot_->xaxis()->axis();
    const double fs = std::max(g_.sampfreq, 1.0);
    from = static_cast<int>(std::clamp(std::llround(x.GetLoValue() / 1000 * fs), 0LL, 16384LL));
    to = static_cast<int>(std::clamp(std::llround(x.GetHiValue() / 1000 * fs) + 1, 0LL, 16385LL));
}

void ttnaqwindow::fit_levels() {
    int from = 0, to = 0;
    visible_range(from, to);
    auto fit = [&](const std::vector<double>& a, TAxis& y) {
        if (to - from < 2) return;
        const auto [lo, hi] = std::minmax_element(a.begin() + from, a.begin() + to);
        double l = *lo, h = *hi;
        if (!(h > l)) l -= 1, h += 1;
        const double m = (h - l) * 0.08;
        y.SetMinLoValue(-1e300);
        y.SetMaxHiValue(1e300);
        y.set_hilovalues(h + m, l - m);
    };
    fit(g_.flowarr, flowplot_->yaxis()->axis());
    fit(g_.derarr, derplot_->yaxis()->axis());
}

void ttnaqwindow::update_lines() {
    const tpreferences& p = ctx_.doc.prefs;
    if (g_.sampfreq < 0) {
        for (QLabel* l : lines_) l->clear();
        return;
    }
    if (!g_.showmeasurement) {
        // First the location in the main window, then the period here.
        lines_[0]->setText(cursorseen_ ? qs(g_.period_prompt())
                                       : "Select a location in the flow waveform in the main window!");
        lines_[1]->clear();
        lines_[2]->clear();
        return;
    }
    lines_[0]->setText(qs(g_.line1(p)));
    lines_[1]->setText(qs(g_.line2(p)));
    lines_[2]->setText(qs(g_.line3(p)));
}

void ttnaqwindow::change_marks(const std::function<void()>& change, bool) {
    ensure_current();
    if (!segment_ && g_.sampfreq < 0) return;
    change();
    start_job();
}

void ttnaqwindow::mark_period(double t1, double t2) {
    change_marks([&] { push_mark(0, t1, t2); }, true);
}

void ttnaqwindow::mark_closed(double t1, double t2) {
    change_marks([&] { push_mark(1, t1, t2); }, false);
}

void ttnaqwindow::set_extremes(double v1, double v2) {
    change_marks([&] { push_mark(2, v1, v2); }, false);
}

// A mark of the kind the last one was replaces it (a drag's newer position
// supersedes the older).
void ttnaqwindow::push_mark(int kind, double a, double b) {
    if (!ops_.empty() && ops_.back().kind == kind) ops_.back() = {kind, a, b};
    else ops_.push_back({kind, a, b});
}

void ttnaqwindow::logpointactionExecute() {
    ensure_current();
    // The measures of the newest marks; "Cancel" logs nothing.
    if (line_.busy() && !wait_with_progress(this, line_, "Measuring the glottal flow")) return;
    if (!g_.period_ok() || g_.sampfreq < 0) return;
    ctx_.measurements.datalog.add_line(g_.heading(), g_.datarow(ctx_.doc.prefs));
}

int ttnaqwindow::logallactionExecute() {
    tdocument& doc = ctx_.doc;
    ensure_current();
    if (flockchanno_ < 0 || flockchanno_ >= doc.totnchans()) return 0;
    const tchannel& ch = doc.channel(flockchanno_);
    const tglobal& gl = doc.theglobal;
    if (!gl.has_selection() || !(ch.sampfreq > 0)) {
        ctx_.prompter.ask("Select the stretch of flow whose cycles are to be measured in the main window first.",
                          "T-naq", tbuttons::ok, ticon::information);
        return 0;
    }
    const std::string filename = ch.filename.empty() ? doc.filename() : ch.filename;
    bool named = false;
    const tcyclecount n = measure_channel_cycles(ch, gl.leftselcursor(), gl.rightselcursor(), false, 20.0, {},
                                                 [&](tglottalflow& g) {
                                                     if (!named) {
                                                         g.filename = filename;
                                                         g.channelname = ch.name();
                                                         g.unit = ch.yunit();
                                                         named = true;
                                                     }
                                                     ctx_.measurements.datalog.add_line(g.heading(),
                                                                                        g.datarow(doc.prefs));
                                                 });
    if (n.measured == 0)
        ctx_.prompter.ask("No glottal cycle was found in the selection.", "T-naq", tbuttons::ok, ticon::information);
    return n.measured;
}

void ttnaqwindow::copyactionExecute() {
    ensure_current();
    if (line_.busy() && !wait_with_progress(this, line_, "Measuring the glottal flow")) return;
    if (g_.period_ok()) ctx_.clipboard.set_text(g_.datarow(ctx_.doc.prefs));
}

void ttnaqwindow::copyheaderactionExecute() { ctx_.clipboard.set_text(g_.heading()); }

void ttnaqwindow::paint_flow(QPainter& p, const QSize& size) {
    ensure_current();
    p.fillRect(QRect(QPoint(0, 0), size), Qt::white);
    TAxis& x = flowplot_->xaxis()->axis();
    TAxis& y = flowplot_->yaxis()->axis();
    paint_plot_grid(p, x, y, size);
    if (g_.sampfreq < 0) return;
    if (g_.period_ok() && g_.cqhitime > g_.cqlotime) {
        const double a = pix(x, g_.cqlotime * 1000), b = pix(x, g_.cqhitime * 1000);
        p.fillRect(QRectF(a, 0, b - a, size.height()), QColor(255, 240, 200));
    }
    int from = 0, to = 0;
    visible_range(from, to);
    p.setRenderHint(QPainter::Antialiasing, true);
    if (g_.addsampfreq > 0) {
        // The extra channel scaled to the panel.
        const double afs = g_.addsampfreq;
        const int af = static_cast<int>(std::clamp(std::llround(x.GetLoValue() / 1000 * afs), 0LL, 16384LL));
        const int at = static_cast<int>(std::clamp(std::llround(x.GetHiValue() / 1000 * afs) + 1, 0LL, 16385LL));
        if (at - af > 1) {
            const auto [lo, hi] = std::minmax_element(g_.addarr.begin() + af, g_.addarr.begin() + at);
            if (*hi > *lo) {
                QPolygonF l;
                for (int i = af; i < at; ++i)
                    l << QPointF(pix(x, i / afs * 1000), (*hi - g_.addarr[i]) * (size.height() - 1) / (*hi - *lo));
                p.setPen(QColor(0, 127, 0));
                p.drawPolyline(l);
            }
        }
    }
    draw_curve(p, x, y, size, g_, g_.flowarr, from, to, QColor(0, 0, 160));
    if (g_.period_ok()) {
        p.setPen(QPen(QColor(200, 0, 0), 1, Qt::DashLine));
        for (double v : {g_.loflow, g_.hiflow}) p.drawLine(QPointF(0, pix(y, v)), QPointF(size.width(), pix(y, v)));
        const QPointF peak(pix(x, g_.hiflowtime * 1000), pix(y, g_.hiflow));
        p.setPen(QPen(QColor(200, 0, 0), 2));
        p.drawEllipse(peak, 4, 4);
    }
}

void ttnaqwindow::paint_der(QPainter& p, const QSize& size) {
    ensure_current();
    p.fillRect(QRect(QPoint(0, 0), size), Qt::white);
    TAxis& x = derplot_->xaxis()->axis();
    TAxis& y = derplot_->yaxis()->axis();
    paint_plot_grid(p, x, y, size);
    if (g_.sampfreq < 0) return;
    int from = 0, to = 0;
    visible_range(from, to);
    if (g_.showmeasurement) {
        const double a = pix(x, g_.lotime * 1000), b = pix(x, g_.hitime * 1000);
        p.fillRect(QRectF(a, 0, b - a, size.height()), QColor(225, 240, 255));
    }
    p.setRenderHint(QPainter::Antialiasing, true);
    draw_curve(p, x, y, size, g_, g_.derarr, from, to, QColor(200, 0, 0));
    if (g_.period_ok()) {
        p.setPen(QPen(QColor(0, 128, 0), 1, Qt::DashLine));
        const double n = pix(x, g_.negtime * 1000);
        p.drawLine(QPointF(n, 0), QPointF(n, size.height()));
        const double mdry = pix(y, -g_.mdr);
        p.setPen(QPen(QColor(0, 0, 0), 1, Qt::DotLine));
        p.drawLine(QPointF(0, mdry), QPointF(size.width(), mdry));
    }
}

void ttnaqwindow::load_settings_from(const QString& path) {
    TSetting ini;
    if (!read_settings_file(ini, path, "Marks", "PeriodFrom")) return;
    marks_[0] = ini.ReadFloat("Marks", "PeriodFrom", 0);
    marks_[1] = ini.ReadFloat("Marks", "PeriodTo", 0);
    marks_[2] = ini.ReadFloat("Marks", "ClosedFrom", 0);
    marks_[3] = ini.ReadFloat("Marks", "ClosedTo", 0);
    pendingmarks_ = true;
}

void ttnaqwindow::refill_combo() {
    tdocument& doc = ctx_.doc;
    extracombo_->clear();
    for (int i = 0; i < doc.totnchans(); ++i) {
        const std::string& n = doc.channel(i).name();
        extracombo_->addItem(n.empty() ? "Channel " + QString::number(i) : qs(n));
    }
    extracombo_->addItem("Show no extra channel");
    if (addchanno_ >= doc.totnchans()) addchanno_ = -1;
    extracombo_->setCurrentIndex(addchanno_ >= 0 ? addchanno_ : doc.totnchans());
}

void ttnaqwindow::showEvent(QShowEvent* e) {
    if (firstactivation_) {
        if (QAction* a = action("autocopyaction")) a->setChecked(true);
        faudiodatadirty_ = true;
        ensure_current();
        firstactivation_ = false;
    }
    refill_combo();
    faudiodatadirty_ = true;
    flowplot_->mark_dirty();
    derplot_->mark_dirty();
    QWidget::showEvent(e);
}

void ttnaqwindow::time_cursor_changed() {
    faudiodatadirty_ = true;
    if (isVisible()) {
        cursorseen_ = true;
        ensure_current();
        flowplot_->mark_dirty();
        derplot_->mark_dirty();
    }
}

// A click in the main window moves the time cursor with the selection and
// may make another channel current; zooms and key commands only repaint.
// Each of these reaches a different broadcast, so all of them look.
void ttnaqwindow::follow_main() {
    const tdocument& doc = ctx_.doc;
    if (faudiodatadirty_ || doc.totnchans() == 0) return;
    if ((!locked_ && flockchanno_ != doc.thischanno()) || doc.theglobal.timecursor() != g_.cursortime)
        time_cursor_changed();
}

void ttnaqwindow::main_cursor_changed(bool) { follow_main(); }

void ttnaqwindow::document_state_changed() { follow_main(); }

void ttnaqwindow::invalidate_paintboxes(bool) { follow_main(); }

void ttnaqwindow::fix_things() {
    if (isVisible()) refill_combo();
    if (!locked_ && flockchanno_ != ctx_.doc.thischanno()) time_cursor_changed();
}

void ttnaqwindow::channels_changed() {
    if (isVisible()) refill_combo();
    time_cursor_changed();
}

void ttnaqwindow::channel_changed(const tchannelchange& change) {
    if (change.kind == tchannelchange::tkind::labels) return;
    if (change.touches(flockchanno_, 0, tchannelchange::end_of_channel)) time_cursor_changed();
}

}  // namespace tessal
