// "Export to text": chosen channels of a document as a delimited table, one
// row per sample, optionally with a time column. The file is written through
// a temporary copy, so a failed export leaves no file behind and an existing
// file as it was.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "engine/formats/safereplace.h"

namespace tessal {

class tdocument;

// A refusal with a caption for its message box.
class ETextExportError : public std::runtime_error {
public:
    ETextExportError(const std::string& text, std::string caption)
        : std::runtime_error(text), caption_(std::move(caption)) {}
    const std::string& caption() const { return caption_; }

private:
    std::string caption_;
};

enum class tcolumnseparator { tab = 0, semicolon = 1, comma = 2, space = 3 };
enum class tdecimalseparator { system = 0, period = 1, comma = 2 };
enum class texportspan { entire = 0, window = 1, selection = 2 };

struct ttextexportoptions {
    tcolumnseparator separator = tcolumnseparator::tab;
    std::string pattern = "0.00E+00";  // format of the values
    tdecimalseparator decimal = tdecimalseparator::system;
    std::vector<int> channels;  // document channel indices, in document order
    texportspan span = texportspan::entire;
    long long downsample = 1;  // rows where index mod k = 0
    bool timecolumn = true;
    bool startzero = false;    // only with the time column and a window or selection span
};

char separator_char(tcolumnseparator s);

// Raises ETextExportError for options that cannot make a readable table
// (a downsampling factor below 1, the comma as both separators).
void check_text_export_options(const ttextexportoptions& o);

// The sample range s0..s1 (inclusive, at the channels' common rate) and that
// rate. Raises ETextExportError when no channel is chosen, the chosen ones
// differ in rate, or the table would have more than text_export_max_rows
// rows (a channel shifted far from time 0 would otherwise be written as
// gigabytes of zeros).
inline constexpr long long text_export_max_rows = 100000000;
struct texportrange {
    long long s0 = 0, s1 = -1;
    double fs = 0;
};
texportrange text_export_range(const tdocument& doc, const ttextexportoptions& o);

// The whole table as text (CR LF line ends).
std::string text_export_table(const tdocument& doc, const ttextexportoptions& o);

// Writes the table to `filename` through the safe replace; raises
// ETextExportError for refused options and EFileSaveError for file errors,
// before or without changing anything on disk.
void export_text_file(const tdocument& doc, const ttextexportoptions& o,
                      const std::string& filename, tfileops& ops = tfileops::system());

}  // namespace tessal
