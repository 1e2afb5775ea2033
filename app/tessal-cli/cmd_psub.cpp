// tessal-cli psub FILE [--channel N] [--from S --to S] [--threshold V]
// [--min-duration S] [--max-duration S] [--min-score PCT] [--peak-percentile PCT]
// [--variability-percentile PCT]: the subglottal-pressure peaks of the channel
// over S..S (default the whole channel), as "Log peaks" and "Log statistics"
// write them: the peaks' heading and one line per peak, then the statistics'
// heading and line.
#include <cmath>
#include <cstdio>

#include "commands.h"
#include "engine/core/tchannel.h"
#include "engine/dsp/numformat.h"
#include "engine/tools/psub.h"

namespace tessal::cli {

namespace {

const char* const psub_usage =
    "usage: tessal-cli psub FILE [--channel N] [--from S --to S] [--threshold V]\n"
    "         [--min-duration S] [--max-duration S] [--min-score PCT]\n"
    "         [--peak-percentile PCT] [--variability-percentile PCT]\n";

}  // namespace

int cmd_psub(int argc, char** argv) {
    targs a;
    if (!parse_args(argc, argv, 2,
                    {"--channel", "--from", "--to", "--threshold", "--min-duration", "--max-duration",
                     "--min-score", "--peak-percentile", "--variability-percentile"},
                    {}, a) ||
        a.positional.size() != 1 || a.option("--from").has_value() != a.option("--to").has_value()) {
        std::fputs(psub_usage, stderr);
        return exit_usage;
    }
    tpsubparams p;
    long long channo = 0;
    double from = 0, to = 0;
    try {
        if (auto v = a.option("--channel")) channo = parse_int(*v);
        auto number = [&](const char* name, double& into, double scale, bool nonnegative) {
            if (auto v = a.option(name)) {
                const double x = parse_float_dot(*v);
                if (!std::isfinite(x)) throw EConvertError(std::string(name) + " needs a finite number");
                into = (nonnegative && x < 0 ? 0 : x) / scale;
            }
        };
        number("--threshold", p.fthreshold, 1, false);
        number("--min-duration", p.fminduration, 1, true);
        number("--max-duration", p.fmaxduration, 1, true);
        number("--min-score", p.fminscore, 100, true);
        number("--peak-percentile", p.fpeakpercentile, 100, true);
        number("--variability-percentile", p.fvariabilitypercentile, 100, true);
        p.fpeakpercentile = std::min(p.fpeakpercentile, 1.0);
        p.fvariabilitypercentile = std::min(p.fvariabilitypercentile, 1.0);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tessal-cli: %s\n", e.what());
        return exit_usage;
    }
    if (a.option("--from") &&
        (!parse_seconds(*a.option("--from"), from) || !parse_seconds(*a.option("--to"), to))) {
        std::fputs("tessal-cli: --from and --to take times in seconds\n", stderr);
        return exit_usage;
    }
    tclidocument d(false);
    if (!d.open(a.positional)) return exit_input;
    if (channo < 0 || channo >= d.doc.totnchans()) {
        std::fprintf(stderr, "tessal-cli: channel %lld does not exist (the document has %d)\n", channo,
                     d.doc.totnchans());
        return exit_input;
    }
    const tchannel& ch = d.doc.channel(static_cast<int>(channo));
    tsection s{from, to};
    if (!a.option("--from")) {
        s.from = ch.sampfreq > 0 ? static_cast<double>(ch.xshift) / ch.sampfreq : 0;
        s.to = s.from + ch.duration();
    }
    const std::vector<tpeak> peaks = detect_peaks(ch, s, p);
    const tpeakstatistics st = peak_statistics(peaks, ch, s);
    const int digits = d.doc.prefs.nSignificantDigits;
    for (const tpsublog& log : {peaks_log(peaks, st, digits), statistics_log(st, digits)}) {
        std::printf("%s\n", log.heading.c_str());
        for (const std::string& row : log.rows) std::printf("%s\n", row.c_str());
    }
    return exit_ok;
}

}  // namespace tessal::cli
