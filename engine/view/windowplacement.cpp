#include "engine/view/windowplacement.h"

#include <algorithm>

namespace tessal {

trect keep_on_desktop(trect w, const trect& d) {
    if (w.left > d.right() - 50) w.left = d.right() - 50;
    if (w.top > d.bottom() - 100) w.top = d.bottom() - 100;
    if (w.bottom() < d.top + 50) w.top = d.top;
    if (w.right() < d.left + 100) w.left = d.left - w.width + 100;
    return w;
}

trect fit_on_screen(trect w, int minwidth, int minheight, const trect& s) {
    w.width = std::min(std::max(w.width, minwidth), s.width);
    w.height = std::min(std::max(w.height, minheight), s.height);
    w.left = std::clamp(w.left, s.left, s.right() - w.width);
    w.top = std::clamp(w.top, s.top, s.bottom() - w.height);
    return w;
}

trect centred_over(int width, int height, const trect& over, const trect& screen) {
    trect w{over.left + (over.width - width) / 2, over.top + (over.height - height) / 2, width, height};
    return fit_on_screen(w, 0, 0, screen);
}

}  // namespace tessal
