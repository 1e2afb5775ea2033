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

namespace tessal {

namespace {

// The cascade offset of window `index` when `room` pixels are free for
// stepping.
int cascade_offset(int room, int index) {
    if (room < cascadestep || index <= 0) return 0;
    const int places = room / cascadestep + 1;
    return (index % places) * cascadestep;
}

}  // namespace

trect first_placement(const trect& s, const trect& m, int barsbottom, int width, int height,
                      int minwidth, int minheight, int index) {
    const int w = std::min(std::max(width, minwidth), s.width);
    int h = std::min(std::max(height, minheight), s.height);
    const int freeright = s.right() - m.right(), freeleft = m.left - s.left;
    const int freebelow = s.bottom() - m.bottom();
    // The top the main window's frame starts at, as far as the screen allows.
    auto top_beside = [&] { return std::clamp(m.top, s.top, s.bottom() - h); };
    trect r{0, 0, w, h};
    if (freeright >= w || freeleft >= w) {
        const bool right = freeright >= w;
        const int top = top_beside();
        const int off = cascade_offset(std::min(s.bottom() - h - top, (right ? freeright : freeleft) - w), index);
        r.left = right ? m.right() + off : m.left - w - off;
        r.top = top + off;
        return r;
    }
    if (freebelow >= h) {
        const int left = std::clamp(m.left, s.left, s.right() - w);
        const int off = cascade_offset(std::min(freebelow - h, s.right() - w - left), index);
        r.left = left + off;
        r.top = m.bottom() + off;
        return r;
    }
    // Over the work area: below the bars, as tall as the room there allows
    // (not below the least height), at the screen's edge on the freer side.
    const int bars = std::clamp(barsbottom, s.top, s.bottom());
    const int roombelow = s.bottom() - bars;
    if (h > roombelow) h = std::min(std::max(roombelow, std::min(minheight, s.height)), s.height);
    r.height = h;
    const int top = std::clamp(bars, s.top, s.bottom() - h);
    const bool right = freeright >= freeleft;
    // Each further window steps down, and sideways as far as the screen's
    // width allows, so each one's title bar stays in sight; one as tall as
    // the room grows shorter by its step, not below its least height.
    const int spare = s.bottom() - h - top;
    const int off = cascade_offset(spare >= cascadestep ? spare : s.bottom() - top - std::min(minheight, h), index);
    const int across = std::min(off, s.width - w);
    r.height = std::min(h, s.bottom() - top - off);
    r.left = right ? s.right() - w - across : s.left + across;
    r.top = top + off;
    return r;
}

bool fits_wholly(const trect& r, int minwidth, int minheight, const trect& s) {
    return r.width >= minwidth && r.height >= minheight && r.width > 0 && r.height > 0 &&
           r.left >= s.left && r.top >= s.top && r.right() <= s.right() && r.bottom() <= s.bottom();
}

}  // namespace tessal
