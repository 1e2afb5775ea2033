// The Invira window: its three pages, the two plots, the mouse tools on the
// spectrum, filter files, the log and "Make channels".
#include "gui/inversefilter/tinvirawindow.h"

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QCursor>
#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSplitter>
#include <QTimer>
#include <QTabWidget>
#include <QToolBar>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "engine/core/tchannel.h"
#include "engine/core/tdocument.h"
#include "engine/dsp/numformat.h"
#include "engine/tools/iaif.h"
#include "engine/tools/qcp.h"
#include "engine/tools/channelsegment.h"
#include "gui/commands/commandguard.h"
#include "gui/context/appcontext.h"
#include "gui/windows/windowjobs.h"
#include "gui/widgets/settingspage.h"

namespace tessal {

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }

const QColor flowcolor(192, 192, 255), dercolor(255, 192, 192), invflowcolor(127, 0, 0),
    invdercolor(255, 0, 0), addcolor(0, 127, 0), fantcolor(127, 127, 0), transfercolor(127, 0, 127);

// A value's pixel along an axis, unrounded and unclipped.
double pix(const TAxis& a, double v) { return a.value_to_notclipped_position(v) * (a.length() - 1); }

// The initial span of the waveform plot.
constexpr double initial_span_ms = 30.0;

// What a recomputation hands back: the filter with its arrays and cascade,
// and the spectra of flow, derivative, their inverse-filtered forms and the
// cascade (empty where not shown).
struct tinvirajob {
    tinvfilter filter;
    tinvspectrum spectra[5];
};

}  // namespace

tinvirawindow::tinvirawindow(tappcontext& ctx, QWidget* owner)
    : QWidget(owner, Qt::Window | Qt::Tool),
      ctx_(ctx),
      tools_(this, nullptr),
      line_(deliver_to(this)),
      makeline_(deliver_to(this)),
      estimateline_(deliver_to(this)) {
    setWindowTitle("Invira");
    const struct {
        const char* id;
        const char* caption;
        const char* hint;
        tformantaction tool;
    } tools[] = {{"addaction", "Add F", "Add inverse formant", faadd},
                 {"addzeroaction", "Add Z", "Add inverse zero", faaddzero},
                 {"moveaction", "Move", "Move formant/zero", famove},
                 {"deleteaction", "Delete", "Delete formant/zero", fadelete}};
    int order = 10;
    for (const auto& t : tools) {
        const tformantaction tool = t.tool;
        tools_.add_check({.id = t.id, .caption = t.caption, .toolorder = order++, .hint = t.hint},
                         [this, tool](bool on) { set_tool(on ? tool : fanone); });
    }
    tools_.add_check({.id = "flipaction", .caption = "Flip", .toolorder = 20, .hint = "Flip waveform"},
                     [this](bool on) {
                         filter_.fflipfactor = on ? -1.0 : 1.0;
                         mark_audio_dirty();
                     });
    tools_.add_check({.id = "lockaction", .caption = "Lock channel", .toolorder = 21, .hint = "Lock to channel 0"},
                     [this](bool on) {
                         locked_ = on;
                         if (!on) mark_audio_dirty();
                         update_enablings();
                     });
    tools_.add({.id = "logformantsaction", .caption = "Log filter", .shortcut = "F5",
                .handler = [this] { logformantsactionExecute(); }, .toolorder = 30,
                .hint = "Log formants and zeroes"});
    tools_.add({.id = "showlogaction", .caption = "Show log", .shortcut = "F6",
                .handler = [this] { ctx_.windows.show("datalog"); }, .toolorder = 31, .hint = "Show log"});
    tools_.add({.id = "saveaction", .caption = "Make channels from selection",
                .handler = [this] { saveactionExecute(); }, .toolorder = 32, .hint = "Save to channels"});
    tools_.add({.id = "logatmakeaction", .caption = "Log at make", .checkable = true, .toolorder = 33,
                .hint = "Log the filter when making channels"});
    tools_.add({.id = "openfileaction", .caption = "Open filter...",
                .handler = [this] {
                    const QString p = QFileDialog::getOpenFileName(this, "Open formants file", QString(),
                                                                   "Formants file (*.for);;All files (*)");
                    if (!p.isEmpty()) open_filter_file(p);
                },
                .toolorder = 40, .hint = "Open formants file"});
    tools_.add({.id = "savefileaction", .caption = "Save filter...",
                .handler = [this] {
                    QFileDialog d(this, "Save formants file", QString(), "Formants file (*.for);;All files (*)");
                    d.setAcceptMode(QFileDialog::AcceptSave);
                    d.setDefaultSuffix("for");
                    if (d.exec() == QDialog::Accepted && !d.selectedFiles().isEmpty())
                        save_filter_file(d.selectedFiles().first());
                },
                .toolorder = 41, .hint = "Save formants file"});
    auto* outer = tools_.build_layout();
    tools_.action("logatmakeaction")->setChecked(true);

    auto* split = new QSplitter(Qt::Horizontal, this);
    outer->addWidget(split, 1);
    auto* tabs = new QTabWidget(split);
    tabs->setObjectName("invirapages");
    // Each page scrolls up and down when the window is lower than the page
    // (a small screen or a large scale).
    auto scrolled = [](QWidget* page) { return scrolled_page(page); };
    auto* home = new QWidget;
    build_home(home);
    tabs->addTab(scrolled(home), "Home");
    auto* view = new QWidget;
    build_view(view);
    tabs->addTab(scrolled(view), "View");
    auto* make = new QWidget;
    build_make(make);
    tabs->addTab(scrolled(make), "Make channels");

    auto* plots = new QSplitter(Qt::Vertical, split);
    waveplot_ = new TPlotPanel(plots);
    specplot_ = new TPlotPanel(plots);
    plots->setSizes({300, 400});
    split->setStretchFactor(1, 1);
    split->setSizes({260, 740});

    TAxis& ty = waveplot_->yaxis()->axis();
    ty.set_hilovalues(1, 0);
    TAxis& tx = waveplot_->xaxis()->axis();
    tx.SetAxisText("[ms]");
    tx.SetMinLoValue(0);
    tx.SetMinValueDifference(0.01);
    tx.SetMaxHiValue(invfilter_seglen / 16000.0 * 1000);
    tx.set_hilovalues(initial_span_ms, 0);
    tx.OnScaleChanged.subscribe([this](TAxis&) {
        spectradirty_ = true;
        specplot_->mark_dirty();
    });
    TAxis& fx = specplot_->xaxis()->axis();
    fx.SetAxisText("[Hz]");
    fx.SetMinLoValue(0);
    fx.SetMinValueDifference(10);
    fx.SetMaxHiValue(8000);
    fx.set_hilovalues(5000, 0);
    TAxis& ly = specplot_->yaxis()->axis();
    ly.SetAxisText("[dB]");
    ly.set_hilovalues(80, -20);
    ly.OnScaleChanged.subscribe([this](TAxis&) { specplot_->mark_dirty(); });
    fx.OnScaleChanged.subscribe([this](TAxis&) { specplot_->mark_dirty(); });

    waveplot_->paint_layer = [this](QPainter& p, const QSize& s) { paint_wave(p, s); };
    specplot_->paint_layer = [this](QPainter& p, const QSize& s) { paint_spectrum(p, s); };
    specplot_->paint_overlay = [this](QPainter& p, const QSize& s) { paint_spectrum_overlay(p, s); };
    // Both plots show the segment around the cursor time the filter read.
    for (TPlotPanel* plot : {waveplot_, specplot_})
        plot->figure_title = [this] {
            const tdocument& doc = ctx_.doc;
            if (flockchanno_ < 0 || flockchanno_ >= doc.totnchans() || !(segfs_ > 0))
                return figure_title_of(doc.filename(), -1, "", 0, -1);
            const double t = filter_.cursortime;
            return figure_title_of(doc.filename(), flockchanno_, doc.channel(flockchanno_).name(),
                                   t - invfilter_lead / segfs_, t + invfilter_seglen / segfs_);
        };
    specplot_->mouse_press = [this](QMouseEvent* e) {
        run_guarded(&ctx_.doc, [&] { spectrum_press(e->position(), e->button(), e->modifiers()); }, false);
    };
    specplot_->mouse_move = [this](QMouseEvent* e) {
        run_guarded(&ctx_.doc, [&] { spectrum_move(e->position(), e->buttons(), e->modifiers()); }, false);
    };
    specplot_->mouse_release = [this](QMouseEvent* e) {
        run_guarded(&ctx_.doc, [&] { spectrum_release(e->position(), e->button(), e->modifiers()); }, false);
    };
    specplot_->canvas()->setMouseTracking(true);

    status_ = new TStatusPanels({260, 260, 200}, this);
    outer->addWidget(status_);
    progresstimer_ = new QTimer(this);
    progresstimer_->setInterval(100);
    connect(progresstimer_, &QTimer::timeout, this, [this] { show_progress(); });
    ctx_.doc.theglobal.add_listener(this);
    update_enablings();
}

