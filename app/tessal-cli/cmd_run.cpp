// tessal-cli run PROCESS IN... -o OUT [--format ID] [--yes] [--profile]
// Opens the first input as the document, adds the others, runs the process
// as Run! does and saves the document through the same save step as
// convert. A failing step prints its message, exits 1 and writes nothing.
// With --each the process runs on every file on its own (cmd_runeach.cpp).
#include <cstdio>

#include "commands.h"
#include "engine/process/processjob.h"

namespace tessal::cli {

int run_process_job(const std::string& procpath, const std::vector<std::string>& inputs,
                    const std::string& out, const std::optional<std::string>& format, bool yes,
                    bool profile, std::string& message, bool* told) {
    tclidocument d(yes);
    tprocessjob job{procpath, inputs, out, format, {}};
    job.ran = [profile](const std::string& notes, const tprocrunner& runner, const tprocsteps& steps) {
        // What the run had to say besides "Done" (steps not available yet,
        // samples that became infinite, zero divisors).
        if (!notes.empty()) std::fprintf(stderr, "%s\n", notes.c_str());
        if (profile)
            for (const std::string& l : runner.profile_lines(steps)) std::printf("%s\n", l.c_str());
    };
    const tprocessjobresult r = run_process_job(d, job);
    if (told) *told = r.told;
    if (r.status == tjobstatus::ok) return exit_ok;
    // An input read without a word from the reader is named in the
    // message ("cannot read" it), which the caller prints once.
    message = r.message;
    return r.status == tjobstatus::usage ? exit_usage : exit_input;
}

int cmd_run(int argc, char** argv) {
    const char* use =
        "usage: tessal-cli run PROCESS IN... -o OUT [--format ID] [--yes] [--profile]\n"
        "       tessal-cli run PROCESS --each FILE... --out-dir DIR [--format ID] [-j N] "
        "[--shard K/N] [--yes]\n";
    targs a;
    if (!parse_args(argc, argv, 2, {"-o", "--format", "--out-dir", "-j", "--shard"},
                    {"--yes", "--profile", "--each"}, a) ||
        a.positional.empty()) {
        std::fputs(use, stderr);
        return exit_usage;
    }
    if (a.has_flag("--each")) return run_each(a);
    if (a.positional.size() < 2 || !a.option("-o") || a.option("--out-dir") || a.option("-j") ||
        a.option("--shard")) {
        std::fputs(use, stderr);
        return exit_usage;
    }
    const std::vector<std::string> inputs(a.positional.begin() + 1, a.positional.end());
    std::string message;
    bool told = false;
    const int rc = run_process_job(a.positional.front(), inputs, *a.option("-o"),
                                   a.option("--format"), a.has_flag("--yes"),
                                   a.has_flag("--profile"), message, &told);
    if (rc != exit_ok && !message.empty() && !told) std::fprintf(stderr, "tessal-cli: %s\n", message.c_str());
    return rc;
}

}  // namespace tessal::cli
