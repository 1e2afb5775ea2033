// The recording spool: what a recording captures, written to disk as it
// comes in, so that a crash during a long recording loses none of it.
//
// The spool starts with the channels the recording goes to (index, whether
// the recording made the channel, and the channel's state as the
// recording prepared it) and then holds the samples of each delivery. It
// lives beside the document's journal, named after it, and goes once the
// finished recording is in the journal. After a crash, apply_spool() puts
// the recorded audio back into the document the journal rebuilt (or into
// a new one when there is no journal).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/core/tdocument.h"
#include "engine/history/appendfile.h"
#include "engine/history/channelstate.h"

namespace tessal {

struct tspooltarget {
    int index = 0;
    bool inserted = false;  // the recording made the channel
    tchannelstate state;
};

// The spool of the `n`th recording into the document of the journal at
// `journalpath`; the spools of a journal are the files spool_path() names.
std::string spool_path(const std::string& journalpath, int n);
bool is_spool_of(const std::string& spool, const std::string& journalpath);
// The spools in `folder`, oldest first.
std::vector<std::string> list_spools(const std::string& folder);

class trecordspool {
public:
    // Creates the spool at `path` for a recording into `targets` of `doc`
    // (the recorder's sides in order). Throws std::runtime_error when it
    // cannot.
    trecordspool(const std::string& path, const tdocument& doc, const std::vector<int>& targets,
                 const std::vector<bool>& inserted);

    const std::string& path() const { return file_.path(); }
    // Samples recorded for target `k`.
    void append(int k, const float* p, std::size_t n);
    // Waits until everything appended is on disk.
    void flush() { file_.flush(); }
    // Stops writing and deletes the spool.
    void discard() { file_.discard(); }

private:
    tappendfile file_;
};

struct tspoolcontents {
    bool readable = false;
    std::vector<tspooltarget> targets;
    std::vector<std::vector<float>> samples;  // per target
    std::uint64_t lostbytes = 0;              // a cut or damaged end
    std::uint64_t frames() const;             // the longest target's samples
};
tspoolcontents read_spool(const std::string& path);
// The same recording as new channels from `first` on (the recording alone
// into another document), partners following.
tspoolcontents as_new_channels(tspoolcontents s, int first);

// Puts the recorded audio into `doc`: each target channel (made when it is
// past the last channel) gets the state the recording gave it and the
// samples in the spool. Tells the document's recorder what it replaces.
void apply_spool(tdocument& doc, const tspoolcontents& s);

}  // namespace tessal
