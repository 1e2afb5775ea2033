// The signal panel of the main window: the channel strips stacked above the
// shared time axis, the view's menu toggles and commands, and the view's
// keyboard map and mouse wheel. Under the time axis a scroll bar shows and
// moves the visible part of the whole signal; the time axis and that bar
// start at the width of the channel column and end 2 pixels before the
// right edge (or before the channels' vertical scroll bar). The strips sit
// in a scroll area: squeezed below their minimum height they scroll
// instead of overprinting one another.
//
// The panel keeps one strip per channel object of the document and follows
// the channel list on channels_changed; it must be destroyed while the
// document is still alive (its axis widgets point into it).
#pragma once

#include <QWidget>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "engine/core/subscribers.h"
#include "engine/core/tviewlistener.h"
#include "engine/view/viewkeys.h"
#include "engine/view/viewmouse.h"
#include "engine/view/viewstate.h"
#include "gui/commands/commandregistry.h"
#include "gui/view/infoline.h"

class QScrollArea;
class QScrollBar;
class QWheelEvent;

namespace tessal {

class tdocument;
class tchannel;
class TAxis;
class TAxisWidget;
class tchannelstrip;

class tsignalpanel : public QWidget, public tviewlistener {
    Q_OBJECT

public:
    // `view` is the view state the strips draw with; it outlives the panel.
    tsignalpanel(tdocument& doc, tviewstate& view, QWidget* parent = nullptr);
    ~tsignalpanel() override;

    // Lays out all channels (creating and dropping strips to follow the
    // channel list).
    void resize_channels();
    // Repaints every strip; with redrawbmp the waveform layers are rebuilt.
    void invalidate_paintboxes_now(bool redrawbmp);
    // The time-axis limits from the channels; zoomout fits the range.
    void fix_xaxis(bool zoomout);
    TAxisWidget* timeaxis() const { return xaxis_; }
    // The scroll bar under the time axis, and the area the strips scroll in.
    QScrollBar* timescrollbar() const { return hbar_; }
    QScrollArea* channelarea() const { return area_; }
    tviewstate& view() { return view_; }
    int stripcount() const { return static_cast<int>(strips_.size()); }
    tchannelstrip& strip(int i) { return *strips_.at(i); }

    // Commands of the View and Channels menus, with their checks.
    std::vector<tcommand> view_commands();

    // Handles one key of the view's map; false when the key is not the view's.
    bool handle_key(int qtkey, Qt::KeyboardModifiers mods);

    // What the view asks of the sound side and the other windows; all
    // optional.
    std::function<void(tkeyrequest)> on_key_request;
    std::function<void(int chno, const tmouseresult&)> on_mouse_request;
    std::function<std::vector<tanalysisbracket>(int chno)> brackets;
    std::function<void(int chno)> on_notes;
    std::function<void(int chno)> on_measurements;

    // tviewlistener
    void invalidate_paintboxes(bool makebmps) override;
    void axisfont_changed() override;

protected:
    void resizeEvent(QResizeEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void sync_strips();
    void connect_strip(tchannelstrip& s);
    void mouse_result(int chno, const tmouseresult& r);
    void toggle_visibility(int chno);
    void show_only_selected();
    void set_selectmode(int mode);
    void handle_wheel(QWheelEvent* e);
    void sync_timescrollbar();

    tdocument& doc_;
    TAxisWidget* xaxis_;
    QScrollArea* area_;
    QWidget* channels_;  // inside area_: the strips' parent
    QScrollBar* hbar_;
    tviewstate& view_;
    std::vector<std::unique_ptr<tchannelstrip>> strips_;
    // Our subscriptions to the time axis and to each shown channel's axis.
    tsubscribers<TAxis&>::token xaxistoken_ = 0;
    std::map<tchannel*, tsubscribers<TAxis&>::token> axistokens_;
};

}  // namespace tessal
