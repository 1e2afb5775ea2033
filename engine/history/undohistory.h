// tundohistory: the undo and redo history of a document.
//
// A command's work runs between begin() and commit() (or rollback() when it
// failed). Meanwhile the document tells the history what it is about to
// change (tchangerecorder): the samples about to be replaced, the channels
// created and the channel objects removed. At begin() the history notes
// every channel's properties, labels and notes and the document's own state
// (selection, current channel, edit set, modified flag); commit() compares
// them with what the command left and keeps only the channels that differ.
// So a step holds what the command destroyed, never a copy of the document:
// an undo of Delete holds the deleted samples and little else.
//
// Each recorded change is its own inverse: applying a sample change swaps
// the samples now in the range with those it holds; applying a channel move
// takes the channel out of the list or puts the same object back. Undo
// applies a step's changes last to first, redo first to last, and both put
// the properties, each channel's need of dither and the document state of
// their side back: samples undone to what a file held are saved as they
// were read, not dithered. A failed command
// is rolled back the same way, exactly, whatever the document's size.
//
// Nested begin/commit pairs (a dialog run from a command) belong to the
// outermost step; a nested rollback puts back only its own part. An outer
// step begun without a name takes the name of the first nested step that
// commits with one (a mouse click that opens a dialog is named after it).
//
// The history keeps its steps within a memory budget (default 1 GB): after
// each step the oldest steps are dropped until the rest fit. Saved samples
// are slices of the channel's sample store, so what a step costs is what
// only the history keeps alive (see memory_bytes()).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/core/tchangerecorder.h"
#include "engine/core/tdocument.h"
#include "engine/history/channelstate.h"
#include "engine/store/samplestore.h"

namespace tessal {

// Samples from..to-1 of `ch` replaced by p[0..n): the part both have in
// common overwritten, the rest inserted or erased, so that the channel marks
// only the min/max cache blocks that changed. A span outside the samples
// throws std::out_of_range and changes nothing; p must not point into the
// channel's samples.
void replace_samples(tchannel& ch, std::int64_t from, std::int64_t to, const float* p, std::size_t n);
// The same with the samples of a store: the common part written piece by
// piece, the rest inserted as the store's own blocks (shared, not copied)
// or erased.
void replace_samples(tchannel& ch, std::int64_t from, std::int64_t to, const tsamplestore& s);

class tundohistory final : public tchangerecorder {
public:
    static constexpr std::size_t default_budget = std::size_t(1) << 30;

    // Attaches itself to `doc` as its recorder; the destructor detaches.
    explicit tundohistory(tdocument& doc);
    ~tundohistory() override;
    tundohistory(const tundohistory&) = delete;
    tundohistory& operator=(const tundohistory&) = delete;

    // A command's step. `name` is what the Edit menu says ("Delete"); an
    // empty name leaves it to a nested step or to rename().
    void begin(const std::string& name);
    // Names the open outermost step, for work that knows only once it has
    // run what it did (a mouse release that moved a label).
    void rename(const std::string& name);
    // The open outermost step's name ("" when none is open or it has none).
    std::string step_name() const;
    // Ends the step begun last; the outermost keeps it when it changed the
    // document's data.
    void commit();
    // Puts back everything since the matching begin() and ends that step.
    // Never throws.
    void rollback() noexcept;
    bool recording() const { return !frames_.empty(); }
    // How many begin() calls are open.
    std::size_t depth() const { return frames_.size(); }

    // Also inside a step that has changed nothing yet (the Undo command's
    // own): that step is then dropped.
    bool can_undo() const { return idle() && !undo_.empty(); }
    bool can_redo() const { return idle() && !redo_.empty(); }
    // The name of the step Undo or Redo would take back ("" when none).
    std::string undo_name() const;
    std::string redo_name() const;
    // False when there was nothing to undo or redo.
    bool undo();
    bool redo();
    std::size_t undo_count() const { return undo_.size(); }
    std::size_t redo_count() const { return redo_.size(); }

    // Forgets every step.
    void clear();
    // The budget: the document's UndoMemoryMB preference unless set here.
    void set_budget(std::size_t bytes);
    std::size_t budget() const { return budget_; }
    // Bytes held by all steps: each step's own records, plus the sample
    // blocks that only the history keeps alive, each counted once (for the
    // oldest step that refers to it). A block the document's channels (or
    // the clipboard, or a worker) still use costs the history nothing, so
    // small edits of a long channel cost about the blocks they replaced,
    // and a deleted span costs its samples. Removed channels held by a step
    // count all their samples.
    std::size_t memory_bytes() const;
    // Bytes held by the step still open (a recording keeps its step open
    // for as long as it runs, and the commands run meanwhile belong to it).
    // The budget does not reach it until it is kept.
    std::size_t open_bytes() const;
    // Steps dropped to keep within the budget since the last clear().
    std::size_t dropped_steps() const { return dropped_; }

