// The "Spectrogram - Tessal" window: one strip per ticked channel, each with
// its own frequency axis, stacked over one time axis that follows the main
// window (or its selection, with "Zoom selection"). Levels come from
// engine/analysis; a strip with little work is computed at once, a larger
// one on a worker over copies of the frames its columns read (never the
// document), in groups of columns on two threads, cancelled as soon as a
// newer request for that strip comes. Results reach the strip on this
// thread. Changes of the view redraw at once with the old pictures and
// recompute after about a second of stillness (five ticks of 200 ms);
// "Freeze" holds the strips as they are.
#pragma once

#include <QImage>
#include <QWidget>
#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "engine/analysis/correlogram.h"
#include "engine/analysis/spectrogram.h"
#include "engine/core/subscribers.h"
#include "engine/core/tviewlistener.h"
#include "engine/tools/correlogramchannels.h"

class QAction;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QTabWidget;
class QTimer;
class QToolBar;
class QVBoxLayout;

namespace tessal {

class tappcontext;
class TAxis;
class TAxisWidget;
class TChannelCheckList;
class TStatusPanels;
class TSpegCanvas;
class TColorBar;

// What the window keeps between runs.
struct tspectrogramstate {
    tspectrogramsettings fft;
    int relative = 0;      // 0 "1", 1 "FSD", 2 "Channel reference"
    int freqaxis = 0;      // 0 linear, 1 logarithmic, 2 music notes
    double tilt = 6;       // dB per octave
    bool harmonics = false;
    int harmonicno = 1;
    int colormode = 0;
    bool showgrid = true;
    bool zoomselection = false;
    bool tandem = false;
    double levello = -100, levelhi = 1;
    // The correlogram's own.
    tcorrelogramsettings corr;
    double gamma = 4;
    double tracewidth = 0.5;  // of the frequency a new point is added at
    tf0settings extraction;
};

class tspectrogramwindow : public QWidget, public tviewlistener {
    Q_OBJECT

public:
    // With `correlogram` the window is "Correlogram - Tessal": its strips
    // show the autocorrelation r against lag or frequency (coloured by r
    // with a gamma), and carry T0/F0 traces.
    tspectrogramwindow(tappcontext& ctx, QWidget* owner, bool correlogram = false);
    bool is_correlogram() const { return correlogram_; }
    // Traces (correlogram): the points of a strip, the edit mode (0 normal
    // cursor, 1 add, 2 move, 3 delete point, 4 cut; "Glue trace" sets 5,
    // which is the normal cursor again; a right click steps to the next
    // mode), and the trace files of a strip. Saving clears the strip's
    // modified flag; "Save trace" writes the file last opened or saved, or
    // asks for a name when there is none.
    std::vector<TTracePoint>& trace(int chno);
    bool trace_modified(int chno) const;
    void set_trace_mode(int m);
    int trace_mode() const { return tracemode_; }
    // True when the strip's trace may be replaced: it is unmodified, or the
    // user agreed to discard it.
    bool may_replace_trace(int chno);
    bool open_trace(const QString& path, int chno);
    bool save_trace(const QString& path, int chno);
    void savetraceactionExecute();
    QString trace_file() const { return tracefile_; }
    // Extraction along the trace of channel `chno` into new channels: F0
    // (or T0 with a time axis) and the peak correlation, and with `width`
    // the candidate width. False with "No trace set" when the strip has no
    // trace points.
    bool extract_from_trace(int chno, const tf0settings& e, bool width);
    bool extract_from_trace(int chno, const tf0settings& e, const tf0targets& targets);
    // The extraction as the "T0/F0 Tracing" tab sets it up.
    void extractactionExecute();
    ~tspectrogramwindow() override;
    QSize sizeHint() const override { return {780, 540}; }

    const tspectrogramstate& state() const { return st_; }
    void set_state(const tspectrogramstate& s);
    QAction* action(const QString& objectname) const;
    TStatusPanels* status() const { return status_; }

    // Strips, one per document channel.
    int strip_count() const { return static_cast<int>(strips_.size()); }
    bool strip_visible(int chno) const;
    void set_strip_visible(int chno, bool on);
    TAxis& freq_axis(int chno);
    TAxis& time_axis();
    // The levels a strip shows now (empty until computed) and its picture.
    const tspectrogramstrip& levels(int chno) const;
    const std::vector<double>& row_freqs(int chno) const;
    QImage picture(int chno) const;
    int computations() const { return computations_; }
    int picture_builds() const { return picturebuilds_; }
    int worker_runs() const { return workerruns_; }
    // Waits for every running worker and takes its results (tests,
    // screenshots).
    void wait_for_workers();
    // One tick of the update timer; whether an update is counting down.
    void tick();
    bool update_pending() const { return countdown_ > 0; }
    void set_frozen(bool on);
    double time_cursor() const { return fxcursor_; }
    // The mouse on strip `chno` at canvas pixel p: press, drag, release.
    // kind 0 press, 1 drag, 2 release of the left button, 3 release of the
    // right button.
    void strip_mouse(int chno, QPoint p, int kind, bool shift);

