#include "engine/view/viewscroll.h"

#include <algorithm>
#include <cmath>

#include "engine/core/tdocument.h"
#include "engine/view/viewrange.h"

namespace tessal {

namespace {

struct textent {
    double start, end;
};

// The signal's extent together with the visible range, so a view that is
// already beyond an end can always come back.
textent whole_extent(const tdocument& doc) {
    return {std::min(channels_start_time(doc), doc.xaxis.GetLoValue()),
            std::max(channels_end_time(doc), doc.xaxis.GetHiValue())};
}

// Shows lo .. lo + span, with lo kept inside the extent.
void show_from(tdocument& doc, double lo, double span, const textent& x) {
    lo = std::clamp(lo, x.start, std::max(x.start, x.end - span));
    if (!std::isfinite(lo) || !std::isfinite(span) || !(span > 0)) return;
    doc.xaxis.set_hilovalues(lo + span, lo);
}

}  // namespace

void wheel_scroll(tdocument& doc, double notches) {
    const double lo = doc.xaxis.GetLoValue(), hi = doc.xaxis.GetHiValue(), span = hi - lo;
    if (!std::isfinite(notches) || notches == 0) return;
    show_from(doc, lo + 0.1 * span * notches, span, whole_extent(doc));
}

void wheel_zoom(tdocument& doc, double notches, double at) {
    const double lo = doc.xaxis.GetLoValue(), hi = doc.xaxis.GetHiValue(), span = hi - lo;
    if (!std::isfinite(notches) || notches == 0 || !std::isfinite(at) || !(span > 0)) return;
    const textent x = whole_extent(doc);
    double newspan = span * std::pow(0.8, notches);
    // Zooming out ends at the whole signal, zooming in at the smallest
    // span the axis allows (and 10 microseconds, a fraction of a sample at
    // any rate the program reads).
    newspan = std::min(newspan, x.end - x.start);
    newspan = std::max(newspan, std::min(span, std::max(doc.xaxis.GetMinValueDifference(), 1e-5)));
    if (!(newspan > 0) || newspan == span) return;
    show_from(doc, at - (at - lo) * newspan / span, newspan, x);
}

ttimescrollbar time_scrollbar(const tdocument& doc) {
    const double R = time_scroll_resolution;
    const textent x = whole_extent(doc);
    const double lo = doc.xaxis.GetLoValue(), span = doc.xaxis.GetHiValue() - lo;
    const double total = x.end - x.start;
    ttimescrollbar b;
    if (!(total > 0) || !(span > 0) || !std::isfinite(total)) {
        b.pagestep = time_scroll_resolution;
        b.singlestep = 1;
        return b;
    }
    b.pagestep = std::clamp(static_cast<int>(std::lround(span / total * R)), 1,
                            time_scroll_resolution);
    b.maximum = time_scroll_resolution - b.pagestep;
    b.singlestep = std::max(1, b.pagestep / 10);
    b.value = std::clamp(static_cast<int>(std::lround((lo - x.start) / total * R)), 0, b.maximum);
    return b;
}

void scroll_time_to(tdocument& doc, int value) {
    const textent x = whole_extent(doc);
    const double lo = doc.xaxis.GetLoValue(), span = doc.xaxis.GetHiValue() - lo;
    const ttimescrollbar b = time_scrollbar(doc);
    if (b.maximum <= 0 || value == b.value) return;
    // The ends are exact, whatever the rounding of the page size.
    double newlo = value >= b.maximum ? x.end - span
                   : value <= 0       ? x.start
                                      : x.start + value / double(time_scroll_resolution) * (x.end - x.start);
    show_from(doc, newlo, span, x);
}

}  // namespace tessal
