// The signal view as a feature: the signal panel in the middle of the main
// window, the View menu's zoom, show and channel commands, the edit modes
// of the Channels menu, and the "Keyboard shortcuts" window. The panel's
// requests go out through the context's view requests, so the features
// that answer them never reach into the panel.
#pragma once

#include "engine/core/tviewlistener.h"
#include "gui/context/appcontext.h"

namespace tessal {

class tsignalpanel;

class tviewmodule : public tfeaturemodule, public tviewlistener {
public:
    explicit tviewmodule(tappcontext& ctx);
    ~tviewmodule() override;

    tsignalpanel* panel() const { return panel_; }

    // tviewlistener
    void channels_changed() override;
    void invalidate_paintboxes(bool makebmps) override;

private:
    tsignalpanel* panel_;
};

}  // namespace tessal
