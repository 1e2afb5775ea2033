// libFuzzer target for the recording spool (the input as framedinput.h
// says), read from a file as after a crash and put into a new document both
// ways recovery does (into the targets it names, and as new channels). Nothing may crash, hang or
// allocate beyond what the file holds.
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "engine/core/tdocument.h"
#include "engine/history/recordspool.h"
#include "fuzz/framedinput.h"

using namespace tessal;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string in = fuzz::path("in.spool");
    fuzz::put_framed(in, "TESSALR1", fuzz::view(data, size));
    const tspoolcontents s = read_spool(in);
    if (!s.readable) return 0;
    std::uint64_t held = 0;
    for (const auto& v : s.samples) held += 4 * v.size();
    if (held > size) std::abort();
    (void)s.frames();
    tdocument doc;
    try {
        apply_spool(doc, s);  // targets past the new document's end do not fit
    } catch (const std::runtime_error& e) {
        if (!*e.what()) std::abort();
    }
    tdocument doc2;
    apply_spool(doc2, as_new_channels(s, 0));
    return 0;
}
