// tessal-cli: the engine without windows, for batch work and scripts.
//
// Every command exits 0 on success, 1 when an input cannot be read or a
// named channel does not exist, and 2 for a usage error or a question it
// was not allowed to answer.
#include <cstdio>
#include <cstring>
#include <string>

#include "commands.h"

namespace {

const char* const usage =
    "usage: tessal-cli COMMAND [ARGS...]\n"
    "\n"
    "commands:\n"
    "  info FILE...        coding, rate, channels and per-channel figures of each file\n"
    "  dump FILE [--channel N] [--from S] [--to S]\n"
    "                      the channel's samples in physical units, one per line\n"
    "  convert IN... -o OUT [--format ID] [--channels LIST] [--from S --to S] [--yes]\n"
    "                      opens IN (adding further inputs) and saves OUT; ID is one of\n"
    "                      tessal32f smp16i wav8i wav8a wav8u wav16i wav24i wav32i wav16f\n"
    "                      wav32f (default from the extension)\n"
    "  measure FILE [--channel N | --all] [--from S --to S] [--items LIST]\n"
    "                      the heading and values Log measurements would log for the\n"
    "                      selection (default the whole file, all channels); LIST holds\n"
    "                      item numbers 0..31 or keys such as RMSLevelRefA\n"
    "  spectrum FILE [--channel N] [--at T | --ltas [--from S --to S]] [--window NAME]\n"
    "         [--bandwidth HZ] [--relative 1|fsd|reference] [--fcp LO HI TLO THI]\n"
    "         [--bands LO-HI,...]\n"
    "                      the lines Log spectrum would log for the frame at T (default 0)\n"
    "                      or the LTAS of S..S (default the whole file), then with --fcp\n"
    "                      or --bands the heading and line of Log meas.\n"
    "  spectrogram FILE [--channel N] [--from S --to S] [--width PX --height PX]\n"
    "         [--bandwidth HZ] [--window NAME] [--fmax HZ] [--colour MODE] [--tilt DB]\n"
    "         [--relative 1|fsd|reference] (-o OUT.png | --matrix OUT.tsv)\n"
    "                      the spectrogram strip of the channel as a picture, or its\n"
    "                      levels (t, f, dB per line)\n"
    "  correlation FILE [--channel N] --at T [--window MS] [--lags MS]\n"
    "                      the autocorrelation at T: \"Lag [ms]\", r per lag\n"
    "  export FILE... -o OUT.txt [--channels N,N...] [--separator tab|semicolon|comma|space]\n"
    "         [--template PATTERN] [--decimal period|comma] [--from S --to S [--start-zero]]\n"
    "         [--downsample K] [--no-time]\n"
    "                      writes the channels as a text table, one row per sample\n"
    "  labels FILE... --textgrid OUT.TextGrid | --import IN.TextGrid -o OUT [--channel N]\n"
    "                      writes the labels as a Praat TextGrid, or adds those of a\n"
    "                      TextGrid to channel N (default 0) and saves OUT\n"
    "  recover --list [--folder DIR] | recover JOURNAL -o OUT [--format ID] [--yes]\n"
    "                      lists the journals a crashed run left, or replays one onto\n"
    "                      its original file and saves OUT as convert does\n"
    "  steps               the step types a process can hold: index, procid, name, help\n"
    "  run PROCESS IN... -o OUT [--format ID] [--yes] [--profile]\n"
    "                      opens IN (adding further inputs), runs the process file on it\n"
    "                      and saves OUT as convert does; --profile prints step timings\n"
    "  run PROCESS --each FILE... --out-dir DIR [--format ID] [-j N] [--yes]\n"
    "                      runs the process on every file on its own, N at a time\n"
    "                      (default: the number of cores), writing DIR/<name>.<ext>;\n"
    "                      \"--each -\" reads the files from standard input, one a line\n"
    "  help                show this text\n"
    "  --version           show the version\n";

struct tentry {
    const char* name;
    int (*run)(int, char**);
};

const tentry commands[] = {
    {"info", tessal::cli::cmd_info},
    {"dump", tessal::cli::cmd_dump},
    {"convert", tessal::cli::cmd_convert},
    {"measure", tessal::cli::cmd_measure},
    {"spectrum", tessal::cli::cmd_spectrum},
    {"spectrogram", tessal::cli::cmd_spectrogram},
    {"correlation", tessal::cli::cmd_correlation},
    {"export", tessal::cli::cmd_export},
    {"labels", tessal::cli::cmd_labels},
    {"recover", tessal::cli::cmd_recover},
    {"steps", tessal::cli::cmd_steps},
    {"run", tessal::cli::cmd_run},
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs(usage, stderr);
        return tessal::cli::exit_usage;
    }
    const std::string cmd = argv[1];
    if (cmd == "--version" || cmd == "version") {
        std::printf("tessal-cli %s\n", TESSAL_VERSION);
        return 0;
    }
    if (cmd == "help" || cmd == "--help" || cmd == "-h") {
        std::fputs(usage, stdout);
        return 0;
    }
    for (const tentry& e : commands)
        if (cmd == e.name) return e.run(argc, argv);
    std::fprintf(stderr, "tessal-cli: unknown command \"%s\"\n", cmd.c_str());
    std::fputs(usage, stderr);
    return tessal::cli::exit_usage;
}
