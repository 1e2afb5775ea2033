// The one way files reach the disk, and writing a file so that an existing
// one is never lost.
//
// tfileops is the door through which every reader and writer of signal and
// settings files touches the file system, so that tests can make any single
// call fail for real (a short write, a refused rename, a failed sync) even
// when they run as root. The default implementation is the C library.
// Positions are 64-bit: recordings may exceed 2 GB.
//
// tsafereplace puts finished temporary files in place of their targets as one
// step: every temporary file is first synced to the disk, every existing
// target is moved aside to "<name>_old_N.<ext>", every temporary file is
// moved in, the folders are synced, and only then are the old copies
// deleted. When any step fails, whatever was already moved is moved back, so
// every target is either the complete new file or, byte for byte, the old one.
//
// tsafefile streams one file through that replacement: it writes to a
// temporary "<name>_partial_N.<ext>" next to the file, whether or not the
// file exists yet, and replace() hands the complete copy to tsafereplace, so
// a file appears under its name only when it is complete. Every failure is
// raised as EFileSaveError with a text for the user that names the file and
// gives the operating system's error number.
//
// What a name stands for decides how it is written (resolve_output): a
// symbolic link is followed and the file it points to is replaced, the link
// stays; a character device, a FIFO or an open stream (/dev/stdout,
// /proc/self/fd/N) is written straight into, never replaced; a folder or any
// other kind of file is refused before anything is written.
#pragma once

#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

namespace tessal {

class EFileSaveError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A save the user stopped: nothing was replaced and no partial file is left.
class ESaveCancelled : public EFileSaveError {
public:
    ESaveCancelled() : EFileSaveError("The save was cancelled") {}
};

// The file-system calls of reading and saving. Every call that fails leaves
// its reason in errno.
class tfileops {
public:
    virtual ~tfileops() = default;
    virtual std::FILE* create(const std::string& name);  // new or truncated, binary, unbuffered
    // fopen modes; "x" (fail when the file exists) is used for temporary files.
    virtual std::FILE* open(const std::string& name, const char* mode);
    virtual std::size_t write(std::FILE* f, const void* data, std::size_t n);
    // Reads or writes n bytes at byte position pos; returns the count done.
    virtual std::size_t read_at(std::FILE* f, std::int64_t pos, void* data, std::size_t n);
    virtual std::size_t write_at(std::FILE* f, std::int64_t pos, const void* data, std::size_t n);
    virtual bool flush(std::FILE* f);
    // Starts writing bytes pos..pos+n-1 of an open file to the disk without
    // waiting, so the sync at the end of a long save has little left to do.
    // Only a hint: the default does nothing where the system cannot.
    virtual void start_writeback(std::FILE* f, std::int64_t pos, std::int64_t n);
    virtual bool close(std::FILE* f);
    virtual std::int64_t size(std::FILE* f);  // -1 when unknown
    virtual bool exists(const std::string& name);
    virtual bool rename(const std::string& from, const std::string& to);
    virtual bool remove(const std::string& name);
    // The closed file's data is on the disk. File systems that cannot sync
    // count as success.
    virtual bool sync(const std::string& name);
    // The entries of the folder holding `name` are on the disk.
    virtual bool sync_folder(const std::string& name);

    static tfileops& system();
};

// `name` with `insert` placed before the extension of its last path
// component ("a/b.c.wav" -> "a/b.c<insert>.wav"), or appended when that
// component has no extension: no ".", or only a leading one (".wav" is a
// hidden file's name, not an extension).
std::string insert_before_extension(const std::string& name, const std::string& insert);

// "<errno> (<text>)", for messages.
std::string os_error_text(int code);

// A new, empty file next to `target` named "<target>_partial_N.<ext>" with a
// number no file has yet, opened "w+b"; `created` receives its name. nullptr
// (and errno) on failure.
// A symbolic link's target is found first, so the temporary lies in the folder
// of the file it will replace. A target that is not a regular file (nor
// missing) gets nullptr with EISDIR or ENOTSUP.
std::FILE* create_temporary(tfileops& ops, const std::string& target, std::string& created);

// What writing to `name` means.
struct toutput {
    enum class tkind {
        file,     // a regular file or none yet: `path` is replaced through a temporary
        stream,   // a character device, a FIFO or an open stream: `path` is written into
        refused,  // a folder, a block device, a socket, a loop of links
    };
    tkind kind = tkind::file;
    std::string path;  // for a link, the file it ends at
    std::string why;   // refused: the reason, for messages
    int code = 0;      // refused: an errno value
};
toutput resolve_output(const std::string& name);

class tsafereplace {
public:
    explicit tsafereplace(tfileops& ops) : ops_(ops) {}
    // `tmp` is complete and closed and shall become `target`. With `keep`, a
    // failed commit leaves `tmp` in place under its own name instead of
    // deleting it. `old` names the place the existing target is moved aside
    // to; empty picks a free "_old_" name.
    void add(const std::string& tmp, const std::string& target, bool keep = false,
             const std::string& old = "");
    // Returns true when all targets were replaced. On false, failure() says
    // why, every target is as it was and the temporary files are deleted
    // (those added with `keep` excepted).
    bool commit();

