#include "engine/history/journal.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <stdexcept>

#include "engine/history/bytecodec.h"
#include "engine/settings/tsetting.h"

namespace tessal {

namespace fs = std::filesystem;

namespace {

constexpr char filemagic[8] = {'T', 'E', 'S', 'S', 'A', 'L', 'J', '1'};

int index_in(const tdocument& doc, const tchannel* ch) {
    for (int i = 0; i < doc.totnchans(); ++i)
        if (&doc.channel(i) == ch) return i;
    return -1;
}

// A command run inside a step that was still open ('C') holds what it
// changed; the step's own record, when it comes, holds all of it again, and
// 'X' says the open step was taken back.
enum : std::uint8_t { recstep = 'S', recundo = 'U', recredo = 'R', reccommand = 'C', recdropped = 'X' };
enum : std::uint8_t {
    opinsert = 'I',
    opremove = 'D',
    opsamples = 'S',
    opprops = 'P',
    opdither = 'T',  // whether the channel's samples want dither on a save
    opend = 'E'
};

}  // namespace

// --- identity and folders ------------------------------------------------------------

tfileidentity file_identity(const std::string& path) {
    tfileidentity id;
    id.path = path;
    std::error_code ec;
    if (path.empty() || !fs::is_regular_file(path, ec)) return id;
    id.exists = true;
    id.size = fs::file_size(path, ec);
    id.mtime = static_cast<std::int64_t>(fs::last_write_time(path, ec).time_since_epoch().count());
    std::ifstream f(path, std::ios::binary);
    std::vector<std::uint8_t> head(1 << 20);
    f.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(head.size()));
    id.checksum = fnv1a(head.data(), static_cast<std::size_t>(f.gcount()));
    return id;
}

std::string journal_folder(const std::string& base) {
    const std::string data = local_appdata_folder(base);
    return data.empty() ? std::string() : (fs::path(data) / "Tessal" / "journals").string();
}

std::vector<std::string> list_journals(const std::string& folder) {
    return files_oldest_first(folder, ".tjournal");
}

// --- encoding a step -------------------------------------------------------------------

namespace {

using tdelta = tundohistory::tdelta;

// Samples from..to-1 of `ch` as the reader's floats() takes them back: the
// count, then the values piece by piece as the channel hands them out.
void write_floats(tbytewriter& w, const tchannel& ch, std::int64_t from, std::int64_t to) {
    w.u64(static_cast<std::uint64_t>(to - from));
    ch.for_each_chunk(from, to, [&w](const float* p, std::size_t n, std::int64_t) {
        const auto* q = reinterpret_cast<const std::uint8_t*>(p);
        w.b.insert(w.b.end(), q, q + n * sizeof(float));
    });
}

// The net sample change of each channel the deltas touched that is still
// in the document: its samples before min(start) and its last samples
// stayed. `index` gives a channel's number in the record (-1: left out).
template <typename Index>
std::vector<const tchannel*> write_samples(tbytewriter& w, const tdocument& doc,
                                           const std::vector<const tdelta*>& deltas, Index index) {
    (void)doc;
    struct tspan {
        std::size_t before = 0, head = 0, tail = 0;
        bool first = true;
    };
    std::map<const tchannel*, tspan> spans;
    std::vector<const tchannel*> order;
    for (const tdelta* d : deltas) {
        if (d->kind != tdelta::tkind::samples) continue;
        tspan& s = spans[d->ch];
        const std::size_t tail =
            d->othersize - std::min(d->othersize, d->start + static_cast<std::size_t>(d->data.size()));
        if (s.first) {
            s.first = false;
            s.before = d->othersize;
            s.head = d->start;
            s.tail = tail;
            order.push_back(d->ch);
        } else {
            s.head = std::min(s.head, d->start);
            s.tail = std::min(s.tail, tail);
        }
    }
    std::vector<const tchannel*> written;
    for (const tchannel* ch : order) {
        const int i = index(ch);
        if (i < 0) continue;
        const tspan& s = spans[ch];
        const auto size = static_cast<std::size_t>(ch->sample_count());
        const std::size_t head = std::min(s.head, size);
        const std::size_t tail = std::min(s.tail, size - head);
        w.u8(opsamples);
        w.i64(i);
        w.u64(s.before);
        w.u64(head);
        w.u64(tail);
        write_floats(w, *ch, static_cast<std::int64_t>(head), static_cast<std::int64_t>(size - tail));
        written.push_back(ch);
    }
    return written;
}

// Whether each channel the record wrote wants dither (a replayed channel
// saves as the live one would), then the document's state.
template <typename Index>
void write_end(tbytewriter& w, std::vector<const tchannel*> touched, Index index,
               const tundohistory::tdocstate& after, int thischanno) {
    std::sort(touched.begin(), touched.end());
    touched.erase(std::unique(touched.begin(), touched.end()), touched.end());
    // In channel order, so that the same step always gives the same bytes
    // (the objects' addresses differ from run to run).
    std::sort(touched.begin(), touched.end(),
              [&index](const tchannel* a, const tchannel* b) { return index(a) < index(b); });
    for (const tchannel* ch : touched) {
        const int i = index(ch);
        if (i < 0) continue;
        w.u8(opdither);
        w.i64(i);
        w.u8(ch->needsdither);
    }
    w.u8(opend);
    w.u8(after.modified);
    w.i64(thischanno);
    w.i64(after.selectmode);
    w.f64(after.sel1);
    w.f64(after.sel2);
}

}  // namespace