tinvirawindow::~tinvirawindow() {
    if (persist) run_guarded(nullptr, [&] { persist(*this); });
    ctx_.doc.theglobal.remove_listener(this);
}

void tinvirawindow::build_home(QWidget* page) {
    auto* l = new QVBoxLayout(page);
    auto* type = new QGroupBox("Original signal is a...");
    auto* tl = new QVBoxLayout(type);
    micradio_ = new QRadioButton("Sound pressure (mic)");
    micradio_->setObjectName("micradio");
    flowradio_ = new QRadioButton("Flow signal (mask)");
    flowradio_->setObjectName("flowradio");
    micradio_->setChecked(true);
    tl->addWidget(micradio_);
    tl->addWidget(flowradio_);
    l->addWidget(type);
    connect(micradio_, &QRadioButton::toggled, this, [this](bool on) {
        filter_.signaltype = on ? tinvsignaltype::mic : tinvsignaltype::flow;
        hpgroup_->setVisible(on);
        convertpanel_->setVisible(on);
        mark_audio_dirty();
    });
    auto* hp = new QGroupBox("HP filter [Hz]");
    hpgroup_ = hp;
    auto* hl = new QVBoxLayout(hp);
    hpedit_ = new QLineEdit("20");
    hpedit_->setObjectName("hpedit");
    hl->addWidget(hpedit_);
    l->addWidget(hp);
    // The filter estimated from the selection; the tool bar has no room.
    auto* est = new QGroupBox("Automatic filter");
    auto* el = new QHBoxLayout(est);
    auto* estimate = new QPushButton("Estimate filter");
    estimate->setObjectName("estimatebutton");
    estimate->setToolTip("Estimate the formants from the selection (quasi-closed-phase analysis over IAIF)");
    undoestimate_ = new QPushButton("Undo estimate");
    undoestimate_->setObjectName("undoestimatebutton");
    undoestimate_->setToolTip("Return to the filter before the last estimate");
    undoestimate_->setEnabled(false);
    cancelestimate_ = new QPushButton("Cancel");
    cancelestimate_->setObjectName("cancelestimatebutton");
    cancelestimate_->setToolTip("Stop the estimate under way");
    cancelestimate_->setEnabled(false);
    el->addWidget(estimate);
    el->addWidget(undoestimate_);
    el->addWidget(cancelestimate_);
    l->addWidget(est);
    estimatetimer_ = new QTimer(this);
    estimatetimer_->setInterval(100);
    connect(estimatetimer_, &QTimer::timeout, this, [this] { show_estimate_progress(); });
    connect(estimate, &QPushButton::clicked, this, [this] { estimateactionExecute(); });
    connect(cancelestimate_, &QPushButton::clicked, this, [this] { cancelestimateactionExecute(); });
    connect(undoestimate_, &QPushButton::clicked, this, [this] { undoestimateactionExecute(); });
    connect(hpedit_, &QLineEdit::editingFinished, this, [this] {
        double v = 0;
        if (try_parse_float(hpedit_->text().toStdString(), v) && v > 0 && std::isfinite(v)) {
            filter_.fhpfilterfreq = v;
            mark_audio_dirty();
        } else {
            hpedit_->setText(qs(float_to_text(filter_.fhpfilterfreq)));
        }
    });
    ratewarning_ = new QLabel;
    ratewarning_->setObjectName("ratewarning");
    ratewarning_->setWordWrap(true);
    ratewarning_->setStyleSheet("color: #a00000");
    ratewarning_->hide();
    l->addWidget(ratewarning_);
    memo_ = new QPlainTextEdit;
    memo_->setObjectName("formantmemo");
    memo_->setReadOnly(true);
    l->addWidget(memo_, 1);
}

