#include "gui/sound/recorddialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>
#include <cmath>

#include "engine/dsp/numformat.h"
#include "engine/view/viewrange.h"
#include "gui/commands/commandguard.h"
#include "gui/context/appcontext.h"
#include "gui/widgets/taxiswidget.h"

namespace tessal {

// One level meter: the bar on the dB axis, the peak-hold line and the
// axis's tick lines.
class tlevelmeter : public QWidget {
public:
    tlevelmeter(TAxis& axis, QWidget* parent) : QWidget(parent), axis_(axis) {
        setMinimumSize(24, 120);
    }
    double level = 0;
    double peakhold = 0;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        const int w = width(), h = height();
        auto y_of = [&](double lin) {
            double db = lin > 0 ? 20 * std::log10(lin) : -1000;
            db = std::clamp(db, axis_.GetLoValue(), axis_.GetHiValue());
            return axis_.value_to_pixel(db) * h / std::max(1, axis_.GetHeight());
        };
        auto yd = [&](double db) { return y_of(std::pow(10.0, db / 20)); };
        const int ylevel = y_of(level), y6 = yd(-6), y2 = yd(-2);
        p.fillRect(0, 0, w, h, Qt::white);
        // Green below -6 dB, yellow to -2 dB, red above; white above the level.
        p.fillRect(0, std::max(ylevel, y6), w, h - std::max(ylevel, y6), QColor(0, 0xC0, 0));
        if (ylevel < y6) p.fillRect(0, std::max(ylevel, y2), w, y6 - std::max(ylevel, y2), QColor(0xFF, 0xFF, 0));
        if (ylevel < y2) p.fillRect(0, ylevel, w, y2 - ylevel, QColor(0xFF, 0, 0));
        p.setPen(QColor(0xC0, 0xC0, 0xC0));
        for (int i = 0; i < axis_.nTickMarks(); ++i) {
            int y = yd(axis_.tickvalue(i));
            p.drawLine(0, y, w, y);
        }
        if (peakhold > 0) {
            int y = y_of(peakhold);
            p.fillRect(0, y - 1, w, 3, peakhold > 0.99990845 ? Qt::red : Qt::black);
        }
        p.setPen(Qt::black);
        p.drawRect(0, 0, w - 1, h - 1);
    }

private:
    TAxis& axis_;
};

// The last two seconds of one side, a blue min/max line per column.
class toverviewbox : public QWidget {
public:
    toverviewbox(tRingBuffer& ring, QWidget* parent) : QWidget(parent), ring_(ring) {
        setMinimumSize(150, 80);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), Qt::white);
        std::vector<tminmax> cols = ring_.Getwavedisplay();
        double scale = 3000;
        for (const tminmax& c : cols) scale = std::max({scale, std::abs(double(c.min)), std::abs(double(c.max))});
        const double h = height();
        p.setPen(Qt::blue);
        for (int i = 0; i < static_cast<int>(cols.size()) && i < width(); ++i) {
            double y1 = (0.5 - cols[i].max * 0.5 / scale) * h;
            double y2 = (0.5 - cols[i].min * 0.5 / scale) * h + 1;
            p.drawLine(QPointF(i + 0.5, y1), QPointF(i + 0.5, y2));
        }
        p.setPen(Qt::gray);
        p.drawRect(0, 0, width() - 1, height() - 1);
    }

private:
    tRingBuffer& ring_;
};

namespace {

// The input device, made when it is first used: the one the context's
// `makeinput` gives (a test's), else Qt's.
class tlazyinput : public taudioinput {
public:
    explicit tlazyinput(tsoundcards& cards) : cards_(cards) {}
    std::vector<std::string> device_names() override { return dev().device_names(); }
    int open(int id, const taudioformat& f, taudiolistener* l) override { return dev().open(id, f, l); }
    int prepare(int user) override { return dev().prepare(user); }
    int unprepare(int user) override { return dev().unprepare(user); }
    int add_buffer(void* data, std::size_t capacity, int user) override {
        return dev().add_buffer(data, capacity, user);
    }
    int start() override { return dev().start(); }
    int reset() override { return dev().reset(); }
    int close() override { return dev().close(); }
    std::string error_text(int code) override { return dev().error_text(code); }

private:
    taudioinput& dev() {
        if (!dev_) dev_ = cards_.makeinput ? cards_.makeinput() : std::make_unique<tqtaudioinput>();
        return *dev_;
    }
    tsoundcards& cards_;
    std::unique_ptr<taudioinput> dev_;
};

}  // namespace

