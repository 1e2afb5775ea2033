// The "Spectrogram - Tessal" window: over the strip view of tstripwindow,
// the short-time spectra of the channels (levels from engine/analysis, a
// strip with little work computed at once, a larger one on a worker over
// copies of the frames its columns read, in groups of columns on two
// threads), the FFT settings, the level reference, the frequency axis, the
// tilt and the harmonic cursors.
#pragma once

#include "gui/spectrogram/tstripwindow.h"

class QButtonGroup;
class QCheckBox;
class QLabel;
class QLineEdit;

namespace tessal {

// What the window keeps between runs.
struct tspectrogramstate : tstripstate, tspeglevels {};

class tspectrogramwindow : public tstripwindow {
    Q_OBJECT

public:
    tspectrogramwindow(tappcontext& ctx, QWidget* owner);
    ~tspectrogramwindow() override;

    const tspectrogramstate& state() const { return st_; }
    void set_state(const tspectrogramstate& s);

    void save_settings_to(const QString& path) const override;
    void load_settings_from(const QString& path) override;

protected:
    tstripstate& common() override { return st_; }
    const tstripstate& common() const override { return st_; }
    void build_settings(QVBoxLayout* settings) override;
    void write_own_controls() override;
    std::string figure_level_text() const override;
    void init_strip_axis(TAxis& a) override;
    void start_computation(int chno, const tchannel& ch, std::vector<double> times,
                           std::vector<double> rows) override;
    void make_pixels(int chno, const tstrip& s, std::vector<std::uint32_t>& px) const override;
    void paint_crosshair_extras(QPainter& p, const TAxis& fa, double f, int xc, int W, int H) override;

private:
    void read_controls();
    void apply_freqaxis(TAxis& a);
    double reference(int chno) const;

    tspectrogramstate st_;
    QComboBox* windowcombo_ = nullptr;
    QLineEdit* bwedit_ = nullptr;
    QLabel* lengthlabel_ = nullptr;
    QLabel* bwproblem_ = nullptr;
    QButtonGroup* relgroup_ = nullptr;
    QButtonGroup* axisgroup_ = nullptr;
    QLineEdit* tiltedit_ = nullptr;
    QCheckBox* harmonics_ = nullptr;
    QLabel* harmoniclabel_ = nullptr;
    QLineEdit* harmonicedit_ = nullptr;
};

}  // namespace tessal
