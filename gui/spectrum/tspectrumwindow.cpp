// The spectrum window: controls, plot painting, the cursor, the LTAS worker,
// logs, labels, bands and the settings kept between runs.
#include "gui/spectrum/tspectrumwindow.h"

#include <QAction>
#include <QActionGroup>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QMouseEvent>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSplitter>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <algorithm>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>
#include <cmath>

#include "engine/core/tchannel.h"
#include "engine/core/tdocument.h"
#include "engine/dsp/notes.h"
#include "engine/dsp/numberfield.h"
#include "engine/dsp/numformat.h"
#include "engine/settings/tsetting.h"
#include "engine/tools/spectrumlabels.h"
#include "engine/view/viewmouse.h"
#include "gui/commands/commandguard.h"
#include "gui/context/appcontext.h"
#include "gui/spectrum/tfrequencyrangedialog.h"
#include "gui/widgets/settingspage.h"
#include "gui/widgets/tplotpanel.h"
#include "gui/windows/windowjobs.h"
#include "gui/windows/windowsettings.h"

namespace tessal {

namespace {

// The frequency axis's top when the window first shows a document (Hz).
constexpr double defaultfreqhi = 20000;

QString qs(const std::string& s) { return QString::fromStdString(s); }
QColor bgr(TColor c) { return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }

}  // namespace

// A long LTAS on the job line. The samples it reads are slices of the
// channels' stores taken on the UI thread when the run starts (they share
// the channel's blocks); the job reads only its slices, so the document may
// be edited meanwhile. The results wait here until the UI thread takes them.
struct tspectrumwindow::tltasrun {
    struct tjob {
        int chno = 0;
        tanalysiskey key;
        double t1 = 0, t2 = 0;
        // The slice: channel samples from `source` on, `size` of them.
        tsamplestore data;
        long long size = 0, source = 0, xshift = 0;
        double fs = 0;
        tspectrum result;
    };
    std::vector<std::unique_ptr<tjob>> jobs;
    tspectrumsettings settings;
    std::atomic<bool> cancel{false};  // set when superseded or cancelled
    std::atomic<bool> done{false};    // every result is whole
    std::atomic<int> current{0};      // the channel being computed
};

tspectrumwindow::tspectrumwindow(tappcontext& ctx, QWidget* owner)
    : QWidget(owner, Qt::Window | Qt::Tool), ctx_(ctx), tools_(this, &ctx.doc), frames_(ctx.doc.theglobal),
      ltascache_(ctx.doc.theglobal, 32), line_(deliver_to(this)) {
    setWindowTitle("Spectrum - Tessal");
    build_ui();
    write_controls();
    apply_freqaxis();
    ctx_.doc.theglobal.add_listener(this);
}

tspectrumwindow::~tspectrumwindow() {
    detach_fields(this);
    cancel_ltas();
    if (persist) run_guarded(nullptr, [&] { persist(*this); });
    ctx_.doc.theglobal.remove_listener(this);
}

namespace {

const char* const snapids[] = {"dontsnapaction", "snaptocurveaction", "snaptopeakaction",
                               "showcentroidaction"};
const char* const snapcaptions[] = {"Don't snap", "Snap to curve", "Snap to peak", "Show centroid"};

}  // namespace

QAction* tspectrumwindow::action(const QString& name) const { return findChild<QAction*>(name); }

// ------------------------------------------------------------------ controls

void tspectrumwindow::build_ui() {
    tools_.add_log(10, [this] { logcursoractionExecute(); }, 13,
                   [this] { ctx_.windows.show("datalog"); });
    tools_.add({.id = "logspectrumaction", .caption = "Log spectrum",
                .handler = [this] { logspectrumactionExecute(); }, .toolorder = 11});
    tools_.add({.id = "logmeasaction", .caption = "Log meas.",
                .handler = [this] { logmeasactionExecute(); }, .toolorder = 12});
    // "Show centroid" and "Show F0" exist but are hidden.
    for (int i = 0; i < 4; ++i)
        tools_.add({.id = snapids[i], .caption = snapcaptions[i],
                    .handler = [this, i] {
                        st_.fsnapmode = i;
                        frames_.clear();
                        plot_->mark_dirty();
                        update_readouts();
                    },
                    .checkable = true, .radio = "snap", .toolorder = 20 + i, .visible = i < 3});
    tools_.add_check({.id = "showf0action", .caption = "Show F0", .toolorder = 24, .visible = false},
                     [this](bool) { plot_->mark_dirty(); });
    tools_.add_check({.id = "locksnapaction", .caption = "Lock snap ch.", .toolorder = 30},
                     [this](bool on) {
                         st_.locksnap = on;
                         lock_.set_locked(on, ctx_.doc);
                         update_readouts();
                     });
    tools_.add_check({.id = "showgridaction", .caption = "Show grid", .toolorder = 31}, [this](bool on) {
        st_.showgrid = on;
        plot_->mark_dirty();
    });
    tools_.add_check({.id = "lpcenvelopeaction", .caption = "LPC envelope", .toolorder = 32}, [this](bool on) {
        st_.showlpc = on;
        plot_->mark_dirty();
        if (!on) status_->set_text(3, QString());
    });
    tools_.add_image(40, plot_);
    auto* outer = tools_.build_layout();
    toolbar_ = tools_.bar();

    auto* split = new QSplitter(Qt::Horizontal, this);
    outer->addWidget(split, 1);
    tabs_ = new QTabWidget(split);

    // Settings
    auto* settings = new QWidget;
    auto* sl = new QVBoxLayout(settings);
    const tfftbox fft = add_fft_box(sl, "50");
    windowcombo_ = fft.window;
    bwedit_ = fft.bandwidth;
    lengthlabel_ = fft.length;
    bwproblem_ = fft.problem;
    auto group = [&](const QString& title, QButtonGroup*& g, const QStringList& items) {
        add_radio_box(sl, title, g, items, nullptr);
    };
    group("Level relative to...", relgroup_, {"1", "FSD", "Channel reference"});
    group("Frequency axis", axisgroup_, {"Linear", "Logarithmic", "Music notes"});
    group("LTAS", ltasgroup_, {"None", "Selection", "Red/Blue cursors"});
    removedc_ = new QCheckBox("Remove DC");
    sl->addWidget(removedc_);
    sl->addStretch(1);
    tabs_->addTab(scrolled_page(settings), "Settings");

    // Channels
    channels_ = new TChannelCheckList;
    tabs_->addTab(channels_, "Channels");
    connect(channels_, &TChannelCheckList::checks_changed, this, [this](int chno, bool on) {
        if (chno < ctx_.doc.totnchans()) ctx_.doc.channel(chno).showspectrum = on;
        plot_->mark_dirty();
    });

    // Measurement
    auto* meas = new QWidget;
    auto* ml = new QVBoxLayout(meas);
    auto* fcpbox = new QGroupBox("LTAS FCP");
    auto* fcl = new QVBoxLayout(fcpbox);
    showfcp_ = new QCheckBox("Show formant cluster prominence");
    fcl->addWidget(showfcp_);
    auto pair = [&](QVBoxLayout* l, const QString& label, QLineEdit*& a, QLineEdit*& b) {
        l->addWidget(new QLabel(label));
        auto* row = new QHBoxLayout;
        a = new QLineEdit;
        b = new QLineEdit;
        row->addWidget(a);
        row->addWidget(new QLabel("–"));
        row->addWidget(b);
        l->addLayout(row);
    };
    pair(fcl, "Trendline ends [Hz]", trendlo_, trendhi_);
    pair(fcl, "FCP range [Hz]", fcplo_, fcphi_);
    ml->addWidget(fcpbox);
    auto* bandbox = new QGroupBox("LTAS bands");
    auto* bl = new QVBoxLayout(bandbox);
    showbands_ = new QCheckBox("Show bands' average");
    showbands_->setToolTip("Show bands' average power per FFT bin");
    bl->addWidget(showbands_);
    bl->addWidget(new QLabel("Bands [Hz]"));
    bandlist_ = new QListWidget;
    bl->addWidget(bandlist_);
    auto* brow = new QHBoxLayout;
    auto* plus = new QPushButton("+");
    plus->setToolTip("Add band");
    auto* minus = new QPushButton("-");
    minus->setToolTip("Remove selected band");
    brow->addWidget(plus);
    brow->addWidget(minus);
    bl->addLayout(brow);
    ml->addWidget(bandbox);
    auto* makelabel = new QPushButton("Make label");
    makelabel->setObjectName("makelabelbutton");
    ml->addWidget(makelabel);
    ml->addStretch(1);
    tabs_->addTab(scrolled_page(meas), "Measurement");

    plot_ = new TPlotPanel(split);
    split->setStretchFactor(1, 1);
    // The side panel as wide as its tabs and controls want, the plot the rest.
    split->setSizes({std::max({200, tabs_->sizeHint().width(), tabs_->tabBar()->sizeHint().width() + 4}), 560});
    TAxis& y = plot_->yaxis()->axis();
    y.SetAxisText("[dB]");
    y.set_hilovalues(20, -80);
    y.SetTickSpaceAim(1);
    y.fallowdoubleclick = true;
    TAxis& f = plot_->xaxis()->axis();
    f.SetAxisText("[Hz]");
    f.SetMinValueDifference(0.001);
    f.set_hilovalues(defaultfreqhi, 20);
    f.SetLogarithmic(true);
    f.SetTickSpaceAim(1);
    f.fallowdoubleclick = true;
    f.fallowlogarithmicchange = true;
    // The limits dialog may switch the scale: "Frequency axis" follows.
    f.OnScaleChanged.subscribe([this](TAxis& a) {
        if (updating_ || !axisgroup_ || a.GetLogarithmic() == (st_.freqaxis != 0)) return;
        st_.freqaxis = a.GetLogarithmic() ? 1 : 0;
        write_controls();
    });
    plot_->paint_layer = [this](QPainter& p, const QSize& s) { paint_layer(p, s); };
    // The figure names the channel the cursors read and the samples its
    // spectrum comes from: the frame around the time cursor or the LTAS span.
    plot_->figure_title = [this] {
        const tdocument& doc = ctx_.doc;
        const int c = snap_channel();
        if (c < 0) return figure_title_of(doc.filename(), -1, "", 0, -1);
        const tchannel& ch = doc.channel(c);
        const double L = st_.fft.fwinlength();
        // The frame starts at, is centred on or ends at the cursor (winpos 0, 1, 2).
        double t1 = doc.theglobal.timecursor() - L * st_.fft.winpos / 2.0, t2 = t1 + L;
        if (st_.fltasmode != 0)
            ltas_span(ch, st_.fltasmode, doc.theglobal.leftselcursor(), doc.theglobal.rightselcursor(), t1, t2);
        return figure_title_of(doc.filename(), c, ch.name(), t1, t2);
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

    status_ = new TStatusPanels({160, 160, 50, 300}, this);
    progress_ = new QProgressBar(status_);
    progress_->setRange(0, 1000);
    progress_->setMaximumWidth(120);
    progress_->setVisible(false);
    status_->addPermanentWidget(progress_);
    outer->addWidget(status_);
    progresstimer_ = new QTimer(this);
    progresstimer_->setInterval(100);
    connect(progresstimer_, &QTimer::timeout, this, [this] {
        if (!run_) {
            progresstimer_->stop();
            return;
        }
        const double f = line_.progress();
        progress_->setValue(static_cast<int>(f * 1000));
        ctx_.window->statusBar()->showMessage(
            progress_text("Calculating LTAS for channel " + QString::number(run_->current.load()), f));
    });

    // Controls change the state.
    auto changed = [this] {
        if (!updating_) settings_changed();
    };
    connect(windowcombo_, &QComboBox::currentIndexChanged, this, changed);
    connect(bwedit_, &QLineEdit::editingFinished, this, changed);
    connect(removedc_, &QCheckBox::toggled, this, changed);
    connect(relgroup_, &QButtonGroup::idClicked, this, [this](int) {
        if (!updating_) {
            read_controls();
            plot_->mark_dirty();  // levels only shift: nothing is recomputed
            update_readouts();
        }
    });
    connect(axisgroup_, &QButtonGroup::idClicked, this, [this](int) {
        if (updating_) return;
        read_controls();
        apply_freqaxis();
        settings_changed();
    });
    connect(ltasgroup_, &QButtonGroup::idClicked, this, [this](int id) {
        if (updating_) return;
        read_controls();
        if (id == 2) show_red_blue_marks(ctx_.doc, ctx_.view, true);
        ctx_.doc.spectrummode = id != 0 ? 1 : 0;
        settings_changed();
    });
    for (QCheckBox* c : {showfcp_, showbands_}) connect(c, &QCheckBox::toggled, this, changed);
    for (QLineEdit* e : {trendlo_, trendhi_, fcplo_, fcphi_})
        connect(e, &QLineEdit::editingFinished, this, changed);
    connect(bandlist_, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
        if (updating_) return;
        const int i = bandlist_->row(item);
        if (i >= 0 && i < static_cast<int>(st_.freqbands.size()))
            st_.freqbands[static_cast<std::size_t>(i)].checked = item->checkState() == Qt::Checked;
        plot_->mark_dirty();
    });
    connect(bandlist_, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
        run_guarded(&ctx_.doc, [&] {
            const int i = bandlist_->row(item);
            if (i < 0 || i >= static_cast<int>(st_.freqbands.size())) return;
            tfreqband& b = st_.freqbands[static_cast<std::size_t>(i)];
            double lo = b.lo, hi = b.hi;
            if (!ask_range(lo, hi)) return;
            b.lo = lo;
            b.hi = hi;
            refresh_bandlist();
            plot_->mark_dirty();
        });
    });
    connect(plus, &QPushButton::clicked, this, [this] {
        run_guarded(&ctx_.doc, [&] {
            double lo = st_.freqbands.empty() ? 0 : st_.freqbands.back().hi;
            double hi = st_.freqbands.empty() ? 2000 : lo + 1000;
            if (ask_range(lo, hi)) add_band(lo, hi);
        });
    });
    connect(minus, &QPushButton::clicked, this, [this] {
        run_guarded(&ctx_.doc, [&] { remove_band(bandlist_->currentRow()); });
    });
    connect(makelabel, &QPushButton::clicked, this, [this] { run_guarded(nullptr, [&] { makelabelExecute(); }, false); });
}

