// The "Spectrum - Tessal" window: the magnitude spectrum in dB of every
// ticked channel, one FFT frame at the main time cursor or the long-term
// average spectrum (LTAS) over the selection or between the red and blue
// marks, with the FCP and band levels on an LTAS, a frequency/level cursor
// that can snap to the curve or to peaks, the shared frequency cursor, the
// logs and "Make label"; the "LPC envelope" with its formants (status line
// and "Log cursor").
//
// The numbers come from engine/analysis (frames kept per channel and
// recomputed allocation-free as the cursor moves; LTAS kept in a cache
// keyed by channel, span and settings). A short LTAS is computed at once
// while that takes a few milliseconds (the rest of it as a long one);
// a long one runs on the window's job line over slices of the channels'
// stores, with progress in the status bar, and is superseded (cancelled,
// its result never taken) as soon as what is asked for changes; meanwhile
// the plot keeps the last LTAS it drew. "Log spectrum", "Log meas." and
// "Make label" wait for it with progress and "Cancel". Only the channels
// shown are computed, and only while the window is visible (spectra are
// computed when the plot paints). The bandwidth field is bounded.
#pragma once

#include <QWidget>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "engine/analysis/spectrum.h"
#include "engine/core/tviewlistener.h"
#include "engine/jobs/jobline.h"
#include "engine/jobs/timebudget.h"
#include "engine/tools/lpcenvelope.h"
#include "gui/widgets/tplotpanel.h"
#include "gui/windows/windowtools.h"

class QAction;
class QActionGroup;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QTabWidget;
class QTimer;
class QToolBar;

namespace tessal {

class tappcontext;
class TPlotPanel;
class TChannelCheckList;
class TStatusPanels;

// What the window keeps between runs (and what tests set directly).
struct tspectrumstate {
    tspectrumsettings fft;
    int relative = 0;      // 0 "1", 1 "FSD", 2 "Channel reference"
    int freqaxis = 1;      // 0 linear, 1 logarithmic, 2 music notes
    int fltasmode = 0;     // 0 none, 1 selection, 2 red/blue cursors
    int fsnapmode = 0;     // 0 don't snap, 1 curve, 2 peak, 3 centroid
    bool locksnap = false;
    bool showgrid = true;
    bool showfcp = false;
    bool showbands = false;
    bool showlpc = false;  // "LPC envelope"
    tfcpsettings fcp;
    std::vector<tfreqband> freqbands = default_freqbands();
};

class tspectrumwindow : public QWidget, public tviewlistener {
    Q_OBJECT

public:
    tspectrumwindow(tappcontext& ctx, QWidget* owner);
    ~tspectrumwindow() override;
    QSize sizeHint() const override { return {780, 540}; }

    TPlotPanel* plot() const { return plot_; }
    TStatusPanels* status() const { return status_; }
    QToolBar* toolbar() const { return toolbar_; }
    QAction* action(const QString& objectname) const;
    const tspectrumstate& state() const { return st_; }
    // Replaces the settings and updates every control from them.
    void set_state(const tspectrumstate& s);
    // The spectrum for channel `chno` as the settings are now (computing it
    // if needed; an LTAS still on the worker gives null).
    const tspectrum* spectrum_of(int chno);
    // What the plot draws for `chno`: spectrum_of, or while its LTAS is
    // being computed the last LTAS drawn for the channel.
    const tspectrum* shown_spectrum(int chno);
    // The LPC envelope of channel `chno` over the span its spectrum shows
    // (null while the envelope is off); kept until the span, the settings or
    // the samples change.
    const tlpcenvelope* envelope_of(int chno);
    // Waits for the LTAS worker and takes its results (tests, screenshots).
    // Blocks this thread: never from a command.
    void wait_for_ltas();
    // An LTAS runs on the window's job line.
    bool ltas_busy() const { return run_ != nullptr; }
    // How long a short LTAS may take at once on this thread
    // (ttimebudget::default_ms); past that, it goes on on the job line.
    void set_immediate_budget(double ms) { budget_ms_ = ms; }
    // The refusal under the bandwidth field (empty when it was read).
    QString bandwidth_problem() const;
    // The frequency/level cursor as a mouse at plot pixel (x, y) sets it.
    void cursor_at(int x, int y);
    double level_cursor() const { return flcursor_; }
    int snap_channel() const;

