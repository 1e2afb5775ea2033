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

long long last_index(const tchannel& ch) { return static_cast<long long>(ch.sig.size()) - 1; }

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
    // The drawing cache follows only the blocks that changed.
    doc.channel(c).samples_changed(s, e, shift);
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
        const long long len = static_cast<long long>(ch.sig.size());
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
            std::copy(ch.sig.begin() + a, ch.sig.begin() + b, cc.samples.begin() + (a - r.s));
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
        if (ch.sig.empty()) continue;
        tsamplerange r = selection_range(ch, L, R);
        // Half-open: samples s..e-1 go; a selection reaching past the last
        // sample removes it too.
        const long long len = static_cast<long long>(ch.sig.size());
        const long long s = std::clamp(r.s, 0LL, len), e = std::clamp(r.e, 0LL, len);
        if (e > s) {
            doc.samples_changing(ch, static_cast<std::size_t>(s), static_cast<std::size_t>(e));
            ch.sig.erase(ch.sig.begin() + s, ch.sig.begin() + e);
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
        const long long len = static_cast<long long>(ch.sig.size());
        const long long newlen = b < 0 ? len + n - b : std::max(b, len) + n;
        if (newlen > static_cast<long long>(ch.sig.max_size()) || newlen > (1LL << 40))
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
            tsinglearr grown;
            grown.reserve(static_cast<std::size_t>(newlen));
            grown.insert(grown.end(), src.begin(), src.end());
            grown.resize(static_cast<std::size_t>(n - b), 0.0f);
            grown.insert(grown.end(), ch.sig.begin(), ch.sig.end());
            ch.sig.swap(grown);
            ch.xshift = at;
            // Every old sample moved up by the pasted ones and the zeros.
            notify_samples(targets[i], 0, 0, n - b);
        } else if (b > len) {
            ch.sig.reserve(static_cast<std::size_t>(newlen));
            ch.sig.resize(static_cast<std::size_t>(b), 0.0f);
            ch.sig.insert(ch.sig.end(), src.begin(), src.end());
            notify_samples(targets[i], len, len, newlen - len);
        } else {
            ch.sig.insert(ch.sig.begin() + b, src.begin(), src.end());
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
        if (!(ch.sampfreq > 0) || ch.sig.empty()) continue;
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
        const long long len = static_cast<long long>(ch.sig.size());
        if (std::clamp(r.s, 0LL, len) <= r.e)
            doc.samples_changing(ch, static_cast<std::size_t>(std::clamp(r.s, 0LL, len)),
                                 static_cast<std::size_t>(std::min(r.e + 1, len)));
        if (r.e >= len) {
            if (r.e + 1 > (1LL << 40))
                throw std::length_error("The selection reaches too far beyond channel " +
                                        std::to_string(c));
            ch.sig.resize(static_cast<std::size_t>(r.e + 1), 0.0f);
        }
        const long long s = std::clamp(r.s, 0LL, len);
        if (s <= r.e) {
            std::fill(ch.sig.begin() + s, ch.sig.begin() + r.e + 1, 0.0f);
            // Zeros written over s..r.e; past the old end they were appended.
            const long long grown = std::max(0LL, r.e + 1 - len);
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
        if (ch.sig.empty()) continue;
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
        std::reverse(ch.sig.begin() + s, ch.sig.begin() + e + 1);
        notify_samples(c, s, e + 1);
        return true;
    });
}

bool teditcommands::interpolate() {
    return in_place([this](int c, tchannel& ch, long long s, long long e) {
        if (e - s < 2) return false;  // nothing strictly between the ends
        const double x0 = ch.sig[s], x1 = ch.sig[e];
        if (!std::isfinite(x0) || !std::isfinite(x1)) return false;  // no line to draw
        const double step = (x1 - x0) / static_cast<double>(e - s);
        doc.samples_changing(ch, static_cast<std::size_t>(s + 1), static_cast<std::size_t>(e));
        float* p = ch.sig.data();
        for (long long i = s + 1; i < e; ++i)
            p[i] = static_cast<float>(x0 + step * static_cast<double>(i - s));
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
