// The "T-naq" window: glottal-flow parameters of one cycle. The flow from the
// main time cursor on is drawn in the upper panel and its derivative in the
// lower one. Dragging on the derivative marks a period between two MDR peaks
// (the ends snap onto the minima); dragging on the flow marks the closed
// phase, and right-dragging sets the flow extremes by hand. Three lines
// under the panels show the measures; they are logged and copied as rows.
// The numbers all come from engine/tools/glottalflow.
#pragma once

#include <QWidget>
#include <functional>

#include "engine/core/tviewlistener.h"
#include "engine/tools/glottalflow.h"
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

    // Reloads the segment when it is dirty.
    void ensure_current();
    // Marks as the mouse makes them, in seconds from the segment start.
    void mark_period(double t1, double t2);
    void mark_closed(double t1, double t2);
    void set_extremes(double v1, double v2);

    void logpointactionExecute();
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
    double downflow_ = 0;
    bool pendingmarks_ = false;
    double marks_[4] = {0, 0, 0, 0};

    TPlotPanel* flowplot_ = nullptr;
    TPlotPanel* derplot_ = nullptr;
    QComboBox* extracombo_ = nullptr;
    QLabel* lines_[3] = {};
};

}  // namespace tessal
