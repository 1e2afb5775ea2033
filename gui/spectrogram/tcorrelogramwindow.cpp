// The correlogram window: its settings, the computation of a strip's r
// and its picture, the traces with their mouse modes and files, the F0/T0
// extraction and the settings kept between runs.
#include "gui/spectrogram/tcorrelogramwindow.h"

#include <QAction>
#include <QActionGroup>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPainter>
#include <QRadioButton>
#include <QStatusBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

#include "engine/core/tchannel.h"
#include "engine/core/tdocument.h"
#include "engine/dsp/numberfield.h"
#include "engine/dsp/numformat.h"
#include "engine/process/tworksig.h"
#include "engine/settings/tsetting.h"
#include "engine/tools/f0trace.h"
#include "gui/commands/commandguard.h"
#include "gui/context/appcontext.h"
#include "gui/widgets/settingspage.h"
#include "gui/widgets/taxiswidget.h"
#include "gui/widgets/tplotpanel.h"
#include "gui/windows/windowjobs.h"
#include "gui/windows/windowsettings.h"

namespace tessal {

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }

const tstripkind correlogram_kind{"Correlogram - Tessal", "Freeze correlograms", "  r", 0, 1, 300};

// Work (products, correlogram_column_cost) below which a strip may be
// computed at once on this thread, within the update's budget: about
// 10 ms of columns on one core.
constexpr double immediate_products = 2e7;

}  // namespace

tcorrelogramwindow::tcorrelogramwindow(tappcontext& ctx, QWidget* owner)
    : tstripwindow(ctx, owner, correlogram_kind), traceline_(deliver_to(this)), extractline_(deliver_to(this)) {
    st_.levello = 0;
    st_.levelhi = 1;
    speg_.tilt = 0;
    build();
    set_trace_mode(0);
}

tcorrelogramwindow::~tcorrelogramwindow() {
    traceline_.cancel();
    extractline_.cancel();
    finish();
}

// ------------------------------------------------------------------ controls

void tcorrelogramwindow::build_settings(QVBoxLayout* sl) {
    auto edit = [](const char* id, const QString& text) {
        auto* e = new QLineEdit(text);
        e->setObjectName(id);
        return e;
    };
    auto* lengthbox = new QGroupBox("Window length");
    auto* ll = new QGridLayout(lengthbox);
    lengthmodegroup_ = new QButtonGroup(this);
    auto* fixed = new QRadioButton("Fixed");
    auto* prop = new QRadioButton("Corr delay x");
    lengthmodegroup_->addButton(fixed, 0);
    lengthmodegroup_->addButton(prop, 1);
    corrlengthedit_ = edit("corrlengthedit", "10");
    factoredit_ = edit("factoredit", "1");
    ll->addWidget(fixed, 0, 0);
    ll->addWidget(corrlengthedit_, 0, 1);
    ll->addWidget(new QLabel("[ms]"), 0, 2);
    ll->addWidget(prop, 1, 0);
    ll->addWidget(factoredit_, 1, 1);
    sl->addWidget(lengthbox);
    add_radio_box(sl, "Vertical axis", vertgroup_, {"Time", "Frequency"}, this);
    tracingpage_ = build_tracing_page();
}

