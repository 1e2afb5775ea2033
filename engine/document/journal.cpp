#include "engine/document/journal.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <stdexcept>

#include "engine/settings/tsetting.h"

namespace tessal {

namespace fs = std::filesystem;

namespace {

constexpr char filemagic[8] = {'T', 'E', 'S', 'S', 'A', 'L', 'J', '1'};
constexpr std::uint32_t recordmagic = 0x4A524543;  // "CERJ"
constexpr std::size_t maxrecord = std::size_t(1) << 36;

std::uint64_t fnv1a(const std::uint8_t* p, std::size_t n, std::uint64_t h = 1469598103934665603ull) {
    for (std::size_t i = 0; i < n; ++i) {
        h ^= p[i];
        h *= 1099511628211ull;
    }
    return h;
}

// --- bytes -------------------------------------------------------------------

struct twriter {
    std::vector<std::uint8_t> b;
    template <class T>
    void raw(const T& v) {
        const auto* p = reinterpret_cast<const std::uint8_t*>(&v);
        b.insert(b.end(), p, p + sizeof(T));
    }
    void u8(std::uint8_t v) { raw(v); }
    void u64(std::uint64_t v) { raw(v); }
    void i64(std::int64_t v) { raw(v); }
    void f64(double v) { raw(v); }
    void str(const std::string& s) {
        u64(s.size());
        b.insert(b.end(), s.begin(), s.end());
    }
    void floats(const float* p, std::size_t n) {
        u64(n);
        const auto* q = reinterpret_cast<const std::uint8_t*>(p);
        b.insert(b.end(), q, q + n * sizeof(float));
    }
};

struct treader {
    const std::uint8_t* p;
    std::size_t n, at = 0;
    void need(std::size_t k) {
        if (k > n - at) throw std::runtime_error("record ends early");
    }
    template <class T>
    T raw() {
        need(sizeof(T));
        T v;
        std::memcpy(&v, p + at, sizeof(T));
        at += sizeof(T);
        return v;
    }
    std::uint8_t u8() { return raw<std::uint8_t>(); }
    std::uint64_t u64() { return raw<std::uint64_t>(); }
    std::int64_t i64() { return raw<std::int64_t>(); }
    double f64() { return raw<double>(); }
    std::string str() {
        const std::uint64_t k = u64();
        need(k);
        std::string s(reinterpret_cast<const char*>(p + at), k);
        at += k;
        return s;
    }
    std::vector<float> floats() {
        const std::uint64_t k = u64();
        if (k > (n - at) / sizeof(float)) throw std::runtime_error("record ends early");
        std::vector<float> v(k);
        if (k) std::memcpy(v.data(), p + at, k * sizeof(float));  // an empty vector has no data
        at += k * sizeof(float);
        return v;
    }
};

void put_state(twriter& w, const tchannelstate& s) {
    w.str(s.name);
    w.str(s.unit);
    w.str(s.filename);
    w.u8(s.visible);
    w.u8(s.skipjumps);
    for (double v : {s.fsd, s.sampfreq, s.orgsampfreq, s.dbreference, s.yshift}) w.f64(v);
    w.i64(s.stereochanno);
    w.i64(s.nbits);
    w.i64(s.xshift);
    w.i64(static_cast<int>(s.format));
    w.u64(s.color);
    w.u64(s.notescolor);
    w.u64(s.cursors.size());
    for (double c : s.cursors) w.f64(c);
    w.u64(s.labels.size());
    for (const tsiglabel& l : s.labels) {
        w.f64(l.time);
        w.f64(l.duration);
        w.u8(l.selected);
        w.str(l.text);
        w.str(l.labeltype);
        w.str(l.entities.descriptor);
        w.u64(l.entities.no.size());
        for (const tentity& e : l.entities.no) {
            w.str(e.entityname);
            w.f64(e.value);
            w.str(e.yunit);
        }
    }
    w.u64(s.notes.size());
    for (const std::string& t : s.notes) w.str(t);
    w.f64(s.created.date);
    w.str(s.created.computer);
    w.str(s.created.origin);
    w.str(s.created.user);
    const TAxis::tscalestate& a = s.scale;
    for (double v : {a.lo, a.hi, a.minlo, a.maxlo, a.minhi, a.maxhi, a.mindiff, a.maxdiff}) w.f64(v);
    w.u8(a.logarithmic);
    w.u8(a.music);
    w.u8(a.reverse);
    w.u8(a.isinteger);
}

std::size_t count(treader& r, std::size_t each) {
    const std::uint64_t k = r.u64();
    if (k > (r.n - r.at) / each) throw std::runtime_error("record ends early");
    return static_cast<std::size_t>(k);
}

tchannelstate get_state(treader& r) {
    tchannelstate s;
    s.name = r.str();
    s.unit = r.str();
    s.filename = r.str();
    s.visible = r.u8();
    s.skipjumps = r.u8();
    s.fsd = r.f64();
    s.sampfreq = r.f64();
    s.orgsampfreq = r.f64();
    s.dbreference = r.f64();
    s.yshift = r.f64();
    s.stereochanno = static_cast<int>(r.i64());
    s.nbits = static_cast<int>(r.i64());
    s.xshift = r.i64();
    s.format = static_cast<tFormat>(r.i64());
    s.color = static_cast<TColor>(r.u64());
    s.notescolor = static_cast<TColor>(r.u64());
    s.cursors.resize(count(r, 8));
    for (double& c : s.cursors) c = r.f64();
    s.labels.resize(count(r, 8));
    for (tsiglabel& l : s.labels) {
        l.time = r.f64();
        l.duration = r.f64();
        l.selected = r.u8();
        l.text = r.str();
        l.labeltype = r.str();
        l.entities.descriptor = r.str();
        l.entities.no.resize(count(r, 8));
        for (tentity& e : l.entities.no) {
            e.entityname = r.str();
            e.value = r.f64();
            e.yunit = r.str();
        }
    }
    s.notes.resize(count(r, 8));
    for (std::string& t : s.notes) t = r.str();
    s.created.date = r.f64();
    s.created.computer = r.str();
    s.created.origin = r.str();
    s.created.user = r.str();
    TAxis::tscalestate& a = s.scale;
    for (double* v : {&a.lo, &a.hi, &a.minlo, &a.maxlo, &a.minhi, &a.maxhi, &a.mindiff, &a.maxdiff})
        *v = r.f64();
    a.logarithmic = r.u8();
    a.music = r.u8();
    a.reverse = r.u8();
    a.isinteger = r.u8();
    return s;
}

int index_in(const tdocument& doc, const tchannel* ch) {
    for (int i = 0; i < doc.totnchans(); ++i)
        if (&doc.channel(i) == ch) return i;
    return -1;
}

enum : std::uint8_t { recstep = 'S', recundo = 'U', recredo = 'R' };
enum : std::uint8_t { opinsert = 'I', opremove = 'D', opsamples = 'S', opprops = 'P', opend = 'E' };

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
    std::vector<std::pair<fs::file_time_type, std::string>> found;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder, ec))
        if (e.path().extension() == ".tjournal")
            found.emplace_back(e.last_write_time(ec), e.path().string());
    std::sort(found.begin(), found.end());
    std::vector<std::string> out;
    for (auto& f : found) out.push_back(f.second);
    return out;
}

