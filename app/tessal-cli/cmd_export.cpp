// tessal-cli export FILE... -o OUT.txt [--channels 0,1] [--separator
// tab|semicolon|comma|space] [--template PATTERN] [--decimal period|comma]
// [--from S --to S [--start-zero]] [--downsample K] [--no-time]: the table
// "Export to text" writes, over the whole file or the span S..S.
#include <cstdio>
#include <sstream>

#include "commands.h"
#include "engine/dsp/numformat.h"
#include "engine/formats/textexport.h"

namespace tessal::cli {

namespace {

const char* const export_usage =
    "usage: tessal-cli export FILE... -o OUT.txt|- [--channels N,N...]\n"
    "         [--separator tab|semicolon|comma|space] [--template PATTERN]\n"
    "         [--decimal period|comma] [--from S --to S [--start-zero]]\n"
    "         [--downsample K] [--no-time]\n";

int usage_error(const std::string& why) {
    if (!why.empty()) std::fprintf(stderr, "tessal-cli: %s\n", why.c_str());
    std::fputs(export_usage, stderr);
    return exit_usage;
}

}  // namespace

int cmd_export(int argc, char** argv) {
    targs a;
    if (!parse_args(argc, argv, 2,
                    {"-o", "--channels", "--separator", "--template", "--decimal", "--from",
                     "--to", "--downsample"},
                    {"--no-time", "--start-zero"}, a) ||
        a.positional.empty() || !a.option("-o"))
        return usage_error("");
    ttextexportoptions o;
    o.timecolumn = !a.has_flag("--no-time");
    o.startzero = a.has_flag("--start-zero");
    if (auto s = a.option("--separator")) {
        const char* names[] = {"tab", "semicolon", "comma", "space"};
        int k = 0;
        while (k < 4 && *s != names[k]) ++k;
        if (k == 4) return usage_error("--separator is tab, semicolon, comma or space");
        o.separator = static_cast<tcolumnseparator>(k);
    }
    if (auto d = a.option("--decimal")) {
        if (*d == "period") o.decimal = tdecimalseparator::period;
        else if (*d == "comma") o.decimal = tdecimalseparator::comma;
        else return usage_error("--decimal is period or comma");
    }
    if (auto t = a.option("--template")) o.pattern = *t;
    double from = 0, to = 0;
    if (a.option("--from") || a.option("--to")) {
        if (!a.option("--from") || !a.option("--to") || !parse_seconds(*a.option("--from"), from) ||
            !parse_seconds(*a.option("--to"), to))
            return usage_error("--from and --to go together and take seconds");
        o.span = texportspan::selection;
    }
    try {
        if (auto k = a.option("--downsample")) o.downsample = parse_int(*k);
        if (auto c = a.option("--channels")) {
            std::stringstream ss(*c);
            std::string item;
            while (std::getline(ss, item, ',')) o.channels.push_back(static_cast<int>(parse_int(item)));
        }
        check_text_export_options(o);
    } catch (const std::exception& e) {
        return usage_error(e.what());
    }
    const std::string out = text_output(*a.option("-o"));
    if (output_is_input(out, a.positional)) return exit_usage;
    tclidocument d(false);
    if (!d.open(a.positional)) return d.prompter.refused() ? exit_usage : exit_input;
    if (o.channels.empty())
        for (int c = 0; c < d.doc.totnchans(); ++c) o.channels.push_back(c);
    if (o.span == texportspan::selection) d.doc.theglobal.set_selection(from, to);
    try {
        export_text_file(d.doc, o, out);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tessal-cli: %s\n", terminal_text(e.what()).c_str());
        return exit_input;
    }
    return exit_ok;
}

}  // namespace tessal::cli