void tspectrumwindow::write_controls() {
    updating_ = true;
    windowcombo_->setCurrentIndex(static_cast<int>(st_.fft.fftwin));
    bwedit_->setText(qs(float_to_text(st_.fft.bw)));
    lengthlabel_->setText("Window length: " +
                          qs(format_significant(ctx_.doc.prefs.nSignificantDigits, st_.fft.fwinlength() * 1000)) +
                          " ms");
    relgroup_->button(st_.relative)->setChecked(true);
    axisgroup_->button(st_.freqaxis)->setChecked(true);
    ltasgroup_->button(st_.fltasmode)->setChecked(true);
    removedc_->setChecked(st_.fft.removedc);
    showfcp_->setChecked(st_.showfcp);
    showbands_->setChecked(st_.showbands);
    trendlo_->setText(qs(float_to_text(st_.fcp.lotrendlinef)));
    trendhi_->setText(qs(float_to_text(st_.fcp.hitrendlinef)));
    fcplo_->setText(qs(float_to_text(st_.fcp.lofcpf)));
    fcphi_->setText(qs(float_to_text(st_.fcp.hifcpf)));
    action(snapids[std::clamp(st_.fsnapmode, 0, 3)])->setChecked(true);
    action("locksnapaction")->setChecked(st_.locksnap);
    action("showgridaction")->setChecked(st_.showgrid);
    action("lpcenvelopeaction")->setChecked(st_.showlpc);
    refresh_bandlist();
    updating_ = false;
    update_enablings();
}

