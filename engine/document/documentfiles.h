// Opening files into the document. The reader is chosen by the lower-cased
// extension; each reader path appends the file's channels and names them.
// Open closes the current document first (with its save question) and takes
// the file's name; Add appends and leaves the document untitled.
#pragma once

#include <string>

#include "core/prompter.h"
#include "core/tdocument.h"
#include "document/lifecycle.h"

namespace tessal {

// The lower-cased extension of a path including its dot ("" when none).
std::string lower_extension(const std::string& path);

class tdocumentfiles {
public:
    tdocumentfiles(tdocument& doc, tdocumentlifecycle& life, tprompter& prompter)
        : doc(doc), life(life), prompter(prompter) {}

    // False when the user cancelled the close.
    bool open_document(const std::string& path);
    // True when the file's channels were added.
    bool add_file(const std::string& path);

private:
    tdocument& doc;
    tdocumentlifecycle& life;
    tprompter& prompter;
};

}  // namespace tessal
