// File-system calls and the all-or-nothing replacement (see smpfileops.h).
#include "engine/formats/smpfileops.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace tessal {

std::FILE* tsmpfileops::open(const std::string& name, const char* mode) { return std::fopen(name.c_str(), mode); }

std::size_t tsmpfileops::read_at(std::FILE* f, std::int64_t pos, void* data, std::size_t n) {
    if (n == 0) return 0;
    if (std::fseek(f, static_cast<long>(pos), SEEK_SET) != 0) return 0;
    return std::fread(data, 1, n, f);
}

std::size_t tsmpfileops::write_at(std::FILE* f, std::int64_t pos, const void* data, std::size_t n) {
    if (n == 0) return 0;
    if (std::fseek(f, static_cast<long>(pos), SEEK_SET) != 0) return 0;
    return std::fwrite(data, 1, n, f);
}

bool tsmpfileops::flush(std::FILE* f) { return std::fflush(f) == 0; }

bool tsmpfileops::close(std::FILE* f) { return std::fclose(f) == 0; }

std::int64_t tsmpfileops::size(std::FILE* f) {
    if (std::fseek(f, 0, SEEK_END) != 0) return -1;
    return std::ftell(f);
}

bool tsmpfileops::exists(const std::string& name) {
    std::error_code ec;
    return std::filesystem::exists(std::filesystem::path(name), ec);
}

bool tsmpfileops::rename(const std::string& from, const std::string& to) {
    return std::rename(from.c_str(), to.c_str()) == 0;
}

bool tsmpfileops::remove(const std::string& name) { return std::remove(name.c_str()) == 0; }

tsmpfileops& tsmpfileops::system() {
    static tsmpfileops ops;
    return ops;
}

std::string smp_insert_before_extension(const std::string& name, const std::string& insert) {
    const std::size_t slash = name.find_last_of("/\\");
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash) ||
        dot == (slash == std::string::npos ? 0 : slash + 1))
        return name + insert;
    return name.substr(0, dot) + insert + name.substr(dot);
}

namespace {

std::atomic<unsigned> tmpcounter{0};

// A name next to `target` that does not exist yet.
std::string free_name(tsmpfileops& ops, const std::string& target, const char* word) {
    for (int tries = 0; tries < 1000; ++tries) {
        std::string name = smp_insert_before_extension(target, word + std::to_string(tmpcounter++));
        if (!ops.exists(name)) return name;
    }
    return smp_insert_before_extension(target, word + std::to_string(tmpcounter++));
}

std::string errno_text(int code) { return code ? std::string("\r") + std::strerror(code) : std::string(); }

}  // namespace

std::FILE* smp_create_temporary(tsmpfileops& ops, const std::string& target, std::string& created) {
    for (int tries = 0; tries < 100; ++tries) {
        created = free_name(ops, target, "_partial_");
        errno = 0;
        // "x": never truncate a file someone created under the same name meanwhile.
        if (std::FILE* f = ops.open(created, "w+bx")) return f;
        if (errno != EEXIST) break;
    }
    created.clear();
    return nullptr;
}

void tsmpreplace::add(const std::string& tmp, const std::string& target, bool keep) {
    steps_.push_back({tmp, target, {}, keep});
}

void tsmpreplace::roll_back() {
    for (auto it = steps_.rbegin(); it != steps_.rend(); ++it) {
        if (it->moved_in && it->keep && ops_.rename(it->target, it->tmp)) it->moved_in = false;
        if (it->moved_in) {
            // The old copy goes back over the new file; without one, the target did not exist before.
            if (it->moved_aside) {
                if (ops_.rename(it->old, it->target)) it->moved_aside = false;
            } else {
                ops_.remove(it->target);
            }
        } else if (it->moved_aside) {
            if (ops_.rename(it->old, it->target)) it->moved_aside = false;
        }
        if (it->moved_aside) error_ += "\rThe old file is kept as " + it->old;
        if (!it->moved_in && !it->keep) ops_.remove(it->tmp);
    }
}

bool tsmpreplace::commit() {
    error_.clear();
    for (auto& s : steps_) {
        if (!ops_.exists(s.target)) continue;
        s.old = free_name(ops_, s.target, "_old_");
        errno = 0;
        if (!ops_.rename(s.target, s.old)) {
            error_ = "Cannot rename " + s.target + " to " + s.old + errno_text(errno);
            roll_back();
            return false;
        }
        s.moved_aside = true;
    }
    for (auto& s : steps_) {
        errno = 0;
        if (!ops_.rename(s.tmp, s.target)) {
            error_ = "Cannot rename " + s.tmp + " to " + s.target + errno_text(errno);
            roll_back();
            return false;
        }
        s.moved_in = true;
    }
    for (auto& s : steps_)
        if (s.moved_aside && !ops_.remove(s.old)) leftovers_.push_back(s.old);
    steps_.clear();
    return true;
}

}  // namespace tessal
