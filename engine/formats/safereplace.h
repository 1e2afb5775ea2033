// Writing a file so that an existing one is never lost.
//
// tsafefile writes either straight to the file (when it does not exist yet, or
// the caller asks for a plain write) or to a temporary "<name>_partial_N.<ext>"
// next to it. Only once that copy is complete and closed does replace() move
// the existing file to "<name>_old_N.<ext>", move the copy into its place and
// delete the old copy. Until then the existing file is untouched; when moving
// the copy in fails, the old file is moved back. Every failure is raised as
// EFileSaveError with a text for the user that names the file and gives the
// operating system's error number.
//
// All file-system calls go through tfileops so that tests can make any step
// fail for real (short writes, refused renames) even when run as root.
#pragma once

#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>

namespace tessal {

class EFileSaveError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The file-system calls of a save. Every call that fails leaves its reason in
// errno. The default implementation is the C library.
class tfileops {
public:
    virtual ~tfileops() = default;
    virtual std::FILE* create(const std::string& name);  // new or truncated, binary, unbuffered
    virtual std::size_t write(std::FILE* f, const void* data, std::size_t n);
    virtual bool close(std::FILE* f);
    virtual bool exists(const std::string& name);
    virtual bool rename(const std::string& from, const std::string& to);
    virtual bool remove(const std::string& name);

    static tfileops& system();
};

// `name` with `insert` placed before the extension of its last path
// component ("a/b.c.wav" -> "a/b.c<insert>.wav"), or appended when that
// component has no ".".
std::string insert_before_extension(const std::string& name, const std::string& insert);

// "<errno> (<text>)", for messages.
std::string os_error_text(int code);

class tsafefile {
public:
    // Opens the target for writing. `number` picks the temporary and old-copy
    // names; when either name is already taken the next free number is used.
    // Throws EFileSaveError("Cannot create file \r<name>\r<code>") when the
    // target cannot be created.
    tsafefile(const std::string& filename, bool safe, std::uint32_t number, tfileops& ops);
    ~tsafefile();  // an unfinished save removes its temporary file
    tsafefile(const tsafefile&) = delete;
    tsafefile& operator=(const tsafefile&) = delete;

    const std::string& filename() const { return filename_; }
    const std::string& target() const { return target_; }
    const std::string& tmpname() const { return tmpname_; }
    const std::string& oldname() const { return oldname_; }
    bool direct() const { return direct_; }

    // Writes all of `data` unless an earlier write failed; returns the bytes
    // actually written. The first failure's errno is kept in error_code().
    std::size_t write(const void* data, std::size_t n);
    // Closes the target; false when closing failed.
    bool close();
    int error_code() const { return error_; }

    // The save did not complete: `what` says how. A direct write raises
    // "<what>\rFile <name> is probably damaged"; a safe write deletes the
    // temporary file and raises "Error saving file\r<what>" (or, when even
    // that fails, "Error cleaning up tmp file \r<tmpname>\r<code>"). The
    // operating system's reason, when there is one, ends the text.
    [[noreturn]] void fail(const std::string& what);

    // After a successful close(): puts the new file in place (nothing to do
    // for a direct write). Raises "Error renaming old file \r<name>\r<code>",
    // "Error renaming tmp file \r<tmpname>\r<code>" or
    // "Error deleting old file \r<oldname>\r<code>".
    void replace();

private:
    tfileops& ops_;
    std::string filename_, target_, tmpname_, oldname_;
    std::FILE* file_ = nullptr;
    bool direct_ = true;
    bool finished_ = false;
    int error_ = 0;
};

}  // namespace tessal
