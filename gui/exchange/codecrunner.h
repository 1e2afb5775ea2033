// Running a codec: its program with the template's arguments (never through
// a shell), a time limit, and a message that says what went wrong together
// with the program's error output.
#pragma once

#include <string>

#include "engine/settings/settingsfile.h"

namespace tessal {

struct tcodecresult {
    bool ok = false;
    std::string message;  // for the user when !ok
};

// Runs `codec` on `in`, asking it to write `out`; waits at most timeout_ms.
// Succeeds when the program ends normally with exit code 0 and `out` exists.
tcodecresult run_codec(const tcodecentry& codec, const std::string& in, const std::string& out,
                       int timeout_ms = 120000);

}  // namespace tessal
