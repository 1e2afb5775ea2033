// tessal-cli spectrogram FILE [--channel N] [--from S --to S] [--width PX
// --height PX] [--bandwidth HZ] [--window NAME] [--fmax HZ] [--colour MODE]
// [--tilt DB] [--range LO,HI] [--dpi N] [--bare] -o OUT.png|svg|pdf |
// --matrix OUT.tsv: the strip the spectrogram window shows for the channel
// over S..S (default the whole file) as the figure the window exports (a
// title, the time and frequency axes, the colour scale; the strip --width
// by --height pixels), with --bare as the strip's pixels alone (PNG), or
// as the levels its pixels show (tilted, relative to the reference, within
// the level range, -100..1 dB by default).
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <thread>

#include "commands.h"
#include "engine/analysis/spectrogram.h"
#include "engine/core/tchannel.h"
#include "engine/dsp/numformat.h"
#include "engine/formats/safereplace.h"
#include "figureapp.h"
#include "gui/figure/plotdrawing.h"
#include "pngwrite.h"

namespace tessal::cli {

namespace {

const char* const spectrogram_usage =
    "usage: tessal-cli spectrogram FILE [--channel N] [--from S --to S] [--width PX --height PX]\n"
    "         [--bandwidth HZ] [--window NAME] [--fmax HZ] [--colour MODE] [--tilt DB]\n"
    "         [--relative 1|fsd|reference] [--range LO,HI] [--dpi N] [--bare]\n"
    "         (-o OUT.png|OUT.svg|OUT.pdf | --matrix OUT.tsv)\n"
    "       MODE is grey, inverted-grey, colour, inverted-colour or channel\n";

bool parse_channel(const targs& a, long long& channo) {
    channo = 0;
    try {
        if (auto c = a.option("--channel")) channo = parse_int(*c);
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

const tchannel* pick_channel(const tdocument& doc, long long channo) {
    if (!has_channel(doc, channo)) return nullptr;
    return &doc.channel(static_cast<int>(channo));
}

}  // namespace

int cmd_spectrogram(int argc, char** argv) {
    targs a;
    if (!parse_args(argc, argv, 2,
                    {"--channel", "--from", "--to", "--width", "--height", "--bandwidth", "--window",
                     "--fmax", "--colour", "--color", "--tilt", "--relative", "--range", "-o",
                     "--matrix", "--dpi"},
                    {"--bare"}, a) ||
        a.positional.size() != 1)
        return usage_error(spectrogram_usage, nullptr);
    const auto png = a.option("-o");
    const auto matrix = a.option("--matrix");
    if (!png && !matrix) return usage_error(spectrogram_usage, "give -o OUT.png or --matrix OUT.tsv");
    const bool bare = a.has_flag("--bare");
    if (png && bare && figure_format(*png) != "png" && figure_format(*png) != "")
        return usage_error(spectrogram_usage, "--bare writes the strip as a PNG picture");
    if (png && !bare && figure_format(*png).empty())
        return usage_error(spectrogram_usage, "-o takes a .png, .svg or .pdf file (or --bare for the strip)");
    int dpi = 96;
    {
        const auto d = a.option("--dpi");
        if (!parse_dpi(d ? &*d : nullptr, dpi)) return usage_error(spectrogram_usage, "--dpi takes 36 to 1200");
    }
    if ((png && output_is_input(*png, a.positional)) ||
        (matrix && output_is_input(text_output(*matrix), a.positional)))
        return exit_usage;
    long long channo = 0;
    if (!parse_channel(a, channo)) return usage_error(spectrogram_usage, "--channel takes a number");
    double from = 0, to = 0;
    if (!read_span_options(a, from, to))
        return usage_error(spectrogram_usage, "--from and --to take seconds");
    double width = 800, height = 256, fmax = 10000, tilt = 6;
    if ((a.option("--width") && !parse_number(*a.option("--width"), width)) ||
        (a.option("--height") && !parse_number(*a.option("--height"), height)) || width < 2 ||
        height < 2 || width > 20000 || height > 20000 || width != std::floor(width) ||
        height != std::floor(height))
        return usage_error(spectrogram_usage, "--width and --height take whole pixels, 2 to 20000");
    if (a.option("--fmax") && !(parse_number(*a.option("--fmax"), fmax) && fmax > 0))
        return usage_error(spectrogram_usage, "--fmax takes a positive frequency in Hz");
    if (a.option("--tilt") && !parse_number(*a.option("--tilt"), tilt))
        return usage_error(spectrogram_usage, "--tilt takes dB per octave");
    tspegpicture p;
    if (auto r = a.option("--range")) {
        const std::size_t comma = r->find(',');
        if (comma == std::string::npos || !parse_number(r->substr(0, comma), p.lo) ||
            !parse_number(r->substr(comma + 1), p.hi) || !(p.hi > p.lo))
            return usage_error(spectrogram_usage, "--range takes the levels LO,HI in dB, LO below HI");
    }
    tspectrogramsettings s;
    if (auto w = a.option("--window"); w && !spectrum_window_from_name(*w, s.fftwin))
        return usage_error(spectrogram_usage,
                           "--window is one of rectangular, Bartlett, Hamming, Hanning, Blackman");
    if (auto b = a.option("--bandwidth"); b && !(parse_number(*b, s.bw) && s.bw > 0))
        return usage_error(spectrogram_usage, "--bandwidth takes a positive frequency in Hz");
    int mode = 0;
    auto colour = a.option("--colour");
    if (!colour) colour = a.option("--color");
    if (colour && !spectrogram_colormode_from_name(*colour, mode))
        return usage_error(spectrogram_usage,
                           "--colour is grey, inverted-grey, colour, inverted-colour or channel");
    int relative = 0;
    if (auto r = a.option("--relative")) {
        if (*r == "1") relative = 0;
        else if (*r == "fsd") relative = 1;
        else if (*r == "reference") relative = 2;
        else return usage_error(spectrogram_usage, "--relative is 1, fsd or reference");
    }

    tclidocument d(true);
    if (!d.open(a.positional)) return d.prompter.refused() ? exit_usage : exit_input;
    const tchannel* ch = pick_channel(d.doc, channo);
    if (!ch) return exit_input;
    double t1 = a.option("--from") ? from : d.doc.first_time();
    double t2 = a.option("--to") ? to : d.doc.last_time();
    if (t2 < t1) std::swap(t1, t2);
    if (!(t2 > t1)) return usage_error(spectrogram_usage, "the time range is empty");
    if (spectrogram_frame_length(s, ch->sampfreq) < 16) {
        std::fprintf(stderr,
                     "tessal-cli: the bandwidth gives no analysis window of 16 to %lld samples at this "
                     "sampling rate\n",
                     spectrogram_max_frame);
        return exit_usage;
    }
    const int W = static_cast<int>(width), H = static_cast<int>(height);
    std::vector<double> times(static_cast<std::size_t>(W)), rows(static_cast<std::size_t>(H));
    for (int x = 0; x < W; ++x) times[static_cast<std::size_t>(x)] = t1 + x * (t2 - t1) / (W - 1);
    for (int y = 0; y < H; ++y) rows[static_cast<std::size_t>(y)] = y * fmax / (H - 1);
    tspectrogramstrip strip;
    const int threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    compute_spectrogram(sample_view(*ch), s, times, rows, strip, threads);
    p.R = level_reference(relative, ch->fsd(), ch->dbreference);
    p.tilt = tilt;
    p.colormode = mode;
    p.channel = ch->color;

    if (matrix) {
        const std::string name = text_output(*matrix);
        try {
            tsafefile f(name, true, std::random_device{}() % 10000, tfileops::system());
            bool ok = true;
            std::string buf = "t [s]\tf [Hz]\tLevel [dB]\n";
            char line[96];
            for (int x = 0; x < W && ok; ++x) {
                for (int y = 0; y < H; ++y) {
                    const double f0 = rows[static_cast<std::size_t>(y)];
                    std::snprintf(line, sizeof line, "%.9g\t%.9g\t%.4f\n",
                                  times[static_cast<std::size_t>(x)], f0,
                                  spectrogram_shown_level(p, f0, strip.at(x, y)));
                    buf += line;
                }
                if (buf.size() > (1 << 16) || x == W - 1) {
                    ok = f.write(buf.data(), buf.size()) == buf.size();
                    buf.clear();
                }
            }
            if (!f.close() || !ok) f.fail("The levels could not be written completely");
            f.replace();
        } catch (const std::exception& e) {
            std::fprintf(stderr, "tessal-cli: cannot write %s: %s\n", matrix->c_str(),
                         terminal_text(e.what()).c_str());
            return exit_input;
        }
    }
    if (png && !bare) {
        if (!ensure_figure_app()) return exit_input;
        std::vector<std::uint32_t> pixels;
        spectrogram_picture(strip, rows, p, pixels);
        QImage img(W, H, QImage::Format_RGB32);
        for (int y = 0; y < H; ++y)
            std::copy(pixels.begin() + static_cast<long>(y) * W, pixels.begin() + static_cast<long>(y + 1) * W,
                      reinterpret_cast<std::uint32_t*>(img.scanLine(y)));
        const int mode = p.colormode;
        const TColor chc = p.channel;
        const tfigure f = strip_figure(
            figure_title_of(a.positional[0], static_cast<int>(channo), ch->name(), t1, t2), t1, t2,
            {0, fmax, false, false, "Frequency [Hz]"}, img,
            tfigurescale{p.lo, p.hi,
                         relative == 0   ? "Level [dB]"
                         : relative == 1 ? "Level [dB re FSD]"
                                         : "Level [dB re reference]",
                         [mode, chc](double v) { return static_cast<QRgb>(spectrogram_color(mode, v, chc)); }});
        if (!write_cli_figure(f, *png, figure_size_around(f, QSize(W, H)), dpi)) return exit_input;
    } else if (png) {
        std::vector<std::uint32_t> pixels;
        spectrogram_picture(strip, rows, p, pixels);
        std::string err;
        if (!write_png(*png, W, H, pixels, err)) {
            std::fprintf(stderr, "tessal-cli: cannot write %s: %s\n", png->c_str(), err.c_str());
            return exit_input;
        }
    }
    return exit_ok;
}

}  // namespace tessal::cli
