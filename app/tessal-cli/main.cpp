// tessal-cli: the engine without windows, for batch work and scripts.
//
// Every command exits 0 on success, 1 when an input cannot be read or a
// named channel does not exist, and 2 for a usage error or a question it
// was not allowed to answer.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "commands.h"
#include "helptext.h"

namespace {

struct tentry {
    const char* name;
    int (*run)(int, char**);
};

const tentry commands[] = {
    {"info", tessal::cli::cmd_info},
    {"dump", tessal::cli::cmd_dump},
    {"convert", tessal::cli::cmd_convert},
    {"measure", tessal::cli::cmd_measure},
    {"spectrum", tessal::cli::cmd_spectrum},
    {"spectrogram", tessal::cli::cmd_spectrogram},
    {"correlation", tessal::cli::cmd_correlation},
    {"f0", tessal::cli::cmd_f0},
    {"formants", tessal::cli::cmd_formants},
    {"correlogram", tessal::cli::cmd_correlogram},
    {"histogram", tessal::cli::cmd_histogram},
    {"xyplot", tessal::cli::cmd_xyplot},
    {"epg", tessal::cli::cmd_epg},
    {"export", tessal::cli::cmd_export},
    {"labels", tessal::cli::cmd_labels},
    {"steps", tessal::cli::cmd_steps},
    {"run", tessal::cli::cmd_run},
    {"invfilter", tessal::cli::cmd_invfilter},
    {"glottal", tessal::cli::cmd_glottal},
    {"calibrate", tessal::cli::cmd_calibrate},
    {"psub", tessal::cli::cmd_psub},
    {"recover", tessal::cli::cmd_recover},
};

}  // namespace

// What a command wrote to standard output must have reached it: a full disk
// or a closed pipe turns success into exit 1, said on standard error.
int finish(int rc) {
    errno = 0;
    const bool flushed = std::fflush(stdout) == 0;
    const int err = errno;
    if (flushed && !std::ferror(stdout)) return rc;
    std::fprintf(stderr, "tessal-cli: cannot write to standard output%s%s\n", err ? ": " : "",
                 err ? std::strerror(err) : "");
    return rc == 0 ? tessal::cli::exit_input : rc;
}

int run(int argc, char** argv) {
    using namespace tessal::cli;
    if (argc < 2) {
        std::fputs(usage_text().c_str(), stderr);
        return exit_usage;
    }
    const std::string cmd = argv[1];
    if (cmd == "--version" || cmd == "version") {
        std::printf("tessal-cli %s\n", TESSAL_VERSION);
        return 0;
    }
    if (cmd == "help" || cmd == "--help" || cmd == "-h") {
        if (argc < 3) {
            std::fputs(usage_text().c_str(), stdout);
            return 0;
        }
        const std::string what = argv[2];
        // The build makes the manual page and the completion script from
        // these, and the tests check every command has its page.
        if (what == "--man") {
            std::fputs(man_page(TESSAL_VERSION).c_str(), stdout);
            return 0;
        }
        if (what == "--bash-completion") {
            std::fputs(bash_completion().c_str(), stdout);
            return 0;
        }
        if (what == "--commands") {
            for (const tentry& e : commands) std::printf("%s\n", e.name);
            return 0;
        }
        if (const thelpcommand* c = find_help(what)) {
            std::fputs(command_help(*c).c_str(), stdout);
            return 0;
        }
        std::fprintf(stderr, "tessal-cli: no command \"%s\"; \"tessal-cli help\" lists them\n", what.c_str());
        return exit_usage;
    }
    for (const tentry& e : commands)
        if (cmd == e.name) return e.run(argc, argv);
    std::fprintf(stderr, "tessal-cli: unknown command \"%s\"\n", cmd.c_str());
    std::fputs(usage_text().c_str(), stderr);
    return exit_usage;
}

int main(int argc, char** argv) { return finish(run(argc, argv)); }
