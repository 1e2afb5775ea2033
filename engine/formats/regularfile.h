// Whether a path names a file a reader can read to its end: a regular file
// of a sane size. A FIFO, a device (/dev/zero), a socket or a folder would
// block the open or never end, so readers ask here before they open.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tessal {

// Empty when `path` is a regular file of at most `maxbytes` bytes; otherwise
// the reason, as a sentence naming the file ("... is not a regular file",
// "... is larger than ...", "... does not exist").
std::string regular_file_problem(const std::string& path,
                                 std::uint64_t maxbytes = UINT64_MAX);

// When `out` is one of `inputs` (the same file under any name, through a
// link as well), the sentence that says so; "" otherwise. Writing a result
// over its own input would lose the input.
std::string output_input_clash(const std::string& out, const std::vector<std::string>& inputs);

}  // namespace tessal
