// The save codings offered by Save as, gathered from the format registry's
// rows (formatregistry.h) in their save order, and the filter text of the
// save dialog built from the rows in use.
#pragma once

#include <string>
#include <vector>

#include "engine/dsp/arrays.h"

namespace tessal {

struct tsavefilter {
    std::string filterstr;
    std::string ext;
    std::string idstr;
    bool used;
    int nbits;
    tFormat format;
};

// The ten rows with their default `used` flags.
std::vector<tsavefilter> default_savefilters();

// The row's caption in lists ("Wave file 16-bit (*.wav)"): its filter
// string up to the "|".
std::string savefilter_caption(const tsavefilter& row);

// The used rows' filter strings joined by "|".
std::string savefilter_text(const std::vector<tsavefilter>& rows);

// The row whose position among the used rows is `index`; null when none.
const tsavefilter* used_savefilter(const std::vector<tsavefilter>& rows, int index);

// The "SaveFormat" setting names the save dialog's filter, counting the
// used rows from 1 as the file dialog of the platform it comes from does:
// the default 4 is the fourth used row ("Wave file 24-bit" with the rows
// used by default).
inline constexpr int default_saveformat = 4;
// The row "SaveFormat" names; a value beyond the used rows (after rows were
// switched off, or from a damaged settings file) gives the nearest one.
// Null only when no row is used.
const tsavefilter* saveformat_row(const std::vector<tsavefilter>& rows, int saveformat);

// The row with this id ("wav16i"); null when none.
const tsavefilter* find_savefilter(const std::vector<tsavefilter>& rows, const std::string& idstr);

// The default row for a file extension (".wav" gives 16-bit PCM).
const tsavefilter* savefilter_for_extension(const std::vector<tsavefilter>& rows,
                                            const std::string& ext);

// A coding a WAVE file holds: PCM of 8, 16, 24 or 32 bits, float of 16 or
// 32 bits, 8-bit A-law or mu-law.
struct tsavecoding {
    int nbits = 16;
    tFormat format = tFormat::pcm;
};
bool is_wave_coding(int nbits, tFormat format);
// Orders codings by what they keep: more bits first, then float before
// integers before G.711.
int wave_coding_rank(int nbits, tFormat format);

// The WAVE row of a coding; null when none.
const tsavefilter* wave_savefilter(const std::vector<tsavefilter>& rows, tsavecoding coding);
// The rows with the WAVE row of `coding` in use, so a dialog can offer it.
std::vector<tsavefilter> rows_offering(std::vector<tsavefilter> rows, tsavecoding coding);
// The index used_savefilter gives `row` (matched by id) at; -1 when the row
// is not in use.
int used_savefilter_index(const std::vector<tsavefilter>& rows, const tsavefilter& row);

}  // namespace tessal
