// The file formats the program knows, one row each: the extension that
// chooses it, its text in the Open dialog's filter, which document path reads
// and writes it, and what the file can store. Opening chooses the reader from
// here, saving chooses the writer and its checks from here, and the Open
// dialog's filter is built from here. The save codings offered by Save as
// (the "UseFileFormat"/"SaveFormat" rows) are saveformats.h, one row per
// coding of a format that can be written.
#pragma once

#include <string>
#include <vector>

namespace tessal {

// Which document path reads and writes the file.
enum class tfilekind { wav, smp, tessal, orlet };

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
};

struct tfileformat {
    std::string ext;         // lower-cased, with its dot: ".wav"
    std::string openfilter;  // "Wave files (*.wav)|*.wav"
    tfilekind kind;
    tformatcaps caps;
};

// Every format, in the order the Open dialog lists them.
const std::vector<tfileformat>& file_formats();

// The row of a lower-cased extension (".wav"); null when no format has it.
const tfileformat* format_for_extension(const std::string& ext);

// The lower-cased extension of a path including its dot ("" when none).
std::string lower_extension(const std::string& path);

// The row of a file by its name's extension; null when unknown.
const tfileformat* format_of_path(const std::string& path);

// The Open dialog's filter: "All sound files " with the extensions that can
// be saved, in the order of the save rows, each format's own filter, and
// "All files (*.*)|*.*".
std::string open_filter_text();

}  // namespace tessal
