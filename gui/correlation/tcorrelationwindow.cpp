// The correlation window: controls, the curves computed on its job line and
// kept, painting, the period cursor with its snapping, the log and the
// settings kept between runs.
#include "gui/correlation/tcorrelationwindow.h"

#include <QAction>
#include <QActionGroup>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMouseEvent>
#include <QPainter>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <memory>

#include "engine/analysis/correlation.h"
#include "engine/core/tchannel.h"
#include "engine/core/tdocument.h"
#include "engine/dsp/notes.h"
#include "engine/dsp/numberfield.h"
#include "engine/dsp/numformat.h"
#include "engine/settings/tsetting.h"
#include "gui/commands/commandguard.h"
#include "gui/context/appcontext.h"
#include "gui/windows/windowjobs.h"
#include "gui/windows/windowsettings.h"

namespace tessal {

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }
QColor bgr(TColor c) { return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }

}  // namespace

namespace {

const char* const snapids[] = {"dontsnapaction", "snaptocurveaction", "snaptopeakaction"};
const char* const snapcaptions[] = {"Don't snap", "Snap to curve", "Snap to peak"};

}  // namespace

tcorrelationwindow::tcorrelationwindow(tappcontext& ctx, QWidget* owner)
    : QWidget(owner, Qt::Window | Qt::Tool), ctx_(ctx), tools_(this, &ctx.doc), line_(deliver_to(this)) {
    setWindowTitle("Correlation - Tessal");
    tools_.add_log(10, [this] { logcursoractionExecute(); }, 11,
                   [this] { ctx_.windows.show("datalog"); });
    for (int i = 0; i < 3; ++i)
        tools_.add({.id = snapids[i], .caption = snapcaptions[i], .handler = [this, i] { set_snap_mode(i); },
                    .checkable = true, .radio = "snap", .toolorder = 20 + i});
    tools_.add_check({.id = "locksnapaction", .caption = "Lock snap ch.", .toolorder = 23}, [this](bool on) {
        lock_.set_locked(on, ctx_.doc);
        request();
        update_readouts();
    });
    tools_.add_image(30, plot_);
    auto* outer = tools_.build_layout();
    action(snapids[0])->setChecked(true);

    auto* split = new QSplitter(Qt::Horizontal, this);
    outer->addWidget(split, 1);
    auto* tabs = new QTabWidget(split);
    auto* settings = new QWidget;
    auto* sl = new QVBoxLayout(settings);
    auto* box = new QGroupBox("Correlation");
    auto* bl = new QVBoxLayout(box);
    bl->addWidget(new QLabel("Window length [ms]"));
    lengthedit_ = new QLineEdit("50");
    lengthedit_->setObjectName("windowlengthedit");
    bl->addWidget(lengthedit_);
    sl->addWidget(box);
    sl->addStretch(1);
    tabs->addTab(settings, "Settings");
    connect(lengthedit_, &QLineEdit::editingFinished, this, [this] {
        double v = 0;
        const std::string rule = read_number_field(lengthedit_->text().toStdString(), fields::correlationlength, v);
        if (rule.empty() && v / 1000 != fwinlength_) {
            set_winlength(v / 1000);
        } else if (!rule.empty()) {
            // The text goes back first, so the message's focus change
            // finishes no edit.
            lengthedit_->setText(qs(float_to_text(fwinlength_ * 1000)));
            ctx_.prompter.error(rule + ".", "Correlation");
        }
    });
    channels_ = new TChannelCheckList;
    tabs->addTab(channels_, "Channels");
    connect(channels_, &TChannelCheckList::checks_changed, this, [this](int chno, bool on) {
        if (chno < ctx_.doc.totnchans()) ctx_.doc.channel(chno).showcorrelation = on;
        request();
        plot_->mark_dirty();
    });

    plot_ = new TPlotPanel(split);
    split->setStretchFactor(1, 1);
    split->setSizes({180, 540});
    TAxis& y = plot_->yaxis()->axis();
    y.SetMinLoValue(-1e300);
    y.set_hilovalues(1.2, -1.2);
    y.SetTickSpaceAim(1);
    y.fallowdoubleclick = true;
    TAxis& x = plot_->xaxis()->axis();
    x.SetAxisText("[ms]");
    x.SetMinLoValue(0);
    x.SetMinValueDifference(0.001);
    x.set_hilovalues(40, 0);
    x.SetTickSpaceAim(1);
    x.fallowdoubleclick = true;
    x.fallowlogarithmicchange = true;
    x.OnScaleChanged.subscribe([this](TAxis&) { drop_all(); });
    plot_->paint_layer = [this](QPainter& p, const QSize& s) { paint_layer(p, s); };
    // The channel the cursors read and the window from the time cursor on.
    plot_->figure_title = [this] {
        const tdocument& doc = ctx_.doc;
        const int c = snap_channel();
        const double t = doc.theglobal.timecursor();
        if (c < 0) return figure_title_of(doc.filename(), -1, "", 0, -1);
        return figure_title_of(doc.filename(), c, doc.channel(c).name(), t, t + fwinlength_);
    };
    plot_->paint_overlay = [this](QPainter& p, const QSize& s) { paint_overlay(p, s); };
    plot_->mouse_press = [this](QMouseEvent* e) {
        crosshair_ = true;
        cursor_at(static_cast<int>(e->position().x()), static_cast<int>(e->position().y()));
    };
    plot_->mouse_move = [this](QMouseEvent* e) {
        if (e->buttons() & Qt::LeftButton)
            cursor_at(static_cast<int>(e->position().x()), static_cast<int>(e->position().y()));
    };
    status_ = new TStatusPanels({240, 160, 50}, this);
    outer->addWidget(status_);
    progresstimer_ = new QTimer(this);
    progresstimer_->setInterval(100);
    connect(progresstimer_, &QTimer::timeout, this, [this] { show_progress(); });
    ctx_.doc.theglobal.add_listener(this);
}