    // target: a target that is not a regular file (see resolve_output).
    enum class tstage { none, sync, move_aside, move_in, target };
    struct tfailure {
        tstage stage = tstage::none;
        std::string from, to;  // the file synced (from) or the rename
        int code = 0;          // errno
    };
    const tfailure& failure() const { return failure_; }
    // The failure as one text: "Cannot rename <from> to <to>\r<reason>" or
    // "Cannot write <file> to the disk\r<reason>", followed by the names of
    // old copies that could not be moved back.
    const std::string& error() const { return error_; }

    struct tleftover {
        std::string name;
        int code = 0;
    };
    // Old copies that could not be deleted after a successful commit.
    const std::vector<tleftover>& leftovers() const { return leftovers_; }

private:
    struct tstep {
        std::string tmp, target, old;
        bool keep = false;
        bool moved_aside = false, moved_in = false;
    };
    bool fail(tstage stage, const std::string& from, const std::string& to, int code);
    void roll_back();
    tfileops& ops_;
    std::vector<tstep> steps_;
    tfailure failure_;
    std::string error_;
    std::vector<tleftover> leftovers_;
};

class tsafefile {
public:
    // Opens the target for writing. `number` picks the temporary and old-copy
    // names; when either name is already taken the next free number is used.
    // With `safe` the file is written through a temporary copy (no
    // half-written file is ever left under its name); without, straight into
    // it. A device, FIFO or stream is always written straight into. Throws
    // EFileSaveError("Cannot create file \r<name>\r<reason>") when the file
    // cannot be created or is refused (a folder, a block device, ...).
    tsafefile(const std::string& filename, bool safe, std::uint32_t number, tfileops& ops);
    ~tsafefile();  // an unfinished save removes its temporary file
    tsafefile(const tsafefile&) = delete;
    tsafefile& operator=(const tsafefile&) = delete;

    const std::string& filename() const { return filename_; }
    const std::string& target() const { return target_; }
    const std::string& tmpname() const { return tmpname_; }
    const std::string& oldname() const { return oldname_; }
    bool direct() const { return direct_; }
    bool stream() const { return stream_; }

    // Writes all of `data` unless an earlier write failed; returns the bytes
    // actually written. The first failure's errno is kept in error_code().
    std::size_t write(const void* data, std::size_t n);
    // Starts the disk writing of what was written so far (see
    // tfileops::start_writeback).
    void start_writeback();
    // Stops an unfinished save: the temporary file, or the new file when it
    // was written directly, is removed (a stream is left alone); then raises
    // ESaveCancelled.
    [[noreturn]] void cancel();
    // Closes the target; false when closing failed.
    bool close();
    int error_code() const { return error_; }

    // The save did not complete: `what` says how. A direct write raises
    // "<what>\rFile <name> is probably damaged" (a stream "<what>\rThe output
    // to <name> is incomplete"); a safe write deletes the
    // temporary file and raises "Error saving file\r<what>" (or, when even
    // that fails, "Error cleaning up tmp file \r<tmpname>\r<code>"). The
    // operating system's reason, when there is one, ends the text.
    [[noreturn]] void fail(const std::string& what);

    // After a successful close(): puts the new file in place through
    // tsafereplace (a direct write is only synced). Raises "Error saving
    // file\rCannot write <tmpname> to the disk\r<code>", "Error renaming old
    // file \r<name>\r<code>", "Error renaming tmp file \r<tmpname>\r<code>"
    // or "Error deleting old file \r<oldname>\r<code>".
    void replace();

private:
    tfileops& ops_;
    std::string filename_, target_, tmpname_, oldname_;
    std::string dest_;  // the file replaced: filename_, or where its link points
    std::FILE* file_ = nullptr;
    bool direct_ = true;
    bool stream_ = false;
    bool finished_ = false;
    int error_ = 0;
    std::int64_t written_ = 0, flushed_ = 0;
};

// Writes the `n` bytes at `data` to `filename` through tsafefile: a file
// through a temporary copy, a device or stream straight into it. Raises
// EFileSaveError naming the file when it cannot.
void write_whole_file(const void* data, std::size_t n, const std::string& filename,
                      tfileops& ops = tfileops::system());

}  // namespace tessal
