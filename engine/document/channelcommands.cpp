#include "engine/document/channelcommands.h"

#include <algorithm>
#include <cmath>

#include "engine/document/editcommands.h"
#include "engine/view/viewrange.h"
#include "engine/dsp/numberfield.h"
#include "engine/dsp/numformat.h"

namespace tessal {

namespace {

bool read_number(const std::string& text, double& v) {
    return try_parse_float(text, v) && std::isfinite(v);
}

bool fits_index(double v) { return std::fabs(v) < 4e18; }

}  // namespace

// --- Set FSD --------------------------------------------------------------------

std::string setfsd_heading(const tdocument& doc) {
    const bool sel = doc.theglobal.has_selection();
    const std::string of = sel ? "Set FSD such that the Leq of the selection of "
                               : "Set FSD such that the Leq of the entire ";
    const int cur = doc.thischanno();
    switch (doc.selectmode) {
        case selstereo:
            if (int p = stereo_partner(doc, cur); p >= 0)
                return of + "channels " + std::to_string(cur) + " and " + std::to_string(p) +
                       " become";
            [[fallthrough]];
        case selmono: return of + "channel " + std::to_string(cur) + " becomes";
        case selall:
            return sel ? "Set FSD such that the Leq of selection of each channel become"
                       : "Set FSD such that the Leq of each channel become [dB re FSD]";
        default: {
            std::vector<int> vis = edit_set(doc);
            return of + (vis.size() > 1 ? "channels " : "channel ") + and_list(vis) +
                   (vis.size() > 1 ? " become" : " becomes");
        }
    }
}

double setfsd_rms(const tdocument& doc, int chno) {
    const tchannel& ch = doc.channel(chno);
    if (ch.sample_count() == 0) return 0;
    long long s = 0, e = ch.sample_count() - 1;
    if (doc.theglobal.has_selection()) {
        tsamplerange r = selection_range(ch, doc.theglobal.leftselcursor(),
                                         doc.theglobal.rightselcursor());
        s = std::max(r.s, 0LL);
        e = std::min(r.e, e);
    }
    if (e < s) return 0;
    double sum = 0;
    ch.for_each_chunk(s, e + 1, [&](const float* p, std::size_t n, std::int64_t) {
        for (std::size_t i = 0; i < n; ++i) sum += static_cast<double>(p[i]) * p[i];
    });
    return std::sqrt(sum / static_cast<double>(e - s + 1));
}

bool set_fsd_to_level(tdocument& doc, const std::string& leveltext, bool keepimbalance) {
    double level = 0;
    if (!read_number(leveltext, level)) return false;
    const double k = std::pow(10.0, -level / 20.0);
    if (!std::isfinite(k)) return false;
    const std::vector<int> set = edit_set(doc);
    if (set.empty()) return false;
    std::vector<double> rms;
    for (int c : set) rms.push_back(setfsd_rms(doc, c));
    if (doc.selectmode == selstereo && keepimbalance && rms.size() == 2)
        rms[0] = rms[1] = std::max(rms[0], rms[1]);
    bool changed = false;
    for (std::size_t i = 0; i < set.size(); ++i)
        if (doc.channel(set[i]).set_fsd(rms[i] * k)) changed = true;
    if (!changed) return false;
    doc.set_modified(true);
    doc.theglobal.invalidate_paintboxes(true);
    return true;
}

// --- Align channels -------------------------------------------------------------

std::string channel_list_text(const tdocument& doc, int chno) {
    return std::to_string(chno) + ": " + doc.channel(chno).name();
}

std::string align_channels(tdocument& doc, int refchan, const std::vector<int>& chans,
                           bool onlyshift) {
    if (refchan < 0 || refchan >= doc.totnchans()) return "Choose a reference channel";
    const double v = doc.channel(refchan).cursors[1], u = doc.channel(refchan).cursors[2];
    std::vector<int> failed;
    bool changed = false;
    for (int c : chans) {
        if (c < 0 || c >= doc.totnchans()) continue;
        tchannel& ch = doc.channel(c);
        const double c1 = ch.cursors[1], c2 = ch.cursors[2];
        if (onlyshift) {
            const double shift = std::round((v - c1) * ch.sampfreq);
            if (!fits_index(shift + static_cast<double>(ch.xshift))) {
                failed.push_back(c);
                continue;
            }
            ch.xshift += static_cast<long long>(shift);
            ch.cursors[1] = v;
        } else {
            const double d = u - v, delta = c2 - c1;
            // Both pairs of marks must span a stretch in the same direction,
            // or the new rate would be infinite, zero or negative.
            const double newrate = delta * ch.sampfreq / d;
            const double xs = std::round((v - c1 * d / delta) * newrate + static_cast<double>(ch.xshift));
            if (d == 0 || delta == 0 || !(newrate > 0) || !std::isfinite(newrate) || !fits_index(xs)) {
                failed.push_back(c);
                continue;
            }
            ch.sampfreq = newrate;
            ch.xshift = static_cast<long long>(xs);
            ch.cursors[1] = v;
            ch.cursors[2] = u;
        }
        ch.bmpdirty = ch.sigcachedirty = true;
        doc.theglobal.channel_changed(tchannelchange::properties(c));
        changed = true;
        fix_xaxis(doc, false);
    }
    if (changed) {
        doc.measurementdirty = true;
        doc.set_modified(true);
        doc.theglobal.invalidate_paintboxes(true);
    }
    if (failed.empty()) return "";
    return std::string("Could not align ") + (failed.size() > 1 ? "channels " : "channel ") +
           and_list(failed) +
           ": the red and blue cursors must be at two different places in both channels";
}

void remove_alignment(tdocument& doc, const std::vector<int>& chans) {
    bool changed = false;
    for (int c : chans) {
        if (c < 0 || c >= doc.totnchans()) continue;
        tchannel& ch = doc.channel(c);
        if (ch.orgsampfreq > 0) ch.sampfreq = ch.orgsampfreq;
        ch.xshift = 0;
        ch.bmpdirty = ch.sigcachedirty = true;
        doc.theglobal.channel_changed(tchannelchange::properties(c));
        changed = true;
    }
    if (!changed) return;
    fix_xaxis(doc, false);
    doc.measurementdirty = true;
    doc.set_modified(true);
    doc.theglobal.invalidate_paintboxes(true);
}

// --- Channel information --------------------------------------------------------

tchannelinfo channel_info(const tdocument& doc, int chno) {
    tchannelinfo info;
    if (chno < 0 || chno >= doc.totnchans()) return info;
    const tchannel& ch = doc.channel(chno);
    info.name = ch.name();
    info.unit = ch.yunit();
    info.fsd = float_to_text(ch.fsd());
    info.sampfreq = float_to_text(ch.sampfreq);
    info.stereochanno = stereo_partner(doc, chno);
    info.timeshift =
        float_to_text(ch.sampfreq > 0 ? static_cast<double>(ch.xshift) / ch.sampfreq : 0.0);
    info.dbreference = float_to_text(ch.dbreference);
    return info;
}

std::string dbreference_caption(const std::string& unit) {
    return unit.empty() ? "dB reference (0=disable)" : "dB reference (0=disable) [" + unit + "]";
}

void set_channel_visible(tdocument& doc, int chno, bool visible) {
    if (chno < 0 || chno >= doc.totnchans()) return;
    doc.channel(chno).set_visible(visible);
    doc.theglobal.channels_changed();
    doc.theglobal.invalidate_paintboxes(true);
}

std::string apply_channel_info(tdocument& doc, int chno, const tchannelinfo& info) {
    if (chno < 0 || chno >= doc.totnchans()) return "There is no channel " + std::to_string(chno);
    double fsd = 0, rate = 0, shift = 0, dbref = 0;
    // Each field has its range; the rate the channel already has is always
    // accepted, so a channel read at an unusual rate can still be renamed.
    auto refused = [](const std::string& text, const std::string& rule) {
        return "'" + text + "' cannot be used.\r" + rule + ".";
    };
    if (std::string e = read_number_field(info.fsd, fields::fullscale, fsd); !e.empty())
        return refused(info.fsd, e);
    if (!tchannel::usable_fsd(fsd))
        return "A full scale of 0 cannot be used: it would blank the trace and no file could be "
               "saved. The channel keeps its full scale of " +
               float_to_text(doc.channel(chno).fsd()) + ".";
    if (std::string e = read_number_field(info.sampfreq, fields::samplingrate, rate); !e.empty()) {
        if (!read_number(info.sampfreq, rate) || rate != doc.channel(chno).sampfreq || !(rate > 0))
            return refused(info.sampfreq, e);
    }
    if (std::string e = read_number_field(info.timeshift, fields::timeshift, shift); !e.empty())
        return refused(info.timeshift, e);
    if (!fits_index(shift * rate)) return "'" + info.timeshift + "' is not a valid time shift";
    if (std::string e = read_number_field(info.dbreference, fields::dbreference, dbref); !e.empty())
        return refused(info.dbreference, e);
    const int partner = info.stereochanno;
    if (partner == chno || partner < -1 || partner >= doc.totnchans())
        return "Choose another channel as stereo companion";

    tchannel& ch = doc.channel(chno);
    ch.set_name(info.name);
    ch.set_yunit(info.unit);
    ch.set_fsd(fsd);
    ch.sampfreq = rate;
    // A pair is kept both ways: the old partner forgets this channel.
    if (int old = stereo_partner(doc, chno); old >= 0 && old != partner &&
                                             doc.channel(old).stereochanno == chno)
        doc.channel(old).stereochanno = -1;
    ch.stereochanno = partner;
    if (partner >= 0) {
        tchannel& p = doc.channel(partner);
        if (int pold = stereo_partner(doc, partner); pold >= 0 && pold != chno &&
                                                     doc.channel(pold).stereochanno == partner)
            doc.channel(pold).stereochanno = -1;
        p.stereochanno = chno;
    }
    ch.xshift = static_cast<long long>(std::llround(shift * rate));
    ch.dbreference = dbref;
    ch.needsdither = true;
    ch.bmpdirty = ch.sigcachedirty = true;
    doc.measurementdirty = true;
    doc.theglobal.channel_changed(tchannelchange::properties(chno));
    doc.theglobal.channels_changed();
    fix_xaxis(doc, false);
    doc.set_modified(true);
    doc.theglobal.fix_things();
    doc.theglobal.invalidate_paintboxes(true);
    return "";
}

// --- Delete channel(s) ----------------------------------------------------------

bool can_delete_channel(const tdocument& doc) { return doc.totnchans() > 0; }

bool can_delete_channels(const tdocument& doc) {
    return doc.totnchans() > 0 && stereo_partner(doc, doc.thischanno()) >= 0;
}

std::string delete_channel_caption(const tdocument& doc) {
    if (!can_delete_channel(doc)) return "Delete channel";
    return "Delete channel " + std::to_string(doc.thischanno());
}

std::string delete_channels_caption(const tdocument& doc) {
    if (!can_delete_channels(doc)) return "Delete channels";
    return "Delete channels " + std::to_string(doc.thischanno()) + " and " +
           std::to_string(stereo_partner(doc, doc.thischanno()));
}

bool delete_current_channel(tdocument& doc, tprompter& prompter) {
    if (!can_delete_channel(doc)) return false;
    const int n = doc.thischanno();
    if (prompter.ask("Do you want to delete channel number " + std::to_string(n) + "?",
                     "Confirm deletion of channel", tbuttons::yesno,
                     ticon::question) != tanswer::yes)
        return false;
    doc.delete_channel(n);
    fix_xaxis(doc, false);
    doc.set_modified(true);
    return true;
}

bool delete_current_channels(tdocument& doc, tprompter& prompter) {
    if (!can_delete_channels(doc)) return false;
    const int n = doc.thischanno(), p = stereo_partner(doc, n);
    if (prompter.ask("Do you want to delete channels number " + std::to_string(n) + " and " +
                         std::to_string(p) + "?",
                     "Confirm deletion of channel", tbuttons::yesno,
                     ticon::question) != tanswer::yes)
        return false;
    // The higher number first, so the lower one still names the same channel.
    doc.delete_channel(std::max(n, p));
    doc.delete_channel(std::min(n, p));
    fix_xaxis(doc, false);
    doc.set_modified(true);
    return true;
}

}  // namespace tessal
