// tessal-cli correlation FILE [--channel N] --at T [--window MS] [--lags MS]
// [--cursor MS [--snap curve|peak]]: the autocorrelation the correlation
// window draws at the time cursor T, one line per lag after the heading
// "Lag [ms]\tr"; with --cursor, instead, the heading and line "Log cursor"
// adds to the data log for the period cursor at MS, read off the curve or
// moved to the nearest peak as the window's snapping does.
#include <cmath>
#include <cstdio>
#include <string>

#include "commands.h"
#include "figureapp.h"
#include "gui/figure/plotdrawing.h"
#include "engine/analysis/correlation.h"
#include "engine/core/tchannel.h"
#include "engine/dsp/numberfield.h"
#include "engine/dsp/numformat.h"

namespace tessal::cli {

namespace {

const char* const correlation_usage =
    "usage: tessal-cli correlation FILE [--channel N] --at T [--window MS] [--lags MS]\n"
    "         [--cursor MS [--snap curve|peak]] [--figure OUT.png|svg|pdf [--size WxH] [--dpi N]]\n";

int usage_error(const char* why) { return cli::usage_error(correlation_usage, why); }
int usage_error(const std::string& why) { return usage_error(why.c_str()); }

}  // namespace

int cmd_correlation(int argc, char** argv) {
    targs a;
    if (!parse_args(argc, argv, 2, {"--channel", "--at", "--window", "--lags", "--cursor", "--snap", "--figure", "--size", "--dpi"}, {}, a) ||
        a.positional.size() != 1)
        return usage_error(nullptr);
    long long channo = 0;
    if (!read_channel_option(a, channo)) return exit_usage;
    double at = 0, winms = 50, lagms = 40, cursorms = 0;
    if (!a.option("--at") || !parse_seconds(*a.option("--at"), at))
        return usage_error("--at takes the time cursor in seconds");
    if (auto w = a.option("--window")) {
        const std::string rule = read_number_field(*w, fields::correlationlength, winms);
        if (!rule.empty()) return usage_error("--window: " + rule);
    }
    if (a.option("--lags") && !(parse_number(*a.option("--lags"), lagms) && lagms > 0))
        return usage_error("--lags takes a positive largest lag in ms");
    const bool cursor = a.option("--cursor").has_value();
    if (cursor && !(parse_number(*a.option("--cursor"), cursorms) && cursorms > 0))
        return usage_error("--cursor takes a positive lag in ms");
    int snap = 1;  // the curve: without a mouse there is no other reading
    if (auto s = a.option("--snap")) {
        if (!cursor) return usage_error("--snap goes with --cursor");
        if (*s == "curve") snap = 1;
        else if (*s == "peak") snap = 2;
        else return usage_error("--snap is curve or peak");
    }
    if (cursor && cursorms >= lagms) return usage_error("--cursor lies beyond the largest lag (--lags)");

    tfigureoptions fig;
    if (!read_figure_options(a, correlation_usage, fig)) return exit_usage;

    tclidocument d(true);
    if (!d.open(a.positional)) return d.prompter.refused() ? exit_usage : exit_input;
    if (!has_sampled_channel(d.doc, channo)) return exit_input;
    const tchannel& ch = d.doc.channel(static_cast<int>(channo));
    if (std::round(lagms / 1000 * ch.sampfreq) > max_correlation_lags) {
        const std::string why = "--lags takes at most " + std::to_string(static_cast<long long>(max_correlation_lags)) +
                                " lags, " + format_significant(6, max_correlation_lags / ch.sampfreq * 1000) +
                                " ms at this sampling rate";
        return usage_error(why);
    }
    const std::vector<double> r = correlation_at(sample_view(ch), winms / 1000, at, lagms);
    if (!write_figure_option(fig, [&] {
            // The window the correlation reads: its length from the cursor on.
            return correlation_figure(figure_title_of(a.positional[0], static_cast<int>(channo), ch.name(),
                                                      at, at + winms / 1000),
                                      r, ch.sampfreq, lagms);
        }))
        return exit_input;
    std::string out;
    if (cursor) {
        const double x = cursorms / 1000;
        const tcorrsnap s = snap == 2 ? corr_snap_to_peak(r, ch.sampfreq, x) : corr_snap_to_curve(r, ch.sampfreq, x);
        const double T = s.f > 0 ? 1 / s.f : 0;
        if (!(T > 0)) {
            std::fputs("tessal-cli: no period cursor there (the lag is 0)\n", stderr);
            return exit_input;
        }
        const tcorrlog l = correlation_cursor_log(at, T, s.r, d.doc.prefs);
        out = l.heading + "\n" + l.line + "\n";
    } else {
        out = "Lag [ms]\tr\n";
        char buf[64];
        for (std::size_t i = 0; i < r.size(); ++i) {
            std::snprintf(buf, sizeof buf, "%.10g\t%.10g\n", static_cast<double>(i) / ch.sampfreq * 1000, r[i]);
            out += buf;
        }
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    return exit_ok;
}

}  // namespace tessal::cli
