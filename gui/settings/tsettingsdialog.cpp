#include "gui/settings/tsettingsdialog.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QDesktopServices>
#include <QEvent>
#include <QFontDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <tuple>

#include "engine/dsp/numberfield.h"
#include "engine/dsp/numformat.h"
#include "gui/widgets/taxiswidget.h"
#include "gui/commands/commandguard.h"

namespace tessal {

namespace {

// Digit counts: any whole number, clamped to 0..20.
bool int_text(const QString& t, long long& v) {
    int n = 0;
    if (!read_clamped_count(t.toStdString(), 0, 20, n)) return false;
    v = n;
    return true;
}

QString description(const tsavefilter& row) {
    return QString::fromStdString(savefilter_caption(row));
}

}  // namespace

std::string decimals_format(long long n) {
    return "0." + std::string(static_cast<std::size_t>(std::clamp(n, 0LL, 20LL)), '0');
}

int format_decimals(const std::string& format) {
    const std::size_t dot = format.find('.');
    return dot == std::string::npos ? 0 : static_cast<int>(format.size() - dot - 1);
}

tsettingsdialog::tsettingsdialog(tdocument& doc, std::vector<tsavefilter>& savefilter,
                                 QWidget* parent)
    : QDialog(parent, Qt::Tool), doc_(doc), savefilter_(savefilter) {
    setWindowTitle("Settings");
    setObjectName("SettingsDialog");

    auto edit = [this](const char* name) {
        auto* e = new QLineEdit(this);
        e->setObjectName(name);
        e->setMaximumWidth(90);
        connect(e, &QLineEdit::textChanged, this, [this] { update_samples(); });
        return e;
    };
    auto sample = [this] {
        auto* l = new QLabel(this);
        l->setMinimumWidth(160);
        return l;
    };

    auto* digitsbox = new QGroupBox("Number of digits", this);
    auto* dg = new QGridLayout(digitsbox);
    digits_ = edit("digits");
    seconds_ = edit("seconds");
    levels_ = edit("levels");
    digitssample_ = sample();
    secondssample_ = sample();
    levelssample_ = sample();
    dg->addWidget(new QLabel("Significant digits", digitsbox), 0, 0);
    dg->addWidget(digits_, 0, 1);
    dg->addWidget(digitssample_, 0, 2);
    dg->addWidget(new QLabel("Decimals on times (in s)", digitsbox), 1, 0);
    dg->addWidget(seconds_, 1, 1);
    dg->addWidget(secondssample_, 1, 2);
    dg->addWidget(new QLabel("Decimals on levels (in dB)", digitsbox), 2, 0);
    dg->addWidget(levels_, 2, 1);
    dg->addWidget(levelssample_, 2, 2);

    auto* ditherbox = new QGroupBox("Apply dither noise when saving/playing audio", this);
    auto* dl = new QVBoxLayout(ditherbox);
    dither_ = new QButtonGroup(this);
    const char* ditherchoices[] = {"Always (except for float32 type files)", "When needed", "Never"};
    for (int i = 0; i < 3; ++i) {
        auto* r = new QRadioButton(ditherchoices[i], ditherbox);
        dither_->addButton(r, i);
        dl->addWidget(r);
    }

    auto* formatbox = new QGroupBox("File formats available for saving", this);
    auto* fl = new QVBoxLayout(formatbox);
    formats_ = new QListWidget(formatbox);
    formats_->setObjectName("formats");
    for (const tsavefilter& row : savefilter_) {
        auto* item = new QListWidgetItem(description(row), formats_);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    }
    // Every format in sight where the screen allows; on a low screen the
    // list scrolls, down to four rows.
    formats_->setSizeAdjustPolicy(QAbstractScrollArea::AdjustToContents);
    formats_->setMinimumHeight(formats_->sizeHintForRow(0) * std::min(4, static_cast<int>(savefilter_.size())) +
                               2 * formats_->frameWidth() + 4);
    fl->addWidget(formats_);

    auto* warnbox = new QGroupBox("Warn for data loss when saving as...", this);
    auto* wl = new QVBoxLayout(warnbox);
    warnsmp_ = new QCheckBox("Merivox (smp) file", warnbox);
    warnwav_ = new QCheckBox("Wave (wav) file", warnbox);
    wl->addWidget(warnsmp_);
    wl->addWidget(warnwav_);

    asklabel_ = new QCheckBox("Ask before deleting labels", this);
    ctrlzundoes_ = new QCheckBox("Ctrl+Z undoes", this);
    ctrlzundoes_->setToolTip("Zoom moves to Ctrl+Alt+Z");
    infocolor_ = new QCheckBox("Show channel info in color", this);
    quickdraw_ = new QCheckBox("Use quickdraw when zoomed out", this);
    antialias_ = new QCheckBox("Draw waveforms using antialiasing", this);
    samprate_ = edit("samprate");
    margin_ = edit("margin");

    auto* fontbox = new QGroupBox("Axis font", this);
    auto* fbl = new QHBoxLayout(fontbox);
    auto* fontbutton = new QPushButton("Change font...", fontbox);
    fbl->addWidget(fontbutton);
    fbl->addStretch();
    connect(fontbutton, &QPushButton::clicked, this,
            [this] { run_guarded(&doc_, [this] { change_font(); }); });

    auto* numbers = new QGridLayout;
    numbers->addWidget(new QLabel("Default sample rate [Hz]", this), 0, 0);
    numbers->addWidget(samprate_, 0, 1);
    numbers->addWidget(new QLabel("Warning margin for overload labels [dB]", this), 1, 0);
    numbers->addWidget(margin_, 1, 1);
    numbers->setColumnStretch(2, 1);

    auto* folderrow = new QHBoxLayout;
    folderrow->addWidget(new QLabel("Settings folder:", this));
    folder_ = new QLabel(this);
    folder_->setObjectName("settingsfolder");
    folder_->setToolTip("Double click to open the folder");
    folder_->installEventFilter(this);
    folderrow->addWidget(folder_, 1);

    problem_ = new QLabel(this);
    problem_->setObjectName("problem");
    problem_->setStyleSheet("color: #b00000");
    problem_->setWordWrap(true);

    ok_ = new QPushButton("&Ok", this);
    ok_->setDefault(true);
    auto* cancel = new QPushButton("&Cancel", this);
    connect(ok_, &QPushButton::clicked, this, [this] {
        if (run_guarded(&doc_, [this] { apply(); })) accept();
    });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok_);
    buttons->addWidget(cancel);

