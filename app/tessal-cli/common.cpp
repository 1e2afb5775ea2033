#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "commands.h"

#include <unistd.h>
#include "engine/dsp/numformat.h"
#include "engine/formats/formatregistry.h"
#include "engine/formats/regularfile.h"
#include "engine/formats/saveformats.h"

namespace tessal::cli {

bool targs::has_flag(const std::string& f) const {
    return std::find(flags.begin(), flags.end(), f) != flags.end();
}

std::optional<std::string> targs::option(const std::string& name) const {
    auto it = options.find(name);
    if (it == options.end()) return std::nullopt;
    return it->second;
}

bool parse_args(int argc, char** argv, int first, const std::vector<std::string>& valued,
                const std::vector<std::string>& flags, targs& out) {
    for (int i = first; i < argc; ++i) {
        std::string a = argv[i];
        if (a.size() > 1 && a[0] == '-' && !(a.size() > 1 && (std::isdigit(a[1]) || a[1] == '.'))) {
            if (std::find(valued.begin(), valued.end(), a) != valued.end()) {
                if (i + 1 >= argc) {
                    std::fprintf(stderr, "tessal-cli: %s needs a value\n", a.c_str());
                    return false;
                }
                out.options[a] = argv[++i];
            } else if (std::find(flags.begin(), flags.end(), a) != flags.end()) {
                out.flags.push_back(a);
            } else {
                std::fprintf(stderr, "tessal-cli: unknown option %s\n", a.c_str());
                return false;
            }
        } else {
            out.positional.push_back(a);
        }
    }
    return true;
}

std::string terminal_text(const std::string& s) {
    std::string t = s;
    std::replace(t.begin(), t.end(), '\r', '\n');
    return t;
}

tclidocument::tclidocument(bool yes) : tbatchdocument(yes) {
    prompter.told = [](const std::string& text, const std::string& caption, bool refused) {
        // A text whose first line is its caption (as a dialog's often is)
        // is printed once, not after the caption again.
        const std::string shown = terminal_text(text);
        const bool opens = shown.compare(0, caption.size(), caption) == 0 &&
                           (shown.size() == caption.size() || shown[caption.size()] == '\n');
        std::fprintf(stderr, "%s%s%s\n%s", opens ? "" : caption.c_str(), opens ? "" : ": ", shown.c_str(),
                     refused ? "(answer it with --yes)\n" : "");
    };
    // Reading and writing long files shows how far it got, on a terminal
    // only: a pipe or a log gets no progress lines.
    if (::isatty(2)) {
        struct tstate {
            std::string path;
            double last = 2;
            int percent = -1;
            std::chrono::steady_clock::time_point start;
        };
        files.progress = [st = tstate{}](const std::string& path, double fraction) mutable {
            const auto now = std::chrono::steady_clock::now();
            if (path != st.path || fraction < st.last) st = tstate{path, fraction, -1, now};
            st.last = fraction;
            // A file that takes less than half a second shows nothing.
            if (now - st.start < std::chrono::milliseconds(500) && st.percent < 0) return true;
            const int percent = static_cast<int>(fraction * 100);
            if (percent != st.percent) {
                st.percent = percent;
                std::fprintf(stderr, "\r%s: %3d%%%s", path.c_str(), percent, percent >= 100 ? "\n" : "");
            }
            return true;
        };
    }
}

bool tclidocument::open(const std::vector<std::string>& paths) {
    const int unread = tbatchdocument::open(paths);
    if (unread < 0) return true;
    if (prompter.last_message().empty())
        std::fprintf(stderr, "tessal-cli: cannot read %s\n", paths[static_cast<std::size_t>(unread)].c_str());
    return false;
}

const tsavefilter* tclidocument::save_row(const std::string& out) const {
    const tsavefilter* row = savefilter_for_extension(files.savefilter, lower_extension(out));
    if (!row) std::fprintf(stderr, "tessal-cli: no save format for the extension of %s\n", out.c_str());
    return row;
}

int tclidocument::save(const std::string& out, const tsavefilter& row) {
    if (!tbatchdocument::save(out, row, false)) return prompter.refused() ? exit_usage : exit_input;
    return exit_ok;
}

std::string text_output(const std::string& name) { return name == "-" ? "/dev/stdout" : name; }

bool output_is_input(const std::string& out, const std::vector<std::string>& inputs) {
    const std::string clash = output_input_clash(out, inputs);
    if (clash.empty()) return false;
    std::fprintf(stderr, "tessal-cli: %s\n", clash.c_str());
    return true;
}

bool parse_number(const std::string& text, double& v) { return try_parse_float(text, v) && std::isfinite(v); }

bool parse_seconds(const std::string& text, double& v) { return parse_number(text, v); }

int usage_error(const char* usage, const char* why) {
    if (why) std::fprintf(stderr, "tessal-cli: %s\n", why);
    std::fputs(usage, stderr);
    return exit_usage;
}

bool read_span_options(const targs& a, double& from, double& to) {
    return !(a.option("--from") && !parse_seconds(*a.option("--from"), from)) &&
           !(a.option("--to") && !parse_seconds(*a.option("--to"), to));
}

bool read_sample_span(const targs& a, const char* usage, tsamplespan& span) {
    const char* why = nullptr;
    span.hasto = a.option("--to").has_value();
    if (!read_span_options(a, span.from, span.to)) why = "--from and --to take seconds";
    else if (span.from < 0) why = "--from lies before the start";
    else if (span.hasto && span.to <= span.from) why = "--to must lie after --from";
    if (why) usage_error(usage, why);
    return !why;
}

std::int64_t tsamplespan::first(double fs, std::int64_t n) const {
    return std::min<std::int64_t>(n, static_cast<std::int64_t>(std::llround(from * fs)));
}

std::int64_t tsamplespan::last(double fs, std::int64_t n) const {
    return hasto ? std::clamp<std::int64_t>(static_cast<std::int64_t>(std::llround(to * fs)), first(fs, n), n) : n;
}

bool read_channel_option(const targs& a, long long& channo) {
    try {
        if (auto c = a.option("--channel")) channo = parse_int(*c);
        return true;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tessal-cli: %s\n", e.what());
        return false;
    }
}

bool has_channel(const tdocument& doc, long long channo) {
    if (channo >= 0 && channo < doc.totnchans()) return true;
    std::fprintf(stderr, "tessal-cli: channel %lld does not exist (the file has %d)\n", channo, doc.totnchans());
    return false;
}

bool has_sampled_channel(const tdocument& doc, long long channo) {
    if (!has_channel(doc, channo)) return false;
    if (doc.channel(static_cast<int>(channo)).sampfreq > 0) return true;
    std::fputs("tessal-cli: the channel has no sampling rate\n", stderr);
    return false;
}

}  // namespace tessal::cli
