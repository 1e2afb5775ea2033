// tessal-cli run PROCESS --each FILE... --out-dir DIR [--format ID] [-j N]
//     [--shard K/N] [--yes]
// Runs the process on every file on its own and writes DIR/<name>.<ext>
// (the extension of the format, else the file's own). Files come from the
// command line or, with "--each -", one per line on standard input. N files
// run at a time (default: the number of cores), each in a child process of
// its own, so no two runs share a document or any other state, and one
// file's failure or crash does not touch the others. Prints one line per
// file as it finishes, "FILE: ok" or "FILE: " and the error; exits 1 when
// any file failed. With --shard K/N only the K-th of N shares of the sorted
// file list runs (file i of the sorted list, from 0, belongs to share
// i mod N + 1), so N jobs of an array given K = 1..N cover the list exactly
// once, whatever order each was given the files in.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <algorithm>
#include <map>
#include <thread>

#include "commands.h"

namespace tessal::cli {

bool parse_shard(const std::string& text, int& k, int& n) {
    const std::size_t slash = text.find('/');
    if (slash == std::string::npos) return false;
    try {
        std::size_t used = 0;
        const std::string a = text.substr(0, slash), b = text.substr(slash + 1);
        k = std::stoi(a, &used);
        if (used != a.size()) return false;
        n = std::stoi(b, &used);
        if (used != b.size()) return false;
    } catch (const std::exception&) {
        return false;
    }
    return n >= 1 && k >= 1 && k <= n;
}

std::vector<std::string> shard_of(std::vector<std::string> files, int k, int n) {
    std::sort(files.begin(), files.end());
    std::vector<std::string> out;
    for (std::size_t i = 0; i < files.size(); ++i)
        if (static_cast<int>(i % static_cast<std::size_t>(n)) == k - 1) out.push_back(files[i]);
    return out;
}

namespace {

// One line, written with a single call so lines of parallel runs never mix.
void status_line(const std::string& file, int rc, const std::string& message) {
    std::string line = file + ": " + (rc == exit_ok ? std::string("ok") : message);
    for (char& c : line)
        if (c == '\n' || c == '\r') c = ' ';
    line += '\n';
    std::size_t done = 0;
    while (done < line.size()) {
        const ssize_t w = ::write(STDOUT_FILENO, line.data() + done, line.size() - done);
        if (w <= 0) break;
        done += static_cast<std::size_t>(w);
    }
}

}  // namespace

int run_each(const targs& a) {
    const char* use =
        "usage: tessal-cli run PROCESS --each FILE... --out-dir DIR [--format ID] [-j N] "
        "[--shard K/N] [--yes]\n";
    if (!a.option("--out-dir") || a.option("-o") || a.has_flag("--profile")) {
        std::fputs(use, stderr);
        return exit_usage;
    }
    int jobs = static_cast<int>(std::thread::hardware_concurrency());
    if (auto j = a.option("-j")) {
        try {
            std::size_t used = 0;
            jobs = std::stoi(*j, &used);
            if (used != j->size() || jobs < 1) throw std::invalid_argument(*j);
        } catch (const std::exception&) {
            std::fputs("tessal-cli: -j takes a number of files to run at a time (1 or more)\n",
                       stderr);
            return exit_usage;
        }
    }
    if (jobs < 1) jobs = 1;
    const std::string procpath = a.positional.front();
    std::vector<std::string> files(a.positional.begin() + 1, a.positional.end());
    if (files.size() == 1 && files[0] == "-") {
        files.clear();
        std::string line;
        while (std::getline(std::cin, line)) {
            while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
            if (!line.empty()) files.push_back(line);
        }
    }
    if (files.empty()) {
        std::fputs(use, stderr);
        return exit_usage;
    }
    if (auto sh = a.option("--shard")) {
        int k = 0, n = 0;
        if (!parse_shard(*sh, k, n)) {
            std::fputs("tessal-cli: --shard takes K/N, the K-th of N shares (1 <= K <= N)\n", stderr);
            return exit_usage;
        }
        // A share may be empty (fewer files than shares): nothing to run.
        files = shard_of(files, k, n);
        if (files.empty()) return exit_ok;
    }
    const std::filesystem::path dir = *a.option("--out-dir");
    std::error_code ec;
    if (!std::filesystem::is_directory(dir, ec)) {
        std::fprintf(stderr, "tessal-cli: %s is not a folder\n", dir.string().c_str());
        return exit_input;
    }
    const std::optional<std::string> format = a.option("--format");
    std::string ext;
    if (format) {
        tclidocument probe(false);
        const tsavefilter* row = find_savefilter(probe.files.savefilter, *format);
        if (!row) {
            std::fprintf(stderr, "tessal-cli: no save format \"%s\"\n", format->c_str());
            return exit_usage;
        }
        ext = row->ext;
    }
    const bool yes = a.has_flag("--yes");

    auto out_path = [&](const std::string& file) {
        const std::filesystem::path in(file);
        return dir / (in.stem().string() + (format ? ext : in.extension().string()));
    };
    // Two inputs with one output name would leave only the later result,
    // both reported as "ok": refuse before anything runs.
    {
        std::map<std::string, std::string> first_of;
        for (const std::string& file : files) {
            const std::string out = out_path(file).lexically_normal().string();
            auto [it, fresh] = first_of.emplace(out, file);
            if (!fresh) {
                std::fprintf(stderr,
                             "tessal-cli: %s and %s would both be saved as %s; nothing was run\n",
                             it->second.c_str(), file.c_str(), out.c_str());
                return exit_usage;
            }
        }
    }

    auto job = [&](const std::string& file) {
        const std::filesystem::path out = out_path(file);
        std::string message;
        int rc = run_process_job(procpath, {file}, out.string(), format, yes, false, message);
        if (rc != exit_ok && message.empty()) message = "failed";
        status_line(file, rc, message);
        return rc;
    };

    std::fflush(stdout);
    std::fflush(stderr);
    bool failed = false;
    std::map<pid_t, std::string> running;
    auto reap = [&]() {
        int st = 0;
        const pid_t pid = ::waitpid(-1, &st, 0);
        if (pid <= 0) return;
        auto it = running.find(pid);
        if (it == running.end()) return;
        if (!WIFEXITED(st)) {
            status_line(it->second, exit_input, "the run ended abnormally");
            failed = true;
        } else if (WEXITSTATUS(st) != 0) {
            failed = true;
        }
        running.erase(it);
    };
    for (const std::string& file : files) {
        while (static_cast<int>(running.size()) >= jobs) reap();
        const pid_t pid = ::fork();
        if (pid == 0) {
            const int rc = job(file);
            std::fflush(stdout);
            std::fflush(stderr);
            ::_exit(rc);
        }
        if (pid < 0) {
            // No child to be had: run this one here.
            if (job(file) != exit_ok) failed = true;
            continue;
        }
        running[pid] = file;
    }
    while (!running.empty()) reap();
    return failed ? exit_input : exit_ok;
}

}  // namespace tessal::cli
