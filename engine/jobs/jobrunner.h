#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace tessal {

// A fixed pool of worker threads taking tasks first in, first out. Tasks
// are plain functions; cancelling, progress and handing results back are
// the job lines' business (jobline.h). A task that throws is caught and
// forgotten: a job line wraps its work so that never happens unseen.
//
// The workers run at a lower priority than the thread that made the pool
// (on Linux, nice raised by worker_nice_step for each worker thread), so
// that a window's thread, which hands them the work, wins the cores while
// they compute.
class tjobrunner {
public:
    static constexpr int worker_nice_step = 10;

    // `threads` workers; 0: as many as the machine has cores (at least one).
    explicit tjobrunner(unsigned threads = 0);
    // Runs no task that has not started, waits for the running ones.
    ~tjobrunner();
    tjobrunner(const tjobrunner&) = delete;
    tjobrunner& operator=(const tjobrunner&) = delete;

    // The program's pool, made on first use.
    static tjobrunner& shared();

    void post(std::function<void()> task);
    unsigned threads() const { return static_cast<unsigned>(workers_.size()); }
    // Tasks waiting for a worker (not counting the running ones).
    std::size_t queued() const;

private:
    static void lower_priority();
    void work();

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> tasks_;
    bool stopping_ = false;
    std::vector<std::thread> workers_;
};

}  // namespace tessal
