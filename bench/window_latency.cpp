// tessal-latency: how long the program's windows keep the event loop from
// answering while a user works through a long file. Run by
// bench/window_latency.sh (which makes the file, gives the run private
// HOME and XDG folders and deletes the file); not a test, not run by CTest.
//
//   tessal-latency FILE [--drags N] [--clicks N] [--per-window [N]]
//                  [--event-timeout S] [--timeout S] [--probe-ms MS]
//                  [--trace [MS]]
//
// What it does. The main window opens FILE as at start-up (1280x800, on
// the offscreen platform or whatever QT_QPA_PLATFORM says), then runs the
// menu commands that open the spectrum, spectrogram, correlation,
// correlogram, histogram and xy-plot windows, and clicks the spectrum
// window's LTAS "Selection" button. It then drives the signal panel with
// real mouse events (QTest press, move and release on a channel's waveform
// widget, delivered as the window system delivers them): N selection drags
// (8 moves 16 ms apart between press and release) and N time-cursor moves
// (a click: a selection of no length), interleaved, 150 ms apart, at
// places spread over the whole file in a shuffled order (fixed seed: every
// run is the same), the drags log-uniformly from 50 ms to 6 minutes long
// (at most a quarter of the file). A drag too short to be seen at the
// whole-file view first zooms in as a user does it, by a drag over a wider
// span and the "Zoom" command (as often as needed), and afterwards "Zoom
// back" as often. Only the counted drags and clicks are events in the
// "events done" count; the zoom drags and commands are stalled on as well.
//
// How stalls are measured. A second thread posts a probe event to an
// object of the window's thread every MS milliseconds (2 by default) at a
// steady rate, whatever the window's thread is doing, each stamped with
// its posting time, at normal priority (behind what was posted before it,
// as a user's input would be). When the window's thread handles a probe,
// handling time minus posting time is that probe's wait. A probe posted
// while no earlier probe was waiting starts a stall: its wait is the stall
// (to within MS, the time between the loop's last answer and the probe's
// posting). So:
//   longest   the longest wait of any probe (the longest stall)
//   p99       the 99th percentile of every probe's wait: as the probes
//             come at a steady rate, the wait that 99% of input arriving
//             at random moments would stay under (time weighted: a stall
//             of 1 s is 500 probes, not one)
//   >100ms    the number of stalls (first probes of a pile-up) over 100 ms
//   busy      the sum of the stalls over 20 ms, in seconds
// One line a phase: "open" (opening the windows) and "drive" (the events);
// after "drive", how long the events take by their own pacing (the run's
// length had nothing stalled), the median of the events' longest stalls
// (drags and clicks apart) and the five events with the longest stalls.
// First, as a check of the meter itself, the window's thread is blocked
// for 50, 150 and 400 ms and the stalls measured over 30 ms are printed:
// each must come back within a probe period below its length.
// With --per-window [N] the drive runs first with the main window alone and
// with each tool window alone (N drags and N clicks each, 50 by default),
// then with all of them open.
//
// Tracing. With --trace [MS] (50 by default) every event the window's
// thread handles is timed as the application delivers it (notify), nested
// deliveries too (a widget's paint inside its window's update request),
// and each stall longer than MS is printed as it ends, with the deliveries
// of 1 ms or more that ran during it (the twelve longest, in the order they
// began, indented by nesting): their time, event type, receiver class,
// object name and the receiver's parent's class, e.g.
//   stall 63.2 ms (drive, drag 17 of 400, 1203.10-1203.21 s):
//     41.0 ms  Paint  TSpegCanvas "spegpaint3" in QWidget
// so that a stall is attributed to the window and the work that made it.
//
// Timeouts. The probe thread also watches: when one probe has waited
// longer than --event-timeout (120 s) or the whole run takes longer than
// --timeout (1800 s), it prints the figures so far, the line
//   stopped after T s: K of M events done (<what was running>)
// and ends the program with exit code 3. Exit 2: bad arguments or the file
// did not open.
#include <QAbstractButton>
#include <QAction>
#include <QCoreApplication>
#include <QEvent>
#include <QMetaEnum>
#include <QThread>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "engine/core/prompter.h"
#include "engine/core/tdocument.h"
#include "gui/commands/commandregistry.h"
#include "gui/commands/guardedapplication.h"
#include "gui/mainwindow/mainwindow.h"
#include "gui/settings/tmainsettings.h"
#include "gui/view/channelstrip.h"
#include "gui/view/signalpanel.h"
#include "gui/view/waveformview.h"

