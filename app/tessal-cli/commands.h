// The commands of tessal-cli, one file each, and what they share: options,
// a document opened from files through the same engine paths as the GUI,
// and the exit codes (0 success, 1 an input cannot be read or a named
// channel does not exist, 2 a usage error or a question that was refused).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/core/prompter.h"
#include "engine/core/tdocument.h"
#include "engine/document/batchdocument.h"

namespace tessal {
struct tsavefilter;
}

namespace tessal::cli {

inline constexpr int exit_ok = 0;
inline constexpr int exit_input = 1;
inline constexpr int exit_usage = 2;

struct targs {
    std::vector<std::string> positional;
    std::map<std::string, std::string> options;  // "--from" -> "1.5"
    std::vector<std::string> flags;              // "--yes", "--all"
    bool has_flag(const std::string& f) const;
    std::optional<std::string> option(const std::string& name) const;
};

// Splits argv into positionals, options with values and flags. `valued`
// names the options that take a value. False (with a message) on a missing
// value or an unknown option.
bool parse_args(int argc, char** argv, int first, const std::vector<std::string>& valued,
                const std::vector<std::string>& flags, targs& out);

// A batch document whose prompter answers from --yes: with it every
// question is answered yes/ok; without it a question is refused, printed
// on stderr and remembered, so the command can exit 2. Plain messages go
// to stderr as they come, and so does the progress of long files on a
// terminal.
struct tclidocument : tbatchdocument {
    explicit tclidocument(bool yes);
    // Opens the first file as the document and adds the others; false (with
    // the reason on stderr) when one cannot be read.
    bool open(const std::vector<std::string>& paths);
    // The save row of the extension of `out`; null, saying so on stderr,
    // when no format saves it.
    const tsavefilter* save_row(const std::string& out) const;
    // Saves the whole document to `out` in the row's coding: exit_ok, or
    // exit_usage when a question was refused, exit_input otherwise.
    int save(const std::string& out, const tsavefilter& row);
};

// "\r" line breaks as new lines, for the terminal.
std::string terminal_text(const std::string& s);

// The file a text output goes to: "-" is standard output.
std::string text_output(const std::string& name);
// Whether `out` is one of `inputs` (output_input_clash); says so on stderr.
bool output_is_input(const std::string& out, const std::vector<std::string>& inputs);

// A finite number.
bool parse_number(const std::string& text, double& v);
bool parse_seconds(const std::string& text, double& v);
// Says why (when given) and then the command's usage on stderr: exit_usage.
int usage_error(const char* usage, const char* why);
// The --from and --to options' seconds into `from` and `to` (each left as
// it is when its option is absent); false when one is no number.
bool read_span_options(const targs& a, double& from, double& to);
// A stretch of one channel's samples asked for with --from and --to, in
// seconds from the channel's first sample: by default all of it.
struct tsamplespan {
    double from = 0, to = -1;
    bool hasto = false;
    // [first, last) in the samples of a channel of `n` samples at `fs` Hz:
    // the nearest samples to the two times, held inside the channel.
    std::int64_t first(double fs, std::int64_t n) const;
    std::int64_t last(double fs, std::int64_t n) const;
};
// --from and --to read as a tsamplespan: --from not before the start, --to
// after --from. False, with the reason and `usage` on stderr, when not.
bool read_sample_span(const targs& a, const char* usage, tsamplespan& span);
// The --channel option's number into `channo` (left as it is when the
// option is absent); false, with the reason on stderr, when it is no number.
bool read_channel_option(const targs& a, long long& channo);
// Whether `doc` has channel `channo`; when not, says so on stderr.
bool has_channel(const tdocument& doc, long long channo);
// has_channel, and the channel has a sampling rate; when not, says so.
bool has_sampled_channel(const tdocument& doc, long long channo);

int cmd_info(int argc, char** argv);
int cmd_dump(int argc, char** argv);
int cmd_convert(int argc, char** argv);
int cmd_measure(int argc, char** argv);
int cmd_spectrum(int argc, char** argv);
int cmd_spectrogram(int argc, char** argv);
int cmd_correlation(int argc, char** argv);
int cmd_correlogram(int argc, char** argv);
int cmd_f0(int argc, char** argv);
int cmd_formants(int argc, char** argv);
int cmd_histogram(int argc, char** argv);
int cmd_xyplot(int argc, char** argv);
int cmd_epg(int argc, char** argv);
int cmd_export(int argc, char** argv);
int cmd_labels(int argc, char** argv);
int cmd_recover(int argc, char** argv);
int cmd_steps(int argc, char** argv);
int cmd_run(int argc, char** argv);
int cmd_invfilter(int argc, char** argv);
int cmd_glottal(int argc, char** argv);
int cmd_calibrate(int argc, char** argv);
int cmd_psub(int argc, char** argv);
// run --each: the batch form of run.
// "K/N" with 1 <= K <= N into k and n; false otherwise.
bool parse_shard(const std::string& text, int& k, int& n);
// The K-th of N shares of the sorted list: file i of it (from 0) when
// i mod n == k - 1.
std::vector<std::string> shard_of(std::vector<std::string> files, int k, int n);
int run_each(const targs& a);
// Opens `inputs` as one document, runs the process file on it and saves it
// to `out`; an exit code, with the reason in `message` when not exit_ok.
// With `profile` the profile lines go to stdout. `told` (when given) says
// whether the prompter has already shown the message on stderr.
int run_process_job(const std::string& procpath, const std::vector<std::string>& inputs,
                    const std::string& out, const std::optional<std::string>& format, bool yes,
                    bool profile, std::string& message, bool* told = nullptr);

}  // namespace tessal::cli