void tspectrumwindow::refresh_bandlist() {
    const bool was = updating_;
    updating_ = true;
    const int row = bandlist_->currentRow();
    bandlist_->clear();
    for (const tfreqband& b : st_.freqbands) {
        auto* item = new QListWidgetItem(qs(band_text(b)), bandlist_);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(b.checked ? Qt::Checked : Qt::Unchecked);
    }
    if (row >= 0 && row < bandlist_->count()) bandlist_->setCurrentRow(row);
    updating_ = was;
}

// Fields that do not parse keep the previous value.
void tspectrumwindow::read_controls() {
    auto num = [](QLineEdit* e, double& v, bool positive) {
        double x = 0;
        if (try_parse_float(e->text().toStdString(), x) && std::isfinite(x) && (!positive || x > 0)) v = x;
    };
    st_.fft.fftwin = static_cast<TFFTWindow>(std::clamp(windowcombo_->currentIndex(), 0, 4));
    // A bandwidth outside its range keeps the previous one and says why.
    const std::string problem = read_number_field(bwedit_->text().toStdString(), fields::spectrumbandwidth, st_.fft.bw);
    show_field_problem(bwproblem_, problem);
    st_.fft.removedc = removedc_->isChecked();
    st_.relative = std::max(0, relgroup_->checkedId());
    st_.freqaxis = std::max(0, axisgroup_->checkedId());
    st_.fltasmode = std::max(0, ltasgroup_->checkedId());
    st_.showfcp = showfcp_->isChecked();
    st_.showbands = showbands_->isChecked();
    num(trendlo_, st_.fcp.lotrendlinef, true);
    num(trendhi_, st_.fcp.hitrendlinef, true);
    num(fcplo_, st_.fcp.lofcpf, true);
    num(fcphi_, st_.fcp.hifcpf, true);
}

void tspectrumwindow::settings_changed() {
    read_controls();
    write_controls();  // shows what was kept
    frames_.clear();
    envelopes_.clear();
    plot_->mark_dirty();
    update_readouts();
}

void tspectrumwindow::set_state(const tspectrumstate& s) {
    st_ = s;
    if (st_.locksnap != lock_.locked()) lock_.set_locked(st_.locksnap, ctx_.doc);
    if (st_.fltasmode == 2) show_red_blue_marks(ctx_.doc, ctx_.view, true);
    ctx_.doc.spectrummode = st_.fltasmode != 0 ? 1 : 0;
    write_controls();
    apply_freqaxis();
    frames_.clear();
    plot_->mark_dirty();
    update_readouts();
}

void tspectrumwindow::apply_freqaxis() {
    TAxis& f = plot_->xaxis()->axis();
    // The axis passes through other scales on the way: the state is what
    // is being set, not what the axis says meanwhile.
    struct thold {
        bool& flag;
        bool was;
        ~thold() { flag = was; }
    } hold{updating_, updating_};
    updating_ = true;
    if (st_.freqaxis == 0) {
        f.SetMinLoValue(0);
        f.SetLogarithmic(false);
        f.SetMusicScale(false);
    } else {
        if (f.GetLoValue() <= 0) f.SetLoValue(10);
        f.SetMinLoValue(0);
        f.SetLogarithmic(true);
        f.SetMusicScale(st_.freqaxis == 2);
    }
    plot_->mark_dirty();
}