using namespace tessal;
using clk = std::chrono::steady_clock;

namespace {

double seconds_between(clk::time_point a, clk::time_point b) {
    return std::chrono::duration<double>(b - a).count();
}

// ------------------------------------------------------------ the tracer

// One delivery of an event on the window's thread.
struct tdelivered {
    clk::time_point start, end;
    int depth = 0;
    int type = 0;
    const char* cls = "";
    const char* parent = "";
    QString name;
};

// Deliveries of at least `shortest` on the window's thread, kept until the
// probes have moved past them.
class ttracer {
public:
    explicit ttracer(double stall_ms) : stall_ms_(stall_ms) {}
    double stall_ms() const { return stall_ms_; }
    void set_context(std::string s) { context_ = std::move(s); }

    // Around one delivery (notify); only the window's thread comes here.
    // What is known of the receiver is read before the delivery, which
    // may delete it.
    void begin() { ++depth_; }
    void end(tdelivered d) {
        --depth_;
        if (d.end - d.start < shortest) return;
        d.depth = depth_;
        kept_.push_back(std::move(d));
    }

    // A stall of `wait_ms` that began at `from` ended now: what ran in it.
    // Deliveries that ended before `from` are dropped either way.
    void stall(clk::time_point from, clk::time_point to, double wait_ms) {
        // Kept in the order they ended.
        while (!kept_.empty() && kept_.front().end < from) kept_.pop_front();
        if (wait_ms <= stall_ms_) return;
        std::vector<const tdelivered*> in;
        for (const tdelivered& d : kept_)
            if (d.end > from && d.start < to) in.push_back(&d);
        std::sort(in.begin(), in.end(), [](auto* a, auto* b) { return a->end - a->start > b->end - b->start; });
        if (in.size() > 12) in.resize(12);
        std::sort(in.begin(), in.end(), [](auto* a, auto* b) { return a->start < b->start; });
        std::printf("stall %.1f ms (%s):\n", wait_ms, context_.c_str());
        const QMetaEnum types = QMetaEnum::fromType<QEvent::Type>();
        for (const tdelivered* d : in) {
            const char* t = types.valueToKey(d->type);
            char tn[24];
            if (!t) {
                std::snprintf(tn, sizeof tn, "event %d", d->type);
                t = tn;
            }
            std::printf("    %*s%6.1f ms  %s  %s \"%s\"%s%s\n", 2 * d->depth, "",
                        1e3 * seconds_between(d->start, d->end), t, d->cls, d->name.toUtf8().constData(),
                        *d->parent ? " in " : "", d->parent);
        }
        if (in.empty()) std::printf("    (no delivery of 1 ms or more: the time went between events)\n");
        std::fflush(stdout);
    }

private:
    static constexpr auto shortest = std::chrono::milliseconds(1);
    double stall_ms_;
    int depth_ = 0;
    std::deque<tdelivered> kept_;
    std::string context_;
};

ttracer* tracer = nullptr;

// The program's application with every delivery on its own thread timed
// for the tracer (when there is one).
class ttracedapplication : public tguardedapplication {
public:
    using tguardedapplication::tguardedapplication;
    bool notify(QObject* receiver, QEvent* e) override {
        if (!tracer || !receiver || QThread::currentThread() != thread()) return tguardedapplication::notify(receiver, e);
        struct tguard {
            tdelivered d;
            ~tguard() {
                d.end = clk::now();
                tracer->end(std::move(d));
            }
        } g;
        g.d.type = static_cast<int>(e->type());
        g.d.cls = receiver->metaObject()->className();
        g.d.parent = receiver->parent() ? receiver->parent()->metaObject()->className() : "";
        g.d.name = receiver->objectName();
        tracer->begin();
        g.d.start = clk::now();
        return tguardedapplication::notify(receiver, e);
    }
};

// ------------------------------------------------------------ the meter

const QEvent::Type probetype = static_cast<QEvent::Type>(QEvent::registerEventType());

struct tprobeevent : QEvent {
    explicit tprobeevent(std::size_t s) : QEvent(probetype), seq(s) {}
    std::size_t seq;
};

// One probe: when it was posted, how long it waited (-1 while waiting) and
// whether it started a stall.
struct tprobe {
    clk::time_point posted;
    double wait_ms = -1;
    bool head = false;
};

struct tfigures {
    std::size_t probes = 0;
    double longest_ms = 0;
    double p99_ms = 0;
    int over100 = 0;
    double busy_s = 0;
};

class tmeter : public QObject {
public:
    tmeter(double period_ms, double event_timeout_s, double timeout_s)
        : period_(period_ms), event_timeout_(event_timeout_s), timeout_(timeout_s), start_(clk::now()) {}
    ~tmeter() override { stop(); }

