// libFuzzer target for the correlogram's trace file (.ctr), read from a file
// exactly as the window reads it. Any bytes are either refused (false with a
// message) or read into points; a file that is read writes back to a file
// that reads to the same points.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "engine/analysis/correlogram.h"
#include "fuzz/fuzzfiles.h"

using namespace tessal;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string in = fuzz::path("in.ctr"), out = fuzz::path("out.ctr");
    fuzz::put(in, fuzz::view(data, size));
    std::vector<TTracePoint> points;
    std::string error;
    if (!read_trace_file(in, points, error)) {
        if (error.empty()) std::abort();
        return 0;
    }
    if (!write_trace_file(out, points, "fuzz", "f.smp", 0, error)) return 0;
    std::vector<TTracePoint> again;
    if (!read_trace_file(out, again, error) || again.size() != points.size()) std::abort();
    return 0;
}
