// The title line of an exported figure.
#include "gui/figure/figuretitle.h"

#include <cmath>
#include <cstdio>

namespace tessal {

std::string figure_title_of(const std::string& file, int channo, const std::string& channame, double t1,
                            double t2) {
    std::string base = file;
    if (const auto slash = base.find_last_of("/\\"); slash != std::string::npos) base = base.substr(slash + 1);
    std::string channel;
    if (channo >= 0) {
        channel = "channel " + std::to_string(channo);
        // A name the file's reader made up ("speech.wav Ch 0") only repeats
        // the file and the number.
        const bool madeup = channame == base + " Ch " + std::to_string(channo);
        if (!channame.empty() && !madeup) channel += " \"" + channame + "\"";
    } else {
        channel = channame;  // already worded, e.g. two channels of an xy-plot
    }
    std::string span;
    if (std::isfinite(t1) && std::isfinite(t2) && t2 >= t1) {
        char buf[96];
        if (t2 == t1) std::snprintf(buf, sizeof buf, "at %.3f s", t1);
        else std::snprintf(buf, sizeof buf, "%.3f-%.3f s", t1, t2);
        span = buf;
    }
    std::string t;
    for (const std::string* part : {&base, &channel, &span}) {
        if (part->empty()) continue;
        if (!t.empty()) t += " - ";
        t += *part;
    }
    return t;
}

}  // namespace tessal
