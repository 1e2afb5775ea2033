// The file-system seam and the replace-by-rename save (see safereplace.h).
#include "engine/formats/safereplace.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessal {

namespace fs = std::filesystem;

std::FILE* tfileops::create(const std::string& name) {
    std::FILE* f = std::fopen(name.c_str(), "wb");
    // Unbuffered: the writer hands over large blocks itself, and a short write
    // must show at the call that made it, not at some later flush.
    if (f) std::setvbuf(f, nullptr, _IONBF, 0);
    return f;
}

std::FILE* tfileops::open(const std::string& name, const char* mode) {
    return std::fopen(name.c_str(), mode);
}

std::size_t tfileops::write(std::FILE* f, const void* data, std::size_t n) {
    return std::fwrite(data, 1, n, f);
}

std::size_t tfileops::read_at(std::FILE* f, std::int64_t pos, void* data, std::size_t n) {
    if (n == 0) return 0;
    if (::fseeko(f, static_cast<off_t>(pos), SEEK_SET) != 0) return 0;
    return std::fread(data, 1, n, f);
}

std::size_t tfileops::write_at(std::FILE* f, std::int64_t pos, const void* data, std::size_t n) {
    if (n == 0) return 0;
    if (::fseeko(f, static_cast<off_t>(pos), SEEK_SET) != 0) return 0;
    return std::fwrite(data, 1, n, f);
}

bool tfileops::flush(std::FILE* f) { return std::fflush(f) == 0; }

bool tfileops::close(std::FILE* f) { return std::fclose(f) == 0; }

std::int64_t tfileops::size(std::FILE* f) {
    if (::fseeko(f, 0, SEEK_END) != 0) return -1;
    return static_cast<std::int64_t>(::ftello(f));
}

bool tfileops::exists(const std::string& name) {
    std::error_code ec;
    return fs::exists(fs::path(name), ec);
}

bool tfileops::rename(const std::string& from, const std::string& to) {
    return std::rename(from.c_str(), to.c_str()) == 0;
}

bool tfileops::remove(const std::string& name) { return std::remove(name.c_str()) == 0; }

namespace {

// fsync of a file or folder opened read-only; file systems that cannot sync
// (EINVAL, EROFS) count as success.
bool sync_path(const std::string& name, int flags) {
    const int fd = ::open(name.c_str(), O_RDONLY | flags);
    if (fd < 0) return false;
    const bool ok = ::fsync(fd) == 0 || errno == EINVAL || errno == EROFS;
    const int code = errno;
    ::close(fd);
    errno = code;
    return ok;
}

}  // namespace

bool tfileops::sync(const std::string& name) { return sync_path(name, 0); }

bool tfileops::sync_folder(const std::string& name) {
    const fs::path dir = fs::path(name).parent_path();
    return sync_path(dir.empty() ? "." : dir.string(), O_DIRECTORY);
}

void tfileops::start_writeback(std::FILE* f, std::int64_t pos, std::int64_t n) {
#if defined(__linux__) && defined(SYNC_FILE_RANGE_WRITE)
    if (f && n > 0) ::sync_file_range(::fileno(f), pos, n, SYNC_FILE_RANGE_WRITE);
#else
    (void)f;
    (void)pos;
    (void)n;
#endif
}

tfileops& tfileops::system() {
    static tfileops ops;
    return ops;
}

std::string insert_before_extension(const std::string& name, const std::string& insert) {
    const std::size_t slash = name.find_last_of("/\\");
    const std::size_t dot = name.rfind('.');
    const std::size_t start = slash == std::string::npos ? 0 : slash + 1;
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash) || dot == start)
        return name + insert;
    return name.substr(0, dot) + insert + name.substr(dot);
}

std::string os_error_text(int code) {
    return std::to_string(code) + " (" + std::strerror(code) + ")";
}

namespace {

std::atomic<unsigned> namecounter{0};

// A name next to `target` that does not exist yet.
std::string free_name(tfileops& ops, const std::string& target, const char* word) {
    for (int tries = 0; tries < 1000; ++tries) {
        std::string name = insert_before_extension(target, word + std::to_string(namecounter++));
        if (!ops.exists(name)) return name;
    }
    return insert_before_extension(target, word + std::to_string(namecounter++));
}

std::string reason_text(int code) {
    return code ? std::string("\r") + std::strerror(code) : std::string();
}

}  // namespace

namespace {

// Whether `p` names something in /proc, where links are the open files of a
// process (/proc/self/fd/1 behind /dev/stdout) and cannot be replaced.
bool in_proc(const fs::path& p) {
    std::error_code ec;
    fs::path dir = p.parent_path();
    if (dir.empty()) dir = ".";
    const fs::path real = fs::weakly_canonical(dir, ec);
    const std::string s = (ec ? dir : real).string();
    return s == "/proc" || s.rfind("/proc/", 0) == 0;
}

const char* kind_text(mode_t mode) {
    if (S_ISBLK(mode)) return "a block device";
    if (S_ISSOCK(mode)) return "a socket";
    return "not a regular file";
}

}  // namespace