    struct tstep;
    // Told after every change of the history (a step kept, undone, redone,
    // dropped): menus refresh their captions from it.
    std::function<void()> onchange;
    // Told of each step kept (before the budget may drop it) and of each
    // undo (true) and redo (false): the journal writes them.
    std::function<void(const tstep&)> onstep;
    std::function<void(bool)> onmove;
    // Told when the document was saved, closed or replaced: what was
    // journaled before no longer needs to be kept.
    std::function<void()> onrestart;

    // Says that the outermost open step, its own work done, now stays open
    // while the user runs commands (a recording holds its step until the
    // device closes). Each command committed directly inside it from now on
    // is told to `oncommand`: the deltas it added to the open step from
    // `first` on, and the channels' states when it began. The journal
    // writes it at once, so that a crash before the open step ends keeps it.
    void hold_open() {
        if (!frames_.empty()) heldopen_ = true;
    }
    struct tcommand {
        std::string name;
        std::size_t first = 0;
        const std::vector<std::pair<tchannel*, tchannelstate>>* before = nullptr;
    };
    std::function<void(const tcommand&)> oncommand;
    // Told when an open step that told of commands is rolled back: they no
    // longer hold.
    std::function<void()> oncommandsdropped;

    // tchangerecorder
    void samples_changing(tchannel& ch, std::size_t s, std::size_t e) override;
    void channel_inserted(tchannel& ch, int index) override;
    void channel_removed(std::unique_ptr<tchannel> ch, int index) override;
    void contents_reset() override;

    // What a step holds, public for the journal and tests.
    struct tdelta {
        enum class tkind { samples, channel } kind = tkind::samples;
        tchannel* ch = nullptr;
        // samples: `data` holds the other side's samples from `start` on
        // (a slice of the channel's store), and the channel had `othersize`
        // samples on that side.
        std::size_t start = 0, othersize = 0;
        tsamplestore data;
        // channel: its index, and the object while it is out of the list.
        int index = 0;
        std::unique_ptr<tchannel> held;
        // Recorded by a command run inside an open step held open
        // (hold_open), not by the open step's own work.
        bool nested = false;
        // What the delta holds itself: the record, the list of extents of
        // `data` (not the blocks they refer to) and a held channel.
        std::size_t bytes() const;
    };
    using tdocstate = tdocumentstate;
    struct tpropchange {
        tchannel* ch = nullptr;
        tchannelstate before, after;
    };
    // Whether a channel's samples wanted dither on saving, before and after.
    struct tditherflag {
        tchannel* ch = nullptr;
        bool before = false, after = false;
    };
    struct tstep {
        std::string name;
        std::vector<tdelta> deltas;
        std::vector<tpropchange> props;
        std::vector<tditherflag> dither;
        tdocstate before, after;
        // Its own records plus the blocks charged to it (memory_bytes()).
        std::size_t bytes = 0;
    };
    // The deltas of the open step so far, in order.
    const std::vector<tdelta>& open_deltas() const { return open_; }

private:
    struct tframe {
        std::string name;
        std::size_t mark = 0;  // deltas of the open step before this frame
        std::vector<std::pair<tchannel*, tchannelstate>> channels;
        std::vector<bool> dither;  // each channel's needsdither, in that order
        tdocstate state;
    };

    void apply(tdelta& d);
    void undo_step(tstep& st, bool restoremodified);
    void redo_step(tstep& st);
    // Undo (or redo) the last step and move it to the other list.
    bool move_step(bool undo);
    // The channels' properties, dither flags and the document's state on
    // one side of a step (before it with `before`, else after it).
    void restore_step_states(const tstep& st, bool before);
    void restore_docstate(const tdocstate& s, bool full);
    void refresh_views();
    bool created_in_step(const tchannel* ch) const;
    bool idle() const { return open_.empty() && !reset_; }
    void enforce_budget();
    // Sets every step's bytes: own records plus the blocks charged to it.
    void recount();
    void changed();

    tdocument& doc_;
    std::vector<tframe> frames_;
    std::vector<tdelta> open_;   // the deltas of the step being recorded
    bool reset_ = false;         // the open step closed the document
    bool steppedinstep_ = false;  // undo or redo ran inside the open step
    bool heldopen_ = false;       // hold_open() since the outermost begin()
    bool removedinstep_ = false;  // the open step took a channel out
    bool toldcommands_ = false;   // oncommand was told of the open step's commands
    std::vector<std::unique_ptr<tstep>> undo_, redo_;
    std::size_t budget_ = default_budget;
    bool budgetfromprefs_ = true;  // the preference until set_budget()
    std::size_t dropped_ = 0;
    // Number of undoable steps at which the document equals its file; -1
    // when no such point is reachable.
    long long cleanpos_ = 0;
};

}  // namespace tessal