std::vector<std::uint8_t> encode_step(const tdocument& doc, const tundohistory::tstep& st) {
    tbytewriter w;
    w.u8(recstep);
    w.str(st.name);
    // Channel moves in their order, an inserted channel with the content it
    // has now (nothing else of the step is recorded for it).
    for (const tdelta& d : st.deltas) {
        if (d.kind != tdelta::tkind::channel) continue;
        if (d.held) {
            w.u8(opremove);
            w.i64(d.index);
        } else {
            w.u8(opinsert);
            w.i64(d.index);
            w.state(tchannelstate::of(*d.ch));
            write_floats(w, *d.ch, 0, d.ch->sample_count());
        }
    }
    auto index = [&doc](const tchannel* ch) { return index_in(doc, ch); };
    std::vector<const tdelta*> deltas;
    for (const tdelta& d : st.deltas) deltas.push_back(&d);
    std::vector<const tchannel*> touched = write_samples(w, doc, deltas, index);
    for (const tundohistory::tpropchange& p : st.props) {
        const int i = index_in(doc, p.ch);
        if (i < 0) continue;
        w.u8(opprops);
        w.i64(i);
        w.state(p.after);
    }
    for (const tdelta& d : st.deltas)
        if (d.kind == tdelta::tkind::channel && !d.held) touched.push_back(d.ch);
    for (const tundohistory::tpropchange& p : st.props) touched.push_back(p.ch);
    write_end(w, std::move(touched), index, st.after, st.after.thischanno);
    return w.b;
}

std::vector<std::uint8_t> encode_command(const tdocument& doc, const tundohistory& h,
                                         const tundohistory::tcommand& c) {
    // Left out: the channels the open step made (a recording's new
    // channels, which come back from its spool) and those it changed
    // outside its commands (a recording's existing channels). The others
    // are numbered as they are without the channels it made, which is how
    // a replay finds them.
    const std::vector<tdelta>& open = h.open_deltas();
    std::vector<const tchannel*> out;
    std::vector<const tchannel*> made;
    for (const tdelta& d : open) {
        if (d.kind == tdelta::tkind::channel && !d.held) {
            made.push_back(d.ch);
            out.push_back(d.ch);
        } else if (d.kind == tdelta::tkind::samples && !d.nested) {
            out.push_back(d.ch);
        }
    }
    auto isin = [](const std::vector<const tchannel*>& v, const tchannel* ch) {
        return std::find(v.begin(), v.end(), ch) != v.end();
    };
    auto index = [&](const tchannel* ch) {
        if (isin(out, ch)) return -1;
        int n = 0;
        for (int i = 0; i < doc.totnchans(); ++i) {
            const tchannel* at = &doc.channel(i);
            if (at == ch) return n;
            if (!isin(made, at)) ++n;
        }
        return -1;
    };
    tbytewriter w;
    w.u8(reccommand);
    w.str(c.name);
    std::vector<const tdelta*> deltas;
    for (std::size_t k = c.first; k < open.size(); ++k) deltas.push_back(&open[k]);
    std::vector<const tchannel*> touched = write_samples(w, doc, deltas, index);
    if (c.before) {
        for (const auto& [ch, before] : *c.before) {
            const int i = index(ch);
            if (i < 0) continue;
            tchannelstate after = tchannelstate::of(*ch);
            if (after == before) continue;
            w.u8(opprops);
            w.i64(i);
            w.state(after);
            touched.push_back(ch);
        }
    }
    const tundohistory::tdocstate after = tundohistory::tdocstate::of(doc);
    const int cur = after.thischanno >= 0 && after.thischanno < doc.totnchans()
                        ? index(&doc.channel(after.thischanno))
                        : -1;
    write_end(w, std::move(touched), index, after, std::max(cur, 0));
    return w.b;
}

