// The correlation window: controls, the kept curves, painting, the period
// cursor with its snapping, the log and the settings kept between runs.
#include "gui/correlation/tcorrelationwindow.h"

#include <QAction>
#include <QActionGroup>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QSplitter>
#include <QTabWidget>
#include <QToolBar>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "engine/analysis/correlation.h"
#include "engine/core/tchannel.h"
#include "engine/core/tdocument.h"
#include "engine/dsp/notes.h"
#include "engine/dsp/numformat.h"
#include "engine/settings/tsetting.h"
#include "gui/commands/commandguard.h"
#include "gui/context/appcontext.h"
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
    : QWidget(owner, Qt::Window | Qt::Tool), ctx_(ctx), tools_(this, &ctx.doc) {
    setWindowTitle("Correlation - Tessal");
    tools_.add_log(10, [this] { logcursoractionExecute(); }, 11,
                   [this] { ctx_.windows.show("datalog"); });
    for (int i = 0; i < 3; ++i)
        tools_.add({.id = snapids[i], .caption = snapcaptions[i], .handler = [this, i] { set_snap_mode(i); },
                    .checkable = true, .radio = "snap", .toolorder = 20 + i});
    tools_.add_check({.id = "locksnapaction", .caption = "Lock snap ch.", .toolorder = 23}, [this](bool on) {
        lock_.set_locked(on, ctx_.doc);
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
        if (try_parse_float(lengthedit_->text().toStdString(), v) && v > 0 && std::isfinite(v))
            set_winlength(v / 1000);
        else
            lengthedit_->setText(qs(float_to_text(fwinlength_ * 1000)));
    });
    channels_ = new TChannelCheckList;
    tabs->addTab(channels_, "Channels");
    connect(channels_, &TChannelCheckList::checks_changed, this, [this](int chno, bool on) {
        if (chno < ctx_.doc.totnchans()) ctx_.doc.channel(chno).showcorrelation = on;
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
    ctx_.doc.theglobal.add_listener(this);
}

tcorrelationwindow::~tcorrelationwindow() {
    if (persist) run_guarded(nullptr, [&] { persist(*this); });
    ctx_.doc.theglobal.remove_listener(this);
}

QAction* tcorrelationwindow::action(const QString& name) const { return findChild<QAction*>(name); }

void tcorrelationwindow::set_winlength(double s) {
    if (!(s > 0) || !std::isfinite(s)) return;
    fwinlength_ = s;
    lengthedit_->setText(qs(float_to_text(s * 1000)));
    drop_all();
}

void tcorrelationwindow::set_snap_mode(int m) {
    snapmode_ = std::clamp(m, 0, 2);
    if (snapmode_ >= 0 && snapmode_ < 3) action(snapids[snapmode_])->setChecked(true);
    update_readouts();
}

void tcorrelationwindow::drop_all() {
    for (tcurve& c : curves_) c.valid = false;
    plot_->mark_dirty();
}

int tcorrelationwindow::snap_channel() const {
    const int n = ctx_.doc.totnchans();
    if (n == 0) return -1;
    return std::clamp(lock_.channel(ctx_.doc), 0, n - 1);
}

const std::vector<double>& tcorrelationwindow::correlation_of(int chno) {
    static const std::vector<double> none;
    tdocument& doc = ctx_.doc;
    if (chno < 0 || chno >= doc.totnchans()) return none;
    if (static_cast<int>(curves_.size()) < doc.totnchans()) curves_.resize(static_cast<std::size_t>(doc.totnchans()));
    tcurve& c = curves_[static_cast<std::size_t>(chno)];
    const double t = doc.theglobal.timecursor();
    const double laghi = plot_->xaxis()->axis().GetHiValue();
    if (!c.valid || c.t != t || c.winlength != fwinlength_ || c.laghi != laghi) {
        c.r = correlation_at(sample_view(doc.channel(chno)), fwinlength_, t, laghi);
        c.t = t;
        c.winlength = fwinlength_;
        c.laghi = laghi;
        c.valid = true;
    }
    return c.r;
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
    for (int c = 0; c < doc.totnchans(); ++c) {
        if (!doc.channel(c).showcorrelation) continue;
        const std::vector<double>& r = correlation_of(c);
        const double fs = doc.channel(c).sampfreq;
        QPolygonF line;
        line.reserve(static_cast<int>(r.size()));
        for (std::size_t i = 0; i < r.size(); ++i)
            line << QPointF(x.value_to_notclippedpixel(static_cast<double>(i) / fs * 1000),
                            y.value_to_notclippedpixel(r[i]));
        p.setPen(QPen(bgr(doc.channel(c).color), 1));
        p.drawPolyline(line);
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
    curves_.assign(static_cast<std::size_t>(doc.totnchans()), {});
    plot_->mark_dirty();
}

void tcorrelationwindow::showEvent(QShowEvent* e) {
    rebuild_channels();
    update_readouts();
    QWidget::showEvent(e);
}

void tcorrelationwindow::time_cursor_changed() {
    if (isVisible()) plot_->mark_dirty();
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
    for (std::size_t i = 0; i < curves_.size(); ++i)
        if (change.touches(static_cast<int>(i), 0, tchannelchange::end_of_channel)) curves_[i].valid = false;
    if (change.kind != tchannelchange::tkind::samples) curves_.clear();
    if (isVisible()) plot_->mark_dirty();
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