QWidget* tcorrelogramwindow::build_tracing_page() {
    auto edit = [](const char* id, const QString& text) {
        auto* e = new QLineEdit(text);
        e->setObjectName(id);
        return e;
    };
    auto* page = new QWidget;
    auto* pl = new QVBoxLayout(page);
    // The trace commands as a grid of buttons, two to a row, so that all
    // of them fit the side panel.
    auto* commands = new QGridLayout;
    pl->addLayout(commands);
    int slot = 0;
    // Each button is named after its command ("...button"), so that a
    // screenshot run can press it.
    auto place = [&](QAction* a) {
        auto* b = new QToolButton;
        b->setObjectName(a->objectName() + "button");
        b->setDefaultAction(a);
        b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        commands->addWidget(b, slot / 2, slot % 2);
        ++slot;
        return a;
    };
    auto* modes = new QActionGroup(this);
    struct tmode {
        const char* id;
        const char* caption;
        const char* hint;
        int mode;
    };
    for (const tmode& m : {tmode{"normalcursoraction", "Normal cursor", "Normal cursor", 0},
                           tmode{"addpointaction", "Add point", "Add trace point", 1},
                           tmode{"movepointaction", "Move point", "Move trace point", 2},
                           tmode{"deletepointaction", "Delete point", "Delete trace point", 3},
                           tmode{"cuttraceaction", "Cut trace", "Cut trace", 4},
                           tmode{"gluetraceaction", "Glue trace", "Glue trace", 5}}) {
        auto* a = new QAction(m.caption, this);
        a->setObjectName(m.id);
        place(a);
        a->setToolTip(m.hint);
        a->setCheckable(true);
        modes->addAction(a);
        const int mode = m.mode;
        connect(a, &QAction::triggered, this, [this, mode] { set_trace_mode(mode); });
    }
    auto command = [&](const char* id, const QString& caption, auto work) {
        auto* a = new QAction(caption, this);
        a->setObjectName(id);
        place(a);
        connect(a, &QAction::triggered, this, [this, work] { run_guarded(&ctx_.doc, work, false); });
        return a;
    };
    command("newtraceaction", "New trace", [this] {
        const int c = ctx_.doc.thischanno();
        if (c < 0 || c >= strip_count()) return;
        if (!may_replace_trace(c)) return;
        trace(c).clear();
        strip(c).tracemodified = false;
        repaint_strips();
    });
    command("opentraceaction", "Open trace...", [this] {
        const int c = ctx_.doc.thischanno();
        if (c >= 0 && c < strip_count() && !may_replace_trace(c)) return;
        const QString f = QFileDialog::getOpenFileName(this, "Open trace", {},
                                                       "Trace files (*.ctr);;All filer (*)");
        if (!f.isEmpty()) open_trace(f, ctx_.doc.thischanno());
    });
    command("tracefromf0action", "Trace from F0", [this] { auto_trace(ctx_.doc.thischanno()); });
    command("savetraceaction", "Save trace", [this] { savetraceactionExecute(); });
    command("savetraceasaction", "Save trace as...", [this] {
        QString f = QFileDialog::getSaveFileName(this, "Save trace", {},
                                                 "Trace files (*.ctr);;All files (*)");
        if (f.isEmpty()) return;
        if (QFileInfo(f).suffix().isEmpty()) f += ".ctr";
        save_trace(f, ctx_.doc.thischanno());
    });

    auto* tracing = new QGroupBox("Tracing");
    auto* tl = new QVBoxLayout(tracing);
    tl->addWidget(new QLabel("Default width of trace [%]"));
    tracewidthedit_ = edit("tracewidthedit", "50");
    tl->addWidget(tracewidthedit_);
    pl->addWidget(tracing);

    auto* ex = new QGroupBox("Extract F0/T0 from trace");
    auto* el = new QGridLayout(ex);
    int row = 0;
    el->addWidget(new QLabel("Analyze channel"), row++, 0, 1, 2);
    analyzecombo_ = new QComboBox;
    analyzecombo_->setObjectName("analyzecombo");
    el->addWidget(analyzecombo_, row++, 0, 1, 2);
    el->addWidget(new QLabel("Skip samples"), row, 0);
    skipedit_ = edit("skipedit", "441");
    el->addWidget(skipedit_, row++, 1);
    keeprate_ = new QCheckBox("Keep channel sampling rate");
    keeprate_->setObjectName("keepratecheck");
    el->addWidget(keeprate_, row++, 0, 1, 2);
    auto output = [&](const char* id, const QString& caption, bool on, QCheckBox*& check,
                      QComboBox*& target) {
        check = new QCheckBox(caption);
        check->setObjectName(id);
        check->setChecked(on);
        target = new QComboBox;
        target->setObjectName(QString(id) + "target");
        el->addWidget(check, row++, 0, 1, 2);
        el->addWidget(target, row++, 0, 1, 2);
    };
    output("f0output", "F0/T0", true, outf0_, f0target_);
    output("correlationoutput", "Correlation", true, outcorr_, corrtarget_);
    output("widthoutput", "Candidate width", false, outwidth_, widthtarget_);
    thresholds_ = new QCheckBox("Use correlation thresholds for extraction");
    thresholds_->setObjectName("thresholdscheck");
    el->addWidget(thresholds_, row++, 0, 1, 2);
    auto* thr = new QHBoxLayout;
    thr->addWidget(new QLabel("Lo"));
    loedit_ = edit("loedit", "0.5");
    thr->addWidget(loedit_);
    thr->addWidget(new QLabel("Hi"));
    hiedit_ = edit("hiedit", "0.7");
    thr->addWidget(hiedit_);
    el->addLayout(thr, row++, 0, 1, 2);
    auto* extract = new QAction("Extract F0/T0", this);
    extract->setObjectName("extractaction");
    connect(extract, &QAction::triggered, this,
            [this] { run_guarded(&ctx_.doc, [this] { extractactionExecute(); }, true, make_f0_channels_caption); });
    auto* button = new QToolButton;
    button->setDefaultAction(extract);
    el->addWidget(button, row++, 0, 1, 2);
    pl->addWidget(ex);
    pl->addStretch(1);

    auto edited = [this] { read_corr_controls(); };
    for (QLineEdit* e : {corrlengthedit_, factoredit_, tracewidthedit_, skipedit_, loedit_, hiedit_})
        connect(e, &QLineEdit::editingFinished, this, edited);
    connect(lengthmodegroup_, &QButtonGroup::idClicked, this, edited);
    connect(vertgroup_, &QButtonGroup::idClicked, this, edited);
    connect(keeprate_, &QCheckBox::toggled, this, edited);
    connect(thresholds_, &QCheckBox::toggled, this, edited);
    return page;
}

