#include "engine/formats/textgridlabels.h"

#include <algorithm>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "engine/core/tchannel.h"
#include "engine/core/tdocument.h"
#include "engine/formats/regularfile.h"

namespace tessal {

void export_textgrid_labels(const tdocument& doc, const std::string& path, tfileops& ops) {
    std::vector<ttextgridchannel> chans;
    double xmax = 0;
    for (int i = 0; i < doc.totnchans(); ++i) {
        const tchannel& ch = doc.channel(i);
        chans.push_back({ch.name(), ch.labels});
        xmax = std::max(xmax, ch.duration());
        for (const tsiglabel& l : ch.labels) xmax = std::max(xmax, l.time + l.duration);
    }
    write_text_file(textgrid_text(chans, 0, xmax), path, ops);
}

std::size_t import_textgrid_labels(tdocument& doc, int chno, const std::string& path) {
    if (chno < 0 || chno >= doc.totnchans())
        throw std::out_of_range("Channel " + std::to_string(chno) + " does not exist");
    if (const std::string why = regular_file_problem(path, textgrid_max_bytes); !why.empty())
        throw ETextGridError(why);
    std::ifstream in(path, std::ios::binary);
    if (!in) throw ETextGridError("Cannot read " + path);
    std::stringstream ss;
    ss << in.rdbuf();
    if (in.bad()) throw ETextGridError("Cannot read " + path);
    const auto tiers = parse_textgrid(ss.str());  // raises before any label is added
    tchannel& ch = doc.channel(chno);
    std::size_t added = 0;
    for (const ttextgridtier& t : tiers) {
        add_labels(ch, t.labels);
        added += t.labels.size();
    }
    doc.theglobal.channel_changed(tchannelchange::labels(chno));
    doc.theglobal.invalidate_paintboxes(true);
    return added;
}

}  // namespace tessal
