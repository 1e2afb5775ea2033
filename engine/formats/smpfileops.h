// The file-system calls of the .smp file, and replacing files without ever
// losing the old ones.
//
// tsmpfileops is the one door through which TSMPfile touches the disk, so
// that tests can make any single call fail for real (a short write, a
// refused rename) even when they run as root. The default implementation is
// the C library. Positions are 64-bit: recordings may exceed 2 GB.
//
// tsmpreplace puts finished temporary files in place of their targets as one
// step: every existing target is first moved aside to a free "_old_" name,
// then every temporary file is moved in, and only then are the old copies
// deleted. When any move fails, whatever was already moved is moved back, so
// every target is either the complete new file or, byte for byte, the old one.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace tessal {

class tsmpfileops {
public:
    virtual ~tsmpfileops() = default;
    // fopen modes; "x" (fail when the file exists) is used for temporary files.
    virtual std::FILE* open(const std::string& name, const char* mode);
    // Reads or writes n bytes at byte position pos; returns the count done.
    virtual std::size_t read_at(std::FILE* f, std::int64_t pos, void* data, std::size_t n);
    virtual std::size_t write_at(std::FILE* f, std::int64_t pos, const void* data, std::size_t n);
    virtual bool flush(std::FILE* f);
    virtual bool close(std::FILE* f);
    virtual std::int64_t size(std::FILE* f);  // -1 when unknown
    virtual bool exists(const std::string& name);
    virtual bool rename(const std::string& from, const std::string& to);
    virtual bool remove(const std::string& name);

    static tsmpfileops& system();
};

// `name` with `insert` put before the extension of its last path component
// ("a/b.smp" -> "a/b<insert>.smp"), or appended when it has none.
std::string smp_insert_before_extension(const std::string& name, const std::string& insert);

// A new, empty file next to `target` named "<target>_partial_N.<ext>",
// opened "w+b"; `created` receives its name. nullptr (and errno) on failure.
std::FILE* smp_create_temporary(tsmpfileops& ops, const std::string& target, std::string& created);

class tsmpreplace {
public:
    explicit tsmpreplace(tsmpfileops& ops) : ops_(ops) {}
    // `tmp` is complete and shall become `target`. With `keep`, a failed
    // commit leaves `tmp` in place under its own name instead of deleting it.
    void add(const std::string& tmp, const std::string& target, bool keep = false);
    // Returns true when all targets were replaced. On false, error() says
    // why, every target is as it was and the temporary files are deleted.
    bool commit();
    const std::string& error() const { return error_; }
    // Old copies that could not be deleted after a successful commit.
    const std::vector<std::string>& leftovers() const { return leftovers_; }

private:
    struct tstep {
        std::string tmp, target, old;
        bool keep = false;
        bool moved_aside = false, moved_in = false;
    };
    void roll_back();
    tsmpfileops& ops_;
    std::vector<tstep> steps_;
    std::string error_;
    std::vector<std::string> leftovers_;
};

}  // namespace tessal
