// Channel properties over the document: the Set FSD window's heading and
// command, Align channels, the values of the Channel information dialog and
// their Apply, and Delete channel / Delete channels with their questions and
// captions.
//
// Contract: every command first reads and checks all the numbers it needs;
// an unreadable or impossible number changes nothing and returns false (or
// an error text). A refused question changes nothing.
#pragma once

#include <string>
#include <vector>

#include "engine/core/prompter.h"
#include "engine/core/tdocument.h"

namespace tessal {

// --- Set FSD --------------------------------------------------------------------

// The heading above the level field, by the edit set and the selection.
std::string setfsd_heading(const tdocument& doc);
// "&Set FSD!": FSD := rms * 10^(-level/20) for each channel of the edit set,
// rms over the selection (the whole channel without one). With
// keepimbalance in stereo mode both channels use the larger rms. A channel
// whose rms is 0 (no samples there, or silence) keeps its FSD, since an FSD
// of 0 cannot be saved. False when the level is unreadable.
bool set_fsd_to_level(tdocument& doc, const std::string& leveltext, bool keepimbalance);
// The root mean square the command uses for one channel.
double setfsd_rms(const tdocument& doc, int chno);

// --- Align channels -------------------------------------------------------------

// "0: name" as the lists show each channel.
std::string channel_list_text(const tdocument& doc, int chno);

// Aligns each of `chans` to the reference channel by marks 1 and 2
// (seconds). onlyshift moves the signal so that its mark 1 meets the
// reference's; otherwise the sampling rate tag changes too so that both
// marks meet. Returns an error text for channels that could not be aligned
// (marks at the same place), empty when all went well.
std::string align_channels(tdocument& doc, int refchan, const std::vector<int>& chans,
                           bool onlyshift);
// Back to the rate the channel was read with and no time shift.
void remove_alignment(tdocument& doc, const std::vector<int>& chans);

// --- Channel information --------------------------------------------------------

struct tchannelinfo {
    std::string name;
    std::string unit;
    std::string fsd;
    std::string sampfreq;
    int stereochanno = -1;  // -1: none
    std::string timeshift;  // seconds
    std::string dbreference;
};

tchannelinfo channel_info(const tdocument& doc, int chno);
// "dB reference (0=disable)" followed by " [unit]" when a unit is typed.
std::string dbreference_caption(const std::string& unit);
// Sets the checklist's visibility of a channel and lays the strips out again.
void set_channel_visible(tdocument& doc, int chno, bool visible);
// "Apply!". Returns an error text and changes nothing when a number is
// unreadable or impossible (a rate that is not positive, a partner that is
// the channel itself or no channel); empty on success. A new partner is
// paired both ways and a partner given up no longer points here.
std::string apply_channel_info(tdocument& doc, int chno, const tchannelinfo& info);

// --- Delete channel(s) ----------------------------------------------------------

bool can_delete_channel(const tdocument& doc);
bool can_delete_channels(const tdocument& doc);
std::string delete_channel_caption(const tdocument& doc);
std::string delete_channels_caption(const tdocument& doc);
// Ask, then delete the current channel (and its partner, higher number first).
bool delete_current_channel(tdocument& doc, tprompter& prompter);
bool delete_current_channels(tdocument& doc, tprompter& prompter);

}  // namespace tessal
