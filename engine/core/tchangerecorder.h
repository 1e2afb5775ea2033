// tchangerecorder: what the document tells the undo history before and as
// it changes. The document and its channels call these at the moment of
// the change, so the history keeps only what a change destroys: the samples
// about to be replaced, and the channel objects themselves when they leave
// the document (they are handed over, never copied). Properties, labels and
// notes are compared by the history itself when a command ends.
//
// Contract: samples_changing(ch, s, e) comes before samples s..e-1 of ch
// are overwritten or removed (any number of new samples may take their
// place, e == s for an insertion); channel_inserted after a channel took
// its place in the list; channel_removed hands over a channel that has
// just left the list (its index is the one it had).
#pragma once

#include <cstddef>
#include <memory>

namespace tessal {

class tchannel;

class tchangerecorder {
public:
    virtual ~tchangerecorder() = default;
    virtual void samples_changing(tchannel& ch, std::size_t s, std::size_t e) = 0;
    virtual void channel_inserted(tchannel& ch, int index) = 0;
    virtual void channel_removed(std::unique_ptr<tchannel> ch, int index) = 0;
    // The document was closed: nothing before this can be undone.
    virtual void contents_reset() = 0;
};

}  // namespace tessal
