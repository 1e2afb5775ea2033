// The Labels menu over the document: Add label, Add measurement label,
// Select signal at label, selection of labels by type, all or none, Delete
// labels with its question, Log labels into the data log, the menu's
// changing captions and enabling rules; also the values of the Label
// properties dialog and the Notes dialog of a channel.
//
// Contract: selection commands act on the channels of the edit set; Delete
// labels and the captions count over all channels. A refused question or an
// unreadable number changes nothing.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "engine/core/prompter.h"
#include "engine/core/tdocument.h"
#include "engine/measurements/datalog.h"

namespace tessal {

// --- Labels menu ----------------------------------------------------------------

int labels_count(const tdocument& doc);
int selected_labels_count(const tdocument& doc);
bool can_log_labels(const tdocument& doc);          // some channel has labels
bool can_add_label(const tdocument& doc);           // channels exist
bool can_select_signal_at_label(const tdocument& doc);
bool can_deselect_labels(const tdocument& doc);     // some label is selected
std::string log_labels_caption(const tdocument& doc);
std::string delete_labels_caption(const tdocument& doc);

// F7: a "manual" label on the current channel over the selection (duration
// 0 for a single cursor). An empty text adds nothing.
bool add_manual_label(tdocument& doc, const std::string& text);
// F10: one "measurement" label per channel of the edit set holding the
// shown items 3..31 as entities. `wait_for_measurements` runs the pending
// measurement pass first, so the values are fresh.
bool add_measurement_label(tdocument& doc, const std::function<void()>& wait_for_measurements);
// The entities a measurement label of this channel gets.
tentities measurement_entities(const tdocument& doc, const tchannel& ch);

// F6: the selection becomes the one selected label of the current channel.
bool select_signal_at_label(tdocument& doc);
// tag 0..7 indexes labeltypes (tsiglabel.h).
void select_labels_by_type(tdocument& doc, int tag);
void select_all_labels(tdocument& doc);
void deselect_all_labels(tdocument& doc);
// Deletes every selected label of every channel, asking first when
// AskDeleteLabel is on. False when nothing was deleted.
bool delete_selected_labels(tdocument& doc, tprompter& prompter);

// The rows Log labels adds: per channel its selected labels when it has
// any selected, otherwise all its labels.
std::vector<tlogrow> label_log_rows(const tdocument& doc);
// Adds the rows to the log; false when there was nothing to log.
bool log_labels(const tdocument& doc, tdatalog& log);

// The text of an entity value as logs and the properties show it: "-" for
// NaN, dBFormat for units beginning with "dB", SecondsFormat for "s", else
// nSignificantDigits significant digits.
std::string entity_value_text(const tdocument& doc, const tentity& e);

// --- Label properties -----------------------------------------------------------

// "manual" and "smp" (in any case) may be moved and edited in time.
bool is_user_label(const tsiglabel& label);

struct tlabelproperties {
    std::string text;
    std::string time;      // "Starting time [s]"
    std::string duration;  // "Duration [s]"
    bool timeeditable = false;
    std::string typecaption;         // "Label type: manual"
    std::vector<std::string> memo;   // descriptor and entity lines
};

tlabelproperties label_properties(const tdocument& doc, const tsiglabel& label);
// "&Save": stores the text and, for user labels, the typed time and
// duration in `edited` and marks the document modified. False (edited left
// as it was) when a number is unreadable.
bool save_label_properties(tdocument& doc, tsiglabel& edited, const tlabelproperties& values);
// Why save_label_properties would refuse the values (the field and its
// range); empty when it would take them.
std::string label_properties_error(const tsiglabel& edited, const tlabelproperties& values);
// The caller's part on OK: the edited copy replaces label `labelno` of the
// channel, and the labels are sorted again (its time may have changed).
bool store_label(tdocument& doc, int chno, int labelno, const tsiglabel& edited);

// --- Notes ----------------------------------------------------------------------

std::string notes_caption(int chno);
// "Date: ...", "By: ...", "at: ...", "Origin: ..." of the creation stamp.
std::vector<std::string> notes_stamp(const tcreatedata& created);
// A day number (days since 30 December 1899) as "yyyy-mm-dd hh:nn:ss".
std::string daynumber_text(double date);
// "Save notes".
void save_notes(tdocument& doc, int chno, const std::vector<std::string>& lines, TColor color);

}  // namespace tessal
