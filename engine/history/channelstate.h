// tchannelstate: everything about a channel but its samples (name, unit,
// full scale, rates, shifts, partner, coding, colours, labels, notes,
// creation stamp, cursors, visibility and amplitude axis scale), captured
// and put back whole. The undo history compares two of them to see whether
// a command changed a channel, and the failure guard puts one back.
#pragma once

#include <string>
#include <vector>

#include "engine/core/tchannel.h"

namespace tessal {

struct tchannelstate {
    std::string name, unit, filename;
    bool visible = true, skipjumps = false;
    double fsd = 0, sampfreq = 0, orgsampfreq = 0, dbreference = 0, yshift = 0;
    int stereochanno = -1, nbits = 0;
    long long xshift = 0;
    tFormat format = tFormat::pcm;
    TColor color = 0, notescolor = 0;
    std::vector<double> cursors;
    tsiglabels labels;
    std::vector<std::string> notes;
    tcreatedata created;
    TAxis::tscalestate scale;

    static tchannelstate of(const tchannel& c);
    // Puts the state back into `c` (never throws); `nchans` bounds the
    // partner number. The caller sends the change notice. The samples then
    // want dither when they did or when the full scale or coding changed.
    void apply(tchannel& c, int nchans) const;
    // Whether what a file keeps differs (the view's cursors, visibility and
    // axis scale aside): a command that changes only those is no edit.
    bool same_data(const tchannelstate& o) const;
    bool operator==(const tchannelstate& o) const = default;
    // Bytes held beyond the object itself, for the history's budget.
    std::size_t heap_bytes() const;
};

}  // namespace tessal