    void start() { thread_ = std::thread([this] { run(); }); }
    void stop() {
        stopping_ = true;
        if (thread_.joinable()) thread_.join();
    }

    // What the run is doing, for the timeout's report.
    void set_doing(std::string s) {
        std::lock_guard lk(m_);
        doing_ = std::move(s);
    }
    std::string doing() {
        std::lock_guard lk(m_);
        return doing_;
    }
    void set_progress(int done, int total) {
        done_ = done;
        total_ = total;
    }
    // Probes posted so far: phases are ranges of these.
    std::size_t mark() {
        std::lock_guard lk(m_);
        return probes_.size();
    }
    // Figures over the probes [from, to) that have been handled; a probe
    // still waiting counts with its wait so far.
    tfigures figures(std::size_t from, std::size_t to) {
        std::lock_guard lk(m_);
        return figures_locked(from, to, clk::now());
    }
    // The stalls (waits of the probes that started one) over min_ms among
    // the probes [from, to), in order.
    std::vector<double> stalls(std::size_t from, std::size_t to, double min_ms) {
        std::lock_guard lk(m_);
        std::vector<double> out;
        for (std::size_t i = from; i < std::min(to, probes_.size()); ++i)
            if (probes_[i].head && probes_[i].wait_ms > min_ms) out.push_back(probes_[i].wait_ms);
        return out;
    }
    double elapsed() const { return seconds_between(start_, clk::now()); }
    // The line the timeout prints after the figures; set by main.
    std::function<void(std::size_t, const tfigures&)> on_timeout;
    std::size_t phasestart = 0;

protected:
    bool event(QEvent* e) override {
        if (e->type() != probetype) return QObject::event(e);
        const auto now = clk::now();
        clk::time_point posted;
        double wait = 0;
        bool head = false;
        {
            std::lock_guard lk(m_);
            tprobe& p = probes_[static_cast<tprobeevent*>(e)->seq];
            p.wait_ms = 1e3 * seconds_between(p.posted, now);
            ++handled_;
            posted = p.posted;
            wait = p.wait_ms;
            head = p.head;
        }
        if (tracer && head) {
            tracer->set_context(doing());
            tracer->stall(posted, now, wait);
        }
        return true;
    }

private:
    tfigures figures_locked(std::size_t from, std::size_t to, clk::time_point now) const {
        tfigures f;
        std::vector<double> waits;
        to = std::min(to, probes_.size());
        for (std::size_t i = from; i < to; ++i) {
            const tprobe& p = probes_[i];
            const double w = p.wait_ms >= 0 ? p.wait_ms : 1e3 * seconds_between(p.posted, now);
            waits.push_back(w);
            f.longest_ms = std::max(f.longest_ms, w);
            if (p.head && w > 100) ++f.over100;
            if (p.head && w > 20) f.busy_s += w / 1e3;
        }
        f.probes = waits.size();
        if (!waits.empty()) {
            const std::size_t k = std::min(waits.size() - 1, static_cast<std::size_t>(std::ceil(0.99 * waits.size())) - 1);
            std::nth_element(waits.begin(), waits.begin() + static_cast<std::ptrdiff_t>(k), waits.end());
            f.p99_ms = waits[k];
        }
        return f;
    }

