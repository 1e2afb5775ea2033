#include "engine/jobs/jobrunner.h"

#include <algorithm>

#ifdef __linux__
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace tessal {

tjobrunner::tjobrunner(unsigned threads) {
    if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
    workers_.reserve(threads);
    for (unsigned i = 0; i < threads; ++i) workers_.emplace_back([this] { work(); });
}

tjobrunner::~tjobrunner() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        tasks_.clear();
    }
    wake_.notify_all();
    for (auto& w : workers_) w.join();
}

tjobrunner& tjobrunner::shared() {
    static tjobrunner runner;
    return runner;
}

void tjobrunner::post(std::function<void()> task) {
    {
        std::lock_guard lock(mutex_);
        if (stopping_) return;
        tasks_.push_back(std::move(task));
    }
    wake_.notify_one();
}

std::size_t tjobrunner::queued() const {
    std::lock_guard lock(mutex_);
    return tasks_.size();
}

void tjobrunner::lower_priority() {
#ifdef __linux__
    // Linux keeps a nice value per thread: this worker's alone goes up by
    // ten (at most to 19). A refusal leaves it as it was.
    const auto tid = static_cast<id_t>(::syscall(SYS_gettid));
    errno = 0;
    const int now = ::getpriority(PRIO_PROCESS, tid);
    if (errno != 0) return;
    (void)::setpriority(PRIO_PROCESS, tid, std::min(19, now + worker_nice_step));
#endif
}

void tjobrunner::work() {
    lower_priority();
    for (;;) {
        std::function<void()> task;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !tasks_.empty(); });
            if (tasks_.empty()) return;  // stopping
            task = std::move(tasks_.front());
            tasks_.pop_front();
        }
        try {
            task();
        } catch (...) {
        }
    }
}

}  // namespace tessal