void tcorrelogramwindow::add_levels(QVBoxLayout* sl, QHBoxLayout* levelrow) {
    auto* gray = new QGroupBox("Gray scale");
    auto* gl = new QVBoxLayout(gray);
    gl->addLayout(levelrow, 1);
    auto* gammarow = new QHBoxLayout;
    gammarow->addWidget(new QLabel("Gamma"));
    gammaedit_ = new QLineEdit("4");
    gammaedit_->setObjectName("gammaedit");
    gammarow->addWidget(gammaedit_);
    connect(gammaedit_, &QLineEdit::editingFinished, this, [this] { read_corr_controls(); });
    gl->addLayout(gammarow);
    sl->addWidget(gray, 1);
}

QWidget* tcorrelogramwindow::extra_tab(QString& caption) {
    caption = "T0/F0 Tracing";
    return tracingpage_;
}

void tcorrelogramwindow::write_own_controls() {
    corrlengthedit_->setText(qs(float_to_text(st_.corr.ffixedcorrlength * 1000)));
    lengthmodegroup_->button(st_.corr.fwinlengthmode)->setChecked(true);
    factoredit_->setText(qs(float_to_text(st_.corr.fwinlengthfactor)));
    vertgroup_->button(st_.corr.fvertaxistype)->setChecked(true);
    gammaedit_->setText(qs(float_to_text(st_.gamma)));
    tracewidthedit_->setText(qs(float_to_text(st_.tracewidth * 100)));
    skipedit_->setText(QString::number(st_.extraction.skip));
    keeprate_->setChecked(st_.extraction.keeprate);
    thresholds_->setChecked(st_.extraction.thresholds);
    loedit_->setText(qs(float_to_text(st_.extraction.lo)));
    hiedit_->setText(qs(float_to_text(st_.extraction.hi)));
}

void tcorrelogramwindow::set_state(const tcorrelogramstate& s) {
    const bool vertical = s.corr.fvertaxistype != st_.corr.fvertaxistype;
    st_ = s;
    write_controls();
    for (int i = 0; i < strip_count(); ++i) apply_corraxis(freq_axis(i), vertical);
    settings_changed(true);
}

void tcorrelogramwindow::init_strip_axis(TAxis& a) { apply_corraxis(a, true); }

void tcorrelogramwindow::channels_rebuilt() { fill_channel_combos(); }

void tcorrelogramwindow::read_corr_controls() {
    if (updating_) return;
    tcorrelogramstate n = st_;
    double v = 0;
    auto number = [&v](QLineEdit* e) {
        return try_parse_float(e->text().toStdString(), v) && std::isfinite(v);
    };
    // The fields that set the amount of work refuse what is past their
    // range, saying so.
    std::string refused;
    auto bounded = [&](QLineEdit* e, const tnumberfield& f, double scale, double& into) {
        double x = 0;
        const std::string rule = read_number_field(e->text().toStdString(), f, x);
        if (rule.empty())
            into = x / scale;
        else if (refused.empty())
            refused = rule;
    };
    bounded(corrlengthedit_, fields::correlogramlength, 1000, n.corr.ffixedcorrlength);
    n.corr.fwinlengthmode = lengthmodegroup_->checkedId() == 1 ? 1 : 0;
    bounded(factoredit_, fields::correlogramfactor, 1, n.corr.fwinlengthfactor);
    n.corr.fvertaxistype = vertgroup_->checkedId() == 0 ? 0 : 1;
    if (number(gammaedit_) && v > 0) n.gamma = v;
    if (number(tracewidthedit_) && v > 0 && v < 200) n.tracewidth = v / 100;
    if (number(skipedit_) && v >= 1 && v <= 1e9) n.extraction.skip = static_cast<long long>(v);
    n.extraction.keeprate = keeprate_->isChecked();
    n.extraction.thresholds = thresholds_->isChecked();
    if (number(loedit_)) n.extraction.lo = v;
    if (number(hiedit_)) n.extraction.hi = v;
    const tcorrelogramsettings& a = st_.corr;
    const tcorrelogramsettings& b = n.corr;
    const bool corr = a.ffixedcorrlength != b.ffixedcorrlength || a.fwinlengthmode != b.fwinlengthmode ||
                      a.fwinlengthfactor != b.fwinlengthfactor || a.fvertaxistype != b.fvertaxistype;
    const bool picture = corr || n.gamma != st_.gamma;
    if (corr) {
        set_state(n);
    } else {
        st_ = n;
        write_controls();
        if (picture) settings_changed(false);
    }
    if (!refused.empty()) ctx_.prompter.error(refused + ".", "Correlogram");
}

