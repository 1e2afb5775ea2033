// What the document tells the windows. Every window that shows the document
// registers one listener with the view state; the engine calls these on the
// user-interface thread and never names a window class. All methods have
// empty defaults so a window overrides only what it shows.
#pragma once

#include <limits>

namespace tessal {

// What changed in one channel. Sample ranges are half open, [first, last),
// in the channel's sample indices as they were before the change.
//   samples     samples first..last-1 took new values or were removed, and
//               `shift` samples were inserted (> 0) or removed (< 0) at
//               `first`: every sample from `last` on moved by `shift`
//               (a change of the channel's time shift moves them the same
//               way). Zeroing keeps shift 0; deleting n samples has
//               last = first + n and shift = -n; inserting n has
//               first = last and shift = n.
//   added       a channel now has this number; the channels after it were
//               renumbered. Channels added together at the end of the list
//               are one notice naming the first of them.
//   removed     the channel with this number is gone; the channels after it
//               were renumbered. Channels removed together from the end of
//               the list are one notice naming the first of them.
//   properties  anything about the channel may have changed (rate, full
//               scale, time shift, all samples): nothing computed from it
//               holds any more.
//   labels      labels of the channel were added, removed, edited or
//               (de)selected; first..last-1 spans them (the whole channel
//               when many changed). Samples and results are untouched.
struct tchannelchange {
    enum class tkind { samples, added, removed, properties, labels };
    static constexpr long long end_of_channel = std::numeric_limits<long long>::max();

    tkind kind = tkind::samples;
    int channel = 0;
    long long first = 0, last = 0;
    long long shift = 0;

    static tchannelchange samples(int chno, long long first, long long last,
                                  long long shift = 0) {
        return {tkind::samples, chno, first, last, shift};
    }
    static tchannelchange added(int chno) { return {tkind::added, chno, 0, end_of_channel, 0}; }
    static tchannelchange removed(int chno) {
        return {tkind::removed, chno, 0, end_of_channel, 0};
    }
    static tchannelchange properties(int chno) {
        return {tkind::properties, chno, 0, end_of_channel, 0};
    }
    static tchannelchange labels(int chno, long long first = 0,
                                 long long last = end_of_channel) {
        return {tkind::labels, chno, first, last, 0};
    }

    // Does a result computed from samples a..b-1 (half open) of channel
    // `chno` still hold after this change? An edit of other samples of the
    // channel leaves it valid unless it moved them; a channel added or
    // removed before it renumbers it.
    bool touches(int chno, long long a, long long b) const {
        switch (kind) {
            case tkind::added:
            case tkind::removed: return chno >= channel;
            case tkind::properties: return chno == channel;
            case tkind::labels: return false;
            case tkind::samples: break;
        }
        if (chno != channel) return false;
        if (shift != 0) return b > first;
        return first < last && a < last && first < b;
    }
};

// The selection before and after a change, in seconds, left <= right.
struct tselectionchange {
    double oldleft = 0, oldright = 0;
    double left = 0, right = 0;
};

class tviewlistener {
public:
    virtual ~tviewlistener() = default;
    // The selection cursors moved (sel2 tells whether the second one did,
    // which redraws zoom-to-selection views at once).
    virtual void main_cursor_changed(bool /*sel2*/) {}
    // The time cursor alone moved.
    virtual void time_cursor_changed() {}
    virtual void freq_cursor_changed(double /*f_hz*/) {}
    // "Hide crosshairs": the analysis windows stop showing their cursor
    // lines until a cursor is set again.
    virtual void hide_crosshairs() {}
    // The channel list or the settings changed: refresh channel lists.
    virtual void fix_things() {}
    // Repaint; rebuild cached layers when makebmps.
    virtual void invalidate_paintboxes(bool /*makebmps*/) {}
    // The axis font changed: lay out again.
    virtual void axisfont_changed() {}
    // Channels were added or removed: lay out the strips again and refit
    // the time axis.
    virtual void channels_changed() {}
    // Title, modified flag or command enablings changed.
    virtual void document_state_changed() {}
    // Samples, channels or channel properties changed, as described. The
    // broadcasts above still follow (repaint, channel lists), so a window
    // that redraws everything anyway can leave this alone; one that keeps
    // results per channel and range recomputes only what was touched.
    virtual void channel_changed(const tchannelchange& /*change*/) {}
    // The selection moved (after main_cursor_changed).
    virtual void selection_changed(const tselectionchange& /*change*/) {}
};

}  // namespace tessal
