// Labels to and from Praat TextGrid files. Writing gives the long text
// format in UTF-8: per channel an interval tier (named after the channel)
// with the labels that have a length, empty intervals filling the gaps, and
// a point tier ("<name> points") when the channel has point labels.
// Reading takes the long and the short text format, in UTF-8 or UTF-16
// (with a byte-order mark), and gives every non-empty interval and point of
// every tier.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/core/tsiglabel.h"
#include "engine/formats/safereplace.h"

namespace tessal {

class tchannel;

class ETextGridError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct ttextgridchannel {
    std::string name;
    tsiglabels labels;
};

// The TextGrid text over xmin..xmax.
std::string textgrid_text(const std::vector<ttextgridchannel>& channels, double xmin, double xmax);

// Writes `text` to `filename` through a temporary copy (EFileSaveError).
void write_text_file(const std::string& text, const std::string& filename,
                     tfileops& ops = tfileops::system());

struct ttextgridtier {
    std::string name;
    bool points = false;
    tsiglabels labels;  // non-empty texts only
};

// The largest TextGrid file read (a million intervals take about 100 MB).
inline constexpr std::uint64_t textgrid_max_bytes = 512ull << 20;

// Raises ETextGridError("Not a TextGrid file") and the like for other text.
std::vector<ttextgridtier> parse_textgrid(const std::string& bytes);

// Adds many labels to a channel as add_label does one by one (same order,
// the document marked modified), sorting the list once rather than per
// label: tens of thousands of imported intervals take no longer than their
// reading.
void add_labels(tchannel& ch, const tsiglabels& list);

}  // namespace tessal