tcorrelationwindow::~tcorrelationwindow() {
    detach_fields(this);
    line_.cancel();
    if (persist) run_guarded(nullptr, [&] { persist(*this); });
    ctx_.doc.theglobal.remove_listener(this);
}

QAction* tcorrelationwindow::action(const QString& name) const { return findChild<QAction*>(name); }

void tcorrelationwindow::set_winlength(double s) {
    const tnumberfield& f = fields::correlationlength;
    if (!(s * 1000 >= f.lo && s * 1000 <= f.hi)) return;
    fwinlength_ = s;
    lengthedit_->setText(qs(float_to_text(s * 1000)));
    drop_all();
}

void tcorrelationwindow::set_snap_mode(int m) {
    snapmode_ = std::clamp(m, 0, 2);
    if (snapmode_ >= 0 && snapmode_ < 3) action(snapids[snapmode_])->setChecked(true);
    request();
    update_readouts();
}

void tcorrelationwindow::drop_all() {
    // The curves stay drawn until their successors are handed back.
    request();
    plot_->mark_dirty();
}

int tcorrelationwindow::snap_channel() const {
    const int n = ctx_.doc.totnchans();
    if (n == 0) return -1;
    return std::clamp(lock_.channel(ctx_.doc), 0, n - 1);
}

const std::vector<double>& tcorrelationwindow::correlation_of(int chno) {
    static const std::vector<double> none;
    if (chno < 0 || chno >= static_cast<int>(curves_.size())) return none;
    if (!curve_current(chno)) request();
    const tcurve& c = curves_[static_cast<std::size_t>(chno)];
    return c.valid ? c.r : none;
}

bool tcorrelationwindow::curve_current(int chno) const {
    if (chno < 0 || chno >= static_cast<int>(curves_.size())) return false;
    const tcurve& c = curves_[static_cast<std::size_t>(chno)];
    return c.valid && c.key == wanted();
}

