// The replace-by-rename save (see safereplace.h).
#include "engine/formats/safereplace.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace tessal {

std::FILE* tfileops::create(const std::string& name) {
    std::FILE* f = std::fopen(name.c_str(), "wb");
    // Unbuffered: the writer hands over large blocks itself, and a short write
    // must show at the call that made it, not at some later flush.
    if (f) std::setvbuf(f, nullptr, _IONBF, 0);
    return f;
}

std::size_t tfileops::write(std::FILE* f, const void* data, std::size_t n) {
    return std::fwrite(data, 1, n, f);
}

bool tfileops::close(std::FILE* f) { return std::fclose(f) == 0; }

bool tfileops::exists(const std::string& name) {
    std::error_code ec;
    return std::filesystem::exists(std::filesystem::path(name), ec);
}

bool tfileops::rename(const std::string& from, const std::string& to) {
    return std::rename(from.c_str(), to.c_str()) == 0;
}

bool tfileops::remove(const std::string& name) { return std::remove(name.c_str()) == 0; }

tfileops& tfileops::system() {
    static tfileops ops;
    return ops;
}

std::string insert_before_extension(const std::string& name, const std::string& insert) {
    const std::size_t slash = name.find_last_of("/\\");
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return name + insert;
    return name.substr(0, dot) + insert + name.substr(dot);
}

std::string os_error_text(int code) {
    return std::to_string(code) + " (" + std::strerror(code) + ")";
}

tsafefile::tsafefile(const std::string& filename, bool safe, std::uint32_t number, tfileops& ops)
    : ops_(ops), filename_(filename) {
    {
        std::error_code ec;
        if (std::filesystem::is_directory(std::filesystem::path(filename), ec))
            throw EFileSaveError("Cannot create file \r" + filename + "\r" + os_error_text(EISDIR));
    }
    direct_ = !safe || !ops_.exists(filename);
    if (!direct_) {
        // Never truncate someone else's file that happens to carry our name.
        for (int tries = 0; tries < 100; ++tries, number = (number + 1) % 10001) {
            tmpname_ = insert_before_extension(filename, "_partial_" + std::to_string(number));
            oldname_ = insert_before_extension(filename, "_old_" + std::to_string(number));
            if (!ops_.exists(tmpname_) && !ops_.exists(oldname_)) break;
        }
    }
    target_ = direct_ ? filename_ : tmpname_;
    errno = 0;
    file_ = ops_.create(target_);
    if (!file_) {
        finished_ = true;  // nothing was created, nothing to clean up
        throw EFileSaveError("Cannot create file \r" + target_ + "\r" + os_error_text(errno));
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
    return done;
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
    if (direct_) throw EFileSaveError(what + "\rFile " + filename_ + " is probably damaged" + reason);
    errno = 0;
    if (!ops_.remove(tmpname_))
        throw EFileSaveError("Error cleaning up tmp file \r" + tmpname_ + "\r" + std::to_string(errno));
    throw EFileSaveError("Error saving file\r" + what + reason);
}

void tsafefile::replace() {
    finished_ = true;
    if (direct_) return;
    {
        // The new file takes over the old one's permissions (best effort).
        std::error_code ec;
        const auto perms = std::filesystem::status(std::filesystem::path(filename_), ec).permissions();
        if (!ec) std::filesystem::permissions(std::filesystem::path(tmpname_), perms, ec);
    }
    errno = 0;
    if (!ops_.rename(filename_, oldname_)) {
        const int code = errno;
        ops_.remove(tmpname_);
        throw EFileSaveError("Error renaming old file \r" + filename_ + "\r" + std::to_string(code));
    }
    errno = 0;
    if (!ops_.rename(tmpname_, filename_)) {
        const int code = errno;
        // Put the old file back where the user expects it.
        ops_.rename(oldname_, filename_);
        ops_.remove(tmpname_);
        throw EFileSaveError("Error renaming tmp file \r" + tmpname_ + "\r" + std::to_string(code));
    }
    errno = 0;
    if (!ops_.remove(oldname_))
        throw EFileSaveError("Error deleting old file \r" + oldname_ + "\r" + std::to_string(errno));
}

}  // namespace tessal
