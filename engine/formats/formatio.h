// What a format's reader and writer work with: the document, the prompter
// for their questions and refusals, the progress callback, the last save
// coding, and the hooks of the document's file commands (the recent-files
// list, the codec conversion). One is made for every open, add or save by
// tdocumentfiles; the readers and writers themselves live beside their
// formats and are named by the format's registry row.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "engine/core/prompter.h"
#include "engine/core/tdocument.h"
#include "engine/dsp/arrays.h"

namespace tessal {

struct tformatio {
    tdocument& doc;
    tprompter& prompter;
    // The coding the last save used, or the richest read; Save as proposes it.
    int& currentnbits;
    tFormat& currentformat;
    // Told while a file is read or written: its path and the fraction done;
    // returning false cancels.
    std::function<bool(const std::string&, double)> progress{};
    // Told every signal file read or written, for the recent-files list.
    std::function<void(const std::string&)> used{};
    // Whether a reader keeps each channel's peak and sum of squares.
    bool keep_stats = false;
    // Threads that decode a file's channels; 0: one per core.
    int threads = 0;
    // Whether opening a WAVE file decodes it once for the channels' drawing
    // overview (the min/max cache) and peaks. Without it only the header is
    // read: the channels build the overview when first asked (fix_sigcache)
    // and the frames are those the file's size holds. keep_stats needs the
    // pass and makes it whatever this says.
    bool overview = true;
    // Set by a reader or writer that `progress` cancelled.
    bool cancelled = false;
    // Whether a codec entry converts this file, and the conversion into a
    // temporary WAVE file (false, the user told why, when none worked).
    std::function<bool(const std::string&)> converts{};
    std::function<bool(const std::string&, std::string&)> convert{};

    void use(const std::string& path) const {
        if (used) used(path);
    }
    std::vector<int> channel_list(const std::vector<int>& chans) const;
    // Whether the channels share one sampling rate.
    bool same_rates(const std::vector<int>& chans) const;
    // The overload question when samples of `list` go past what the coding
    // holds over from..to; true when there is none or the user goes on.
    bool overload_ok(const std::vector<int>& list, int nbits, tFormat format, double from,
                     double to);
};

// `chans`, or every channel of the document when it is empty.
std::vector<int> channel_list(const tdocument& doc, const std::vector<int>& chans);

// A file read whole, not yet in the document: how many channels it holds
// and the work that appends them. No work when the file cannot be read or
// the user refused it (the user was told why) or the read was cancelled.
struct tloaded {
    int nchans = 0;
    std::function<void()> install;
};

// What a save writes: channels `chans` (empty: all) over from..to seconds
// (equal: the whole signal) in the coding nbits/format.
struct tsaverequest {
    std::string path;
    int nbits = 16;
    tFormat format = tFormat::pcm;
    double from = 0, to = 0;
    std::vector<int> chans;
};

}  // namespace tessal