void tspectrumwindow::rebuild_channels() {
    tdocument& doc = ctx_.doc;
    // With nothing ticked the current channel is shown, so the window never
    // opens empty on a document.
    bool any = false;
    for (int i = 0; i < doc.totnchans(); ++i) any = any || doc.channel(i).showspectrum;
    if (!any && doc.totnchans() > 0) doc.channel(doc.thischanno()).showspectrum = true;
    channels_->rebuild(doc, [&doc](int i) { return doc.channel(i).showspectrum; });
    double fsmax = 0;
    for (int i = 0; i < doc.totnchans(); ++i) fsmax = std::max(fsmax, doc.channel(i).sampfreq);
    // The window is made before any document, when the top is cut to 5 kHz;
    // a top that sat at the old limit goes up with it again, to the
    // axis's usual 20 kHz where the channels reach that far.
    TAxis& fa = plot_->xaxis()->axis();
    const double oldmax = fa.GetMaxHiValue(), newmax = std::max(fsmax, 10000.0) / 2;
    const bool attop = fa.GetHiValue() >= oldmax * (1 - 1e-9);
    fa.SetMaxHiValue(newmax);
    if (attop && newmax > oldmax) fa.SetHiValue(std::min(defaultfreqhi, newmax));
    plot_->mark_dirty();
}

void tspectrumwindow::showEvent(QShowEvent* e) {
    rebuild_channels();
    const double f = ctx_.doc.theglobal.freqcursor();
    const int c = snap_channel();
    if (crosshair_ && f > 0 && c >= 0)
        if (const tspectrum* s = spectrum_of(c)) flcursor_ = snap_to_curve(*s, f, reference(c)).level;
    update_readouts();
    QWidget::showEvent(e);
}

// ------------------------------------------------------------------ notices

void tspectrumwindow::time_cursor_changed() {
    if (isVisible() && st_.fltasmode == 0) plot_->mark_dirty();
}

void tspectrumwindow::main_cursor_changed(bool) {
    if (!isVisible()) return;
    plot_->mark_dirty();
}

void tspectrumwindow::freq_cursor_changed(double f) {
    if (settingcursor_) return;  // our own cursor_at does the rest
    // Set elsewhere: the crosshair shows it, at the level of the snap
    // channel's curve there.
    if (f > 0) {
        crosshair_ = true;
        const int c = snap_channel();
        if (isVisible() && c >= 0)
            if (const tspectrum* s = spectrum_of(c)) flcursor_ = snap_to_curve(*s, f, reference(c)).level;
    }
    if (!isVisible()) return;
    update_readouts();
    plot_->update_overlay();
}

void tspectrumwindow::hide_crosshairs() {
    crosshair_ = false;
    plot_->update_overlay();
}

void tspectrumwindow::fix_things() {
    if (isVisible()) rebuild_channels();
}

void tspectrumwindow::channels_changed() {
    envelopes_.clear();
    if (isVisible()) rebuild_channels();
}

void tspectrumwindow::invalidate_paintboxes(bool) {
    if (isVisible()) plot_->mark_dirty();
}

void tspectrumwindow::channel_changed(const tchannelchange& change) {
    // The frame slots and the LTAS cache drop what the change touched; a run
    // over samples the change touched reads a slice of what they were and
    // would give a stale result: it starts again.
    if (run_)
        for (const auto& j : run_->jobs)
            if (change.touches(j->chno, j->source, j->source + j->size)) {
                cancel_ltas();
                break;
            }
    envelopes_.clear();
    if (isVisible()) plot_->mark_dirty();
}

// ------------------------------------------------------------------ numbers

double tspectrumwindow::reference(int chno) const {
    const tchannel& ch = ctx_.doc.channel(chno);
    return level_reference(st_.relative, ch.fsd(), ch.dbreference);
}

std::vector<int> tspectrumwindow::shown_channels() const {
    std::vector<int> v;
    for (int i = 0; i < ctx_.doc.totnchans(); ++i)
        if (ctx_.doc.channel(i).showspectrum) v.push_back(i);
    return v;
}

int tspectrumwindow::snap_channel() const {
    const int n = ctx_.doc.totnchans();
    if (n == 0) return -1;
    return std::clamp(lock_.channel(ctx_.doc), 0, n - 1);
}

const tspectrum* tspectrumwindow::spectrum_of(int chno) {
    tdocument& doc = ctx_.doc;
    if (chno < 0 || chno >= doc.totnchans()) return nullptr;
    const tchannel& ch = doc.channel(chno);
    if (st_.fltasmode == 0) {
        bool computed = false;
        const tspectrum& s = frames_.frame(ch, chno, st_.fft, doc.theglobal.timecursor(), &computed);
        if (computed && st_.fsnapmode == 3 && chno == snap_channel())
            doc.theglobal.set_freqcursor(spectral_centroid(s));
        return s.empty() ? nullptr : &s;
    }
    double t1 = 0, t2 = 0;
    ltas_span(ch, st_.fltasmode, doc.theglobal.leftselcursor(), doc.theglobal.rightselcursor(), t1, t2);
    const tspectrum* s = ltascache_.find(ltas_key(ch, chno, st_.fft, t1, t2));
    return s && !s->empty() ? s : nullptr;
}

const tspectrum* tspectrumwindow::shown_spectrum(int chno) {
    const tspectrum* s = spectrum_of(chno);
    if (st_.fltasmode == 0) return s;
    const tdocument& doc = ctx_.doc;
    if (s) {
        const tchannel& ch = doc.channel(chno);
        double t1 = 0, t2 = 0;
        ltas_span(ch, st_.fltasmode, doc.theglobal.leftselcursor(), doc.theglobal.rightselcursor(), t1, t2);
        const tanalysiskey key = ltas_key(ch, chno, st_.fft, t1, t2);
        auto it = lastltas_.find(chno);
        if (it == lastltas_.end() || !(it->second.key == key)) lastltas_[chno] = {key, *s};
        return s;
    }
    if (!run_) return nullptr;
    auto it = lastltas_.find(chno);
    return it != lastltas_.end() ? &it->second.s : nullptr;
}