namespace {

// Applies one step record to the document through the history.
void apply_step(tdocument& doc, tundohistory& h, tbytereader& r) {
    const std::string name = r.str();
    h.begin(name);
    try {
        for (;;) {
            const std::uint8_t op = r.u8();
            if (op == opend) break;
            const std::int64_t i = r.i64();
            if (op == opinsert) {
                if (i < 0 || i > doc.totnchans()) throw std::runtime_error("no such channel");
                tchannelstate s = r.state();
                std::vector<float> v = r.floats();
                tchannel& ch = doc.create_channel(static_cast<int>(i));
                ch.set_samples(tsinglearr(v.begin(), v.end()));
                s.apply(ch, doc.totnchans());
                continue;
            }
            if (i < 0 || i >= doc.totnchans()) throw std::runtime_error("no such channel");
            tchannel& ch = doc.channel(static_cast<int>(i));
            if (op == opremove) {
                doc.delete_channel(static_cast<int>(i));
            } else if (op == opsamples) {
                const std::uint64_t before = r.u64(), head = r.u64(), tail = r.u64();
                std::vector<float> v = r.floats();
                // Compared without a sum: head + tail near 2^64 would wrap.
                if (before != static_cast<std::uint64_t>(ch.sample_count()) || head > before ||
                    tail > before - head)
                    throw std::runtime_error("the samples do not fit");
                doc.samples_changing(ch, head, before - tail);
                // The edit marks the cache blocks it changed, as the command did.
                replace_samples(ch, static_cast<std::int64_t>(head),
                                static_cast<std::int64_t>(before - tail), v.data(), v.size());
            } else if (op == opprops) {
                r.state().apply(ch, doc.totnchans());
            } else if (op == opdither) {
                ch.needsdither = r.u8() != 0;
            } else {
                throw std::runtime_error("unknown change");
            }
        }
        const bool modified = r.u8();
        const int thischanno = static_cast<int>(r.i64());
        const int selectmode = static_cast<int>(r.i64());
        const double sel1 = r.f64(), sel2 = r.f64();
        doc.set_thischanno(thischanno);
        doc.selectmode = selectmode;
        doc.theglobal.set_sel1cursor(sel1);
        doc.theglobal.set_sel2cursor(sel2);
        doc.set_modified(modified);
        h.commit();
    } catch (...) {
        h.rollback();
        throw;
    }
}

}  // namespace

// --- the file ----------------------------------------------------------------------------

tjournal::tjournal(const std::string& path, const std::string& origin)
    : file_(path, std::string_view(filemagic, sizeof filemagic)) {
    // The path as the program was given it may be relative to a folder a
    // later recovery does not run in.
    std::error_code ec;
    const fs::path whole = origin.empty() ? fs::path() : fs::absolute(origin, ec).lexically_normal();
    const tfileidentity id = file_identity(ec ? origin : whole.string());
    tbytewriter h;
    h.str(id.path);
    h.u64(id.size);
    h.i64(id.mtime);
    h.u64(id.checksum);
    h.u8(id.exists);
    file_.append(std::move(h.b));
}

void tjournal::append_step(const tdocument& doc, const tundohistory::tstep& st) {
    file_.append(encode_step(doc, st));
}

