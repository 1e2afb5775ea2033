// tglobal: the view state shared by every channel and window: the time and
// frequency cursors, the two selection cursors and the axis font with the
// sizes derived from it. Setting a selection cursor marks the measurements
// stale and tells every registered listener, with the old and new selection;
// channel_changed tells them which channel and samples an edit touched.
#pragma once

#include <vector>

#include "engine/core/textmetrics.h"
#include "engine/core/tviewlistener.h"

namespace tessal {

class tdocument;

class tglobal {
public:
    explicit tglobal(tdocument* doc);

    double timecursor() const { return ftimecursor; }
    double freqcursor() const { return ffreqcursor; }
    double sel1cursor() const { return fsel1cursor; }
    double sel2cursor() const { return fsel2cursor; }
    double leftselcursor() const { return fsel1cursor < fsel2cursor ? fsel1cursor : fsel2cursor; }
    double rightselcursor() const { return fsel1cursor > fsel2cursor ? fsel1cursor : fsel2cursor; }
    bool has_selection() const { return fsel1cursor != fsel2cursor; }

    void set_timecursor(double t);
    void set_freqcursor(double f);
    void set_sel1cursor(double t);
    void set_sel2cursor(double t);
    // Writes whichever of sel1/sel2 is now the smaller (left) or larger (right).
    void set_leftselcursor(double t);
    void set_rightselcursor(double t);
    // Sets both selection cursors with one broadcast.
    void set_selection(double left, double right);

    // The axis font, given as its metrics (not owned).
    const ttextmetrics& axisfont() const { return *faxisfont; }
    void set_axisfont(const ttextmetrics* metrics);
    int axiswidth() const { return faxiswidth; }
    int axisheight() const { return faxisheight; }
    int textpaintheight() const { return ftextpaintheight; }
    int channelaxiswidth() const { return fchannelaxiswidth; }
    int font_textheight(const char* s) const { return faxisfont->text_height(s); }

    // Broadcasts.
    void full_redraw();
    void hide_crosshairs();
    void invalidate_paintboxes(bool makebmps);
    void fix_things();
    void channels_changed();
    void document_state_changed();
    void channel_changed(const tchannelchange& change);

    void add_listener(tviewlistener* l);
    void remove_listener(tviewlistener* l);

private:
    void selection_changed(bool sel2, tselectionchange change);
    template <class F>
    void each(F f) {
        // A listener may unregister while being told; walk a copy.
        auto copy = listeners;
        for (tviewlistener* l : copy) f(*l);
    }

    tdocument* doc;
    double ftimecursor = 0;
    double ffreqcursor = 0;
    double fsel1cursor = 0;
    double fsel2cursor = 0;
    const ttextmetrics* faxisfont;
    int faxiswidth = 40;
    int faxisheight = 20;
    int ftextpaintheight = 18;
    int fchannelaxiswidth = 52;
    std::vector<tviewlistener*> listeners;
};

}  // namespace tessal
