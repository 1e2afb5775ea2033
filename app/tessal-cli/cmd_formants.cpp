// tessal-cli formants FILE [--channel N] [--max-formant HZ] [--n N]
// [--step S] [--from S --to S]: the tracked formants of a channel, a
// heading, then one "time<TAB>F1<TAB>B1<TAB>F2<TAB>B2..." line per frame
// (times in the file's seconds, "--" where a frame has no value for a
// formant).
#include <cmath>
#include <cstdio>
#include <string>

#include "commands.h"
#include "engine/core/tchannel.h"
#include "engine/tools/formants.h"

namespace tessal::cli {

namespace {

const char* const formants_usage =
    "usage: tessal-cli formants FILE [--channel N] [--max-formant HZ] [--n N] [--step S]\n"
    "         [--from S --to S]\n";

int usage_error(const std::string& why) {
    return cli::usage_error(formants_usage, why.empty() ? nullptr : why.c_str());
}

void append_value(std::string& out, double v, const char* format) {
    char b[32];
    if (std::isfinite(v)) std::snprintf(b, sizeof b, format, v);
    else std::snprintf(b, sizeof b, "--");
    out += '\t';
    out += b;
}

}  // namespace

int cmd_formants(int argc, char** argv) {
    targs a;
    if (!parse_args(argc, argv, 2, {"--channel", "--max-formant", "--n", "--step", "--from", "--to"}, {}, a) ||
        a.positional.size() != 1)
        return usage_error("");
    long long channo = 0;
    if (!read_channel_option(a, channo)) return exit_usage;
    tformantsettings s;
    if (auto v = a.option("--max-formant")) {
        if (!parse_number(*v, s.maxformant) || !(s.maxformant >= 500 && s.maxformant <= 50000))
            return usage_error("--max-formant takes a frequency from 500 to 50000 Hz");
    }
    if (auto v = a.option("--n")) {
        double n = 0;
        if (!parse_number(*v, n) || n != std::floor(n) || n < 1 || n > 10)
            return usage_error("--n takes a whole number of formants from 1 to 10");
        s.nformants = static_cast<int>(n);
    }
    if (auto v = a.option("--step")) {
        if (!parse_seconds(*v, s.step) || !(s.step >= 0.0001 && s.step <= 1))
            return usage_error("--step takes seconds from 0.0001 to 1");
    }
    tsamplespan span;
    if (!read_sample_span(a, formants_usage, span)) return exit_usage;

    tclidocument d(true);
    if (!d.open(a.positional)) return d.prompter.refused() ? exit_usage : exit_input;
    if (!has_sampled_channel(d.doc, channo)) return exit_input;
    const tchannel& ch = d.doc.channel(static_cast<int>(channo));
    const double fs = ch.sampfreq;
    const auto n = static_cast<std::int64_t>(ch.samples().size());
    const std::int64_t i0 = span.first(fs, n);
    const std::int64_t i1 = span.last(fs, n);
    if (static_cast<double>(i1 - i0) / fs < 2 * s.window) {
        std::fprintf(stderr, "tessal-cli: the span is shorter than one analysis window (%g s)\n", 2 * s.window);
        return exit_input;
    }
    const tsinglearr x = ch.samples_slice(i0, i1).to_array();
    const double t0 = static_cast<double>(i0) / fs;
    const tformanttracks tr = formants(x.data(), x.size(), fs, s);

    std::string out = "time [s]";
    for (int i = 1; i <= tr.n; ++i) out += "\tF" + std::to_string(i) + " [Hz]\tB" + std::to_string(i) + " [Hz]";
    out += '\n';
    char line[32];
    for (std::size_t k = 0; k < tr.frames(); ++k) {
        std::snprintf(line, sizeof line, "%.6f", t0 + tr.times[k]);
        out += line;
        for (int i = 0; i < tr.n; ++i) {
            append_value(out, tr.F(k, i), "%.1f");
            append_value(out, tr.B(k, i), "%.1f");
        }
        out += '\n';
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    return exit_ok;
}

}  // namespace tessal::cli