    void logcursoractionExecute();

    void save_settings_to(const QString& path) const;
    void load_settings_from(const QString& path);
    std::function<void(const tspectrogramwindow&)> persist;

    // tviewlistener
    void main_cursor_changed(bool sel2) override;
    void time_cursor_changed() override;
    void freq_cursor_changed(double f_hz) override;
    void hide_crosshairs() override;
    void fix_things() override;
    void channels_changed() override;
    void invalidate_paintboxes(bool makebmps) override;
    void channel_changed(const tchannelchange& change) override;

protected:
    void showEvent(QShowEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    friend class TSpegCanvas;
    friend class TSpegArea;
    friend class TColorBar;
    struct trun;
    struct tstrip;
    void build_ui();
    void write_controls();
    void read_controls();
    void settings_changed(bool levels);
    void rebuild_strips();
    void rebuild_channels();
    void layout_strips();
    void apply_freqaxis(TAxis& a);
    void synchronise_time_axis();
    void schedule(bool sync);
    void update_strips();
    void compute(int chno);
    void cancel(int chno);
    void take_result(int chno, unsigned long long id);
    void build_picture(int chno);
    void paint_strip(int chno, QPainter& p, const QSize& size);
    void paint_colorbar(QPainter& p, const QSize& size);
    void update_readouts();
    double reference(int chno) const;
    void repaint_strips();
    QWidget* build_correlogram_ui(QVBoxLayout* settings);
    void read_corr_controls();
    void apply_corraxis(TAxis& a, bool reset);
    void trace_edited(tstrip& s);
    // A strip row's axis value as a frequency in Hz, and where a frequency
    // lies on a strip's axis (lags in ms on a correlogram's time axis).
    double axis_frequency(double axisvalue) const;
    int frequency_pixel(const TAxis& a, double f) const;
    void fill_channel_combos();
    tf0targets read_targets() const;

    tappcontext& ctx_;
    bool correlogram_ = false;
    int tracemode_ = 0;
    QString tracefile_;  // the trace file last opened or saved
    tspectrogramstate st_;
    std::vector<std::unique_ptr<tstrip>> strips_;
    bool frozen_ = false;
    bool crosshair_ = false;
    double fxcursor_ = 0;
    int countdown_ = 0;
    bool syncpending_ = false;
    bool copying_axes_ = false;
    int computations_ = 0;
    int picturebuilds_ = 0;
    int workerruns_ = 0;
    unsigned long long requests_ = 0;

    QToolBar* toolbar_ = nullptr;
    QTabWidget* tabs_ = nullptr;
    QComboBox* windowcombo_ = nullptr;
    QLineEdit* bwedit_ = nullptr;
    QLabel* lengthlabel_ = nullptr;
    QButtonGroup* relgroup_ = nullptr;
    QButtonGroup* axisgroup_ = nullptr;
    QLineEdit* tiltedit_ = nullptr;
    QCheckBox* harmonics_ = nullptr;
    QLabel* harmoniclabel_ = nullptr;
    QLineEdit* harmonicedit_ = nullptr;
    TAxisWidget* grayaxis_ = nullptr;
    QWidget* colorbar_ = nullptr;
    QComboBox* colorcombo_ = nullptr;
    TChannelCheckList* channels_ = nullptr;
    QWidget* area_ = nullptr;
    TAxisWidget* timeaxis_ = nullptr;
    TStatusPanels* status_ = nullptr;
    QTimer* timer_ = nullptr;
    bool updating_ = false;
    bool waitingforrecording_ = false;
    // Spectrogram-only groups, hidden in the correlogram.
    QWidget* relbox_ = nullptr;
    QWidget* axisbox_ = nullptr;
    QLabel* tiltlabel_ = nullptr;
    // The correlogram's own controls.
    QButtonGroup* lengthmodegroup_ = nullptr;
    QLineEdit* corrlengthedit_ = nullptr;
    QLineEdit* factoredit_ = nullptr;
    QButtonGroup* vertgroup_ = nullptr;
    QLineEdit* gammaedit_ = nullptr;
    QLineEdit* tracewidthedit_ = nullptr;
    QComboBox* analyzecombo_ = nullptr;
    QLineEdit* skipedit_ = nullptr;
    QCheckBox* keeprate_ = nullptr;
    QCheckBox* outf0_ = nullptr;
    QCheckBox* outcorr_ = nullptr;
    QCheckBox* outwidth_ = nullptr;
    QComboBox* f0target_ = nullptr;
    QComboBox* corrtarget_ = nullptr;
    QComboBox* widthtarget_ = nullptr;
    QCheckBox* thresholds_ = nullptr;
    QLineEdit* loedit_ = nullptr;
    QLineEdit* hiedit_ = nullptr;
};

}  // namespace tessal
