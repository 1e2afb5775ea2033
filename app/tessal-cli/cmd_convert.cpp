// tessal-cli convert IN... -o OUT [--format ID] [--channels LIST]
//     [--from S --to S] [--yes]
// Opens the first input as the document, adds the others, and saves through
// the same save step as the GUI. Without --format a ".wav" output keeps the
// coding of the channels (16-bit PCM for channels that carry none). A question the GUI would ask is answered
// yes with --yes and refused (exit 2) without it.
#include <cstdio>

#include "commands.h"
#include "engine/dsp/listtext.h"

namespace tessal::cli {

int cmd_convert(int argc, char** argv) {
    const char* use =
        "usage: tessal-cli convert IN... -o OUT [--format ID] [--channels LIST] "
        "[--from S --to S] [--yes]\n";
    targs a;
    if (!parse_args(argc, argv, 2, {"-o", "--format", "--channels", "--from", "--to"}, {"--yes"},
                    a) ||
        a.positional.empty() || !a.option("-o")) {
        std::fputs(use, stderr);
        return exit_usage;
    }
    const std::string out = *a.option("-o");
    if (output_is_input(out, a.positional)) return exit_usage;
    tclidocument d(a.has_flag("--yes"));
    const tsavefilter* row = a.option("--format")
                                 ? find_savefilter(d.files.savefilter, *a.option("--format"))
                                 : savefilter_for_extension(d.files.savefilter, lower_extension(out));
    if (!row) {
        std::fprintf(stderr, "tessal-cli: no save format %s\n",
                     a.option("--format") ? ("\"" + *a.option("--format") + "\"").c_str()
                                          : ("for the extension of " + out).c_str());
        return exit_usage;
    }
    double from = 0, to = 0;
    if (!read_span_options(a, from, to) || a.option("--from").has_value() != a.option("--to").has_value()) {
        std::fputs("tessal-cli: --from and --to go together and take seconds\n", stderr);
        return exit_usage;
    }
    std::vector<int> chans;
    if (auto l = a.option("--channels")) {
        try {
            for (int c : text_to_intlist(*l)) chans.push_back(c);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "tessal-cli: %s\n", e.what());
            return exit_usage;
        }
    }
    if (!d.open(a.positional)) return d.prompter.refused() ? exit_usage : exit_input;
    for (int c : chans)
        if (c < 0 || c >= d.doc.totnchans()) {
            std::fprintf(stderr, "tessal-cli: channel %d does not exist (the document has %d)\n", c,
                         d.doc.totnchans());
            return exit_input;
        }
    // Without --format a WAVE file keeps the coding its channels came with.
    tsavecoding coding{row->nbits, row->format};
    if (!a.option("--format") && keeps_codings(out))
        if (auto c = d.files.channels_wave_coding(chans)) coding = *c;
    if (!d.files.save_file(out, coding.nbits, from, to, chans, coding.format))
        return d.prompter.refused() ? exit_usage : exit_input;
    return exit_ok;
}

}  // namespace tessal::cli