    auto* left = new QVBoxLayout;
    left->addWidget(digitsbox);
    left->addWidget(ditherbox);
    left->addWidget(warnbox);
    left->addLayout(numbers);
    left->addStretch();
    // The two columns about equally tall, so the dialog fits a low screen.
    auto* right = new QVBoxLayout;
    right->addWidget(formatbox);
    right->addWidget(asklabel_);
    right->addWidget(ctrlzundoes_);
    right->addWidget(infocolor_);
    right->addWidget(quickdraw_);
    right->addWidget(antialias_);
    right->addWidget(fontbox);
    right->addStretch();
    auto* columns = new QHBoxLayout;
    columns->addLayout(left);
    columns->addLayout(right);
    auto* all = new QVBoxLayout(this);
    all->addLayout(columns);
    all->addLayout(folderrow);
    all->addWidget(problem_);
    all->addLayout(buttons);
    load();
}

void tsettingsdialog::set_settings_folder(const QString& folder) { folder_->setText(folder); }

void tsettingsdialog::showEvent(QShowEvent* e) {
    load();
    QDialog::showEvent(e);
}

bool tsettingsdialog::eventFilter(QObject* o, QEvent* e) {
    if (o == folder_ && e->type() == QEvent::MouseButtonDblClick && !folder_->text().isEmpty()) {
        QDesktopServices::openUrl(QUrl::fromLocalFile(folder_->text()));
        return true;
    }
    return QDialog::eventFilter(o, e);
}

void tsettingsdialog::load() {
    const tpreferences& p = doc_.prefs;
    digits_->setText(QString::number(p.nSignificantDigits));
    seconds_->setText(QString::number(format_decimals(p.SecondsFormat)));
    levels_->setText(QString::number(format_decimals(p.dBFormat)));
    samprate_->setText(QString::fromStdString(float_to_text(p.DefaultSampFreq)));
    margin_->setText(QString::fromStdString(float_to_text(p.OverloadMargin)));
    if (QAbstractButton* b = dither_->button(std::clamp(p.UseDither, 0, 2))) b->setChecked(true);
    for (int i = 0; i < formats_->count() && i < static_cast<int>(savefilter_.size()); ++i)
        formats_->item(i)->setCheckState(savefilter_[i].used ? Qt::Checked : Qt::Unchecked);
    warnsmp_->setChecked(p.WarnSaveSmp);
    warnwav_->setChecked(p.WarnSaveWav);
    asklabel_->setChecked(p.AskDeleteLabel);
    ctrlzundoes_->setChecked(p.CtrlZUndoes);
    infocolor_->setChecked(p.UseInfoColor);
    quickdraw_->setChecked(p.QuickDraw);
    antialias_->setChecked(p.AntiAlias);
    update_samples();
}

