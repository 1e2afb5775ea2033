#include "engine/history/appendfile.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "engine/history/bytecodec.h"
#include "engine/formats/regularfile.h"

namespace tessal {

namespace {

constexpr std::uint32_t recordmagic = 0x4A524543;  // "CERJ"
constexpr std::size_t maxrecord = std::size_t(1) << 36;

}  // namespace

tappendfile::tappendfile(const std::string& path, std::string_view magic) : path_(path) {
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd_ < 0) throw std::runtime_error("Cannot create " + path);
    queue_.push_back({std::vector<std::uint8_t>(magic.begin(), magic.end()), nullptr});
    thread_ = std::thread([this] { run(); });
}

tappendfile::~tappendfile() {
    {
        std::lock_guard<std::mutex> lock(m_);
        stop_ = true;
    }
    cv_.notify_all();
    if (thread_.joinable()) thread_.join();
    if (fd_ >= 0) ::close(fd_);
}

void tappendfile::append(std::vector<std::uint8_t> payload) {
    tbytewriter w;
    w.raw(recordmagic);
    w.u64(payload.size());
    w.u64(fnv1a(payload.data(), payload.size()));
    {
        std::lock_guard<std::mutex> lock(m_);
        if (fd_ < 0) return;
        // The frame and its payload are written one after the other.
        queue_.push_back({std::move(w.b), nullptr, false});
        queue_.push_back({std::move(payload), nullptr, true});
    }
    cv_.notify_all();
}

void tappendfile::after_written(std::function<void()> action) {
    {
        std::lock_guard<std::mutex> lock(m_);
        if (fd_ >= 0) {
            queue_.push_back({{}, std::move(action)});
            action = nullptr;
        }
    }
    if (action) {
        action();  // nothing is being written
        return;
    }
    cv_.notify_all();
}

void tappendfile::run() {
    std::unique_lock<std::mutex> lock(m_);
    for (;;) {
        cv_.wait(lock, [this] { return stop_ || !queue_.empty(); });
        if (queue_.empty()) {
            if (stop_) return;
            continue;
        }
        titem item = std::move(queue_.front());
        queue_.pop_front();
        busy_ = true;
        const int fd = fd_;
        lock.unlock();
        std::size_t at = 0;
        while (fd >= 0 && at < item.bytes.size()) {
            const ssize_t k = ::write(fd, item.bytes.data() + at, item.bytes.size() - at);
            if (k <= 0) break;  // a full disk: the file ends here
            at += static_cast<std::size_t>(k);
        }
        if (fd >= 0 && item.sync && !item.bytes.empty()) ::fdatasync(fd);
        if (item.action) {
            try {
                item.action();
            } catch (...) {
            }
        }
        lock.lock();
        busy_ = false;
        idle_.notify_all();
    }
}

void tappendfile::flush() {
    std::unique_lock<std::mutex> lock(m_);
    idle_.wait(lock, [this] { return queue_.empty() && !busy_; });
}

void tappendfile::discard() {
    std::deque<titem> dropped;
    {
        std::lock_guard<std::mutex> lock(m_);
        dropped.swap(queue_);
        stop_ = true;
    }
    cv_.notify_all();
    if (thread_.joinable()) thread_.join();
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    std::error_code ec;
    std::filesystem::remove(path_, ec);
    // What waited for records that now are never written still runs: the
    // file is gone, so nothing is left to wait for.
    for (titem& item : dropped)
        if (item.action) {
            try {
                item.action();
            } catch (...) {
            }
        }
}

tframedrecords read_framed(const std::string& path, std::string_view magic) {
    // Record by record, so that a long recording in the file is held once.
    tframedrecords out;
    if (!regular_file_problem(path).empty()) return out;
    std::ifstream f(path, std::ios::binary);
    std::error_code ec;
    const std::uint64_t size = std::filesystem::file_size(path, ec);
    if (!f || ec) return out;
    std::string head(magic.size(), '\0');
    if (!f.read(head.data(), static_cast<std::streamsize>(head.size())) || head != magic) return out;
    out.readable = true;
    std::uint64_t at = magic.size();
    for (;;) {
        std::uint8_t frame[20];
        if (!f.read(reinterpret_cast<char*>(frame), sizeof frame)) break;
        tbytereader r{frame, sizeof frame};
        if (r.raw<std::uint32_t>() != recordmagic) break;
        const std::uint64_t n = r.u64(), sum = r.u64();
        if (n > maxrecord || n > size - at - sizeof frame) break;
        std::vector<std::uint8_t> payload;
        try {
            payload.resize(n);
        } catch (const std::bad_alloc&) {
            break;
        }
        if (!f.read(reinterpret_cast<char*>(payload.data()), static_cast<std::streamsize>(n))) break;
        if (fnv1a(payload.data(), n) != sum) break;
        out.records.push_back(std::move(payload));
        at += sizeof frame + n;
    }
    out.lostbytes = size > at ? size - at : 0;
    return out;
}

std::vector<std::string> files_oldest_first(const std::string& folder, const std::string& extension) {
    namespace fs = std::filesystem;
    std::vector<std::pair<fs::file_time_type, std::string>> found;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder, ec))
        if (e.path().extension() == extension) found.emplace_back(e.last_write_time(ec), e.path().string());
    std::sort(found.begin(), found.end());
    std::vector<std::string> out;
    for (auto& f : found) out.push_back(std::move(f.second));
    return out;
}

}  // namespace tessal
