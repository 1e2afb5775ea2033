// tappendfile: an append-only file of framed records, written on its own
// thread so that appending never waits for the disk. The journal and the
// recording spool are such files.
//
// The file starts with an 8-byte magic; each record is framed with a fixed
// marker, its length and an FNV-1a checksum, and every write is followed by
// fdatasync. read_framed() reads the records back up to the first one that
// is cut short or damaged and says how many bytes lie after it.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace tessal {

class tappendfile {
public:
    // Creates (or empties) `path` and writes `magic` (8 bytes). Throws
    // std::runtime_error when it cannot.
    tappendfile(const std::string& path, std::string_view magic);
    ~tappendfile();  // writes what is queued; the file stays
    tappendfile(const tappendfile&) = delete;
    tappendfile& operator=(const tappendfile&) = delete;

    const std::string& path() const { return path_; }
    // The payload is moved into the queue, never copied: a long recording
    // in one record is held once.
    void append(std::vector<std::uint8_t> payload);
    // Runs `action` on the writing thread once every record appended before
    // it is on disk (or could not be written); when the file is discarded
    // first, discard() runs it.
    void after_written(std::function<void()> action);
    // Waits until every record is on disk.
    void flush();
    // Stops writing and deletes the file; the actions still waiting for
    // records run on the calling thread.
    void discard();

private:
    struct titem {
        std::vector<std::uint8_t> bytes;
        std::function<void()> action;
        bool sync = true;  // fdatasync after writing
    };
    void run();

    std::string path_;
    int fd_ = -1;
    std::mutex m_;
    std::condition_variable cv_, idle_;
    std::deque<titem> queue_;
    bool stop_ = false, busy_ = false;
    std::thread thread_;
};

// The bytes framing each record: marker, length and checksum.
inline constexpr std::uint64_t framed_record_overhead = 4 + 8 + 8;

struct tframedrecords {
    std::vector<std::vector<std::uint8_t>> records;
    std::uint64_t lostbytes = 0;  // bytes after the last whole record
    bool readable = false;        // the file starts with the magic
};
tframedrecords read_framed(const std::string& path, std::string_view magic);

// The files in `folder` whose names end in `extension` (".tjournal"),
// oldest first.
std::vector<std::string> files_oldest_first(const std::string& folder, const std::string& extension);

}  // namespace tessal
