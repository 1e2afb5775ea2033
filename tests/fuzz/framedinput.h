// Inputs for the targets of the framed files (journal, spool). Each record
// carries a checksum a fuzzer cannot find, so an input starting with "R"
// is the file's bytes as they are (the framing and its damage), and any
// other input is the records themselves, separated by "\n#rec#\n" after
// the first byte, written by the program's own append-only writer so that
// the reader gets to their contents.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/history/appendfile.h"
#include "fuzz/fuzzfiles.h"

namespace tessal::fuzz {

inline void put_framed(const std::string& path, std::string_view magic, std::string_view input) {
    if (!input.empty() && input[0] == 'R') {
        put(path, input.substr(1));
        return;
    }
    if (!input.empty()) input.remove_prefix(1);
    tappendfile f(path, magic);
    constexpr std::string_view sep = "\n#rec#\n";
    for (;;) {
        const std::size_t k = input.find(sep);
        const std::string_view rec = input.substr(0, k);
        f.append(std::vector<std::uint8_t>(rec.begin(), rec.end()));
        if (k == std::string_view::npos) break;
        input.remove_prefix(k + sep.size());
    }
    f.flush();
}

}  // namespace tessal::fuzz
