// tessal-cli: the engine without windows, for batch work and scripts.
//
// Every command exits 0 on success, 1 when an input cannot be read, and 2
// for a usage error or a question it was not allowed to answer.
#include <cstdio>
#include <cstring>
#include <string>

namespace {

const char* const usage =
    "usage: tessal-cli COMMAND [ARGS...]\n"
    "\n"
    "commands:\n"
    "  help        show this text\n"
    "  --version   show the version\n";

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs(usage, stderr);
        return 2;
    }
    const std::string cmd = argv[1];
    if (cmd == "--version" || cmd == "version") {
        std::printf("tessal-cli %s\n", TESSAL_VERSION);
        return 0;
    }
    if (cmd == "help" || cmd == "--help" || cmd == "-h") {
        std::fputs(usage, stdout);
        return 0;
    }
    std::fprintf(stderr, "tessal-cli: unknown command \"%s\"\n", cmd.c_str());
    std::fputs(usage, stderr);
    return 2;
}
