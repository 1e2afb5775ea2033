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

std::string figure_title(const std::string& file, int channo, const std::string& channame, double t1,
                         double t2) {
    std::string base = file;
    if (const auto slash = base.find_last_of('/'); slash != std::string::npos) base = base.substr(slash + 1);
    std::string t = base + ", channel " + std::to_string(channo);
    if (!channame.empty()) t += " (" + channame + ")";
    char span[96];
    std::snprintf(span, sizeof span, ", %.3f-%.3f s", t1, t2);
    return t + span;
}

}  // namespace tessal::cli
