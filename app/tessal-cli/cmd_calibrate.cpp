// tessal-cli calibrate FILE (--channel N | --all) --mode level|rms|two|integral
// --value V [--value2 V2] [--reference R] [--unit U] [--weighting lin|A|C]
// --from S --to S -o OUT: what "Calibrate!" does, calibration labels
// included, then saves OUT. In two-amplitude mode the green and purple marks
// are given as --green S,S and --purple S,S (default: 10-30 % and 60-80 %
// of the channel); the labels go over --from..--to, by default from the
// first mark to the last. A channel that cannot be calibrated is named on stderr;
// when none could be, nothing is written and the exit code is 1.
#include <algorithm>
#include <cstdio>

#include "commands.h"
#include "engine/core/tchannel.h"
#include "engine/dsp/numformat.h"
#include "engine/formats/saveformats.h"
#include "engine/tools/calibration.h"

namespace tessal::cli {

namespace {

const char* const calibrate_usage =
    "usage: tessal-cli calibrate FILE (--channel N | --all) --mode level|rms|two|integral\n"
    "         --value V [--value2 V2] [--reference R] [--unit U] [--weighting lin|A|C]\n"
    "         --from S --to S [--green S,S --purple S,S] [--companion] [--no-labels]\n"
    "         -o OUT [--yes]\n";

bool parse_pair(const std::string& text, double& a, double& b) {
    const auto comma = text.find(',');
    return comma != std::string::npos && try_parse_float(text.substr(0, comma), a) &&
           try_parse_float(text.substr(comma + 1), b);
}

}  // namespace

int cmd_calibrate(int argc, char** argv) {
    targs a;
    if (!parse_args(argc, argv, 2,
                    {"--channel", "--mode", "--value", "--value2", "--reference", "--unit",
                     "--weighting", "--from", "--to", "--green", "--purple", "-o"},
                    {"--all", "--companion", "--no-labels", "--yes"}, a) ||
        a.positional.size() != 1 || a.option("--channel").has_value() == a.has_flag("--all") ||
        !a.option("--mode") || !a.option("--value") || !a.option("-o")) {
        std::fputs(calibrate_usage, stderr);
        return exit_usage;
    }
    tcalibration p;
    const std::string mode = *a.option("--mode");
    if (mode == "level") p.mode = tcalibmode::level;
    else if (mode == "rms") p.mode = tcalibmode::rms;
    else if (mode == "two") p.mode = tcalibmode::two;
    else if (mode == "integral") p.mode = tcalibmode::integral;
    else {
        std::fprintf(stderr, "tessal-cli: unknown mode \"%s\"\n", mode.c_str());
        return exit_usage;
    }
    const std::string w = a.option("--weighting").value_or("lin");
    if (w == "lin") p.weighting = tcalibweighting::linear;
    else if (w == "A") p.weighting = tcalibweighting::A;
    else if (w == "C") p.weighting = tcalibweighting::C;
    else {
        std::fprintf(stderr, "tessal-cli: unknown weighting \"%s\" (lin, A or C)\n", w.c_str());
        return exit_usage;
    }
    double from = 0, to = 0;
    bool greens = false, purples = false;
    double g0 = 0, g1 = 0, p0 = 0, p1 = 0;
    long long channo = -1;
    try {
        p.value = parse_float_dot(*a.option("--value"));
        if (auto v = a.option("--value2")) p.value2 = parse_float_dot(*v);
        if (auto v = a.option("--reference")) p.reference = parse_float_dot(*v);
        if (auto v = a.option("--channel")) channo = parse_int(*v);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tessal-cli: %s\n", e.what());
        return exit_usage;
    }
    if (p.mode == tcalibmode::two && !a.option("--value2")) {
        std::fputs("tessal-cli: two-amplitude mode needs --value2\n", stderr);
        return exit_usage;
    }
    if (p.mode != tcalibmode::two && (!a.option("--from") || !a.option("--to"))) {
        std::fputs("tessal-cli: give the stretch of known value with --from and --to\n", stderr);
        return exit_usage;
    }
    if (!read_span_options(a, from, to)) {
        std::fputs("tessal-cli: --from and --to take times in seconds\n", stderr);
        return exit_usage;
    }
    if (auto v = a.option("--green")) {
        if (!parse_pair(*v, g0, g1)) {
            std::fputs("tessal-cli: --green takes two times, S,S\n", stderr);
            return exit_usage;
        }
        greens = true;
    }
    if (auto v = a.option("--purple")) {
        if (!parse_pair(*v, p0, p1)) {
            std::fputs("tessal-cli: --purple takes two times, S,S\n", stderr);
            return exit_usage;
        }
        purples = true;
    }
    if (auto u = a.option("--unit")) p.unit = *u;
    p.addlabels = !a.has_flag("--no-labels");

    tclidocument d(a.has_flag("--yes"));
    if (output_is_input(*a.option("-o"), a.positional)) return exit_usage;
    if (!d.open(a.positional)) return d.prompter.refused() ? exit_usage : exit_input;
    if (channo >= d.doc.totnchans()) {
        std::fprintf(stderr, "tessal-cli: channel %lld does not exist (the document has %d)\n",
                     channo, d.doc.totnchans());
        return exit_input;
    }
    const std::vector<int> chans =
        calibration_targets(d.doc, static_cast<int>(channo), a.has_flag("--companion"));
    for (int c : chans) {
        tchannel& ch = d.doc.channel(c);
        reset_calibration_marks(ch);
        if (greens) ch.cursors[3] = g0, ch.cursors[4] = g1;
        if (purples) ch.cursors[5] = p0, ch.cursors[6] = p1;
    }
    // Two amplitudes read the marks; without a span the labels go from the
    // channel's first mark to its last.
    const bool markspan = p.mode == tcalibmode::two && !a.option("--from") && !a.option("--to");
    tcalibresult r;
    if (!markspan) r = calibrate_channels(d.doc, chans, p, from, to);
    for (int c : markspan ? chans : std::vector<int>{}) {
        const auto& m = d.doc.channel(c).cursors;
        const tcalibresult one = calibrate_channels(d.doc, {c}, p, std::min({m[3], m[4], m[5], m[6]}),
                                                    std::max({m[3], m[4], m[5], m[6]}));
        r.calibrated.insert(r.calibrated.end(), one.calibrated.begin(), one.calibrated.end());
        r.failed.insert(r.failed.end(), one.failed.begin(), one.failed.end());
    }
    for (int c : r.failed) std::fprintf(stderr, "tessal-cli: %s\n", calibration_failure_text(c).c_str());
    if (r.calibrated.empty()) return exit_input;

    const std::string out = *a.option("-o");
    const tsavefilter* row = d.save_row(out);
    if (!row) return exit_usage;
    return d.save(out, *row);
}

}  // namespace tessal::cli
