// libFuzzer target for the journal and for recovery from it. The input
// (see framedinput.h) is read from a file as after a crash: up to the first
// damaged record, with what was lost counted. The records are then replayed
// onto a small document of two channels (the one the seeds were journaled
// on) and their labels taken, as the recovery does. A record that does not
// fit ends the replay; nothing may crash, hang or allocate beyond the file.
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "engine/core/tdocument.h"
#include "engine/history/journal.h"
#include "engine/history/undohistory.h"
#include "fuzz/framedinput.h"
#include "fuzz/seeddocument.h"

using namespace tessal;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string in = fuzz::path("in.journal");
    fuzz::put_framed(in, "TESSALJ1", fuzz::view(data, size));
    const tjournalcontents j = read_journal(in);
    if (!j.readable) return 0;
    std::uint64_t held = 0;
    for (const auto& r : j.records) held += r.size();
    if (held > size) std::abort();
    (void)journal_labels(j);
    tdocument doc;
    fuzz::journal_seed_document(doc);
    tundohistory history(doc);
    history.clear();
    (void)replay_journal(doc, history, j);
    return 0;
}