// --- encoding a step -------------------------------------------------------------------

std::vector<std::uint8_t> encode_step(const tdocument& doc, const tundohistory::tstep& st) {
    using tdelta = tundohistory::tdelta;
    twriter w;
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
            put_state(w, tchannelstate::of(*d.ch));
            w.floats(d.ch->sig.data(), d.ch->sig.size());
        }
    }
    // The net sample change of every other channel still in the document:
    // its samples before min(start) and its last samples stayed.
    struct tspan {
        std::size_t before = 0, head = 0, tail = 0;
        bool first = true;
    };
    std::map<const tchannel*, tspan> spans;
    std::vector<const tchannel*> order;
    for (const tdelta& d : st.deltas) {
        if (d.kind != tdelta::tkind::samples) continue;
        tspan& s = spans[d.ch];
        const std::size_t tail = d.othersize - std::min(d.othersize, d.start + d.data.size());
        if (s.first) {
            s.first = false;
            s.before = d.othersize;
            s.head = d.start;
            s.tail = tail;
            order.push_back(d.ch);
        } else {
            s.head = std::min(s.head, d.start);
            s.tail = std::min(s.tail, tail);
        }
    }
    for (const tchannel* ch : order) {
        const int i = index_in(doc, ch);
        if (i < 0) continue;
        const tspan& s = spans[ch];
        const std::size_t size = ch->sig.size();
        const std::size_t head = std::min(s.head, size);
        const std::size_t tail = std::min(s.tail, size - head);
        w.u8(opsamples);
        w.i64(i);
        w.u64(s.before);
        w.u64(head);
        w.u64(tail);
        w.floats(ch->sig.data() + head, size - head - tail);
    }
    for (const tundohistory::tpropchange& p : st.props) {
        const int i = index_in(doc, p.ch);
        if (i < 0) continue;
        w.u8(opprops);
        w.i64(i);
        put_state(w, p.after);
    }
    w.u8(opend);
    w.u8(st.after.modified);
    w.i64(st.after.thischanno);
    w.i64(st.after.selectmode);
    w.f64(st.after.sel1);
    w.f64(st.after.sel2);
    return w.b;
}