    void run() {
        auto next = clk::now();
        const auto period = std::chrono::duration_cast<clk::duration>(std::chrono::duration<double, std::milli>(period_));
        while (!stopping_) {
            std::size_t seq;
            {
                std::lock_guard lk(m_);
                seq = probes_.size();
                tprobe p;
                p.posted = clk::now();
                p.head = handled_ == seq;  // nothing else waiting
                probes_.push_back(p);
            }
            QCoreApplication::postEvent(this, new tprobeevent(seq), Qt::NormalEventPriority);
            next += period;
            const auto now = clk::now();
            if (next < now) next = now;
            std::this_thread::sleep_until(next);
            check_timeouts();
        }
    }

    void check_timeouts() {
        std::unique_lock lk(m_);
        const auto now = clk::now();
        double oldest = 0;
        if (handled_ < probes_.size()) oldest = seconds_between(probes_[handled_].posted, now);
        const double total = seconds_between(start_, now);
        if (oldest <= event_timeout_ && total <= timeout_) return;
        const tfigures f = figures_locked(phasestart, probes_.size(), now);
        const std::string doing = doing_;
        lk.unlock();
        if (on_timeout) on_timeout(probes_.size(), f);
        std::printf("stopped after %.0f s: %d of %d events done (%s%s)\n", total, done_.load(), total_.load(),
                    oldest > event_timeout_ ? "the event loop stalled beyond the event timeout in: "
                                            : "the overall timeout passed in: ",
                    doing.c_str());
        std::fflush(stdout);
        std::_Exit(3);
    }

