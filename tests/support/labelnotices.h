// A listener that hears which channels' labels changed, in order, and how
// many repaints were asked for: what a command that writes labels must tell
// the windows.
#pragma once

#include <vector>

#include "engine/core/tviewlistener.h"

namespace tessal::testing {

struct tlabelnotices : tviewlistener {
    std::vector<int> labels;
    int repaints = 0;
    void channel_changed(const tchannelchange& c) override {
        if (c.kind == tchannelchange::tkind::labels) labels.push_back(c.channel);
    }
    void invalidate_paintboxes(bool) override { ++repaints; }
};

}  // namespace tessal::testing
