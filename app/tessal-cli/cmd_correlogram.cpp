// tessal-cli correlogram FILE (--trace T.ctr | --auto-trace) [--channel N]
// [--window MS | --factor X] [--vertical frequency|time] [--skip N]
// [--no-keep-rate] [--thresholds LO,HI] [--f0 C] [--correlation C]
// [--width C] [--fsd V] -o OUT [--yes] [--figure OUT [--size WxH] [--dpi N]]:
// the correlogram window's "Extract F0/T0" along the trace of a ".ctr" file,
// or along the trace its "Trace from F0" makes over the whole channel, into
// the channels the window writes, and the document saved to OUT; --figure
// also writes the strip with the trace over it.
#include <cmath>
#include <cstdio>

#include "commands.h"
#include "figureapp.h"
#include "engine/analysis/spectrogram.h"
#include "engine/core/tdocument.h"
#include "gui/figure/plotdrawing.h"
#include "engine/dsp/numformat.h"
#include "engine/formats/formatregistry.h"
#include "engine/formats/saveformats.h"
#include "engine/process/tworksig.h"
#include "engine/tools/correlogramchannels.h"
#include "engine/tools/f0trace.h"

namespace tessal::cli {

namespace {

const char* const correlogram_usage =
    "usage: tessal-cli correlogram FILE (--trace T.ctr | --auto-trace) [--channel N]\n"
    "         [--window MS | --factor X]\n"
    "         [--vertical frequency|time] [--skip N] [--no-keep-rate] [--thresholds LO,HI]\n"
    "         [--f0 C] [--correlation C] [--width C] [--fsd V] -o OUT [--yes]\n"
    "         [--figure OUT.png|svg|pdf [--size WxH] [--dpi N]]\n"
    "       C is a channel number, new or none\n";

int usage_error(const char* why) { return cli::usage_error(correlogram_usage, why); }

// An output's target: "new" (a new channel), "none" (not made) or a channel
// number (written over).
bool parse_target(const std::string& s, bool& made, int& chan) {
    if (s == "new") {
        made = true;
        chan = -1;
        return true;
    }
    if (s == "none") {
        made = false;
        return true;
    }
    double v = 0;
    if (!parse_number(s, v) || v < 0 || v != std::floor(v) || v > 1e6) return false;
    made = true;
    chan = static_cast<int>(v);
    return true;
}

// The correlogram window's strip of the channel over the whole file, at its
// opening look (r from 0 to 1, gamma 4, grey, the vertical axis's default
// range lo..hi, its top at --fsd) with the trace over it, one strip pixel
// per plot pixel.
tfigure correlogram_figure(const tdocument& doc, int channo, const tcorrelogramsettings& s, double lo, double hi,
                           const std::vector<TTracePoint>& trace, const std::string& file, const QSize& size) {
    const tchannel& ch = doc.channel(channo);
    const double t1 = doc.first_time(), t2 = doc.last_time();
    const bool freq = s.fvertaxistype == 1;
    const tfigureaxis y{lo, hi, false, false, freq ? "Frequency [Hz]" : "Lag [ms]"};
    const double gamma = 4;
    const int mode = 0;
    const TColor colour = ch.color;
    const tfigurescale scale{0, 1, "Correlation r", [=](double v) {
                                 return static_cast<QRgb>(correlogram_color(mode, v, gamma, colour));
                             }};
    auto over = [trace, freq](QPainter& p, const QSize&, TAxis& x, TAxis& ya) {
        draw_correlogram_trace(
            p, trace, [&](double t) { return static_cast<double>(x.value_to_notclippedpixel(t)); },
            [&](double hz) { return ya.value_to_notclippedpixel(freq ? hz : (hz > 0 ? 1000 / hz : 0)); });
    };
    const std::string title = figure_title_of(file, channo, ch.name(), t1, t2);
    const QSize plot = layout_figure(strip_figure(title, t1, t2, y, QImage(), scale), size).plot.size();
    const int W = std::max(2, plot.width()), H = std::max(2, plot.height());
    std::vector<double> rows(static_cast<std::size_t>(H));
    for (int r = 0; r < H; ++r) rows[static_cast<std::size_t>(r)] = lo + r * (hi - lo) / (H - 1);
    const long long largest = correlogram_largest_lag(s, lo, hi, ch.sampfreq);
    tspectrogramstrip strip;
    strip.width = W;
    strip.height = H;
    strip.levels.assign(static_cast<std::size_t>(W) * static_cast<std::size_t>(H), -1.0f);
    const tsampleview view = sample_view(ch);
    std::vector<float> buffer;
    for (int x = 0; x < W; ++x)
        correlogram_column(view, s, largest, t1 + x * (t2 - t1) / (W - 1), rows,
                           strip.levels.data() + static_cast<std::size_t>(x) * static_cast<std::size_t>(H), buffer);
    std::vector<std::uint32_t> pixels;
    correlogram_picture(strip, 0, 1, gamma, mode, colour, pixels);
    QImage img(W, H, QImage::Format_RGB32);
    for (int r = 0; r < H; ++r)
        std::copy(pixels.begin() + static_cast<long>(r) * W, pixels.begin() + static_cast<long>(r + 1) * W,
                  reinterpret_cast<std::uint32_t*>(img.scanLine(r)));
    return strip_figure(title, t1, t2, y, img, scale, over);
}

}  // namespace

int cmd_correlogram(int argc, char** argv) {
    targs a;
    if (!parse_args(argc, argv, 2,
                    {"--trace", "--channel", "--window", "--factor", "--vertical", "--skip",
                     "--thresholds", "--f0", "--correlation", "--width", "--fsd", "-o", "--figure", "--size",
                     "--dpi"},
                    {"--no-keep-rate", "--auto-trace", "--yes"}, a) ||
        a.positional.size() != 1)
        return usage_error(nullptr);
    const bool autotrace = a.has_flag("--auto-trace");
    if (autotrace && a.option("--trace"))
        return usage_error("--trace and --auto-trace are two traces; give one");
    if (!autotrace && !a.option("--trace"))
        return usage_error("give the trace with --trace T.ctr, or --auto-trace");
    if (!a.option("-o")) return usage_error("give the output with -o OUT");
    long long channo = 0;
    if (!read_channel_option(a, channo)) return exit_usage;
    tcorrelogramsettings s;
    if (a.option("--window") && a.option("--factor"))
        return usage_error("--window and --factor are two window lengths; give one");
    double v = 0;
    if (auto w = a.option("--window")) {
        if (!(parse_number(*w, v) && v > 0)) return usage_error("--window takes a positive length in ms");
        s.ffixedcorrlength = v / 1000;
    }
    if (auto f = a.option("--factor")) {
        if (!(parse_number(*f, v) && v > 0)) return usage_error("--factor takes a positive number");
        s.fwinlengthmode = 1;
        s.fwinlengthfactor = v;
    }
    if (auto t = a.option("--vertical")) {
        if (*t == "time") s.fvertaxistype = 0;
        else if (*t == "frequency") s.fvertaxistype = 1;
        else return usage_error("--vertical is frequency or time");
    }
    tf0settings e;
    if (auto k = a.option("--skip")) {
        if (!(parse_number(*k, v) && v >= 1 && v <= 1e9 && v == std::floor(v)))
            return usage_error("--skip takes a whole number of samples, 1 or more");
        e.skip = static_cast<long long>(v);
    }
    e.keeprate = !a.has_flag("--no-keep-rate");
    if (auto r = a.option("--thresholds")) {
        const std::size_t comma = r->find(',');
        if (comma == std::string::npos || !parse_number(r->substr(0, comma), e.lo) ||
            !parse_number(r->substr(comma + 1), e.hi))
            return usage_error("--thresholds takes the off and on correlations LO,HI");
        e.thresholds = true;
    }
    tf0targets targets;
    if ((a.option("--f0") && !parse_target(*a.option("--f0"), targets.f0t0, targets.f0t0chan)) ||
        (a.option("--correlation") &&
         !parse_target(*a.option("--correlation"), targets.correlation, targets.correlationchan)) ||
        (a.option("--width") && !parse_target(*a.option("--width"), targets.width, targets.widthchan)))
        return usage_error("--f0, --correlation and --width take a channel number, new or none");
    if (!targets.f0t0 && !targets.correlation && !targets.width)
        return usage_error("every output is none: there is nothing to make");
    double lo = 0, fsd = 0;
    correlogram_default_axis(s, lo, fsd);
    if (auto f = a.option("--fsd")) {
        if (!(parse_number(*f, fsd) && fsd > 0)) return usage_error("--fsd takes a positive number");
    }

    tfigureoptions fig;
    if (!read_figure_options(a, correlogram_usage, fig)) return exit_usage;

    const std::string out = *a.option("-o");
    if (output_is_input(out, a.positional)) return exit_usage;
    tclidocument d(a.has_flag("--yes"));
    const tsavefilter* row = d.save_row(out);
    if (!row) return exit_usage;
    std::vector<TTracePoint> trace;
    std::string err;
    if (!autotrace && !read_trace_file(*a.option("--trace"), trace, err)) {
        std::fprintf(stderr, "tessal-cli: %s\n", terminal_text(err).c_str());
        return exit_input;
    }
    if (!d.open(a.positional)) return d.prompter.refused() ? exit_usage : exit_input;
    if (!has_channel(d.doc, channo)) return exit_input;
    for (int c : {targets.f0t0 ? targets.f0t0chan : -1, targets.correlation ? targets.correlationchan : -1,
                  targets.width ? targets.widthchan : -1})
        if (c >= 0 && !has_channel(d.doc, c)) return exit_input;
    if (autotrace) {
        // As the window's "Trace from F0" over the whole channel, with the
        // lag range of the strip's default axis, its top at --fsd.
        const tchannel& ch = d.doc.channel(static_cast<int>(channo));
        tf0acsettings ac;
        const double axislo = lo, axishi = fsd;
        if (!correlogram_f0_range(s, axislo, axishi, ch.sampfreq, ac.minf0, ac.maxf0, err)) {
            std::fprintf(stderr, "tessal-cli: %s\n", terminal_text(err).c_str());
            return exit_input;
        }
        const tworksig x(ch.samples_slice(0, ch.sample_count()));
        trace_from_f0(x, ch.sampfreq, static_cast<double>(ch.xshift) / ch.sampfreq, ac, default_trace_width,
                      trace);
        if (trace.empty()) {
            std::fprintf(stderr, "tessal-cli: no voiced part was found in channel %lld (F0 from %s to %s Hz)\n",
                         channo, float_to_text(ac.minf0).c_str(), float_to_text(ac.maxf0).c_str());
            return exit_input;
        }
    }
    // The figure shows the channel as it was read, before the extraction
    // adds channels.
    if (!write_figure_option(fig, [&] {
            return correlogram_figure(d.doc, static_cast<int>(channo), s, lo, fsd, trace, a.positional[0], fig.size);
        }))
        return exit_input;
    try {
        const tf0channels r = make_f0_channels(d.doc, static_cast<int>(channo), trace, s, e, targets,
                                               fsd, d.prompter);
        if (r.outcome != tf0channels::toutcome::done) return exit_input;  // "No trace set" was said
    } catch (const std::exception& x) {
        std::fprintf(stderr, "tessal-cli: %s\n", terminal_text(x.what()).c_str());
        return exit_input;
    }
    return d.save(out, *row);
}

}  // namespace tessal::cli
