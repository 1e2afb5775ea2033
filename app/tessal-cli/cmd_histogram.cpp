// tessal-cli histogram FILE [--channel N] [--from S --to S] [--lo V --hi V]
// [--bins N] [--method nearest|two-nearest|pairs] [--kernel NAME]
// [--kernel-width N] [--percentiles P,...] [--stats]: the histogram box of
// the "Histograms/KDE" window for the channel over S..S (default the whole
// file) on the value range V..V (default the channel's value axis), one line
// per bin after the heading "x [unit]\tt [s]": the bin's value and the
// seconds the signal spends there, smoothed by the kernel when one is
// chosen. With --stats, instead, the heading and line of "Log stats". The
// --figure shows the window's statistics box (--percentiles chooses its
// percentiles as the window's ticks do).
#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>

#include "commands.h"
#include "figureapp.h"
#include "gui/figure/plotdrawing.h"
#include "engine/analysis/histogram.h"
#include "engine/core/tchannel.h"
#include "engine/dsp/numberfield.h"
#include "engine/dsp/numformat.h"

namespace tessal::cli {

namespace {

const char* const histogram_usage =
    "usage: tessal-cli histogram FILE [--channel N] [--from S --to S] [--lo V --hi V] [--bins N]\n"
    "         [--method nearest|two-nearest|pairs] [--kernel NAME] [--kernel-width N]\n"
    "         [--percentiles P,...] [--stats] [--figure OUT.png|svg|pdf [--size WxH] [--dpi N]]\n"
    "       NAME is none, rectangle, triangle, parabolic or hanning\n";

int usage_error(const char* why) { return cli::usage_error(histogram_usage, why); }
int usage_error(const std::string& why) { return usage_error(why.c_str()); }

// A whole number inside the field's range; the field's rule otherwise.
std::string read_count(const std::string& text, const tnumberfield& f, int& value) {
    double v = value;
    std::string rule = read_number_field(text, f, v);
    if (rule.empty() && v != std::floor(v)) rule = number_field_rule(f) + " (a whole number)";
    if (rule.empty()) value = static_cast<int>(v);
    return rule;
}

// "25,75" into indices of percentile_fractions; false for a percent the
// window does not offer.
bool parse_percentiles(const std::string& text, std::vector<int>& out) {
    std::stringstream ss(text);
    std::string item;
    while (std::getline(ss, item, ',')) {
        int found = -1;
        for (int i = 0; i < static_cast<int>(percentile_fractions.size()); ++i)
            if (item == percentile_text(percentile_fractions[static_cast<std::size_t>(i)])) found = i;
        if (found < 0) return false;
        out.push_back(found);
    }
    return true;
}

}  // namespace

int cmd_histogram(int argc, char** argv) {
    targs a;
    if (!parse_args(argc, argv, 2,
                    {"--channel", "--from", "--to", "--lo", "--hi", "--bins", "--method", "--kernel",
                     "--kernel-width", "--percentiles", "--figure", "--size", "--dpi"},
                    {"--stats"}, a) ||
        a.positional.size() != 1)
        return usage_error(nullptr);
    long long channo = 0;
    if (!read_channel_option(a, channo)) return exit_usage;
    double from = 0, to = 0;
    if (!read_span_options(a, from, to)) return usage_error("--from and --to take seconds");
    if (a.option("--from") && a.option("--to") && from > to) return usage_error("--from lies after --to");
    double lo = 0, hi = 0;
    if ((a.option("--lo") && !parse_number(*a.option("--lo"), lo)) ||
        (a.option("--hi") && !parse_number(*a.option("--hi"), hi)))
        return usage_error("--lo and --hi take values in the channel's unit");
    // The window's defaults ("Histograms" in the settings file).
    int nbins = 1000, winwidth = 10;
    tkernel kernel = tkernel::none;
    tbinning method = tbinning::pairs;
    if (auto b = a.option("--bins")) {
        const std::string rule = read_count(*b, histogram_nbins_field, nbins);
        if (!rule.empty()) return usage_error("--bins: " + rule);
    }
    if (auto w = a.option("--kernel-width")) {
        const std::string rule = read_count(*w, histogram_kernelwidth_field, winwidth);
        if (!rule.empty()) return usage_error("--kernel-width: " + rule);
    }
    if (auto k = a.option("--kernel")) {
        const char* const names[] = {"none", "rectangle", "triangle", "parabolic", "hanning"};
        int found = -1;
        for (int i = 0; i < 5; ++i)
            if (*k == names[i]) found = i;
        if (found < 0) return usage_error("--kernel is none, rectangle, triangle, parabolic or hanning");
        kernel = static_cast<tkernel>(found);
    }
    if (auto m = a.option("--method")) {
        if (*m == "nearest") method = tbinning::nearest;
        else if (*m == "two-nearest") method = tbinning::two_nearest;
        else if (*m == "pairs") method = tbinning::pairs;
        else return usage_error("--method is nearest, two-nearest or pairs");
    }
    std::vector<int> pct = {3, 5};  // 25 % and 75 %, as the window ticks them
    if (auto p = a.option("--percentiles")) {
        pct.clear();
        if (!parse_percentiles(*p, pct))
            return usage_error("--percentiles takes some of 1,5,10,25,50,75,90,95,99");
    }

    tfigureoptions fig;
    if (!read_figure_options(a, histogram_usage, fig)) return exit_usage;

    tclidocument d(true);
    if (!d.open(a.positional)) return d.prompter.refused() ? exit_usage : exit_input;
    if (!has_sampled_channel(d.doc, channo)) return exit_input;
    const tchannel& ch = d.doc.channel(static_cast<int>(channo));
    const double L = a.option("--from") ? from : d.doc.first_time();
    const double R = a.option("--to") ? to : d.doc.last_time();
    // The window's value axis is the channel's.
    if (!a.option("--lo")) lo = ch.axis.GetLoValue();
    if (!a.option("--hi")) hi = ch.axis.GetHiValue();
    if (!(hi > lo)) return usage_error("the value range is empty: --hi must lie above --lo");

    // The window's computation: the bins from a slice of the channel's
    // store, then the kernel, then the statistics.
    const thistspan sp = value_histogram_span(ch, L, R);
    std::vector<double> bins =
        value_histogram(ch.samples_slice(sp.first, sp.last), ch.sampfreq, lo, hi, nbins, method);
    if (kernel != tkernel::none) bins = smooth_bins(bins, kernel, winwidth);

    const double binwidth = bin_width(lo, hi, static_cast<int>(bins.size()));
    const double kernelwidth = kernel == tkernel::none ? std::nan("") : winwidth * binwidth;
    const thiststats stats = bin_statistics(bins, lo, hi);
    if (!write_figure_option(fig, [&] {
            // The window's statistics box with its percentiles.
            thistshow show;
            show.percentiles.fill(false);
            for (int p : pct) show.percentiles[static_cast<std::size_t>(p)] = true;
            return histogram_figure(figure_title_of(a.positional[0], static_cast<int>(channo), ch.name(), L, R),
                                    bins, lo, hi, ch.yunit(),
                                    histogram_box_lines(show, stats, binwidth, kernelwidth, ch.yunit(), ch.name()));
        }))
        return exit_input;

    std::string out;
    if (a.has_flag("--stats")) {
        thistlogchannel c;
        c.name = ch.name();
        c.unit = ch.yunit();
        c.from = L;
        c.to = R;
        c.binwidth = binwidth;
        c.kernelwidth = kernelwidth;
        c.stats = stats;
        const thistlog log = histogram_stats_log({c}, pct, d.doc.prefs.nSignificantDigits);
        out = log.heading + "\n" + log.line + "\n";
    } else {
        out = "x [" + ch.yunit() + "]\tt [s]\n";
        const double n1 = static_cast<double>(bins.size()) - 1;
        char buf[64];
        for (std::size_t i = 0; i < bins.size(); ++i) {
            std::snprintf(buf, sizeof buf, "%.10g\t%.10g\n", lo + static_cast<double>(i) / n1 * (hi - lo), bins[i]);
            out += buf;
        }
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    return exit_ok;
}

}  // namespace tessal::cli