void tinvirawindow::build_view(QWidget* page) {
    auto* l = new QVBoxLayout(page);
    l->addWidget(new QLabel("FFT window"));
    fftwindow_ = new QComboBox;
    fftwindow_->setObjectName("fftwindowcombo");
    fftwindow_->addItems({"rectangular", "Bartlett", "Hamming", "Hanning", "Blackman"});
    fftwindow_->setCurrentIndex(static_cast<int>(filter_.fft_window()));
    l->addWidget(fftwindow_);
    connect(fftwindow_, &QComboBox::currentIndexChanged, this, [this](int i) {
        if (i < 0 || i > 4) return;
        filter_.set_fft_window(static_cast<TFFTWindow>(i));
        spectradirty_ = true;
        specplot_->mark_dirty();
    });
    auto check = [](const QString& cap, bool on, QLayout* lay) {
        auto* c = new QCheckBox(cap);
        c->setChecked(on);
        lay->addWidget(c);
        return c;
    };
    auto* wg = new QGroupBox("Waveforms");
    auto* wl = new QVBoxLayout(wg);
    wflow_ = check("Flow", false, wl);
    wder_ = check("Flow derivative", false, wl);
    winvflow_ = check("Inverse filtered flow", true, wl);
    winvder_ = check("Inverse filtered flow derivative", true, wl);
    extracombo_ = new QComboBox;
    extracombo_->setObjectName("extrachannelcombo");
    extracombo_->addItem("Show no additional channels");
    wl->addWidget(extracombo_);
    l->addWidget(wg);
    connect(extracombo_, &QComboBox::activated, this, [this](int i) {
        addchanno_ = i >= 1 && i <= ctx_.doc.totnchans() ? i - 1 : -1;
        mark_audio_dirty();
    });
    auto* sg = new QGroupBox("FFT Spectra");
    auto* sl = new QVBoxLayout(sg);
    sflow_ = check("Flow", false, sl);
    sder_ = check("Flow derivative", true, sl);
    sinvflow_ = check("Inverse filtered flow", false, sl);
    sinvder_ = check("Inverse filtered flow derivative", true, sl);
    l->addWidget(sg);
    suggestbw_ = check("Suggest reasonable formant bandwidth", true, l);
    showfilter_ = check("Show inverse filter spectrum", true, l);
    l->addStretch(1);
    for (QCheckBox* c : {wflow_, wder_, winvflow_, winvder_})
        connect(c, &QCheckBox::toggled, this, [this] { waveplot_->mark_dirty(); });
    for (QCheckBox* c : {sflow_, sder_, sinvflow_, sinvder_, suggestbw_, showfilter_})
        connect(c, &QCheckBox::toggled, this, [this] {
            spectradirty_ = true;
            specplot_->mark_dirty();
        });
}

void tinvirawindow::build_make(QWidget* page) {
    auto* l = new QVBoxLayout(page);
    auto* rg = new QGroupBox("Selection");
    auto* rl = new QVBoxLayout(rg);
    const char* caps[] = {"Part visible in Invira window", "Pink cursors in main window", "Entire file"};
    for (int i = 0; i < 3; ++i) {
        rangeradio_[i] = new QRadioButton(caps[i]);
        rangeradio_[i]->setObjectName(QString("rangeradio%1").arg(i));
        rl->addWidget(rangeradio_[i]);
    }
    rangeradio_[0]->setChecked(true);
    l->addWidget(rg);
    saveflowcheck_ = new QCheckBox("Save inverse filtered flow to");
    saveflowcheck_->setChecked(true);
    saveflowcombo_ = new QComboBox;
    saveflowcombo_->setObjectName("saveflowcombo");
    savedercheck_ = new QCheckBox("Save inverse filtered flow derivative to");
    savedercheck_->setChecked(true);
    savedercombo_ = new QComboBox;
    savedercombo_->setObjectName("savedercombo");
    for (QWidget* w : std::initializer_list<QWidget*>{saveflowcheck_, saveflowcombo_, savedercheck_, savedercombo_})
        l->addWidget(w);
    connect(saveflowcombo_, &QComboBox::activated, this,
            [this](int i) { savechanno_ = i < ctx_.doc.totnchans() ? i : -1; });
    connect(savedercombo_, &QComboBox::activated, this,
            [this](int i) { savederchanno_ = i < ctx_.doc.totnchans() ? i : -1; });
    convertpanel_ = new QWidget;
    auto* cl = new QVBoxLayout(convertpanel_);
    cl->setContentsMargins(0, 0, 0, 0);
    convertcheck_ = new QCheckBox("Convert calibrated pressure to flow");
    convertcheck_->setChecked(true);
    cl->addWidget(convertcheck_);
    cl->addWidget(new QLabel("...assuming free space and that the mic distance is"));
    auto* dl = new QHBoxLayout;
    distanceedit_ = new QLineEdit("30");
    distanceedit_->setObjectName("distanceedit");
    dl->addWidget(distanceedit_);
    dl->addWidget(new QLabel("cm"));
    cl->addLayout(dl);
    calibwarning_ = new QLabel;
    calibwarning_->setObjectName("calibwarning");
    calibwarning_->setStyleSheet("color: #a00000");
    cl->addWidget(calibwarning_);
    l->addWidget(convertpanel_);
    autofsd_ = new QCheckBox("Auto adjust FSD");
    autofsd_->setChecked(true);
    l->addWidget(autofsd_);
    l->addStretch(1);
}

QAction* tinvirawindow::action(const QString& name) const { return findChild<QAction*>(name); }

void tinvirawindow::set_tool(tformantaction a) {
    fformantaction_ = a;
    const char* ids[] = {"", "addaction", "addzeroaction", "moveaction", "deleteaction"};
    for (int i = 1; i <= 4; ++i)
        if (QAction* act = action(ids[i])) act->setChecked(i == a);
    QWidget* c = specplot_->canvas();
    switch (a) {
        case faadd:
        case faaddzero: c->setCursor(Qt::CrossCursor); break;
        case famove: c->setCursor(Qt::SizeAllCursor); break;
        case fadelete: c->setCursor(Qt::PointingHandCursor); break;
        default: c->unsetCursor(); break;
    }
}

