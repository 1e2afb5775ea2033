// tessal-cli f0 FILE [--channel N] [--algorithm N] [--min HZ --max HZ]
// [--step S] [--from S --to S] [--pitchtier OUT]: the F0 step's contour of a
// channel, one "time<TAB>F0" line per time step (0 where unvoiced). The path
// tracker (algorithm 4, the default) prints its own frames; the other
// algorithms' contours are read at the middle of each step. With
// --pitchtier the voiced frames are also written as a Praat PitchTier text
// file.
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "commands.h"
#include "engine/core/tchannel.h"
#include "engine/formats/safereplace.h"
#include "engine/process/f0step.h"

namespace tessal::cli {

namespace {

const char* const f0_usage =
    "usage: tessal-cli f0 FILE [--channel N] [--algorithm N] [--min HZ --max HZ] [--step S]\n"
    "         [--from S --to S] [--pitchtier OUT]\n";

int usage_error(const std::string& why) { return cli::usage_error(f0_usage, why.empty() ? nullptr : why.c_str()); }

// A frame's time in the file's seconds and its F0 (0 unvoiced).
struct tframe {
    double t, f;
};

std::string num(double v) {
    char b[40];
    std::snprintf(b, sizeof b, "%.10g", v);
    return b;
}

// Praat's text form of a PitchTier: its span and the voiced frames.
std::string pitchtier_text(double xmin, double xmax, const std::vector<tframe>& frames) {
    std::size_t n = 0;
    for (const tframe& f : frames) n += f.f > 0;
    std::string s = "File type = \"ooTextFile\"\nObject class = \"PitchTier\"\n\n";
    s += "xmin = " + num(xmin) + " \nxmax = " + num(xmax) + " \npoints: size = " + std::to_string(n) + " \n";
    std::size_t i = 0;
    for (const tframe& f : frames) {
        if (!(f.f > 0)) continue;
        s += "points [" + std::to_string(++i) + "]:\n    number = " + num(f.t) + " \n    value = " + num(f.f) + " \n";
    }
    return s;
}

}  // namespace

int cmd_f0(int argc, char** argv) {
    targs a;
    if (!parse_args(argc, argv, 2,
                    {"--channel", "--algorithm", "--min", "--max", "--step", "--from", "--to", "--pitchtier"}, {}, a) ||
        a.positional.size() != 1)
        return usage_error("");
    long long channo = 0;
    if (!read_channel_option(a, channo)) return exit_usage;
    tf0 step;
    step.algorithm = 4;
    if (auto v = a.option("--algorithm")) {
        double alg = 0;
        if (!parse_number(*v, alg) || alg != std::floor(alg) || alg < 0 || alg > 4)
            return usage_error("--algorithm is 0 (peak picking), 1 (zero crossings), 2 (multiple peak picking), "
                               "3 (multiple peak picking, old) or 4 (autocorrelation with path tracking)");
        step.algorithm = static_cast<int>(alg);
    }
    if ((a.option("--min") && !(parse_number(*a.option("--min"), step.minf0) && step.minf0 > 0)) ||
        (a.option("--max") && !(parse_number(*a.option("--max"), step.maxf0) && step.maxf0 > 0)))
        return usage_error("--min and --max take frequencies in Hz above 0");
    if (!(step.minf0 < step.maxf0)) return usage_error("--min must lie below --max");
    if (auto v = a.option("--step")) {
        if (!parse_seconds(*v, step.timestep) || !(step.timestep >= 0.0001 && step.timestep <= 1))
            return usage_error("--step takes seconds from 0.0001 to 1");
    }
    tsamplespan span;
    if (!read_sample_span(a, f0_usage, span)) return exit_usage;
    const auto tier = a.option("--pitchtier");
    if (tier && output_is_input(text_output(*tier), a.positional)) return exit_usage;

    tclidocument d(true);
    if (!d.open(a.positional)) return d.prompter.refused() ? exit_usage : exit_input;
    if (!has_sampled_channel(d.doc, channo)) return exit_input;
    const tchannel& ch = d.doc.channel(static_cast<int>(channo));
    const double fs = ch.sampfreq;
    const auto n = static_cast<std::int64_t>(ch.samples().size());
    const std::int64_t i0 = span.first(fs, n);
    const std::int64_t i1 = span.last(fs, n);
    const tworksig x(ch.samples_slice(i0, i1));
    const double t0 = static_cast<double>(i0) / fs;

    std::vector<tframe> frames;
    try {
        if (step.algorithm == 4) {
            if (!(step.maxf0 < fs / 2))
                return usage_error("--max must lie below half the sampling rate (" + num(fs / 2) + " Hz)");
            const tf0acframes fr = step.ac_frames(x, fs);
            for (std::size_t i = 0; i < fr.f0.size(); ++i) frames.push_back({t0 + fr.time(i), fr.f0[i]});
        } else {
            // The step's contour, read at the middle of each time step.
            step.inarr = {x};
            step.props.assign(1, default_channelproperties(fs));
            tprocenv env(d.doc, d.prompter);
            step.run_process(env);
            const tworksig& y = step.outarr.at(0);
            const double rate = step.props.at(0).sampfreq;
            const double dur = static_cast<double>(i1 - i0) / fs;
            for (double t = step.timestep / 2; t < dur; t += step.timestep) {
                const auto k = static_cast<std::int64_t>(std::floor(t * rate));
                float v = 0;
                if (k >= 0 && static_cast<std::size_t>(k) < y.size()) y.read(k, 1, &v);
                frames.push_back({t0 + t, std::isfinite(v) && v > 0 ? v : 0.0});
            }
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tessal-cli: %s\n", terminal_text(e.what()).c_str());
        return exit_usage;
    }

    std::string out;
    char line[64];
    for (const tframe& f : frames) {
        std::snprintf(line, sizeof line, "%.6f\t%.6g\n", f.t, f.f);
        out += line;
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fflush(stdout);  // before a PitchTier that goes to standard output too

    if (tier) {
        const std::string text = pitchtier_text(t0, static_cast<double>(i1) / fs, frames);
        try {
            tsafefile f(text_output(*tier), true, std::random_device{}() % 10000, tfileops::system());
            const bool ok = f.write(text.data(), text.size()) == text.size();
            if (!f.close() || !ok) f.fail("The PitchTier could not be written completely");
            f.replace();
        } catch (const std::exception& e) {
            std::fprintf(stderr, "tessal-cli: cannot write %s: %s\n", tier->c_str(), terminal_text(e.what()).c_str());
            return exit_input;
        }
    }
    return exit_ok;
}

}  // namespace tessal::cli
