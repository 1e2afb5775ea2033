#include "gui/calibration/tcalibrationwindow.h"

#include <QButtonGroup>
#include <algorithm>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "engine/document/channelcommands.h"
#include "engine/dsp/numformat.h"
#include "gui/commands/commandguard.h"
#include "gui/context/appcontext.h"
#include "gui/widgets/settingspage.h"

namespace tessal {

tcalibrationwindow::tcalibrationwindow(tappcontext& ctx, QWidget* owner)
    : QWidget(owner, Qt::Tool), ctx_(ctx) {
    setWindowTitle("Calibration");
    setObjectName("calibrationwindow");
    auto* top = new QVBoxLayout(this);

    // The two choices side by side: the window fits below the main
    // window's bars on a low screen.
    auto* choices = new QHBoxLayout;
    auto* modecolumn = new QVBoxLayout;
    auto* weightingcolumn = new QVBoxLayout;
    choices->addLayout(modecolumn);
    choices->addLayout(weightingcolumn);
    top->addLayout(choices);
    auto* modebox = add_radio_box(modecolumn, "Calibrate...", modes_,
                                  {"Level [dB]", "RMS Amplitude", "Two amplitudes", "Integral"}, this);
    modebox->setObjectName("modebox");
    modes_->button(0)->setChecked(true);
    const char* modenames[] = {"levelmode", "rmsmode", "twoamplitudes", "integralmode"};
    for (int i = 0; i < 4; ++i) modes_->button(i)->setObjectName(modenames[i]);
    weightingbox_ = add_radio_box(weightingcolumn, "dB reading is...", weightings_,
                                  {"Linear", "A-weighted", "C-weighted"}, this);
    modecolumn->addStretch();
    weightingcolumn->addStretch();
    weightings_->button(0)->setChecked(true);

    auto* grid = new QGridLayout;
    amp1label_ = new QLabel(this);
    amp1_ = new QLineEdit("1", this);
    amp1_->setObjectName("amplitudeedit");
    amp2label_ = new QLabel(this);
    amp2_ = new QLineEdit("1", this);
    amp2_->setObjectName("amplitude2edit");
    referencelabel_ = new QLabel(this);
    reference_ = new QLineEdit("2e-5", this);
    reference_->setObjectName("referenceedit");
    unit_ = new QLineEdit("Pa", this);
    unit_->setObjectName("unitedit");
    grid->addWidget(amp1label_, 0, 0);
    grid->addWidget(amp1_, 0, 1);
    grid->addWidget(amp2label_, 1, 0);
    grid->addWidget(amp2_, 1, 1);
    grid->addWidget(referencelabel_, 2, 0);
    grid->addWidget(reference_, 2, 1);
    grid->addWidget(new QLabel("Calibrate to unit", this), 3, 0);
    grid->addWidget(unit_, 3, 1);
    for (QLineEdit* e : {amp1_, amp2_, reference_, unit_}) e->setFixedWidth(90);
    grid->setColumnStretch(0, 1);
    top->addLayout(grid);

    channels_ = new QComboBox(this);
    channels_->setObjectName("channelcombo");
    top->addWidget(channels_);
    companion_ = new QCheckBox("Calibrate companion channel too", this);
    companion_->setObjectName("companionbox");
    top->addWidget(companion_);
    labels_ = new QCheckBox("Add calibration label(s)", this);
    labels_->setObjectName("labelsbox");
    labels_->setChecked(true);
    top->addWidget(labels_);
    top->addStretch();
    auto* buttons = new QHBoxLayout;
    auto* calibrate = new QPushButton("Calibrate!", this);
    calibrate->setObjectName("calibratebutton");
    auto* close = new QPushButton("Close", this);
    buttons->addStretch();
    buttons->addWidget(calibrate);
    buttons->addWidget(close);
    top->addLayout(buttons);

    connect(calibrate, &QPushButton::clicked, this, [this] { calibrateExecute(); });
    connect(close, &QPushButton::clicked, this, &QWidget::hide);
    connect(modes_, &QButtonGroup::idClicked, this, [this](int) { refresh(); });
    connect(weightings_, &QButtonGroup::idClicked, this, [this](int) { refresh(); });
    connect(unit_, &QLineEdit::textChanged, this, [this] { refresh(); });
    connect(channels_, &QComboBox::activated, this, [this](int i) { channel_chosen(i); });

    ctx_.doc.theglobal.add_listener(this);
    fill_channels();
    refresh();
}

tcalibrationwindow::~tcalibrationwindow() { ctx_.doc.theglobal.remove_listener(this); }

tcalibmode tcalibrationwindow::mode() const {
    return static_cast<tcalibmode>(std::max(0, modes_->checkedId()));
}

void tcalibrationwindow::set_mode(tcalibmode m) {
    modes_->button(static_cast<int>(m))->setChecked(true);
    refresh();
}

void tcalibrationwindow::set_weighting(tcalibweighting w) {
    weightings_->button(static_cast<int>(w))->setChecked(true);
    refresh();
}

QString tcalibrationwindow::amplitude_caption() const { return amp1label_->text(); }
QString tcalibrationwindow::amplitude2_caption() const {
    return mode() == tcalibmode::level ? referencelabel_->text() : amp2label_->text();
}

void tcalibrationwindow::fill_channels() {
    filling_ = true;
    const tdocument& doc = ctx_.doc;
    channels_->clear();
    channels_->addItem("All channels");
    for (int i = 0; i < doc.totnchans(); ++i)
        channels_->addItem(QString::fromStdString(channel_list_text(doc, i)));
    // A channel gone: back to the first; an empty document keeps the choice
    // for the channels to come.
    if (channo_ >= doc.totnchans() && doc.totnchans() > 0) channo_ = 0;
    channels_->setCurrentIndex(std::min(channo_ + 1, channels_->count() - 1));
    filling_ = false;
}

void tcalibrationwindow::select_channel(int n) {
    const tdocument& doc = ctx_.doc;
    if (n < 0 || n >= doc.totnchans()) return;
    channo_ = n;
    channels_->setCurrentIndex(n + 1);
    const tchannel& ch = doc.channel(n);
    if (!ch.yunit().empty()) unit_->setText(QString::fromStdString(ch.yunit()));
    if (ch.dbreference != 0)
        reference_->setText(QString::fromStdString(float_to_text(ch.dbreference)));
    refresh();
}

void tcalibrationwindow::channel_chosen(int index) {
    if (filling_) return;
    tdocument& doc = ctx_.doc;
    channo_ = index - 1;
    if (channo_ >= 0 && channo_ < doc.totnchans()) {
        doc.set_thischanno(channo_);
        doc.selectmode = selstereo;
        const tchannel& ch = doc.channel(channo_);
        if (!ch.yunit().empty()) unit_->setText(QString::fromStdString(ch.yunit()));
    } else {
        doc.selectmode = selall;
    }
    lastmainchan_ = doc.thischanno();
    refresh();
    doc.theglobal.document_state_changed();
    doc.theglobal.invalidate_paintboxes(false);
}

void tcalibrationwindow::show_marks(bool on) {
    tviewstate& v = ctx_.view;
    bool changed = false;
    if (on)
        for (int i = 0; i < ctx_.doc.totnchans(); ++i)
            changed |= reset_calibration_marks(ctx_.doc.channel(i));
    for (int i = 3; i <= 6; ++i) {
        changed |= v.showcursors[i] != on;
        v.showcursors[i] = on;
    }
    if (changed) ctx_.doc.theglobal.invalidate_paintboxes(false);
}

void tcalibrationwindow::refresh() {
    const tcalibmode m = mode();
    const auto w = static_cast<tcalibweighting>(std::max(0, weightings_->checkedId()));
    const std::string unit = unit_->text().toStdString();
    amp1label_->setText(QString::fromStdString(calibration_value_caption(m, w, unit)));
    const QString second = QString::fromStdString(calibration_value2_caption(m, unit));
    referencelabel_->setText(m == tcalibmode::level ? second : QString("Reference"));
    amp2label_->setText(m == tcalibmode::two ? second : QString());
    const auto items = calibration_mode_items(unit);
    modes_->button(1)->setText(QString::fromStdString(items[1]));
    modes_->button(2)->setText(QString::fromStdString(items[2]));
    weightingbox_->setEnabled(m == tcalibmode::level);
    const bool level = m == tcalibmode::level, two = m == tcalibmode::two;
    referencelabel_->setVisible(level);
    reference_->setVisible(level);
    amp2label_->setVisible(two);
    amp2_->setVisible(two);
    const tdocument& doc = ctx_.doc;
    const bool partner = channo_ >= 0 && channo_ < doc.totnchans() &&
                         doc.channel(channo_).stereochanno >= 0;
    companion_->setVisible(partner);
    if (isVisible()) show_marks(two);
}

void tcalibrationwindow::fix_things() {
    fill_channels();
    refresh();
}

void tcalibrationwindow::invalidate_paintboxes(bool) {
    if (!isVisible()) return;
    const int n = ctx_.doc.thischanno();
    if (n != lastmainchan_) {
        lastmainchan_ = n;
        select_channel(n);
    }
}

void tcalibrationwindow::showEvent(QShowEvent* e) {
    fill_channels();
    lastmainchan_ = ctx_.doc.thischanno();
    if (channo_ >= 0 && lastmainchan_ >= 0) select_channel(lastmainchan_);
    QWidget::showEvent(e);
    refresh();
}

void tcalibrationwindow::hideEvent(QHideEvent* e) {
    show_marks(false);
    QWidget::hideEvent(e);
}

bool tcalibrationwindow::calibrateExecute() {
    tcalibration p;
    p.mode = mode();
    p.weighting = static_cast<tcalibweighting>(std::max(0, weightings_->checkedId()));
    std::vector<std::pair<QLineEdit*, double*>> fields{{amp1_, &p.value}};
    if (p.mode == tcalibmode::two) fields.push_back({amp2_, &p.value2});
    if (p.mode == tcalibmode::level) fields.push_back({reference_, &p.reference});
    for (auto [edit, into] : fields)
        if (!try_parse_float(edit->text().toStdString(), *into)) {
            ctx_.prompter.warn("'" + edit->text().toStdString() + "' is not a valid number",
                               calibration_caption);
            return false;
        }
    p.unit = unit_->text().toStdString();
    p.addlabels = labels_->isChecked();
    bool ok = false;
    run_guarded(&ctx_.doc, [&] {
        const auto chans =
            calibration_targets(ctx_.doc, channo_, companion_->isChecked() && !companion_->isHidden());
        const tcalibresult r = calibrate_and_warn(ctx_.doc, ctx_.prompter, chans, p,
                                                  ctx_.doc.theglobal.leftselcursor(),
                                                  ctx_.doc.theglobal.rightselcursor());
        ok = !r.calibrated.empty();  // the engine marked the document modified and said so
    }, true, "Calibrate");
    return ok;
}

}  // namespace tessal
