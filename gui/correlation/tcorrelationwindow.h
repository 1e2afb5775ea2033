// The "Correlation - Tessal" window: the normalised autocorrelation of every
// ticked channel at the main time cursor against lag in ms, with a period
// cursor T that is the shared frequency cursor seen as 1/T (free, snapped
// to the curve or to the nearest peak), and "Log cursor". The numbers come
// from engine/analysis; each channel's curve is kept until the time cursor,
// the window length, the lag range or the channel's samples change.
#pragma once

#include <QWidget>
#include <functional>
#include <vector>

#include "engine/core/tviewlistener.h"
#include "gui/widgets/tplotpanel.h"
#include "gui/windows/windowtools.h"

class QAction;
class QActionGroup;
class QLineEdit;

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
    // The curve drawn for channel `chno` (computed when needed).
    const std::vector<double>& correlation_of(int chno);
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

private:
    struct tcurve {
        bool valid = false;
        double t = 0, winlength = 0, laghi = 0;
        std::vector<double> r;
    };
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
};

}  // namespace tessal
