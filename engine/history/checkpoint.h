// What a command that fails half way leaves behind: nothing. A checkpoint
// records the document before a command runs (the channel list, every
// channel's properties, labels, notes and axis scale, the cursors, the time
// axis, the file name and modified flag, the preferences and measurement
// switches, and the samples when the document is small enough to copy), and
// restore() puts all of it back after the command raised an exception.
//
// Channels the command created are removed again; a channel it destroyed
// cannot come back and is left out. Samples of a document larger than the
// checkpoint's sample budget are not copied: commands that change samples
// compute before they store, so they fail before touching them.
//
// failure_text turns an exception into a message a user can act on.
#pragma once

#include <cstddef>
#include <exception>
#include <string>
#include <vector>

#include "engine/core/tdocument.h"
#include "engine/history/channelstate.h"

namespace tessal {

class tdocumentcheckpoint {
public:
    // Samples are copied only when the whole document holds at most
    // `samplebudget` samples (0: never).
    static constexpr std::size_t default_samplebudget = 16u << 20;

    explicit tdocumentcheckpoint(const tdocument& doc,
                                 std::size_t samplebudget = default_samplebudget);
    // Puts the document back; never throws.
    void restore(tdocument& doc) const;
    bool has_samples() const { return withsamples_; }

private:
    struct tsavedchannel {
        const tchannel* object = nullptr;
        tchannelstate state;
        tsinglearr sig;
    };

    std::vector<tsavedchannel> channels_;
    bool withsamples_ = false;
    tdocumentstate state_;
};

// The message for a command that failed with `e`: what went wrong in the
// user's words, the component's own text, and that nothing was changed.
std::string failure_text(const std::exception& e);

}  // namespace tessal
