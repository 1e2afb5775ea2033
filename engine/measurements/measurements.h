// tmeasurements: the main window's measurement work without the window. It
// keeps the countdown that postpones the measurement pass until the cursors
// have been still for half a second, the weighting filters, the data log and
// the "Logged measurements" memo, and carries out Log measurements and Copy
// measurements.
//
// Time: tick() is called every 100 ms (a timer in the GUI, directly in
// tests). While the document's measurementdirty is set each tick counts
// measurementdirtycount down; the pass runs on the tick where it drops below
// 1. Every selection change (through the view state's broadcast) and every
// set_measurementdirty() re-arms the count to 5. A flag set directly,
// without re-arming, runs the pass on the next tick. A change of the edit
// set also makes the next tick measure, since channels that join it have no
// fresh results.
#pragma once

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "engine/core/tdocument.h"
#include "engine/core/textclipboard.h"
#include "engine/core/tviewlistener.h"
#include "engine/measurements/datalog.h"
#include "engine/measurements/measurementpass.h"

namespace tessal {

class tmeasurements : public tviewlistener {
public:
    explicit tmeasurements(tdocument& doc);
    ~tmeasurements() override;
    tmeasurements(const tmeasurements&) = delete;
    tmeasurements& operator=(const tmeasurements&) = delete;

    tdocument& document() { return doc; }

    // Marks the results stale and restarts the countdown.
    void set_measurementdirty();
    // One timer period; true when the pass ran.
    bool tick();
    // Runs the pass now when one is pending (what readers that need fresh
    // values wait for).
    void flush();
    bool pending() const;
    // The pass itself, at once.
    void run_pass();

    // Log measurements: fresh results, then one heading (when new) and one
    // row into the data log; show_log is called so the log window appears.
    // Does nothing without channels.
    void log_measurements();
    // Copy measurements: fresh results, then the text to the clipboard.
    void copy_measurements(ttextclipboard& clipboard);

    int measurementdirtycount = 0;
    tweightingfilters filters;
    tdatalog datalog;
    // The "Logged measurements" memo: nothing in the main window fills it;
    // tools may add lines.
    tdatalog loggedmeasurements;

    // "Calculating measurements for channel n" / "Done " for status panel 0.
    std::function<void(const std::string&)> status;
    std::function<void()> show_log;

    // tviewlistener
    void main_cursor_changed(bool sel2) override;

private:
    std::vector<int> edit_set_ids() const;

    tdocument& doc;
    std::vector<int> measuredids;
};

// Reads a comma-separated list of measurement items, each a number 0..31 or
// a key ("RMSLevelFSD", case ignored), into `shown` (all others off). False
// with the reason in `error` for an empty list or an unknown item.
bool parse_measurement_items(const std::string& list, std::array<bool, nmeasurementitems>& shown,
                             std::string& error);

// Measures the document's edit set over its selection at once and gives the
// heading and row that Log measurements would add.
tlogrow measure_log_row_now(tdocument& doc);

}  // namespace tessal
