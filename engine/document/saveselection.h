// Save selection as: which channels it saves, the file name it proposes and
// the caption of its menu command, all by the edit set and the selection.
#pragma once

#include <string>
#include <vector>

#include "engine/core/tdocument.h"

namespace tessal {

struct tsaveselection {
    std::vector<int> chans;  // empty: all channels
    std::string proposedname;
    double from = 0, to = 0;
};

tsaveselection save_selection(const tdocument& doc);

// "Save selection of channels 0 and 1 as..." and the like; enabled when
// channels exist and either a selection exists or the mode is not "all".
std::string save_selection_caption(const tdocument& doc);
bool save_selection_enabled(const tdocument& doc);

}  // namespace tessal