void tspectrumwindow::ensure_ltas(int extra) {
    if (st_.fltasmode == 0) {
        cancel_ltas();
        return;
    }
    tdocument& doc = ctx_.doc;
    std::vector<int> wanted = shown_channels();
    if (extra >= 0 && extra < doc.totnchans() && std::find(wanted.begin(), wanted.end(), extra) == wanted.end())
        wanted.push_back(extra);
    std::vector<int> missing;
    std::vector<tanalysiskey> keys;
    long long frames = 0;
    for (int chno : wanted) {
        const tchannel& ch = doc.channel(chno);
        double t1 = 0, t2 = 0;
        ltas_span(ch, st_.fltasmode, doc.theglobal.leftselcursor(), doc.theglobal.rightselcursor(), t1, t2);
        const tanalysiskey key = ltas_key(ch, chno, st_.fft, t1, t2);
        if (ltascache_.find(key)) continue;
        missing.push_back(chno);
        keys.push_back(key);
        const long long N = spectrum_frame_length(st_.fft, ch.sampfreq);
        frames += N > 1 ? static_cast<long long>((t2 - t1) * ch.sampfreq) / (N / 2) + 1 : 1;
    }
    if (missing.empty()) {
        cancel_ltas();
        return;
    }
    // A run that is computing all of these keeps going.
    if (run_ && !run_->cancel) {
        bool covered = true;
        for (const tanalysiskey& k : keys) {
            bool in = false;
            for (const auto& j : run_->jobs) in = in || j->key == k;
            covered = covered && in;
        }
        if (covered) return;
    }
    cancel_ltas();
    if (frames <= 400) {
        // Short: at once, on this thread, as long as that stays within the
        // budget; a channel under way when it runs out and those after it
        // go to the job line.
        const ttimebudget budget(budget_ms_);
        std::atomic<bool> stop{false};
        tspectrumworkspace ws;
        std::vector<int> rest;
        for (int chno : missing) {
            if (!rest.empty() || budget.spent()) {
                rest.push_back(chno);
                continue;
            }
            const tchannel& ch = doc.channel(chno);
            ctx_.window->statusBar()->showMessage("Calculating LTAS for channel " + QString::number(chno));
            double t1 = 0, t2 = 0;
            ltas_span(ch, st_.fltasmode, doc.theglobal.leftselcursor(), doc.theglobal.rightselcursor(), t1, t2);
            tspectrum s;
            if (!ws.ltas(sample_view(ch), st_.fft, t1, t2, s, &stop, [&](double) {
                    if (budget.spent()) stop = true;
                })) {
                rest.push_back(chno);
                continue;
            }
            if (st_.fsnapmode == 3 && chno == snap_channel()) doc.theglobal.set_freqcursor(spectral_centroid(s));
            ltascache_.store(ltas_key(ch, chno, st_.fft, t1, t2), std::move(s));
        }
        if (rest.empty()) {
            ctx_.window->statusBar()->showMessage("Done ");
            return;
        }
        missing = std::move(rest);
    }
    start_ltas(std::move(missing));
}

void tspectrumwindow::start_ltas(std::vector<int> channels) {
    tdocument& doc = ctx_.doc;
    auto run = std::make_shared<tltasrun>();
    run->settings = st_.fft;
    for (int chno : channels) {
        const tchannel& ch = doc.channel(chno);
        double t1 = 0, t2 = 0;
        ltas_span(ch, st_.fltasmode, doc.theglobal.leftselcursor(), doc.theglobal.rightselcursor(), t1, t2);
        long long first = 0, last = 0;
        ltas_sample_range(st_.fft, ch.sampfreq, t1, t2, first, last);
        auto j = std::make_unique<tltasrun::tjob>();
        j->chno = chno;
        j->key = ltas_key(ch, chno, st_.fft, t1, t2);
        j->t1 = t1;
        j->t2 = t2;
        const long long count = ch.sample_count();
        const long long a = std::clamp(first - ch.xshift, 0LL, count);
        const long long b = std::clamp(last - ch.xshift, a, count);
        j->source = a;
        j->size = b - a;
        j->xshift = ch.xshift + a;
        j->fs = ch.sampfreq;
        j->data = ch.samples_slice(a, b);
        run->jobs.push_back(std::move(j));
    }
    run->current = run->jobs.front()->chno;
    run_ = run;
    // The job reads only its run (slices and settings) and writes its results.
    line_.start(
        [run](tjobcontext& c) {
            tspectrumworkspace ws;
            const double n = static_cast<double>(run->jobs.size());
            for (std::size_t i = 0; i < run->jobs.size(); ++i) {
                c.check();
                tltasrun::tjob& j = *run->jobs[i];
                run->current = j.chno;
                const tsampleview v{j.data, j.xshift, j.fs};
                const bool ok = ws.ltas(v, run->settings, j.t1, j.t2, j.result, &run->cancel, [&](double p) {
                    c.progress((static_cast<double>(i) + p) / n);
                    if (c.cancelled()) run->cancel = true;
                });
                if (!ok) throw tjobcancelled{};
            }
            run->done.store(true, std::memory_order_release);
            return true;
        },
        [this, run](bool) {
            if (run_ == run) take_ltas_results();
        },
        [this, run](const std::string& why) {
            if (run_ != run) return;
            run_.reset();
            progress_->setVisible(false);
            progresstimer_->stop();
            ctx_.window->statusBar()->showMessage("LTAS: " + qs(why));
        });
    progress_->setValue(0);
    progress_->setVisible(true);
    progresstimer_->start();
}

void tspectrumwindow::cancel_ltas() {
    if (!run_) return;
    run_->cancel = true;  // the job stops at its next look; nothing is handed back
    line_.cancel();
    run_.reset();
    progress_->setVisible(false);
    progresstimer_->stop();
}

void tspectrumwindow::take_ltas_results() {
    if (!run_ || !run_->done.load(std::memory_order_acquire)) return;
    for (auto& j : run_->jobs) {
        if (st_.fsnapmode == 3 && j->chno == snap_channel())
            ctx_.doc.theglobal.set_freqcursor(spectral_centroid(j->result));
        ltascache_.store(j->key, std::move(j->result));
    }
    run_.reset();  // a hand-back still on its way finds nothing to take
    progress_->setVisible(false);
    progresstimer_->stop();
    ctx_.window->statusBar()->showMessage("Done ");
    plot_->mark_dirty();
}

void tspectrumwindow::wait_for_ltas() {
    ensure_ltas();
    if (run_) {
        line_.wait();
        take_ltas_results();
    }
}

bool tspectrumwindow::ltas_ready(int extra) {
    if (st_.fltasmode == 0) return true;
    ensure_ltas(extra);
    if (!run_) return true;
    if (!wait_with_progress(this, line_, "Calculating LTAS")) {
        cancel_ltas();
        return false;
    }
    take_ltas_results();  // when the hand-back has not run yet
    return true;
}

QString tspectrumwindow::bandwidth_problem() const { return bwproblem_->isHidden() ? QString() : bwproblem_->text(); }

// ------------------------------------------------------------------ painting

void tspectrumwindow::paint_layer(QPainter& p, const QSize& size) {
    p.fillRect(QRect(QPoint(0, 0), size), Qt::white);
    TAxis& f = plot_->xaxis()->axis();
    TAxis& y = plot_->yaxis()->axis();
    if (st_.showgrid) paint_plot_grid(p, f, y, size);
    if (ctx_.doc.totnchans() == 0) return;
    ensure_ltas();
    for (int chno : shown_channels()) {
        if (st_.fltasmode == 0) {
            ctx_.window->statusBar()->showMessage("Calculating spectrum for channel " + QString::number(chno));
        }
        const tspectrum* s = shown_spectrum(chno);
        if (!s) continue;
        const double R = reference(chno);
        draw_curve(p, size, *s, R, bgr(ctx_.doc.channel(chno).color));
        if (const tlpcenvelope* e = envelope_of(chno))
            draw_envelope(p, size, *e, R, envelope_colour(bgr(ctx_.doc.channel(chno).color)));
        if (st_.fltasmode != 0) draw_fcp_and_bands(p, size, chno, *s, R);
        else if (action("showf0action")->isChecked()) draw_f0(p, size, *s);
    }
    if (st_.fltasmode == 0) ctx_.window->statusBar()->showMessage("Done ");
    if (st_.showlpc) {
        const tlpcenvelope* e = envelope_of(std::max(0, snap_channel()));
        status_->set_text(3, e ? qs(lpc_formants_text(*e)) : QString());
    }
}

