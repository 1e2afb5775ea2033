// The "p-sub measurement" window: the waveform of a time section of the
// followed (or locked) channel with the threshold and the detected peaks,
// their categories and scores; pages for the section and what is shown,
// the peak lines, the detection parameters, the statistics and the labels.
// The section, the peaks, their scores, the statistics, the log lines and
// the labels are engine/tools/psub's; this window reads its fields, paints
// and forwards the mouse and the commands.
#pragma once

#include <QWidget>
#include <vector>

#include "engine/core/tviewlistener.h"
#include "engine/tools/psub.h"
#include "gui/widgets/tplotpanel.h"
#include "gui/windows/windowtools.h"

class QAction;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QTabWidget;

namespace tessal {

class tappcontext;

class tpsubwindow : public QWidget, public tviewlistener {
    Q_OBJECT

public:
    tpsubwindow(tappcontext& ctx, QWidget* owner);
    ~tpsubwindow() override;
    QSize sizeHint() const override { return {760, 500}; }

    // The channel analysed: the main window's current one unless locked.
    int channel() const;
    const tpsubparams& params() const { return params_; }
    const std::vector<tpeak>& peaks() const { return peaks_; }
    const tpeakstatistics& statistics() const { return stats_; }
    const tsection& section() const { return section_; }
    TPlotPanel* plot() const { return plot_; }
    QAction* action(const QString& objectname) const;
    void set_section_mode(tpsubsection m);
    // Sets a detection field by its object name and applies it.
    void set_field(const QString& objectname, const QString& text);
    QString peaks_text() const;
    QString statistics_text() const;
    QString threshold_caption_text() const;
    // The x:y ratio now, in unit/s.
    double aspect_ratio() const;
    void set_aspect_ratio(double r);

    // Runs the analysis again (section, peaks, statistics, pages, plot).
    void refresh();
    void logpeaksactionExecute();
    void logstatisticsactionExecute();
    // "Add labels": asks, then labels the peaks.
    int addlabelsExecute();

    void main_cursor_changed(bool) override { refresh_if_shown(); }
    void time_cursor_changed() override { refresh_if_shown(); }
    void fix_things() override { refresh_if_shown(); }
    void channels_changed() override { refresh_if_shown(); }
    void invalidate_paintboxes(bool) override { refresh_if_shown(); }
    void channel_changed(const tchannelchange& change) override;

protected:
    void showEvent(QShowEvent* e) override;

private:
    void refresh_if_shown();
    void read_params();
    void update_pages();
    void update_axis_permissions();
    void paint_layer(QPainter& p, const QSize& size);
    void paint_overlay(QPainter& p, const QSize& size);
    bool shown(int i) const;

    tappcontext& ctx_;
    twindowtools tools_;
    tpsubparams params_;
    tpsubsection mode_ = tpsubsection::selection;
    tsection section_{0, 0.5};
    std::vector<tpeak> peaks_;
    tpeakstatistics stats_;
    TChannelLock lock_;
    bool showgrid_ = false;
    bool lockaspect_ = false;
    bool settingaxis_ = false;
    int lastchannel_ = -1;
    double crossx_ = 0, crossy_ = 0;
    bool crosshair_ = false;

    TPlotPanel* plot_ = nullptr;
    QTabWidget* tabs_ = nullptr;
    QButtonGroup* modes_ = nullptr;
    std::vector<QCheckBox*> shows_;
    QLineEdit* aspectedit_ = nullptr;
    QLabel* aspectnow_ = nullptr;
    QLabel* aspectunit_ = nullptr;
    QPlainTextEdit* peakmemo_ = nullptr;
    QPlainTextEdit* statsmemo_ = nullptr;
    QLabel* thresholdlabel_ = nullptr;
    std::vector<QLineEdit*> fields_;
    QListWidget* quantities_ = nullptr;
    QComboBox* labeltext_ = nullptr;
    TStatusPanels* status_ = nullptr;
};

}  // namespace tessal