trecorddialog::trecorddialog(tappcontext& ctx, bool advanced, QWidget* parent)
    : QDialog(parent), ctx_(ctx), advanced_(advanced) {
    setObjectName(advanced ? "AdvancedRecordDialog" : "RecordDialog");
    setWindowTitle("Record from soundcard");
    in_ = std::make_unique<tlazyinput>(ctx.soundcards);
    rec_ = std::make_unique<trecorder>(ctx.doc, *in_, advanced);
    rec_->changed = [this] { delivered(); };
    rec_->stored = [this](int side, const float* p, std::size_t n) {
        if (spool_ && spoolside_[side] >= 0) spool_->append(spoolside_[side], p, n);
    };

    auto* grid = new QGridLayout(this);
    auto* modebox = new QGroupBox("Record channels", this);
    auto* mv = new QVBoxLayout(modebox);
    auto* group = new QButtonGroup(this);
    const char* names[4] = {"Mono", "Left", "Right", "Stereo"};
    for (int i = 0; i < 4; ++i) {
        modes_[i] = new QRadioButton(names[i], modebox);
        group->addButton(modes_[i], i);
        mv->addWidget(modes_[i]);
    }
    modes_[3]->setChecked(true);
    connect(group, &QButtonGroup::idClicked, this, [this] { update_states(); });
    grid->addWidget(modebox, 0, 0, 3, 1);

    auto* ratelabel = new QLabel("Sampling rate [Hz]", this);
    rate_ = new QLineEdit(this);
    rate_->setObjectName("rate");
    companions_ = new QCheckBox("Make channels stereo companions", this);
    use24_ = new QCheckBox("Use 24 bit if available", this);
    use24_->setChecked(true);
    grid->addWidget(ratelabel, 0, 1);
    grid->addWidget(rate_, 0, 2);
    grid->addWidget(companions_, 1, 1, 1, 2);
    grid->addWidget(use24_, 2, 1, 1, 2);

    auto* targets = new QGroupBox("Record to channel number", this);
    auto* tg = new QGridLayout(targets);
    leftlabel_ = new QLabel("Left", targets);
    rightlabel_ = new QLabel("Right", targets);
    left_ = new QComboBox(targets);
    right_ = new QComboBox(targets);
    tg->addWidget(leftlabel_, 0, 0);
    tg->addWidget(left_, 0, 1);
    tg->addWidget(rightlabel_, 1, 0);
    tg->addWidget(right_, 1, 1);
    grid->addWidget(targets, 3, 0, 1, 3);

    grid->addWidget(new QLabel("Recording soundcard", this), 4, 0);
    device_ = new QComboBox(this);
    device_->setObjectName("recordsoundcardlist");
    device_->setMinimumWidth(200);
    grid->addWidget(device_, 4, 1, 1, 2);
    connect(device_, &QComboBox::activated, this,
            [this](int i) { ctx_.soundcards.recorddevice = i - 1; });
    nodevice_ = new QLabel("No input device: connect one or choose another", this);
    nodevice_->setObjectName("nodevicetext");
    nodevice_->setStyleSheet("color: #b00000");
    nodevice_->setVisible(false);
    nodevice_->setWordWrap(true);
    grid->addWidget(nodevice_, 5, 0, 1, 3);

    if (advanced) {
        auto* am = new QGroupBox("Demodulate AM signal", this);
        auto* ah = new QHBoxLayout(am);
        ah->addWidget(new QCheckBox("Left", am));
        ah->addWidget(new QCheckBox("Right", am));
        grid->addWidget(am, 6, 0, 1, 3);
    }

    auto* buttons = new QHBoxLayout;
    close_ = new QPushButton("Close", this);
    record_ = new QPushButton("Record!", this);
    test_ = new QPushButton("Test!", this);
    pause_ = new QPushButton("Pause", this);
    record_->setObjectName("recordbutton");
    test_->setObjectName("testbutton");
    pause_->setObjectName("pausebutton");
    for (QPushButton* b : {close_, record_, test_, pause_}) {
        b->setAutoDefault(false);
        buttons->addWidget(b);
    }
    grid->addLayout(buttons, 7, 0, 1, 3);
    connect(close_, &QPushButton::clicked, this, &QDialog::close);
    connect(record_, &QPushButton::clicked, this, [this] { record_clicked(); });
    connect(test_, &QPushButton::clicked, this, [this] { test_clicked(); });
    connect(pause_, &QPushButton::clicked, this, [this] { pause_clicked(); });

    // Meters: the dB axis, and per side a peak read-out above its bar.
    auto* meters = new QGridLayout;
    laxis_ = new TAxisWidget(this);
    TAxis& la = laxis_->axis();
    la.SetPosition(taxisposition::posleft);
    la.SetAxisText("[dB]");
    la.SetMinLoValue(-40);
    la.SetMaxHiValue(1);
    la.SetMinValueDifference(5);
    la.SetTickSpaceAim(21);
    la.SetLoValue(-40);
    la.SetHiValue(1);
    laxis_->setMinimumWidth(40);
    meters->addWidget(laxis_, 1, 0);
    for (int k = 0; k < 2; ++k) {
        readouts_[k] = new QPushButton("0.0", this);
        readouts_[k]->setFlat(true);
        readouts_[k]->setObjectName(k ? "rightpeak" : "leftpeak");
        connect(readouts_[k], &QPushButton::clicked, this, [this] {
            rec_->reset_peakholds();
            delivered();
        });
        meters_[k] = new tlevelmeter(la, this);
        meters->addWidget(readouts_[k], 0, 1 + k);
        meters->addWidget(meters_[k], 1, 1 + k);
    }
    grid->addLayout(meters, 0, 3, 8, 1);
    if (!advanced) {
        auto* ov = new QVBoxLayout;
        for (int k = 0; k < 2; ++k) {
            overviews_[k] = new toverviewbox(rec_->ringbuffer[k], this);
            ov->addWidget(overviews_[k]);
        }
        grid->addLayout(ov, 0, 4, 8, 1);
    }
    ctx_.doc.theglobal.add_listener(this);
}