    // Commands.
    void logcursoractionExecute();
    void logspectrumactionExecute();
    void logmeasactionExecute();
    void makelabelExecute();
    // Band list editing; `ask` replaces the "Frequency range " dialog.
    void add_band(double lo, double hi);
    void remove_band(int index);  // asks first

    // Settings persistence in the settings folder ("SpectrumWindow.ini").
    void save_settings_to(const QString& path) const;
    void load_settings_from(const QString& path);
    // Called when the window is destroyed, to keep its settings.
    std::function<void(const tspectrumwindow&)> persist;

    // tviewlistener
    void time_cursor_changed() override;
    void main_cursor_changed(bool sel2) override;
    void freq_cursor_changed(double f_hz) override;
    void hide_crosshairs() override;
    void fix_things() override;
    void channels_changed() override;
    void invalidate_paintboxes(bool makebmps) override;
    void channel_changed(const tchannelchange& change) override;

protected:
    void showEvent(QShowEvent* e) override;

private:
    struct tltasrun;
    void build_ui();
    void read_controls();
    void write_controls();
    void settings_changed();
    void rebuild_channels();
    void apply_freqaxis();
    void paint_layer(QPainter& p, const QSize& size);
    void paint_overlay(QPainter& p, const QSize& size);
    void draw_f0(QPainter& p, const QSize& size, const tspectrum& s);
    void draw_curve(QPainter& p, const QSize& size, const tspectrum& s, double R, QColor color);
    void draw_envelope(QPainter& p, const QSize& size, const tlpcenvelope& e, double R, QColor color);
    void draw_fcp_and_bands(QPainter& p, const QSize& size, int chno, const tspectrum& s, double R);
    void ensure_ltas(int extra = -1);
    void start_ltas(std::vector<int> channels);
    void cancel_ltas();
    void take_ltas_results();
    // The LTAS of the shown channels (and of `extra`) brought up to date for
    // a command, waiting with progress and "Cancel": false when cancelled.
    bool ltas_ready(int extra = -1);
    void update_readouts();
    void update_enablings();
    double reference(int chno) const;
    std::vector<int> shown_channels() const;
    tspectrummeas measure(int chno);
    bool ask_range(double& lo, double& hi);
    void refresh_bandlist();

    tappcontext& ctx_;
    tspectrumstate st_;
    twindowtools tools_;
    tspectrumframes frames_;
    tanalysiscache<tspectrum> ltascache_;
    std::shared_ptr<tltasrun> run_;
    // The last LTAS drawn per channel, kept while a new one is computed.
    struct tshownltas {
        tanalysiskey key;
        tspectrum s;
    };
    std::map<int, tshownltas> lastltas_;
    struct tenvelopeslot {
        double t1 = 0, t2 = 0, fs = 0;
        tspectrumsettings fft;
        tlpcenvelope e;
    };
    std::map<int, tenvelopeslot> envelopes_;
    double flcursor_ = 0;
    double budget_ms_ = ttimebudget::default_ms;
    bool crosshair_ = false;
    TChannelLock lock_;  // "Lock snap ch."
    bool updating_ = false;
    bool settingcursor_ = false;
    // Per-column buffers of the curve drawing, reused between paints.
    tcurvescratch scratch_;

    TPlotPanel* plot_ = nullptr;
    TStatusPanels* status_ = nullptr;
    QToolBar* toolbar_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QTimer* progresstimer_ = nullptr;
    QTabWidget* tabs_ = nullptr;
    QComboBox* windowcombo_ = nullptr;
    QLineEdit* bwedit_ = nullptr;
    QLabel* lengthlabel_ = nullptr;
    QButtonGroup* relgroup_ = nullptr;
    QButtonGroup* axisgroup_ = nullptr;
    QButtonGroup* ltasgroup_ = nullptr;
    QCheckBox* removedc_ = nullptr;
    TChannelCheckList* channels_ = nullptr;
    QCheckBox* showfcp_ = nullptr;
    QLineEdit* trendlo_ = nullptr;
    QLineEdit* trendhi_ = nullptr;
    QLineEdit* fcplo_ = nullptr;
    QLineEdit* fcphi_ = nullptr;
    QCheckBox* showbands_ = nullptr;
    QListWidget* bandlist_ = nullptr;
    QLabel* bwproblem_ = nullptr;
    // Last: it goes first, cancelling and waiting for its job, before what
    // its hand-backs touch.
    tjobline line_;
};

}  // namespace tessal