void tinvirawindow::update_enablings() {
    const bool any = !filter_.formants.empty();
    if (QAction* a = action("moveaction")) a->setEnabled(any);
    if (QAction* a = action("deleteaction")) a->setEnabled(any);
    if (!any && (fformantaction_ == famove || fformantaction_ == fadelete)) set_tool(fanone);
    const int n = std::max(flockchanno_, 0);
    if (QAction* a = action("lockaction"))
        a->setToolTip((locked_ ? "Locked to channel " : "Lock to channel ") + QString::number(n));
    const bool haschannel = ctx_.doc.totnchans() > 0;
    if (QAction* a = action("saveaction")) a->setEnabled(haschannel);
    if (undoestimate_) undoestimate_->setEnabled(!estimateundo_.empty());
}

void tinvirawindow::mark_audio_dirty() {
    faudiodatadirty_ = true;
    fdirty_ = true;
    spectradirty_ = true;
    waveplot_->mark_dirty();
    specplot_->mark_dirty();
}

void tinvirawindow::mark_dirty() {
    fdirty_ = true;
    spectradirty_ = true;
    waveplot_->mark_dirty();
    specplot_->mark_dirty();
}

void tinvirawindow::reload() {
    faudiodatadirty_ = false;
    fdirty_ = true;
    spectradirty_ = true;
    tdocument& doc = ctx_.doc;
    if (doc.totnchans() == 0) {
        filter_.clear_segment();
        rawseg_.reset();
        extraseg_.reset();
        segfs_ = extrafs_ = -1;
        flockchanno_ = -1;
        locked_ = false;
        if (QAction* a = action("lockaction")) a->setChecked(false);
        setWindowTitle("Invira");
        ratewarning_->clear();
        ratewarning_->hide();
        calibwarning_->clear();
        update_enablings();
        return;
    }
    if (!locked_ || flockchanno_ < 0 || flockchanno_ >= doc.totnchans()) flockchanno_ = doc.thischanno();
    const tchannel& ch = doc.channel(flockchanno_);
    filter_.signaltype = micradio_->isChecked() ? tinvsignaltype::mic : tinvsignaltype::flow;
    // Copies of the segments for the jobs; the filtering runs there.
    const double t = doc.theglobal.timecursor();
    filter_.cursortime = t;
    {
        const tchannelsegment seg(ch, t, -invfilter_lead, invfilter_seglen);
        auto raw = std::make_shared<std::vector<double>>(invfilter_total);
        for (int i = -invfilter_lead; i <= invfilter_seglen; ++i) (*raw)[static_cast<std::size_t>(i + invfilter_lead)] = seg(i);
        rawseg_ = std::move(raw);
        segfs_ = ch.sampfreq;
    }
    const tchannel* extra =
        addchanno_ >= 0 && addchanno_ < doc.totnchans() ? &doc.channel(addchanno_) : nullptr;
    if (extra) {
        const tchannelsegment seg(*extra, t, 0, invfilter_seglen);
        auto x = std::make_shared<std::vector<double>>(invfilter_seglen + 1);
        for (int i = 0; i <= invfilter_seglen; ++i) (*x)[static_cast<std::size_t>(i)] = seg(i);
        extraseg_ = std::move(x);
        extrafs_ = extra->sampfreq;
    } else {
        extraseg_.reset();
        extrafs_ = -1;
    }
    const double fs = segfs_;
    const double flimit = std::max(fs, extrafs_) / 2;
    TAxis& fx = specplot_->xaxis()->axis();
    if (flimit > 0) {
        fx.SetMaxHiValue(flimit);
        if (fx.GetHiValue() > flimit || firstactivation_) fx.set_hilovalues(std::min(flimit, 5000.0), 0);
    }
    TAxis& tx = waveplot_->xaxis()->axis();
    if (fs > 0) {
        const double tlimit = invfilter_seglen / fs * 1000;
        tx.SetMaxHiValue(tlimit);
        if (tx.GetHiValue() > tlimit) tx.set_hilovalues(tlimit, std::min(tx.GetLoValue(), tlimit / 2));
    }
    firstactivation_ = false;
    const std::string warn = sampling_rate_warning(fs);
    ratewarning_->setText(qs(warn));
    ratewarning_->setVisible(!warn.empty());
    std::string file = ch.filename.empty() ? doc.filename() : ch.filename;
    setWindowTitle(QString::number(flockchanno_) + ": " + qs(ch.name()) + " @ " +
                   qs(format_float_pattern(doc.prefs.SecondsFormat, t)) + " s - " +
                   qs(file) + " - Invira");
    calibwarning_->setText(unit_warning_text());
    update_enablings();
}

QString tinvirawindow::unit_warning_text() const {
    if (flockchanno_ < 0 || flockchanno_ >= ctx_.doc.totnchans()) return {};
    std::string u = ctx_.doc.channel(flockchanno_).yunit();
    const auto a = u.find_first_not_of(" \t");
    const auto b = u.find_last_not_of(" \t");
    u = a == std::string::npos ? std::string() : u.substr(a, b - a + 1);
    for (char& c : u) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (u == "pa") return {};
    return "Channel " + QString::number(flockchanno_) + " is not calibrated in Pa";
}

void tinvirawindow::ensure_current() {
    if (!faudiodatadirty_ && !fdirty_ && !spectradirty_) return;
    const bool reloadsamples = faudiodatadirty_;
    if (faudiodatadirty_) reload();
    faudiodatadirty_ = fdirty_ = spectradirty_ = false;
    start_job(reloadsamples);
}

