// The spectrum window's "Make label": the LTAS measures of each channel
// (FCP and band levels, spectrum_label_entities) stored as a label on it.
#pragma once

#include <vector>

#include "engine/analysis/spectrum.h"

namespace tessal {

class tdocument;

// The undo step "Make label" is.
inline constexpr const char* make_spectrum_labels_caption = "Make label";

// For each channel measured (tspectrummeas::chno) that has something to
// store, a label with the text "Spectrum" and the type "spectrum" over
// t1..t2 carrying the entities, and a labels notice for it; one repaint
// when any was added. The number of labels added.
int make_spectrum_labels(tdocument& doc, const std::vector<tspectrummeas>& measured, bool showfcp,
                         bool showbands, double t1, double t2);

}  // namespace tessal