void tcorrelogramwindow::apply_corraxis(TAxis& a, bool reset) {
    a.SetMusicScale(false);
    a.SetMaxHiValue(1e300);
    if (st_.corr.fvertaxistype == 0) {
        a.SetLogarithmic(false);
        a.SetMinLoValue(0);
        a.SetAxisText("[ms]");
    } else {
        a.SetMinLoValue(1);
        a.SetAxisText("[Hz]");
    }
    if (reset) {
        double lo = 0, hi = 0;
        correlogram_default_axis(st_.corr, lo, hi);
        a.set_hilovalues(hi, lo);
    }
}

// ------------------------------------------------------------------ strips

void tcorrelogramwindow::start_computation(int chno, const tchannel& ch, std::vector<double> times,
                                           std::vector<double> rows) {
    const TAxis& fa = freq_axis(chno);
    const long long largest = correlogram_largest_lag(st_.corr, fa.GetLoValue(), fa.GetHiValue(), ch.sampfreq);
    const long long Nc = std::max(16LL, static_cast<long long>(std::llround(st_.corr.ffixedcorrlength * ch.sampfreq)));
    const long long len = st_.corr.fwinlengthmode == 0
                              ? Nc + largest
                              : static_cast<long long>(std::llround((st_.corr.fwinlengthfactor + 1) * largest));
    const double W = static_cast<double>(times.size());
    // The work of the whole strip: the products every column costs, from
    // the windows its rows really correlate (in "Corr delay x" mode they
    // grow with the lag).
    const double work = W * correlogram_column_cost(st_.corr, largest, rows, ch.sampfreq);
    auto run = std::make_unique<trun>();
    run->cols.N = len;
    run->cols.fs = ch.sampfreq;
    run->cols.times = std::move(times);
    run->cols.starts.resize(run->cols.times.size());
    long long first = 0, last = 0;
    for (std::size_t x = 0; x < run->cols.times.size(); ++x) {
        const long long st = std::llround(run->cols.times[x] * ch.sampfreq);
        run->cols.starts[x] = st;
        first = x == 0 ? st : std::min(first, st);
        last = x == 0 ? st : std::max(last, st);
    }
    // The columns read one slice of the channel, taken here; the worker
    // reads each column's samples from it (nothing as large as columns x
    // window is copied, here or there).
    auto samples = std::make_shared<const tsamplecopy>(
        copy_samples(ch, first, last + std::clamp(len, 0LL, std::numeric_limits<long long>::max() - last)));
    run->rows = std::move(rows);
    run->out.width = static_cast<int>(run->cols.times.size());
    run->out.height = static_cast<int>(run->rows.size());
    run->out.levels.assign(static_cast<std::size_t>(run->out.width) * run->rows.size(), -1.0f);
    status_->set_text(2, "Calculating correlogram for channel " + QString::number(chno));
    // The columns from `from` on: all of them (the width), or where the
    // budget (when given) ran out; -1 when cancelled.
    auto columns = [settings = st_.corr, largest, samples](trun& r, int from, const ttimebudget* budget) {
        const std::size_t h = r.rows.size();
        const tsampleview view = samples->view();
        std::vector<float> buf;
        for (int x = from; x < r.out.width; ++x) {
            if (budget && budget->spent()) return x;
            if (x % 10 == 0) {
                if (r.cancel) return -1;
                if (!budget) r.progress(static_cast<double>(x) / r.out.width);
            }
            correlogram_column(view, settings, largest, r.cols.times[static_cast<std::size_t>(x)], r.rows,
                               r.out.levels.data() + static_cast<std::size_t>(x) * h, buf);
        }
        return r.out.width;
    };
    // Little work (a short view at a short window) is done here and now,
    // not queued behind other windows' jobs on the pool, as far as the
    // update's budget goes; the job line goes on from the column it
    // stopped at.
    int done = 0;
    if (work < immediate_products && !budget().spent() &&
        little_to_read(static_cast<double>(first) / ch.sampfreq, static_cast<double>(last) / ch.sampfreq, ch.sampfreq,
                       len)) {
        done = columns(*run, 0, &budget());
        if (done == run->out.width) {
            const double t1 = run->cols.times.empty() ? 0 : run->cols.times.front();
            const double t2 = run->cols.times.empty() ? 0 : run->cols.times.back();
            store_result(chno, std::move(run->out), std::move(run->rows), t1, t2);
            return;
        }
    }
    start_run(chno, std::move(run), [columns, done](trun& r) { return columns(r, done, nullptr) == r.out.width; });
}

