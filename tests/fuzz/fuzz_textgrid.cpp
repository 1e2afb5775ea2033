// libFuzzer target for the TextGrid reader. Any text is either refused with
// ETextGridError or read into tiers whose labels lie in order and carry text.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "engine/formats/textgrid.h"

using namespace tessal;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    try {
        const auto tiers = parse_textgrid(text);
        for (const auto& t : tiers)
            for (const auto& l : t.labels)
                if (l.text.empty()) std::abort();
    } catch (const ETextGridError& e) {
        if (!*e.what()) std::abort();
    }
    return 0;
}
