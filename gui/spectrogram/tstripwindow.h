// The strip view the spectrogram and the correlogram windows share: one
// strip per ticked channel, each a picture over time (across) and
// frequency or lag (up) with its own vertical axis, stacked over one time
// axis that follows the main window (or its selection, with "Zoom
// selection"); the time and frequency cursors, the crosshair, the
// selection, the channel's cursors and a grid drawn over the pictures; the
// colour modes with their bar and level axis; the deferred updates (five
// ticks of 200 ms of stillness), "Freeze", tandem axes, the job lines (one
// per strip) that compute a large strip over copied samples off the
// window's thread with progress in the status bar (a newer request for a
// strip supersedes the older, whose result is never taken; the strips an
// update computes at once share a time budget, and what it cannot pay for
// goes to the job lines), nothing
// computed while recording; the read-outs and "Log cursor". A window adds its own settings, how a strip
// is computed and drawn, and what the mouse does beyond the cursors.
#pragma once

#include <QImage>
#include <QWidget>
#include <atomic>
#include <functional>
#include <memory>
#include <vector>

#include "engine/analysis/correlogram.h"
#include "engine/analysis/spectrogram.h"
#include "engine/core/subscribers.h"
#include "engine/core/tviewlistener.h"
#include "engine/jobs/jobline.h"
#include "engine/jobs/timebudget.h"
#include "gui/figure/figure.h"
#include "gui/windows/windowtools.h"

class QAction;
class QComboBox;
class QHBoxLayout;
class QTabWidget;
class QTimer;
class QToolBar;
class QVBoxLayout;

namespace tessal {

class tappcontext;
class TAxis;
class TAxisWidget;
class TChannelCheckList;
class TSetting;
class TStatusPanels;
class TSpegCanvas;
class TSpegArea;
class TColorBar;

// What both windows keep between runs.
struct tstripstate {
    int colormode = 0;
    bool showgrid = true;
    bool zoomselection = false;
    bool tandem = false;
    double levello = -100, levelhi = 1;
};

// The spectral analysis and level settings of the spectrogram. The
// correlogram's settings file carries the same keys.
struct tspeglevels {
    tspectrogramsettings fft;
    int relative = 0;      // 0 "1", 1 "FSD", 2 "Channel reference"
    int freqaxis = 0;      // 0 linear, 1 logarithmic, 2 music notes
    double tilt = 6;       // dB per octave
    bool harmonics = false;
    int harmonicno = 1;
};

// How a window built on the strips looks where the two differ.
struct tstripkind {
    QString title;
    QString freezehint;   // the tool tip of "Freeze"
    QString leveltext;    // the level axis's text
    double levello = 0, levelhi = 1;
    int settingswidth = 220;  // of the side panel, at first
};

class tstripwindow : public QWidget, public tviewlistener {
    Q_OBJECT

public:
    ~tstripwindow() override;
    QSize sizeHint() const override { return {780, 540}; }

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
    // screenshots). Blocks this thread: never from a command.
    void wait_for_workers();
    // A strip whose computation runs off this thread.
    bool strip_busy(int chno) const;
    // The time an update may spend computing strips at once, shared by all
    // of them (ttimebudget::default_ms); what is left when it is spent, a
    // strip begun included, goes to the strips' job lines.
    void set_immediate_budget(double ms) { budget_.set_ms(ms); }
    // One tick of the update timer; whether an update is counting down.
    void tick();
    bool update_pending() const { return countdown_ > 0; }
    void set_frozen(bool on);
    double time_cursor() const { return fxcursor_; }
    // The mouse on strip `chno` at canvas pixel p: press, drag, release.
    // kind 0 press, 1 drag, 2 release of the left button, 3 release of the
    // right button. Here: the cursors and the crosshair.
    virtual void strip_mouse(int chno, QPoint p, int kind, bool shift);

    void logcursoractionExecute();

