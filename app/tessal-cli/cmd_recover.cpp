// tessal-cli recover --list [--folder DIR]
// tessal-cli recover JOURNAL -o OUT [--format ID] [--yes]
// Lists the journals a crashed run left in the per-user data folder (or
// DIR), with the file each belongs to, how many changes it holds and
// whether it can be replayed; or opens the journal's original file, replays
// the journal and saves the result as convert does. What was lost at a
// damaged end is said on standard error.
#include <cstdio>

#include "commands.h"
#include "engine/document/journal.h"
#include "engine/document/undohistory.h"
#include "engine/formats/saveformats.h"

namespace tessal::cli {

namespace {

const char* state_text(const tjournalcontents& j) {
    if (!j.readable) return "unreadable";
    if (!j.origin.path.empty()) {
        const tfileidentity now = file_identity(j.origin.path);
        if (!now.exists) return "file gone";
        if (now != j.origin) return "file changed";
    }
    return j.lostbytes > 0 ? "damaged end" : "recoverable";
}

}  // namespace

int cmd_recover(int argc, char** argv) {
    const char* use =
        "usage: tessal-cli recover --list [--folder DIR] | "
        "tessal-cli recover JOURNAL -o OUT [--format ID] [--yes]\n";
    targs a;
    if (!parse_args(argc, argv, 2, {"-o", "--format", "--folder"}, {"--list", "--yes"}, a)) {
        std::fputs(use, stderr);
        return exit_usage;
    }
    if (a.has_flag("--list")) {
        const std::string folder = a.option("--folder") ? *a.option("--folder") : journal_folder();
        for (const std::string& f : list_journals(folder)) {
            const tjournalcontents j = read_journal(f);
            std::printf("%s\t%s\t%zu changes\t%s\n", f.c_str(),
                        j.origin.path.empty() ? "(new document)" : j.origin.path.c_str(),
                        j.records.size(), state_text(j));
        }
        return exit_ok;
    }
    if (a.positional.size() != 1 || !a.option("-o")) {
        std::fputs(use, stderr);
        return exit_usage;
    }
    const tjournalcontents j = read_journal(a.positional[0]);
    const std::string state = state_text(j);
    if (state != "recoverable" && state != "damaged end") {
        std::fprintf(stderr, "tessal-cli: %s: %s\n", a.positional[0].c_str(), state.c_str());
        return exit_input;
    }
    const std::string out = *a.option("-o");
    tclidocument d(a.has_flag("--yes"));
    const tsavefilter* row = a.option("--format")
                                 ? find_savefilter(d.files.savefilter, *a.option("--format"))
                                 : savefilter_for_extension(d.files.savefilter, lower_extension(out));
    if (!row) {
        std::fprintf(stderr, "tessal-cli: no save format for %s\n", out.c_str());
        return exit_usage;
    }
    if (!j.origin.path.empty() && !d.open({j.origin.path}))
        return d.prompter.refused() ? exit_usage : exit_input;
    tundohistory history(d.doc);
    const trecovery r = replay_journal(d.doc, history, j);
    std::fprintf(stderr, "tessal-cli: %d changes recovered\n", r.replayed);
    if (!r.lost.empty()) std::fprintf(stderr, "tessal-cli: %s\n", r.lost.c_str());
    tsavecoding coding{row->nbits, row->format};
    if (!d.files.save_file(out, coding.nbits, 0, 0, {}, coding.format))
        return d.prompter.refused() ? exit_usage : exit_input;
    return exit_ok;
}

}  // namespace tessal::cli
