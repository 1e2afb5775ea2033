#include "engine/history/recordspool.h"

#include <algorithm>
#include <cmath>

#include "engine/history/bytecodec.h"

namespace tessal {

namespace {

constexpr char spoolmagic[8] = {'T', 'E', 'S', 'S', 'A', 'L', 'R', '1'};
constexpr std::string_view magic(spoolmagic, sizeof spoolmagic);

}  // namespace

std::string spool_path(const std::string& journalpath, int n) {
    return journalpath + "." + std::to_string(n) + ".spool";
}

bool is_spool_of(const std::string& spool, const std::string& journalpath) {
    const std::string stem = journalpath + ".";
    return spool.size() > stem.size() && spool.compare(0, stem.size(), stem) == 0 && spool.ends_with(".spool") &&
           spool.find('/', stem.size()) == std::string::npos;
}

std::vector<std::string> list_spools(const std::string& folder) { return files_oldest_first(folder, ".spool"); }

trecordspool::trecordspool(const std::string& path, const tdocument& doc, const std::vector<int>& targets,
                           const std::vector<bool>& inserted)
    : file_(path, magic) {
    tbytewriter w;
    w.u64(targets.size());
    for (std::size_t k = 0; k < targets.size(); ++k) {
        const int i = targets[k];
        if (i < 0 || i >= doc.totnchans()) throw std::runtime_error("no such channel");
        w.i64(i);
        w.u8(k < inserted.size() && inserted[k]);
        w.state(tchannelstate::of(doc.channel(i)));
    }
    file_.append(std::move(w.b));
}

void trecordspool::append(int k, const float* p, std::size_t n) {
    if (n == 0) return;
    tbytewriter w;
    w.b.reserve(n * sizeof(float) + 16);
    w.u8(static_cast<std::uint8_t>(k));
    w.floats(p, n);
    file_.append(std::move(w.b));
}

std::uint64_t tspoolcontents::frames() const {
    std::uint64_t n = 0;
    for (const auto& s : samples) n = std::max<std::uint64_t>(n, s.size());
    return n;
}

tspoolcontents read_spool(const std::string& path) {
    tspoolcontents out;
    tframedrecords f = read_framed(path, magic);
    out.lostbytes = f.lostbytes;
    if (f.records.empty()) return out;
    try {
        tbytereader r{f.records[0].data(), f.records[0].size()};
        const std::size_t n = r.count(9);
        for (std::size_t k = 0; k < n; ++k) {
            tspooltarget t;
            t.index = static_cast<int>(r.i64());
            t.inserted = r.u8() != 0;
            t.state = r.state();
            if (t.index < 0) throw std::runtime_error("no such channel");
            out.targets.push_back(std::move(t));
        }
    } catch (...) {
        out.targets.clear();
        return out;
    }
    out.readable = true;
    out.samples.resize(out.targets.size());
    std::size_t k = 1;
    for (; k < f.records.size(); ++k) {
        try {
            tbytereader r{f.records[k].data(), f.records[k].size()};
            const std::size_t side = r.u8();
            if (side >= out.samples.size()) break;
            std::vector<float> v = r.floats();
            // The recorder writes samples converted from the device's
            // integers: a sample that is not finite is damage the checksum
            // did not catch.
            if (!std::all_of(v.begin(), v.end(), [](float x) { return std::isfinite(x); })) break;
            out.samples[side].insert(out.samples[side].end(), v.begin(), v.end());
        } catch (...) {
            break;
        }
        std::vector<std::uint8_t>().swap(f.records[k]);  // held once
    }
    // A record that could not be taken ends the recording; it and the
    // records after it are lost, frames included.
    for (; k < f.records.size(); ++k) out.lostbytes += framed_record_overhead + f.records[k].size();
    return out;
}

tspoolcontents as_new_channels(tspoolcontents s, int first) {
    std::vector<int> old;
    for (const tspooltarget& t : s.targets) old.push_back(t.index);
    for (std::size_t k = 0; k < s.targets.size(); ++k) {
        tspooltarget& t = s.targets[k];
        t.index = first + static_cast<int>(k);
        t.inserted = true;
        const auto p = std::find(old.begin(), old.end(), t.state.stereochanno);
        t.state.stereochanno = p == old.end() ? -1 : first + static_cast<int>(p - old.begin());
    }
    return s;
}

void apply_spool(tdocument& doc, const tspoolcontents& s) {
    if (!s.readable) throw std::runtime_error("The recording's spool file is unreadable");
    for (std::size_t k = 0; k < s.targets.size(); ++k) {
        const tspooltarget& t = s.targets[k];
        if (t.index > doc.totnchans()) throw std::runtime_error("The recorded channels do not fit the document");
        if (t.index >= doc.totnchans()) doc.set_totnchans(t.index + 1);
        tchannel& ch = doc.channel(t.index);
        doc.samples_changing(ch, 0, static_cast<std::size_t>(ch.sample_count()));
        // A new array: the cache is built again in full.
        ch.set_samples(tsinglearr(s.samples[k].begin(), s.samples[k].end()));
        t.state.apply(ch, doc.totnchans());
        ch.needsdither = false;
    }
    doc.set_modified(true);
    doc.theglobal.channels_changed();
}

}  // namespace tessal