trecorddialog::~trecorddialog() {
    ctx_.doc.theglobal.remove_listener(this);
    rec_->changed = nullptr;
    rec_->stored = nullptr;
    rec_->MPCRecord1.OnClosed = nullptr;
    // The program ends with a recording running: the clean exit leaves no
    // spool behind; the step stays open in the history that goes next.
    if (spool_) spool_->discard();
}

tchannelmode trecorddialog::mode() const {
    for (int i = 0; i < 4; ++i)
        if (modes_[i]->isChecked()) return static_cast<tchannelmode>(i);
    return tchannelmode::stereo;
}

void trecorddialog::fill_targets(QVariant l, QVariant r) {
    // Each entry carries the id of its channel, -1 for a new channel. A list
    // that named no channel held no choice: the first entries are preset.
    auto chosen = [](QComboBox* b) { return b->count() > 1 ? b->currentData() : QVariant(); };
    if (!l.isValid()) l = chosen(left_);
    if (!r.isValid()) r = chosen(right_);
    left_->clear();
    right_->clear();
    for (int i = 0; i < ctx_.doc.totnchans(); ++i) {
        QString t = QString::number(i) + ": " + QString::fromStdString(ctx_.doc.channel(i).name());
        left_->addItem(t, ctx_.doc.channel(i).id);
        right_->addItem(t, ctx_.doc.channel(i).id);
    }
    left_->addItem("Record to new channel", -1);
    right_->addItem("Record to new channel", -1);
    const int ll = l.isValid() ? left_->findData(l) : -1;
    const int rr = r.isValid() ? right_->findData(r) : -1;
    left_->setCurrentIndex(ll >= 0 ? ll : 0);
    right_->setCurrentIndex(rr >= 0 ? rr : std::min(1, right_->count() - 1));
}

