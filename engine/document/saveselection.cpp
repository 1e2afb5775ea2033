#include "engine/document/saveselection.h"

#include <algorithm>

#include "engine/dsp/numformat.h"

namespace tessal {

tsaveselection save_selection(const tdocument& doc) {
    tsaveselection s;
    if (doc.totnchans() == 0) return s;
    const int cur = doc.thischanno();
    const int partner = doc.channel(cur).stereochanno;
    std::string part;
    switch (doc.selectmode) {
        case selmono:
            s.chans = {cur};
            part = std::to_string(cur);
            break;
        case selstereo:
            if (partner >= 0 && partner < doc.totnchans()) {
                s.chans = {std::min(cur, partner), std::max(cur, partner)};
                part = std::to_string(s.chans[0]) + "-" + std::to_string(s.chans[1]);
            } else {
                s.chans = {cur};
                part = std::to_string(cur);
            }
            break;
        case selall: part = "All"; break;
        default:
            for (int i = 0; i < doc.totnchans(); ++i)
                if (doc.channel(i).visible()) {
                    if (!s.chans.empty()) part += "-";
                    part += std::to_string(i);
                    s.chans.push_back(i);
                }
    }
    std::string suffix;
    const tglobal& g = doc.theglobal;
    if (g.has_selection()) {
        suffix = "_" + format_float_pattern(doc.prefs.SecondsFormat, g.leftselcursor());
        std::replace(suffix.begin(), suffix.end(), '.', '_');
        std::replace(suffix.begin(), suffix.end(), ',', '_');
    }
    const tchannel& c = doc.channel(cur);
    std::string base = c.filename.empty() ? c.name() : c.filename;
    std::string insert = "_" + part + suffix;
    std::size_t dot = base.find_last_of('.');
    if (dot == std::string::npos)
        base += insert;
    else
        base.insert(dot, insert);
    s.proposedname = base;
    s.from = g.leftselcursor();
    s.to = g.rightselcursor();
    return s;
}

bool save_selection_enabled(const tdocument& doc) {
    return doc.totnchans() > 0 && (doc.theglobal.has_selection() || doc.selectmode != selall);
}

std::string save_selection_caption(const tdocument& doc) {
    std::string s = doc.theglobal.has_selection() ? "Save selection of" : "Save";
    if (doc.totnchans() == 0) return s + " channel 0 as...";
    const int cur = doc.thischanno();
    const int partner = doc.channel(cur).stereochanno;
    switch (doc.selectmode) {
        case selmono: return s + " channel " + std::to_string(cur) + " as...";
        case selstereo:
            if (partner < 0) return s + " channel " + std::to_string(cur) + " as...";
            return s + " channels " + std::to_string(std::min(cur, partner)) + " and " +
                   std::to_string(std::max(cur, partner)) + " as...";
        case selall: return s + " all channels as...";
        default: return s + " all visible channels as...";
    }
}

}  // namespace tessal
