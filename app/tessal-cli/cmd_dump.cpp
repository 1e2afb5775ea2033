// tessal-cli dump FILE [--channel N] [--from S] [--to S]: the samples of one
// channel as the document holds them, in physical units, one per line.
#include <cstdio>

#include "commands.h"
#include "engine/formats/savespan.h"
#include "engine/dsp/numformat.h"

namespace tessal::cli {

int cmd_dump(int argc, char** argv) {
    targs a;
    if (!parse_args(argc, argv, 2, {"--channel", "--from", "--to"}, {}, a) ||
        a.positional.size() != 1) {
        std::fputs("usage: tessal-cli dump FILE [--channel N] [--from S] [--to S]\n", stderr);
        return exit_usage;
    }
    long long channo = 0;
    double from = 0, to = 0;
    if (!read_channel_option(a, channo)) return exit_usage;
    if (!read_span_options(a, from, to)) {
        std::fputs("tessal-cli: --from and --to take seconds\n", stderr);
        return exit_usage;
    }
    tclidocument d(true);
    if (!d.open(a.positional)) return d.prompter.refused() ? exit_usage : exit_input;
    if (!has_channel(d.doc, channo)) return exit_input;
    const tchannel& c = d.doc.channel(static_cast<int>(channo));
    if (!a.option("--to")) to = a.option("--from") ? c.duration() + c.xshift / c.sampfreq : 0;
    tsavespan span = save_span_of(c, from, to);
    std::string out;
    char buf[32];
    if (span.first < span.last)
        c.for_each_chunk(span.first, span.last, [&](const float* p, std::size_t m, std::int64_t) {
            for (std::size_t i = 0; i < m; ++i) {
                int n = std::snprintf(buf, sizeof buf, "%.9g\n", static_cast<double>(p[i]));
                out.append(buf, n);
                if (out.size() > (1 << 16)) {
                    std::fwrite(out.data(), 1, out.size(), stdout);
                    out.clear();
                }
            }
        });
    std::fwrite(out.data(), 1, out.size(), stdout);
    return exit_ok;
}

}  // namespace tessal::cli
