// Job lines on a pool: the newest request wins, cancelled and superseded
// requests never hand anything back, failures arrive as text, and a line
// that goes away waits for its jobs. Hand-backs are queued here as a
// window's event loop would queue them, and drained by the test's thread.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <future>
#include <mutex>
#include <new>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "engine/jobs/jobline.h"
#include "engine/jobs/jobrunner.h"

using namespace tessal;

namespace {

// The owner's event loop: hand-backs posted from workers, run by drain().
struct tinbox {
    std::mutex mutex;
    std::deque<tjobline::thandback> queue;
    tjobline::tdelivery delivery() {
        return [this](tjobline::thandback h) {
            std::lock_guard lock(mutex);
            queue.push_back(std::move(h));
        };
    }
    int drain() {
        int n = 0;
        for (;;) {
            tjobline::thandback h;
            {
                std::lock_guard lock(mutex);
                if (queue.empty()) return n;
                h = std::move(queue.front());
                queue.pop_front();
            }
            h();
            ++n;
        }
    }
};

// A gate a job waits at until the test opens it.
struct tgate {
    std::promise<void> open_;
    std::shared_future<void> opened{open_.get_future().share()};
    void open() { open_.set_value(); }
    void wait() const { opened.wait(); }
};

}  // namespace

TEST(JobRunner, RunsEveryTaskOnAsManyWorkersAsAsked) {
    tjobrunner runner(3);
    EXPECT_EQ(runner.threads(), 3u);
    std::atomic<int> inside{0}, most{0}, done{0};
    tgate gate;
    for (int i = 0; i < 3; ++i)
        runner.post([&] {
            int now = ++inside;
            int m = most;
            while (now > m && !most.compare_exchange_weak(m, now)) {
            }
            gate.wait();
            --inside;
            ++done;
        });
    // All three run at once: each waits at the gate until all are in.
    while (most.load() < 3) std::this_thread::yield();
    gate.open();
    for (int i = 0; i < 100; ++i) runner.post([&] { ++done; });
    while (done.load() < 103) std::this_thread::yield();
    EXPECT_EQ(most.load(), 3);
    EXPECT_EQ(tjobrunner(0).threads(), std::max(1u, std::thread::hardware_concurrency()));
}

TEST(JobLine, ANewerRequestWinsEvenWhenTheOlderFinishesLast) {
    tjobrunner runner(2);
    tinbox inbox;
    tjobline line(inbox.delivery(), runner);
    std::vector<int> taken;
    tgate slow;
    std::atomic<bool> oldsawcancel{false}, oldstarted{false};
    line.start(
        [&](tjobcontext& c) {
            oldstarted = true;
            slow.wait();
            oldsawcancel = c.cancelled();
            return 1;  // finishes anyway, after the newer one
        },
        [&](int v) { taken.push_back(v); });
    while (!oldstarted) std::this_thread::yield();
    auto second = line.start([](tjobcontext&) { return 2; }, [&](int v) { taken.push_back(v); });
    EXPECT_EQ(line.newest(), second);
    // Let the newer one finish and be handed back first.
    while (inbox.drain() == 0) std::this_thread::yield();
    slow.open();
    line.wait();
    inbox.drain();
    EXPECT_EQ(taken, std::vector<int>{2});
    EXPECT_TRUE(oldsawcancel.load());
    EXPECT_FALSE(line.busy());
}

TEST(JobLine, AHandBackThatArrivesAfterANewerRequestIsDropped) {
    // The result was ready and posted, but the owner asked again before its
    // event loop got to it: the window must not paint the stale result.
    tjobrunner runner(1);
    tinbox inbox;
    tjobline line(inbox.delivery(), runner);
    std::vector<int> taken;
    line.start([](tjobcontext&) { return 1; }, [&](int v) { taken.push_back(v); });
    line.wait();  // posted, not yet taken
    tgate gate;
    line.start(
        [&](tjobcontext&) {
            gate.wait();
            return 2;
        },
        [&](int v) { taken.push_back(v); });
    inbox.drain();
    EXPECT_TRUE(taken.empty());
    EXPECT_TRUE(line.busy());
    gate.open();
    line.wait();
    inbox.drain();
    EXPECT_EQ(taken, std::vector<int>{2});
    EXPECT_FALSE(line.busy());
}