const tlpcenvelope* tspectrumwindow::envelope_of(int chno) {
    tdocument& doc = ctx_.doc;
    if (!st_.showlpc || chno < 0 || chno >= doc.totnchans()) return nullptr;
    const tchannel& ch = doc.channel(chno);
    double t1 = doc.theglobal.timecursor(), t2 = t1;
    if (st_.fltasmode != 0)
        ltas_span(ch, st_.fltasmode, doc.theglobal.leftselcursor(), doc.theglobal.rightselcursor(), t1, t2);
    auto it = envelopes_.find(chno);
    if (it != envelopes_.end() && it->second.t1 == t1 && it->second.t2 == t2 && it->second.fs == ch.sampfreq &&
        it->second.fft == st_.fft)
        return &it->second.e;
    tenvelopeslot slot{t1, t2, ch.sampfreq, st_.fft, lpc_envelope(sample_view(ch), t1, t2, {}, st_.fft)};
    return &(envelopes_[chno] = std::move(slot)).e;
}

// The envelope through the shared drawing, so that the exported figure
// draws it as the window does.
void tspectrumwindow::draw_envelope(QPainter& p, const QSize& size, const tlpcenvelope& e, double R,
                                    QColor color) {
    const tlevelcurve c{[&e](double f) { return e.level_db(f); }, e.top()};
    draw_level_curve(p, size, plot_->xaxis()->axis(), plot_->yaxis()->axis(), c, R, color, scratch_);
}

void tspectrumwindow::draw_curve(QPainter& p, const QSize& size, const tspectrum& s, double R,
                                 QColor color) {
    draw_spectrum_curve(p, size, plot_->xaxis()->axis(), plot_->yaxis()->axis(), s, R, color, scratch_);
}

void tspectrumwindow::draw_fcp_and_bands(QPainter& p, const QSize& size, int chno, const tspectrum& s,
                                         double R) {
    TAxis& f = plot_->xaxis()->axis();
    TAxis& y = plot_->yaxis()->axis();
    const tpreferences& prefs = ctx_.doc.prefs;
    // The FCP and band levels are in dB without the reference offset; they
    // are drawn with it, so that they sit on the curve.
    if (st_.showfcp) {
        const ttrend t = compute_fcp(s, st_.fcp);
        if (t.valid) {
            p.setPen(Qt::red);
            const int px = f.value_to_notclippedpixel(t.fcpfreq);
            const int py = y.value_to_notclippedpixel(t.fcplevel - R);
            p.drawLine(px - 7, py - 7, px + 8, py + 8);
            p.drawLine(px - 7, py + 7, px + 8, py - 8);
            p.drawLine(px, py, px, y.value_to_notclippedpixel(t.fcplevel - t.fcp - R));
            p.drawText(px + 4, py - 4,
                       "FCP: " + qs(format_float_pattern(prefs.dBFormat, t.fcp)) + " dB @" +
                           qs(format_significant(prefs.nSignificantDigits, t.fcpfreq)) + " Hz");
            const int x0 = f.value_to_notclippedpixel(t.lofreq);
            const int y0 = y.value_to_notclippedpixel(t.lolevel - R);
            p.drawText(x0, y0 + p.fontMetrics().ascent() + 4,
                       qs(format_significant(prefs.nSignificantDigits, t.slope)) + " dB/oct");
            if (f.GetLogarithmic()) {
                p.drawLine(x0, y0, f.value_to_notclippedpixel(t.hifreq), y.value_to_notclippedpixel(t.hilevel - R));
            } else {
                const int x1 = f.value_to_notclippedpixel(t.hifreq);
                QPoint last(x0, y0);
                for (int x = x0 + 1; x <= x1; ++x) {
                    const double fx = f.pixel_to_value(x);
                    if (fx <= 0) continue;
                    const double L = t.lolevel + std::log2(fx / t.lofreq) / std::log2(t.hifreq / t.lofreq) *
                                                     (t.hilevel - t.lolevel);
                    const QPoint pt(x, y.value_to_notclippedpixel(L - R));
                    p.drawLine(last, pt);
                    last = pt;
                }
            }
            p.setPen(Qt::black);
        }
    }
    if (st_.showbands) {
        p.setPen(Qt::blue);
        for (const tfreqband& b : st_.freqbands) {
            if (!b.checked) continue;
            const tfreqbanddata d = band_level(s, b.lo, b.hi);
            if (!d.valid) continue;
            const int x0 = std::clamp(f.value_to_notclippedpixel(std::max(b.lo, 1e-9)), 0, size.width() - 1);
            const int x1 = std::clamp(f.value_to_notclippedpixel(b.hi), 0, size.width() - 1);
            const int py = y.value_to_notclippedpixel(d.level - R);
            p.drawLine(x0, py, x1, py);
            const QString text = qs(format_float_pattern(prefs.dBFormat, d.level)) + " dB";
            const int tw = p.fontMetrics().horizontalAdvance(text);
            p.drawText(x1 - tw, py - 3, text);
        }
        p.setPen(Qt::black);
    }
    (void)chno;
}

// The hidden F0 display: harmonics in blue, the peak in red, F0 in green.
void tspectrumwindow::draw_f0(QPainter& p, const QSize& size, const tspectrum& s) {
    const tspectrumf0 f = spectrum_f0(s);
    if (!f.valid) return;
    TAxis& fa = plot_->xaxis()->axis();
    auto line = [&](double hz, QColor c) {
        p.setPen(c);
        const int x = fa.value_to_notclippedpixel(hz);
        p.drawLine(x, 0, x, size.height());
    };
    for (int v = 1; v <= f.harmonics; ++v) line(v * f.f0, Qt::blue);
    line(f.peakfreq, Qt::red);
    line(f.f0, Qt::darkGreen);
    p.setPen(Qt::black);
}