void tsettingsdialog::update_samples() {
    long long digits = 0, secs = 0, levels = 0;
    double rate = 0, margin = 0;
    const bool okdigits = int_text(digits_->text(), digits);
    const bool oksecs = int_text(seconds_->text(), secs);
    const bool oklevels = int_text(levels_->text(), levels);
    digitssample_->setText(
        okdigits ? QString::fromStdString(
                       format_significant(static_cast<int>(std::clamp(digits, 0LL, 20LL)),
                                          1.1428571428571428) + " Pa")
                 : QString());
    secondssample_->setText(
        oksecs ? QString::fromStdString(
                     format_float_pattern(decimals_format(secs), 129.28571428571428) + " s")
               : QString());
    levelssample_->setText(
        oklevels ? QString::fromStdString(
                       format_float_pattern(decimals_format(levels), 12.857142857142858) + " dB")
                 : QString());
    QStringList problems;
    if (!okdigits) problems << "Significant digits must be a whole number (0 to 20 are used).";
    if (!oksecs) problems << "Decimals on times must be a whole number (0 to 20 are used).";
    if (!oklevels) problems << "Decimals on levels must be a whole number (0 to 20 are used).";
    for (auto [edit, field, value] : {std::tuple{samprate_, &fields::defaultsampfreq, &rate},
                                      std::tuple{margin_, &fields::overloadmargin, &margin}})
        if (std::string e = read_number_field(edit->text().toStdString(), *field, *value); !e.empty())
            problems << QString::fromStdString(e) + ".";
    problem_->setText(problems.join('\n'));
    // No empty line's room kept for it: the dialog fits a low screen.
    problem_->setVisible(!problems.isEmpty());
    ok_->setEnabled(problems.isEmpty());
}

void tsettingsdialog::apply() {
    if (!ok_->isEnabled()) return;
    long long digits = 0, secs = 0, levels = 0;
    double rate = 0, margin = 0;
    int_text(digits_->text(), digits);
    int_text(seconds_->text(), secs);
    int_text(levels_->text(), levels);
    read_number_field(samprate_->text().toStdString(), fields::defaultsampfreq, rate);
    read_number_field(margin_->text().toStdString(), fields::overloadmargin, margin);
    tpreferences& p = doc_.prefs;
    p.nSignificantDigits = static_cast<int>(std::clamp(digits, 0LL, 20LL));
    p.SecondsFormat = decimals_format(secs);
    p.dBFormat = decimals_format(levels);
    p.DefaultSampFreq = rate;
    p.OverloadMargin = margin;
    p.UseDither = std::max(0, dither_->checkedId());
    p.WarnSaveSmp = warnsmp_->isChecked();
    p.WarnSaveWav = warnwav_->isChecked();
    p.AskDeleteLabel = asklabel_->isChecked();
    p.CtrlZUndoes = ctrlzundoes_->isChecked();
    p.UseInfoColor = infocolor_->isChecked();
    p.QuickDraw = quickdraw_->isChecked();
    p.AntiAlias = antialias_->isChecked();
    for (int i = 0; i < formats_->count() && i < static_cast<int>(savefilter_.size()); ++i)
        savefilter_[i].used = formats_->item(i)->checkState() == Qt::Checked;
    if (applied) applied();
    doc_.theglobal.fix_things();
    doc_.theglobal.invalidate_paintboxes(true);
}

void tsettingsdialog::change_font() {
    QFont f = QApplication::font("tessal::TAxisWidget");
    bool ok = false;
    if (choose_font)
        ok = choose_font(f);
    else
        f = QFontDialog::getFont(&ok, f, this, "Axis font");
    if (!ok) return;
    // Axis widgets made later take the class font; the existing ones are set.
    QApplication::setFont(f, "tessal::TAxisWidget");
    for (QWidget* w : QApplication::allWidgets())
        if (auto* a = qobject_cast<TAxisWidget*>(w)) a->setFont(f);
    doc_.theglobal.invalidate_paintboxes(true);
}

}  // namespace tessal
