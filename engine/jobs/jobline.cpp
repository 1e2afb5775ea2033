#include "engine/jobs/jobline.h"

#include <algorithm>
#include <exception>
#include <new>

namespace tessal {

void tjobcontext::progress(double fraction) noexcept {
    if (!(fraction > 0)) fraction = 0;
    fraction = std::min(fraction, 1.0);
    flag_.permille.store(static_cast<int>(fraction * 1000 + 0.5), std::memory_order_relaxed);
}

struct tjobline::tstate {
    mutable std::mutex mutex;
    mutable std::condition_variable idle;
    unsigned long long newest = 0;  // the newest request
    unsigned long long closed = 0;  // requests up to this one are handed back or cancelled
    int pending = 0;                // jobs posted and not yet through their delivery
    bool alive = true;              // the line still exists
    std::shared_ptr<tjobcontext::tflag> flag;  // the newest request's
};

tjobline::tjobline(tdelivery deliver, tjobrunner& runner)
    : state_(std::make_shared<tstate>()), deliver_(std::move(deliver)), runner_(runner) {}

tjobline::~tjobline() {
    cancel();
    wait();
    std::lock_guard lock(state_->mutex);
    state_->alive = false;
}

unsigned long long tjobline::start_erased(std::function<thandback(tjobcontext&)> work, tfailure failed) {
    auto flag = std::make_shared<tjobcontext::tflag>();
    unsigned long long id;
    {
        std::lock_guard lock(state_->mutex);
        if (state_->flag) state_->flag->cancel = true;
        state_->flag = flag;
        id = ++state_->newest;
        ++state_->pending;
    }
    auto st = state_;
    auto deliver = deliver_;
    runner_.post([st, flag, id, deliver, work = std::move(work), failed = std::move(failed)]() mutable {
        thandback back;
        if (!flag->cancel) {
            tjobcontext c(*flag);
            try {
                back = work(c);
            } catch (const tjobcancelled&) {
            } catch (const std::bad_alloc&) {
                if (failed) back = [failed] { failed("not enough memory"); };
            } catch (const std::exception& e) {
                if (failed) back = [failed, what = std::string(e.what())] { failed(what); };
            } catch (...) {
                if (failed) back = [failed] { failed("the computation failed"); };
            }
            // Even a job that gives nothing closes its request, so the line
            // is no longer busy with it.
            if (!back) back = [] {};
        }
        if (back && !flag->cancel) {
            thandback guarded = [st, id, back = std::move(back)] {
                {
                    std::lock_guard lock(st->mutex);
                    if (!st->alive || st->newest != id || st->closed >= id) return;
                    st->closed = id;
                }
                back();
            };
            try {
                if (deliver)
                    deliver(std::move(guarded));
                else
                    guarded();
            } catch (...) {
            }
        }
        std::lock_guard lock(st->mutex);
        --st->pending;
        st->idle.notify_all();
    });
    return id;
}

void tjobline::cancel() {
    std::lock_guard lock(state_->mutex);
    if (state_->flag) state_->flag->cancel = true;
    state_->closed = state_->newest;
}

void tjobline::wait() const {
    std::unique_lock lock(state_->mutex);
    state_->idle.wait(lock, [&] { return state_->pending == 0; });
}

bool tjobline::busy() const {
    std::lock_guard lock(state_->mutex);
    return state_->closed < state_->newest;
}

double tjobline::progress() const {
    std::lock_guard lock(state_->mutex);
    return state_->flag ? state_->flag->permille.load(std::memory_order_relaxed) / 1000.0 : 0.0;
}

unsigned long long tjobline::newest() const {
    std::lock_guard lock(state_->mutex);
    return state_->newest;
}

}  // namespace tessal
