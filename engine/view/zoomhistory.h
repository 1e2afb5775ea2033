// The zoom history of the time axis: ranges pushed by "Zoom" and by the
// keyboard zoom, restored by "Zoom back". Consecutive keyboard zooms share
// one entry, so a single "Zoom back" returns to where the first of them
// started.
#pragma once

#include <vector>

namespace tessal {

class tdocument;

struct tzoomitem {
    double left = 0;
    double right = 0;
    double top = 0;     // unused, kept 0
    double bottom = 0;  // unused, kept 0
};

class tzoomhistory {
public:
    // Remembers the current time-axis range.
    void push(const tdocument& doc, bool bykey);
    void push(double left, double right, bool bykey);
    // "Zoom": push, then show left..right selection cursor.
    void zoom_to_selection(tdocument& doc);
    // "Zoom back": the last pushed range, or every channel's extent when the
    // history is empty.
    void zoom_back(tdocument& doc);
    void clear();

    const std::vector<tzoomitem>& zoomstack() const { return zoomstack_; }
    bool lastzoombykey() const { return lastzoombykey_; }

private:
    std::vector<tzoomitem> zoomstack_;
    bool lastzoombykey_ = false;
};

}  // namespace tessal
