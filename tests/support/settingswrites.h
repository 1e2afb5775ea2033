// For a test of the settings themselves: allows writing the settings file
// and the recent-files lists (into the test's own data folder) while it
// lives. Every other GUI test runs with writes off.
#pragma once

#include "gui/settings/tmainsettings.h"

namespace tessal::testing {

struct tsettingswrites {
    bool before = tmainsettings::writes_allowed();
    tsettingswrites() { tmainsettings::set_writes_allowed(true); }
    ~tsettingswrites() { tmainsettings::set_writes_allowed(before); }
};

}  // namespace tessal::testing