    // The figure of strip `chno` (-1: the current channel's strip when
    // shown, else the first shown): the picture with what is drawn over
    // it, the time and the strip's axis, the colour scale of the level
    // axis and a title naming the file, channel and span.
    tfigure figure(int chno = -1);
    // PNG, SVG or PDF by the extension; false with the reason.
    bool export_file(const QString& path, const QSize& size, QString* error = nullptr, int dpi = 96);
    // Asks for a size, a resolution and a file, then exports (the tool
    // bar's and the strips' context menu's "Export...").
    void export_dialog();
    // The figure as a picture on the clipboard ("Copy as image").
    void copy_image();

    virtual void save_settings_to(const QString& path) const = 0;
    virtual void load_settings_from(const QString& path) = 0;
    std::function<void(const tstripwindow&)> persist;

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
    struct tstrip;
    // A computation on a worker: the samples its columns read, copied, and
    // the levels it gives. The work reads and writes only its run; it looks
    // at `cancel` between blocks (set when the request is superseded or
    // cancelled) and says how far it got through progress().
    struct trun {
        unsigned long long id = 0;
        tcolumnsamples cols;
        std::vector<double> rows;
        tspectrogramstrip out;
        std::atomic<bool> cancel{false};
        // Fraction done, 0 to 1; also sets `cancel` once the job is cancelled.
        void progress(double fraction) const {
            if (report) report(fraction);
        }
        // Set by start_run for the time the work runs (on the worker).
        std::function<void(double)> report;
        // The work answered true: `out` is whole.
        std::atomic<bool> finished{false};
        // The status text its progress follows ("Calculating ... channel N").
        QString what;
    };

    // The window calls build() once it is constructed.
    tstripwindow(tappcontext& ctx, QWidget* owner, const tstripkind& kind);
    // Builds the controls (asking the window for its own), writes them and
    // starts the update timer.
    void build();
    // Cancels the workers and keeps the settings (persist): the window's
    // destructor calls it while the window is still whole.
    void finish();

    // What a window adds.
    // Its state's common part.
    virtual tstripstate& common() = 0;
    virtual const tstripstate& common() const = 0;
    // Its groups at the top of the "Settings" tab.
    virtual void build_settings(QVBoxLayout* settings) = 0;
    // Where the level axis and the colour bar go (default: under the
    // window's groups, taking the room left).
    virtual void add_levels(QVBoxLayout* settings, QHBoxLayout* levelrow);
    // A tab after "Settings" and "Channels" (none by default).
    virtual QWidget* extra_tab(QString& caption);
    virtual void write_own_controls() = 0;
    // A new strip's vertical axis.
    virtual void init_strip_axis(TAxis& a) = 0;
    // The channel list changed (after the strips and the check list).
    virtual void channels_rebuilt() {}
    // Computes strip `chno` from its columns' times and rows' axis values:
    // at once (store_result) or on a worker (start_run).
    virtual void start_computation(int chno, const tchannel& ch, std::vector<double> times,
                                   std::vector<double> rows) = 0;
    // The strip's pixels, top row first, from its levels.
    virtual void make_pixels(int chno, const tstrip& s, std::vector<std::uint32_t>& px) const = 0;
    // The figure's name of the strip axis and of the level scale.
    virtual std::string figure_strip_text(const TAxis& a) const;
    virtual std::string figure_level_text() const;
    // The colour the figure's colour scale shows at fraction v of the level
    // range: the colour mode's (the correlogram adds its gamma).
    virtual std::uint32_t figure_scale_color(double v, TColor channel) const;
    // Drawn over the crosshair's frequency line (the harmonic cursors).
    virtual void paint_crosshair_extras(QPainter&, const TAxis&, double /*f*/, int /*xc*/, int /*W*/,
                                        int /*H*/) {}
    // Drawn after the crosshair, before the selection (a trace).
    virtual void paint_over(int /*chno*/, QPainter&, const std::function<double(double)>& /*tx*/,
                            const TAxis& /*fa*/) {}
    // The window was shown; the strips are about to be computed.
    virtual void shown() {}
    // A strip row's axis value as a frequency in Hz, and where a frequency
    // lies on a strip's axis.
    virtual double axis_frequency(double axisvalue) const { return axisvalue; }
    virtual int frequency_pixel(const TAxis& a, double f) const;

