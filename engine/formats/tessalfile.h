// The native ".tessal" signal file: a TXIIFile with file id "TessalSignals",
// version "1.0", holding every channel with all its properties, labels with
// their entities, notes, EPG frames and samples (section "Common" for the
// channel count, "Ch<p>" for channel p of the file).
//
// Reading appends the file's channels to a document. Everything is read and
// checked first; only a file that is whole goes into the document (through
// tdocument::set_totnchans), so a failed read leaves the document exactly as
// it was. Counts in the file are believed only as far as the file has values
// to back them, so a damaged count cannot make the reader allocate or loop
// beyond the file's size.
//
// Writing saves a list of the document's channels, whole or a time range of
// them, and replaces an existing file only once the new one is complete on
// the disk (TXIIFile::save_file).
#pragma once

#include <functional>
#include <stdexcept>
#include <string>

#include "engine/dsp/arrays.h"
#include "engine/formats/safereplace.h"
#include "engine/formats/txiifile.h"

namespace tessal {

class tdocument;

// A native file whose content cannot be used, or a document that cannot be
// written as one; the text is for the user.
class ETessalFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

inline constexpr char tessal_fileid[] = "TessalSignals";
inline constexpr char tessal_fileversion[] = "1.0";
// The caption of every message about a native file that cannot be opened.
inline constexpr char tessal_openerror_caption[] = "Cannot open Tessal file";

// A native file read and checked whole, not yet in any document: how many
// channels it holds and the work that appends them to a document (to be
// run once). Opening a file reads it this way before the open document is
// closed, so a file that cannot be read leaves that document as it was.
struct ttessalread {
    int nchans = 0;
    std::function<void(tdocument&)> install;
};
// Reads the container's channels; raises what read_tessal_container raises.
ttessalread load_tessal_container(TXIIFile& xii);

// Reads `path` and appends its channels to `doc`. Returns false, with `doc`
// unchanged, when the file cannot be read as a container at all. Raises
// ETessalFileError ("Wrong TessalSignals file type: <id>", "Invalid EPG frame
// (n columns =<n>)", damaged counts or values) or EXIIfileError (a value of
// the wrong type); `doc` is then unchanged too.
bool read_tessal_file(tdocument& doc, const std::string& path);
// The same for a container already opened.
void read_tessal_container(tdocument& doc, TXIIFile& xii);

// Fills `xii` (cleared first) with the channels `chans` of `doc` (empty: all,
// in document order). With from != to only the time range between them is
// written: samples, labels and EPG frames in the range, times counted from
// its start. Otherwise every channel is written whole. Raises
// ETessalFileError for a channel that does not exist or holds values a file
// cannot carry (no valid sampling rate, non-finite times).
void fill_tessal_container(TXIIFile& xii, const tdocument& doc, const tintarr& chans, double from,
                           double to);
// Fills a container and saves it to `path`; EFileSaveError when the file
// cannot be written, in which case an existing file is left as it was.
void write_tessal_file(const tdocument& doc, const std::string& path, const tintarr& chans,
                       double from, double to, tfileops& ops = tfileops::system());

}  // namespace tessal
