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

namespace tessal {

// How far each further window opens below and beside the one before it.
inline constexpr int cascadestep = 24;

// Where a secondary window opens when nothing placed it before: wholly on
// `screen` (the available area), never over the main window's menu and tool
// bars (`mainframe` is the main window's frame, `barsbottom` the screen y
// just below its tool bars), at its wished size `width` x `height` (frame
// included) when the screen holds it, never below `minwidth` x `minheight`
// unless the screen is smaller. The first choice is beside the main window
// (right, then left), then below it, and when none of these has room, over
// its work area below the bars, on the side where more of the screen is
// free. `index` counts the windows already open: each steps down (and away
// from the main window) by cascadestep, starting again at the first place
// when the next step would leave the screen. A window as tall as the room
// below the bars steps down by growing shorter, not below `minheight`.
trect first_placement(const trect& screen, const trect& mainframe, int barsbottom, int width,
                      int height, int minwidth, int minheight, int index);

// Whether a saved place can be used as it is on this screen: wholly inside
// it and at least `minwidth` x `minheight`.
bool fits_wholly(const trect& window, int minwidth, int minheight, const trect& screen);

}  // namespace tessal
