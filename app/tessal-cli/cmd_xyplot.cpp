// tessal-cli xyplot FILE --x CH --y CH [--from S --to S] [--summary]: the
// pairs the xy-plot window draws, one channel against the other sample by
// sample, over S..S as the selection (default the entire file): one line per
// sample index after the heading "t [s]\tx [unit]\ty [unit]". With
// --summary, instead, one line after its heading: the number of pairs, the
// span, each channel's smallest and largest value and Pearson's r of x and y.
#include <cstdio>
#include <string>

#include "commands.h"
#include "engine/analysis/spectrum.h"
#include "engine/analysis/xyplot.h"
#include "engine/core/tchannel.h"
#include "engine/dsp/numformat.h"

namespace tessal::cli {

namespace {

const char* const xyplot_usage =
    "usage: tessal-cli xyplot FILE --x CH --y CH [--from S --to S] [--summary]\n";

int usage_error(const char* why) { return cli::usage_error(xyplot_usage, why); }

bool read_chan(const targs& a, const char* name, long long& chno) {
    try {
        chno = parse_int(*a.option(name));
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

}  // namespace

int cmd_xyplot(int argc, char** argv) {
    targs a;
    if (!parse_args(argc, argv, 2, {"--x", "--y", "--from", "--to"}, {"--summary"}, a) ||
        a.positional.size() != 1)
        return usage_error(nullptr);
    if (!a.option("--x") || !a.option("--y")) return usage_error("give the channels with --x CH --y CH");
    long long cx = 0, cy = 0;
    if (!read_chan(a, "--x", cx) || !read_chan(a, "--y", cy))
        return usage_error("--x and --y take channel numbers");
    double from = 0, to = 0;
    if (!read_span_options(a, from, to)) return usage_error("--from and --to take seconds");
    if (a.option("--from") && a.option("--to") && from > to) return usage_error("--from lies after --to");

    tclidocument d(true);
    if (!d.open(a.positional)) return d.prompter.refused() ? exit_usage : exit_input;
    if (!has_channel(d.doc, cx) || !has_channel(d.doc, cy)) return exit_input;
    const tchannel& x = d.doc.channel(static_cast<int>(cx));
    const tchannel& y = d.doc.channel(static_cast<int>(cy));
    if (!(x.sampfreq > 0) || x.sampfreq != y.sampfreq) {
        std::fputs("tessal-cli: the x and y channels have different sampling rates; the xy-plot "
                   "pairs samples of one rate\n",
                   stderr);
        return exit_input;
    }
    // Without a span the entire file, with one the span as the selection.
    const bool span = a.option("--from") || a.option("--to");
    const double L = a.option("--from") ? from : d.doc.first_time();
    const double R = a.option("--to") ? to : d.doc.last_time();
    const txyrange r = xy_range(x, y, span ? txyspan::selection : txyspan::entire, L, R, 0, 0);
    const tsampleview xv = sample_view(x), yv = sample_view(y);
    const double fs = x.sampfreq;
    char buf[160];
    if (a.has_flag("--summary")) {
        const txysummary s = xy_summary(xv, yv, r);
        std::string out = "Pairs\tFrom [s]\tTo [s]\tx min [" + x.yunit() + "]\tx max [" + x.yunit() +
                          "]\ty min [" + y.yunit() + "]\ty max [" + y.yunit() + "]\tr\n";
        if (s.pairs > 0)
            std::snprintf(buf, sizeof buf, "%lld\t%.10g\t%.10g\t%.10g\t%.10g\t%.10g\t%.10g\t%.10g\n", s.pairs,
                          static_cast<double>(r.first) / fs, static_cast<double>(r.last) / fs, s.xmin, s.xmax,
                          s.ymin, s.ymax, s.r);
        else
            std::snprintf(buf, sizeof buf, "0\t\t\t\t\t\t\t\n");
        out += buf;
        std::fwrite(out.data(), 1, out.size(), stdout);
        return exit_ok;
    }
    const std::string heading = "t [s]\tx [" + x.yunit() + "]\ty [" + y.yunit() + "]\n";
    std::fwrite(heading.data(), 1, heading.size(), stdout);
    constexpr long long block = 65536;
    std::vector<float> xb(block), yb(block);
    std::string out;
    for (long long i = r.first; i <= r.last; i += block) {
        const long long n = std::min(block, r.last - i + 1);
        xv.read(i, n, xb.data());
        yv.read(i, n, yb.data());
        out.clear();
        for (long long k = 0; k < n; ++k) {
            std::snprintf(buf, sizeof buf, "%.10g\t%.9g\t%.9g\n", static_cast<double>(i + k) / fs,
                          static_cast<double>(xb[static_cast<std::size_t>(k)]),
                          static_cast<double>(yb[static_cast<std::size_t>(k)]));
            out += buf;
        }
        if (std::fwrite(out.data(), 1, out.size(), stdout) != out.size()) return exit_input;
    }
    return exit_ok;
}

}  // namespace tessal::cli
