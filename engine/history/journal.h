// The journal: the undo history written to disk as it grows, so that the
// changes since the last save outlive a crash.
//
// A journal file starts with the identity of the file the document came
// from (path, size, modification time and a checksum of its first
// megabyte) and then holds one record per history event: a step (what it
// changed, as the net change per channel: channels inserted with their
// whole content, channels removed, each other channel's changed sample
// range with the samples it holds afterwards, and its properties, labels
// and notes afterwards), an undo or a redo. A step that stays open across
// commands (a recording) is written when it ends; each command run inside
// it is written as it commits, so a crash during a long recording keeps
// them too (the recording itself comes back from its spool). Each record is framed with its
// length and a checksum, so a journal whose end was damaged or cut short
// reads back up to the damage and says how much was lost.
//
// tjournal writes records on its own thread: appending never waits for
// the disk. Replaying a journal onto the document opened from the same
// file runs each step through an undo history, so the recovered document
// can be undone as far as the original could.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/history/appendfile.h"
#include "engine/history/undohistory.h"

namespace tessal {

struct tfileidentity {
    std::string path;
    std::uint64_t size = 0;
    std::int64_t mtime = 0;      // nanoseconds of the file clock
    std::uint64_t checksum = 0;  // FNV-1a of the first megabyte
    bool exists = false;
    bool operator==(const tfileidentity&) const = default;
};
tfileidentity file_identity(const std::string& path);

// The folder journals live in: <data folder>/Tessal/journals.
std::string journal_folder(const std::string& base = "");
// The journal files there, oldest first.
std::vector<std::string> list_journals(const std::string& folder);

// A step as the journal holds it.
std::vector<std::uint8_t> encode_step(const tdocument& doc, const tundohistory::tstep& st);
// A command run inside the open step of `h` (a command run during a
// recording), as the journal holds it: what it changed on the channels the
// open step neither made nor changed outside its commands (those are the
// recording's, put back from its spool), numbered as they are without the
// channels the open step made. Replayed as a step of its own when the
// journal ends before the open step does, and left out when the open
// step's own record follows.
std::vector<std::uint8_t> encode_command(const tdocument& doc, const tundohistory& h,
                                         const tundohistory::tcommand& c);

class tjournal {
public:
    // Creates the journal file at `path` for a document from `origin`
    // ("" for a new document). Throws std::runtime_error when it cannot.
    tjournal(const std::string& path, const std::string& origin);

    const std::string& path() const { return file_.path(); }
    void append_step(const tdocument& doc, const tundohistory::tstep& st);
    void append_move(bool undo);
    // A command run inside the open step (tundohistory::oncommand), and the
    // open step taken back after such commands.
    void append_command(const tdocument& doc, const tundohistory& h, const tundohistory::tcommand& c);
    void append_commands_dropped();
    // Runs `action` once every record appended so far is on disk.
    void after_written(std::function<void()> action) { file_.after_written(std::move(action)); }
    // Waits until every record is on disk.
    void flush() { file_.flush(); }
    // Stops writing and deletes the file (a save or a clean exit).
    void discard() { file_.discard(); }

private:
    tappendfile file_;
};

struct tjournalcontents {
    tfileidentity origin{};
    std::vector<std::vector<std::uint8_t>> records{};
    std::uint64_t lostbytes = 0;  // bytes after the last whole record
    bool readable = false;        // a journal header was found
};
tjournalcontents read_journal(const std::string& path);

// What a recovery did: how many records it replayed and, when the
// journal was damaged, what was lost ("" when nothing was).
struct trecovery {
    int replayed = 0;
    std::string lost;
    std::string recording;  // the recording put back from its spool, "" when none
};
// Replays the records onto `doc` (holding the original file, or empty for
// a new document) through `history`. A record that does not fit ends the
// replay there.
trecovery replay_journal(tdocument& doc, tundohistory& history, const tjournalcontents& j);

// The labels each channel had at the journal's end, by channel number,
// for a journal that cannot be replayed because its file changed: known
// exactly when the journal only ever changed channels in place (no channel
// made, deleted, undone or redone); empty otherwise or when it changed no
// labels.
std::vector<std::pair<int, tsiglabels>> journal_labels(const tjournalcontents& j);

}  // namespace tessal
