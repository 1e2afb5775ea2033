// The codec entries at work: a file no reader knows whose extension a codec
// entry names is turned into a temporary WAVE file in `codecfolder` (empty:
// the system's temporary folder) by `run_codec`. Matching entries are tried
// in list order until one works (a FLAC file may have entries for two
// programs, not both installed). `run_codec` gets the entry, the input and
// the output path and returns "" when the output was written, else the
// message for the user.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "engine/core/prompter.h"
#include "engine/settings/settingsfile.h"

namespace tessal {

struct tcodecrunner {
    const std::vector<tcodecentry>* codecs = nullptr;
    std::function<std::string(const tcodecentry&, const std::string&, const std::string&)>
        run_codec;
    std::string codecfolder;

    // Whether a codec entry would convert this file (no reader knows it).
    bool converts(const std::string& path) const;
    // Converts `path` into a new temporary WAVE file; false (message shown,
    // nothing left on disk) when no entry worked.
    bool convert(const std::string& path, std::string& wavpath, tprompter& prompter) const;
};

}  // namespace tessal
