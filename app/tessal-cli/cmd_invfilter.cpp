// tessal-cli invfilter FILE --channel N --filter F.for [--type mic|flow]
// [--hp HZ] [--distance CM] [--no-convert] [--flip] -o OUT [--yes]:
// "Make channels" of the inverse filter over the entire file with the
// filter file's elements; the inverse-filtered flow and its derivative go
// to two new channels and the document is saved to OUT.
#include <cstdio>

#include "commands.h"
#include "engine/dsp/numformat.h"
#include "engine/formats/formatregistry.h"
#include "engine/formats/saveformats.h"
#include "engine/tools/invfilter.h"

namespace tessal::cli {

namespace {
const char* const invfilter_usage =
    "usage: tessal-cli invfilter FILE --channel N --filter F.for [--type mic|flow] [--hp HZ]\n"
    "         [--distance CM] [--no-convert] [--flip] -o OUT [--yes]\n";
}

int cmd_invfilter(int argc, char** argv) {
    targs a;
    if (!parse_args(argc, argv, 2, {"--channel", "--filter", "--type", "--hp", "--distance", "-o"},
                    {"--no-convert", "--flip", "--yes"}, a) ||
        a.positional.size() != 1 || !a.option("--channel") || !a.option("--filter") || !a.option("-o")) {
        std::fputs(invfilter_usage, stderr);
        return exit_usage;
    }
    long long channo = 0;
    double hp = 20, distance = 30;
    try {
        channo = parse_int(*a.option("--channel"));
        if (auto v = a.option("--hp")) hp = parse_float_dot(*v);
        if (auto v = a.option("--distance")) distance = parse_float_dot(*v);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tessal-cli: %s\n", e.what());
        return exit_usage;
    }
    if (!(hp > 0) || !(distance > 0)) {
        std::fputs("tessal-cli: --hp and --distance take positive numbers\n", stderr);
        return exit_usage;
    }
    const std::string type = a.option("--type").value_or("mic");
    if (type != "mic" && type != "flow") {
        std::fputs("tessal-cli: --type is mic or flow\n", stderr);
        return exit_usage;
    }
    const std::string out = *a.option("-o");
    tclidocument d(a.has_flag("--yes"));
    const tsavefilter* row = d.save_row(out);
    if (!row) return exit_usage;
    if (output_is_input(*a.option("-o"), a.positional)) return exit_usage;
    if (!d.open(a.positional)) return d.prompter.refused() ? exit_usage : exit_input;
    if (!has_channel(d.doc, channo)) return exit_input;
    tinvfilter filter;
    std::string err;
    if (!filter.read_for_file(*a.option("--filter"), &err)) {
        std::fprintf(stderr, "tessal-cli: %s\n", err.c_str());
        return exit_input;
    }
    filter.signaltype = type == "mic" ? tinvsignaltype::mic : tinvsignaltype::flow;
    filter.fhpfilterfreq = hp;
    filter.fflipfactor = a.has_flag("--flip") ? -1.0 : 1.0;
    tinvmakeoptions opt;
    opt.range = tinvrange::entire;
    opt.convert = !a.has_flag("--no-convert");
    opt.distance_cm = distance;
    try {
        make_invfilter_channels(d.doc, static_cast<int>(channo), filter, opt, d.prompter);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tessal-cli: %s\n", terminal_text(e.what()).c_str());
        return exit_input;
    }
    return d.save(out, *row);
}

}  // namespace tessal::cli