void tcorrelogramwindow::make_pixels(int chno, const tstrip& s, std::vector<std::uint32_t>& px) const {
    correlogram_picture(s.speg, st_.levello, st_.levelhi, st_.gamma, st_.colormode, ctx_.doc.channel(chno).color,
                        px);
}

std::uint32_t tcorrelogramwindow::figure_scale_color(double v, TColor channel) const {
    return correlogram_color(st_.colormode, v, st_.gamma, channel);
}

void tcorrelogramwindow::paint_over(int chno, QPainter& p, const std::function<double(double)>& tx,
                                    const TAxis& fa) {
    draw_correlogram_trace(p, strip(chno).trace, tx, [&](double hz) { return frequency_pixel(fa, hz); });
}

void tcorrelogramwindow::shown() {
    if (!tracefile_.isEmpty() && strip_count() > 0 && trace(ctx_.doc.thischanno()).empty())
        open_trace(tracefile_, ctx_.doc.thischanno());
}

// ------------------------------------------------------------------ mouse

double tcorrelogramwindow::axis_frequency(double axisvalue) const {
    return trace_frequency(st_.corr.fvertaxistype, axisvalue);
}

int tcorrelogramwindow::frequency_pixel(const TAxis& a, double f) const {
    if (st_.corr.fvertaxistype == 0) return f > 0 ? a.value_to_notclippedpixel(1000 / f) : -1;
    return a.value_to_notclippedpixel(f);
}

void tcorrelogramwindow::strip_mouse(int chno, QPoint pt, int kind, bool shift) {
    if (chno >= strip_count()) return;
    if (kind == 3) {
        set_trace_mode(tracemode_ + 1);
        return;
    }
    if (tracemode_ == 0) {
        tstripwindow::strip_mouse(chno, pt, kind, shift);
        return;
    }
    tstrip& s = strip(chno);
    const TAxis& ta = time_axis();
    const int W = std::max(2, strip_canvas(chno)->width());
    const double t = ta.GetLoValue() + pt.x() * (ta.GetHiValue() - ta.GetLoValue()) / (W - 1);
    TAxis& fa = freq_axis(chno);
    const double f = axis_frequency(fa.pixel_to_value(std::clamp(pt.y(), 0, strip_canvas(chno)->height() - 1)));
    const double lo = ta.GetLoValue(), hi = ta.GetHiValue();
    const auto tx = [&](double tt) { return hi != lo ? (tt - lo) / (hi - lo) * (W - 1) : 0.0; };
    const auto fy = [&](double hz) { return static_cast<double>(frequency_pixel(fa, hz)); };
    constexpr double pick = 5;  // pixels
    int found = 0;
    switch (tracemode_) {
        case 1:
            if (kind == 2 && f > 0) {
                add_trace_point(s.trace, trace_point_at(t, f, st_.tracewidth));
                trace_edited(s);
            }
            break;
        case 2:
            if (kind == 0) {
                s.picked = hit_trace_point(s.trace, tx, fy, pt.x(), pt.y(), pick, found);
                s.pickedfound = found;
            } else if (kind == 1 && s.picked >= 0) {
                s.picked = move_trace_point(s.trace, s.picked, s.pickedfound, t, f);
                trace_edited(s);
            } else if (kind == 2) {
                s.picked = -1;
            }
            break;
        case 3:
            if (kind == 0) {
                s.picked = hit_trace_point(s.trace, tx, fy, pt.x(), pt.y(), pick, found);
            } else if (kind == 2) {
                const int h = hit_trace_point(s.trace, tx, fy, pt.x(), pt.y(), pick, found);
                if (h >= 0 && h == s.picked) {
                    s.trace.erase(s.trace.begin() + h);
                    trace_edited(s);
                }
                s.picked = -1;
            }
            break;
        case 4:
            if (kind == 2) {
                cut_trace(s.trace, t);
                trace_edited(s);
            }
            break;
    }
    repaint_strips();
}

