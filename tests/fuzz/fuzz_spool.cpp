// libFuzzer target for the recording spool, read from a file as after a
// crash and put into a new document both ways recovery does (into the
// targets it names, and as new channels). Nothing may crash, hang or
// allocate beyond what the file holds.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "engine/core/tdocument.h"
#include "engine/document/recordspool.h"
#include "fuzz/fuzzfiles.h"

using namespace tessal;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string in = fuzz::path("in.spool");
    fuzz::put(in, fuzz::view(data, size));
    const tspoolcontents s = read_spool(in);
    if (!s.readable) return 0;
    std::uint64_t held = 0;
    for (const auto& v : s.samples) held += 4 * v.size();
    if (held > size) std::abort();
    (void)s.frames();
    tdocument doc;
    apply_spool(doc, s);
    tdocument doc2;
    apply_spool(doc2, as_new_channels(s, 0));
    return 0;
}
