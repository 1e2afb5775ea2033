// tessal-cli run PROCESS IN... -o OUT [--format ID] [--yes] [--profile]
// Opens the first input as the document, adds the others, runs the process
// as Run! does and saves the document through the same save step as
// convert. A failing step prints its message, exits 1 and writes nothing.
// With --each the process runs on every file on its own (cmd_runeach.cpp).
#include <cstdio>
#include <filesystem>

#include "commands.h"
#include "engine/process/procrunner.h"
#include "engine/process/processfile.h"

namespace tessal::cli {

int run_process_job(const std::string& procpath, const std::vector<std::string>& inputs,
                    const std::string& out, const std::optional<std::string>& format, bool yes,
                    bool profile, std::string& message, bool* told) {
    if (told) *told = false;
    if (std::string clash = output_input_clash(out, inputs); !clash.empty()) {
        message = std::move(clash);
        return exit_usage;
    }
    tclidocument d(yes);
    const tsavefilter* row = format ? find_savefilter(d.files.savefilter, *format)
                                    : savefilter_for_extension(d.files.savefilter,
                                                               lower_extension(out));
    if (!row) {
        message = format ? "no save format \"" + *format + "\""
                         : "no save format for the extension of " + out;
        return exit_usage;
    }
    tprocsteps steps;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(procpath, ec)) {
        message = "cannot read " + procpath;
        return exit_input;
    }
    try {
        open_process_file(procpath, steps, d.doc.prefs.DefaultSampFreq);
    } catch (const std::exception& e) {
        message = procpath + ": " + terminal_text(e.what());
        return exit_input;
    }
    if (!d.open(inputs)) {
        if (told) *told = !d.prompter.last_message().empty();
        message = d.prompter.last_message().empty() ? "cannot read " + inputs.front()
                                                    : terminal_text(d.prompter.last_message());
        return d.prompter.refused() ? exit_usage : exit_input;
    }
    tprocenv env(d.doc, d.prompter);
    tprocrunner runner;
    const tprocresult r = runner.run(steps, env);
    if (!r.ok) {
        message = r.error.empty() ? r.status : terminal_text(r.error);
        return exit_input;
    }
    // A step that went on without a channel it named did not do what the
    // process says: nothing is written.
    if (!env.missing.empty()) {
        message = env.missing.front() + "; " + out + " was not written";
        return exit_input;
    }
    // What the run had to say besides "Done" (steps not available yet,
    // samples that became infinite, zero divisors).
    if (r.status != "Done ") std::fprintf(stderr, "%s\n", terminal_text(r.status).c_str());
    if (profile)
        for (const std::string& l : runner.profile_lines(steps)) std::printf("%s\n", l.c_str());
    // Without --format a WAVE file keeps the coding its channels came with.
    tsavecoding coding{row->nbits, row->format};
    if (!format && keeps_codings(out))
        if (auto c = d.files.channels_wave_coding({})) coding = *c;
    if (!d.files.save_file(out, coding.nbits, 0, 0, {}, coding.format)) {
        if (told) *told = !d.prompter.last_message().empty();
        message = d.prompter.last_message().empty() ? "cannot write " + out
                                                    : terminal_text(d.prompter.last_message());
        return d.prompter.refused() ? exit_usage : exit_input;
    }
    return exit_ok;
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
