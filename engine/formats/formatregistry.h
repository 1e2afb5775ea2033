// The file formats the program knows, one row each: the extension that
// chooses it, its text in the Open dialog's filter and in the file dialogs,
// what the file can store, the codings Save as offers for it, and the code
// that reads and writes it. Opening chooses the reader from here, saving
// chooses the writer from here, and the Open and Save dialogs' filters are
// built from here. Signal files have a reader and a writer over the whole
// document (`tformatio`, each beside its format: wavpaths.cpp, smppaths.cpp,
// tessalpaths.cpp, orletpaths.cpp); a file no reader knows but a codec
// entry names opens through the codec row. The TextGrid row reads and writes
// a document's labels, the text row writes "Export to text"'s table.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "engine/dsp/arrays.h"
#include "engine/formats/formatio.h"
#include "engine/formats/safereplace.h"

namespace tessal {

struct ttextexportoptions;

// What a file of the format can store of a document.
struct tformatcaps {
    bool readable = true;
    bool writable = true;
    bool mixed_rates = false;   // channels of different sampling rates in one file
    bool labels = false;
    bool notes = false;
    bool calibration = false;   // FSD, unit, dB reference and calibration survive a save
    bool epg = false;           // electropalatography data
    bool codings = false;       // more than one sample coding (bits, float, G.711)
    bool names_document = true; // an opened file becomes the document's file
};

// A coding Save as offers: its text in the save dialog's filter, the id the
// settings keep ("wav16i"), whether it is offered by default, and the coding.
struct tsavecodingrow {
    std::string filterstr;
    std::string idstr;
    bool used;
    int nbits;
    tFormat format;
};

// A signal file's reader and writer over the document. The reader reads
// the whole file before anything changes; the writer asks its questions and
// writes, true when the file was written.
using tformatreader = tloaded (*)(tformatio& io, const std::string& path, const std::string& shown);
using tformatwriter = bool (*)(tformatio& io, const tsaverequest& save);
// A label file's reader (adds the file's labels to a channel, their count)
// and writer (every channel's labels).
using tlabelreader = std::size_t (*)(tdocument& doc, int chno, const std::string& path);
using tlabelwriter = void (*)(const tdocument& doc, const std::string& path, tfileops& ops);
// A table's writer.
using ttablewriter = void (*)(const tdocument& doc, const ttextexportoptions& o,
                              const std::string& path, tfileops& ops);

struct tfileformat {
    std::string ext;           // lower-cased, with its dot: ".wav"; "" for the codec row
    std::string openfilter;    // in the Open dialog: "Wave files (*.wav)|*.wav"; "" when none
    std::string dialogfilter;  // in a Qt file dialog: "Praat TextGrid (*.TextGrid)"
    tformatcaps caps;
    // The codings Save as offers, and the one a name with this extension
    // alone gets (its first when empty).
    std::vector<tsavecodingrow> codings;
    std::string defaultcoding;
    // Where the format's codings stand in the save dialog's list (lower first).
    int saveorder = 0;
    tformatreader read = nullptr;
    tformatwriter write = nullptr;
    tlabelreader readlabels = nullptr;
    tlabelwriter writelabels = nullptr;
    ttablewriter writetable = nullptr;
};

// Every format, in the order the Open dialog lists them.
const std::vector<tfileformat>& file_formats();

// The row of a lower-cased extension (".wav"); null when no format has it.
const tfileformat* format_for_extension(const std::string& ext);

// The lower-cased extension of a path including its dot ("" when none).
std::string lower_extension(const std::string& path);

// The file name part of a path ("/a/b/c.wav" gives "c.wav").
std::string file_name_part(const std::string& path);

// The row of a file by its name's extension; null when unknown.
const tfileformat* format_of_path(const std::string& path);

// Whether the file's format keeps more than one coding (a WAVE file), so a
// save writes it back in the coding its channels came with.
bool keeps_codings(const std::string& path);

// The signal file an open or add reads `path` as: the row of its extension
// when that has a reader, else the codec row when `io` converts the file,
// else null.
const tfileformat* reader_of_path(const std::string& path, const tformatio& io);

// The rows without an extension of their own: files opened through a codec
// entry, a document's labels as a TextGrid, "Export to text"'s table.
const tfileformat& codec_format();
const tfileformat& textgrid_format();
const tfileformat& text_table_format();

// A Qt file dialog's filter for one row, followed by "All files (*)".
std::string dialog_filter(const tfileformat& f);

// The Open dialog's filter: "All sound files " with the extensions that can
// be saved, in the order of the save rows, each format's own filter, and
// "All files (*.*)|*.*".
std::string open_filter_text();

}  // namespace tessal