void tjournal::append_move(bool undo) { file_.append({undo ? recundo : recredo}); }

void tjournal::append_command(const tdocument& doc, const tundohistory& h, const tundohistory::tcommand& c) {
    file_.append(encode_command(doc, h, c));
}

void tjournal::append_commands_dropped() { file_.append({recdropped}); }

// --- reading and replaying ----------------------------------------------------------------------

tjournalcontents read_journal(const std::string& path) {
    tjournalcontents j;
    tframedrecords f = read_framed(path, std::string_view(filemagic, sizeof filemagic));
    j.lostbytes = f.lostbytes;
    if (f.records.empty()) return j;
    try {
        tbytereader h{f.records.front().data(), f.records.front().size()};
        j.origin.path = h.str();
        j.origin.size = h.u64();
        j.origin.mtime = h.i64();
        j.origin.checksum = h.u64();
        j.origin.exists = h.u8();
    } catch (...) {
        return j;
    }
    j.readable = true;
    j.records.assign(std::make_move_iterator(f.records.begin() + 1), std::make_move_iterator(f.records.end()));
    return j;
}

trecovery replay_journal(tdocument& doc, tundohistory& history, const tjournalcontents& j) {
    trecovery out;
    const std::size_t total = j.records.size();
    // The commands of a step still open when the journal ended (a crash
    // during a recording) are replayed as steps of their own at the end; a
    // step's own record holds them again, so it replaces them.
    std::vector<std::size_t> open;
    for (std::size_t k = 0; k <= total; ++k) {
        const bool atend = k == total;
        if (atend && open.empty()) break;
        try {
            if (atend) {
                for (std::size_t n = 0; n < open.size(); ++n) {
                    const std::vector<std::uint8_t>& rec = j.records[open[n]];
                    tbytereader r{rec.data(), rec.size()};
                    r.u8();
                    try {
                        apply_step(doc, history, r);
                    } catch (const std::exception& e) {
                        out.lost = std::to_string(open.size() - n) + " of " + std::to_string(total) +
                                   " changes could not be replayed (" + e.what() + ")";
                        return out;
                    }
                    ++out.replayed;
                }
                break;
            }
            const std::vector<std::uint8_t>& rec = j.records[k];
            tbytereader r{rec.data(), rec.size()};
            const std::uint8_t kind = r.u8();
            if (kind == reccommand) {
                open.push_back(k);
                continue;
            }
            open.clear();
            switch (kind) {
                case recdropped: continue;
                case recstep: apply_step(doc, history, r); break;
                case recundo: history.undo(); break;
                case recredo: history.redo(); break;
                default: throw std::runtime_error("unknown record");
            }
        } catch (const std::exception& e) {
            out.lost = std::to_string(total - k) + " of " + std::to_string(total) +
                       " changes could not be replayed (" + e.what() + ")";
            return out;
        }
        ++out.replayed;
    }
    if (j.lostbytes > 0)
        out.lost = "The end of the journal was damaged: the last change (" +
                   std::to_string(j.lostbytes) + " bytes) was lost";
    return out;
}

std::vector<std::pair<int, tsiglabels>> journal_labels(const tjournalcontents& j) {
    std::map<int, tsiglabels> last;
    try {
        for (const std::vector<std::uint8_t>& rec : j.records) {
            tbytereader r{rec.data(), rec.size()};
            const std::uint8_t kind = r.u8();
            // An undo, a redo or an open step taken back: the labels before are not kept.
            if (kind != recstep && kind != reccommand) return {};
            r.str();
            for (;;) {
                const std::uint8_t op = r.u8();
                if (op == opend) break;
                const std::int64_t i = r.i64();
                if (i < 0 || i > 1 << 20) return {};
                if (op == opsamples) {
                    r.u64();
                    r.u64();
                    r.u64();
                    r.at += r.count(sizeof(float)) * sizeof(float);
                } else if (op == opprops) {
                    last[static_cast<int>(i)] = r.state().labels;
                } else if (op == opdither) {
                    r.u8();
                } else {
                    return {};  // a channel made or deleted: numbers shift
                }
            }
        }
    } catch (const std::exception&) {
        return {};
    }
    return {last.begin(), last.end()};
}

}  // namespace tessal
