// libFuzzer target for the clipboard's sampled-data block. Any bytes are
// either refused with EClipboardError or read whole; what is read writes
// back to the very same bytes (the block has one layout only).
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "engine/document/clipboardblock.h"

using namespace tessal;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::uint8_t> bytes(data, data + size);
    tclipblock b;
    try {
        b = parse_clipblock(bytes);
    } catch (const EClipboardError& e) {
        if (!*e.what()) std::abort();
        return 0;
    }
    if (serialise_clipblock(b) != bytes) std::abort();
    return 0;
}
