// What a command that fails half way leaves behind: nothing. A checkpoint
// records the document before a command runs (the channel list, every
// channel's properties, labels, notes and axis scale, the cursors, the time
// axis, the file name and modified flag, the preferences and measurement
// switches, and the samples as copies of the channels' stores, which share
// their blocks), and restore() puts all of it back after the command raised
// an exception.
//
// Channels the command created are removed again; a channel it destroyed
// cannot come back and is left out. A checkpoint made without samples
// (a sample budget of 0) leaves them as the command left them.
//
// failure_text turns an exception into a message a user can act on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>
#include <vector>

#include "engine/core/tdocument.h"
#include "engine/history/channelstate.h"

namespace tessal {

class tdocumentcheckpoint {
public:
    // Samples are kept only when the whole document holds at most
    // `samplebudget` samples (0: never). A kept channel's samples share its
    // store's blocks, so by default there is no limit.
    static constexpr std::size_t default_samplebudget = SIZE_MAX;

    explicit tdocumentcheckpoint(const tdocument& doc,
                                 std::size_t samplebudget = default_samplebudget);
    // Puts the document back; never throws.
    void restore(tdocument& doc) const;
    bool has_samples() const { return withsamples_; }

private:
    struct tsavedchannel {
        const tchannel* object = nullptr;
        tchannelstate state;
        tsamplestore samples;
    };

    std::vector<tsavedchannel> channels_;
    bool withsamples_ = false;
    tdocumentstate state_;
};

// The message for a command that failed with `e`: what went wrong in the
// user's words, the component's own text, and that nothing was changed.
std::string failure_text(const std::exception& e);

}  // namespace tessal