    // For the windows.
    void write_controls();
    void settings_changed(bool levels);
    void repaint_strips();
    void layout_strips();
    void update_strips();
    void update_readouts();
    tstrip& strip(int chno) { return *strips_.at(static_cast<std::size_t>(chno)); }
    const tstrip& strip(int chno) const { return *strips_.at(static_cast<std::size_t>(chno)); }
    QWidget* strip_canvas(int chno) const;
    int countdown() const { return countdown_; }
    void extend_countdown(int ticks);
    // Levels computed here and now.
    void store_result(int chno, tspectrogramstrip levels, std::vector<double> rows, double t1, double t2);
    // Whether columns from `t1` to `t2` s (a frame of `frame` samples at
    // each) read few enough samples to be computed here and now: the
    // samples of a long view come from the file block by block, which
    // takes long even when the columns themselves are little work.
    static bool little_to_read(double t1, double t2, double fs, long long frame);
    // The time this update may still spend computing strips at once; work
    // done here looks at it between columns.
    const ttimebudget& budget() const { return budget_; }
    // Starts `work` on strip `chno`'s job line (the shared pool); its levels
    // are taken on this thread when it answers true (false: cancelled). The
    // status panel's text at the start is what its progress is shown with.
    // A newer start_run or compute of the strip supersedes it.
    void start_run(int chno, std::unique_ptr<trun> run, std::function<bool(trun&)> work);
    // Takes the levels of request `id` if it is the strip's newest, waiting
    // for the worker if it still runs (for little work only: it blocks).
    void take_result(int chno, unsigned long long id);
    unsigned long long current_request(int chno) const;
    // The common keys of a settings file, and those of the spectral
    // analysis (both windows write them).
    static void write_strip_keys(TSetting& ini, const std::string& s, const tstripstate& st);
    static void read_strip_keys(TSetting& ini, const std::string& s, tstripstate& st);
    static void write_speg_keys(TSetting& ini, const std::string& s, const tspeglevels& l);
    static void read_speg_keys(TSetting& ini, const std::string& s, tspeglevels& l);

    void showEvent(QShowEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

    tappcontext& ctx_;
    twindowtools tools_;
    bool updating_ = false;
    bool crosshair_ = false;
    double fxcursor_ = 0;
    QToolBar* toolbar_ = nullptr;
    TStatusPanels* status_ = nullptr;
    TAxisWidget* grayaxis_ = nullptr;
    QWidget* colorbar_ = nullptr;
    TChannelCheckList* channels_ = nullptr;

private:
    friend class TSpegCanvas;
    friend class TSpegArea;
    friend class TColorBar;
    void build_ui();
    void rebuild_strips();
    void rebuild_channels();
    void synchronise_time_axis();
    void schedule(bool sync);
    void compute(int chno);
    void cancel(int chno);
    void show_progress();
    void build_picture(int chno);
    void paint_strip(int chno, QPainter& p, const QSize& size);
    void paint_colorbar(QPainter& p, const QSize& size);

    tstripkind kind_;
    std::vector<std::unique_ptr<tstrip>> strips_;
    bool frozen_ = false;
    int countdown_ = 0;
    bool syncpending_ = false;
    bool copying_axes_ = false;
    int computations_ = 0;
    int picturebuilds_ = 0;
    int workerruns_ = 0;
    unsigned long long requests_ = 0;
    bool waitingforrecording_ = false;
    ttimebudget budget_;

    QTabWidget* tabs_ = nullptr;
    QComboBox* colorcombo_ = nullptr;
    QWidget* area_ = nullptr;
    TAxisWidget* timeaxis_ = nullptr;
    QTimer* timer_ = nullptr;
};

// A strip: its axis and paint box, the levels it shows and their picture;
// the correlogram's trace lives with it.
struct tstripwindow::tstrip {
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
    // The correlogram's trace on this strip.
    std::vector<TTracePoint> trace;
    bool tracemodified = false;
    int picked = -1;  // the trace point a move or delete started on
    int pickedfound = 0;
    QImage bmp;
    unsigned long long calcowner = 0;
    // The newest request on the worker (null once taken or cancelled), and
    // the strip's line of work (made on the first run; going with the
    // strip, it cancels and waits for its job).
    std::shared_ptr<trun> run;
    std::unique_ptr<tjobline> line;
};

}  // namespace tessal
