// tchannelstate: everything about a channel but its samples (name, unit,
// full scale, rates, shifts, partner, coding, colours, labels, notes,
// creation stamp, cursors, visibility and amplitude axis scale), captured
// and put back whole. The undo history compares two of them to see whether
// a command changed a channel, and the failure guard puts one back.
//
// tdocumentstate: the same for the document around its channels (file name,
// modified flag, current channel, edit mode, cursors, time axis scale,
// preferences and measurement switches); the undo history and the failure
// guard each put back what they need of it.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "engine/core/tchannel.h"
#include "engine/core/tdocument.h"

namespace tessal {

// Runs `f` and drops what it throws: each part of a restore stands alone,
// and one that fails must not keep the others from running.
template <class F>
void attempt(F&& f) noexcept {
    try {
        f();
    } catch (...) {
    }
}

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

struct tdocumentstate {
    std::string filename;
    bool modified = false;
    int thischanno = 0, selectmode = 0;
    double sel1 = 0, sel2 = 0, timecursor = 0;
    TAxis::tscalestate xscale;
    tpreferences prefs;
    std::array<bool, nmeasurementitems> showmeasurement{};
    double measurementthreshold = 0;

    static tdocumentstate of(const tdocument& doc);
};

}  // namespace tessal
