#pragma once

#include <algorithm>
#include <chrono>

namespace tessal {

// The time a view's own thread may spend on work it does at once, before
// what is left goes to its job line: started when an update begins and
// shared by everything that update computes there. Work looks at spent()
// between small steps (a column, a channel) and stops as soon as it is.
// A budget of 0 is spent from the start: everything goes to the line.
class ttimebudget {
public:
    using clock = std::chrono::steady_clock;
    // The default: what a window's thread may hold up its event loop for
    // and still answer the next mouse move at once.
    static constexpr double default_ms = 8;

    explicit ttimebudget(double ms = default_ms) : ms_(std::max(0.0, ms)) { restart(); }

    double ms() const { return ms_; }
    void set_ms(double ms) { ms_ = std::max(0.0, ms); }
    // A new update: the whole budget again, from now.
    void restart() {
        deadline_ = clock::now() + std::chrono::duration_cast<clock::duration>(
                                       std::chrono::duration<double, std::milli>(ms_));
    }
    bool spent() const { return ms_ <= 0 || clock::now() >= deadline_; }

private:
    double ms_;
    clock::time_point deadline_;
};

}  // namespace tessal