    double period_, event_timeout_, timeout_;
    clk::time_point start_;
    std::thread thread_;
    std::atomic<bool> stopping_{false};
    std::mutex m_;
    std::deque<tprobe> probes_;  // stable under push_back
    std::size_t handled_ = 0;
    std::string doing_;
    std::atomic<int> done_{0}, total_{0};
};

void print_figures(const char* phase, const std::string& windows, const tfigures& f, double secs,
                   int done, int total) {
    std::printf("%-6s %-28s events %4d/%-4d time %8.1f s  longest %9.1f ms  p99 %8.1f ms  >100ms %5d  busy %7.1f s  probes %d\n",
                phase, windows.c_str(), done, total, secs, f.longest_ms, f.p99_ms, f.over100, f.busy_s,
                static_cast<int>(f.probes));
    std::fflush(stdout);
}

// ------------------------------------------------------------ the driver

// The windows opened, by their menu command, and their short names.
struct ttool {
    const char* key;      // the window set's key
    const char* command;  // the menu command that opens it
    const char* name;
};
const ttool tools[] = {
    {"spectrum", "spectrumaction", "spectrum"},
    {"spectrogram", "spectrogramaction", "spectrogram"},
    {"correlation", "correlationaction", "correlation"},
    {"correlogram", "correlogramaction", "correlogram"},
    {"histograms", "histogramsaction", "histograms"},
    {"xyplot", "xyplotaction", "xyplot"},
};

struct taction {
    bool drag = false;
    double from = 0;  // seconds
    double to = 0;    // the drag's end
    int strip = 0;
};

// N drags and N clicks, interleaved, spread over [0, total) in shuffled order.
std::vector<taction> make_actions(int ndrags, int nclicks, double total, int nstrips, unsigned seed) {
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> u(0, 1);
    auto spread = [&](int n) {
        std::vector<double> at(n);
        for (int i = 0; i < n; ++i) at[i] = (i + u(rng)) / n;
        std::shuffle(at.begin(), at.end(), rng);
        return at;
    };
    const std::vector<double> dragat = spread(ndrags), clickat = spread(nclicks);
    const double shortest = 0.05, longest = std::max(shortest, std::min(360.0, total / 4));
    std::vector<taction> out;
    for (int i = 0; i < std::max(ndrags, nclicks); ++i) {
        if (i < ndrags) {
            taction a;
            a.drag = true;
            const double len = shortest * std::pow(longest / shortest, u(rng));
            a.from = dragat[i] * std::max(0.0, total - len);
            a.to = a.from + len;
            if (u(rng) < 0.5) std::swap(a.from, a.to);  // dragged leftwards
            a.strip = static_cast<int>(rng() % static_cast<unsigned>(std::max(1, nstrips)));
            out.push_back(a);
        }
        if (i < nclicks) {
            taction a;
            a.from = a.to = clickat[i] * total;
            a.strip = static_cast<int>(rng() % static_cast<unsigned>(std::max(1, nstrips)));
            out.push_back(a);
        }
    }
    return out;
}

// Runs the actions one step at a time from the event loop: each step is a
// timer's callback, so whatever the windows post in answer runs between
// steps as it would between a user's mouse events.
class tdriver {
public:
    tdriver(TMainWindow& w, tmeter& meter) : w_(w), doc_(w.document()), meter_(meter) {}

    // Runs the actions and returns when they are done.
    void run(const std::vector<taction>& actions) {
        actions_ = actions;
        next_ = 0;
        paced_ms_ = 0;
        worst_.clear();
        done_ = 0;
        meter_.set_progress(0, static_cast<int>(actions_.size()));
        QEventLoop loop;
        finished_ = [&loop] { loop.quit(); };
        QTimer::singleShot(0, [this] { step(); });
        loop.exec();
    }

private:
    static constexpr int move_ms = 16;    // between a drag's moves
    static constexpr int pause_ms = 150;  // between actions
    static constexpr int moves = 8;

    twaveformview* wave(int strip) {
        tsignalpanel* p = w_.signalpanel();
        return p->strip(std::min(strip, p->stripcount() - 1)).wave;
    }
    int pixel(double t) const { return static_cast<int>(std::lround(doc_.xaxis.value_to_pixel(t))); }

    // A press at `a`, moves to `b` and a release there, on one strip.
    void queue_drag(int strip, double a, double b) {
        queue(0, [this, strip, a] {
            twaveformview* v = wave(strip);
            QTest::mousePress(v, Qt::LeftButton, {}, QPoint(pixel(a), v->height() / 2));
        });
        for (int k = 1; k <= moves; ++k)
            queue(move_ms, [this, strip, a, b, k] {
                twaveformview* v = wave(strip);
                QTest::mouseMove(v, QPoint(pixel(a + (b - a) * k / moves), v->height() / 2));
            });
        queue(move_ms, [this, strip, b] {
            twaveformview* v = wave(strip);
            QTest::mouseRelease(v, Qt::LeftButton, {}, QPoint(pixel(b), v->height() / 2));
        });
    }
    void queue_command(int delay, const char* id) {
        queue(delay, [this, id] {
            w_.commands().refresh();
            if (QAction* act = w_.commands().action(id)) act->trigger();
        });
    }
    void queue(int delay, std::function<void()> f) { steps_.push_back({delay, std::move(f)}); }

