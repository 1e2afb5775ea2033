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

// The place a window opens at: at least `minwidth` x `minheight` (a size
// its contents can be read at), no larger than the screen, and wholly
// inside it; a window that already fits keeps its place.
trect fit_on_screen(trect window, int minwidth, int minheight, const trect& screen);
// A window of the given size centred over `over`, then fitted to the screen.
trect centred_over(int width, int height, const trect& over, const trect& screen);

}  // namespace tessal
