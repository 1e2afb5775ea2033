// teditcommands: the Edit menu's sample commands over the document: Cut,
// Copy, Paste (through the clipboard as a "Tessal Sampled Data" block),
// Select all, Delete with its confirmation, Zero, Reverse, Interpolate and
// Set FSD to peak value, and the enabling rules of these commands.
//
// Contract: every command works on the channels of the edit set
// (edit_set) and on the selection between the left and right selection
// cursors; for channel c the selection covers the sample indices
// round(L*fs) - xshift .. round(R*fs) - xshift, each command clamping them
// as it says. Cut, Copy, Delete and Paste treat it as the half-open span
// s..e-1 (as the saves do), so a Cut and a Paste at the same place give the
// channel back sample for sample. A command touches nothing outside that range and nothing
// outside the edit set. A question the user refuses, a clipboard block that
// does not fit and a damaged block change nothing. Samples are inserted and
// removed with one move of the tail, never sample by sample.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "engine/core/clipboard.h"
#include "engine/core/prompter.h"
#include "engine/core/tdocument.h"

namespace tessal {

// The channels of the edit set in the order the commands use them: mono
// the current channel; stereo the current one, then its partner (when it
// has a valid one); all every channel; visible the visible ones.
std::vector<int> edit_set(const tdocument& doc);
// Whether the edit mode may change to `mode`: all but mono need two channels.
bool can_set_selectmode(const tdocument& doc, int mode);
// The current channel's valid stereo partner, or -1.
int stereo_partner(const tdocument& doc, int chno);
// Channel numbers as the questions list them: "0, 1 and 2".
std::string and_list(const std::vector<int>& chans);

// The selection on one channel as sample indices (unclamped).
struct tsamplerange {
    long long s = 0, e = 0;
};
tsamplerange selection_range(const tchannel& ch, double L, double R);

class teditcommands {
public:
    teditcommands(tdocument& doc, tprompter& prompter, tclipboard& clipboard)
        : doc(doc), prompter(prompter), clipboard(clipboard) {}

    // Stops playback and any running recording before the clipboard
    // commands read or change samples.
    std::function<void()> stop_sound;

    // Each returns true when it changed something (Copy: when it put a
    // block on the clipboard).
    bool copy();
    bool cut();
    bool paste();
    bool select_all();
    // The caller checks that the main window is the foreground window.
    bool delete_selection();
    bool zero();
    bool reverse();
    bool interpolate();
    bool set_fsd_to_peak();

    // The question Delete asks for the current edit set.
    std::string delete_question() const;

    // Enabling rules.
    bool can_copy() const;  // Cut and Copy
    bool can_paste() const;
    bool can_select_all() const;
    bool can_change_selection() const;  // Levels, Reverse, Zero, Interpolate
    bool can_set_fsd_to_peak() const;
    // "Edit stereo", "Edit all" and "Edit visible" need more than one channel.
    bool can_set_selectmode(int mode) const;

private:
    // Copy over the selection's half-open span; with removed_only, each
    // channel's part of it that holds samples (what Delete removes).
    bool copy_span(bool removed_only);
    // Reverse and Interpolate: `change` works on each edit-set channel with
    // samples over the selection clamped to them (s..e, both inclusive) and
    // says whether it changed anything.
    bool in_place(const std::function<bool(int, tchannel&, long long, long long)>& change);
    void after_sample_change(tchannel& ch);
    void notify_samples(int c, long long s, long long e, long long shift = 0);
    void refit_and_repaint();

    tdocument& doc;
    tprompter& prompter;
    tclipboard& clipboard;
};

}  // namespace tessal