// ------------------------------------------------------------------ traces

std::vector<TTracePoint>& tcorrelogramwindow::trace(int chno) {
    return strip(chno).trace;
}

bool tcorrelogramwindow::trace_modified(int chno) const {
    return strip(chno).tracemodified;
}

void tcorrelogramwindow::trace_edited(tstrip& s) {
    s.tracemodified = true;
    extend_countdown(20);
}

void tcorrelogramwindow::set_trace_mode(int m) {
    tracemode_ = m > 4 ? 0 : m < 0 ? 4 : m;
    static const char* const ids[] = {"normalcursoraction", "addpointaction", "movepointaction",
                                      "deletepointaction", "cuttraceaction"};
    if (QAction* a = action(ids[tracemode_])) a->setChecked(true);
    for (int i = 0; i < strip_count(); ++i) strip(i).picked = -1;
}

void tcorrelogramwindow::savetraceactionExecute() {
    const int chno = ctx_.doc.thischanno();
    QString f = tracefile_;
    if (f.isEmpty()) {
        f = QFileDialog::getSaveFileName(this, "Save trace", {}, "Trace files (*.ctr);;All files (*)");
        if (f.isEmpty()) return;
        if (QFileInfo(f).suffix().isEmpty()) f += ".ctr";
    }
    save_trace(f, chno);
}

bool tcorrelogramwindow::may_replace_trace(int chno) {
    // A trace drawn by hand is work: it goes only when the user says so.
    if (!strip(chno).tracemodified || trace(chno).empty()) return true;
    return ctx_.prompter.ask("The trace of channel " + std::to_string(chno) +
                                 " has been modified.\rDo you want to discard it?",
                             "Trace has been modified", tbuttons::yesno, ticon::question) == tanswer::yes;
}

bool tcorrelogramwindow::open_trace(const QString& path, int chno) {
    if (chno < 0 || chno >= strip_count()) return false;
    std::vector<TTracePoint> points;
    std::string err;
    if (!read_trace_file(path.toStdString(), points, err)) {
        ctx_.prompter.error(err, "Cannot open trace");
        return false;
    }
    trace(chno) = std::move(points);
    strip(chno).tracemodified = false;
    tracefile_ = path;
    repaint_strips();
    return true;
}

bool tcorrelogramwindow::auto_trace(int chno) {
    if (chno < 0 || chno >= strip_count()) return false;
    if (!may_replace_trace(chno)) return false;
    const tchannel& ch = ctx_.doc.channel(chno);
    const double fs = ch.sampfreq;
    const TAxis& fa = freq_axis(chno);
    tf0acsettings ac;
    std::string err;
    if (!correlogram_f0_range(st_.corr, fa.GetLoValue(), fa.GetHiValue(), fs, ac.minf0, ac.maxf0, err)) {
        ctx_.prompter.error(err, "Trace from F0");
        return false;
    }
    // The tracker reads a slice of the span on a worker; the trace is set
    // only once it finished, so "Cancel" leaves it as it was.
    const TAxis& ta = time_axis();
    const long long first = std::llround(ta.GetLoValue() * fs), last = std::llround(ta.GetHiValue() * fs);
    auto samples = std::make_shared<const tsamplecopy>(copy_samples(ch, first, last));
    struct ttraceanswer {
        bool done = false;
        std::vector<TTracePoint> points;
        std::string failure;
    };
    auto answer = std::make_shared<ttraceanswer>();
    traceline_.start(
        [samples, ac, width = st_.tracewidth](tjobcontext& job) {
            const tworksig x(samples->data);
            std::vector<TTracePoint> points;
            if (!trace_from_f0(x, samples->fs, static_cast<double>(samples->xshift) / samples->fs, ac, width,
                               points, [&job](double f) {
                                   job.progress(f);
                                   return !job.cancelled();
                               }))
                job.check();
            return points;
        },
        [answer](std::vector<TTracePoint> points) {
            answer->done = true;
            answer->points = std::move(points);
        },
        [answer](const std::string& why) { answer->failure = why; });
    const bool finished = wait_with_progress(this, traceline_, "Tracing F0");
    QStatusBar* bar = ctx_.window->statusBar();
    if (!finished || !answer->done) {
        bar->showMessage("Interrupted!");
        if (!answer->failure.empty()) ctx_.prompter.error(answer->failure, "Trace from F0");
        return false;
    }
    if (chno >= strip_count()) return false;
    if (answer->points.empty()) {
        ctx_.prompter.error("No voiced part was found between " + float_to_text(ta.GetLoValue()) + " and " +
                                float_to_text(ta.GetHiValue()) + " s of channel " + std::to_string(chno) +
                                " (F0 from " + float_to_text(ac.minf0) + " to " + float_to_text(ac.maxf0) +
                                " Hz).",
                            "Trace from F0");
        return false;
    }
    trace(chno) = std::move(answer->points);
    strip(chno).picked = -1;
    trace_edited(strip(chno));
    bar->showMessage("100%, done!");
    repaint_strips();
    return true;
}

