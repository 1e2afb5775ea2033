// The "Invira" window: inverse filtering on the spectrum. The upper plot
// shows the segment at the main time cursor (flow, derivative, their
// inverse-filtered forms and an extra channel, each scaled to the plot); the
// lower plot shows their spectra, the vocal tract the cascade cancels, the
// bandwidth guides and a handle per element. Handles are added, moved and
// deleted with the mouse (the right button cycles the tools); a move
// recomputes the cascade, both outputs and the spectra as a job on the
// window's job line, from a copy of the segment taken here: the plots show
// the last finished result until the newest request's is handed back (a
// drag's newer moves supersede the older ones). "Make channels" filters the
// range on a worker too, waiting with progress and "Cancel"; "Estimate
// filter" runs as a job with its progress in the status bar. The numbers
// all come from engine/tools/invfilter; this window paints and forwards.
#pragma once

#include <QPointF>
#include <QWidget>
#include <functional>

#include "engine/core/tviewlistener.h"
#include "engine/jobs/jobline.h"
#include "engine/tools/invfilter.h"
#include "gui/widgets/tplotpanel.h"
#include "gui/windows/windowtools.h"

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QPlainTextEdit;
class QRadioButton;

namespace tessal {

class tappcontext;

class tinvirawindow : public QWidget, public tviewlistener {
    Q_OBJECT

public:
    tinvirawindow(tappcontext& ctx, QWidget* owner);
    ~tinvirawindow() override;
    QSize sizeHint() const override { return {780, 560}; }

    tinvfilter& filter() { return filter_; }
    TPlotPanel* waveplot() const { return waveplot_; }
    TPlotPanel* specplot() const { return specplot_; }
    TStatusPanels* status() const { return status_; }
    QAction* action(const QString& objectname) const;
    int flockchanno() const { return flockchanno_; }

    tformantaction tool() const { return fformantaction_; }
    void set_tool(tformantaction a);

    // The mouse on the spectrum plot, in plot pixels (tests call these).
    void spectrum_press(QPointF pos, Qt::MouseButton button, Qt::KeyboardModifiers mods);
    void spectrum_move(QPointF pos, Qt::MouseButtons buttons, Qt::KeyboardModifiers mods);
    void spectrum_release(QPointF pos, Qt::MouseButton button, Qt::KeyboardModifiers mods);

    // Starts the recomputation of what is dirty as a job (paints do this
    // lazily); the result arrives in the event loop.
    void ensure_current();
    // A recomputation under way (its result not yet handed back).
    bool computing() const { return line_.busy(); }
    // Runs the event loop until the newest recomputation is handed back.
    void finish_jobs();
    QString memo_text() const;
    QString warning_text() const;
    QString unit_warning_text() const;

    void logformantsactionExecute();
    void saveactionExecute();
    // "Estimate filter": the elements from quasi-closed-phase analysis over
    // IAIF (engine/tools/qcp.h) over the selection (or the shown segment
    // without one), computed as a job on its own line from a slice of the
    // channel taken here: the status bar shows its progress and "Cancel"
    // (cancelestimatebutton) drops it; a newer estimate supersedes an older
    // one still running. "Undo estimate" returns to the elements, type and
    // high-pass before it, one estimate at a time.
    void estimateactionExecute();
    void cancelestimateactionExecute();
    // An estimate under way (its result not yet handed back). Closing the
    // window cancels it.
    bool estimating() const { return estimateline_.busy(); }
    void undoestimateactionExecute();
    bool open_filter_file(const QString& path);
    bool save_filter_file(const QString& path);

    // The elements are kept between runs in the ".for" form.
    void save_settings_to(const QString& path) const;
    void load_settings_from(const QString& path);
    std::function<void(const tinvirawindow&)> persist;

