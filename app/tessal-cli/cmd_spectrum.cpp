// tessal-cli spectrum FILE [--channel N] [--at T | --ltas [--from S --to S]]
// [--window NAME] [--bandwidth HZ] [--relative 1|fsd|reference]
// [--fcp LO HI TLO THI] [--bands LO-HI,...]: the lines "Log spectrum" adds
// to the data log (its heading, then one line per bin) for the frame at T
// (default 0) or the long-term average spectrum over S..S (default the
// whole file); with --fcp or --bands (LTAS only) the heading and line of
// "Log meas." follow. --fcp takes the FCP range LO..HI and the trend line
// ends TLO..THI in Hz. With --figure, --lpc-envelope draws the window's
// "LPC envelope" of the same frame or span over the spectrum.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sstream>

#include "commands.h"
#include "figureapp.h"
#include "gui/figure/plotdrawing.h"
#include "engine/analysis/spectrum.h"
#include "engine/core/tchannel.h"
#include "engine/dsp/numformat.h"
#include "engine/tools/lpcenvelope.h"

namespace tessal::cli {

namespace {

const char* const spectrum_usage =
    "usage: tessal-cli spectrum FILE [--channel N] [--at T | --ltas [--from S --to S]]\n"
    "         [--window NAME] [--bandwidth HZ] [--relative 1|fsd|reference]\n"
    "         [--fcp LO HI TLO THI] [--bands LO-HI,...]\n"
    "         [--figure OUT.png|svg|pdf [--size WxH] [--dpi N] [--lpc-envelope]]\n";

int usage_error(const char* why) { return cli::usage_error(spectrum_usage, why); }

bool parse_bands(const std::string& text, std::vector<tfreqband>& bands) {
    std::stringstream ss(text);
    std::string item;
    while (std::getline(ss, item, ',')) {
        const auto dash = item.find('-', 1);  // not a leading minus
        if (dash == std::string::npos) return false;
        tfreqband b;
        if (!parse_number(item.substr(0, dash), b.lo) || !parse_number(item.substr(dash + 1), b.hi))
            return false;
        bands.push_back(b);
    }
    return !bands.empty();
}

}  // namespace

int cmd_spectrum(int argc, char** argv) {
    // --fcp takes four values: take it out before the common parsing.
    std::vector<char*> rest(argv, argv + argc);
    std::vector<std::string> fcpargs;
    for (std::size_t i = 2; i < rest.size(); ++i)
        if (std::strcmp(rest[i], "--fcp") == 0) {
            if (i + 4 >= rest.size())
                return usage_error("--fcp takes four frequencies: LO HI TLO THI");
            fcpargs.assign(rest.begin() + static_cast<long>(i) + 1, rest.begin() + static_cast<long>(i) + 5);
            rest.erase(rest.begin() + static_cast<long>(i), rest.begin() + static_cast<long>(i) + 5);
            break;
        }
    targs a;
    if (!parse_args(static_cast<int>(rest.size()), rest.data(), 2,
                    {"--channel", "--at", "--from", "--to", "--window", "--bandwidth", "--relative",
                     "--bands", "--figure", "--size", "--dpi"},
                    {"--ltas", "--lpc-envelope"}, a) ||
        a.positional.size() != 1)
        return usage_error(nullptr);
    const bool ltas = a.has_flag("--ltas");
    if (ltas && a.option("--at")) return usage_error("--at and --ltas exclude each other");
    if (!ltas && (a.option("--from") || a.option("--to")))
        return usage_error("--from and --to go with --ltas");

    long long channo = 0;
    try {
        if (auto c = a.option("--channel")) channo = parse_int(*c);
    } catch (const std::exception& e) {
        return usage_error(e.what());
    }
    double at = 0, from = 0, to = 0;
    if ((a.option("--at") && !parse_seconds(*a.option("--at"), at)) || !read_span_options(a, from, to))
        return usage_error("--at, --from and --to take seconds");

    tspectrumsettings s;
    if (auto w = a.option("--window"); w && !spectrum_window_from_name(*w, s.fftwin))
        return usage_error("--window is one of rectangular, Bartlett, Hamming, Hanning, Blackman");
    if (auto b = a.option("--bandwidth"); b && !(parse_number(*b, s.bw) && s.bw > 0))
        return usage_error("--bandwidth takes a positive frequency in Hz");
    int relative = 0;
    if (auto r = a.option("--relative")) {
        if (*r == "1") relative = 0;
        else if (*r == "fsd") relative = 1;
        else if (*r == "reference") relative = 2;
        else return usage_error("--relative is 1, fsd or reference");
    }
    tfcpsettings fcp;
    const bool showfcp = !fcpargs.empty();
    if (showfcp && !(parse_number(fcpargs[0], fcp.lofcpf) && parse_number(fcpargs[1], fcp.hifcpf) &&
                     parse_number(fcpargs[2], fcp.lotrendlinef) &&
                     parse_number(fcpargs[3], fcp.hitrendlinef)))
        return usage_error("--fcp takes four frequencies: LO HI TLO THI");
    std::vector<tfreqband> bands;
    const bool showbands = a.option("--bands").has_value();
    if (showbands && !parse_bands(*a.option("--bands"), bands))
        return usage_error("--bands takes LO-HI pairs in Hz separated by commas, e.g. 0-2000,2000-5000");
    if ((showfcp || showbands) && !ltas) return usage_error("--fcp and --bands measure an LTAS: add --ltas");

    tfigureoptions fig;
    if (!read_figure_options(a, spectrum_usage, fig)) return exit_usage;
    const bool envelope = a.has_flag("--lpc-envelope");
    if (envelope && !a.option("--figure")) return usage_error("--lpc-envelope goes with --figure");

    tclidocument d(true);
    if (!d.open(a.positional)) return d.prompter.refused() ? exit_usage : exit_input;
    tdocument& doc = d.doc;
    if (!has_channel(doc, channo)) return exit_input;
    const tchannel& ch = doc.channel(static_cast<int>(channo));
    if (spectrum_frame_length(s, ch.sampfreq) < 2) {
        std::fputs("tessal-cli: the bandwidth gives no analysis window at this sampling rate\n", stderr);
        return exit_usage;
    }
    const double R = level_reference(relative, ch.fsd(), ch.dbreference);
    tspectrumworkspace ws;
    tspectrum sp;
    double t1 = at, t2 = at;
    if (ltas) {
        t1 = a.option("--from") ? from : doc.first_time();
        t2 = a.option("--to") ? to : doc.last_time();
        if (t2 < t1) std::swap(t1, t2);
        ws.ltas(sample_view(ch), s, t1, t2, sp);
    } else {
        ws.frame(sample_view(ch), s, at, sp);
    }
    if (!write_figure_option(fig, [&] {
            // The frame's own span for a spectrum at T; the window's level
            // axis, moved up in steps of 10 dB to the highest level.
            double f1 = t1, f2 = t2;
            if (!ltas) {
                f1 = at - s.fwinlength() * s.winpos / 2.0;
                f2 = f1 + s.fwinlength();
            }
            double top = -1e300;
            for (std::size_t k = 1; k + 1 < sp.M / 2 + 1; ++k) {
                const double L = spectrum_level(sp, static_cast<long long>(k), R);
                if (std::isfinite(L)) top = std::max(top, L);
            }
            const double hi = top > -1e299 ? std::max(20.0, std::ceil(top / 10) * 10) : 20;
            // The window's envelope: the frame at T (t1 == t2) or the span.
            tlevelcurve curve;
            if (envelope) {
                auto e = std::make_shared<tlpcenvelope>(lpc_envelope(sample_view(ch), t1, t2, {}, s));
                curve = {[e](double f) { return e->level_db(f); }, e->top()};
            }
            return spectrum_figure(figure_title_of(a.positional[0], static_cast<int>(channo), ch.name(), f1, f2),
                                   sp, R, 0, ch.sampfreq / 2, hi - 100, hi,
                                   relative == 0 ? "Level [dB]"
                                   : relative == 1 ? "Level [dB re FSD]"
                                                   : "Level [dB re reference]",
                                   curve);
        }))
        return exit_input;
    const tspectrumlog log = spectrum_log(sp, R, doc.prefs);
    std::string out = log.heading + "\n";
    for (const std::string& l : log.lines) out += l + "\n";
    if (showfcp || showbands) {
        tspectrummeas m;
        m.chno = static_cast<int>(channo);
        m.filename = ch.filename;
        if (showfcp) m.trend = compute_fcp(sp, fcp);
        m.bands = bands;
        for (const tfreqband& b : bands) m.banddata.push_back(band_level(sp, b.lo, b.hi));
        const tspectrumlog ml = measurement_log({m}, showfcp, showbands, t1, t2, doc.prefs);
        out += ml.heading + "\n" + ml.lines.front() + "\n";
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    return exit_ok;
}

}  // namespace tessal::cli
