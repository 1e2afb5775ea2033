#include "engine/tools/spectrumlabels.h"

#include "engine/core/tchannel.h"
#include "engine/core/tdocument.h"

namespace tessal {

int make_spectrum_labels(tdocument& doc, const std::vector<tspectrummeas>& measured, bool showfcp,
                         bool showbands, double t1, double t2) {
    int added = 0;
    for (const tspectrummeas& m : measured) {
        if (m.chno < 0 || m.chno >= doc.totnchans()) continue;
        tentities e;
        e.no = spectrum_label_entities(m, showfcp, showbands);
        if (e.no.empty()) continue;
        doc.channel(m.chno).add_label(t1, t2 - t1, "Spectrum", "spectrum", e);
        doc.theglobal.channel_changed(tchannelchange::labels(m.chno));
        ++added;
    }
    if (added) doc.theglobal.invalidate_paintboxes(true);
    return added;
}

}  // namespace tessal
