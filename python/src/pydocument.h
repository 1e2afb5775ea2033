// A document as the Python module holds it: the engine's document with the
// machinery to open, save and process it, and a prompter that keeps what
// the engine said so that a failure becomes a Python exception carrying
// the engine's own message.
#pragma once

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/core/prompter.h"
#include "engine/core/tdocument.h"
#include "engine/document/documentfiles.h"
#include "engine/document/lifecycle.h"
#include "engine/process/tprocstep.h"

namespace tessal::pymodule {

// Raised for everything the engine refuses; what() is the engine's text.
class terror : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Answers questions without a person: with `yes` every question is
// answered yes/ok, without it refused. Every text is kept: the last one is
// the reason a failed command gives.
class tpyprompter : public tprompter {
public:
    tanswer ask(const std::string& text, const std::string& caption, tbuttons buttons,
                ticon icon) override;
    bool yes = true;
    bool refused = false;
    std::string last;
    // Texts of plain messages (warnings that did not stop the command).
    std::vector<std::string> notes;
};

struct tpydocument {
    tpydocument();
    tpyprompter prompter;
    tdocument doc;
    tdocumentlifecycle life{doc, prompter};
    tdocumentfiles files{doc, life, prompter};

    // Opens the first path as the document and adds the others; throws
    // terror with the engine's message when one cannot be read.
    void open(const std::vector<std::string>& paths);
    // Adds the channels of another file; throws terror.
    void open_more(const std::string& path);
    // Saves every channel to `path` in the coding of the save row `format`
    // (an id such as "wav16i"), or of the extension's row; a WAVE file
    // without `format` keeps the channels' coding. Throws terror.
    void save(const std::string& path, const std::optional<std::string>& format, bool yes);
    // Runs the process file on the document as "Run process" does; the
    // run's notes besides "Done" are returned. Throws terror.
    std::string run(const std::string& procpath);
    // Runs steps already read; the names of channels a step went on
    // without go to `missing`.
    std::string run(tprocsteps& steps, std::vector<std::string>& missing);
    // The channel, or terror naming the ones there are.
    tchannel& channel(long long channo);
    // The channel and its sampling rate above 0, or terror.
    tchannel& sampled_channel(long long channo);
};

// The steps of a process file, or terror saying why not.
tprocsteps read_process(const std::string& procpath, double defaultrate);

// "\r" line breaks of the engine's texts as new lines.
std::string plain_text(const std::string& s);

// What `tessal-cli run PROCESS IN... -o OUT` does, in this process: opens
// the inputs, runs the process and saves OUT. Throws terror with the
// message tessal-cli prints.
void run_process_job(const std::string& procpath, const std::vector<std::string>& inputs,
                     const std::string& out, const std::optional<std::string>& format, bool yes);

}  // namespace tessal::pymodule
