#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <type_traits>
#include <utility>

#include "engine/jobs/jobrunner.h"

namespace tessal {

// Thrown by tjobcontext::check() when the job was cancelled; the job line
// catches it and hands nothing back.
struct tjobcancelled {};

// What a running job sees: whether it should stop, and where to say how far
// it got. A job looks between blocks of its work, never holding a lock.
class tjobcontext {
public:
    struct tflag {
        std::atomic<bool> cancel{false};
        std::atomic<int> permille{0};
    };
    explicit tjobcontext(tflag& flag) : flag_(flag) {}

    bool cancelled() const noexcept { return flag_.cancel.load(std::memory_order_relaxed); }
    // Throws tjobcancelled when cancelled.
    void check() const {
        if (cancelled()) throw tjobcancelled{};
    }
    // How far the job got, 0 to 1 (clamped).
    void progress(double fraction) noexcept;

private:
    tflag& flag_;
};

// One view's line of work on a pool. Each start() is a request that
// supersedes the line's older ones: they are cancelled (a job stops at its
// next look) and their results are never handed back, even when they
// finish. The newest request's result, or its failure, is handed back
// through the line's delivery, which the owner gives: a window posts the
// hand-back to its own thread, so results are taken where the window lives
// and a hand-back that arrives after a newer request is dropped there.
//
// The work runs on a worker and must only read what it was given (copies
// or shared read-only slices), never the owner's members.
class tjobline {
public:
    using thandback = std::function<void()>;
    using tdelivery = std::function<void(thandback)>;
    using tfailure = std::function<void(const std::string&)>;

    // Without a delivery, hand-backs run on the worker that finished the job.
    explicit tjobline(tdelivery deliver = {}, tjobrunner& runner = tjobrunner::shared());
    // Cancels and waits until none of the line's jobs runs or delivers.
    ~tjobline();
    tjobline(const tjobline&) = delete;
    tjobline& operator=(const tjobline&) = delete;

    // Starts `work(tjobcontext&) -> R` and, if it is still the newest request
    // when it is handed back, calls `done(R)`; an exception from the work is
    // handed back to `failed` with its text (a failed allocation as "not
    // enough memory"). Returns the request's number.
    template <class W, class D>
    unsigned long long start(W work, D done, tfailure failed = {}) {
        using R = std::invoke_result_t<W&, tjobcontext&>;
        static_assert(!std::is_void_v<R>, "a job gives a result");
        auto erased = [work = std::move(work), done = std::move(done)](tjobcontext& c) mutable -> thandback {
            auto result = std::make_shared<R>(work(c));
            return [done, result]() mutable { done(std::move(*result)); };
        };
        return start_erased(std::move(erased), std::move(failed));
    }

    // Cancels the newest request: nothing more is handed back until the next.
    void cancel();
    // Until no job of the line runs (the newest's hand-back may still be
    // on its way to the owner).
    void wait() const;
    // A request whose result has not been handed back (nor cancelled).
    bool busy() const;
    // How far the newest request got, 0 to 1.
    double progress() const;
    // The newest request's number (0: none yet).
    unsigned long long newest() const;

private:
    struct tstate;
    unsigned long long start_erased(std::function<thandback(tjobcontext&)> work, tfailure failed);

    std::shared_ptr<tstate> state_;
    tdelivery deliver_;
    tjobrunner& runner_;
};

}  // namespace tessal
