#include "engine/view/zoomhistory.h"

#include "engine/core/tdocument.h"
#include "engine/view/viewrange.h"

namespace tessal {

void tzoomhistory::push(const tdocument& doc, bool bykey) {
    push(doc.xaxis.GetLoValue(), doc.xaxis.GetHiValue(), bykey);
}

void tzoomhistory::push(double left, double right, bool bykey) {
    // A run of keyboard zooms keeps the range from before its first step:
    // storing each intermediate range would make "Zoom back" crawl back one
    // keypress at a time.
    if (!(bykey && lastzoombykey_ && !zoomstack_.empty())) zoomstack_.push_back({left, right, 0, 0});
    lastzoombykey_ = bykey;
}

void tzoomhistory::zoom_to_selection(tdocument& doc) {
    push(doc, false);
    doc.xaxis.set_hilovalues(doc.theglobal.rightselcursor(), doc.theglobal.leftselcursor());
}

void tzoomhistory::zoom_back(tdocument& doc) {
    if (!zoomstack_.empty()) {
        tzoomitem z = zoomstack_.back();
        zoomstack_.pop_back();
        doc.xaxis.set_hilovalues(z.right, z.left);
    } else {
        tzoomitem z = full_time_range(doc);
        doc.xaxis.set_hilovalues(z.right, z.left);
    }
    // The next keyboard zoom starts a new entry rather than reusing a run
    // that "Zoom back" has just left.
    lastzoombykey_ = false;
}

void tzoomhistory::clear() {
    zoomstack_.clear();
    lastzoombykey_ = false;
}

}  // namespace tessal
