// The countdown, the edit-set check and the two measurement commands.
#include "engine/measurements/measurements.h"

#include <algorithm>
#include <cctype>

#include "engine/core/measurementitems.h"

namespace tessal {

tmeasurements::tmeasurements(tdocument& d) : doc(d) { doc.theglobal.add_listener(this); }

tmeasurements::~tmeasurements() { doc.theglobal.remove_listener(this); }

void tmeasurements::set_measurementdirty() {
    doc.measurementdirty = true;
    measurementdirtycount = 5;
}

void tmeasurements::main_cursor_changed(bool) { measurementdirtycount = 5; }

std::vector<int> tmeasurements::edit_set_ids() const {
    std::vector<int> ids;
    for (int i = 0; i < doc.totnchans(); ++i)
        if (doc.is_channel_selected(i)) ids.push_back(doc.channel(i).id);
    return ids;
}

bool tmeasurements::pending() const {
    return doc.measurementdirty || edit_set_ids() != measuredids;
}

bool tmeasurements::tick() {
    if (!doc.measurementdirty) {
        if (edit_set_ids() == measuredids) return false;
        doc.measurementdirty = true;
        measurementdirtycount = 0;
    }
    --measurementdirtycount;
    if (measurementdirtycount >= 1) return false;
    run_pass();
    return true;
}

void tmeasurements::flush() {
    if (pending()) run_pass();
}

void tmeasurements::run_pass() {
    run_measurement_pass(doc, filters, status);
    measuredids = edit_set_ids();
    doc.measurementdirty = false;
    doc.theglobal.invalidate_paintboxes(false);
}

void tmeasurements::log_measurements() {
    if (doc.totnchans() == 0) return;
    flush();
    tlogrow row = measurement_log_row(doc);
    datalog.add_line(row.heading, row.line);
    if (show_log) show_log();
}

void tmeasurements::copy_measurements(ttextclipboard& clipboard) {
    flush();
    clipboard.set_text(measurement_copy_text(doc));
}

namespace {

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

std::string trimmed(const std::string& s) {
    const std::size_t b = s.find_first_not_of(' ');
    if (b == std::string::npos) return "";
    return s.substr(b, s.find_last_not_of(' ') - b + 1);
}

}  // namespace

bool parse_measurement_items(const std::string& list, std::array<bool, nmeasurementitems>& shown,
                             std::string& error) {
    std::array<bool, nmeasurementitems> out{};
    bool any = false;
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t comma = list.find(',', start);
        if (comma == std::string::npos) comma = list.size();
        const std::string word = trimmed(list.substr(start, comma - start));
        start = comma + 1;
        if (word.empty()) continue;
        int item = -1;
        if (std::all_of(word.begin(), word.end(), [](unsigned char c) { return std::isdigit(c); })) {
            if (word.size() <= 2) item = std::stoi(word);
        } else {
            for (int i = 0; i < nmeasurementitems; ++i)
                if (lower(measurement_item(i).key) == lower(word)) item = i;
        }
        if (item < 0 || item >= nmeasurementitems) {
            error = "unknown measurement item \"" + word + "\" (0..31 or a key such as RMSLevelFSD)";
            return false;
        }
        out[item] = true;
        any = true;
    }
    if (!any) {
        error = "no measurement items listed";
        return false;
    }
    shown = out;
    return true;
}

tlogrow measure_log_row_now(tdocument& doc) {
    tweightingfilters filters;
    run_measurement_pass(doc, filters, nullptr);
    doc.measurementdirty = false;
    return measurement_log_row(doc);
}

}  // namespace tessal
