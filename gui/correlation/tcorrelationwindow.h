// The "Correlation - Tessal" window: the normalised autocorrelation of every
// ticked channel at the main time cursor against lag in ms, with a period
// cursor T that is the shared frequency cursor seen as 1/T (free, snapped
// to the curve or to the nearest peak), and "Log cursor". The numbers come
// from engine/analysis, computed on the window's job line from slices of
// the channels: a new time cursor, window length, lag range or sample edit
// supersedes the running request, and the window draws the last finished
// curves meanwhile, the progress in the main window's status bar.
#pragma once

#include <QWidget>
#include <functional>
#include <vector>

#include "engine/core/tviewlistener.h"
#include "engine/jobs/jobline.h"
#include "gui/widgets/tplotpanel.h"
#include "gui/windows/windowtools.h"

class QAction;
class QActionGroup;
class QLineEdit;
class QTimer;

namespace tessal {

class tappcontext;

class tcorrelationwindow : public QWidget, public tviewlistener {
    Q_OBJECT

public:
    tcorrelationwindow(tappcontext& ctx, QWidget* owner);
    ~tcorrelationwindow() override;
    QSize sizeHint() const override { return {720, 480}; }

    TPlotPanel* plot() const { return plot_; }
    TStatusPanels* status() const { return status_; }
    QAction* action(const QString& objectname) const;
    double winlength() const { return fwinlength_; }  // seconds
    void set_winlength(double s);
    int snap_mode() const { return snapmode_; }
    void set_snap_mode(int m);
    // The curve drawn for channel `chno`: the last one finished (empty
    // before the first). Asking starts the computation of the one wanted
    // now if it is neither there nor under way.
    const std::vector<double>& correlation_of(int chno);
    // Whether the curve channel `chno` shows is the one wanted now (time
    // cursor, window length, lag range and samples as they are).
    bool curve_current(int chno) const;
    // A computation is under way (its progress, 0 to 1).
    bool computing() const { return line_.busy(); }
    double progress() const { return line_.progress(); }
    // The cursors as the mouse at plot pixel (x, y) sets them.
    void cursor_at(int x, int y);
    double period_cursor() const;  // T in s, 0 without
    double correlation_cursor() const { return fccursor_; }
    int snap_channel() const;

    void logcursoractionExecute();

    void save_settings_to(const QString& path) const;
    void load_settings_from(const QString& path);
    std::function<void(const tcorrelationwindow&)> persist;

    void time_cursor_changed() override;
    void freq_cursor_changed(double f_hz) override;
    void hide_crosshairs() override;
    void fix_things() override;
    void channels_changed() override;
    void invalidate_paintboxes(bool makebmps) override;
    void channel_changed(const tchannelchange& change) override;

protected:
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;

private:
    // What a curve is computed from.
    struct tkey {
        double t = 0, winlength = 0, laghi = 0;
        unsigned long long samples = 0;  // the window's count of sample edits
        bool operator==(const tkey&) const = default;
    };
    struct tcurve {
        bool valid = false;
        tkey key;
        std::vector<double> r;
    };
    tkey wanted() const;
    // Starts the job for the curves not yet computed for wanted() (the
    // ticked channels and the snap channel), unless it is under way.
    void request();
    void show_progress();
    void rebuild_channels();
    void paint_layer(QPainter& p, const QSize& size);
    void paint_overlay(QPainter& p, const QSize& size);
    void update_readouts();
    void drop_all();

    tappcontext& ctx_;
    twindowtools tools_;
    double fwinlength_ = 0.05;
    int snapmode_ = 0;
    double fccursor_ = 0;
    bool crosshair_ = false;
    bool settingcursor_ = false;
    TChannelLock lock_;
    std::vector<tcurve> curves_;
    TPlotPanel* plot_ = nullptr;
    TStatusPanels* status_ = nullptr;
    TChannelCheckList* channels_ = nullptr;
    QLineEdit* lengthedit_ = nullptr;
    QTimer* progresstimer_ = nullptr;
    unsigned long long sampleedits_ = 0;
    // The request under way: its key and channels.
    tkey pending_;
    std::vector<int> pendingchans_;
    // Last: its hand-backs touch the members above, and it goes first.
    tjobline line_;
};

}  // namespace tessal
