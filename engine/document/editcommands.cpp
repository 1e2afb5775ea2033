#include "engine/document/editcommands.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "engine/document/clipboardblock.h"
#include "engine/view/viewrange.h"

namespace tessal {

namespace {

// round(v) as an index; values beyond any array become far-away indices
// instead of undefined conversions.
long long to_index(double v) {
    if (std::isnan(v)) return 0;
    constexpr double lim = 4e18;
    return static_cast<long long>(std::llround(std::clamp(v, -lim, lim)));
}

long long last_index(const tchannel& ch) { return ch.sample_count() - 1; }

// Samples the commands below hold in one buffer at a time while they go
// through a span.
constexpr long long bufsamples = 1 << 16;

// Zeros over at..at+n-1 (at + n may be up to sample_count()).
void write_zeros(tchannel& ch, long long at, long long n) {
    const std::vector<float> zeros(static_cast<std::size_t>(std::min(n, bufsamples)), 0.0f);
    for (long long k = 0; k < n; k += bufsamples) {
        const long long m = std::min(bufsamples, n - k);
        ch.write_samples(at + k, zeros.data(), static_cast<std::size_t>(m));
    }
}

// n zeros inserted before sample `at`.
void insert_zeros(tchannel& ch, long long at, long long n) {
    // Larger pieces than the other buffers: each insert into today's array
    // moves every later sample.
    constexpr long long piece = 1 << 20;
    const std::vector<float> zeros(static_cast<std::size_t>(std::min(n, piece)), 0.0f);
    for (long long k = 0; k < n; k += piece)
        ch.insert_samples(at, zeros.data(), static_cast<std::size_t>(std::min(piece, n - k)));
}

// The largest block the clipboard format can describe per channel.
constexpr long long maxclipsamples = std::numeric_limits<std::int32_t>::max() / 4 - 3;

}  // namespace

std::string and_list(const std::vector<int>& chans) {
    std::string s;
    for (std::size_t i = 0; i < chans.size(); ++i) {
        if (i > 0) s += i + 1 == chans.size() ? " and " : ", ";
        s += std::to_string(chans[i]);
    }
    return s;
}

int stereo_partner(const tdocument& doc, int chno) {
    if (chno < 0 || chno >= doc.totnchans()) return -1;
    int p = doc.channel(chno).stereochanno;
    return p >= 0 && p < doc.totnchans() && p != chno ? p : -1;
}

std::vector<int> edit_set(const tdocument& doc) {
    std::vector<int> set;
    const int n = doc.totnchans();
    if (n == 0) return set;
    const int cur = doc.thischanno();
    switch (doc.selectmode) {
        case selmono: set.push_back(cur); break;
        case selstereo:
            set.push_back(cur);
            if (int p = stereo_partner(doc, cur); p >= 0) set.push_back(p);
            break;
        case selall:
            for (int i = 0; i < n; ++i) set.push_back(i);
            break;
        case selvisible:
            for (int i = 0; i < n; ++i)
                if (doc.channel(i).visible()) set.push_back(i);
            break;
        default: break;
    }
    return set;
}

tsamplerange selection_range(const tchannel& ch, double L, double R) {
    // The cursors are rounded to time indices first and the shift taken off
    // afterwards, as Paste and the saves do, so that every command sees the
    // same samples for the same selection.
    return {to_index(L * ch.sampfreq) - ch.xshift, to_index(R * ch.sampfreq) - ch.xshift};
}

// --- enabling ------------------------------------------------------------------

bool teditcommands::can_copy() const { return doc.totnchans() > 0 && doc.theglobal.has_selection(); }
bool teditcommands::can_paste() const { return clipboard.has_format(sampleddata_format); }
bool teditcommands::can_select_all() const { return doc.totnchans() > 0; }
bool teditcommands::can_change_selection() const { return can_copy(); }
bool teditcommands::can_set_fsd_to_peak() const { return doc.totnchans() > 0; }
bool can_set_selectmode(const tdocument& doc, int mode) {
    return mode == selmono || doc.totnchans() > 1;
}

bool teditcommands::can_set_selectmode(int mode) const { return tessal::can_set_selectmode(doc, mode); }

// --- helpers -----------------------------------------------------------------

void teditcommands::after_sample_change(tchannel& ch) {
    ch.bmpdirty = true;
    doc.measurementdirty = true;
}

void teditcommands::notify_samples(int c, long long s, long long e, long long shift) {
    // The channel's own edits already marked the drawing cache's blocks
    // that changed; the views hear of the whole change once.
    doc.theglobal.channel_changed(tchannelchange::samples(c, s, e, shift));
}

void teditcommands::refit_and_repaint() {
    fix_xaxis(doc, false);
    doc.set_modified(true);
    doc.theglobal.invalidate_paintboxes(true);
}

// --- copy, cut, delete ---------------------------------------------------------

bool teditcommands::copy() { return copy_span(false); }

bool teditcommands::copy_span(bool removed_only) {
    if (stop_sound) stop_sound();
    const double L = doc.theglobal.leftselcursor(), R = doc.theglobal.rightselcursor();
    tclipblock block;
    block.start = static_cast<float>(L);
    for (int c : edit_set(doc)) {
        const tchannel& ch = doc.channel(c);
        const long long len = ch.sample_count();
        // The selection is the half-open span s..e-1 of Delete and the
        // saves: Copy takes exactly what Delete removes and Paste puts back.
        tsamplerange r = selection_range(ch, L, R);
        if (removed_only) {
            // Cut: exactly the samples Delete is about to remove, so that a
            // Paste at the same place puts the channel back as it was.
            r.s = std::clamp(r.s, 0LL, len);
            r.e = std::clamp(r.e, 0LL, len);
        }
        const long long n = std::max(0LL, r.e - r.s);
        if (n > maxclipsamples) throw EClipboardError("The selection is too long to copy");
        tclipchannel cc;
        cc.sampfreq = static_cast<float>(ch.sampfreq);
        cc.fsd = static_cast<float>(ch.fsd());
        cc.samples.assign(static_cast<std::size_t>(n), 0.0f);
        // Only the part that overlaps the samples is copied; the rest stays 0.
        const long long a = std::max(r.s, 0LL);
        const long long b = std::min(r.s + n, len);
        if (a < b)
            ch.read_samples(a, static_cast<std::size_t>(b - a), cc.samples.data() + (a - r.s));
        block.chans.push_back(std::move(cc));
    }
    if (block.chans.empty()) return false;
    clipboard.set_data(sampleddata_format, serialise_clipblock(block));
    return true;
}

bool teditcommands::cut() {
    const double L = doc.theglobal.leftselcursor(), R = doc.theglobal.rightselcursor();
    if (L == R) return false;
    if (!copy_span(true)) return false;
    return delete_selection();
}

std::string teditcommands::delete_question() const {
    const int cur = doc.thischanno();
    switch (doc.selectmode) {
        case selstereo:
            if (int p = stereo_partner(doc, cur); p >= 0)
                return "Do you want to delete the selection of channels " + std::to_string(cur) +
                       " and " + std::to_string(p) + "?";
            [[fallthrough]];
        case selmono:
            return "Do you want to delete the selection of channel " + std::to_string(cur) + "?";
        case selall: return "Do you want to delete the selection (all channels)?";
        default: {
            std::vector<int> vis = edit_set(doc);
            return std::string("Do you want to delete the selection of ") +
                   (vis.size() > 1 ? "channels " : "channel ") + and_list(vis) + "?";
        }
    }
}

bool teditcommands::delete_selection() {
    const double L = doc.theglobal.leftselcursor(), R = doc.theglobal.rightselcursor();
    if (L == R) return false;
    const std::vector<int> set = edit_set(doc);
    if (set.empty()) return false;
    if (prompter.ask(delete_question(), "Confirm delete of waveform", tbuttons::okcancel,
                     ticon::question) != tanswer::ok)
        return false;
    for (int c : set) {
        tchannel& ch = doc.channel(c);
        if (ch.sample_count() == 0) continue;
        tsamplerange r = selection_range(ch, L, R);
        // Half-open: samples s..e-1 go; a selection reaching past the last
        // sample removes it too.
        const long long len = ch.sample_count();
        const long long s = std::clamp(r.s, 0LL, len), e = std::clamp(r.e, 0LL, len);
        if (e > s) {
            doc.samples_changing(ch, static_cast<std::size_t>(s), static_cast<std::size_t>(e));
            ch.erase_samples(s, e);
            notify_samples(c, s, e, -(e - s));
        }
        // Labels follow the stretch that was really removed, to the sample:
        // when the selection reaches past either end of this channel fewer
        // samples go than the selection is long, and a Paste of the same
        // samples moves them back by exactly as much.
        if (e > s && ch.sampfreq > 0)
            ch.adjust_labelstime(static_cast<double>(s + ch.xshift) / ch.sampfreq,
                                 -static_cast<double>(e - s) / ch.sampfreq);
        after_sample_change(ch);
    }
    doc.set_modified(true);
    doc.theglobal.set_selection(L, L);
    doc.theglobal.fix_things();
    refit_and_repaint();
    return true;
}

// --- paste ---------------------------------------------------------------------

bool teditcommands::paste() {
    if (stop_sound) stop_sound();
    std::vector<std::uint8_t> bytes;
    if (!clipboard.get_data(sampleddata_format, bytes)) return false;
    tclipblock block;
    try {
        block = parse_clipblock(bytes);
    } catch (const EClipboardError& e) {
        prompter.warn(e.what(), "Paste");
        return false;
    }
    // Another program's block may carry infinities or NaNs; no edit stores one.
    for (const tclipchannel& c : block.chans)
        if (!std::all_of(c.samples.begin(), c.samples.end(),
                         [](float v) { return std::isfinite(v); })) {
            prompter.warn("The clipboard holds samples that are not finite numbers.\rNothing "
                          "was pasted.",
                          "Paste");
            return false;
        }
    const int a = static_cast<int>(block.chans.size());
    const int N = doc.totnchans();
    const int cur = doc.thischanno();
    const int partner = stereo_partner(doc, cur);
    const bool fits = N >= a && (a == 1 || (a == 2 && partner >= 0) || (a > 2 && a == N));
    if (!fits) {
        if (a == 1)
            prompter.warn("Clipboard signal does not fit at cursor\r(" + std::to_string(a) +
                              " channel on clipboard, " + std::to_string(N) + " at cursor)",
                          "Channel mismatch");
        else
            prompter.warn("Clipboard signals do not fit at cursor\r(" + std::to_string(a) +
                              " channels on clipboard, " + std::to_string(N) + " at cursor)",
                          "Channel mismatch");
        return false;
    }
    // Clipboard channel i goes into targets[i].
    std::vector<int> targets;
    if (a == 1) {
        targets = {cur};
    } else if (doc.selectmode == selstereo) {
        targets.push_back(cur);
        if (partner >= 0) targets.push_back(partner);
    } else if (doc.selectmode == selmono || doc.selectmode == selall) {
        for (int i = 0; i < std::min(a, N); ++i) targets.push_back(i);
    } else {
        return false;  // a multi-channel block is not pasted into the visible channels
    }

    const double L = doc.theglobal.leftselcursor();
    bool changed = false;
    for (std::size_t i = 0; i < targets.size(); ++i) {
        tchannel& ch = doc.channel(targets[i]);
        const std::vector<float>& src = block.chans[i].samples;
        if (!(ch.sampfreq > 0)) continue;
        const long long n = static_cast<long long>(src.size());
        // An empty channel of the block (a cut that removed nothing there)
        // inserts nothing and must not grow the channel up to the cursor.
        if (n == 0) continue;
        const long long at = to_index(L * ch.sampfreq);  // time index of the cursor
        const long long b = at - ch.xshift;
        const long long len = ch.sample_count();
        const long long newlen = b < 0 ? len + n - b : std::max(b, len) + n;
        if (newlen > (1LL << 40))
            throw std::length_error("The pasted signal would make channel " +
                                    std::to_string(targets[i]) + " too long");
        changed = true;
        ch.adjust_labelstime(static_cast<double>(at) / ch.sampfreq,
                             static_cast<double>(n) / ch.sampfreq);
        doc.samples_changing(ch, static_cast<std::size_t>(std::clamp(b, 0LL, len)),
                             static_cast<std::size_t>(std::clamp(b, 0LL, len)));
        if (b < 0) {
            // The channel now starts at the cursor: pasted samples, zeros up
            // to the old first sample, then the old samples.
            insert_zeros(ch, 0, -b);
            ch.insert_samples(0, src.data(), src.size());
            ch.xshift = at;
            // Every old sample moved up by the pasted ones and the zeros.
            notify_samples(targets[i], 0, 0, n - b);
        } else if (b > len) {
            insert_zeros(ch, len, b - len);
            ch.append_samples(src.data(), src.size());
            notify_samples(targets[i], len, len, newlen - len);
        } else {
            ch.insert_samples(b, src.data(), src.size());
            notify_samples(targets[i], b, b, n);
        }
        after_sample_change(ch);
    }
    if (!changed) return false;
    refit_and_repaint();
    return true;
}

// --- select all, zero, reverse, interpolate, FSD -------------------------------

bool teditcommands::select_all() {
    double lo = 0, hi = 0;
    bool any = false;
    for (int c : edit_set(doc)) {
        const tchannel& ch = doc.channel(c);
        // A channel without samples or rate has no extent to select.
        if (!(ch.sampfreq > 0) || ch.sample_count() == 0) continue;
        double a = static_cast<double>(ch.xshift) / ch.sampfreq;
        double b = static_cast<double>(last_index(ch) + ch.xshift) / ch.sampfreq;
        lo = any ? std::min(lo, a) : a;
        hi = any ? std::max(hi, b) : b;
        any = true;
    }
    if (!any) return false;
    doc.theglobal.set_selection(lo, hi);
    return true;
}

bool teditcommands::zero() {
    const double L = doc.theglobal.leftselcursor(), R = doc.theglobal.rightselcursor();
    if (L == R) return false;
    bool changed = false;
    for (int c : edit_set(doc)) {
        tchannel& ch = doc.channel(c);
        tsamplerange r = selection_range(ch, L, R);
        if (r.e < 0) continue;  // entirely before the first sample
        const long long len = ch.sample_count();
        if (std::clamp(r.s, 0LL, len) <= r.e)
            doc.samples_changing(ch, static_cast<std::size_t>(std::clamp(r.s, 0LL, len)),
                                 static_cast<std::size_t>(std::min(r.e + 1, len)));
        if (r.e >= len && r.e + 1 > (1LL << 40))
            throw std::length_error("The selection reaches too far beyond channel " +
                                    std::to_string(c));
        const long long s = std::clamp(r.s, 0LL, len);
        if (s <= r.e) {
            // Zeros written over s..r.e; past the old end they are appended.
            const long long grown = std::max(0LL, r.e + 1 - len);
            write_zeros(ch, s, std::min(r.e + 1, len) - s);
            insert_zeros(ch, len, grown);
            notify_samples(c, s, std::min(r.e + 1, len), grown);
        }
        after_sample_change(ch);
        changed = true;
    }
    if (!changed) return false;
    refit_and_repaint();
    return true;
}

bool teditcommands::in_place(const std::function<bool(int, tchannel&, long long, long long)>& change) {
    const double L = doc.theglobal.leftselcursor(), R = doc.theglobal.rightselcursor();
    if (L == R) return false;
    bool changed = false;
    for (int c : edit_set(doc)) {
        tchannel& ch = doc.channel(c);
        if (ch.sample_count() == 0) continue;
        tsamplerange r = selection_range(ch, L, R);
        const long long last = last_index(ch);
        const long long s = std::clamp(r.s, 0LL, last), e = std::clamp(r.e, 0LL, last);
        if (!change(c, ch, s, e)) continue;
        after_sample_change(ch);
        changed = true;
    }
    if (!changed) return false;
    doc.set_modified(true);
    doc.theglobal.invalidate_paintboxes(true);
    return true;
}

bool teditcommands::reverse() {
    return in_place([this](int c, tchannel& ch, long long s, long long e) {
        if (e <= s) return false;
        doc.samples_changing(ch, static_cast<std::size_t>(s), static_cast<std::size_t>(e + 1));
        // Pieces from both ends swap places reversed, one pair at a time.
        std::vector<float> front, back;
        for (long long i = s, j = e + 1; j - i >= 2;) {
            const long long k = std::min(bufsamples, (j - i) / 2);
            front.resize(static_cast<std::size_t>(k));
            back.resize(static_cast<std::size_t>(k));
            ch.read_samples(i, front.size(), front.data());
            ch.read_samples(j - k, back.size(), back.data());
            std::reverse(front.begin(), front.end());
            std::reverse(back.begin(), back.end());
            ch.write_samples(i, back.data(), back.size());
            ch.write_samples(j - k, front.data(), front.size());
            i += k;
            j -= k;
        }
        notify_samples(c, s, e + 1);
        return true;
    });
}

bool teditcommands::interpolate() {
    return in_place([this](int c, tchannel& ch, long long s, long long e) {
        if (e - s < 2) return false;  // nothing strictly between the ends
        const double x0 = ch.sample(s), x1 = ch.sample(e);
        if (!std::isfinite(x0) || !std::isfinite(x1)) return false;  // no line to draw
        const double step = (x1 - x0) / static_cast<double>(e - s);
        doc.samples_changing(ch, static_cast<std::size_t>(s + 1), static_cast<std::size_t>(e));
        // The line goes in one buffer at a time.
        std::vector<float> line(static_cast<std::size_t>(std::min(bufsamples, e - s - 1)));
        for (long long from = s + 1; from < e; from += bufsamples) {
            const long long m = std::min(bufsamples, e - from);
            for (long long k = 0; k < m; ++k)
                line[static_cast<std::size_t>(k)] =
                    static_cast<float>(x0 + step * static_cast<double>(from + k - s));
            ch.write_samples(from, line.data(), static_cast<std::size_t>(m));
        }
        notify_samples(c, s + 1, e);
        ch.needsdither = true;
        return true;
    });
}

bool teditcommands::set_fsd_to_peak() {
    const std::vector<int> set = edit_set(doc);
    if (set.empty()) return false;
    // A silent channel has no peak to take; it keeps its full scale.
    std::vector<int> silent;
    bool changed = false;
    for (int c : set) {
        if (doc.channel(c).set_fsd(doc.file_peak_value(c)))
            changed = true;
        else
            silent.push_back(c);
    }
    if (!silent.empty()) {
        std::string list;
        for (std::size_t i = 0; i < silent.size(); ++i)
            list += (i == 0 ? "" : i + 1 == silent.size() ? " and " : ", ") +
                    std::to_string(silent[i]);
        prompter.warn(std::string(silent.size() == 1 ? "Channel " : "Channels ") + list +
                          (silent.size() == 1 ? " is" : " are") +
                          " silent: a full scale of 0 cannot be used, so the full scale "
                          "stays as it was.",
                      "Set FSD to peak value");
    }
    if (!changed) return false;
    doc.set_modified(true);
    doc.theglobal.invalidate_paintboxes(true);
    return true;
}

}  // namespace tessal
