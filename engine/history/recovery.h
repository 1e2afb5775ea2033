// What a run that did not end properly left in the journal folder, and
// putting it back: each journal with the spool of the recording that was
// running (if any), and spools whose journal is gone (a recording into a
// document that was saved meanwhile, or whose journal could not be made).
#pragma once

#include <string>
#include <vector>

#include "engine/history/journal.h"
#include "engine/history/recordspool.h"

namespace tessal {

struct tleftover {
    std::string journal;  // "" for a spool alone
    std::string spool;    // "" when no recording was running
};
// Oldest first; `skip` (this run's own journal) is left out.
std::vector<tleftover> list_leftovers(const std::string& folder, const std::string& skip = "");
// Deletes the leftover's files.
void remove_leftover(const tleftover& l);

// "a recording of 12.5 s on channels 2 and 3" for the recovery question.
std::string describe_recording(const tspoolcontents& s);

// Replays the journal onto `doc` (holding the original file, or empty for
// a new document) through `history`, and then puts back the recording the
// spool holds as one step, "Record". `spool` may be null.
trecovery recover_leftover(tdocument& doc, tundohistory& history, const tjournalcontents& j,
                           const tspoolcontents* spool);

// For a journal whose file changed since: puts the labels the journal's
// channels ended with (journal_labels) on the channels of `doc`, holding
// the file as it is now, as one step "Recover labels", and the recording
// the spool holds (may be null) after them as new channels. What was put
// back is in `replayed` (channels labelled) and `recording`.
trecovery recover_labels(tdocument& doc, tundohistory& history, const tjournalcontents& j,
                         const tspoolcontents* spool);

}  // namespace tessal
