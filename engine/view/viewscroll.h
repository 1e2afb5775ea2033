// Moving the visible time range with the mouse wheel and the scroll bar
// under the channels. The wheel scrolls by a tenth of the span per notch
// (as PgUp/PgDn do) and, with Ctrl, zooms about the time under the pointer.
// The scroll bar shows the visible range as a part of the whole signal; its
// positions are integers of a fixed resolution, mapped here both ways.
//
// Neither scrolling nor the scroll bar leads past the signal's ends (the
// range already beyond an end may come back, not go further); zooming out
// stops at the whole signal, zooming in at 10 microseconds (or the time
// axis's smallest span when that is larger).
#pragma once

namespace tessal {

class tdocument;

// One wheel notch is 120 units of the platform's angle delta.
inline constexpr double wheel_notch = 120;

// notches > 0: later in time.
void wheel_scroll(tdocument& doc, double notches);
// notches > 0 zoom in (each notch shows 0.8 of the span), < 0 out, keeping
// the time `at` at the same pixel.
void wheel_zoom(tdocument& doc, double notches, double at);

struct ttimescrollbar {
    int maximum = 0;   // value range is 0..maximum
    int pagestep = 0;  // the visible span
    int singlestep = 0;
    int value = 0;     // the visible range's start
};

// The whole extent is the signal (from the earliest first sample to the
// latest end) together with the visible range, divided into
// time_scroll_resolution units.
inline constexpr int time_scroll_resolution = 100000;
ttimescrollbar time_scrollbar(const tdocument& doc);
// Shows the part that starts at scroll-bar position `value`, keeping the span.
void scroll_time_to(tdocument& doc, int value);

}  // namespace tessal
