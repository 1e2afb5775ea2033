// tessal-cli invfilter FILE --channel N --filter F.for [--type mic|flow]
// [--hp HZ] [--distance CM] [--no-convert] [--flip] -o OUT [--yes]:
// "Make channels" of the inverse filter over the entire file with the
// filter file's elements; the inverse-filtered flow and its derivative go
// to two new channels and the document is saved to OUT.
//
// With --auto (instead of --filter) the filter is estimated from the span
// [--from, --to] (default the whole channel) by quasi-closed-phase
// analysis over IAIF (engine/tools/qcp.h, tract order --order, default
// fs/1000 + 2), the channels are made over the
// same span, and --save-filter writes the estimate as a ".for" file. The
// estimated elements go to stderr, one a line.
#include <cstdio>

#include "commands.h"
#include "engine/core/tchannel.h"
#include "engine/dsp/numformat.h"
#include "engine/formats/formatregistry.h"
#include "engine/formats/saveformats.h"
#include "engine/tools/iaif.h"
#include "engine/tools/qcp.h"
#include "engine/tools/invfilter.h"

namespace tessal::cli {

namespace {
const char* const invfilter_usage =
    "usage: tessal-cli invfilter FILE --channel N --filter F.for [--type mic|flow] [--hp HZ]\n"
    "         [--distance CM] [--no-convert] [--flip] -o OUT [--yes]\n"
    "       tessal-cli invfilter FILE --channel N --auto [--order N] [--from S --to S] [--hp HZ]\n"
    "         [--distance CM] [--no-convert] [--flip] -o OUT [--save-filter F.for] [--yes]\n";
}

int cmd_invfilter(int argc, char** argv) {
    targs a;
    if (!parse_args(argc, argv, 2,
                    {"--channel", "--filter", "--type", "--hp", "--distance", "-o", "--order", "--from", "--to",
                     "--save-filter"},
                    {"--no-convert", "--flip", "--yes", "--auto"}, a) ||
        a.positional.size() != 1 || !a.option("--channel") || !a.option("-o") ||
        a.has_flag("--auto") == a.option("--filter").has_value() ||
        (!a.has_flag("--auto") && (a.option("--order") || a.option("--from") || a.option("--to") ||
                                   a.option("--save-filter"))) ||
        a.option("--from").has_value() != a.option("--to").has_value()) {
        std::fputs(invfilter_usage, stderr);
        return exit_usage;
    }
    const bool autofilter = a.has_flag("--auto");
    long long channo = 0, order = 0;
    double hp = 20, distance = 30, from = 0, to = 0;
    try {
        channo = parse_int(*a.option("--channel"));
        if (auto v = a.option("--hp")) hp = parse_float_dot(*v);
        if (auto v = a.option("--distance")) distance = parse_float_dot(*v);
        if (auto v = a.option("--order")) order = parse_int(*v);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tessal-cli: %s\n", e.what());
        return exit_usage;
    }
    if (!(hp > 0) || !(distance > 0)) {
        std::fputs("tessal-cli: --hp and --distance take positive numbers\n", stderr);
        return exit_usage;
    }
    if (a.option("--order") && (order < 2 || order > 60)) {
        std::fputs("tessal-cli: --order takes a whole number from 2 to 60\n", stderr);
        return exit_usage;
    }
    if (!read_span_options(a, from, to) || (a.option("--from") && !(to > from))) {
        std::fputs("tessal-cli: --from and --to take seconds, --from before --to\n", stderr);
        return exit_usage;
    }
    if (autofilter && a.option("--type") && *a.option("--type") != "mic") {
        std::fputs("tessal-cli: --auto estimates the filter of a microphone signal (--type mic)\n", stderr);
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
    tinvmakeoptions opt;
    opt.range = tinvrange::entire;
    if (autofilter) {
        if (!has_sampled_channel(d.doc, channo)) return exit_input;
        const tchannel& ch = d.doc.channel(static_cast<int>(channo));
        if (a.option("--from")) {
            opt.range = tinvrange::visible;
            opt.visiblefrom = from;
            opt.visibleto = to;
        } else {
            from = static_cast<double>(ch.xshift) / ch.sampfreq;
            to = from + ch.duration();
        }
        tqcpoptions qo;
        qo.iaif.order = static_cast<int>(order);
        qo.iaif.flowhp = hp;
        const tiaifresult r = qcp_channel(ch, from, to, qo);
        if (!r.ok) {
            std::fprintf(stderr, "tessal-cli: %s\n", r.problem.c_str());
            return exit_input;
        }
        apply_iaif(filter, r);
        filter.set_sampfreq(ch.sampfreq);
        for (const std::string& line : filter.memo_lines(6)) std::fprintf(stderr, "%s\n", line.c_str());
        if (r.realroots > 0)
            std::fprintf(stderr, "tessal-cli: %d real roots of the tract model left out\n", r.realroots);
        if (auto f = a.option("--save-filter");
            f && !filter.write_for_file(*f, TESSAL_VERSION, &err)) {
            std::fprintf(stderr, "tessal-cli: %s\n", err.c_str());
            return exit_input;
        }
    } else if (!filter.read_for_file(*a.option("--filter"), &err)) {
        std::fprintf(stderr, "tessal-cli: %s\n", err.c_str());
        return exit_input;
    }
    filter.signaltype = type == "mic" ? tinvsignaltype::mic : tinvsignaltype::flow;
    filter.fhpfilterfreq = hp;
    filter.fflipfactor = a.has_flag("--flip") ? -1.0 : 1.0;
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
