#include "engine/document/labelcommands.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>

#include "engine/core/measurementitems.h"
#include "engine/document/editcommands.h"
#include "engine/dsp/numberfield.h"
#include "engine/dsp/numformat.h"

namespace tessal {

namespace {

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

void repaint(tdocument& doc) {
    doc.theglobal.invalidate_paintboxes(true);
    doc.theglobal.document_state_changed();  // the menu's captions and enablings
}

}  // namespace

// --- counts, captions, enablings ------------------------------------------------

int labels_count(const tdocument& doc) {
    int n = 0;
    for (int i = 0; i < doc.totnchans(); ++i) n += static_cast<int>(doc.channel(i).labels.size());
    return n;
}

int selected_labels_count(const tdocument& doc) {
    int n = 0;
    for (int i = 0; i < doc.totnchans(); ++i) n += doc.channel(i).labels_selectcount();
    return n;
}

bool can_log_labels(const tdocument& doc) { return labels_count(doc) > 0; }
bool can_add_label(const tdocument& doc) { return doc.totnchans() > 0; }
bool can_deselect_labels(const tdocument& doc) { return selected_labels_count(doc) > 0; }
bool can_select_signal_at_label(const tdocument& doc) {
    return doc.totnchans() > 0 && doc.channel(doc.thischanno()).labels_selectcount() == 1;
}

std::string log_labels_caption(const tdocument& doc) {
    const int q = labels_count(doc), r = selected_labels_count(doc);
    if (q == 0) return "Log labels";
    if (r == 0) return "Log all " + std::to_string(q) + " labels";
    return "Log " + std::to_string(r) + (r == 1 ? " selected label" : " selected labels");
}

std::string delete_labels_caption(const tdocument& doc) {
    const int q = labels_count(doc), r = selected_labels_count(doc);
    if (q == 0 || r == 0) return "Delete labels";
    return "Delete " + std::to_string(r) + (r == 1 ? " selected label" : " selected labels");
}

// --- adding -------------------------------------------------------------------------

bool add_manual_label(tdocument& doc, const std::string& text) {
    if (text.empty() || doc.totnchans() == 0) return false;
    const double L = doc.theglobal.leftselcursor(), R = doc.theglobal.rightselcursor();
    const int c = doc.thischanno();
    doc.channel(c).add_label(L, R - L, text, "manual");
    const tsamplerange r = selection_range(doc.channel(c), L, R);
    doc.theglobal.channel_changed(tchannelchange::labels(c, r.s, r.e + 1));
    doc.set_modified(true);
    repaint(doc);
    return true;
}

tentities measurement_entities(const tdocument& doc, const tchannel& ch) {
    tentities ents;
    for (int item = 3; item < nmeasurementitems; ++item) {
        if (!doc.showmeasurement[item]) continue;
        tentity e;
        e.entityname = ch.get_measurementheading(item);
        if (item == 15) e.entityname += float_to_text(doc.measurementthreshold);
        e.value = ch.get_measurementfloat(item);
        e.yunit = ch.get_measurementunit(item);
        ents.no.push_back(std::move(e));
    }
    return ents;
}

bool add_measurement_label(tdocument& doc, const std::function<void()>& wait_for_measurements) {
    if (doc.totnchans() == 0) return false;
    if (wait_for_measurements) wait_for_measurements();
    const double L = doc.theglobal.leftselcursor(), R = doc.theglobal.rightselcursor();
    bool added = false;
    for (int c = 0; c < doc.totnchans(); ++c) {
        if (!doc.is_channel_selected(c)) continue;
        tchannel& ch = doc.channel(c);
        ch.add_label(L, R - L, "Measurement", "measurement", measurement_entities(doc, ch));
        const tsamplerange r = selection_range(ch, L, R);
        doc.theglobal.channel_changed(tchannelchange::labels(c, r.s, r.e + 1));
        added = true;
    }
    if (!added) return false;
    doc.set_modified(true);
    repaint(doc);
    return true;
}

// --- selecting ----------------------------------------------------------------------

bool select_signal_at_label(tdocument& doc) {
    if (!can_select_signal_at_label(doc)) return false;
    for (const tsiglabel& l : doc.channel(doc.thischanno()).labels) {
        if (!l.selected) continue;
        // Copies: the broadcasts may repaint and read the labels.
        const double t = l.time, d = l.duration;
        doc.theglobal.set_sel1cursor(t);
        doc.theglobal.set_sel2cursor(t + d);
        return true;
    }
    return false;
}

namespace {

// The channels the label selection commands act on: like the edit set, but
// in stereo mode any partner index that names a channel counts.
template <class F>
void each_label_channel(tdocument& doc, F f) {
    for (int c : edit_set(doc)) {
        f(doc.channel(c));
        doc.theglobal.channel_changed(tchannelchange::labels(c));
    }
}

}  // namespace

void select_labels_by_type(tdocument& doc, int tag) {
    if (tag < 0 || tag >= static_cast<int>(std::size(labeltypes))) return;
    const std::string word = labeltypes[tag].word;
    each_label_channel(doc, [&](tchannel& ch) { ch.select_labels(word); });
    repaint(doc);
}

void select_all_labels(tdocument& doc) {
    each_label_channel(doc, [](tchannel& ch) { ch.select_all_labels(); });
    repaint(doc);
}

void deselect_all_labels(tdocument& doc) {
    each_label_channel(doc, [](tchannel& ch) { ch.deselect_labels(); });
    repaint(doc);
}

bool delete_selected_labels(tdocument& doc, tprompter& prompter) {
    const int n = selected_labels_count(doc);
    if (n == 0) return false;
    if (doc.prefs.AskDeleteLabel) {
        const std::string suffix = n >= 2 ? "s" : "";
        if (prompter.ask("Do you want to delete the selected label" + suffix + "?",
                         "Delete label" + suffix + "?", tbuttons::yesno,
                         ticon::question) != tanswer::yes)
            return false;
    }
    for (int c = 0; c < doc.totnchans(); ++c) {
        tsiglabels& ls = doc.channel(c).labels;
        // One pass that keeps the order of the rest; the same as deleting
        // from the last index down, without moving the tail once per label.
        const auto kept = std::remove_if(ls.begin(), ls.end(),
                                         [](const tsiglabel& l) { return l.selected; });
        if (kept == ls.end()) continue;
        ls.erase(kept, ls.end());
        doc.theglobal.channel_changed(tchannelchange::labels(c));
    }
    doc.set_modified(true);
    repaint(doc);
    return true;
}

// --- logging ------------------------------------------------------------------------

std::string entity_value_text(const tdocument& doc, const tentity& e) {
    if (std::isnan(e.value)) return "-";
    if (e.yunit.rfind("dB", 0) == 0) return format_float_pattern(doc.prefs.dBFormat, e.value);
    if (e.yunit == "s") return format_float_pattern(doc.prefs.SecondsFormat, e.value);
    return format_significant(doc.prefs.nSignificantDigits, e.value);
}

std::vector<tlogrow> label_log_rows(const tdocument& doc) {
    std::vector<tlogrow> rows;
    const std::string& sf = doc.prefs.SecondsFormat;
    for (int c = 0; c < doc.totnchans(); ++c) {
        const tchannel& ch = doc.channel(c);
        const bool onlyselected = ch.labels_selectcount() > 0;
        for (const tsiglabel& l : ch.labels) {
            if (onlyselected && !l.selected) continue;
            tlogrow row;
            row.heading = "Channel\tTime [s]\tDuration [s]\tLabel type\tText\t";
            row.line = std::to_string(c) + "\t" + format_float_pattern(sf, l.time) + "\t" +
                       format_float_pattern(sf, l.duration) + "\t" + l.labeltype + "\t" + l.text +
                       "\t";
            for (const tentity& e : l.entities.no) {
                row.heading += e.entityname + " [" + e.yunit + "]\t";
                row.line += entity_value_text(doc, e) + "\t";
            }
            row.heading += "description\tFilename\tChannel name";
            row.line += l.entities.descriptor + "\t" + ch.filename + "\t" + ch.name();
            rows.push_back(std::move(row));
        }
    }
    return rows;
}

bool log_labels(const tdocument& doc, tdatalog& log) {
    std::vector<tlogrow> rows = label_log_rows(doc);
    for (const tlogrow& r : rows) log.add_line(r.heading, r.line);
    return !rows.empty();
}

// --- label properties -----------------------------------------------------------

bool is_user_label(const tsiglabel& label) {
    const std::string t = lower(label.labeltype);
    return t == "manual" || t == "smp";
}

tlabelproperties label_properties(const tdocument& doc, const tsiglabel& label) {
    tlabelproperties p;
    p.text = label.text;
    p.time = float_to_text(label.time);
    p.duration = float_to_text(label.duration);
    p.timeeditable = is_user_label(label);
    p.typecaption = "Label type: " + label.labeltype;
    if (!label.entities.descriptor.empty()) p.memo.push_back(label.entities.descriptor);
    for (const tentity& e : label.entities.no)
        p.memo.push_back(e.entityname + "=" + entity_value_text(doc, e) + " " + e.yunit);
    return p;
}

std::string label_properties_error(const tsiglabel& edited, const tlabelproperties& values) {
    if (!is_user_label(edited)) return {};
    double t = 0, d = 0;
    if (std::string e = read_number_field(values.time, fields::labeltime, t); !e.empty()) return e;
    return read_number_field(values.duration, fields::labelduration, d);
}

bool save_label_properties(tdocument& doc, tsiglabel& edited, const tlabelproperties& values) {
    double t = edited.time, d = edited.duration;
    if (is_user_label(edited)) {
        if (!label_properties_error(edited, values).empty()) return false;
        read_number_field(values.time, fields::labeltime, t);
        read_number_field(values.duration, fields::labelduration, d);
    }
    edited.text = values.text;
    edited.time = t;
    edited.duration = d;
    doc.set_modified(true);
    return true;
}

bool store_label(tdocument& doc, int chno, int labelno, const tsiglabel& edited) {
    if (chno < 0 || chno >= doc.totnchans()) return false;
    tchannel& ch = doc.channel(chno);
    if (labelno < 0 || labelno >= static_cast<int>(ch.labels.size())) return false;
    ch.labels[labelno] = edited;
    ch.sort_labels();
    doc.theglobal.channel_changed(tchannelchange::labels(chno));
    doc.set_modified(true);
    doc.theglobal.invalidate_paintboxes(true);
    return true;
}

// --- notes ----------------------------------------------------------------------

std::string notes_caption(int chno) { return "Notes for channel " + std::to_string(chno); }

std::string daynumber_text(double date) {
    if (!std::isfinite(date) || std::fabs(date) > 3e6) return "-";
    // Seconds since 30 December 1899, rounded, then the civil date from the
    // day count (days since 1970-01-01 by the proleptic Gregorian calendar).
    long long secs = std::llround(date * 86400.0);
    long long days = secs >= 0 ? secs / 86400 : -((-secs + 86399) / 86400);
    long long rem = secs - days * 86400;
    long long z = days - 25569 + 719468;  // 1899-12-30 is 25569 days before 1970-01-01
    long long era = (z >= 0 ? z : z - 146096) / 146097;
    long long doe = z - era * 146097;
    long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    long long y = yoe + era * 400;
    long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    long long mp = (5 * doy + 2) / 153;
    long long d = doy - (153 * mp + 2) / 5 + 1;
    long long m = mp < 10 ? mp + 3 : mp - 9;
    if (m <= 2) ++y;
    char buf[128];
    std::snprintf(buf, sizeof buf, "%04lld-%02lld-%02lld %02lld:%02lld:%02lld", y, m, d, rem / 3600,
                  rem / 60 % 60, rem % 60);
    return buf;
}

std::vector<std::string> notes_stamp(const tcreatedata& created) {
    return {"Date: " + (created.date == 0 ? std::string("-") : daynumber_text(created.date)),
            "By: " + created.user, "at: " + created.computer, "Origin: " + created.origin};
}

void save_notes(tdocument& doc, int chno, const std::vector<std::string>& lines, TColor color) {
    if (chno < 0 || chno >= doc.totnchans()) return;
    tchannel& ch = doc.channel(chno);
    ch.notes = lines;
    ch.notescolor = color;
    doc.set_modified(true);
    doc.theglobal.invalidate_paintboxes(true);
}

}  // namespace tessal