tcorrelationwindow::tkey tcorrelationwindow::wanted() const {
    return {ctx_.doc.theglobal.timecursor(), fwinlength_, plot_->xaxis()->axis().GetHiValue(), sampleedits_};
}

void tcorrelationwindow::request() {
    tdocument& doc = ctx_.doc;
    const int n = doc.totnchans();
    if (static_cast<int>(curves_.size()) != n) curves_.resize(static_cast<std::size_t>(n));
    const tkey key = wanted();
    const int snap = snapmode_ != 0 ? snap_channel() : -1;
    std::vector<int> chans;
    for (int c = 0; c < n; ++c)
        if ((doc.channel(c).showcorrelation || c == snap) && !curve_current(c)) chans.push_back(c);
    if (line_.busy() && key == pending_ && chans == pendingchans_) return;
    if (chans.empty()) {
        // Nothing is missing: whatever runs is for something no longer wanted.
        if (line_.busy()) {
            line_.cancel();
            show_progress();
        }
        return;
    }
    pending_ = key;
    pendingchans_ = chans;
    // Slices of what each curve reads, taken here; the worker reads only them.
    struct tpart {
        int chno = 0;
        tsamplecopy samples;
    };
    auto parts = std::make_shared<std::vector<tpart>>();
    for (int c : chans) {
        const tchannel& ch = doc.channel(c);
        const double fs = ch.sampfreq;
        if (!(fs > 0)) {
            parts->push_back({c, {}});
            continue;
        }
        const double from = std::clamp(std::round(key.t * fs), -4e18, 4e18);
        const double span = std::clamp(std::round(key.laghi / 1000 * fs) + std::round(fs * key.winlength), 0.0, 4e8);
        parts->push_back({c, copy_samples(ch, static_cast<long long>(from), static_cast<long long>(from + span))});
    }
    using tresult = std::vector<std::pair<int, std::vector<double>>>;
    line_.start(
        [parts, key](tjobcontext& job) {
            tresult out;
            const double n = static_cast<double>(parts->size());
            for (std::size_t k = 0; k < parts->size(); ++k) {
                const tpart& p = (*parts)[k];
                std::vector<double> r;
                if (p.samples.fs > 0 &&
                    !correlation_at(p.samples.view(), key.winlength, key.t, key.laghi, r, [&](double f) {
                        job.progress((static_cast<double>(k) + f) / n);
                        return !job.cancelled();
                    }))
                    job.check();
                out.emplace_back(p.chno, std::move(r));
            }
            return out;
        },
        [this, key](tresult out) {
            for (auto& [chno, r] : out)
                if (chno < static_cast<int>(curves_.size()))
                    curves_[static_cast<std::size_t>(chno)] = {true, key, std::move(r)};
            show_progress();
            update_readouts();
            plot_->mark_dirty();
        },
        [this](const std::string& why) {
            show_progress();
            ctx_.window->statusBar()->showMessage(qs("Correlation: " + why));
        });
    show_progress();
    progresstimer_->start();
}

void tcorrelationwindow::show_progress() {
    QStatusBar* bar = ctx_.window->statusBar();
    if (!line_.busy()) {
        progresstimer_->stop();
        if (bar->currentMessage().startsWith("Calculating correlation")) bar->showMessage("Done ");
        return;
    }
    const double f = line_.progress();
    const std::size_t n = pendingchans_.size();
    const int chno = n ? pendingchans_[std::min(n - 1, static_cast<std::size_t>(f * static_cast<double>(n)))] : 0;
    bar->showMessage(progress_text("Calculating correlation for channel " + QString::number(chno), f));
}

double tcorrelationwindow::period_cursor() const {
    const double f = ctx_.doc.theglobal.freqcursor();
    return f > 0 ? 1 / f : 0;
}