    // The steps of the next action (zooming in first when the drag would be
    // under 6 pixels at the present view).
    void plan(const taction& a) {
        const double total = doc_.xaxis.GetHiValue() - doc_.xaxis.GetLoValue();
        const double width = std::max(1, wave(a.strip)->width());
        if (!a.drag) {
            queue(pause_ms, [this, a] {
                twaveformview* v = wave(a.strip);
                QTest::mouseClick(v, Qt::LeftButton, {}, QPoint(pixel(a.from), v->height() / 2));
            });
            return;
        }
        const double len = std::abs(a.to - a.from), mid = (a.from + a.to) / 2;
        double span = total;
        int zooms = 0;
        int delay = pause_ms;
        while (len * width / span < 6 && zooms < 6) {
            span = std::max(len * 40, span * 8 / width);
            const double lo = std::max(doc_.xaxis.GetLoValue(), mid - span / 2);
            const double hi = std::min(doc_.xaxis.GetHiValue(), mid + span / 2);
            const std::size_t at = steps_.size();
            queue_drag(a.strip, lo, hi);
            steps_[at].first = delay;
            queue_command(pause_ms, "zoomaction");
            delay = pause_ms;
            ++zooms;
        }
        const std::size_t at = steps_.size();
        queue_drag(a.strip, a.from, a.to);
        steps_[at].first = delay;
        for (int i = 0; i < zooms; ++i) queue_command(pause_ms, "zoombackaction");
    }

    void step() {
        if (steps_.empty()) {
            if (next_ > 0) {
                const taction& a = actions_[next_ - 1];
                worst_.push_back({meter_.figures(actionstart_, meter_.mark()).longest_ms, a.drag, doing_});
                meter_.set_progress(++done_, static_cast<int>(actions_.size()));
                if (done_ % 50 == 0)
                    std::fprintf(stderr, "tessal-latency: %d of %zu events done at %.0f s\n", done_,
                                 actions_.size(), meter_.elapsed());
            }
            if (next_ >= actions_.size()) {
                finished_();
                return;
            }
            const taction& a = actions_[next_++];
            char what[160];
            std::snprintf(what, sizeof what, "%s %zu of %zu, %.2f-%.2f s", a.drag ? "drag" : "click", next_,
                          actions_.size(), std::min(a.from, a.to), std::max(a.from, a.to));
            meter_.set_doing(what);
            doing_ = what;
            actionstart_ = meter_.mark();
            plan(a);
        }
        auto [delay, f] = std::move(steps_.front());
        steps_.pop_front();
        paced_ms_ += delay;
        QTimer::singleShot(delay, Qt::PreciseTimer, [this, f = std::move(f)] {
            f();
            step();
        });
    }

    TMainWindow& w_;
    tdocument& doc_;
    tmeter& meter_;
    std::vector<taction> actions_;
    std::size_t next_ = 0;
    int done_ = 0;
    std::deque<std::pair<int, std::function<void()>>> steps_;
    std::function<void()> finished_;
    long long paced_ms_ = 0;

