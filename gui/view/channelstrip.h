// tchannelstrip: the widgets of one channel in the signal panel: the
// information line, the show box, the amplitude axis over the channel's
// `axis` and the waveform area. The strip follows one tchannel object; when
// that channel is removed from the document the strip must be abandoned
// before anything touches its axis widget, because the axis it showed is
// gone (see abandon()).
#pragma once

#include "engine/view/viewlayout.h"

class QWidget;

namespace tessal {

class tdocument;
class tchannel;
struct tviewstate;
class tinfoline;
class tshowbox;
class TAxisWidget;
class twaveformview;

class tchannelstrip {
public:
    tchannelstrip(tdocument& doc, tviewstate& view, int chno, QWidget* parent);
    ~tchannelstrip();
    tchannelstrip(const tchannelstrip&) = delete;
    tchannelstrip& operator=(const tchannelstrip&) = delete;

    tchannel* channel() const { return channel_; }
    // The channel moved to index chno (or a new channel took the old
    // object's place): re-tag the widgets and show its axis again.
    void rebind(int chno);
    // The channel object was destroyed: the axis widget lets go of the old
    // axis without touching it, so the strip can be deleted safely.
    void abandon();
    // left: width of the axis column; width: of the time axis.
    void place(const tstripplace& p, int left, int width, int textheight);
    void update_all();

    tinfoline* info = nullptr;
    tshowbox* show = nullptr;
    TAxisWidget* axis = nullptr;
    twaveformview* wave = nullptr;

private:
    tdocument& doc_;
    tchannel* channel_;
};

}  // namespace tessal