toutput resolve_output(const std::string& name) {
    toutput out;
    out.path = name;
    auto refuse = [&](int code, const std::string& why) {
        out.kind = toutput::tkind::refused;
        out.code = code;
        out.why = why;
        return out;
    };
    fs::path p(name);
    for (int hops = 0;; ++hops) {
        struct stat st {};
        if (::lstat(p.c_str(), &st) != 0) {
            // Nothing there yet (or nothing reachable): a new file, whose
            // creation reports what is wrong.
            out.kind = toutput::tkind::file;
            out.path = p.string();
            return out;
        }
        if (S_ISLNK(st.st_mode)) {
            if (in_proc(p)) {
                out.kind = toutput::tkind::stream;
                out.path = p.string();
                return out;
            }
            if (hops >= 40) return refuse(ELOOP, name + " is a loop of symbolic links");
            std::error_code ec;
            const fs::path to = fs::read_symlink(p, ec);
            if (ec) return refuse(ec.value(), name + ": " + ec.message());
            p = to.is_absolute() ? to : p.parent_path() / to;
            continue;
        }
        out.path = p.string();
        if (S_ISREG(st.st_mode)) {
            out.kind = in_proc(p) ? toutput::tkind::stream : toutput::tkind::file;
            return out;
        }
        if (S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode)) {
            out.kind = toutput::tkind::stream;
            return out;
        }
        if (S_ISDIR(st.st_mode)) return refuse(EISDIR, os_error_text(EISDIR));
        return refuse(ENOTSUP, name + " is " + kind_text(st.st_mode) + ", not a file to write");
    }
}

