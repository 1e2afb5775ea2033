// The countdown, the edit-set check and the two measurement commands.
#include "document/measurements.h"

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

}  // namespace tessal