void trecorddialog::fix_things() {
    // The channel list changed: the targets follow unless a recording holds them.
    if (!rec_->frecording) fill_targets();
}

void trecorddialog::fill_devices() {
    device_->clear();
    device_->addItem("Windows default soundcard");
    for (const std::string& n : in_->device_names()) device_->addItem(QString::fromStdString(n));
    device_->setCurrentIndex(std::clamp(ctx_.soundcards.recorddevice + 1, 0, device_->count() - 1));
    nodevice_->setVisible(device_->count() <= 1);
}

void trecorddialog::showEvent(QShowEvent* e) {
    rate_->setText(QString::fromStdString(format_float_pattern("0.####", ctx_.doc.prefs.DefaultSampFreq)));
    fill_targets();
    fill_devices();
    update_states();
    QDialog::showEvent(e);
    if (!shown_) {
        shown_ = true;
        for (int k = 0; k < 2; ++k)
            if (overviews_[k]) rec_->ringbuffer[k].set_wavedisplaywidth(std::max(1, overviews_[k]->width()));
    }
}

void trecorddialog::closeEvent(QCloseEvent* e) {
    run_guarded(nullptr, [this] { rec_->stop(); }, false);
    QDialog::closeEvent(e);
}

void trecorddialog::start(bool test) {
    if (rec_->frecording) {
        run_guarded(nullptr, [this] { rec_->stop(); }, false);
        return;
    }
    // A recording is one step of the history, from the preparing of its
    // channels to the overload labels written when the device closes.
    if (!test) {
        ctx_.history.begin("Record");
        stepopen_ = true;
    }
    const bool ok = run_guarded(&ctx_.doc, [this, test] {
        trecordsetup s;
        s.rate = parse_float_dot(rate_->text().toStdString());
        s.mode = mode();
        s.use24 = use24_->isChecked();
        s.companions = companions_->isChecked();
        s.test = test;
        s.lefttarget = left_->currentIndex();
        s.righttarget = right_->currentIndex();
        used_ = {left_->currentData(), right_->currentData()};
        rec_->overloadmargin_dB = ctx_.doc.prefs.OverloadMargin;
        rec_->MPCRecord1.set_DeviceID(device_->currentIndex() - 1);
        rec_->start(s);
        if (!test) open_spool();
    });
    if (!ok && stepopen_ && !rec_->frecording) {
        stepopen_ = false;
        ctx_.history.rollback();
    } else if (stepopen_) {
        // The channels are prepared: what runs from now on until the device
        // closes is the user's commands, journaled as they are made.
        ctx_.history.hold_open();
    }
    update_states();
}

void trecorddialog::open_spool() {
    spool_.reset();
    spoolside_ = {-1, -1};
    const std::string path = ctx_.spools.path ? ctx_.spools.path() : std::string();
    if (path.empty()) return;
    std::vector<int> targets;
    std::vector<bool> made;
    const int chans[2] = {rec_->leftchanno, rec_->rightchanno};
    for (int side = 0; side < 2; ++side) {
        if (chans[side] < 0) continue;
        spoolside_[side] = static_cast<int>(targets.size());
        targets.push_back(chans[side]);
        made.push_back(rec_->madechannel[side]);
    }
    try {
        spool_ = std::make_unique<trecordspool>(path, ctx_.doc, targets, made);
    } catch (const std::exception&) {
        // No spool: the recording goes on, kept in memory only.
        ctx_.window->statusBar()->showMessage("The recording cannot be written to the journal folder as it goes");
    }
}

