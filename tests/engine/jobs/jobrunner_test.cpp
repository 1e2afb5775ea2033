// The pool's workers give way to the thread that made the pool: on Linux
// each worker's nice value is that thread's plus ten (at most 19), read
// back from the kernel by a task on the worker; the making thread keeps
// its own.
#include <gtest/gtest.h>

#include <algorithm>
#include <future>

#include "engine/jobs/jobrunner.h"

#ifdef __linux__
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#endif

using namespace tessal;

#ifdef __linux__
namespace {

int own_nice() {
    errno = 0;
    const int n = ::getpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)));
    EXPECT_EQ(errno, 0);
    return n;
}

}  // namespace

TEST(JobRunner, WorkersRunNicerThanTheThreadThatMadeThem) {
    const int mine = own_nice();
    std::promise<int> a, b;
    // Two tasks that wait for each other run on both workers at once.
    std::promise<void> gate;
    std::shared_future<void> open = gate.get_future().share();
    // The pool goes first, joining its workers, while the promises and the
    // future they still look at are alive.
    tjobrunner pool(2);
    pool.post([&] {
        a.set_value(own_nice());
        open.wait();
    });
    pool.post([&] {
        b.set_value(own_nice());
        open.wait();
    });
    const int na = a.get_future().get(), nb = b.get_future().get();
    gate.set_value();
    const int expected = std::min(19, mine + tjobrunner::worker_nice_step);
    EXPECT_EQ(na, expected);
    EXPECT_EQ(nb, expected);
    // Only the workers moved.
    EXPECT_EQ(own_nice(), mine);
}
#endif
