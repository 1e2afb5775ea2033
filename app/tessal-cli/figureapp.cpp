// The figure side of tessal-cli: the offscreen application and writing.
#include "figureapp.h"

#include <QGuiApplication>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "commands.h"
#include "engine/dsp/numformat.h"

namespace tessal::cli {

bool ensure_figure_app() {
    if (QGuiApplication::instance()) return true;
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "tessal-cli";
    static char* argv[] = {name, nullptr};
    // Left to the end of the process: destroying it among the other
    // statics at exit crashes, and nothing needs it gone.
    new QGuiApplication(argc, argv);
    return QGuiApplication::instance() != nullptr;
}

bool write_cli_figure(const tfigure& f, const std::string& path, const QSize& size, int dpi) {
    if (!ensure_figure_app()) {
        std::fprintf(stderr, "tessal-cli: cannot start drawing (Qt) for %s\n", path.c_str());
        return false;
    }
    std::string error;
    if (!write_figure(f, path, size, dpi, error)) {
        for (char& c : error)
            if (c == '\n') c = ' ';
        std::fprintf(stderr, "tessal-cli: cannot write %s: %s\n", path.c_str(), terminal_text(error).c_str());
        return false;
    }
    return true;
}

bool parse_dpi(const std::string* text, int& dpi) {
    dpi = 96;
    if (!text) return true;
    double v = 0;
    if (!parse_number(*text, v) || v != std::floor(v) || v < figure_min_dpi || v > figure_max_dpi) return false;
    dpi = static_cast<int>(v);
    return true;
}

bool read_figure_options(const targs& a, const char* usage, tfigureoptions& out) {
    auto refuse = [usage](const char* why) {
        usage_error(usage, why);
        return false;
    };
    out = {};
    out.path = a.option("--figure");
    if (!out.path && (a.option("--size") || a.option("--dpi")))
        return refuse("--size and --dpi go with --figure");
    if (!out.path) return true;
    if (figure_format(*out.path).empty())
        return refuse("--figure takes a .png, .svg or .pdf file");
    if (auto s = a.option("--size")) {
        // WxH in whole pixels, e.g. 800x500.
        const auto x = s->find_first_of("xX");
        double w = 0, h = 0;
        const bool ok = x != std::string::npos && parse_number(s->substr(0, x), w) &&
                        parse_number(s->substr(x + 1), h) && w == std::floor(w) && h == std::floor(h) &&
                        w >= figure_min_size && h >= figure_min_size && w <= figure_max_size &&
                        h <= figure_max_size;
        if (!ok)
            return refuse("--size takes WIDTHxHEIGHT in whole pixels from 50 to 20000, e.g. 800x500");
        out.size = QSize(static_cast<int>(w), static_cast<int>(h));
    }
    const auto d = a.option("--dpi");
    if (!parse_dpi(d ? &*d : nullptr, out.dpi)) return refuse("--dpi takes 36 to 1200");
    const double k = out.dpi / 96.0;
    if (figure_format(*out.path) == "png" && out.size.width() * k * out.size.height() * k > 4e8)
        return refuse("--size and --dpi give a picture of more than 400 million pixels");
    if (output_is_input(*out.path, a.positional)) return false;
    return true;
}

bool write_figure_option(const tfigureoptions& o, const std::function<tfigure()>& make) {
    if (!o.path) return true;
    if (!ensure_figure_app()) {
        std::fprintf(stderr, "tessal-cli: cannot start drawing (Qt) for %s\n", o.path->c_str());
        return false;
    }
    return write_cli_figure(make(), *o.path, o.size, o.dpi);
}

}  // namespace tessal::cli