// The segment is filtered anew in every job (from the copy the last reload
// took): a request never builds on a result that a newer one superseded.
void tinvirawindow::start_job(bool) {
    const double fs = rawseg_ ? segfs_ : filter_.fsampfreq;
    const TAxis& tx = waveplot_->xaxis()->axis();
    const int from = static_cast<int>(std::clamp(std::llround(tx.GetLoValue() / 1000 * fs), 0LL, 16384LL));
    const int to = static_cast<int>(std::clamp(std::llround(tx.GetHiValue() / 1000 * fs) + 1, 0LL, 16385LL));
    const bool haschannel = ctx_.doc.totnchans() > 0;
    const bool want[5] = {sflow_->isChecked() && haschannel, sder_->isChecked() && haschannel,
                          sinvflow_->isChecked() && haschannel, sinvder_->isChecked() && haschannel,
                          showfilter_->isChecked()};
    line_.start(
        [f = filter_, raw = rawseg_, extra = extraseg_, fs, xfs = extrafs_, t = filter_.cursortime, from, to,
         w0 = want[0], w1 = want[1], w2 = want[2], w3 = want[3], w4 = want[4]](tjobcontext& c) mutable {
            if (raw) {
                f.load_samples(fs, [&](int i) { return (*raw)[static_cast<std::size_t>(i + invfilter_lead)]; });
                f.cursortime = t;
            } else {
                f.clear_segment();
            }
            if (extra) {
                f.faddsampfreq = xfs;
                std::copy(extra->begin(), extra->end(), f.addarr.begin());
            } else {
                f.faddsampfreq = -1;
                std::fill(f.addarr.begin(), f.addarr.end(), 0.0);
            }
            c.check();
            c.progress(0.2);
            f.rebuild_cascade();
            f.recompute_outputs();
            c.check();
            c.progress(0.6);
            tinvirajob r;
            const bool wants[4] = {w0, w1, w2, w3};
            const std::vector<double>* arrs[4] = {&f.flowarr, &f.derarr, &f.invflowarr, &f.invderarr};
            for (int k = 0; k < 4; ++k)
                if (wants[k] && f.fsampfreq > 0) f.signal_spectrum(*arrs[k], from, to, r.spectra[k]);
            if (w4) f.filter_spectrum(r.spectra[4]);
            c.progress(1.0);
            r.filter = std::move(f);
            return r;
        },
        [this](tinvirajob r) {
            // The elements stay as the window has them (a newer request
            // carries any change since).
            std::vector<tformant> formants = std::move(filter_.formants);
            filter_ = std::move(r.filter);
            filter_.formants = std::move(formants);
            spflow_ = std::move(r.spectra[0]);
            spder_ = std::move(r.spectra[1]);
            spinvflow_ = std::move(r.spectra[2]);
            spinvder_ = std::move(r.spectra[3]);
            spfilter_ = std::move(r.spectra[4]);
            QStringList lines;
            for (const std::string& s : filter_.memo_lines(ctx_.doc.prefs.nSignificantDigits)) lines << qs(s);
            const QString text = lines.join("\n");
            if (memo_->toPlainText() != text) memo_->setPlainText(text);
            progresstimer_->stop();
            status_->set_text(2, "");
            waveplot_->mark_dirty();
            specplot_->mark_dirty();
        },
        [this](const std::string& why) {
            progresstimer_->stop();
            status_->set_text(2, qs(why));
        });
    if (!progresstimer_->isActive()) progresstimer_->start();
}

void tinvirawindow::show_progress() {
    if (!line_.busy()) {
        progresstimer_->stop();
        return;
    }
    status_->set_text(2, progress_text("Calculating inverse filter", line_.progress()));
}

