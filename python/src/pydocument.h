// A document as the Python module holds it: the engine's batch document
// (opening, saving and processing it as tessal-cli does), whose prompter
// keeps what the engine said so that a failure becomes a Python exception
// carrying the engine's own message.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/document/batchdocument.h"
#include "engine/process/tprocstep.h"

namespace tessal::pymodule {

// Raised for everything the engine refuses; what() is the engine's text.
class terror : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Questions are answered yes unless a call says otherwise (save's `yes`).
struct tpydocument : tbatchdocument {
    tpydocument();

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
    // The channel, or terror naming the ones there are.
    tchannel& channel(long long channo);
    // The channel and its sampling rate above 0, or terror.
    tchannel& sampled_channel(long long channo);
};

// "\r" line breaks of the engine's texts as new lines.
std::string plain_text(const std::string& s);

// What `tessal-cli run PROCESS IN... -o OUT` does, in this process: opens
// the inputs, runs the process and saves OUT. Returns the run's notes
// besides "Done" (what tessal-cli prints after the run, "" for none);
// throws terror with the message tessal-cli prints.
std::string run_process_job(const std::string& procpath, const std::vector<std::string>& inputs,
                            const std::string& out, const std::optional<std::string>& format, bool yes);

}  // namespace tessal::pymodule
