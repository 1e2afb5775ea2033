// For the tests of computations that run on a worker with a tjobcontext:
// the progress such a computation reports, watched from the test's thread,
// and a cancel sent once it has started reporting.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>
#include <vector>

#include "engine/jobs/jobline.h"

namespace tessal::testing {

// Runs work(job) on a thread and reads the job's progress (per mille) every
// `period` until it returns; the readings in order, the last one taken
// after it returned.
inline std::vector<int> progress_seen(const std::function<void(tjobcontext&)>& work,
                                      std::chrono::microseconds period) {
    tjobcontext::tflag flag;
    tjobcontext job(flag);
    std::vector<int> seen;
    std::atomic<bool> finished{false};
    std::thread worker([&] {
        work(job);
        finished = true;
    });
    while (!finished) {
        seen.push_back(flag.permille.load());
        std::this_thread::sleep_for(period);
    }
    worker.join();
    seen.push_back(flag.permille.load());
    return seen;
}

// How a computation ended that was cancelled as soon as it reported any
// progress: whether it stopped with tjobcancelled, and how far it had got.
struct tcancelrun {
    bool cancelled = false;
    int permille = 0;
};
inline tcancelrun cancel_once_started(const std::function<void(tjobcontext&)>& work) {
    tjobcontext::tflag flag;
    tjobcontext job(flag);
    tcancelrun r;
    std::thread worker([&] {
        try {
            work(job);
        } catch (const tjobcancelled&) {
            r.cancelled = true;
        }
    });
    while (flag.permille.load() == 0) std::this_thread::yield();
    flag.cancel = true;
    worker.join();
    r.permille = flag.permille.load();
    return r;
}

}  // namespace tessal::testing