namespace {

// Applies one step record to the document through the history.
void apply_step(tdocument& doc, tundohistory& h, treader& r) {
    const std::string name = r.str();
    h.begin(name);
    try {
        for (;;) {
            const std::uint8_t op = r.u8();
            if (op == opend) break;
            const std::int64_t i = r.i64();
            if (op == opinsert) {
                if (i < 0 || i > doc.totnchans()) throw std::runtime_error("no such channel");
                tchannelstate s = get_state(r);
                std::vector<float> v = r.floats();
                tchannel& ch = doc.create_channel(static_cast<int>(i));
                ch.sig.assign(v.begin(), v.end());
                s.apply(ch, doc.totnchans());
                ch.sigcachedirty = true;
                continue;
            }
            if (i < 0 || i >= doc.totnchans()) throw std::runtime_error("no such channel");
            tchannel& ch = doc.channel(static_cast<int>(i));
            if (op == opremove) {
                doc.delete_channel(static_cast<int>(i));
            } else if (op == opsamples) {
                const std::uint64_t before = r.u64(), head = r.u64(), tail = r.u64();
                std::vector<float> v = r.floats();
                if (before != ch.sig.size() || head + tail > before)
                    throw std::runtime_error("the samples do not fit");
                doc.samples_changing(ch, head, before - tail);
                ch.sig.erase(ch.sig.begin() + static_cast<std::ptrdiff_t>(head),
                             ch.sig.begin() + static_cast<std::ptrdiff_t>(before - tail));
                ch.sig.insert(ch.sig.begin() + static_cast<std::ptrdiff_t>(head), v.begin(), v.end());
                ch.sigcachedirty = true;
            } else if (op == opprops) {
                get_state(r).apply(ch, doc.totnchans());
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

tjournal::tjournal(const std::string& path, const std::string& origin) : path_(path) {
    std::error_code ec;
    fs::create_directories(fs::path(path).parent_path(), ec);
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd_ < 0) throw std::runtime_error("Cannot create the journal " + path);
    const tfileidentity id = file_identity(origin);
    twriter w;
    w.b.insert(w.b.end(), filemagic, filemagic + 8);
    twriter h;
    h.str(id.path);
    h.u64(id.size);
    h.i64(id.mtime);
    h.u64(id.checksum);
    h.u8(id.exists);
    queue_.push_back(std::move(w.b));
    thread_ = std::thread([this] { run(); });
    append(std::move(h.b));
}

tjournal::~tjournal() {
    {
        std::lock_guard<std::mutex> lock(m_);
        stop_ = true;
    }
    cv_.notify_all();
    if (thread_.joinable()) thread_.join();
    if (fd_ >= 0) ::close(fd_);
}

void tjournal::append(std::vector<std::uint8_t> payload) {
    twriter w;
    w.raw(recordmagic);
    w.u64(payload.size());
    w.u64(fnv1a(payload.data(), payload.size()));
    w.b.insert(w.b.end(), payload.begin(), payload.end());
    {
        std::lock_guard<std::mutex> lock(m_);
        if (fd_ < 0) return;
        queue_.push_back(std::move(w.b));
    }
    cv_.notify_all();
}

void tjournal::append_step(const tdocument& doc, const tundohistory::tstep& st) {
    append(encode_step(doc, st));
}

void tjournal::append_move(bool undo) { append({undo ? recundo : recredo}); }

void tjournal::run() {
    std::unique_lock<std::mutex> lock(m_);
    for (;;) {
        cv_.wait(lock, [this] { return stop_ || !queue_.empty(); });
        if (queue_.empty()) {
            if (stop_) return;
            continue;
        }
        std::vector<std::uint8_t> b = std::move(queue_.front());
        queue_.pop_front();
        busy_ = true;
        const int fd = fd_;
        lock.unlock();
        std::size_t at = 0;
        while (fd >= 0 && at < b.size()) {
            const ssize_t k = ::write(fd, b.data() + at, b.size() - at);
            if (k <= 0) break;  // a full disk: the journal ends here
            at += static_cast<std::size_t>(k);
        }
        if (fd >= 0) ::fdatasync(fd);
        lock.lock();
        busy_ = false;
        idle_.notify_all();
    }
}

void tjournal::flush() {
    std::unique_lock<std::mutex> lock(m_);
    idle_.wait(lock, [this] { return queue_.empty() && !busy_; });
}

void tjournal::discard() {
    {
        std::lock_guard<std::mutex> lock(m_);
        queue_.clear();
        stop_ = true;
    }
    cv_.notify_all();
    if (thread_.joinable()) thread_.join();
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    std::error_code ec;
    fs::remove(path_, ec);
}

// --- reading and replaying ----------------------------------------------------------------------

tjournalcontents read_journal(const std::string& path) {
    tjournalcontents j;
    std::ifstream f(path, std::ios::binary);
    std::vector<std::uint8_t> all((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    if (all.size() < 8 || std::memcmp(all.data(), filemagic, 8) != 0) return j;
    std::size_t at = 8;
    bool header = true;
    while (at < all.size()) {
        treader r{all.data() + at, all.size() - at};
        try {
            if (r.raw<std::uint32_t>() != recordmagic) break;
            const std::uint64_t n = r.u64(), sum = r.u64();
            if (n > maxrecord || n > r.n - r.at) break;
            if (fnv1a(r.p + r.at, n) != sum) break;
            std::vector<std::uint8_t> payload(r.p + r.at, r.p + r.at + n);
            at += r.at + n;
            if (header) {
                treader h{payload.data(), payload.size()};
                j.origin.path = h.str();
                j.origin.size = h.u64();
                j.origin.mtime = h.i64();
                j.origin.checksum = h.u64();
                j.origin.exists = h.u8();
                header = false;
                j.readable = true;
            } else {
                j.records.push_back(std::move(payload));
            }
        } catch (...) {
            break;
        }
    }
    j.lostbytes = all.size() - at;
    return j;
}

trecovery replay_journal(tdocument& doc, tundohistory& history, const tjournalcontents& j) {
    trecovery out;
    const std::size_t total = j.records.size();
    for (std::size_t k = 0; k < total; ++k) {
        const std::vector<std::uint8_t>& rec = j.records[k];
        treader r{rec.data(), rec.size()};
        try {
            switch (r.u8()) {
                case recstep: apply_step(doc, history, r); break;
                case recundo: history.undo(); break;
                case recredo: history.redo(); break;
                default: throw std::runtime_error("unknown record");
            }
        } catch (const std::exception&) {
            out.lost = std::to_string(total - k) + " of " + std::to_string(total) +
                       " changes could not be replayed";
            return out;
        }
        ++out.replayed;
    }
    if (j.lostbytes > 0)
        out.lost = "The end of the journal was damaged: the last change (" +
                   std::to_string(j.lostbytes) + " bytes) was lost";
    return out;
}

}  // namespace tessal
