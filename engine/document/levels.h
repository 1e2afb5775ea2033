// Edit levels: level and DC changes over the selection of the edit set,
// with raised-cosine on- and offset ramps just outside it, and the captions
// and field rules of its dialog.
//
// Contract: for channel c the selection covers s..e (selection_range); the
// change applies inside s..e and the ramps over the m samples before s and
// after e, m = round(ramp_ms / 1000 * fs); indices outside the samples are
// skipped, never added. Unreadable numbers change nothing, and neither does
// a change whose results would not be finite.
#pragma once

#include <string>

#include "engine/core/tdocument.h"

namespace tessal {

enum tleveltype : int {
    constantlevel = 0,   // dB
    rampedlevel = 1,     // dB at the start and at the end
    constantfactor = 2,
    rampedfactor = 3,
    dcconstant = 4,      // add a value
    removedc = 5,        // add minus the mean of the selection
};

struct tlevelchange {
    int type = constantlevel;
    double startvalue = 0;
    double endvalue = 0;
    double ramp_ms = 30;
};

// The dialog's texts and which fields it shows for a type.
extern const char* const leveltype_captions[6];
std::string levels_start_caption(int type, const std::string& unit);
std::string levels_end_caption(int type);
bool levels_shows_start(int type);
bool levels_shows_end(int type);
// "Read avg between red && blue cursors": shown for "DC constant" in mono mode.
bool levels_shows_readavg(int type, int selectmode);

// Applies the change to one channel over s..e.
void apply_level_change(tchannel& ch, long long s, long long e, const tlevelchange& change);

// Whether every sample the change (with its ramps) touches stays a finite
// 32-bit float. Judged from the largest sample there, so a change that only
// just fits may be refused, never one that does not.
bool level_change_fits(const tchannel& ch, long long s, long long e, const tlevelchange& c);

// Applies the change to every channel of the edit set over the selection,
// marks the document modified and repaints. False when there is nothing to
// change, or (with the reason in `why`, nothing changed) when a result
// would be too large to store.
bool edit_levels(tdocument& doc, const tlevelchange& change, std::string* why = nullptr);
// The same from the dialog's texts; false (and nothing changed) when one of
// the numbers the type needs is unreadable.
bool edit_levels(tdocument& doc, int type, const std::string& starttext,
                 const std::string& endtext, const std::string& ramptext,
                 std::string* why = nullptr);

// Minus the mean of the channel's samples between marks 1 and 2 (positions
// in seconds; samples outside the channel count as 0).
double read_avg_between_marks(const tchannel& ch);

}  // namespace tessal
