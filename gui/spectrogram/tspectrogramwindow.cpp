// The spectrogram window: controls, strips and their layout, the deferred
// updates and the workers, painting, the mouse, the log and the settings
// kept between runs.
#include <QStatusBar>
#include <QMainWindow>
#include "gui/files/fileprogress.h"
#include "gui/spectrogram/tspectrogramwindow.h"

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
#include <QMouseEvent>
#include <QPainter>
#include <QRadioButton>
#include <QSplitter>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "engine/core/tchannel.h"
#include "engine/core/tdocument.h"
#include "engine/dsp/notes.h"
#include "engine/dsp/numformat.h"
#include "engine/settings/tsetting.h"
#include "engine/view/viewmouse.h"
#include "gui/commands/commandguard.h"
#include "gui/context/appcontext.h"
#include "gui/widgets/taxiswidget.h"
#include "gui/widgets/settingspage.h"
#include "gui/widgets/tplotpanel.h"

namespace tessal {

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }

// Work below which a strip is computed at once on this thread (columns
// times frame length): some tens of milliseconds at most.
constexpr double immediate_work = 2e6;

}  // namespace

// A strip's paint box: paints through the window, forwards the mouse.
class TSpegCanvas : public QWidget {
public:
    TSpegCanvas(tspectrogramwindow* w, int chno, QWidget* parent)
        : QWidget(parent), chno_(chno), w_(w) {
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

private:
    void send(QMouseEvent* e, int kind) {
        if (kind == 0 && e->button() != Qt::LeftButton) return;
        w_->strip_mouse(chno_, e->position().toPoint(), kind, e->modifiers() & Qt::ShiftModifier);
    }
    tspectrogramwindow* w_;
};

// The panel the strips and the time axis lie on.
class TSpegArea : public QWidget {
public:
    explicit TSpegArea(tspectrogramwindow* w) : w_(w) {}

protected:
    void resizeEvent(QResizeEvent*) override { w_->layout_strips(); }

private:
    tspectrogramwindow* w_;
};

class TColorBar : public QWidget {
public:
    explicit TColorBar(tspectrogramwindow* w) : w_(w) { setFixedWidth(16); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        w_->paint_colorbar(p, size());
    }

private:
    tspectrogramwindow* w_;
};

struct tspectrogramwindow::trun {
    unsigned long long id = 0;
    bool corr = false;
    tcorrelogramsettings corrsettings;
    long long largest = 0;
    tcolumnsamples cols;
    std::vector<double> rows;
    tspectrogramsettings settings;
    tspectrogramstrip out;
    std::atomic<bool> cancel{false};
    std::thread thread;
};

struct tspectrogramwindow::tstrip {
    bool fvisible = true;
    bool fspegdirty = true;
    bool fbmpdirty = true;
    bool scheduled = false;
    TAxisWidget* axis = nullptr;
    TSpegCanvas* canvas = nullptr;
    tsubscribers<TAxis&>::token scaletoken = 0;
    tspectrogramstrip speg;
    std::vector<double> rows;
    double t1 = 0, t2 = 0;  // the time range the levels were computed for
    std::vector<TTracePoint> trace;
    bool tracemodified = false;
    int picked = -1;  // the trace point a move or delete started on
    int pickedfound = 0;
    QImage bmp;
    unsigned long long calcowner = 0;
    std::unique_ptr<trun> run;
};

tspectrogramwindow::tspectrogramwindow(tappcontext& ctx, QWidget* owner, bool correlogram)
    : QWidget(owner, Qt::Window | Qt::Tool), ctx_(ctx), correlogram_(correlogram) {
    setWindowTitle(correlogram ? "Correlogram - Tessal" : "Spectrogram - Tessal");
    if (correlogram) {
        st_.levello = 0;
        st_.levelhi = 1;
        st_.tilt = 0;
    }
    build_ui();
    write_controls();
    if (correlogram) set_trace_mode(0);
    timer_ = new QTimer(this);
    timer_->setInterval(200);
    connect(timer_, &QTimer::timeout, this, [this] { tick(); });
    timer_->start();
    ctx_.doc.theglobal.add_listener(this);
}

tspectrogramwindow::~tspectrogramwindow() {
    for (std::size_t i = 0; i < strips_.size(); ++i) cancel(static_cast<int>(i));
    if (persist) run_guarded(nullptr, [&] { persist(*this); });
    ctx_.doc.theglobal.remove_listener(this);
    for (auto& s : strips_)
        if (s->axis) s->axis->axis().OnScaleChanged.unsubscribe(s->scaletoken);
}

QAction* tspectrogramwindow::action(const QString& name) const { return findChild<QAction*>(name); }

// ------------------------------------------------------------------ controls

void tspectrogramwindow::build_ui() {
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    toolbar_ = new QToolBar(this);
    outer->addWidget(toolbar_);
    auto check = [this](const char* id, const QString& caption, const QString& hint, auto onchange) {
        QAction* a = toolbar_->addAction(caption);
        a->setObjectName(id);
        a->setToolTip(hint);
        a->setCheckable(true);
        connect(a, &QAction::triggered, this, onchange);
        return a;
    };
    QAction* logcursor = toolbar_->addAction("Log cursor");
    logcursor->setObjectName("logcursoraction");
    logcursor->setToolTip("Log cursor");
    logcursor->setShortcut(QKeySequence("F5"));
    logcursor->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    addAction(logcursor);
    connect(logcursor, &QAction::triggered, this,
            [this] { run_guarded(&ctx_.doc, [&] { logcursoractionExecute(); }, false); });
    QAction* showlog = toolbar_->addAction("Show log");
    showlog->setObjectName("showlogaction");
    connect(showlog, &QAction::triggered, this, [this] { ctx_.windows.show(twindowid::datalog); });
    check("zoomselectionaction", "Zoom selection", "Follow zoom in main window", [this](bool on) {
        st_.zoomselection = on;
        schedule(true);
    });
    check("tandemaction", "Tandem f axes", "Lock frequency axes to one another",
          [this](bool on) { st_.tandem = on; });
    colorcombo_ = new QComboBox;
    colorcombo_->setObjectName("colorcombo");
    colorcombo_->setToolTip("Color");
    for (int i = 0; i < 5; ++i) colorcombo_->addItem(spectrogram_colormode_name(i));
    toolbar_->addWidget(colorcombo_);
    connect(colorcombo_, &QComboBox::activated, this, [this](int i) {
        st_.colormode = i;
        settings_changed(false);
    });
    check("showgridaction", "Show grid", "Show gridlines", [this](bool on) {
        st_.showgrid = on;
        repaint_strips();
    });
    check("freezeaction", "Freeze", correlogram_ ? "Freeze correlograms" : "Freeze spectrograms",
          [this](bool on) { set_frozen(on); });
    auto* split = new QSplitter(Qt::Horizontal, this);
    outer->addWidget(split, 1);
    tabs_ = new QTabWidget(split);

    auto* settings = new QWidget;
    auto* sl = new QVBoxLayout(settings);
    QWidget* tracing = correlogram_ ? build_correlogram_ui(sl) : nullptr;
    const tfftbox fft = add_fft_box(sl, "300");
    windowcombo_ = fft.window;
    bwedit_ = fft.bandwidth;
    lengthlabel_ = fft.length;
    fft.box->setVisible(!correlogram_);
    relbox_ = add_radio_box(sl, "Level relative to...", relgroup_, {"1", "FSD", "Channel reference"}, this);
    axisbox_ = add_radio_box(sl, "Frequency axis", axisgroup_, {"Linear", "Logarithmic", "Music notes"}, this);
    tiltlabel_ = new QLabel("Tilt [dB/oct]");
    sl->addWidget(tiltlabel_);
    tiltedit_ = new QLineEdit("6");
    tiltedit_->setObjectName("tiltedit");
    sl->addWidget(tiltedit_);
    harmonics_ = new QCheckBox("Show harmonic cursors");
    harmonics_->setObjectName("harmonicscheck");
    sl->addWidget(harmonics_);
    harmoniclabel_ = new QLabel("Point at harmonic number");
    harmonicedit_ = new QLineEdit("1");
    harmonicedit_->setObjectName("harmonicedit");
    sl->addWidget(harmoniclabel_);
    sl->addWidget(harmonicedit_);
    if (correlogram_) {
        // The correlogram's colours depend on r and gamma alone.
        for (QWidget* w : std::initializer_list<QWidget*>{relbox_, axisbox_, tiltlabel_, tiltedit_, harmonics_})
            w->setVisible(false);
    }
    auto* levelrow = new QHBoxLayout;
    grayaxis_ = new TAxisWidget;
    grayaxis_->setObjectName("grayaxis");
    {
        TAxis& g = grayaxis_->axis();
        g.SetPosition(taxisposition::posleft);
        g.SetAxisText(correlogram_ ? "  r" : "[dB]");
        g.SetMinLoValue(-1e300);
        g.SetMaxHiValue(1e300);
        if (correlogram_) g.set_hilovalues(1, 0);
        else g.set_hilovalues(1, -100);
        g.SetTickSpaceAim(40);
        g.fallowdoubleclick = true;
        g.OnScaleChanged.subscribe([this](TAxis& a) {
            if (updating_) return;
            st_.levello = a.GetLoValue();
            st_.levelhi = a.GetHiValue();
            settings_changed(false);
        });
    }
    grayaxis_->setFixedWidth(50);
    grayaxis_->setMinimumHeight(140);
    colorbar_ = new TColorBar(this);
    levelrow->addWidget(grayaxis_);
    levelrow->addWidget(colorbar_);
    levelrow->addStretch(1);
    if (correlogram_) {
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
    } else {
        sl->addLayout(levelrow, 1);
    }
    tabs_->addTab(scrolled_page(settings), "Settings");
    channels_ = new TChannelCheckList;
    tabs_->addTab(channels_, "Channels");
    if (tracing) tabs_->addTab(scrolled_page(tracing), "T0/F0 Tracing");
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
    split->setSizes(correlogram_ ? QList<int>{300, 600} : QList<int>{220, 680});
    status_ = new TStatusPanels({150, 100, 50}, this);
    outer->addWidget(status_);

    auto edited = [this] { read_controls(); };
    for (QLineEdit* e : {bwedit_, tiltedit_, harmonicedit_})
        connect(e, &QLineEdit::editingFinished, this, edited);
    connect(windowcombo_, &QComboBox::activated, this, edited);
    connect(relgroup_, &QButtonGroup::idClicked, this, edited);
    connect(axisgroup_, &QButtonGroup::idClicked, this, edited);
    connect(harmonics_, &QCheckBox::toggled, this, edited);
}

void tspectrogramwindow::write_controls() {
    updating_ = true;
    windowcombo_->setCurrentIndex(static_cast<int>(st_.fft.fftwin));
    bwedit_->setText(qs(float_to_text(st_.fft.bw)));
    lengthlabel_->setText("Window length: " +
                          qs(format_significant(ctx_.doc.prefs.nSignificantDigits, st_.fft.fwinlength() * 1000)) +
                          " ms");
    relgroup_->button(st_.relative)->setChecked(true);
    axisgroup_->button(st_.freqaxis)->setChecked(true);
    tiltedit_->setText(qs(float_to_text(st_.tilt)));
    harmonics_->setChecked(st_.harmonics);
    harmonicedit_->setText(QString::number(st_.harmonicno));
    harmoniclabel_->setVisible(st_.harmonics && !correlogram_);
    if (correlogram_) {
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
    harmonicedit_->setVisible(st_.harmonics && !correlogram_);
    colorcombo_->setCurrentIndex(st_.colormode);
    action("showgridaction")->setChecked(st_.showgrid);
    action("zoomselectionaction")->setChecked(st_.zoomselection);
    action("tandemaction")->setChecked(st_.tandem);
    action("freezeaction")->setChecked(frozen_);
    grayaxis_->axis().set_hilovalues(st_.levelhi, st_.levello);
    updating_ = false;
}

void tspectrogramwindow::read_controls() {
    if (updating_) return;
    tspectrogramstate n = st_;
    n.fft.fftwin = static_cast<TFFTWindow>(std::clamp(windowcombo_->currentIndex(), 0, 4));
    double v = 0;
    if (try_parse_float(bwedit_->text().toStdString(), v) && v > 0 && std::isfinite(v)) n.fft.bw = v;
    if (try_parse_float(tiltedit_->text().toStdString(), v) && std::isfinite(v)) n.tilt = v;
    if (try_parse_float(harmonicedit_->text().toStdString(), v) && v >= 1 && v <= 100)
        n.harmonicno = static_cast<int>(v);
    n.relative = std::max(0, relgroup_->checkedId());
    n.freqaxis = std::max(0, axisgroup_->checkedId());
    n.harmonics = harmonics_->isChecked();
    const bool levels = !(n.fft == st_.fft) || n.freqaxis != st_.freqaxis;
    const bool axis = n.freqaxis != st_.freqaxis;
    st_ = n;
    write_controls();
    if (axis)
        for (auto& s : strips_) apply_freqaxis(s->axis->axis());
    settings_changed(levels);
}

void tspectrogramwindow::set_state(const tspectrogramstate& s) {
    const bool vertical = s.corr.fvertaxistype != st_.corr.fvertaxistype;
    st_ = s;
    write_controls();
    for (auto& sp : strips_) {
        if (correlogram_) apply_corraxis(sp->axis->axis(), vertical);
        else apply_freqaxis(sp->axis->axis());
    }
    settings_changed(true);
}

void tspectrogramwindow::settings_changed(bool levels) {
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

void tspectrogramwindow::apply_freqaxis(TAxis& a) {
    if (correlogram_) {
        apply_corraxis(a, false);
        return;
    }
    double fsmax = 0;
    for (int i = 0; i < ctx_.doc.totnchans(); ++i) fsmax = std::max(fsmax, ctx_.doc.channel(i).sampfreq);
    a.SetMaxHiValue(std::max(1000000.0, fsmax / 2));
    if (st_.freqaxis == 0) {
        a.SetMinLoValue(0);
        a.SetLogarithmic(false);
        a.SetMusicScale(false);
        a.SetAxisText("[Hz]");
    } else {
        if (a.GetLoValue() <= 0) a.SetLoValue(50);
        a.SetLogarithmic(true);
        a.SetMusicScale(st_.freqaxis == 2);
        a.SetAxisText(st_.freqaxis == 2 ? "" : "[Hz]");
    }
}

// ------------------------------------------------------------------ correlogram controls

QWidget* tspectrogramwindow::build_correlogram_ui(QVBoxLayout* sl) {
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

    auto* page = new QWidget;
    auto* pl = new QVBoxLayout(page);
    // The trace commands as a grid of buttons, two to a row, so that all
    // of them fit the side panel.
    auto* commands = new QGridLayout;
    pl->addLayout(commands);
    int slot = 0;
    auto place = [&](QAction* a) {
        auto* b = new QToolButton;
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
        QAction* a = place(new QAction(m.caption, this));
        a->setObjectName(m.id);
        a->setToolTip(m.hint);
        a->setCheckable(true);
        modes->addAction(a);
        const int mode = m.mode;
        connect(a, &QAction::triggered, this, [this, mode] { set_trace_mode(mode); });
    }
    auto command = [&](const char* id, const QString& caption, auto work) {
        QAction* a = place(new QAction(caption, this));
        a->setObjectName(id);
        connect(a, &QAction::triggered, this, [this, work] { run_guarded(&ctx_.doc, work, false); });
        return a;
    };
    command("newtraceaction", "New trace", [this] {
        const int c = ctx_.doc.thischanno();
        if (c < 0 || c >= strip_count()) return;
        if (!may_replace_trace(c)) return;
        trace(c).clear();
        strips_[static_cast<std::size_t>(c)]->tracemodified = false;
        repaint_strips();
    });
    command("opentraceaction", "Open trace...", [this] {
        const int c = ctx_.doc.thischanno();
        if (c >= 0 && c < strip_count() && !may_replace_trace(c)) return;
        const QString f = QFileDialog::getOpenFileName(this, "Open trace", {},
                                                       "Trace files (*.ctr);;All filer (*)");
        if (!f.isEmpty()) open_trace(f, ctx_.doc.thischanno());
    });
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

void tspectrogramwindow::read_corr_controls() {
    if (updating_ || !correlogram_) return;
    tspectrogramstate n = st_;
    double v = 0;
    auto number = [&v](QLineEdit* e) {
        return try_parse_float(e->text().toStdString(), v) && std::isfinite(v);
    };
    if (number(corrlengthedit_) && v > 0) n.corr.ffixedcorrlength = v / 1000;
    n.corr.fwinlengthmode = lengthmodegroup_->checkedId() == 1 ? 1 : 0;
    if (number(factoredit_) && v > 0) n.corr.fwinlengthfactor = v;
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
}

void tspectrogramwindow::apply_corraxis(TAxis& a, bool reset) {
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

void tspectrogramwindow::rebuild_strips() {
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
        if (correlogram_) {
            apply_corraxis(a, true);
        } else {
            a.set_hilovalues(10000, 0);
            apply_freqaxis(a);
        }
        s->scaletoken = a.OnScaleChanged.subscribe([this, chno](TAxis& changed) {
            if (updating_) return;
            if (st_.tandem && !copying_axes_) {
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

void tspectrogramwindow::rebuild_channels() {
    rebuild_strips();
    channels_->rebuild(ctx_.doc, [this](int i) { return strip_visible(i); });
    if (correlogram_) fill_channel_combos();
}

bool tspectrogramwindow::strip_visible(int chno) const {
    return chno >= 0 && chno < strip_count() && strips_[static_cast<std::size_t>(chno)]->fvisible;
}

void tspectrogramwindow::set_strip_visible(int chno, bool on) {
    if (chno < 0 || chno >= strip_count()) return;
    strips_[static_cast<std::size_t>(chno)]->fvisible = on;
    if (channels_->is_checked(chno) != on) channels_->set_checked(chno, on);
    layout_strips();
    update_strips();
}

void tspectrogramwindow::layout_strips() {
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

TAxis& tspectrogramwindow::freq_axis(int chno) { return strips_.at(static_cast<std::size_t>(chno))->axis->axis(); }
TAxis& tspectrogramwindow::time_axis() { return timeaxis_->axis(); }
const tspectrogramstrip& tspectrogramwindow::levels(int chno) const {
    return strips_.at(static_cast<std::size_t>(chno))->speg;
}
const std::vector<double>& tspectrogramwindow::row_freqs(int chno) const {
    return strips_.at(static_cast<std::size_t>(chno))->rows;
}
QImage tspectrogramwindow::picture(int chno) const { return strips_.at(static_cast<std::size_t>(chno))->bmp; }

void tspectrogramwindow::repaint_strips() {
    for (auto& s : strips_)
        if (s->canvas) s->canvas->update();
}

// ------------------------------------------------------------------ updates

void tspectrogramwindow::synchronise_time_axis() {
    if (frozen_) return;
    const tglobal& g = ctx_.doc.theglobal;
    double lo = ctx_.doc.xaxis.GetLoValue(), hi = ctx_.doc.xaxis.GetHiValue();
    if (st_.zoomselection && g.has_selection()) {
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

void tspectrogramwindow::schedule(bool sync) {
    if (sync) syncpending_ = true;
    if (countdown_ <= 0) countdown_ = 5;
}

void tspectrogramwindow::tick() {
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

void tspectrogramwindow::update_strips() {
    if (!isVisible() || frozen_) return;
    // Nothing is computed while the recording window records: the channels
    // grow and the processor is the recording's.
    if (ctx_.view.recording) {
        waitingforrecording_ = true;
        repaint_strips();
        return;
    }
    for (int i = 0; i < strip_count(); ++i) {
        tstrip& s = *strips_[static_cast<std::size_t>(i)];
        if (s.fvisible && s.fspegdirty) compute(i);
    }
    repaint_strips();
}

void tspectrogramwindow::set_frozen(bool on) {
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

void tspectrogramwindow::cancel(int chno) {
    tstrip& s = *strips_[static_cast<std::size_t>(chno)];
    if (!s.run) return;
    s.run->cancel = true;
    if (s.run->thread.joinable()) s.run->thread.join();
    s.run.reset();
}

void tspectrogramwindow::compute(int chno) {
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
    if (correlogram_) {
        const long long largest = correlogram_largest_lag(st_.corr, fa.GetLoValue(), fa.GetHiValue(), ch.sampfreq);
        const long long Nc = std::max(16LL, static_cast<long long>(std::llround(st_.corr.ffixedcorrlength * ch.sampfreq)));
        const long long len = st_.corr.fwinlengthmode == 0
                                  ? Nc + largest
                                  : static_cast<long long>(std::llround((st_.corr.fwinlengthfactor + 1) * largest));
        ++workerruns_;
        auto run = std::make_unique<trun>();
        run->id = s.calcowner;
        run->corr = true;
        run->corrsettings = st_.corr;
        run->largest = largest;
        run->cols.N = len;
        run->cols.fs = ch.sampfreq;
        run->cols.times = times;
        run->cols.starts.resize(times.size());
        run->cols.data.resize(times.size() * static_cast<std::size_t>(std::max(0LL, len)));
        const tsampleview sv = sample_view(ch);
        for (std::size_t x = 0; x < times.size(); ++x) {
            const long long st = std::llround(times[x] * ch.sampfreq);
            run->cols.starts[x] = st;
            float* d = run->cols.data.data() + x * static_cast<std::size_t>(len);
            for (long long i = 0; i < len; ++i) d[i] = static_cast<float>(sv.at(st + i));
        }
        run->rows = std::move(rows);
        trun* r = run.get();
        const unsigned long long id = run->id;
        s.run = std::move(run);
        status_->set_text(2, "Calculating correlogram for channel " + QString::number(chno));
        r->thread = std::thread([this, r, chno, id] {
            const int h = static_cast<int>(r->rows.size());
            r->out.width = static_cast<int>(r->cols.times.size());
            r->out.height = h;
            r->out.levels.assign(static_cast<std::size_t>(r->out.width) * static_cast<std::size_t>(h), -1.0f);
            std::vector<float> buf;
            for (int x = 0; x < r->out.width; ++x) {
                if (x % 10 == 0 && r->cancel) return;
                correlogram_column(r->cols.view(x), r->corrsettings, r->largest,
                                   r->cols.times[static_cast<std::size_t>(x)], r->rows,
                                   r->out.levels.data() + static_cast<std::size_t>(x) * static_cast<std::size_t>(h), buf);
            }
            QMetaObject::invokeMethod(this, [this, chno, id] { take_result(chno, id); }, Qt::QueuedConnection);
        });
        // Little work (a short view at a short window) is waited for here.
        if (static_cast<double>(W) * H * static_cast<double>(Nc) < 1e8) take_result(chno, id);
        return;
    }
    const long long N = spectrogram_frame_length(st_.fft, ch.sampfreq);
    status_->set_text(2, "Calculating spectrogram for channel " + QString::number(chno));
    if (static_cast<double>(W) * static_cast<double>(std::max(16LL, N)) < immediate_work) {
        compute_spectrogram(sample_view(ch), st_.fft, times, rows, s.speg);
        s.rows = std::move(rows);
        s.t1 = t1;
        s.t2 = t2;
        s.fspegdirty = false;
        s.fbmpdirty = true;
        status_->set_text(2, "Done ");
        s.canvas->update();
        return;
    }
    ++workerruns_;
    auto run = std::make_unique<trun>();
    run->id = s.calcowner;
    run->cols = copy_column_samples(sample_view(ch), st_.fft, times);
    run->rows = std::move(rows);
    run->settings = st_.fft;
    trun* r = run.get();
    const unsigned long long id = run->id;
    s.run = std::move(run);
    r->thread = std::thread([this, r, chno, id] {
        if (compute_spectrogram(r->cols, r->settings, r->rows, r->out, 2, &r->cancel))
            QMetaObject::invokeMethod(this, [this, chno, id] { take_result(chno, id); },
                                      Qt::QueuedConnection);
    });
}

void tspectrogramwindow::take_result(int chno, unsigned long long id) {
    if (chno >= strip_count()) return;
    tstrip& s = *strips_[static_cast<std::size_t>(chno)];
    if (!s.run || s.run->id != id) return;
    if (s.run->thread.joinable()) s.run->thread.join();
    s.speg = std::move(s.run->out);
    s.rows = std::move(s.run->rows);
    s.t1 = s.run->cols.times.empty() ? 0 : s.run->cols.times.front();
    s.t2 = s.run->cols.times.empty() ? 0 : s.run->cols.times.back();
    s.run.reset();
    s.fspegdirty = false;
    s.fbmpdirty = true;
    status_->set_text(2, "Done ");
    s.canvas->update();
}

void tspectrogramwindow::wait_for_workers() {
    for (int i = 0; i < strip_count(); ++i) {
        tstrip& s = *strips_[static_cast<std::size_t>(i)];
        if (!s.run) continue;
        if (s.run->thread.joinable()) s.run->thread.join();
        if (!s.run->cancel) take_result(i, s.run->id);
    }
}

double tspectrogramwindow::reference(int chno) const {
    const tchannel& ch = ctx_.doc.channel(chno);
    return level_reference(st_.relative, ch.fsd(), ch.dbreference);
}

void tspectrogramwindow::build_picture(int chno) {
    tstrip& s = *strips_[static_cast<std::size_t>(chno)];
    s.fbmpdirty = false;
    if (s.speg.width < 1 || s.speg.height < 1) {
        s.bmp = QImage();
        return;
    }
    tspegpicture p;
    p.lo = st_.levello;
    p.hi = st_.levelhi;
    p.R = reference(chno);
    p.tilt = st_.tilt;
    p.colormode = st_.colormode;
    p.channel = ctx_.doc.channel(chno).color;
    std::vector<std::uint32_t> px;
    if (correlogram_) {
        const int w = s.speg.width, h = s.speg.height;
        px.resize(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
        const double span = st_.levelhi - st_.levello;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const double v = span != 0 ? (s.speg.at(x, y) - st_.levello) / span : 0;
                const double g = (v < 0 ? -1 : 1) * std::pow(std::fabs(v), st_.gamma);
                px[static_cast<std::size_t>(h - 1 - y) * static_cast<std::size_t>(w) + static_cast<std::size_t>(x)] =
                    spectrogram_color(st_.colormode, g, p.channel);
            }
    } else {
        spectrogram_picture(s.speg, s.rows, p, px);
    }
    QImage img(s.speg.width, s.speg.height, QImage::Format_RGB32);
    for (int y = 0; y < s.speg.height; ++y)
        std::copy(px.begin() + static_cast<long>(y) * s.speg.width,
                  px.begin() + static_cast<long>(y + 1) * s.speg.width,
                  reinterpret_cast<std::uint32_t*>(img.scanLine(y)));
    s.bmp = std::move(img);
    ++picturebuilds_;
}

// ------------------------------------------------------------------ painting

void tspectrogramwindow::paint_strip(int chno, QPainter& p, const QSize& size) {
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
    if (st_.showgrid) {
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
        if (st_.harmonics) {
            int k = 1;
            for (double hf : harmonic_cursor_freqs(f, st_.harmonicno)) {
                QPen pen(QColor(0, 0, 255));
                pen.setStyle(k % 10 == 0 ? Qt::SolidLine : Qt::DashLine);
                p.setPen(pen);
                const int y = frequency_pixel(fa, hf);
                if (y >= 0 && y < H) {
                    p.drawLine(0, y, W, y);
                    p.drawText(xc + 20, y - 2, QString::number(k));
                }
                ++k;
            }
        }
        p.setPen(Qt::red);
        const int y = frequency_pixel(fa, f);
        if (y >= 0 && y < H) p.drawLine(0, y, W, y);
        if (fxcursor_ != g.leftselcursor()) p.drawLine(xc, 0, xc, H);
    }
    if (correlogram_ && !s.trace.empty()) {
        // The trace: its band limits and centre between points, the points
        // as small squares; cuts break the lines.
        auto fy = [&](double hz) { return frequency_pixel(fa, hz); };
        for (std::size_t i = 0; i < s.trace.size(); ++i) {
            const TTracePoint& a = s.trace[i];
            if (a.cut) continue;
            const int xa = static_cast<int>(std::lround(tx(a.t)));
            p.setPen(QPen(QColor(0, 160, 0), 1));
            p.drawRect(xa - 2, fy(a.fmin) - 2, 4, 4);
            p.drawRect(xa - 2, fy(a.fmax) - 2, 4, 4);
            if (i + 1 < s.trace.size() && !s.trace[i + 1].cut) {
                const TTracePoint& b = s.trace[i + 1];
                const int xb = static_cast<int>(std::lround(tx(b.t)));
                p.setPen(QPen(QColor(0, 160, 0), 1, Qt::DashLine));
                p.drawLine(xa, fy(a.fmin), xb, fy(b.fmin));
                p.drawLine(xa, fy(a.fmax), xb, fy(b.fmax));
                p.setPen(QPen(QColor(0, 160, 0), 2));
                p.drawLine(xa, fy((a.fmin + a.fmax) / 2), xb, fy((b.fmin + b.fmax) / 2));
            }
        }
    }
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

void tspectrogramwindow::paint_colorbar(QPainter& p, const QSize& size) {
    const int H = size.height(), W = size.width();
    std::vector<int> vis;
    for (int i = 0; i < strip_count(); ++i)
        if (strips_[static_cast<std::size_t>(i)]->fvisible && i < ctx_.doc.totnchans()) vis.push_back(i);
    const int n = std::max<int>(1, static_cast<int>(vis.size()));
    for (int r = 0; r < H; ++r) {
        const double v = 1 - static_cast<double>(r) / H;
        for (int k = 0; k < n; ++k) {
            const TColor c = vis.empty() ? 0 : ctx_.doc.channel(vis[static_cast<std::size_t>(k)]).color;
            p.setPen(QColor::fromRgb(spectrogram_color(st_.colormode, v, c)));
            p.drawLine(W * k / n, r, W * (k + 1) / n - 1, r);
        }
    }
}

// ------------------------------------------------------------------ mouse

// The frequency cursor is a frequency in every window; a correlogram whose
// rows are lags in ms reads and draws it as its period.
double tspectrogramwindow::axis_frequency(double axisvalue) const {
    return correlogram_ ? trace_frequency(st_.corr.fvertaxistype, axisvalue) : axisvalue;
}

int tspectrogramwindow::frequency_pixel(const TAxis& a, double f) const {
    if (correlogram_ && st_.corr.fvertaxistype == 0)
        return f > 0 ? a.value_to_notclippedpixel(1000 / f) : -1;
    return a.value_to_notclippedpixel(f);
}

void tspectrogramwindow::strip_mouse(int chno, QPoint pt, int kind, bool shift) {
    if (chno >= strip_count()) return;
    tstrip& s = *strips_[static_cast<std::size_t>(chno)];
    TAxis& ta = timeaxis_->axis();
    const int W = std::max(2, s.canvas->width());
    const double t = ta.GetLoValue() + pt.x() * (ta.GetHiValue() - ta.GetLoValue()) / (W - 1);
    tglobal& g = ctx_.doc.theglobal;
    if (kind == 3) {
        if (correlogram_) set_trace_mode(tracemode_ + 1);
        return;
    }
    if (correlogram_ && tracemode_ != 0) {
        TAxis& fa = s.axis->axis();
        const double f = axis_frequency(fa.pixel_to_value(std::clamp(pt.y(), 0, s.canvas->height() - 1)));
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
        return;
    }
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

void tspectrogramwindow::update_readouts() {
    const double f = ctx_.doc.theglobal.freqcursor();
    const tpreferences& p = ctx_.doc.prefs;
    status_->set_text(0, f > 0 ? "f=" + qs(format_significant(p.nSignificantDigits, f)) + " Hz (" +
                                     qs(freq_to_notename(f, true)) + ")"
                               : QString());
    status_->set_text(1, "t=" + qs(format_float_pattern(p.SecondsFormat, fxcursor_)) + " s");
    if (QAction* a = action("logcursoraction")) a->setEnabled(f > 0);
}

void tspectrogramwindow::logcursoractionExecute() {
    const double f = ctx_.doc.theglobal.freqcursor();
    if (!(f > 0)) return;
    const tspeglog l = spectrogram_cursor_log(fxcursor_, f, ctx_.doc.prefs);
    ctx_.measurements.datalog.add_line(l.heading, l.line);
    ctx_.windows.show(twindowid::datalog);
}

// ------------------------------------------------------------------ traces

std::vector<TTracePoint>& tspectrogramwindow::trace(int chno) {
    return strips_.at(static_cast<std::size_t>(chno))->trace;
}

bool tspectrogramwindow::trace_modified(int chno) const {
    return strips_.at(static_cast<std::size_t>(chno))->tracemodified;
}

void tspectrogramwindow::trace_edited(tstrip& s) {
    s.tracemodified = true;
    if (countdown_ > 0) countdown_ = std::max(countdown_, 20);
}

void tspectrogramwindow::set_trace_mode(int m) {
    tracemode_ = m > 4 ? 0 : m < 0 ? 4 : m;
    static const char* const ids[] = {"normalcursoraction", "addpointaction", "movepointaction",
                                      "deletepointaction", "cuttraceaction"};
    if (QAction* a = action(ids[tracemode_])) a->setChecked(true);
    for (auto& s : strips_) s->picked = -1;
}

void tspectrogramwindow::savetraceactionExecute() {
    const int chno = ctx_.doc.thischanno();
    QString f = tracefile_;
    if (f.isEmpty()) {
        f = QFileDialog::getSaveFileName(this, "Save trace", {}, "Trace files (*.ctr);;All files (*)");
        if (f.isEmpty()) return;
        if (QFileInfo(f).suffix().isEmpty()) f += ".ctr";
    }
    save_trace(f, chno);
}

bool tspectrogramwindow::may_replace_trace(int chno) {
    // A trace drawn by hand is work: it goes only when the user says so.
    if (!strips_.at(static_cast<std::size_t>(chno))->tracemodified || trace(chno).empty()) return true;
    return ctx_.prompter.ask("The trace of channel " + std::to_string(chno) +
                                 " has been modified.\rDo you want to discard it?",
                             "Trace has been modified", tbuttons::yesno, ticon::question) == tanswer::yes;
}

bool tspectrogramwindow::open_trace(const QString& path, int chno) {
    if (chno < 0 || chno >= strip_count()) return false;
    std::vector<TTracePoint> points;
    std::string err;
    if (!read_trace_file(path.toStdString(), points, err)) {
        ctx_.prompter.error(err, "Cannot open trace");
        return false;
    }
    trace(chno) = std::move(points);
    strips_[static_cast<std::size_t>(chno)]->tracemodified = false;
    tracefile_ = path;
    repaint_strips();
    return true;
}

bool tspectrogramwindow::save_trace(const QString& path, int chno) {
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
    strips_[static_cast<std::size_t>(chno)]->tracemodified = false;
    tracefile_ = path;
    return true;
}

bool tspectrogramwindow::extract_from_trace(int chno, const tf0settings& e, bool width) {
    tf0targets t;
    t.width = width;
    return extract_from_trace(chno, e, t);
}

void tspectrogramwindow::extractactionExecute() {
    read_corr_controls();
    extract_from_trace(analyzecombo_->currentIndex(), st_.extraction, read_targets());
}

tf0targets tspectrogramwindow::read_targets() const {
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

void tspectrogramwindow::fill_channel_combos() {
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

bool tspectrogramwindow::extract_from_trace(int chno, const tf0settings& e, const tf0targets& targets) {
    if (chno < 0 || chno >= strip_count()) return false;
    // A long extraction shows its progress in the main window with Cancel;
    // the document cannot change meanwhile.
    tf0channels made;
    {
        tfileprogress progress(ctx_.window);
        made = make_f0_channels(ctx_.doc, chno, trace(chno), st_.corr, e, targets,
                                freq_axis(chno).GetHiValue(), ctx_.prompter,
                                [&](double f) { return progress.report("F0 and T0 extraction", f); });
    }
    if (made.outcome == tf0channels::toutcome::notrace) return false;
    ctx_.window->statusBar()->showMessage(made.outcome == tf0channels::toutcome::done ? "100%, done!"
                                                                                      : "Interrupted!");
    for (int c : made.channels) set_strip_visible(c, false);
    return !made.channels.empty();
}

// ------------------------------------------------------------------ notices

void tspectrogramwindow::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    rebuild_channels();
    layout_strips();
    synchronise_time_axis();
    for (auto& s : strips_) {
        s->scheduled = false;
        s->fspegdirty = true;
    }
    countdown_ = 0;
    if (correlogram_ && !tracefile_.isEmpty() && strip_count() > 0 && trace(ctx_.doc.thischanno()).empty())
        open_trace(tracefile_, ctx_.doc.thischanno());
    update_strips();
    update_readouts();
}

void tspectrogramwindow::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    layout_strips();
}

void tspectrogramwindow::main_cursor_changed(bool) {
    if (!isVisible()) return;
    if (st_.zoomselection) schedule(true);
    repaint_strips();
}

void tspectrogramwindow::time_cursor_changed() {
    fxcursor_ = ctx_.doc.theglobal.timecursor();
    if (isVisible()) {
        update_readouts();
        repaint_strips();
    }
}

void tspectrogramwindow::freq_cursor_changed(double f) {
    if (f > 0) crosshair_ = true;
    if (!isVisible()) return;
    update_readouts();
    repaint_strips();
}

void tspectrogramwindow::hide_crosshairs() {
    crosshair_ = false;
    repaint_strips();
}

void tspectrogramwindow::fix_things() {
    if (isVisible()) rebuild_channels();
}

void tspectrogramwindow::channels_changed() {
    if (isVisible()) rebuild_channels();
}

void tspectrogramwindow::invalidate_paintboxes(bool) {
    if (!isVisible()) return;
    // The main window's range may have moved: draw now, update later.
    const TAxis& t = timeaxis_->axis();
    if (!st_.zoomselection &&
        (t.GetLoValue() != ctx_.doc.xaxis.GetLoValue() || t.GetHiValue() != ctx_.doc.xaxis.GetHiValue()))
        schedule(true);
    repaint_strips();
}

void tspectrogramwindow::channel_changed(const tchannelchange& change) {
    if (change.kind == tchannelchange::tkind::labels) return;
    for (int i = 0; i < strip_count(); ++i)
        if (change.touches(i, 0, tchannelchange::end_of_channel)) {
            strips_[static_cast<std::size_t>(i)]->scheduled = true;
            schedule(false);
        }
}

// ------------------------------------------------------------------ persistence

void tspectrogramwindow::save_settings_to(const QString& path) const {
    TSetting ini;
    ini.SetLocation(Location::slfile);
    ini.SetFilename(path.toStdString());
    const std::string s = correlogram_ ? "Correlogram" : "Spectrogram";
    if (correlogram_) {
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
    }
    ini.WriteFloat(s, "Bandwidth", st_.fft.bw);
    ini.WriteInteger(s, "Window", static_cast<int>(st_.fft.fftwin));
    ini.WriteInteger(s, "Relative", st_.relative);
    ini.WriteInteger(s, "FrequencyAxis", st_.freqaxis);
    ini.WriteFloat(s, "Tilt", st_.tilt);
    ini.WriteBool(s, "HarmonicCursors", st_.harmonics);
    ini.WriteInteger(s, "HarmonicNumber", st_.harmonicno);
    ini.WriteInteger(s, "ColorMode", st_.colormode);
    ini.WriteBool(s, "ShowGrid", st_.showgrid);
    ini.WriteBool(s, "ZoomSelection", st_.zoomselection);
    ini.WriteBool(s, "TandemAxes", st_.tandem);
    ini.WriteFloat(s, "LevelLo", st_.levello);
    ini.WriteFloat(s, "LevelHi", st_.levelhi);
    ini.IniClose();
}

void tspectrogramwindow::load_settings_from(const QString& path) {
    TSetting ini;
    ini.SetLocation(Location::slfile);
    ini.SetFilename(path.toStdString());
    const std::string s = correlogram_ ? "Correlogram" : "Spectrogram";
    if (!ini.ValueExists(s, "Bandwidth")) return;
    tspectrogramstate n = st_;
    if (correlogram_) {
        const double l = ini.ReadFloat(s, "CorrLength", n.corr.ffixedcorrlength);
        if (l > 0 && std::isfinite(l)) n.corr.ffixedcorrlength = l;
        n.corr.fwinlengthmode = ini.ReadInteger(s, "CorrLengthMode", 0) == 1 ? 1 : 0;
        const double fac = ini.ReadFloat(s, "CorrFactor", n.corr.fwinlengthfactor);
        if (fac > 0 && std::isfinite(fac)) n.corr.fwinlengthfactor = fac;
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
    }
    auto clampi = [](std::int64_t v, int lo, int hi, int def) {
        return v >= lo && v <= hi ? static_cast<int>(v) : def;
    };
    const double bw = ini.ReadFloat(s, "Bandwidth", n.fft.bw);
    if (bw > 0 && std::isfinite(bw)) n.fft.bw = bw;
    n.fft.fftwin = static_cast<TFFTWindow>(clampi(ini.ReadInteger(s, "Window", 3), 0, 4, 3));
    n.relative = clampi(ini.ReadInteger(s, "Relative", 0), 0, 2, 0);
    n.freqaxis = clampi(ini.ReadInteger(s, "FrequencyAxis", 0), 0, 2, 0);
    const double tilt = ini.ReadFloat(s, "Tilt", n.tilt);
    if (std::isfinite(tilt)) n.tilt = tilt;
    n.harmonics = ini.ReadBool(s, "HarmonicCursors", false);
    n.harmonicno = clampi(ini.ReadInteger(s, "HarmonicNumber", 1), 1, 100, 1);
    n.colormode = clampi(ini.ReadInteger(s, "ColorMode", 0), 0, 4, 0);
    n.showgrid = ini.ReadBool(s, "ShowGrid", true);
    n.zoomselection = ini.ReadBool(s, "ZoomSelection", false);
    n.tandem = ini.ReadBool(s, "TandemAxes", false);
    const double lo = ini.ReadFloat(s, "LevelLo", n.levello), hi = ini.ReadFloat(s, "LevelHi", n.levelhi);
    if (std::isfinite(lo) && std::isfinite(hi) && hi > lo) {
        n.levello = lo;
        n.levelhi = hi;
    }
    set_state(n);
}

}  // namespace tessal