std::FILE* create_temporary(tfileops& ops, const std::string& given, std::string& created) {
    const toutput out = resolve_output(given);
    if (out.kind != toutput::tkind::file) {
        created.clear();
        errno = out.kind == toutput::tkind::refused ? out.code : ENOTSUP;
        return nullptr;
    }
    const std::string& target = out.path;
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

// ------------------------------------------------------------ tsafereplace

void tsafereplace::add(const std::string& tmp, const std::string& target, bool keep,
                       const std::string& old) {
    steps_.push_back({tmp, target, old, keep});
}

bool tsafereplace::fail(tstage stage, const std::string& from, const std::string& to, int code) {
    failure_ = {stage, from, to, code};
    error_ = stage == tstage::sync ? "Cannot write " + from + " to the disk" + reason_text(code)
                                   : "Cannot rename " + from + " to " + to + reason_text(code);
    roll_back();
    return false;
}

void tsafereplace::roll_back() {
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
    steps_.clear();
}

bool tsafereplace::commit() {
    failure_ = {};
    error_.clear();
    // 0. A link is replaced where it points; anything but a regular file is
    // refused before a byte moves.
    for (auto& s : steps_) {
        const toutput out = resolve_output(s.target);
        if (out.kind != toutput::tkind::file) {
            failure_ = {tstage::target, s.tmp, s.target, out.code ? out.code : ENOTSUP};
            error_ = "Cannot replace " + s.target + "\r" +
                     (out.why.empty() ? s.target + " is not a regular file" : out.why);
            roll_back();
            return false;
        }
        s.target = out.path;
    }
    // 1. The new data must be on the disk before a rename makes it the file.
    for (auto& s : steps_) {
        errno = 0;
        if (!ops_.sync(s.tmp)) return fail(tstage::sync, s.tmp, s.target, errno);
    }
    // 2. The old files step aside, keeping their names free for the new ones.
    for (auto& s : steps_) {
        if (!ops_.exists(s.target)) continue;
        {
            // The new file takes over the old one's permissions (best effort).
            std::error_code ec;
            const auto perms = fs::status(fs::path(s.target), ec).permissions();
            if (!ec) fs::permissions(fs::path(s.tmp), perms, ec);
        }
        if (s.old.empty()) s.old = free_name(ops_, s.target, "_old_");
        errno = 0;
        if (!ops_.rename(s.target, s.old)) return fail(tstage::move_aside, s.target, s.old, errno);
        s.moved_aside = true;
    }
    // 3. The new files move in.
    for (auto& s : steps_) {
        errno = 0;
        if (!ops_.rename(s.tmp, s.target)) return fail(tstage::move_in, s.tmp, s.target, errno);
        s.moved_in = true;
    }
    // 4. The renames are on the disk (best effort: they are done), then the
    // old copies go.
    for (auto& s : steps_) ops_.sync_folder(s.target);
    for (auto& s : steps_) {
        if (!s.moved_aside) continue;
        errno = 0;
        if (!ops_.remove(s.old)) leftovers_.push_back({s.old, errno});
    }
    steps_.clear();
    return true;
}

// ------------------------------------------------------------ tsafefile

tsafefile::tsafefile(const std::string& filename, bool safe, std::uint32_t number, tfileops& ops)
    : ops_(ops), filename_(filename) {
    const toutput out = resolve_output(filename);
    if (out.kind == toutput::tkind::refused) {
        finished_ = true;
        throw EFileSaveError("Cannot create file \r" + filename + "\r" + out.why);
    }
    stream_ = out.kind == toutput::tkind::stream;
    direct_ = !safe || stream_;
    dest_ = safe || stream_ ? out.path : filename;
    if (!direct_) {
        // Never truncate someone else's file that happens to carry our name.
        for (int tries = 0; tries < 100; ++tries, number = (number + 1) % 10001) {
            tmpname_ = insert_before_extension(dest_, "_partial_" + std::to_string(number));
            oldname_ = insert_before_extension(dest_, "_old_" + std::to_string(number));
            if (!ops_.exists(tmpname_) && !ops_.exists(oldname_)) break;
        }
    }
    target_ = direct_ ? dest_ : tmpname_;
    errno = 0;
    if (stream_) {
        // Appending: a stream is never truncated, and standard output sent
        // to a file keeps what is already there.
        file_ = ops_.open(target_, "ab");
        if (file_) std::setvbuf(file_, nullptr, _IONBF, 0);
    } else {
        file_ = ops_.create(target_);
    }
    if (!file_) {
        finished_ = true;  // nothing was created, nothing to clean up
        throw EFileSaveError("Cannot create file \r" + target_ + "\r" +
                             os_error_text(errno ? errno : EIO));
    }
}

tsafefile::~tsafefile() {
    if (file_) ops_.close(file_);
    if (!finished_ && !direct_) ops_.remove(tmpname_);
}

std::size_t tsafefile::write(const void* data, std::size_t n) {
    if (!file_ || error_ != 0 || n == 0) return 0;
    errno = 0;
    const std::size_t done = ops_.write(file_, data, n);
    if (done != n) error_ = errno != 0 ? errno : EIO;
    written_ += static_cast<std::int64_t>(done);
    return done;
}

void tsafefile::start_writeback() {
    if (!file_ || error_ != 0 || written_ <= flushed_) return;
    ops_.start_writeback(file_, flushed_, written_ - flushed_);
    flushed_ = written_;
}

void tsafefile::cancel() {
    if (file_) ops_.close(file_);
    file_ = nullptr;
    if (!stream_) ops_.remove(target_);
    finished_ = true;
    throw ESaveCancelled();
}

bool tsafefile::close() {
    if (!file_) return error_ == 0;
    errno = 0;
    const bool ok = ops_.close(file_);
    file_ = nullptr;
    if (!ok && error_ == 0) error_ = errno != 0 ? errno : EIO;
    return ok;
}

void tsafefile::fail(const std::string& what) {
    const int code = error_;
    close();
    finished_ = true;
    const std::string reason = code != 0 ? "\r" + os_error_text(code) : "";
    if (stream_) throw EFileSaveError(what + "\rThe output to " + filename_ + " is incomplete" + reason);
    if (direct_) throw EFileSaveError(what + "\rFile " + filename_ + " is probably damaged" + reason);
    errno = 0;
    if (!ops_.remove(tmpname_))
        throw EFileSaveError("Error cleaning up tmp file \r" + tmpname_ + "\r" + std::to_string(errno));
    throw EFileSaveError("Error saving file\r" + what + reason);
}

void tsafefile::replace() {
    finished_ = true;
    if (stream_) return;
    if (direct_) {
        // Nothing old to protect; the new file is still pushed to the disk.
        ops_.sync(dest_);
        ops_.sync_folder(dest_);
        return;
    }
    tsafereplace r(ops_);
    r.add(tmpname_, dest_, false, oldname_);
    if (!r.commit()) {
        const tsafereplace::tfailure& f = r.failure();
        switch (f.stage) {
            case tsafereplace::tstage::sync:
                throw EFileSaveError("Error saving file\rCannot write " + tmpname_ +
                                     " to the disk\r" + os_error_text(f.code ? f.code : EIO));
            case tsafereplace::tstage::move_aside:
                throw EFileSaveError("Error renaming old file \r" + dest_ + "\r" +
                                     std::to_string(f.code));
            case tsafereplace::tstage::target:
                throw EFileSaveError("Error saving file\r" + r.error());
            default:
                throw EFileSaveError("Error renaming tmp file \r" + tmpname_ + "\r" +
                                     std::to_string(f.code));
        }
    }
    if (!r.leftovers().empty())
        throw EFileSaveError("Error deleting old file \r" + oldname_ + "\r" +
                             std::to_string(r.leftovers().front().code));
}

void write_whole_file(const void* data, std::size_t n, const std::string& filename, tfileops& ops) {
    tsafefile out(filename, true, std::random_device{}() % 10000, ops);
    const bool complete = out.write(data, n) == n;
    if (!out.close() || !complete) out.fail(filename);
    out.replace();
}

}  // namespace tessal
