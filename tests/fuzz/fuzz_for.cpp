// libFuzzer target for the inverse filter's ".for" files, read from a file
// through the inverse filter itself. Any bytes are either refused (false
// with a message) or read into elements the cascade is then built from.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "engine/tools/invfilter.h"
#include "fuzz/fuzzfiles.h"

using namespace tessal;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string in = fuzz::path("in.for");
    fuzz::put(in, fuzz::view(data, size));
    tinvfilter f;
    std::string error;
    if (!f.read_for_file(in, &error)) {
        if (error.empty()) std::abort();
        return 0;
    }
    // What the window does next: build the cascade from the elements.
    f.set_sampfreq(16000);
    f.rebuild_cascade();
    (void)f.memo_lines();
    return 0;
}
