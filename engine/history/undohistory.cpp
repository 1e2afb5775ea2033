#include "engine/history/undohistory.h"

#include <algorithm>
#include <stdexcept>
#include <unordered_map>

namespace tessal {

namespace {

int index_of(const tdocument& doc, const tchannel* ch) {
    for (int i = 0; i < doc.totnchans(); ++i)
        if (&doc.channel(i) == ch) return i;
    return -1;
}

}  // namespace

void replace_samples(tchannel& ch, std::int64_t from, std::int64_t to, const float* p, std::size_t n) {
    const auto old = static_cast<std::size_t>(to - from);
    const std::size_t common = std::min(old, n);
    // Checked first, so that a span outside the samples changes nothing.
    if (from < 0 || to < from || to > ch.sample_count())
        throw std::out_of_range("replace_samples: span outside the samples");
    ch.write_samples(from, p, common);
    const std::int64_t at = from + static_cast<std::int64_t>(common);
    if (n > old)
        ch.insert_samples(at, p + common, n - common);
    else if (old > n)
        ch.erase_samples(at, to);
}

void replace_samples(tchannel& ch, std::int64_t from, std::int64_t to, const tsamplestore& s) {
    if (from < 0 || to < from || to > ch.sample_count())
        throw std::out_of_range("replace_samples: span outside the samples");
    const std::int64_t old = to - from, n = s.size();
    const std::int64_t common = std::min(old, n);
    s.for_each_chunk(0, common, [&](const float* p, std::size_t k, std::int64_t pos) {
        ch.write_samples(from + pos, p, k);
    });
    if (n > old)
        ch.insert_samples(from + common, s.slice(common, n));
    else if (old > n)
        ch.erase_samples(from + common, to);
}

std::size_t tundohistory::tdelta::bytes() const {
    std::size_t n = sizeof(tdelta) + data.extent_count() * sizeof(tsamplestore::textent);
    if (held) n += sizeof(tchannel) + static_cast<std::size_t>(held->sample_count()) * sizeof(float) +
                   held->sigcache.capacity() * sizeof(tsinglepair) +
                   tchannelstate::of(*held).heap_bytes();
    return n;
}

tundohistory::tundohistory(tdocument& doc) : doc_(doc) {
    doc_.set_recorder(this);
    cleanpos_ = doc_.modified() ? -1 : 0;
}

tundohistory::~tundohistory() {
    if (doc_.recorder() == this) doc_.set_recorder(nullptr);
}

// --- recording ---------------------------------------------------------------

void tundohistory::begin(const std::string& name) {
    if (frames_.empty()) heldopen_ = removedinstep_ = toldcommands_ = false;
    tframe f;
    f.name = name;
    f.mark = open_.size();
    f.channels.reserve(static_cast<std::size_t>(doc_.totnchans()));
    f.dither.reserve(static_cast<std::size_t>(doc_.totnchans()));
    for (int i = 0; i < doc_.totnchans(); ++i) {
        f.channels.emplace_back(&doc_.channel(i), tchannelstate::of(doc_.channel(i)));
        f.dither.push_back(doc_.channel(i).needsdither);
    }
    f.state = tdocstate::of(doc_);
    frames_.push_back(std::move(f));
}

void tundohistory::rename(const std::string& name) {
    if (!frames_.empty()) frames_.front().name = name;
}

std::string tundohistory::step_name() const { return frames_.empty() ? "" : frames_.front().name; }

bool tundohistory::created_in_step(const tchannel* ch) const {
    // A channel the open step created goes out whole on undo: what happens
    // to it meanwhile needs no record.
    for (const tdelta& d : open_)
        if (d.kind == tdelta::tkind::channel && d.ch == ch && !d.held) return true;
    return false;
}

void tundohistory::samples_changing(tchannel& ch, std::size_t s, std::size_t e) {
    if (frames_.empty()) {
        // A change outside any command: the steps no longer fit the samples.
        if (!undo_.empty() || !redo_.empty()) clear();
        return;
    }
    if (reset_ || created_in_step(&ch)) return;
    const auto size = static_cast<std::size_t>(ch.sample_count());
    e = std::min(e, size);
    s = std::min(s, e);
    tdelta d;
    d.kind = tdelta::tkind::samples;
    d.ch = &ch;
    d.start = s;
    d.othersize = size;
    d.nested = heldopen_ && frames_.size() > 1;
    d.data = ch.samples_slice(static_cast<std::int64_t>(s), static_cast<std::int64_t>(e));
    open_.push_back(std::move(d));
}

void tundohistory::channel_inserted(tchannel& ch, int index) {
    if (frames_.empty()) {
        if (!undo_.empty() || !redo_.empty()) clear();
        return;
    }
    if (reset_) return;
    tdelta d;
    d.kind = tdelta::tkind::channel;
    d.ch = &ch;
    d.index = index;
    d.nested = heldopen_ && frames_.size() > 1;
    open_.push_back(std::move(d));
}

void tundohistory::channel_removed(std::unique_ptr<tchannel> ch, int index) {
    if (frames_.empty()) {
        if (!undo_.empty() || !redo_.empty()) clear();
        return;  // the channel goes
    }
    if (reset_) return;
    removedinstep_ = true;
    tdelta d;
    d.kind = tdelta::tkind::channel;
    d.nested = heldopen_ && frames_.size() > 1;
    d.ch = ch.get();
    d.index = index;
    d.held = std::move(ch);
    open_.push_back(std::move(d));
}

void tundohistory::contents_reset() {
    // Whatever the open step recorded belonged to the document that went.
    open_.clear();
    for (tframe& f : frames_) {
        f.mark = 0;
        f.channels.clear();
        f.dither.clear();
    }
    reset_ = recording();
    undo_.clear();
    redo_.clear();
    dropped_ = 0;
    cleanpos_ = 0;
    if (onrestart) onrestart();
    changed();
}

void tundohistory::commit() {
    if (frames_.empty()) return;
    tframe f = std::move(frames_.back());
    frames_.pop_back();
    if (!frames_.empty()) {
        if (frames_.front().name.empty()) frames_.front().name = f.name;
        // A command run inside the open step. After a channel left the
        // document the channel numbers no longer say which channel a
        // change was made to until the step ends, so nothing more is told.
        if (heldopen_ && frames_.size() == 1 && oncommand && !reset_ && !steppedinstep_ && !removedinstep_) {
            toldcommands_ = true;
            oncommand(tcommand{f.name, f.mark, &f.channels});
        }
        return;
    }
    if (steppedinstep_) {
        // The step held an undo or redo: that is the whole of it.
        steppedinstep_ = false;
        open_.clear();
        return;
    }
    if (reset_) {
        // The command closed the document (and perhaps opened another).
        reset_ = false;
        open_.clear();
        cleanpos_ = doc_.modified() ? -1 : 0;
        changed();
        return;
    }
    auto st = std::make_unique<tstep>();
    st->name = f.name;
    st->deltas = std::move(open_);
    open_.clear();
    st->before = f.state;
    st->after = tdocstate::of(doc_);
    bool datachanged = !st->deltas.empty();
    for (std::size_t i = 0; i < f.channels.size(); ++i)
        st->dither.push_back({f.channels[i].first, f.dither[i], f.channels[i].first->needsdither});
    for (auto& [ch, before] : f.channels) {
        tchannelstate after = tchannelstate::of(*ch);
        if (before == after) continue;
        if (!before.same_data(after)) datachanged = true;
        st->props.push_back({ch, std::move(before), std::move(after)});
    }
    if (!datachanged) {
        // A save, a view change or nothing: no step, but a save moves the
        // point at which the document equals its file.
        if (f.state.modified && !doc_.modified()) {
            cleanpos_ = static_cast<long long>(undo_.size());
            if (onrestart) onrestart();
        }
        return;
    }
    if (cleanpos_ > static_cast<long long>(undo_.size())) cleanpos_ = -1;
    redo_.clear();
    undo_.push_back(std::move(st));
    recount();
    if (onstep) onstep(*undo_.back());
    enforce_budget();
    changed();
}

void tundohistory::rollback() noexcept {
    if (frames_.empty()) return;
    tframe f = std::move(frames_.back());
    frames_.pop_back();
    if (!reset_ && !steppedinstep_) {
        while (open_.size() > f.mark) {
            try {
                apply(open_.back());
            } catch (...) {
            }
            open_.pop_back();
        }
        const int n = doc_.totnchans();
        for (auto& [ch, before] : f.channels) {
            try {
                if (tchannelstate::of(*ch) == before) continue;
                before.apply(*ch, n);
                const int i = index_of(doc_, ch);
                if (i >= 0) doc_.theglobal.channel_changed(tchannelchange::properties(i));
            } catch (...) {
            }
        }
        for (std::size_t i = 0; i < f.channels.size() && i < f.dither.size(); ++i)
            f.channels[i].first->needsdither = f.dither[i];
        try {
            restore_docstate(f.state, true);
        } catch (...) {
        }
    }
    if (frames_.empty()) {
        reset_ = steppedinstep_ = false;
        open_.clear();
        if (toldcommands_) {
            toldcommands_ = false;
            if (oncommandsdropped) {
                try {
                    oncommandsdropped();
                } catch (...) {
                }
            }
        }
    }
    try {
        refresh_views();
    } catch (...) {
    }
}

// --- applying ------------------------------------------------------------------

void tundohistory::apply(tdelta& d) {
    if (d.kind == tdelta::tkind::channel) {
        if (d.held) {
            doc_.put_channel(d.index, std::move(d.held));
        } else {
            int i = index_of(doc_, d.ch);
            if (i < 0) return;
            d.held = doc_.take_channel(i);
            d.index = i;
        }
        return;
    }
    tchannel& ch = *d.ch;
    const auto cur = static_cast<std::size_t>(ch.sample_count());
    const auto m = static_cast<std::size_t>(d.data.size());
    // The samples this side holds in the range: the channel's size differs
    // from the other side's by the difference of the two ranges.
    const std::size_t n = std::min(cur - std::min(cur, d.start),
                                   cur + m >= d.othersize ? cur + m - d.othersize : std::size_t(0));
    const auto s0 = static_cast<std::int64_t>(d.start);
    tsamplestore now = ch.samples_slice(s0, s0 + static_cast<std::int64_t>(n));
    replace_samples(ch, s0, s0 + static_cast<std::int64_t>(n), d.data);
    d.data = std::move(now);
    d.othersize = cur;
    const long long s = static_cast<long long>(d.start);
    const long long shift = static_cast<long long>(m) - static_cast<long long>(n);
    const int i = index_of(doc_, &ch);
    if (i >= 0)
        doc_.theglobal.channel_changed(
            tchannelchange::samples(i, s, s + static_cast<long long>(n), shift));
}

void tundohistory::restore_docstate(const tdocstate& s, bool full) {
    doc_.selectmode = s.selectmode;
    doc_.set_thischanno(s.thischanno);
    doc_.theglobal.set_sel1cursor(s.sel1);
    doc_.theglobal.set_sel2cursor(s.sel2);
    doc_.theglobal.set_timecursor(s.timecursor);
    if (!full) return;
    doc_.prefs = s.prefs;
    doc_.showmeasurement = s.showmeasurement;
    doc_.measurementthreshold = s.measurementthreshold;
    doc_.xaxis.restore_scale_state(s.xscale);
    doc_.set_filename(s.filename);
    doc_.set_modified(s.modified);
}

void tundohistory::refresh_views() {
    doc_.measurementdirty = true;
    doc_.theglobal.channels_changed();
    doc_.theglobal.fix_things();
    doc_.theglobal.invalidate_paintboxes(true);
    doc_.theglobal.document_state_changed();
}

void tundohistory::undo_step(tstep& st, bool) {
    std::size_t done = 0;
    try {
        for (auto it = st.deltas.rbegin(); it != st.deltas.rend(); ++it, ++done) apply(*it);
    } catch (...) {
        // Out of memory half way: go forward again to where the step ends.
        for (std::size_t k = st.deltas.size() - done; k < st.deltas.size(); ++k) {
            try {
                apply(st.deltas[k]);
            } catch (...) {
            }
        }
        throw;
    }
    restore_step_states(st, true);
}

void tundohistory::redo_step(tstep& st) {
    std::size_t done = 0;
    try {
        for (; done < st.deltas.size(); ++done) apply(st.deltas[done]);
    } catch (...) {
        while (done > 0) {
            try {
                apply(st.deltas[--done]);
            } catch (...) {
            }
        }
        throw;
    }
    restore_step_states(st, false);
}

void tundohistory::restore_step_states(const tstep& st, bool before) {
    const int n = doc_.totnchans();
    for (const tpropchange& p : st.props) {
        (before ? p.before : p.after).apply(*p.ch, n);
        const int i = index_of(doc_, p.ch);
        if (i >= 0) doc_.theglobal.channel_changed(tchannelchange::properties(i));
    }
    for (const tditherflag& d : st.dither) d.ch->needsdither = before ? d.before : d.after;
    restore_docstate(before ? st.before : st.after, false);
}

namespace {

std::size_t step_bytes(const tundohistory::tstep& st) {
    std::size_t b = sizeof(tundohistory::tstep) + st.name.size() +
                    st.dither.capacity() * sizeof(tundohistory::tditherflag);
    for (const auto& d : st.deltas) b += d.bytes();
    for (const auto& p : st.props)
        b += sizeof(tundohistory::tpropchange) + p.before.heap_bytes() + p.after.heap_bytes();
    return b;
}

// Which steps' deltas refer to a block, and whom it is charged to.
struct tblockuse {
    const std::shared_ptr<const tblock>* block = nullptr;
    long refs = 0;            // extents in the steps looked at
    std::size_t owner = 0;    // the last of those steps referring to it
};

// The bytes of the blocks that only the deltas of `steps` keep alive,
// charged each to the last step (in the order given) that refers to it:
// charged[i] for steps[i]. A block is kept alive by them alone when every
// reference to it is one of their extents; a reference from anywhere else
// (a channel of the document, the clipboard, a worker's slice, an open
// step) makes it free here. use_count() is exact for this since all those
// references are shared_ptr copies held by stores, and stores are edited on
// this thread only.
std::vector<std::size_t> charged_blocks(const std::vector<const std::vector<tundohistory::tdelta>*>& steps) {
    std::unordered_map<const tblock*, tblockuse> use;
    for (std::size_t i = 0; i < steps.size(); ++i)
        for (const auto& d : *steps[i])
            for (const auto& e : d.data.extents()) {
                tblockuse& u = use[e.block.get()];
                u.block = &e.block;
                ++u.refs;
                u.owner = i;
            }
    std::vector<std::size_t> charged(steps.size(), 0);
    for (const auto& [b, u] : use)
        if (u.block->use_count() <= u.refs) charged[u.owner] += b->size() * sizeof(float);
    return charged;
}

}  // namespace

void tundohistory::recount() {
    // The order in which enforce_budget drops steps: the block charged to
    // a step is then freed when it goes.
    std::vector<tstep*> order;
    for (auto& s : undo_) order.push_back(s.get());
    for (auto& s : redo_) order.push_back(s.get());
    std::vector<const std::vector<tdelta>*> deltas;
    deltas.reserve(order.size());
    for (const tstep* s : order) deltas.push_back(&s->deltas);
    const std::vector<std::size_t> charged = charged_blocks(deltas);
    for (std::size_t i = 0; i < order.size(); ++i) order[i]->bytes = step_bytes(*order[i]) + charged[i];
}

bool tundohistory::undo() { return can_undo() && move_step(true); }

bool tundohistory::redo() { return can_redo() && move_step(false); }

bool tundohistory::move_step(bool undo) {
    std::vector<std::unique_ptr<tstep>>& from = undo ? undo_ : redo_;
    std::vector<std::unique_ptr<tstep>>& to = undo ? redo_ : undo_;
    tstep& st = *from.back();
    if (recording()) steppedinstep_ = true;
    if (undo)
        undo_step(st, true);
    else
        redo_step(st);
    to.push_back(std::move(from.back()));
    from.pop_back();
    recount();
    doc_.set_modified(static_cast<long long>(undo_.size()) != cleanpos_);
    if (onmove) onmove(undo);
    refresh_views();
    changed();
    return true;
}

// --- the list --------------------------------------------------------------------

std::string tundohistory::undo_name() const { return can_undo() ? undo_.back()->name : ""; }

std::string tundohistory::redo_name() const { return can_redo() ? redo_.back()->name : ""; }

void tundohistory::clear() {
    undo_.clear();
    redo_.clear();
    dropped_ = 0;
    cleanpos_ = doc_.modified() ? -1 : 0;
    changed();
}

void tundohistory::set_budget(std::size_t bytes) {
    budget_ = bytes;
    budgetfromprefs_ = false;
    enforce_budget();
    changed();
}

std::size_t tundohistory::memory_bytes() const {
    std::size_t n = 0;
    for (const auto& s : undo_) n += s->bytes;
    for (const auto& s : redo_) n += s->bytes;
    return n;
}

std::size_t tundohistory::open_bytes() const {
    std::size_t n = charged_blocks({&open_}).front();
    for (const tdelta& d : open_) n += d.bytes();
    return n;
}

void tundohistory::enforce_budget() {
    if (budgetfromprefs_ && doc_.prefs.UndoMemoryMB > 0)
        budget_ = static_cast<std::size_t>(doc_.prefs.UndoMemoryMB) << 20;
    recount();
    std::size_t total = memory_bytes();
    std::size_t k = 0;
    while (total > budget_ && k < undo_.size()) {
        total -= undo_[k]->bytes;
        ++k;
    }
    if (k > 0) {
        undo_.erase(undo_.begin(), undo_.begin() + static_cast<std::ptrdiff_t>(k));
        dropped_ += k;
        cleanpos_ = cleanpos_ >= static_cast<long long>(k) ? cleanpos_ - static_cast<long long>(k) : -1;
    }
    // The farthest redo steps go next.
    while (total > budget_ && !redo_.empty()) {
        total -= redo_.front()->bytes;
        redo_.erase(redo_.begin());
        ++dropped_;
    }
}

void tundohistory::changed() {
    if (onchange) onchange();
}

}  // namespace tessal
