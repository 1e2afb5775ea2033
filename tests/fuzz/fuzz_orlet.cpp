// libFuzzer target for the foreign "Orlet" recording, opened through the
// document's Open exactly as a user opens one. Any bytes are either refused
// (told to the user, the document left empty) or read into channels;
// nothing may crash, hang or allocate beyond what the file holds.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "engine/core/prompter.h"
#include "engine/core/tdocument.h"
#include "engine/document/documentfiles.h"
#include "engine/document/lifecycle.h"
#include "fuzz/fuzzfiles.h"

using namespace tessal;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string in = fuzz::path("in.orlet");
    fuzz::put(in, fuzz::view(data, size));
    tfixedprompter prompter(tanswer::no);
    tdocument doc;
    tdocumentlifecycle life(doc, prompter);
    tdocumentfiles files(doc, life, prompter);
    files.threads = 1;
    if (!files.open_document(in)) {
        if (doc.totnchans() != 0) std::abort();
        return 0;
    }
    for (int i = 0; i < doc.totnchans(); ++i) (void)doc.channel(i).sample_count();
    return 0;
}