bool tcorrelogramwindow::save_trace(const QString& path, int chno) {
    if (chno < 0 || chno >= strip_count()) return false;
    if (trace(chno).empty()) {
        ctx_.prompter.error("Channel " + std::to_string(chno) + " does not have a trace!", "Cannot save trace");
        return false;
    }
    std::string err;
    if (!write_trace_file(path.toStdString(), trace(chno), QCoreApplication::applicationVersion().toStdString(), ctx_.doc.filename(), chno, err)) {
        ctx_.prompter.error(err, "Cannot save trace");
        return false;
    }
    strip(chno).tracemodified = false;
    tracefile_ = path;
    return true;
}

bool tcorrelogramwindow::extract_from_trace(int chno, const tf0settings& e, bool width) {
    tf0targets t;
    t.width = width;
    return extract_from_trace(chno, e, t);
}

void tcorrelogramwindow::extractactionExecute() {
    read_corr_controls();
    extract_from_trace(analyzecombo_->currentIndex(), st_.extraction, read_targets());
}

tf0targets tcorrelogramwindow::read_targets() const {
    tf0targets t;
    t.f0t0 = outf0_->isChecked();
    t.correlation = outcorr_->isChecked();
    t.width = outwidth_->isChecked();
    // Row 0 is "New channel", row k channel k - 1.
    t.f0t0chan = f0target_->currentIndex() - 1;
    t.correlationchan = corrtarget_->currentIndex() - 1;
    t.widthchan = widthtarget_->currentIndex() - 1;
    return t;
}

void tcorrelogramwindow::fill_channel_combos() {
    const bool was = updating_;
    updating_ = true;
    auto fill = [this](QComboBox* c, bool newrow) {
        const int keep = c->currentIndex();
        c->clear();
        if (newrow) c->addItem("New channel");
        for (int i = 0; i < ctx_.doc.totnchans(); ++i)
            c->addItem(QString::number(i) + ": " + qs(ctx_.doc.channel(i).name()));
        c->setCurrentIndex(keep >= 0 && keep < c->count() ? keep : 0);
    };
    const int analyzed = analyzecombo_->currentIndex();
    fill(analyzecombo_, false);
    if (analyzed < 0) analyzecombo_->setCurrentIndex(std::max(0, ctx_.doc.thischanno()));
    for (QComboBox* c : {f0target_, corrtarget_, widthtarget_}) fill(c, true);
    updating_ = was;
}

bool tcorrelogramwindow::extract_from_trace(int chno, const tf0settings& e, const tf0targets& targets) {
    if (chno < 0 || chno >= strip_count()) return false;
    if (trace(chno).empty()) {
        ctx_.prompter.error("No trace set", "Correlogram");
        return false;
    }
    // The extraction runs on a worker over a slice of the whole channel; the
    // document is written only once it finished, so "Cancel" leaves it as
    // it was.
    const tchannel& ch = ctx_.doc.channel(chno);
    auto samples = std::make_shared<const tsamplecopy>(copy_samples(ch, ch.xshift, ch.xshift + ch.sample_count()));
    struct tf0answer {
        bool done = false;
        tf0extraction out;
        std::string failure;
    };
    auto answer = std::make_shared<tf0answer>();
    extractline_.start(
        [samples, points = trace(chno), settings = st_.corr, e](tjobcontext& job) {
            tf0extraction out;
            if (!extract_f0(samples->view(), settings, points, e, out, nullptr, [&job](double f) {
                    job.progress(f);
                    return !job.cancelled();
                }))
                job.check();
            return out;
        },
        [answer](tf0extraction out) {
            answer->done = true;
            answer->out = std::move(out);
        },
        [answer](const std::string& why) { answer->failure = why; });
    const bool finished = wait_with_progress(this, extractline_, "F0 and T0 extraction");
    QStatusBar* bar = ctx_.window->statusBar();
    if (!finished || !answer->done) {
        bar->showMessage("Interrupted!");
        if (!answer->failure.empty()) ctx_.prompter.error(answer->failure, "Correlogram");
        return false;
    }
    const tf0channels made = write_f0_channels(ctx_.doc, chno, answer->out, st_.corr, e, targets,
                                               freq_axis(chno).GetHiValue());
    bar->showMessage("100%, done!");
    for (int c : made.channels) set_strip_visible(c, false);
    return !made.channels.empty();
}