void tspectrumwindow::paint_overlay(QPainter& p, const QSize& size) {
    if (!crosshair_) return;
    TAxis& f = plot_->xaxis()->axis();
    TAxis& y = plot_->yaxis()->axis();
    p.setPen(Qt::red);
    const double fc = ctx_.doc.theglobal.freqcursor();
    if (fc > 0 || !f.GetLogarithmic()) {
        const int px = f.value_to_pixel(fc);
        if (px >= 1) p.drawLine(px, 0, px, size.height());
    }
    const int py = y.value_to_pixel(flcursor_);
    if (py >= 1) p.drawLine(0, py, size.width(), py);
}

// ------------------------------------------------------------------ cursor

void tspectrumwindow::cursor_at(int x, int yp) {
    tdocument& doc = ctx_.doc;
    const int c = snap_channel();
    TAxis& f = plot_->xaxis()->axis();
    TAxis& y = plot_->yaxis()->axis();
    double freq = f.pixel_to_value(x);
    double level = y.pixel_to_value(yp);
    if (c >= 0) {
        freq = std::min(freq, doc.channel(c).sampfreq / 2);
        const tspectrum* s = spectrum_of(c);
        if (s && (st_.fsnapmode == 1 || st_.fsnapmode == 2)) {
            const tsnapresult r = st_.fsnapmode == 1 ? snap_to_curve(*s, freq, reference(c))
                                                     : snap_to_peak(*s, freq, reference(c));
            freq = r.f;
            level = r.level;
        }
    }
    flcursor_ = level;
    crosshair_ = true;
    settingcursor_ = true;
    doc.theglobal.set_freqcursor(freq);  // tells the other windows
    settingcursor_ = false;
    update_readouts();
    plot_->update_overlay();
}

void tspectrumwindow::update_readouts() {
    const tpreferences& prefs = ctx_.doc.prefs;
    const double f = ctx_.doc.theglobal.freqcursor();
    if (crosshair_ || f > 0) {
        status_->set_text(0, "f=" + qs(format_significant(prefs.nSignificantDigits, f)) + " Hz (" +
                                 qs(freq_to_notename(f, true)) + ")");
        status_->set_text(1, "L=" + qs(format_float_pattern(prefs.dBFormat, flcursor_)) + " dB");
    }
    const int c = std::max(0, snap_channel());
    static const char* const free_texts[] = {"", "Snap to channel ", "Snap to peaks of channel ",
                                             "Show centroid of channel "};
    static const char* const locked_texts[] = {"", "Snap locked to channel ",
                                               "Snap locked to peaks of channel ",
                                               "Show locked to centroid of channel "};
    const int m = std::clamp(st_.fsnapmode, 0, 3);
    status_->set_text(2, m == 0 ? QString() : (st_.locksnap ? locked_texts : free_texts)[m] + QString::number(c));
    if (QAction* lock = action("locksnapaction"))
        lock->setToolTip((st_.locksnap ? "Locked snapping to channel " : "Lock snapping to channel ") +
                         QString::number(c));
    update_enablings();
}

void tspectrumwindow::update_enablings() {
    if (QAction* a = action("logcursoraction")) a->setEnabled(ctx_.doc.theglobal.freqcursor() > 0);
    if (QAction* a = action("logmeasaction"))
        a->setEnabled(st_.fltasmode != 0 && (st_.showfcp || st_.showbands));
}

// ------------------------------------------------------------------ logs

void tspectrumwindow::logcursoractionExecute() {
    tdocument& doc = ctx_.doc;
    const double f = doc.theglobal.freqcursor();
    if (!(f > 0)) return;
    double t1 = 0, t2 = 0;
    if (st_.fltasmode != 0 && doc.totnchans() > 0)
        ltas_span(doc.channel(std::max(0, snap_channel())), st_.fltasmode, doc.theglobal.leftselcursor(),
                  doc.theglobal.rightselcursor(), t1, t2);
    const tspectrumlog log = cursor_log(st_.fltasmode != 0, doc.theglobal.timecursor(), t1, t2, f,
                                        flcursor_, doc.prefs);
    ctx_.measurements.datalog.add_line(log.heading, log.lines.front());
    if (const tlpcenvelope* e = envelope_of(std::max(0, snap_channel()))) {
        const tlpclog lpc = lpc_formants_log(*e, st_.fltasmode != 0,
                                             st_.fltasmode != 0 ? t1 : doc.theglobal.timecursor(), t2, doc.prefs);
        ctx_.measurements.datalog.add_line(lpc.heading, lpc.line);
    }
    ctx_.windows.show("datalog");
}

void tspectrumwindow::logspectrumactionExecute() {
    tdocument& doc = ctx_.doc;
    if (doc.totnchans() == 0) return;
    const int c = doc.thischanno();
    if (!ltas_ready(c)) return;  // the current channel may not be ticked
    const tspectrum* s = spectrum_of(c);
    if (!s) return;
    const tspectrumlog log = spectrum_log(*s, reference(c), doc.prefs);
    QWidget* logwindow = ctx_.windows.window("datalog");
    if (logwindow) logwindow->hide();
    // The log window follows once, after the last line, not per line.
    tdatalog& datalog = ctx_.measurements.datalog;
    auto changed = std::move(datalog.changed);
    datalog.changed = nullptr;
    try {
        for (const std::string& line : log.lines) datalog.add_line(log.heading, line);
    } catch (...) {
        datalog.changed = std::move(changed);
        throw;
    }
    datalog.changed = std::move(changed);
    if (datalog.changed) datalog.changed();
    ctx_.windows.show("datalog");
}

tspectrummeas tspectrumwindow::measure(int chno) {
    tspectrummeas m;
    m.chno = chno;
    m.filename = ctx_.doc.channel(chno).filename;
    m.bands = st_.freqbands;
    const tspectrum* s = spectrum_of(chno);
    if (s) {
        m.trend = compute_fcp(*s, st_.fcp);
        for (const tfreqband& b : st_.freqbands) m.banddata.push_back(band_level(*s, b.lo, b.hi));
    } else {
        m.banddata.assign(st_.freqbands.size(), {});
    }
    return m;
}

void tspectrumwindow::logmeasactionExecute() {
    if (st_.fltasmode == 0 || !(st_.showfcp || st_.showbands) || ctx_.doc.totnchans() == 0) return;
    if (!ltas_ready()) return;
    std::vector<tspectrummeas> all;
    for (int chno : shown_channels()) all.push_back(measure(chno));
    if (all.empty()) return;
    const tglobal& g = ctx_.doc.theglobal;
    const tspectrumlog log = measurement_log(all, st_.showfcp, st_.showbands, g.leftselcursor(),
                                             g.rightselcursor(), ctx_.doc.prefs);
    ctx_.measurements.datalog.add_line(log.heading, log.lines.front());
    ctx_.windows.show("datalog");
}

