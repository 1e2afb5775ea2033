// Mouse handling of a waveform area as document changes: a press makes the
// channel current and starts a selection drag, a mark drag or a label
// action; moves drag what was grabbed; the release ends it. Label moves
// (Alt) preview in newtime/newduration and take effect only when released
// inside the label strip. Requests that need another window or the sound
// side come back in the result.
#pragma once

#include "engine/core/tsiglabel.h"
#include "engine/view/viewkeys.h"

namespace tessal {

class tdocument;
struct tviewstate;

enum class tmousebutton { none, left, right };

struct tmouseinput {
    int x = 0;
    int y = 0;
    int height = 0;  // of the waveform area
    tmousebutton button = tmousebutton::none;  // pressed/released, or held while moving
    tkeymods mods;
    bool doubleclick = false;
};

enum class tmouserequest { none, playchannel, playlabel, labelproperties, seek };

struct tmouseresult {
    tmouserequest request = tmouserequest::none;
    int labelno = -1;           // playlabel, labelproperties
    long long seeksample = 0;   // seek: new playback position (sample index)
    bool currentchanged = false;
    bool rebuild = false;       // every view repaints with new layers
    bool repaint = false;       // overlays only
    bool marksmoved = false;    // mark 1 or 2 was dragged (LTAS of the marks)
    // What the input changed in the document's data, as the Edit menu's
    // Undo names it ("Move label"); null when it changed none.
    const char* change = nullptr;
};

// Label strip height: labels are grabbed and released above this y.
inline constexpr int label_drop_limit = 30;
// Handle strip at the bottom of a waveform area, where marks are grabbed.
inline constexpr int mark_strip_height = 10;

tmouseresult view_mouse_down(tdocument& doc, tviewstate& view, int chno, const tmouseinput& in);
tmouseresult view_mouse_move(tdocument& doc, tviewstate& view, int chno, const tmouseinput& in);
tmouseresult view_mouse_up(tdocument& doc, tviewstate& view, int chno, const tmouseinput& in);

// Preview of a label move by dt seconds with grab mode 0 (start edge),
// 1 (whole label) or 2 (end edge); a negative length flips the label so
// its duration stays positive.
void drag_label(tsiglabel& l, int shiftmode, double dt);

// Whether mark i is drawn and grabbable on channel chno.
bool mark_shown(const tviewstate& view, int chno, int i);

// View > "Show red and blue marks": shows or hides marks 1 and 2 (the red
// and blue cursors of Align channels, F8 and Edit levels). Shown, a
// channel whose two marks still sit on one spot (never placed) gets them at
// a third and two thirds of the visible time range, where both can be seen
// and grabbed apart.
void show_red_blue_marks(tdocument& doc, tviewstate& view, bool on);

}  // namespace tessal