void tcorrelationwindow::cursor_at(int px, int py) {
    tdocument& doc = ctx_.doc;
    const int c = snap_channel();
    const double lagms = plot_->xaxis()->axis().pixel_to_value(px);
    const double x = lagms / 1000;
    double f = x > 0 ? 1 / x : 0;
    fccursor_ = plot_->yaxis()->axis().pixel_to_value(py);
    if (c >= 0 && snapmode_ != 0) {
        const std::vector<double>& r = correlation_of(c);
        const tcorrsnap s = snapmode_ == 1 ? corr_snap_to_curve(r, doc.channel(c).sampfreq, x)
                                           : corr_snap_to_peak(r, doc.channel(c).sampfreq, x);
        f = s.f;
        fccursor_ = s.r;
    }
    crosshair_ = true;
    settingcursor_ = true;
    doc.theglobal.set_freqcursor(f);
    settingcursor_ = false;
    update_readouts();
    plot_->update_overlay();
}

void tcorrelationwindow::update_readouts() {
    const tpreferences& p = ctx_.doc.prefs;
    const double T = period_cursor();
    status_->set_text(0, T > 0 ? "T=" + qs(format_significant(p.nSignificantDigits, T * 1000)) + " ms, f=" +
                                     qs(format_significant(p.nSignificantDigits, 1 / T)) + " Hz (" +
                                     qs(freq_to_notename(1 / T, true)) + ")"
                               : QString());
    status_->set_text(1, "r=" + qs(format_significant(p.nSignificantDigits, fccursor_)));
    const int c = std::max(0, snap_channel());
    static const char* const free_texts[] = {"", "Snap to channel ", "Snap to peaks of channel "};
    static const char* const locked_texts[] = {"", "Snap locked to channel ", "Snap locked to peaks of channel "};
    status_->set_text(2, snapmode_ == 0 ? QString()
                                        : QString(lock_.locked() ? locked_texts[snapmode_] : free_texts[snapmode_]) +
                                              QString::number(c));
    if (QAction* a = action("locksnapaction"))
        a->setToolTip((lock_.locked() ? "Locked snapping to channel " : "Lock snapping to channel ") +
                      QString::number(c));
    if (QAction* a = action("logcursoraction")) a->setEnabled(T > 0);
}

void tcorrelationwindow::paint_layer(QPainter& p, const QSize& size) {
    p.fillRect(QRect(QPoint(0, 0), size), Qt::white);
    TAxis& x = plot_->xaxis()->axis();
    TAxis& y = plot_->yaxis()->axis();
    paint_plot_grid(p, x, y, size);
    tdocument& doc = ctx_.doc;
    request();
    for (int c = 0; c < doc.totnchans() && c < static_cast<int>(curves_.size()); ++c) {
        if (!doc.channel(c).showcorrelation || !curves_[static_cast<std::size_t>(c)].valid) continue;
        draw_correlation_curve(p, x, y, curves_[static_cast<std::size_t>(c)].r, doc.channel(c).sampfreq,
                               bgr(doc.channel(c).color));
    }
}

void tcorrelationwindow::paint_overlay(QPainter& p, const QSize& size) {
    if (!crosshair_) return;
    p.setPen(Qt::red);
    const double T = period_cursor();
    const int xp = plot_->xaxis()->axis().value_to_notclippedpixel(T * 1000);
    if (T > 0 && xp > 0) p.drawLine(xp, 0, xp, size.height());
    const int yp = plot_->yaxis()->axis().value_to_notclippedpixel(fccursor_);
    if (yp >= 1) p.drawLine(0, yp, size.width(), yp);
}

void tcorrelationwindow::logcursoractionExecute() {
    const double T = period_cursor();
    if (!(T > 0)) return;
    const tcorrlog l = correlation_cursor_log(ctx_.doc.theglobal.timecursor(), T, fccursor_, ctx_.doc.prefs);
    ctx_.measurements.datalog.add_line(l.heading, l.line);
    ctx_.windows.show("datalog");
}

