// The "T-naq" window: glottal-flow parameters of one cycle. The flow from the
// main time cursor on is drawn in the upper panel and its derivative in the
// lower one. Dragging on the derivative marks a period between two MDR peaks
// (the ends snap onto the minima); dragging on the flow marks the closed
// phase, and right-dragging sets the flow extremes by hand. Three lines
// under the panels show the measures; they are logged and copied as rows.
// The loading and the measures run as jobs on the window's job line, from a
// copy of the segment taken here: the panels and lines show the last
// finished result until the newest request's is handed back, and a drag's
// newer marks supersede the older ones. The numbers all come from
// engine/tools/glottalflow.
#pragma once

#include <QWidget>
#include <functional>

#include "engine/core/tviewlistener.h"
#include "engine/jobs/jobline.h"
#include "engine/tools/glottalflow.h"
#include <memory>
#include <vector>
#include "gui/widgets/tplotpanel.h"
#include "gui/windows/windowtools.h"

class QAction;
class QComboBox;
class QLabel;

namespace tessal {

class tappcontext;

class ttnaqwindow : public QWidget, public tviewlistener {
    Q_OBJECT

public:
    ttnaqwindow(tappcontext& ctx, QWidget* owner);
    ~ttnaqwindow() override;
    QSize sizeHint() const override { return {760, 540}; }

    tglottalflow& flow() { return g_; }
    TPlotPanel* flowplot() const { return flowplot_; }
    TPlotPanel* derplot() const { return derplot_; }
    QAction* action(const QString& objectname) const;
    QString line(int i) const;
    int flockchanno() const { return flockchanno_; }

    // Starts the reloading of the segment when it is dirty (as a job).
    void ensure_current();
    // A computation under way (its result not yet handed back).
    bool computing() const { return line_.busy(); }
    // Runs the event loop until the newest computation is handed back.
    void finish_jobs();
    // Marks as the mouse makes them, in seconds from the segment start.
    void mark_period(double t1, double t2);
    void mark_closed(double t1, double t2);
    void set_extremes(double v1, double v2);

    void logpointactionExecute();
    // "Log all cycles": every cycle of the main window's selection on the
    // window's channel, found without marking (engine/tools/glottalcycles)
    // and logged one row each; the number logged.
    int logallactionExecute();
    void copyactionExecute();
    void copyheaderactionExecute();

    // Marks given in a settings file (for pictures of the window).
    void load_settings_from(const QString& path);

    void time_cursor_changed() override;
    void main_cursor_changed(bool sel2) override;
    void document_state_changed() override;
    void invalidate_paintboxes(bool makebmps) override;
    void fix_things() override;
    void channels_changed() override;
    void channel_changed(const tchannelchange& change) override;

protected:
    void showEvent(QShowEvent* e) override;

private:
    void reload();
    // A change of the marks on a loaded segment, then the lines and the
    // flow plot (and the derivative plot when it shows the change).
    void change_marks(const std::function<void()>& change, bool derivative);
    // Reloads when the main window's time cursor or (unlocked) current
    // channel is not the one the segment was loaded from.
    void follow_main();
    void refill_combo();
    void start_job();
    void push_mark(int kind, double a, double b);
    void show_progress();
    void update_lines();
    void fit_levels();
    void paint_flow(QPainter& p, const QSize& size);
    void paint_der(QPainter& p, const QSize& size);
    double time_at(const TPlotPanel* panel, double px) const;
    void visible_range(int& from, int& to) const;

    tappcontext& ctx_;
    twindowtools tools_;
    tglottalflow g_;
    int flockchanno_ = -1;
    bool locked_ = false;
    bool faudiodatadirty_ = true;
    bool firstactivation_ = true;
    bool cursorseen_ = false;  // a location was chosen while the window showed
    int addchanno_ = -1;
    double downtime_ = 0;
    double segtime_ = 0, segfs_ = 0;  // the segment's start and rate, for the figure's title
    double downflow_ = 0;
    bool pendingmarks_ = false;
    double marks_[4] = {0, 0, 0, 0};

    TPlotPanel* flowplot_ = nullptr;
    TPlotPanel* derplot_ = nullptr;
    QComboBox* extracombo_ = nullptr;
    QLabel* lines_[3] = {};
    class QTimer* progresstimer_ = nullptr;
    QString title_;
    // What the newest job does to the last finished result: the segment
    // copied at the last reload (null when that result already holds it)
    // and the marks made since, each kind kept once (its latest).
    struct tsegmentcopy {
        double fs = -1, time = 0, addfs = -1;
        std::string channelname, filename, unit;
        std::vector<double> samples, extra;
        bool pendingmarks = false;
        double marks[4] = {0, 0, 0, 0};
    };
    std::shared_ptr<const tsegmentcopy> segment_;
    struct tmarkop {
        int kind;  // 0 period, 1 closed phase, 2 extremes
        double a, b;
    };
    std::vector<tmarkop> ops_;
    // Last: goes first, cancelling and waiting for its jobs.
    tjobline line_;
};

}  // namespace tessal
