// tessal-cli labels FILE... --textgrid OUT.TextGrid: the labels of every
// channel as a Praat TextGrid. tessal-cli labels FILE... --import
// IN.TextGrid -o OUT [--channel N]: adds the labels of every tier of IN to
// channel N (default 0), keeping those it has, and saves OUT.
#include <cstdio>

#include "commands.h"
#include "engine/formats/formatregistry.h"
#include "engine/formats/textgrid.h"
#include "engine/formats/saveformats.h"

namespace tessal::cli {

namespace {

const char* const labels_usage =
    "usage: tessal-cli labels FILE... --textgrid OUT.TextGrid|-\n"
    "       tessal-cli labels FILE... --import IN.TextGrid -o OUT [--channel N]\n";

}  // namespace

int cmd_labels(int argc, char** argv) {
    targs a;
    if (!parse_args(argc, argv, 2, {"--textgrid", "--import", "-o", "--channel"}, {"--yes"}, a) ||
        a.positional.empty() || a.option("--textgrid").has_value() == a.option("--import").has_value() ||
        (a.option("--import") && !a.option("-o"))) {
        std::fputs(labels_usage, stderr);
        return exit_usage;
    }
    long long channo = 0;
    if (!read_channel_option(a, channo)) return exit_usage;
    if (auto out = a.option("--textgrid"); out && output_is_input(text_output(*out), a.positional))
        return exit_usage;
    if (auto out = a.option("-o"); out && output_is_input(*out, a.positional)) return exit_usage;
    tclidocument d(a.has_flag("--yes"));
    if (!d.open(a.positional)) return d.prompter.refused() ? exit_usage : exit_input;
    try {
        if (auto out = a.option("--textgrid")) {
            textgrid_format().writelabels(d.doc, text_output(*out), tfileops::system());
            return exit_ok;
        }
        if (channo < 0 || channo >= d.doc.totnchans()) {
            std::fprintf(stderr, "tessal-cli: channel %lld does not exist (the document has %d)\n",
                         channo, d.doc.totnchans());
            return exit_input;
        }
        textgrid_format().readlabels(d.doc, static_cast<int>(channo), *a.option("--import"));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tessal-cli: %s\n", terminal_text(e.what()).c_str());
        return exit_input;
    }
    const std::string out = *a.option("-o");
    const tsavefilter* row = d.save_row(out);
    if (!row) return exit_usage;
    return d.save(out, *row);
}

}  // namespace tessal::cli