TEST(JobLine, CancelStopsTheJobAtItsNextLookAndHandsNothingBack) {
    tjobrunner runner(1);
    tinbox inbox;
    tjobline line(inbox.delivery(), runner);
    std::atomic<int> blocks{0};
    std::atomic<bool> started{false};
    bool taken = false, failed = false;
    line.start(
        [&](tjobcontext& c) {
            started = true;
            for (;;) {  // endless without a cancel
                c.check();
                ++blocks;
                c.progress(blocks.load() / 1e9);
                std::this_thread::sleep_for(std::chrono::microseconds(50));
            }
            return 0;
        },
        [&](int) { taken = true; }, [&](const std::string&) { failed = true; });
    while (!started) std::this_thread::yield();
    EXPECT_TRUE(line.busy());
    line.cancel();
    EXPECT_FALSE(line.busy());
    line.wait();
    EXPECT_EQ(inbox.drain(), 0);
    EXPECT_FALSE(taken);
    EXPECT_FALSE(failed);
}

TEST(JobLine, ProgressAndFailuresReachTheOwner) {
    tjobrunner runner(1);
    tinbox inbox;
    tjobline line(inbox.delivery(), runner);
    tgate half, finish;
    std::string why;
    line.start(
        [&](tjobcontext& c) {
            c.progress(0.25);
            half.open();
            finish.wait();
            c.progress(7);  // clamped
            return 0;
        },
        [](int) {});
    half.wait();
    EXPECT_DOUBLE_EQ(line.progress(), 0.25);
    finish.open();
    line.wait();
    EXPECT_DOUBLE_EQ(line.progress(), 1.0);
    inbox.drain();

    line.start([](tjobcontext&) -> int { throw std::runtime_error("the window is longer than the signal"); },
               [](int) { ADD_FAILURE(); }, [&](const std::string& w) { why = w; });
    line.wait();
    inbox.drain();
    EXPECT_EQ(why, "the window is longer than the signal");
    EXPECT_FALSE(line.busy());

    line.start([](tjobcontext&) -> int { throw std::bad_alloc(); }, [](int) { ADD_FAILURE(); },
               [&](const std::string& w) { why = w; });
    line.wait();
    inbox.drain();
    EXPECT_EQ(why, "not enough memory");

    // With no failure handler the request still closes.
    line.start([](tjobcontext&) -> int { throw std::runtime_error("x"); }, [](int) { ADD_FAILURE(); });
    line.wait();
    inbox.drain();
    EXPECT_FALSE(line.busy());
}

TEST(JobLine, ALineThatGoesAwayWaitsForItsJobsAndDropsTheirResults) {
    tjobrunner runner(2);
    tinbox inbox;
    std::atomic<bool> finished{false};
    int taken = 0;
    {
        tjobline line(inbox.delivery(), runner);
        std::atomic<bool> started{false};
        line.start(
            [&](tjobcontext& c) {
                started = true;
                while (!c.cancelled()) std::this_thread::yield();
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                finished = true;
                return 1;
            },
            [&](int) { ++taken; });
        while (!started) std::this_thread::yield();
    }
    EXPECT_TRUE(finished.load());  // the destructor waited
    inbox.drain();
    EXPECT_EQ(taken, 0);
}

TEST(JobLine, ManyRequestsFromTheOwnerHandBackOnlyTheNewest) {
    // A drag: requests come faster than the pool finishes them. However the
    // jobs interleave, at most one result per drained batch is taken, it is
    // the newest request's when taken, and the last one always arrives.
    tjobrunner runner(2);
    tinbox inbox;
    tjobline line(inbox.delivery(), runner);
    int last = -1, takencount = 0;
    bool stale = false;
    for (int i = 0; i < 2000; ++i) {
        line.start(
            [i](tjobcontext& c) {
                long long s = 0;
                for (int k = 0; k < 2000 && !c.cancelled(); ++k) s += k;
                return i + static_cast<int>(s * 0);
            },
            [&, i](int v) {
                if (v != i || v < last) stale = true;
                last = v;
                ++takencount;
            });
        if (i % 7 == 0) inbox.drain();
    }
    line.wait();
    inbox.drain();
    EXPECT_FALSE(stale);
    EXPECT_EQ(last, 1999);
    EXPECT_LE(takencount, 2000 / 7 + 2);
    EXPECT_FALSE(line.busy());
}

TEST(JobLine, LinesOnOnePoolDoNotSupersedeEachOther) {
    tjobrunner runner(2);
    tinbox inbox;
    tjobline a(inbox.delivery(), runner), b(inbox.delivery(), runner);
    int fromA = 0, fromB = 0;
    a.start([](tjobcontext&) { return 1; }, [&](int v) { fromA = v; });
    b.start([](tjobcontext&) { return 2; }, [&](int v) { fromB = v; });
    a.wait();
    b.wait();
    inbox.drain();
    EXPECT_EQ(fromA, 1);
    EXPECT_EQ(fromB, 2);
}