void trecorddialog::finish_step() {
    if (stepopen_ && ctx_.history.depth() > 1) {
        // The device closed inside another command's step: the recording's
        // step ends after it.
        QTimer::singleShot(0, this, [this] { finish_step(); });
        return;
    }
    if (stepopen_) {
        stepopen_ = false;
        ctx_.history.commit();
    }
    if (spool_) {
        if (ctx_.spools.retire)
            ctx_.spools.retire(std::move(spool_));
        else
            spool_->discard();
        spool_.reset();
    }
}

void trecorddialog::record_clicked() { start(false); }
void trecorddialog::test_clicked() { start(true); }

void trecorddialog::pause_clicked() {
    rec_->set_paused(!rec_->paused);
    update_states();
    ctx_.doc.theglobal.invalidate_paintboxes(false);
}

void trecorddialog::delivered() {
    const bool rec = rec_->frecording;
    for (int k = 0; k < 2; ++k) {
        meters_[k]->level = rec_->level[k];
        meters_[k]->peakhold = rec_->peakhold[k];
        meters_[k]->update();
        double db = rec_->peakhold[k] > 0 ? 20 * std::log10(rec_->peakhold[k]) : -1000;
        readouts_[k]->setText(db < -200 ? "-inf"
                                        : QString::fromStdString(format_float_pattern(ctx_.doc.prefs.dBFormat, db)));
        if (overviews_[k]) overviews_[k]->update();
    }
    if (rec != wasrecording_) {
        wasrecording_ = rec;
        ctx_.view.recording = rec && !rec_->testing;
        if (!rec) {
            finish_step();
            // The same choices again, for the channels as they are now: a
            // take into new channels makes the next one into new channels.
            if (rec_->testing)
                fill_targets();
            else
                fill_targets(used_[0], used_[1]);
            // The whole recording can be seen, however long it grew.
            if (!rec_->testing) fix_xaxis(ctx_.doc, true);
            ctx_.doc.theglobal.channels_changed();
            if (!rec_->stopreason.empty())
                show_error("The recording stopped: " + rec_->stopreason +
                           "\rEverything recorded until then is kept in the channels.");
            else if (rec_->targetleft)
                ctx_.window->statusBar()->showMessage(
                    "The recording stopped: a channel it wrote into was taken away; what it "
                    "recorded is kept in new channels");
        } else if (!rec_->testing) {
            ctx_.doc.theglobal.channels_changed();
            ctx_.window->statusBar()->showMessage(recording_busy_text);
        }
        ctx_.doc.theglobal.document_state_changed();
        update_states();
    }
}

void trecorddialog::update_states() {
    const bool rec = rec_->frecording;
    const bool testing = rec && rec_->testing;
    const bool recording = rec && !rec_->testing;
    const bool devices = device_->count() > 1;
    close_->setEnabled(!rec);
    for (QRadioButton* m : modes_) m->setEnabled(!rec);
    left_->setEnabled(!rec);
    right_->setEnabled(!rec);
    device_->setEnabled(!rec);
    record_->setEnabled((devices && !rec) || recording);
    test_->setEnabled((devices && !rec) || testing);
    record_->setText(recording ? "Stop!" : "Record!");
    test_->setText(testing ? "Stop!" : "Test!");
    pause_->setEnabled(recording);
    pause_->setText(rec_->paused ? "Continue" : "Pause");
    use24_->setEnabled(!rec);
    companions_->setEnabled(!rec);
    rate_->setEnabled(!rec);
    const tchannelmode m = mode();
    const bool leftside = m != tchannelmode::right;
    const bool rightside = m == tchannelmode::right || m == tchannelmode::stereo;
    left_->setVisible(leftside);
    leftlabel_->setVisible(leftside);
    readouts_[0]->setVisible(leftside);
    meters_[0]->setVisible(leftside);
    right_->setVisible(rightside);
    rightlabel_->setVisible(rightside);
    readouts_[1]->setVisible(rightside);
    meters_[1]->setVisible(rightside);
    if (overviews_[0]) overviews_[0]->setVisible(leftside);
    if (overviews_[1]) overviews_[1]->setVisible(rightside);
    companions_->setVisible(m == tchannelmode::stereo);
}

}  // namespace tessal