    std::size_t actionstart_ = 0;
    std::string doing_;
    struct tevent {
        double longest_ms;
        bool drag;
        std::string what;
    };
    std::vector<tevent> worst_;

public:
    // The time the steps' own delays add up to: the run's length without stalls.
    double paced_s() const { return paced_ms_ / 1e3; }
    // The median of the events' longest stalls, drags and clicks apart, and
    // the five events with the longest stalls (from the event's first step
    // to its last, its zooming included).
    void print_events() {
        for (bool drag : {true, false}) {
            std::vector<double> v;
            for (const tevent& e : worst_)
                if (e.drag == drag) v.push_back(e.longest_ms);
            if (v.empty()) continue;
            std::sort(v.begin(), v.end());
            std::printf("       %s: median of the events' longest stalls %.1f ms\n", drag ? "drags " : "clicks",
                        v[v.size() / 2]);
        }
        std::vector<tevent> w = worst_;
        std::sort(w.begin(), w.end(), [](const tevent& a, const tevent& b) { return a.longest_ms > b.longest_ms; });
        for (std::size_t i = 0; i < std::min<std::size_t>(5, w.size()); ++i)
            std::printf("       longest: %s: %.1f ms\n", w[i].what.c_str(), w[i].longest_ms);
    }
};

// Lets the loop run for `ms` milliseconds.
void run_for(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Questions are answered OK or Yes and printed (no one is there to read them).
struct tyesprompter : tprompter {
    tanswer ask(const std::string& text, const std::string& caption, tbuttons b, ticon) override {
        std::fprintf(stderr, "tessal-latency: %s: %s\n", caption.c_str(), text.c_str());
        return b == tbuttons::yesno || b == tbuttons::yesnocancel ? tanswer::yes : tanswer::ok;
    }
};

int usage() {
    std::fprintf(stderr,
                 "usage: tessal-latency FILE [--drags N] [--clicks N] [--per-window [N]]\n"
                 "                      [--event-timeout S] [--timeout S] [--probe-ms MS] [--trace [MS]]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM") && !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    std::string file;
    int ndrags = 200, nclicks = 200, perwindow = 0;
    double event_timeout = 120, timeout = 1800, probe_ms = 2, trace_ms = 0;
    for (int i = 1; i < argc; ++i) {
        auto value = [&](double& out) {
            if (i + 1 >= argc) std::exit(usage());
            char* end = nullptr;
            out = std::strtod(argv[++i], &end);
            if (*end || !(out > 0)) std::exit(usage());
        };
        double v = 0;
        if (std::strcmp(argv[i], "--drags") == 0) {
            value(v);
            ndrags = static_cast<int>(v);
        } else if (std::strcmp(argv[i], "--clicks") == 0) {
            value(v);
            nclicks = static_cast<int>(v);
        } else if (std::strcmp(argv[i], "--per-window") == 0) {
            perwindow = 50;
            if (i + 1 < argc && std::isdigit(static_cast<unsigned char>(argv[i + 1][0]))) {
                value(v);
                perwindow = static_cast<int>(v);
            }
        } else if (std::strcmp(argv[i], "--trace") == 0) {
            trace_ms = 50;
            if (i + 1 < argc && std::isdigit(static_cast<unsigned char>(argv[i + 1][0]))) value(trace_ms);
        } else if (std::strcmp(argv[i], "--event-timeout") == 0) {
            value(event_timeout);
        } else if (std::strcmp(argv[i], "--timeout") == 0) {
            value(timeout);
        } else if (std::strcmp(argv[i], "--probe-ms") == 0) {
            value(probe_ms);
        } else if (argv[i][0] == '-' || !file.empty()) {
            return usage();
        } else {
            file = argv[i];
        }
    }
    if (file.empty()) return usage();

    ttracedapplication app(argc, argv);
    std::unique_ptr<ttracer> tracing;
    if (trace_ms > 0) {
        tracing = std::make_unique<ttracer>(trace_ms);
        tracer = tracing.get();
    }
    QApplication::setApplicationName("Tessal");
    // A measuring run is not the user's session: settings are read, never written.
    tmainsettings::set_writes_allowed(false);
    tyesprompter yes;
    TMainWindow w(&yes);
    w.set_offer_recovery(false);
    const auto t0 = clk::now();
    w.first_activation({QString::fromStdString(file)});
    tdocument& doc = w.document();
    if (doc.totnchans() == 0) {
        std::fprintf(stderr, "tessal-latency: %s did not open\n", file.c_str());
        return 2;
    }
    const double total = doc.xaxis.GetHiValue() - doc.xaxis.GetLoValue();
    std::printf("file %s: %d channels, %.1f s, opened in %.1f s\n", file.c_str(), doc.totnchans(), total,
                seconds_between(t0, clk::now()));
    w.resize(1280, 800);
    w.show();
    run_for(500);

    tmeter meter(probe_ms, event_timeout, timeout);
    std::string windows;
    const char* phasename = "";
    meter.on_timeout = [&](std::size_t, const tfigures& f) {
        print_figures(phasename, windows, f, meter.elapsed(), 0, 0);
    };
    meter.start();
    tdriver driver(w, meter);
    bool ltas_on = false;

    // The meter's own check: the window's thread blocked for known times,
    // each of which must come back as one stall of that length (plus at
    // most a probe period).
    {
        const int blocks[] = {50, 150, 400};
        run_for(200);
        const std::size_t c0 = meter.mark();
        for (int ms : blocks) {
            QTimer::singleShot(0, [ms] { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); });
            run_for(ms + 200);
        }
        std::printf("meter check: the loop blocked for 50, 150, 400 ms; stalls over 30 ms measured:");
        for (double st : meter.stalls(c0, meter.mark(), 30)) std::printf(" %.1f", st);
        std::printf(" ms\n");
    }

    // One run: the given tool windows open (the rest closed), then the
    // actions; a line for the opening and one for the events.
    auto phase = [&](const std::vector<const ttool*>& open, int nd, int nc, const std::string& label) {
        windows = label;
        phasename = "open";
        meter.set_doing("opening windows: " + label);
        const auto o0 = clk::now();
        std::size_t p0 = meter.phasestart = meter.mark();
        for (const ttool& t : tools) {
            QWidget* win = w.windows().window(t.key);
            const bool wanted = std::find(open.begin(), open.end(), &t) != open.end();
            if (!wanted && win && win->isVisible()) win->close();
        }
        for (const ttool* t : open) {
            w.commands().refresh();
            QAction* act = w.commands().action(t->command);
            if (!act) {
                std::fprintf(stderr, "tessal-latency: no command %s\n", t->command);
                std::exit(2);
            }
            act->trigger();
            QApplication::processEvents();
            if (std::strcmp(t->key, "spectrum") == 0 && !ltas_on) {
                // The LTAS over the selection, as a user clicks it on.
                QWidget* win = w.windows().window(t->key);
                QAbstractButton* sel = nullptr;
                for (QAbstractButton* b : win->findChildren<QAbstractButton*>())
                    if (b->text() == "Selection") sel = b;
                if (!sel) {
                    std::fprintf(stderr, "tessal-latency: no LTAS \"Selection\" button\n");
                    std::exit(2);
                }
                if (!sel->isVisible()) {
                    // On a page of its own: clicked as the mouse would, through
                    // the button's own click.
                    sel->click();
                } else {
                    QTest::mouseClick(sel, Qt::LeftButton);
                }
                ltas_on = true;
            }
        }
        run_for(1000);
        print_figures("open", label, meter.figures(p0, meter.mark()), seconds_between(o0, clk::now()), 0, 0);

        phasename = "drive";
        const auto d0 = clk::now();
        p0 = meter.phasestart = meter.mark();
        const auto actions = make_actions(nd, nc, total, w.signalpanel()->stripcount(), 20240601u);
        driver.run(actions);
        run_for(1000);  // what the last event left running
        const int n = static_cast<int>(actions.size());
        print_figures("drive", label, meter.figures(p0, meter.mark()), seconds_between(d0, clk::now()), n, n);
        std::printf("       (the events' own pacing, without stalls: %.1f s)\n", driver.paced_s());
        driver.print_events();
    };

    std::vector<const ttool*> all;
    for (const ttool& t : tools) all.push_back(&t);
    if (perwindow > 0) {
        phase({}, perwindow, perwindow, "main window alone");
        for (const ttool& t : tools) phase({&t}, perwindow, perwindow, std::string(t.name) + " alone");
    }
    phase(all, ndrags, nclicks, "all windows");
    std::printf("total %.1f s\n", meter.elapsed());
    meter.stop();
    std::fflush(stdout);
    // The windows' workers may still be busy on an hour of samples: end
    // without waiting for them.
    std::_Exit(0);
}