void tspectrumwindow::makelabelExecute() {
    if (!ltas_ready()) return;  // cancelled: no label
    std::vector<tspectrummeas> measured;
    for (int chno : shown_channels()) measured.push_back(measure(chno));
    const tglobal& g = ctx_.doc.theglobal;
    run_guarded(&ctx_.doc, [&] {
        make_spectrum_labels(ctx_.doc, measured, st_.fltasmode != 0 && st_.showfcp,
                             st_.fltasmode != 0 && st_.showbands, g.leftselcursor(), g.rightselcursor());
    }, false, make_spectrum_labels_caption);
}

// ------------------------------------------------------------------ bands

bool tspectrumwindow::ask_range(double& lo, double& hi) {
    tfrequencyrangedialog dlg(this);
    return dlg.ask(lo, hi);
}

void tspectrumwindow::add_band(double lo, double hi) {
    st_.freqbands.push_back({lo, hi, true});
    refresh_bandlist();
    plot_->mark_dirty();
}

void tspectrumwindow::remove_band(int index) {
    if (index < 0 || index >= static_cast<int>(st_.freqbands.size())) return;
    const tfreqband& b = st_.freqbands[static_cast<std::size_t>(index)];
    if (ctx_.prompter.ask("Do you want to delete band " + band_text(b, " - ") + " Hz",
                          "Delete frequency band", tbuttons::yesno, ticon::question) != tanswer::yes)
        return;
    st_.freqbands.erase(st_.freqbands.begin() + index);
    refresh_bandlist();
    plot_->mark_dirty();
}

// ------------------------------------------------------------------ persistence

void tspectrumwindow::save_settings_to(const QString& path) const {
    TSetting ini;
    open_settings_file(ini, path);
    const std::string s = "Spectrum";
    ini.WriteFloat(s, "Bandwidth", st_.fft.bw);
    ini.WriteInteger(s, "Window", static_cast<int>(st_.fft.fftwin));
    ini.WriteInteger(s, "WinPos", st_.fft.winpos);
    ini.WriteBool(s, "RemoveDC", st_.fft.removedc);
    ini.WriteInteger(s, "Relative", st_.relative);
    ini.WriteInteger(s, "FrequencyAxis", st_.freqaxis);
    ini.WriteInteger(s, "LTAS", st_.fltasmode);
    ini.WriteInteger(s, "Snap", st_.fsnapmode);
    ini.WriteBool(s, "LockSnap", st_.locksnap);
    ini.WriteBool(s, "ShowGrid", st_.showgrid);
    ini.WriteBool(s, "ShowLPCEnvelope", st_.showlpc);
    ini.WriteBool(s, "ShowFCP", st_.showfcp);
    ini.WriteBool(s, "ShowBands", st_.showbands);
    ini.WriteFloat(s, "TrendLo", st_.fcp.lotrendlinef);
    ini.WriteFloat(s, "TrendHi", st_.fcp.hitrendlinef);
    ini.WriteFloat(s, "FCPLo", st_.fcp.lofcpf);
    ini.WriteFloat(s, "FCPHi", st_.fcp.hifcpf);
    ini.DeleteSection("SpectrumBands");
    ini.WriteInteger("SpectrumBands", "Count", static_cast<int>(st_.freqbands.size()));
    for (std::size_t i = 0; i < st_.freqbands.size(); ++i) {
        const std::string k = std::to_string(i);
        ini.WriteFloat("SpectrumBands", "Lo" + k, st_.freqbands[i].lo);
        ini.WriteFloat("SpectrumBands", "Hi" + k, st_.freqbands[i].hi);
        ini.WriteBool("SpectrumBands", "Checked" + k, st_.freqbands[i].checked);
    }
    ini.IniClose();
}

void tspectrumwindow::load_settings_from(const QString& path) {
    TSetting ini;
    const std::string s = "Spectrum";
    if (!read_settings_file(ini, path, s, "Bandwidth")) return;
    tspectrumstate n = st_;
    auto clampi = [](std::int64_t v, int lo, int hi, int def) {
        return v >= lo && v <= hi ? static_cast<int>(v) : def;
    };
    const double bw = ini.ReadFloat(s, "Bandwidth", n.fft.bw);
    if (bw >= fields::spectrumbandwidth.lo && bw <= fields::spectrumbandwidth.hi) n.fft.bw = bw;
    n.fft.fftwin = static_cast<TFFTWindow>(clampi(ini.ReadInteger(s, "Window", 4), 0, 4, 4));
    n.fft.winpos = clampi(ini.ReadInteger(s, "WinPos", 1), 0, 2, 1);
    n.fft.removedc = ini.ReadBool(s, "RemoveDC", true);
    n.relative = clampi(ini.ReadInteger(s, "Relative", 0), 0, 2, 0);
    n.freqaxis = clampi(ini.ReadInteger(s, "FrequencyAxis", 1), 0, 2, 1);
    n.fltasmode = clampi(ini.ReadInteger(s, "LTAS", 0), 0, 2, 0);
    n.fsnapmode = clampi(ini.ReadInteger(s, "Snap", 0), 0, 3, 0);
    n.locksnap = ini.ReadBool(s, "LockSnap", false);
    n.showgrid = ini.ReadBool(s, "ShowGrid", true);
    n.showlpc = ini.ReadBool(s, "ShowLPCEnvelope", false);
    n.showfcp = ini.ReadBool(s, "ShowFCP", false);
    n.showbands = ini.ReadBool(s, "ShowBands", false);
    auto pos = [&](const char* key, double& v) {
        const double x = ini.ReadFloat(s, key, v);
        if (x > 0 && std::isfinite(x)) v = x;
    };
    pos("TrendLo", n.fcp.lotrendlinef);
    pos("TrendHi", n.fcp.hitrendlinef);
    pos("FCPLo", n.fcp.lofcpf);
    pos("FCPHi", n.fcp.hifcpf);
    const int count = clampi(ini.ReadInteger("SpectrumBands", "Count", -1), 0, 1000, -1);
    if (count >= 0) {
        n.freqbands.clear();
        for (int i = 0; i < count; ++i) {
            const std::string k = std::to_string(i);
            tfreqband b;
            b.lo = ini.ReadFloat("SpectrumBands", "Lo" + k, 0);
            b.hi = ini.ReadFloat("SpectrumBands", "Hi" + k, 0);
            b.checked = ini.ReadBool("SpectrumBands", "Checked" + k, true);
            if (std::isfinite(b.lo) && std::isfinite(b.hi)) n.freqbands.push_back(b);
        }
    }
    set_state(n);
}

}  // namespace tessal
