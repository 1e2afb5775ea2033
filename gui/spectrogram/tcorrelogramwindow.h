// The "Correlogram - Tessal" window: over the strip view of tstripwindow,
// the normalised autocorrelation r of the channels against lag (a time
// axis in ms) or frequency, coloured by r with a gamma, computed through
// the strip base's runs from a slice of the samples its columns read; T0/F0
// traces drawn on the strips with the mouse or made from the F0 tracker
// ("Trace from F0", on a job), their ".ctr" files, and the
// extraction of F0 (or T0), peak correlation and candidate width along a
// trace into channels: computed on a job (progress and "Cancel"), written
// into the document only when it finished (write_f0_channels).
#pragma once

#include "engine/jobs/jobline.h"
#include "engine/tools/correlogramchannels.h"
#include "gui/spectrogram/tstripwindow.h"

class QButtonGroup;
class QCheckBox;
class QLineEdit;

namespace tessal {

// What the window keeps between runs.
struct tcorrelogramstate : tstripstate {
    tcorrelogramsettings corr;
    double gamma = 4;
    double tracewidth = default_trace_width;  // of the frequency a new point is added at
    tf0settings extraction;
};

class tcorrelogramwindow : public tstripwindow {
    Q_OBJECT

public:
    tcorrelogramwindow(tappcontext& ctx, QWidget* owner);
    ~tcorrelogramwindow() override;

    const tcorrelogramstate& state() const { return st_; }
    void set_state(const tcorrelogramstate& s);

    // Traces: the points of a strip, the edit mode (0 normal cursor, 1 add,
    // 2 move, 3 delete point, 4 cut; "Glue trace" sets 5, which is the
    // normal cursor again; a right click steps to the next mode), and the
    // trace files of a strip. Saving clears the strip's modified flag;
    // "Save trace" writes the file last opened or saved, or asks for a name
    // when there is none.
    std::vector<TTracePoint>& trace(int chno);
    bool trace_modified(int chno) const;
    void set_trace_mode(int m);
    int trace_mode() const { return tracemode_; }
    // True when the strip's trace may be replaced: it is unmodified, or the
    // user agreed to discard it.
    bool may_replace_trace(int chno);
    bool open_trace(const QString& path, int chno);
    // "Trace from F0": the trace of channel `chno` over the time axis's span
    // from the autocorrelation F0 tracker, its F0 range the strip's lag
    // range (f0trace.h). It waits for the job with a progress dialog;
    // "Cancel" leaves the trace as it was (false), as do a modified trace
    // the user keeps, a lag range the tracker cannot use and a span without
    // voicing (both said). The new trace is set as one drawn by hand is:
    // modified, not saved.
    bool auto_trace(int chno);
    bool save_trace(const QString& path, int chno);
    void savetraceactionExecute();
    QString trace_file() const { return tracefile_; }
    // Extraction along the trace of channel `chno` into new channels: F0
    // (or T0 with a time axis) and the peak correlation, and with `width`
    // the candidate width. False with "No trace set" when the strip has no
    // trace points. It waits for the job with a progress dialog; "Cancel"
    // leaves the document as it was (false).
    bool extract_from_trace(int chno, const tf0settings& e, bool width);
    bool extract_from_trace(int chno, const tf0settings& e, const tf0targets& targets);
    // The extraction as the "T0/F0 Tracing" tab sets it up.
    void extractactionExecute();

    // Beyond the cursors: the trace modes, and a right click steps the mode.
    void strip_mouse(int chno, QPoint p, int kind, bool shift) override;

    void save_settings_to(const QString& path) const override;
    void load_settings_from(const QString& path) override;

protected:
    tstripstate& common() override { return st_; }
    const tstripstate& common() const override { return st_; }
    void build_settings(QVBoxLayout* settings) override;
    void add_levels(QVBoxLayout* settings, QHBoxLayout* levelrow) override;
    QWidget* extra_tab(QString& caption) override;
    void write_own_controls() override;
    void init_strip_axis(TAxis& a) override;
    void channels_rebuilt() override;
    void start_computation(int chno, const tchannel& ch, std::vector<double> times,
                           std::vector<double> rows) override;
    void make_pixels(int chno, const tstrip& s, std::vector<std::uint32_t>& px) const override;
    std::uint32_t figure_scale_color(double v, TColor channel) const override;
    void paint_over(int chno, QPainter& p, const std::function<double(double)>& tx, const TAxis& fa) override;
    void shown() override;
    // A row's lag in ms stands for the frequency 1000 / lag: the frequency
    // cursor is read and drawn as a period on a time axis.
    double axis_frequency(double axisvalue) const override;
    int frequency_pixel(const TAxis& a, double f) const override;

private:
    QWidget* build_tracing_page();
    void read_corr_controls();
    void apply_corraxis(TAxis& a, bool reset);
    void trace_edited(tstrip& s);
    void fill_channel_combos();
    tf0targets read_targets() const;

    tcorrelogramstate st_;
    // The spectral keys of the settings file, kept as they were read.
    tspeglevels speg_;
    int tracemode_ = 0;
    QString tracefile_;  // the trace file last opened or saved
    QWidget* tracingpage_ = nullptr;
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
    // The jobs of "Trace from F0" and of the extraction; last, so that they
    // go first.
    tjobline traceline_;
    tjobline extractline_;
};

}  // namespace tessal
