// A document for batch runs (tessal-cli, the Python module): the engine's
// document with its file commands and a prompter that answers without a
// person, opened from a list of files and saved in a save row's coding
// through the same paths as Open, Add and Save as.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "engine/core/batchprompter.h"
#include "engine/core/tdocument.h"
#include "engine/document/documentfiles.h"
#include "engine/document/lifecycle.h"
#include "engine/formats/saveformats.h"

namespace tessal {

struct tbatchdocument {
    // `yes`: the prompter answers every question yes/ok.
    explicit tbatchdocument(bool yes = false);
    tbatchdocument(const tbatchdocument&) = delete;
    tbatchdocument& operator=(const tbatchdocument&) = delete;

    tbatchprompter prompter;
    tdocument doc;
    tdocumentlifecycle life{doc, prompter};
    tdocumentfiles files{doc, life, prompter};

    // Opens paths[0] as the document and adds the others: -1 when every
    // file was read, otherwise the index of the first that could not be
    // read or held no channels (the prompter's last text says why when it
    // said anything).
    int open(const std::vector<std::string>& paths);
    // The save row with the id `format` ("wav16i", ...) or, without one,
    // the row of the extension of `out`; null, with the sentence in `why`,
    // when there is none.
    const tsavefilter* save_row(const std::string& out, const std::optional<std::string>& format,
                                std::string& why) const;
    // Saves every channel to `out` in the row's coding, or, with
    // `keep_codings` and a WAVE file, in the coding the channels came with.
    // False when the save failed or a question was refused
    // (prompter.refused()); the old file is then as it was.
    bool save(const std::string& out, const tsavefilter& row, bool keep_codings);
    // Why the last command failed: the prompter's last text with new lines,
    // or `fallback` when it said nothing.
    std::string reason(const std::string& fallback) const;
};

}  // namespace tessal
