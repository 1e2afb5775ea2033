// The "Histograms/KDE" window: for every ticked channel a box showing how
// many seconds the signal spends at each value over the selection, as bins
// or smoothed by a kernel, with average, mode, median and percentiles read
// from the bins, written on the plot and logged by "Log stats". The numbers
// come from engine/analysis (value_histogram, smooth_bins, bin_statistics),
// computed on a job line off the window's thread from slices of the
// channels' stores: the boxes show the last finished bins (mapped onto the
// value axis as it is now) with the progress of the newer ones.
#pragma once

#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

#include "engine/analysis/histogram.h"
#include "engine/core/tviewlistener.h"
#include "engine/jobs/jobline.h"
#include "gui/windows/windowjobs.h"
#include "gui/windows/windowtools.h"

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QTimer;
class QToolBar;
class QVBoxLayout;

namespace tessal {

class tappcontext;
class TPlotPanel;
class TChannelCheckList;

struct thiststate {
    int nbins = 1000;
    int winwidth = 10;
    tkernel kernel = tkernel::none;
    tbinning method = tbinning::pairs;
    bool showavg = true, showmode = true, showmedian = true;
    std::vector<bool> percentiles = {false, false, false, true, false, true, false, false, false};
    bool showbinwidth = true, showkernelwidth = true, showname = true;
    bool showgrid = true, autoscale = false;
};

class thistwindow : public QWidget, public tviewlistener {
    Q_OBJECT

public:
    thistwindow(tappcontext& ctx, QWidget* owner);
    ~thistwindow() override;
    QSize sizeHint() const override { return {780, 540}; }

    const thiststate& state() const { return st_; }
    void set_state(const thiststate& s);
    // The histogram box of channel `chno` (null when it is not shown).
    TPlotPanel* panel_of(int chno) const;
    // The last finished bins (smoothed when a kernel is chosen) and
    // statistics of a channel; asks for newer ones when they are stale.
    const std::vector<double>& bins_of(int chno);
    const thiststats& stats_of(int chno);
    // Whether bins are being computed (the boxes show the older ones).
    bool computing() const { return line_.busy(); }
    // Starts computing the bins that are stale (nothing when none is).
    void update_bins();
    void set_channel_checked(int chno, bool on);

    void logstatsExecute();

    void save_settings_to(const QString& path) const;
    void load_settings_from(const QString& path);
    std::function<void(const thistwindow&)> persist;

    void selection_changed(const tselectionchange& change) override;
    void channels_changed() override;
    void channel_changed(const tchannelchange& change) override;
    void fix_things() override;

private:
    struct tbox;
    void build_ui();
    void write_controls();
    void read_controls();
    void rebuild_boxes(bool evenhidden = false);
    void mark_all_dirty();
    // What a box's bins are computed for: the document and settings as of
    // `gen`, and the value axis lo..hi.
    struct tbinskey {
        int chno = 0;
        unsigned long long gen = 0;
        double lo = 0, hi = 0;
        bool operator==(const tbinskey&) const = default;
    };
    tbinskey wanted(const tbox& b) const;
    bool up_to_date(const tbox& b) const;
    void mark_computing_dirty();
    void paint_box(tbox& b, QPainter& p, const QSize& size);
    tbox* box(int chno) const;
    // The boxes follow the channel list only while the window is shown: a
    // hidden window notes that they are stale and builds them when shown or
    // asked for one (a file of thousands of channels makes no boxes
    // nobody sees).
    void showEvent(QShowEvent* e) override;
    void ensure_boxes() const;
    bool boxesstale_ = false;

    tappcontext& ctx_;
    twindowtools tools_;
    thiststate st_;
    bool writing_ = false;
    QToolBar* toolbar_ = nullptr;
    QComboBox* kernel_ = nullptr;
    QComboBox* method_ = nullptr;
    QLineEdit* nbins_ = nullptr;
    QLineEdit* winwidth_ = nullptr;
    QLabel* winwidthlabel_ = nullptr;
    TChannelCheckList* channels_ = nullptr;
    QCheckBox *avg_ = nullptr, *mode_ = nullptr, *median_ = nullptr;
    QListWidget* percentiles_ = nullptr;
    QCheckBox *binwidth_ = nullptr, *kernelwidth_ = nullptr, *name_ = nullptr;
    QAction *grid_ = nullptr, *autoscale_ = nullptr;
    QWidget* boxarea_ = nullptr;
    QVBoxLayout* boxlayout_ = nullptr;
    std::vector<std::unique_ptr<tbox>> boxes_;  // one per document channel
    std::vector<bool> checked_;
    QLabel* binsproblem_ = nullptr;
    QTimer* progresstimer_ = nullptr;
    unsigned long long gen_ = 1;  // counts changes of selection, samples, settings, channels
    std::vector<tbinskey> inflight_;  // what the running job computes
    std::vector<tbinskey> declined_;  // what the user cancelled (not started again unasked)
    QString failure_;
    // Last: it goes first, cancelling its job before what the hand-backs touch.
    tjobline line_{deliver_to(this)};
};

}  // namespace tessal
