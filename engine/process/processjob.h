// A process file run on files without a window, as "Run process" runs it:
// the process file read, the inputs opened into a batch document, the run
// and the save. `tessal-cli run PROCESS IN... -o OUT` (and each file of
// --each) and the Python module's run_file and Document.run go through here.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/document/batchdocument.h"
#include "engine/process/procrunner.h"
#include "engine/process/tprocstep.h"

namespace tessal {

// How a job ended. `input`: a file could not be read or written, or a step
// failed; `usage`: the job was wrong (no save format, the output is an
// input) or a question was refused.
enum class tjobstatus { ok, input, usage };

// The steps of the process file `path`, steps without a rate taking
// `defaultrate`; false, with the sentence in `why`, when it cannot be read.
bool read_process_steps(const std::string& path, double defaultrate, tprocsteps& steps, std::string& why);

// What a run of steps on a document gave.
struct tprocessrun {
    bool ok = false;
    std::string message;               // the failing step's message
    std::vector<std::string> missing;  // channels a step named and went on without
    std::string notes;                 // what the run said besides "Done" ("" for nothing)
};

// Runs `steps` on the document with `runner`, as "Run process" does.
tprocessrun run_process_steps(tbatchdocument& d, tprocsteps& steps, tprocrunner& runner);

struct tprocessjob {
    std::string process;              // the .tessalproc file
    std::vector<std::string> inputs;  // the first opened as the document, the others added
    std::string out;
    std::optional<std::string> format;  // a save format id; without it the extension's, and a
                                        // WAVE file keeps the channels' coding
    // Told after a run whose result will be saved, before the save: its
    // notes, and the runner and steps for the run's profile.
    std::function<void(const std::string& notes, const tprocrunner& runner, const tprocsteps& steps)> ran;
};

struct tprocessjobresult {
    tjobstatus status = tjobstatus::ok;
    std::string message;  // why not, with new lines
    // Whether the message is a text the document's prompter was asked
    // (its `told` hook may have shown it already).
    bool told = false;
    int unread = -1;    // the input that could not be read
    std::string notes;  // what the run said besides "Done"
};

// Runs the job on `d`, a new document whose prompter answers as the caller
// wants. Nothing is written when the result is not ok, and an output that
// is one of the inputs is refused before anything is read.
tprocessjobresult run_process_job(tbatchdocument& d, const tprocessjob& job);

}  // namespace tessal
