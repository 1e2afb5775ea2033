// Keeps a window reachable on the desktop: a window whose edges were saved on
// a larger or different screen is pulled back so that enough of it shows to
// grab it.
#pragma once

namespace tessal {

struct trect {
    int left = 0, top = 0, width = 0, height = 0;
    int right() const { return left + width; }
    int bottom() const { return top + height; }
};

trect keep_on_desktop(trect window, const trect& desktop);

}  // namespace tessal
