// libFuzzer target for process files, read from a file as Open process
// reads them. Any bytes are either refused with a runtime error carrying a
// message (the steps read before the bad one stay) or read into steps; what
// is read saves and reads back to as many steps.
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "engine/process/processfile.h"
#include "fuzz/fuzzfiles.h"

using namespace tessal;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string in = fuzz::path("in.tessalproc"), out = fuzz::path("out.tessalproc");
    fuzz::put(in, fuzz::view(data, size));
    tprocsteps steps;
    try {
        open_process_file(in, steps);
    } catch (const std::runtime_error& e) {
        if (!*e.what()) std::abort();
        return 0;
    }
    try {
        save_process_file(out, steps);
    } catch (const std::runtime_error&) {
        return 0;
    }
    tprocsteps again;
    open_process_file(out, again);
    if (again.size() != steps.size()) std::abort();
    return 0;
}
