// The keyboard map of the signal view: a key with its modifiers becomes a
// change of the time axis, the selection cursors, the current channel, the
// channel axes or the edit mode. Whatever needs the sound side (play, stop)
// comes back as a request for the window to carry out.
#pragma once

namespace tessal {

class tdocument;
struct tviewstate;

enum class tviewkey { esc, space, pageup, pagedown, home, end, left, right, up, down, f4, f8, other };

struct tkeymods {
    bool shift = false;
    bool ctrl = false;
    bool alt = false;
};

enum class tkeyrequest { none, stop, play, playall };

struct tkeyresult {
    bool handled = false;
    tkeyrequest request = tkeyrequest::none;
    bool timeaxisscrolled = false;  // PgUp/PgDn: time views refit
    bool repaint = false;
};

tkeyresult view_key(tdocument& doc, tviewstate& view, tviewkey key, tkeymods mods);

// F4: mono -> stereo -> all -> visible -> mono.
int next_selectmode(int mode);

}  // namespace tessal
