// tessal-cli measure FILE [--channel N | --all] [--from S --to S]
// [--items LIST]: the measurement pass over a selection of the file (the
// whole file unless --from/--to say otherwise) for one channel or all of
// them (the default), printing the two lines Log measurements would add to
// the data log: the tab-separated heading and the values. LIST is a
// comma-separated list of item numbers or keys; without it the items shown
// by default.
#include <cstdio>

#include "commands.h"
#include "engine/core/measurementitems.h"
#include "engine/measurements/measurements.h"
#include "engine/dsp/numformat.h"

namespace tessal::cli {

namespace {
const char* const measure_usage =
    "usage: tessal-cli measure FILE [--channel N | --all] [--from S --to S] [--items LIST]\n";
}

int cmd_measure(int argc, char** argv) {
    targs a;
    if (!parse_args(argc, argv, 2, {"--channel", "--from", "--to", "--items"}, {"--all"}, a) ||
        a.positional.size() != 1 || (a.option("--channel") && a.has_flag("--all"))) {
        std::fputs(measure_usage, stderr);
        return exit_usage;
    }
    long long channo = -1;
    if (!read_channel_option(a, channo)) return exit_usage;
    double from = 0, to = 0;
    if (!read_span_options(a, from, to)) {
        std::fputs("tessal-cli: --from and --to take seconds\n", stderr);
        return exit_usage;
    }
    std::array<bool, nmeasurementitems> shown{};
    for (int i = 0; i < nmeasurementitems; ++i) shown[i] = measurement_shown_by_default(i);
    if (auto items = a.option("--items")) {
        std::string error;
        if (!parse_measurement_items(*items, shown, error)) {
            std::fprintf(stderr, "tessal-cli: %s\n", error.c_str());
            return exit_usage;
        }
    }

    tclidocument d(true);
    if (!d.open(a.positional)) return d.prompter.refused() ? exit_usage : exit_input;
    tdocument& doc = d.doc;
    if ((channo >= 0 || a.option("--channel")) && !has_channel(doc, channo)) return exit_input;
    if (channo >= 0) {
        doc.selectmode = selmono;
        doc.set_thischanno(static_cast<int>(channo));
    } else {
        doc.selectmode = selall;
    }
    doc.showmeasurement = shown;
    const double L = a.option("--from") ? from : doc.first_time();
    const double R = a.option("--to") ? to : doc.last_time();
    doc.theglobal.set_selection(L, R);
    const tlogrow row = measure_log_row_now(doc);
    std::printf("%s\n%s\n", row.heading.c_str(), row.line.c_str());
    return exit_ok;
}

}  // namespace tessal::cli
