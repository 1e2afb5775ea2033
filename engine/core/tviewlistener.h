// What the document tells the windows. Every window that shows the document
// registers one listener with the view state; the engine calls these on the
// user-interface thread and never names a window class. All methods have
// empty defaults so a window overrides only what it shows.
#pragma once

namespace tessal {

class tviewlistener {
public:
    virtual ~tviewlistener() = default;
    // The selection cursors moved (sel2 tells whether the second one did,
    // which redraws zoom-to-selection views at once).
    virtual void main_cursor_changed(bool /*sel2*/) {}
    // The time cursor alone moved.
    virtual void time_cursor_changed() {}
    virtual void freq_cursor_changed(double /*f_hz*/) {}
    // The channel list or the settings changed: refresh channel lists.
    virtual void fix_things() {}
    // Repaint; rebuild cached layers when makebmps.
    virtual void invalidate_paintboxes(bool /*makebmps*/) {}
    // The axis font changed: lay out again.
    virtual void axisfont_changed() {}
    // Channels were added or removed: lay out the strips again and refit
    // the time axis.
    virtual void channels_changed() {}
    // Title, modified flag or command enablings changed.
    virtual void document_state_changed() {}
};

}  // namespace tessal
