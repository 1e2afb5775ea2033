// libFuzzer target for the journal and for recovery from it. Any bytes are
// read from a file as after a crash: up to the first damaged record, with
// what was lost counted; then the records are replayed onto a new document
// onto a small document of two channels (the one the seeds were journaled
// on) and their labels taken, as the recovery does. A record that does not fit
// ends the replay; nothing may crash, hang or allocate beyond the file.
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "engine/core/tdocument.h"
#include "engine/document/journal.h"
#include "engine/document/undohistory.h"
#include "fuzz/fuzzfiles.h"
#include "fuzz/seeddocument.h"

using namespace tessal;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string in = fuzz::path("in.journal");
    fuzz::put(in, fuzz::view(data, size));
    const tjournalcontents j = read_journal(in);
    if (!j.readable) return 0;
    std::uint64_t held = 0;
    for (const auto& r : j.records) held += r.size();
    if (held + j.lostbytes > size) std::abort();
    (void)journal_labels(j);
    tdocument doc;
    fuzz::journal_seed_document(doc);
    tundohistory history(doc);
    history.clear();
    (void)replay_journal(doc, history, j);
    return 0;
}