void tinvirawindow::finish_jobs() {
    ensure_current();
    while (estimateline_.busy()) {
        estimateline_.wait();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    ensure_current();
    while (line_.busy()) {
        line_.wait();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
}

QString tinvirawindow::memo_text() const { return memo_->toPlainText(); }
QString tinvirawindow::warning_text() const { return ratewarning_->isVisible() ? ratewarning_->text() : QString(); }

void tinvirawindow::visible_range(int& from, int& to) const {
    TAxis& tx = waveplot_->xaxis()->axis();
    const double fs = filter_.fsampfreq;
    from = static_cast<int>(std::clamp(std::llround(tx.GetLoValue() / 1000 * fs), 0LL, 16384LL));
    to = static_cast<int>(std::clamp(std::llround(tx.GetHiValue() / 1000 * fs) + 1, 0LL, 16385LL));
}

void tinvirawindow::paint_wave(QPainter& p, const QSize& size) {
    ensure_current();
    p.fillRect(QRect(QPoint(0, 0), size), Qt::white);
    TAxis& tx = waveplot_->xaxis()->axis();
    // Time ticks only: each trace has its own vertical scale.
    p.setPen(QColor(220, 220, 220));
    for (int i = 0; i < tx.nTickMarks(); ++i) {
        const int x = tx.tickposition(i);
        p.drawLine(x, 0, x, size.height());
    }
    int from = 0, to = 0;
    visible_range(from, to);
    const double h = size.height() - 1;
    auto trace = [&](const double* a, double fs, const QColor& color) {
        int f = from, t = to;
        if (fs != filter_.fsampfreq) {
            f = static_cast<int>(std::clamp(std::llround(tx.GetLoValue() / 1000 * fs), 0LL, 16384LL));
            t = static_cast<int>(std::clamp(std::llround(tx.GetHiValue() / 1000 * fs) + 1, 0LL, 16385LL));
        }
        if (t - f < 2) return;
        double lo = a[f], hi = a[f];
        for (int i = f; i < t; ++i) lo = std::min(lo, a[i]), hi = std::max(hi, a[i]);
        if (!(hi > lo)) return;
        QPolygonF line;
        line.reserve(t - f);
        for (int i = f; i < t; ++i)
            line << QPointF(pix(tx, i / fs * 1000), (hi - a[i]) * h / (hi - lo));
        p.setPen(QPen(color, 1));
        p.drawPolyline(line);
    };
    if (ctx_.doc.totnchans() == 0) return;
    const double fs = filter_.fsampfreq;
    const double* base = nullptr;
    p.setRenderHint(QPainter::Antialiasing, true);
    if (filter_.faddsampfreq > 0) trace(filter_.addarr.data(), filter_.faddsampfreq, addcolor);
    base = filter_.flowarr.data() + invfilter_lead;
    if (wflow_->isChecked()) trace(base, fs, flowcolor);
    base = filter_.derarr.data() + invfilter_lead;
    if (wder_->isChecked()) trace(base, fs, dercolor);
    base = filter_.invflowarr.data() + invfilter_lead;
    if (winvflow_->isChecked()) trace(base, fs, invflowcolor);
    base = filter_.invderarr.data() + invfilter_lead;
    if (winvder_->isChecked()) trace(base, fs, invdercolor);
}

void tinvirawindow::paint_spectrum(QPainter& p, const QSize& size) {
    ensure_current();
    p.fillRect(QRect(QPoint(0, 0), size), Qt::white);
    TAxis& fx = specplot_->xaxis()->axis();
    TAxis& ly = specplot_->yaxis()->axis();
    paint_plot_grid(p, fx, ly, size);
    p.setRenderHint(QPainter::Antialiasing, true);
    const double fhi = fx.GetHiValue();
    auto curve = [&](const tinvspectrum& s, const QColor& color) {
        if (s.db.empty()) return;
        QPolygonF line;
        line.reserve(static_cast<int>(s.db.size()));
        double beyond = -1e300;
        for (std::size_t j = 0; j < s.db.size(); ++j) {
            if (s.freq[j] > fhi) {
                beyond = std::max(beyond, s.db[j]);
                continue;
            }
            line << QPointF(pix(fx, s.freq[j]), pix(ly, s.db[j]));
        }
        p.setPen(QPen(color, 1));
        p.drawPolyline(line);
        if (beyond > -1e300) {
            // The highest level beyond the right edge: a small arrow there.
            const double y = std::clamp(pix(ly, beyond), 0.0, size.height() - 1.0);
            const double x = size.width() - 1;
            p.setPen(QPen(color, 3));
            p.drawLine(QPointF(x - 8, y), QPointF(x, y));
            p.drawLine(QPointF(x - 4, y - 4), QPointF(x, y));
            p.drawLine(QPointF(x - 4, y + 4), QPointF(x, y));
        }
    };
    curve(spfilter_, transfercolor);
    curve(spflow_, flowcolor);
    curve(spder_, dercolor);
    curve(spinvflow_, invflowcolor);
    curve(spinvder_, invdercolor);
    if (suggestbw_->isChecked()) {
        for (bool upper : {false, true}) {
            QPolygonF g;
            for (const auto& [f, bw] : bandwidth_guide(upper))
                g << QPointF(pix(fx, f),
                             pix(ly, handle_level(f, bw)));
            p.setPen(QPen(fantcolor, 1, Qt::DashLine));
            p.drawPolyline(g);
        }
    }
    p.setRenderHint(QPainter::Antialiasing, false);
    for (const tformant& f : filter_.formants) {
        const double x = pix(fx, f.f0);
        const double y = pix(ly, handle_level(f.f0, f.bw));
        const QColor c = f.f0 < filter_.fsampfreq / 2 ? QColor(0, 0, 127) : QColor(192, 192, 192);
        p.setPen(QPen(c, 2));
        if (f.iszero) {
            p.drawLine(QPointF(x - 4, y - 4), QPointF(x + 4, y + 4));
            p.drawLine(QPointF(x - 4, y + 4), QPointF(x + 4, y - 4));
        } else {
            p.drawRect(QRectF(x - 4, y - 4, 8, 8));
        }
    }
}

void tinvirawindow::paint_spectrum_overlay(QPainter& p, const QSize& size) {
    const double f = ctx_.doc.theglobal.freqcursor();
    if (f > 0) {
        const int x = specplot_->xaxis()->axis().value_to_notclippedpixel(f);
        p.setPen(QPen(QColor(255, 0, 0), 1, Qt::DotLine));
        p.drawLine(x, 0, x, size.height());
    }
}

double tinvirawindow::freq_at(double x) const {
    return specplot_->xaxis()->axis().pixel_to_value(static_cast<int>(std::lround(x)));
}

double tinvirawindow::level_at(double y) const {
    return specplot_->yaxis()->axis().pixel_to_value(static_cast<int>(std::lround(y)));
}

void tinvirawindow::show_pointer(QPointF pos) {
    const tpreferences& pr = ctx_.doc.prefs;
    const double f = freq_at(pos.x());
    const double bw = bandwidth_at_level(f, level_at(pos.y()));
    status_->set_text(1, "f=" + qs(format_significant(pr.nSignificantDigits, f)) + " Hz, BW=" +
                             qs(format_significant(pr.nSignificantDigits, bw)) + " Hz");
}

void tinvirawindow::spectrum_press(QPointF pos, Qt::MouseButton button, Qt::KeyboardModifiers) {
    ensure_current();
    if (button == Qt::LeftButton &&
        (fformantaction_ == fanone || fformantaction_ == famove || fformantaction_ == fadelete)) {
        TAxis& fx = specplot_->xaxis()->axis();
        TAxis& ly = specplot_->yaxis()->axis();
        thisformant_ = filter_.nearest_handle(
            pos.x(), pos.y(), [&](double f) { return pix(fx, f); },
            [&](double l) { return pix(ly, l); });
        if (thisformant_ >= 0) {
            const tformant& e = filter_.formants[static_cast<std::size_t>(thisformant_)];
            downformant_ = e;
            downpos_ = QPointF(pix(fx, e.f0),
                               pix(ly, handle_level(e.f0, e.bw)));
            QWidget* c = specplot_->canvas();
            if (c->isVisible()) QCursor::setPos(c->mapToGlobal(downpos_.toPoint()));
            status_->set_text(0, qs(filter_.element_status(thisformant_, e.f0, e.bw)));
        }
    } else if (button == Qt::RightButton && thisformant_ == -2) {
        tformantaction next = fformantaction_;
        for (int step = 0; step < 5; ++step) {
            next = static_cast<tformantaction>((next + 1) % 5);
            const char* ids[] = {"", "addaction", "addzeroaction", "moveaction", "deleteaction"};
            if (next == fanone || action(ids[next])->isEnabled()) break;
        }
        set_tool(next);
    }
}

void tinvirawindow::spectrum_move(QPointF pos, Qt::MouseButtons buttons, Qt::KeyboardModifiers mods) {
    pointer_ = pos;
    if (thisformant_ >= 0 && fformantaction_ == famove && (buttons & Qt::LeftButton)) {
        QPointF at = pos;
        if (mods & Qt::ControlModifier) at = downpos_ + (pos - downpos_) / 10.0;
        const double f = freq_at(at.x());
        const double bw = bandwidth_at_level(f, level_at(at.y()));
        if (f > 0 && bw > 0 && std::isfinite(bw)) {
            thisformant_ = filter_.set_element(thisformant_, f, bw);
            // The outputs follow as a job; a further move supersedes it.
            mark_dirty();
            ensure_current();
            status_->set_text(0, qs(filter_.element_status(thisformant_, f, bw)));
        }
        return;
    }
    const double f = freq_at(pos.x());
    if (f >= 0) ctx_.doc.theglobal.set_freqcursor(f);
    show_pointer(pos);
    specplot_->update_overlay();
}

void tinvirawindow::spectrum_release(QPointF pos, Qt::MouseButton button, Qt::KeyboardModifiers mods) {
    if (button != Qt::LeftButton) return;
    ensure_current();
    const double f = freq_at(pos.x());
    const double bw = bandwidth_at_level(f, level_at(pos.y()));
    const bool valid = f > 0 && bw > 0 && std::isfinite(bw);
    switch (fformantaction_) {
        case faadd:
        case faaddzero:
            if (valid) selectedformant_ = filter_.add_element(fformantaction_ == faaddzero, f, bw);
            break;
        case famove:
            if (thisformant_ >= 0) {
                QPointF at = pos;
                if (mods & Qt::ControlModifier) at = downpos_ + (pos - downpos_) / 10.0;
                const double mf = freq_at(at.x());
                const double mbw = bandwidth_at_level(mf, level_at(at.y()));
                if (mf > 0 && mbw > 0 && std::isfinite(mbw))
                    selectedformant_ = filter_.set_element(thisformant_, mf, mbw);
            }
            break;
        case fadelete:
            if (thisformant_ >= 0) {
                filter_.delete_element(thisformant_);
                selectedformant_ = -1;
            }
            break;
        default: break;
    }
    thisformant_ = -2;
    mark_dirty();
    update_enablings();
}

void tinvirawindow::logformantsactionExecute() {
    ensure_current();
    tdocument& doc = ctx_.doc;
    if (flockchanno_ < 0 || flockchanno_ >= doc.totnchans()) return;
    const tchannel& ch = doc.channel(flockchanno_);
    std::string heading, line;
    filter_.log_lines(ch.filename.empty() ? doc.filename() : ch.filename, ch.name(),
                      format_float_pattern(doc.prefs.SecondsFormat, filter_.cursortime),
                      doc.prefs.nSignificantDigits, heading, line);
    ctx_.measurements.datalog.add_line(heading, line);
}

void tinvirawindow::saveactionExecute() {
    ensure_current();
    tdocument& doc = ctx_.doc;
    if (flockchanno_ < 0 || flockchanno_ >= doc.totnchans()) return;
    tinvmakeoptions opt;
    opt.range = rangeradio_[1]->isChecked()   ? tinvrange::pink
                : rangeradio_[2]->isChecked() ? tinvrange::entire
                                              : tinvrange::visible;
    const TAxis& tx = waveplot_->xaxis()->axis();
    const double left = doc.theglobal.leftselcursor();
    opt.visiblefrom = left + tx.GetLoValue() / 1000;
    opt.visibleto = left + tx.GetHiValue() / 1000;
    opt.timecursor = doc.theglobal.timecursor();
    opt.saveflow = saveflowcheck_->isChecked();
    opt.saveder = savedercheck_->isChecked();
    opt.savechanno = savechanno_ < doc.totnchans() ? savechanno_ : -1;
    opt.savederchanno = savederchanno_ < doc.totnchans() ? savederchanno_ : -1;
    opt.convert = convertcheck_->isChecked();
    opt.autofsd = autofsd_->isChecked();
    double d = 30;
    if (!try_parse_float(distanceedit_->text().toStdString(), d) || !(d > 0) || !std::isfinite(d)) {
        show_error("The mic distance must be a positive number of cm");
        return;
    }
    opt.distance_cm = d;
    // Checked and asked here, filtered on a worker (progress and "Cancel"),
    // written here: a cancel leaves the document and the log as they were.
    auto plan = std::make_shared<tinvmakeplan>();
    if (!run_guarded(nullptr, [&] { *plan = plan_invfilter_channels(doc, flockchanno_, filter_, opt, ctx_.prompter); },
                     false, "Make channels") ||
        !plan->go)
        return;
    auto data = std::make_shared<tinvmakedata>();
    auto failure = std::make_shared<std::string>();
    makeline_.start([plan = std::shared_ptr<const tinvmakeplan>(plan)](
                        tjobcontext& c) { return compute_invfilter_channels(*plan, &c); },
                    [data](tinvmakedata r) { *data = std::move(r); },
                    [failure](const std::string& why) { *failure = why.empty() ? "Make channels failed" : why; });
    if (!wait_with_progress(this, makeline_, "Making inverse filtered channels")) return;
    if (!failure->empty()) {
        show_error(*failure);
        return;
    }
    if (action("logatmakeaction")->isChecked()) logformantsactionExecute();
    run_guarded(&doc, [&] { apply_invfilter_channels(doc, *plan, *data); }, true, "Make channels");
    mark_audio_dirty();
    refill_combos();
}

void tinvirawindow::estimateactionExecute() {
    tdocument& doc = ctx_.doc;
    if (doc.totnchans() == 0) return;
    // The channel the window follows (its segment may not be loaded yet).
    const int chno = locked_ && flockchanno_ >= 0 && flockchanno_ < doc.totnchans() ? flockchanno_ : doc.thischanno();
    if (chno < 0 || chno >= doc.totnchans()) return;
    const tchannel& ch = doc.channel(chno);
    // The selection, or without one the segment the window shows.
    const tglobal& gl = doc.theglobal;
    double from = gl.leftselcursor(), to = gl.rightselcursor();
    if (!gl.has_selection()) {
        from = gl.timecursor();
        to = ch.sampfreq > 0 ? from + invfilter_seglen / ch.sampfreq : from;
    }
    // The job reads only a slice of the channel's store, so the document
    // may change meanwhile.
    auto span = std::make_shared<const tsamplestore>(estimate_span(ch, from, to));
    estimateline_.start(
        [span, fs = ch.sampfreq](tjobcontext& c) { return qcp_slice(*span, fs, {}, &c); },
        [this](tiaifresult r) {
            estimate_finished();
            if (!r.ok) {
                show_error(r.problem);
                return;
            }
            estimateundo_.push_back({filter_.formants, filter_.signaltype, filter_.fhpfilterfreq});
            apply_iaif(filter_, r);
            micradio_->setChecked(true);
            hpedit_->setText(qs(float_to_text(filter_.fhpfilterfreq)));
            thisformant_ = -2;
            mark_audio_dirty();
            mark_dirty();
            update_enablings();
        },
        [this](const std::string& why) {
            estimate_finished();
            show_error(why.empty() ? "The estimate failed" : why);
        });
    cancelestimate_->setEnabled(true);
    show_estimate_progress();
    if (!estimatetimer_->isActive()) estimatetimer_->start();
}

void tinvirawindow::cancelestimateactionExecute() {
    if (!estimateline_.busy()) return;
    estimateline_.cancel();
    estimate_finished();
    status_->set_text(2, "Estimate cancelled");
}

void tinvirawindow::estimate_finished() {
    estimatetimer_->stop();
    cancelestimate_->setEnabled(false);
    status_->set_text(2, "");
}

void tinvirawindow::show_estimate_progress() {
    if (!estimateline_.busy()) {
        estimatetimer_->stop();
        return;
    }
    status_->set_text(2, progress_text("Estimating filter", estimateline_.progress()));
}

void tinvirawindow::undoestimateactionExecute() {
    if (estimateundo_.empty()) return;
    const tfilterstate s = std::move(estimateundo_.back());
    estimateundo_.pop_back();
    filter_.formants = s.formants;
    filter_.fhpfilterfreq = s.hp;
    (s.type == tinvsignaltype::mic ? micradio_ : flowradio_)->setChecked(true);
    filter_.signaltype = s.type;
    hpedit_->setText(qs(float_to_text(filter_.fhpfilterfreq)));
    thisformant_ = -2;
    mark_audio_dirty();
    mark_dirty();
    update_enablings();
}

bool tinvirawindow::open_filter_file(const QString& path) {
    std::string err;
    if (!filter_.read_for_file(path.toStdString(), &err)) {
        show_error(err);
        return false;
    }
    thisformant_ = -2;
    mark_dirty();
    update_enablings();
    return true;
}

bool tinvirawindow::save_filter_file(const QString& path) {
    std::string err;
    if (!filter_.write_for_file(path.toStdString(), QCoreApplication::applicationVersion().toStdString(), &err)) {
        show_error(err);
        return false;
    }
    return true;
}

void tinvirawindow::save_settings_to(const QString& path) const {
    filter_.write_for_file(path.toStdString(), QCoreApplication::applicationVersion().toStdString());
}

void tinvirawindow::load_settings_from(const QString& path) {
    if (filter_.read_for_file(path.toStdString())) {
        mark_dirty();
        update_enablings();
    }
}

void tinvirawindow::refill_combos() {
    tdocument& doc = ctx_.doc;
    const int n = doc.totnchans();
    extracombo_->clear();
    extracombo_->addItem("Show no additional channels");
    for (int i = 0; i < n; ++i) {
        const std::string& name = doc.channel(i).name();
        extracombo_->addItem(name.empty() ? "Channel " + QString::number(i) : qs(name));
    }
    extracombo_->addItem("Show no extra channel");
    if (addchanno_ >= n) addchanno_ = -1;
    extracombo_->setCurrentIndex(addchanno_ >= 0 ? addchanno_ + 1 : 0);
    for (auto [combo, chno] : {std::pair{saveflowcombo_, &savechanno_}, std::pair{savedercombo_, &savederchanno_}}) {
        combo->clear();
        for (int i = 0; i < n; ++i) combo->addItem(QString::number(i) + ": " + qs(doc.channel(i).name()));
        combo->addItem("<Save to new channel>");
        if (*chno < 0 || *chno >= n) *chno = -1;
        combo->setCurrentIndex(*chno >= 0 ? *chno : n);
    }
}

void tinvirawindow::hideEvent(QHideEvent* e) {
    // Closed: an estimate under way is dropped (it would change a filter
    // the user no longer sees).
    cancelestimateactionExecute();
    QWidget::hideEvent(e);
}

void tinvirawindow::showEvent(QShowEvent* e) {
    refill_combos();
    mark_audio_dirty();
    QWidget::showEvent(e);
}

void tinvirawindow::time_cursor_changed() {
    if (isVisible()) mark_audio_dirty();
    else faudiodatadirty_ = true;
}

// A click in the main window moves the time cursor with the selection and
// may make another channel current; zooms and key commands only repaint.
// Each of these reaches a different broadcast, so all of them look.
void tinvirawindow::follow_main() {
    const tdocument& doc = ctx_.doc;
    if (faudiodatadirty_ || doc.totnchans() == 0) return;
    if ((!locked_ && flockchanno_ != doc.thischanno()) || doc.theglobal.timecursor() != filter_.cursortime)
        time_cursor_changed();
}

void tinvirawindow::main_cursor_changed(bool) { follow_main(); }

void tinvirawindow::document_state_changed() { follow_main(); }

void tinvirawindow::invalidate_paintboxes(bool) { follow_main(); }

void tinvirawindow::fix_things() {
    if (isVisible()) refill_combos();
    if (!locked_ && flockchanno_ != ctx_.doc.thischanno()) mark_audio_dirty();
}

void tinvirawindow::channels_changed() {
    if (isVisible()) refill_combos();
    mark_audio_dirty();
}

void tinvirawindow::channel_changed(const tchannelchange& change) {
    if (change.kind == tchannelchange::tkind::labels) return;
    if (change.touches(flockchanno_, 0, tchannelchange::end_of_channel) ||
        (addchanno_ >= 0 && change.touches(addchanno_, 0, tchannelchange::end_of_channel)))
        faudiodatadirty_ = true;
    if (isVisible() && faudiodatadirty_) mark_audio_dirty();
}

}  // namespace tessal
