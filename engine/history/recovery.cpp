#include "engine/history/recovery.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <set>

namespace tessal {

std::vector<tleftover> list_leftovers(const std::string& folder, const std::string& skip) {
    std::vector<tleftover> out;
    const std::vector<std::string> spools = list_spools(folder);
    std::set<std::string> paired;
    for (const std::string& j : list_journals(folder)) {
        tleftover l;
        l.journal = j;
        // The newest spool is the recording that was running.
        for (const std::string& s : spools)
            if (is_spool_of(s, j)) {
                paired.insert(s);
                l.spool = s;
            }
        if (j != skip) out.push_back(l);
    }
    for (const std::string& s : spools)
        if (!paired.count(s)) out.push_back({"", s});
    return out;
}

void remove_leftover(const tleftover& l) {
    std::error_code ec;
    if (!l.journal.empty()) std::filesystem::remove(l.journal, ec);
    if (!l.spool.empty()) std::filesystem::remove(l.spool, ec);
}

std::string describe_recording(const tspoolcontents& s) {
    double rate = 0;
    std::string chans;
    for (std::size_t k = 0; k < s.targets.size(); ++k) {
        rate = std::max(rate, s.targets[k].state.sampfreq);
        if (k > 0) chans += k + 1 == s.targets.size() ? " and " : ", ";
        chans += std::to_string(s.targets[k].index);
    }
    char secs[32];
    std::snprintf(secs, sizeof secs, "%.1f", rate > 0 ? static_cast<double>(s.frames()) / rate : 0.0);
    return std::string("a recording of ") + secs + " s on channel" + (s.targets.size() > 1 ? "s " : " ") + chans;
}

trecovery recover_leftover(tdocument& doc, tundohistory& history, const tjournalcontents& j,
                           const tspoolcontents* spool) {
    trecovery r = replay_journal(doc, history, j);
    if (!spool) return r;
    if (!spool->readable || spool->targets.empty()) {
        r.lost += std::string(r.lost.empty() ? "" : ". ") + "The recording's spool file is unreadable";
        return r;
    }
    history.begin("Record");
    try {
        apply_spool(doc, *spool);
        history.commit();
    } catch (const std::exception& e) {
        history.rollback();
        r.lost += std::string(r.lost.empty() ? "" : ". ") + "The recording could not be put back: " + e.what();
        return r;
    }
    r.recording = describe_recording(*spool);
    if (spool->lostbytes > 0)
        r.lost += std::string(r.lost.empty() ? "" : ". ") + "The end of the recording's spool was damaged: its last " +
                  std::to_string(spool->lostbytes) + " bytes were lost";
    return r;
}

trecovery recover_labels(tdocument& doc, tundohistory& history, const tjournalcontents& j,
                         const tspoolcontents* spool) {
    trecovery r;
    const auto labels = journal_labels(j);
    history.begin("Recover labels");
    try {
        for (const auto& [i, list] : labels) {
            if (i >= doc.totnchans()) {
                r.lost += std::string(r.lost.empty() ? "" : ". ") + "Channel " + std::to_string(i) +
                          " is no longer in the file: its labels were not put back";
                continue;
            }
            doc.channel(i).labels = list;
            doc.channel(i).bmpdirty = true;
            ++r.replayed;
        }
        if (r.replayed > 0) doc.set_modified(true);
        history.commit();
    } catch (...) {
        history.rollback();
        throw;
    }
    doc.theglobal.channels_changed();
    if (spool) {
        const tspoolcontents alone = as_new_channels(*spool, doc.totnchans());
        const trecovery rec = recover_leftover(doc, history, tjournalcontents{.readable = true}, &alone);
        r.recording = rec.recording;
        if (!rec.lost.empty()) r.lost += std::string(r.lost.empty() ? "" : ". ") + rec.lost;
    }
    return r;
}

}  // namespace tessal