// ------------------------------------------------------------------ persistence

void tcorrelogramwindow::save_settings_to(const QString& path) const {
    TSetting ini;
    open_settings_file(ini, path);
    const std::string s = "Correlogram";
    ini.WriteFloat(s, "CorrLength", st_.corr.ffixedcorrlength);
    ini.WriteInteger(s, "CorrLengthMode", st_.corr.fwinlengthmode);
    ini.WriteFloat(s, "CorrFactor", st_.corr.fwinlengthfactor);
    ini.WriteInteger(s, "VerticalAxis", st_.corr.fvertaxistype);
    ini.WriteFloat(s, "Gamma", st_.gamma);
    ini.WriteString(s, "TraceFile", tracefile_.toStdString());
    ini.WriteFloat(s, "TraceWidth", st_.tracewidth);
    ini.WriteInteger(s, "SkipSamples", st_.extraction.skip);
    ini.WriteBool(s, "KeepRate", st_.extraction.keeprate);
    ini.WriteBool(s, "UseThresholds", st_.extraction.thresholds);
    ini.WriteFloat(s, "LoThreshold", st_.extraction.lo);
    ini.WriteFloat(s, "HiThreshold", st_.extraction.hi);
    write_speg_keys(ini, s, speg_);
    write_strip_keys(ini, s, st_);
    ini.IniClose();
}

void tcorrelogramwindow::load_settings_from(const QString& path) {
    TSetting ini;
    const std::string s = "Correlogram";
    if (!read_settings_file(ini, path, s, "Bandwidth")) return;
    tcorrelogramstate n = st_;
    const double l = ini.ReadFloat(s, "CorrLength", n.corr.ffixedcorrlength);
    if (l * 1000 >= fields::correlogramlength.lo && l * 1000 <= fields::correlogramlength.hi)
        n.corr.ffixedcorrlength = l;
    n.corr.fwinlengthmode = ini.ReadInteger(s, "CorrLengthMode", 0) == 1 ? 1 : 0;
    const double fac = ini.ReadFloat(s, "CorrFactor", n.corr.fwinlengthfactor);
    if (fac >= fields::correlogramfactor.lo && fac <= fields::correlogramfactor.hi) n.corr.fwinlengthfactor = fac;
    n.corr.fvertaxistype = ini.ReadInteger(s, "VerticalAxis", 1) == 0 ? 0 : 1;
    const double g = ini.ReadFloat(s, "Gamma", n.gamma);
    if (g > 0 && std::isfinite(g)) n.gamma = g;
    tracefile_ = QString::fromStdString(ini.ReadString(s, "TraceFile", ""));
    const double w = ini.ReadFloat(s, "TraceWidth", n.tracewidth);
    if (w > 0 && w < 2) n.tracewidth = w;
    const std::int64_t skip = ini.ReadInteger(s, "SkipSamples", n.extraction.skip);
    if (skip >= 1 && skip <= 1000000000) n.extraction.skip = skip;
    n.extraction.keeprate = ini.ReadBool(s, "KeepRate", n.extraction.keeprate);
    n.extraction.thresholds = ini.ReadBool(s, "UseThresholds", n.extraction.thresholds);
    const double lo = ini.ReadFloat(s, "LoThreshold", n.extraction.lo);
    const double hi = ini.ReadFloat(s, "HiThreshold", n.extraction.hi);
    if (std::isfinite(lo) && std::isfinite(hi)) {
        n.extraction.lo = lo;
        n.extraction.hi = hi;
    }
    read_speg_keys(ini, s, speg_);
    read_strip_keys(ini, s, n);
    set_state(n);
}

}  // namespace tessal
