// tessal-cli recover --list [--folder DIR]
// tessal-cli recover JOURNAL|SPOOL -o OUT [--format ID] [--yes]
// Lists the journals a crashed run left in the per-user data folder (or
// DIR), with the file each belongs to, how many changes it holds, the
// recording that was running and whether it can be replayed, and the
// spools of recordings whose journal is gone; or opens the journal's
// original file, replays the journal, puts back the recording from the
// journal's spool and saves the result as convert does. A spool alone
// gives a document of the recording. What was lost at a damaged end is
// said on standard error. With --labels, a journal whose file changed since
// puts the labels its channels ended with on the file as it is now, and
// the recording that was running after them as new channels.
#include <cstdio>
#include <filesystem>
#include <optional>

#include "commands.h"
#include "engine/history/journal.h"
#include "engine/history/recovery.h"
#include "engine/history/undohistory.h"
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
        "tessal-cli recover JOURNAL|SPOOL -o OUT [--labels] [--format ID] [--yes]\n";
    targs a;
    if (!parse_args(argc, argv, 2, {"-o", "--format", "--folder"}, {"--list", "--yes", "--labels"}, a)) {
        std::fputs(use, stderr);
        return exit_usage;
    }
    if (a.has_flag("--list")) {
        const std::string folder = a.option("--folder") ? *a.option("--folder") : journal_folder();
        for (const tleftover& l : list_leftovers(folder)) {
            std::string rec;
            if (!l.spool.empty()) {
                const tspoolcontents s = read_spool(l.spool);
                rec = s.readable ? "\t" + describe_recording(s) : "\trecording unreadable";
            }
            if (l.journal.empty()) {
                std::printf("%s\t(recording alone)\t0 changes\trecoverable%s\n", l.spool.c_str(), rec.c_str());
                continue;
            }
            const tjournalcontents j = read_journal(l.journal);
            std::printf("%s\t%s\t%zu changes\t%s%s\n", l.journal.c_str(),
                        j.origin.path.empty() ? "(new document)" : j.origin.path.c_str(),
                        j.records.size(), state_text(j), rec.c_str());
        }
        return exit_ok;
    }
    if (a.positional.size() != 1 || !a.option("-o")) {
        std::fputs(use, stderr);
        return exit_usage;
    }
    const std::string& given = a.positional[0];
    const bool spoolalone = given.size() > 6 && given.ends_with(".spool");
    tjournalcontents j;
    std::optional<tspoolcontents> spool;
    bool labelsonly = false;
    if (spoolalone) {
        j.readable = true;
        spool = as_new_channels(read_spool(given), 0);
        if (!spool->readable) {
            std::fprintf(stderr, "tessal-cli: %s: unreadable\n", given.c_str());
            return exit_input;
        }
    } else {
        j = read_journal(given);
        const std::string state = state_text(j);
        std::string spoolfile;
        for (const tleftover& l : list_leftovers(std::filesystem::path(given).parent_path().string()))
            if (l.journal == given) spoolfile = l.spool;
        labelsonly = a.has_flag("--labels");
        if (labelsonly && state != "file changed") {
            std::fprintf(stderr, "tessal-cli: %s: --labels is for a journal whose file changed (this one: %s)\n",
                         given.c_str(), state.c_str());
            return exit_usage;
        }
        if (labelsonly && journal_labels(j).empty()) {
            std::fprintf(stderr, "tessal-cli: %s: the labels cannot be told apart from the other changes\n",
                         given.c_str());
            return exit_input;
        }
        if (!labelsonly && state != "recoverable" && state != "damaged end") {
            std::fprintf(stderr, "tessal-cli: %s: %s\n", given.c_str(), state.c_str());
            if (state == "file changed" && !journal_labels(j).empty())
                std::fprintf(stderr, "tessal-cli: the labels can be put on the file as it is now: --labels\n");
            if (!spoolfile.empty())
                std::fprintf(stderr, "tessal-cli: the recording alone can be recovered: tessal-cli recover %s -o OUT\n",
                             spoolfile.c_str());
            return exit_input;
        }
        if (!spoolfile.empty()) spool = read_spool(spoolfile);
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
    const trecovery r = labelsonly ? recover_labels(d.doc, history, j, spool ? &*spool : nullptr)
                                   : recover_leftover(d.doc, history, j, spool ? &*spool : nullptr);
    std::fprintf(stderr, labelsonly ? "tessal-cli: the labels of %d channels put back\n"
                                    : "tessal-cli: %d changes recovered\n",
                 r.replayed);
    if (!r.recording.empty()) std::fprintf(stderr, "tessal-cli: recovered %s\n", r.recording.c_str());
    if (!r.lost.empty()) std::fprintf(stderr, "tessal-cli: %s\n", r.lost.c_str());
    // A document without channels is no file the program opens again.
    if (d.doc.totnchans() == 0) {
        std::fprintf(stderr, "tessal-cli: %s: nothing could be recovered; %s was not written\n",
                     given.c_str(), out.c_str());
        return exit_input;
    }
    tsavecoding coding{row->nbits, row->format};
    if (!d.files.save_file(out, coding.nbits, 0, 0, {}, coding.format))
        return d.prompter.refused() ? exit_usage : exit_input;
    return exit_ok;
}

}  // namespace tessal::cli
