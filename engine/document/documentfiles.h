// Opening files into the document and saving it. The reader is chosen by
// the lower-cased extension; each reader path appends the file's channels
// and names them. Open reads the file whole and only then closes the
// current document (its save question comes first) and takes the file's
// name, so a file that cannot be read, holds no channels or is of an
// unknown kind leaves the open document as it was and says why; Add
// appends and leaves the document untitled. save_file is the common save step of Save, Save as and Save
// selection as, with the questions the formats need.
//
// A file that cannot be read adds nothing; a save that fails or is refused
// leaves the document's modified flag and the old file as they were.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/core/prompter.h"
#include "engine/core/tdocument.h"
#include "engine/document/lifecycle.h"
#include "engine/formats/formatio.h"
#include "engine/formats/formatregistry.h"
#include "engine/formats/saveformats.h"
#include "engine/settings/codecpaths.h"
#include "engine/settings/settingsfile.h"

namespace tessal {

class tdocumentfiles {
public:
    tdocumentfiles(tdocument& doc, tdocumentlifecycle& life, tprompter& prompter)
        : doc(doc), life(life), prompter(prompter) {}

    // Told every signal file read or written, for the recent-files list.
    std::function<void(const std::string&)> recent_file_used;

    std::vector<tsavefilter> savefilter = default_savefilters();

    // Told while a file is read or written: its path and the fraction
    // done (0..1); returning false cancels. A cancelled open or add leaves
    // the document as it was; a cancelled save leaves the old file as it
    // was. Called on the calling thread.
    std::function<bool(const std::string&, double)> progress;
    // Whether reading a WAVE file keeps each channel's peak and sum of
    // squares from the reading pass, for a caller that asks for them right
    // away (tessal-cli info). The figures hold until the samples are marked
    // changed or replaced, so only a caller that changes samples through
    // the commands may ask for them.
    bool keep_stats = false;
    // Threads that decode a file's channels; 0: one per core.
    int threads = 0;
    // Whether opening a WAVE file reads it through for the drawing overview
    // (see tformatio::overview); a caller that only reads samples (the
    // Python module) turns it off and the overview is built on first need.
    bool overview = true;
    // Whether the last open, add or save was cancelled through `progress`.
    bool cancelled() const { return fcancelled; }

    // Codecs: a file no reader knows whose extension a codec entry names is
    // turned into a temporary WAVE file in `codecfolder` (empty: the
    // system's temporary folder) by `run_codec`, read like any WAVE file
    // under the original file's name, and the temporary file removed.
    // Matching entries are tried in list order until one works (a FLAC file
    // may have entries for two programs, not both installed). `run_codec`
    // gets the entry, the input and the output path and returns "" when the
    // output was written, else the message for the user. An Open whose
    // conversion fails leaves the document as it was; an opened converted
    // file leaves the document untitled, since Save cannot write the
    // foreign format back.
    const std::vector<tcodecentry>* codecs = nullptr;
    std::function<std::string(const tcodecentry&, const std::string&, const std::string&)>
        run_codec;
    std::string codecfolder;
    // Whether a codec entry would convert this file (no reader knows it).
    bool opens_through_codec(const std::string& path) const;

    // False when the user cancelled the close or the read, or when the file
    // could not be read or converted (the document is then as it was).
    bool open_document(const std::string& path);
    // True when the file's channels were added.
    bool add_file(const std::string& path);

    // Save: the document's own file, a WAVE file in the coding its channels
    // keep (the one they were read or last saved with). False, and nothing
    // done, when the document has no file name (the caller runs Save as).
    bool save_document();

    // The richest WAVE coding among channels `chans` (empty: all); none when
    // no channel carries one (new channels, process results).
    std::optional<tsavecoding> channels_wave_coding(const std::vector<int>& chans) const;
    // The coding Save as proposes for these channels: theirs when they were
    // read from a WAVE file.
    std::optional<tsavecoding> proposed_wave_coding(const std::vector<int>& chans) const;

    // Saves channels `chans` (empty: all) over from..to seconds (equal: the
    // whole signal) with the given coding. True when the file was written.
    bool save_file(const std::string& path, int nbits, double from, double to,
                   const std::vector<int>& chans, tFormat format);

private:
    // What the format rows' readers and writers work with, for one command.
    tformatio format_io();
    bool saves_whole_document(const std::vector<int>& chans, double from, double to) const;

    bool add_read_channels(const std::string& path, int n0);

    tdocument& doc;
    tdocumentlifecycle& life;
    tprompter& prompter;
    bool fcancelled = false;
};

}  // namespace tessal
