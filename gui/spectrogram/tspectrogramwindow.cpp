// The spectrogram window: its settings, the computation of a strip's levels
// and their picture, the harmonic cursors and the settings kept between
// runs.
#include "gui/spectrogram/tspectrogramwindow.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "engine/core/tchannel.h"
#include "engine/core/tdocument.h"
#include "engine/dsp/numberfield.h"
#include "engine/dsp/numformat.h"
#include "engine/settings/tsetting.h"
#include "gui/context/appcontext.h"
#include "gui/widgets/settingspage.h"
#include "gui/widgets/taxiswidget.h"
#include "gui/widgets/tplotpanel.h"
#include "gui/windows/windowsettings.h"

namespace tessal {

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }

// Work below which a strip is computed at once on this thread (columns
// times frame length): some tens of milliseconds at most.
constexpr double immediate_work = 2e6;

const tstripkind spectrogram_kind{"Spectrogram - Tessal", "Freeze spectrograms", "[dB]", -100, 1, 220};

}  // namespace

tspectrogramwindow::tspectrogramwindow(tappcontext& ctx, QWidget* owner)
    : tstripwindow(ctx, owner, spectrogram_kind) {
    build();
}

tspectrogramwindow::~tspectrogramwindow() { finish(); }

// ------------------------------------------------------------------ controls

void tspectrogramwindow::build_settings(QVBoxLayout* sl) {
    const tfftbox fft = add_fft_box(sl, "300");
    windowcombo_ = fft.window;
    bwedit_ = fft.bandwidth;
    lengthlabel_ = fft.length;
    bwproblem_ = fft.problem;
    add_radio_box(sl, "Level relative to...", relgroup_, {"1", "FSD", "Channel reference"}, this);
    add_radio_box(sl, "Frequency axis", axisgroup_, {"Linear", "Logarithmic", "Music notes"}, this);
    sl->addWidget(new QLabel("Tilt [dB/oct]"));
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

    auto edited = [this] { read_controls(); };
    for (QLineEdit* e : {bwedit_, tiltedit_, harmonicedit_})
        connect(e, &QLineEdit::editingFinished, this, edited);
    connect(windowcombo_, &QComboBox::activated, this, edited);
    connect(relgroup_, &QButtonGroup::idClicked, this, edited);
    connect(axisgroup_, &QButtonGroup::idClicked, this, edited);
    connect(harmonics_, &QCheckBox::toggled, this, edited);
}

void tspectrogramwindow::write_own_controls() {
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
    harmoniclabel_->setVisible(st_.harmonics);
    harmonicedit_->setVisible(st_.harmonics);
}

void tspectrogramwindow::read_controls() {
    if (updating_) return;
    tspectrogramstate n = st_;
    n.fft.fftwin = static_cast<TFFTWindow>(std::clamp(windowcombo_->currentIndex(), 0, 4));
    double v = 0;
    // A bandwidth outside its range keeps the previous one and says why.
    show_field_problem(bwproblem_, read_number_field(bwedit_->text().toStdString(), fields::spectrogrambandwidth, n.fft.bw));
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
        for (int i = 0; i < strip_count(); ++i) apply_freqaxis(freq_axis(i));
    settings_changed(levels);
}

void tspectrogramwindow::set_state(const tspectrogramstate& s) {
    st_ = s;
    write_controls();
    for (int i = 0; i < strip_count(); ++i) apply_freqaxis(freq_axis(i));
    settings_changed(true);
}

std::string tspectrogramwindow::figure_level_text() const {
    return st_.relative == 1 ? "Level [dB re FSD]" : st_.relative == 2 ? "Level [dB re reference]" : "Level [dB]";
}

void tspectrogramwindow::init_strip_axis(TAxis& a) {
    a.set_hilovalues(10000, 0);
    apply_freqaxis(a);
}

void tspectrogramwindow::apply_freqaxis(TAxis& a) {
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

// ------------------------------------------------------------------ strips

void tspectrogramwindow::start_computation(int chno, const tchannel& ch, std::vector<double> times,
                                           std::vector<double> rows) {
    const long long N = spectrogram_frame_length(st_.fft, ch.sampfreq);
    status_->set_text(2, "Calculating spectrogram for channel " + QString::number(chno));
    const double W = static_cast<double>(times.size());
    if (W * static_cast<double>(std::max(16LL, N)) < immediate_work && !times.empty() && !budget().spent() &&
        little_to_read(times.front(), times.back(), ch.sampfreq, N)) {
        tspectrogramstrip levels;
        compute_spectrogram(sample_view(ch), st_.fft, times, rows, levels);
        store_result(chno, std::move(levels), std::move(rows), time_axis().GetLoValue(), time_axis().GetHiValue());
        return;
    }
    // The frames are read on the worker, from a slice of the channel's
    // store taken here (it shares the blocks): a long view reads its
    // samples from the file block by block.
    const long long first = times.empty() ? 0 : std::llround(times.front() * ch.sampfreq) - N - 1;
    const long long last = times.empty() ? 0 : std::llround(times.back() * ch.sampfreq) + N + 1;
    auto slice = std::make_shared<const tsamplecopy>(copy_samples(ch, first, last));
    auto run = std::make_unique<trun>();
    run->cols.times = std::move(times);
    run->rows = std::move(rows);
    start_run(chno, std::move(run), [settings = st_.fft, slice](trun& r) {
        r.cols = copy_column_samples(slice->view(), settings, r.cols.times);
        if (r.cancel) return false;
        return compute_spectrogram(r.cols, settings, r.rows, r.out, 2, &r.cancel, 10,
                                   [&r](double f) { r.progress(f); });
    });
}

double tspectrogramwindow::reference(int chno) const {
    const tchannel& ch = ctx_.doc.channel(chno);
    return level_reference(st_.relative, ch.fsd(), ch.dbreference);
}

void tspectrogramwindow::make_pixels(int chno, const tstrip& s, std::vector<std::uint32_t>& px) const {
    tspegpicture p;
    p.lo = st_.levello;
    p.hi = st_.levelhi;
    p.R = reference(chno);
    p.tilt = st_.tilt;
    p.colormode = st_.colormode;
    p.channel = ctx_.doc.channel(chno).color;
    spectrogram_picture(s.speg, s.rows, p, px);
}

void tspectrogramwindow::paint_crosshair_extras(QPainter& p, const TAxis& fa, double f, int xc, int W, int H) {
    if (!st_.harmonics) return;
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

// ------------------------------------------------------------------ persistence

void tspectrogramwindow::save_settings_to(const QString& path) const {
    TSetting ini;
    open_settings_file(ini, path);
    const std::string s = "Spectrogram";
    write_speg_keys(ini, s, st_);
    write_strip_keys(ini, s, st_);
    ini.IniClose();
}

void tspectrogramwindow::load_settings_from(const QString& path) {
    TSetting ini;
    const std::string s = "Spectrogram";
    if (!read_settings_file(ini, path, s, "Bandwidth")) return;
    tspectrogramstate n = st_;
    read_speg_keys(ini, s, n);
    read_strip_keys(ini, s, n);
    set_state(n);
}

}  // namespace tessal
