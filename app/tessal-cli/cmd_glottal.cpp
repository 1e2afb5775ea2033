// tessal-cli glottal FILE --channel N --at T --period T1 T2 [--closed C1 C2]:
// the glottal-flow parameters of one cycle as the T-naq window measures
// them. The segment starts at T; the period is marked between the times T1
// and T2 (seconds in the file, snapped onto the MDR peaks) and the closed
// phase between C1 and C2. Prints the heading and the row "Log data" adds;
// a period that does not hold exactly one cycle is refused (exit 1).
//
// tessal-cli glottal FILE --channel N --auto [--from S --to S] [--derivative]
// [--hp HZ]: every cycle of the span found and measured without marking
// (engine/tools/glottalcycles.h), one row per cycle under one heading; the
// number of cycles found and measured goes to stderr.
#include <cstdio>

#include "commands.h"
#include "engine/core/tchannel.h"
#include "engine/dsp/numformat.h"
#include "engine/tools/glottalcycles.h"
#include "engine/tools/glottalflow.h"

namespace tessal::cli {

namespace {
const char* const glottal_usage =
    "usage: tessal-cli glottal FILE --channel N --at T --period T1 T2 [--closed C1 C2]\n"
    "       tessal-cli glottal FILE --channel N --auto [--from S --to S] [--derivative] [--hp HZ]\n";

// The two values after `name`, taken out of the positionals parse_args left.
bool two_values(int argc, char** argv, const char* name, double& v1, double& v2, bool& given) {
    for (int i = 2; i < argc; ++i) {
        if (std::string(argv[i]) != name) continue;
        given = true;
        return i + 2 < argc && parse_seconds(argv[i + 1], v1) && parse_seconds(argv[i + 2], v2);
    }
    return true;
}
int glottal_auto(int argc, char** argv) {
    targs a;
    if (!parse_args(argc, argv, 2, {"--channel", "--from", "--to", "--hp"}, {"--auto", "--derivative"}, a) ||
        a.positional.size() != 1 || !a.option("--channel") ||
        a.option("--from").has_value() != a.option("--to").has_value()) {
        std::fputs(glottal_usage, stderr);
        return exit_usage;
    }
    long long channo = 0;
    double from = 0, to = 0, hp = 20;
    if (!read_channel_option(a, channo)) return exit_usage;
    if (!read_span_options(a, from, to) || (a.option("--from") && !(to > from))) {
        std::fputs("tessal-cli: --from and --to take seconds, --from before --to\n", stderr);
        return exit_usage;
    }
    if (auto v = a.option("--hp"); v && (!parse_number(*v, hp) || !(hp > 0))) {
        std::fputs("tessal-cli: --hp takes a positive frequency in Hz\n", stderr);
        return exit_usage;
    }
    tclidocument d(true);
    if (!d.open(a.positional)) return d.prompter.refused() ? exit_usage : exit_input;
    if (!has_sampled_channel(d.doc, channo)) return exit_input;
    const tchannel& ch = d.doc.channel(static_cast<int>(channo));
    if (!a.option("--from")) {
        from = static_cast<double>(ch.xshift) / ch.sampfreq;
        to = from + ch.duration();
    }
    if (hp >= ch.sampfreq / 2) {
        std::fputs("tessal-cli: --hp must lie below half the sampling rate\n", stderr);
        return exit_usage;
    }
    const std::string filename = ch.filename.empty() ? d.doc.filename() : ch.filename;
    bool first = true;
    const tcyclecount n = measure_channel_cycles(
        ch, from, to, a.has_flag("--derivative"), hp, {}, [&](tglottalflow& g) {
            if (first) {
                g.filename = filename;
                g.channelname = ch.name();
                g.unit = ch.yunit();
                std::printf("%s\n", g.heading().c_str());
            }
            first = false;
            std::printf("%s\n", g.datarow(d.doc.prefs).c_str());
        });
    std::fprintf(stderr, "tessal-cli: %d cycles found, %d measured\n", n.found, n.measured);
    if (n.measured == 0) {
        std::fputs("tessal-cli: no glottal cycle found in the span\n", stderr);
        return exit_input;
    }
    return exit_ok;
}
}  // namespace

int cmd_glottal(int argc, char** argv) {
    for (int i = 2; i < argc; ++i)
        if (std::string(argv[i]) == "--auto") return glottal_auto(argc, argv);
    double p1 = 0, p2 = 0, c1 = 0, c2 = 0;
    bool hasperiod = false, hasclosed = false;
    if (!two_values(argc, argv, "--period", p1, p2, hasperiod) ||
        !two_values(argc, argv, "--closed", c1, c2, hasclosed)) {
        std::fputs("tessal-cli: --period and --closed take two times in seconds\n", stderr);
        return exit_usage;
    }
    // Everything but the two pairs goes through the usual parser.
    std::vector<char*> rest(argv, argv + 2);
    for (int i = 2; i < argc; ++i) {
        const std::string s = argv[i];
        if (s == "--period" || s == "--closed") {
            i += 2;
            continue;
        }
        rest.push_back(argv[i]);
    }
    targs a;
    if (!parse_args(static_cast<int>(rest.size()), rest.data(), 2, {"--channel", "--at"}, {}, a) ||
        a.positional.size() != 1 || !a.option("--channel") || !a.option("--at") || !hasperiod) {
        std::fputs(glottal_usage, stderr);
        return exit_usage;
    }
    long long channo = 0;
    double at = 0;
    if (!read_channel_option(a, channo)) return exit_usage;
    if (!parse_seconds(*a.option("--at"), at)) {
        std::fputs("tessal-cli: --at takes seconds\n", stderr);
        return exit_usage;
    }
    tclidocument d(true);
    if (!d.open(a.positional)) return d.prompter.refused() ? exit_usage : exit_input;
    if (!has_channel(d.doc, channo)) return exit_input;
    tglottalflow g;
    g.load_segment(d.doc.channel(static_cast<int>(channo)), at);
    if (g.filename.empty()) g.filename = d.doc.filename();
    const double seglen = glottal_seglen / g.sampfreq;
    if (p1 < at || p2 < at || p1 > at + seglen || p2 > at + seglen) {
        std::fputs("tessal-cli: the period lies outside the segment that starts at --at\n", stderr);
        return exit_input;
    }
    g.mark_period(p1 - at, p2 - at);
    if (!g.period_ok()) {
        if (g.periodstate == tperiodstate::click)
            std::fputs("tessal-cli: --period needs two different times, one MDR peak and the next\n", stderr);
        else
            std::fprintf(stderr,
                         "tessal-cli: %s (they snapped to %.5f and %.5f s): give --period the times of "
                         "two neighbouring MDR peaks\n",
                         g.period_problem().c_str(), at + g.lotime, at + g.hitime);
        return exit_input;
    }
    if (hasclosed) g.mark_closed(c1 - at, c2 - at);
    if (hasclosed && !g.closedvalid)
        std::fprintf(stderr, "tessal-cli: the closed phase lies outside the period %.5f to %.5f s\n",
                     at + g.lotime, at + g.hitime);
    if (g.selectionerror)
        std::fprintf(stderr, "tessal-cli: %s\n", g.line2(d.doc.prefs).c_str());
    std::printf("%s\n%s\n", g.heading().c_str(), g.datarow(d.doc.prefs).c_str());
    return exit_ok;
}

}  // namespace tessal::cli
