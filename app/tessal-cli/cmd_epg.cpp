// tessal-cli epg FILE [--channel N] [--from S --to S] [--methods LIST]: the
// average palate of the channel's electropalatograph frames over the span
// and, per frame, the chosen contact indices (all eleven by default), as
// tab-separated text.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <sstream>

#include "commands.h"
#include "engine/core/tchannel.h"
#include "engine/dsp/numformat.h"
#include "engine/tools/epg.h"

namespace tessal::cli {

namespace {

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// "0,8,Sync": method numbers or names (any case); false naming the bad item.
bool parse_methods(const std::string& text, std::vector<int>& out, std::string& bad) {
    const std::vector<TExtractionMethod> all = make_extraction_methods();
    std::stringstream in(text);
    std::string item;
    while (std::getline(in, item, ',')) {
        int found = -1;
        for (std::size_t m = 0; m < all.size(); ++m)
            if (lower(all[m].methodname) == lower(item) || std::to_string(m) == item)
                found = static_cast<int>(m);
        if (found < 0) {
            bad = item;
            return false;
        }
        out.push_back(found);
    }
    if (out.empty()) bad = text;
    return !out.empty();
}

}  // namespace

int cmd_epg(int argc, char** argv) {
    targs a;
    if (!parse_args(argc, argv, 2, {"--channel", "--from", "--to", "--methods"}, {}, a) ||
        a.positional.size() != 1) {
        std::fputs("usage: tessal-cli epg FILE [--channel N] [--from S --to S] [--methods LIST]\n",
                   stderr);
        return exit_usage;
    }
    long long channo = 0;
    if (!read_channel_option(a, channo)) return exit_usage;
    double from = 0, to = 0;
    if (!read_span_options(a, from, to)) {
        std::fputs("tessal-cli: --from and --to take seconds\n", stderr);
        return exit_usage;
    }
    std::vector<int> methods;
    if (auto m = a.option("--methods")) {
        std::string bad;
        if (!parse_methods(*m, methods, bad)) {
            std::fprintf(stderr,
                         "tessal-cli: no contact index \"%s\" (numbers 0 to 10 or names such as "
                         "\"Back 3 rows\")\n",
                         bad.c_str());
            return exit_usage;
        }
    } else {
        for (int i = 0; i < 11; ++i) methods.push_back(i);
    }
    tclidocument d(true);
    if (!d.open(a.positional)) return d.prompter.refused() ? exit_usage : exit_input;
    if (!has_channel(d.doc, channo)) return exit_input;
    const tchannel& c = d.doc.channel(static_cast<int>(channo));
    if (!c.epgexists || c.epg.empty() || !(c.epgsampfreq > 0)) {
        std::fprintf(stderr, "tessal-cli: channel %lld has no EPG data\n", channo);
        return exit_input;
    }
    if (!a.option("--from") && !a.option("--to")) to = (static_cast<double>(c.epg.size()) - 1) / c.epgsampfreq;
    else if (!a.option("--to")) to = from;
    const std::string out = epg_report(c, from, to, methods);
    std::fwrite(out.data(), 1, out.size(), stdout);
    return exit_ok;
}

}  // namespace tessal::cli
