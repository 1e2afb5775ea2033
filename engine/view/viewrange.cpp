#include "engine/view/viewrange.h"

#include <algorithm>
#include <cmath>

#include "engine/core/tdocument.h"

namespace tessal {

double channels_start_time(const tdocument& doc) {
    double start = 0;
    for (int i = 0; i < doc.totnchans(); ++i) {
        const tchannel& c = doc.channel(i);
        if (c.sampfreq > 0) start = std::min(start, static_cast<double>(c.xshift) / c.sampfreq);
    }
    return start;
}

double channels_end_time(const tdocument& doc) {
    double end = 0;
    for (int i = 0; i < doc.totnchans(); ++i) {
        const tchannel& c = doc.channel(i);
        if (c.sampfreq > 0)
            end = std::max(end, static_cast<double>(c.sample_count() + c.xshift) / c.sampfreq);
    }
    return end;
}

void fix_xaxis(tdocument& doc, bool zoomout) {
    double start = channels_start_time(doc), end = channels_end_time(doc);
    doc.xaxis.SetMinLoValue(start - 10);
    doc.xaxis.SetMaxHiValue(end + 10);
    if (zoomout && end > start) doc.xaxis.set_hilovalues(end, start);
}

tzoomitem full_time_range(const tdocument& doc) {
    double lo = 0, hi = 0;
    for (int i = 0; i < doc.totnchans(); ++i) {
        const tchannel& c = doc.channel(i);
        if (!(c.sampfreq > 0)) continue;
        lo = std::min(lo, static_cast<double>(c.xshift) / c.sampfreq);
        double last = static_cast<double>(c.sample_count()) - 1 + static_cast<double>(c.xshift);
        hi = std::max(hi, last / c.sampfreq);
    }
    return {lo, hi, 0, 0};
}

tminmaxpair selection_minmax_value(const tdocument& doc, int chno, bool usemargin) {
    tminmaxpair r{0, 0};
    if (chno < 0 || chno >= doc.totnchans()) return r;
    const tchannel& c = doc.channel(chno);
    if (c.sample_count() == 0) return r;
    double left = doc.theglobal.leftselcursor(), right = doc.theglobal.rightselcursor();
    if (left == right) {
        left = doc.xaxis.GetLoValue();
        right = doc.xaxis.GetHiValue();
    }
    const double last = static_cast<double>(c.sample_count() - 1);
    auto index = [&](double t) {
        double v = std::round(t * c.sampfreq - static_cast<double>(c.xshift));
        if (std::isnan(v)) v = 0;
        return static_cast<std::size_t>(std::clamp(v, 0.0, last));
    };
    std::size_t a = index(left), b = index(right);
    if (a > b) std::swap(a, b);
    double mn = 1e300, mx = -1e300;
    c.for_each_chunk(static_cast<std::int64_t>(a), static_cast<std::int64_t>(b) + 1,
                     [&](const float* p, std::size_t n, std::int64_t) {
                         for (std::size_t i = 0; i < n; ++i) {
                             mn = std::min(mn, static_cast<double>(p[i]));
                             mx = std::max(mx, static_cast<double>(p[i]));
                         }
                     });
    if (usemargin && c.axis.GetHeight() >= 16) {
        double m = (mx - mn) * 10 / (c.axis.GetHeight() - 10);
        mn -= m;
        mx += m;
    }
    return {mn, mx};
}

void stretch(tdocument& doc) {
    for (int i = 0; i < doc.totnchans(); ++i) {
        if (!doc.is_channel_selected(i)) continue;
        tminmaxpair mm = selection_minmax_value(doc, i, true);
        // A flat stretch has no amplitude to fit; an axis of zero height
        // would map every value to one pixel, so the range stays as it is.
        if (!(mm.max > mm.min)) continue;
        doc.set_axis_minmax(i, mm);
    }
}

void stretch_to_fsd(tdocument& doc) {
    for (int i = 0; i < doc.totnchans(); ++i) {
        if (!doc.is_channel_selected(i)) continue;
        double f = doc.channel(i).fsd();
        if (!(f > 0)) continue;  // no full scale known: nothing to fit to
        doc.set_axis_minmax(i, {-1.2 * f, 1.2 * f});
    }
}

void amplitude_zoom(tdocument& doc, double factor) {
    for (int i = 0; i < doc.totnchans(); ++i) {
        if (!doc.is_channel_selected(i)) continue;
        TAxis& a = doc.channel(i).axis;
        a.set_hilovalues(a.GetHiValue() * factor, a.GetLoValue() * factor);
    }
}

}  // namespace tessal