    void time_cursor_changed() override;
    void main_cursor_changed(bool sel2) override;
    void document_state_changed() override;
    void invalidate_paintboxes(bool makebmps) override;
    void fix_things() override;
    void channels_changed() override;
    void channel_changed(const tchannelchange& change) override;

protected:
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;

private:
    // Reloads when the main window's time cursor or (unlocked) current
    // channel is not the one the segment was loaded from.
    void follow_main();
    void build_home(QWidget* page);
    void build_view(QWidget* page);
    void build_make(QWidget* page);
    void mark_audio_dirty();
    void mark_dirty();
    void reload();
    void start_job(bool reloadsamples);
    void refill_combos();
    void update_enablings();
    void paint_wave(QPainter& p, const QSize& size);
    void paint_spectrum(QPainter& p, const QSize& size);
    void paint_spectrum_overlay(QPainter& p, const QSize& size);
    void show_pointer(QPointF pos);
    double freq_at(double x) const;
    double level_at(double y) const;
    void visible_range(int& from, int& to) const;
    void show_progress();
    void show_estimate_progress();
    void estimate_finished();

    tappcontext& ctx_;
    twindowtools tools_;
    tinvfilter filter_;
    int flockchanno_ = -1;
    struct tfilterstate {
        std::vector<tformant> formants;
        tinvsignaltype type;
        double hp;
    };
    std::vector<tfilterstate> estimateundo_;
    bool locked_ = false;
    bool faudiodatadirty_ = true;
    bool fdirty_ = true;
    bool spectradirty_ = true;
    bool firstactivation_ = true;
    tformantaction fformantaction_ = fanone;
    int thisformant_ = -2;
    int selectedformant_ = -1;
    QPointF downpos_;
    tformant downformant_;
    QPointF pointer_{-1, -1};
    int addchanno_ = -1;
    int savechanno_ = -1, savederchanno_ = -1;
    tinvspectrum spflow_, spder_, spinvflow_, spinvder_, spfilter_;

    TPlotPanel* waveplot_ = nullptr;
    TPlotPanel* specplot_ = nullptr;
    TStatusPanels* status_ = nullptr;
    QRadioButton* micradio_ = nullptr;
    QRadioButton* flowradio_ = nullptr;
    QWidget* hpgroup_ = nullptr;
    QLineEdit* hpedit_ = nullptr;
    QPushButton* undoestimate_ = nullptr;
    QPushButton* cancelestimate_ = nullptr;
    class QTimer* estimatetimer_ = nullptr;
    QLabel* ratewarning_ = nullptr;
    QPlainTextEdit* memo_ = nullptr;
    QComboBox* fftwindow_ = nullptr;
    QCheckBox* wflow_ = nullptr;
    QCheckBox* wder_ = nullptr;
    QCheckBox* winvflow_ = nullptr;
    QCheckBox* winvder_ = nullptr;
    QComboBox* extracombo_ = nullptr;
    QCheckBox* sflow_ = nullptr;
    QCheckBox* sder_ = nullptr;
    QCheckBox* sinvflow_ = nullptr;
    QCheckBox* sinvder_ = nullptr;
    QCheckBox* suggestbw_ = nullptr;
    QCheckBox* showfilter_ = nullptr;
    QRadioButton* rangeradio_[3] = {};
    QCheckBox* saveflowcheck_ = nullptr;
    QCheckBox* savedercheck_ = nullptr;
    QComboBox* saveflowcombo_ = nullptr;
    QComboBox* savedercombo_ = nullptr;
    QWidget* convertpanel_ = nullptr;
    QCheckBox* convertcheck_ = nullptr;
    QLineEdit* distanceedit_ = nullptr;
    QLabel* calibwarning_ = nullptr;
    QCheckBox* autofsd_ = nullptr;
    class QTimer* progresstimer_ = nullptr;
    // The segment as the last reload copied it, for the jobs.
    std::shared_ptr<const std::vector<double>> rawseg_, extraseg_;
    double segfs_ = -1, extrafs_ = -1;
    // Last: goes first, cancelling and waiting for its jobs before the
    // members their hand-backs touch.
    tjobline line_;
    tjobline makeline_;
    tjobline estimateline_;
};

}  // namespace tessal