void tcorrelationwindow::rebuild_channels() {
    tdocument& doc = ctx_.doc;
    bool any = false;
    for (int i = 0; i < doc.totnchans(); ++i) any = any || doc.channel(i).showcorrelation;
    if (!any && doc.totnchans() > 0) doc.channel(doc.thischanno()).showcorrelation = true;
    channels_->rebuild(doc, [&doc](int i) { return doc.channel(i).showcorrelation; });
    // At most 44100 lags at the first channel's rate.
    if (doc.totnchans() > 0 && doc.channel(0).sampfreq > 0)
        plot_->xaxis()->axis().SetMaxHiValue(4.41e6 / doc.channel(0).sampfreq);
    // The channels may have changed: their curves are computed again, the
    // old ones drawn meanwhile.
    curves_.resize(static_cast<std::size_t>(doc.totnchans()));
    ++sampleedits_;
    request();
    plot_->mark_dirty();
}

void tcorrelationwindow::showEvent(QShowEvent* e) {
    rebuild_channels();
    update_readouts();
    QWidget::showEvent(e);
}

void tcorrelationwindow::hideEvent(QHideEvent* e) {
    // Closed: nothing more is computed; the last curves stay.
    line_.cancel();
    show_progress();
    QWidget::hideEvent(e);
}

void tcorrelationwindow::time_cursor_changed() {
    if (!isVisible()) return;
    request();
    plot_->mark_dirty();
}

void tcorrelationwindow::freq_cursor_changed(double f) {
    if (settingcursor_) return;
    if (f > 0) crosshair_ = true;
    if (!isVisible()) return;
    update_readouts();
    plot_->update_overlay();
}

void tcorrelationwindow::hide_crosshairs() {
    crosshair_ = false;
    plot_->update_overlay();
}

void tcorrelationwindow::fix_things() {
    if (isVisible()) rebuild_channels();
}

void tcorrelationwindow::channels_changed() {
    if (isVisible()) rebuild_channels();
}

void tcorrelationwindow::invalidate_paintboxes(bool) {
    if (isVisible()) plot_->mark_dirty();
}

void tcorrelationwindow::channel_changed(const tchannelchange& change) {
    if (change.kind == tchannelchange::tkind::labels) return;
    bool touched = change.kind != tchannelchange::tkind::samples;
    for (std::size_t i = 0; i < curves_.size(); ++i)
        touched = touched || change.touches(static_cast<int>(i), 0, tchannelchange::end_of_channel);
    // What was computed stays drawn until the curves of the new samples come.
    if (touched) ++sampleedits_;
    if (!isVisible()) return;
    request();
    plot_->mark_dirty();
}

void tcorrelationwindow::save_settings_to(const QString& path) const {
    TSetting ini;
    open_settings_file(ini, path);
    ini.WriteFloat("Correlation", "WindowLength", fwinlength_);
    ini.WriteInteger("Correlation", "Snap", snapmode_);
    ini.WriteFloat("Correlation", "LagHi", const_cast<tcorrelationwindow*>(this)->plot_->xaxis()->axis().GetHiValue());
    ini.IniClose();
}

void tcorrelationwindow::load_settings_from(const QString& path) {
    TSetting ini;
    if (!read_settings_file(ini, path, "Correlation", "WindowLength")) return;
    set_winlength(ini.ReadFloat("Correlation", "WindowLength", fwinlength_));
    const auto m = ini.ReadInteger("Correlation", "Snap", 0);
    set_snap_mode(m >= 0 && m <= 2 ? static_cast<int>(m) : 0);
    const double hi = ini.ReadFloat("Correlation", "LagHi", 40);
    if (hi > 0 && std::isfinite(hi)) plot_->xaxis()->axis().set_hilovalues(hi, 0);
}

}  // namespace tessal
