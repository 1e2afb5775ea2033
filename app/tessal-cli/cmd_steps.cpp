// tessal-cli steps
// The step types a process can hold, one line each: index, procid, list
// name and help text, tab-separated, in the order of the "Available steps"
// list (separators included, their procid "-").
#include <cstdio>

#include "commands.h"
#include "engine/process/procregistry.h"

namespace tessal::cli {

int cmd_steps(int argc, char** argv) {
    targs a;
    if (!parse_args(argc, argv, 2, {}, {}, a) || !a.positional.empty()) {
        std::fputs("usage: tessal-cli steps\n", stderr);
        return exit_usage;
    }
    const auto& reg = procinfo();
    for (std::size_t i = 0; i < reg.size(); ++i)
        std::printf("%zu\t%s\t%s\t%s\n", i, reg[i].procid.c_str(), reg[i].listname.c_str(),
                    reg[i].helptext.c_str());
    return exit_ok;
}

}  // namespace tessal::cli
