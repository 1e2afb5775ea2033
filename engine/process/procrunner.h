// tprocrunner: runs a process on the document.
//
// Steps run in list order; disabled steps are skipped and the working set
// flows from one enabled step to the next. The output of the last step is
// dropped: only what steps wrote into the document stays. After a complete
// run every channel's cached analyses are stale, the document is modified
// and the views are told to lay out and refit. A failing step ends the run
// where it is (earlier steps keep their effects, no refresh), and so does a
// cancel: the flag is checked before each step and by steps that poll it.
// The status text follows the run: "Running " + the step's list text, then
// "Done " (noting steps that are not available yet, then the notes steps
// left in the env, such as how many samples became infinite), "Cancelled",
// or the running text of the step that failed.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "engine/process/tprocstep.h"

namespace tessal {

class tdatalog;

struct tprocresult {
    bool ok = false;         // every step ran
    bool cancelled = false;  // stopped by the cancel flag
    std::string status;      // the last status text
    std::string error;       // the failing step's message
};

class tprocrunner {
public:
    // Status-bar panel 0.
    std::function<void(const std::string&)> onstatus;

    // Runs `steps` on env.doc. An empty process is refused with a message
    // through env.prompter.
    tprocresult run(tprocsteps& steps, tprocenv& env);

    // The profile of the last complete run: the caption, the total time and
    // one line per step; empty when no unreported run exists. "No process
    // available" alone for an empty list.
    std::vector<std::string> profile_lines(const tprocsteps& steps) const;
    // Adds the profile to the log once per run; false when there was none.
    bool write_profile(const tprocsteps& steps, tdatalog& log);

    // Wall-clock start and end of the last run; end is zero once reported.
    std::chrono::system_clock::time_point run_start{};
    std::chrono::system_clock::time_point run_end{};
};

// steady-clock reading in nanoseconds, the counters of tprocstep.
std::int64_t proc_counter();

// "Done " and, when the process holds steps that are not available yet,
// which ones ("Done (not available yet: F0, Derivative)").
std::string done_status(const tprocsteps& steps);

}  // namespace tessal
