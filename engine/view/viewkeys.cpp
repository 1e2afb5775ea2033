#include "engine/view/viewkeys.h"

#include "engine/core/tdocument.h"
#include "engine/view/viewrange.h"
#include "engine/view/viewstate.h"

namespace tessal {

int next_selectmode(int mode) { return mode >= selvisible || mode < selmono ? selmono : mode + 1; }

namespace {

void set_range(tdocument& doc, double lo, double hi) { doc.xaxis.set_hilovalues(hi, lo); }

// Seconds per pixel of the time axis.
double pixel_seconds(const tdocument& doc) {
    int L = doc.xaxis.length();
    return (doc.xaxis.GetHiValue() - doc.xaxis.GetLoValue()) / (L > 1 ? L - 1 : 1);
}

// Keeps a moved single cursor in view: past an edge, the view scrolls so the
// cursor sits a fifth of the span inside that edge.
void follow_cursor(tdocument& doc, double t) {
    double lo = doc.xaxis.GetLoValue(), hi = doc.xaxis.GetHiValue(), span = hi - lo;
    if (t > hi)
        set_range(doc, t - 0.8 * span, t + 0.2 * span);
    else if (t < lo)
        set_range(doc, t - 0.2 * span, t + 0.8 * span);
}

void next_visible_channel(tdocument& doc, int dir) {
    int n = doc.totnchans();
    if (n == 0) return;
    int c = doc.thischanno();
    for (int k = 1; k <= n; ++k) {
        int i = ((c + dir * k) % n + n) % n;
        if (doc.channel(i).visible()) {
            doc.set_thischanno(i);
            return;
        }
    }
}

}  // namespace

tkeyresult view_key(tdocument& doc, tviewstate& view, tviewkey key, tkeymods m) {
    tkeyresult r;
    r.handled = true;
    r.repaint = true;
    tglobal& g = doc.theglobal;
    const double lo = doc.xaxis.GetLoValue(), hi = doc.xaxis.GetHiValue(), span = hi - lo;
    const double step = (m.alt ? 10 : 1) * pixel_seconds(doc);
    const double middle = (g.leftselcursor() + g.rightselcursor()) / 2;
    const bool middleinview = lo <= middle && middle <= hi;
    switch (key) {
        case tviewkey::esc:
            r.request = tkeyrequest::stop;
            r.repaint = false;
            break;
        case tviewkey::space:
            if (m.alt) return {};
            r.request = m.ctrl ? tkeyrequest::playall : tkeyrequest::play;
            r.repaint = false;
            break;
        case tviewkey::pageup:
            if (m.ctrl && m.shift) set_range(doc, lo - span / 9, hi + span / 9);
            else if (m.ctrl) set_range(doc, lo, hi - 0.1 * span);
            else if (m.shift) set_range(doc, lo - span / 9, hi);
            else set_range(doc, lo - 0.1 * span, hi - 0.1 * span);
            r.timeaxisscrolled = true;
            break;
        case tviewkey::pagedown:
            if (m.ctrl && m.shift) set_range(doc, lo + 0.1 * span, hi - 0.1 * span);
            else if (m.ctrl) set_range(doc, lo, hi + span / 9);
            else if (m.shift) set_range(doc, lo + 0.1 * span, hi);
            else set_range(doc, lo + 0.1 * span, hi + 0.1 * span);
            r.timeaxisscrolled = true;
            break;
        case tviewkey::home:
        case tviewkey::end: {
            double t = key == tviewkey::home ? lo : hi;
            if (m.shift) g.set_sel2cursor(t);
            else g.set_selection(t, t);
            break;
        }
        case tviewkey::left:
        case tviewkey::right: {
            const int dir = key == tviewkey::right ? 1 : -1;
            if (m.ctrl && m.shift) {
                if (!middleinview) break;
                if (dir < 0) {
                    set_range(doc, lo - (middle - lo) / 9, hi + (hi - middle) / 9);
                } else {
                    view.zoom.push(doc, true);
                    set_range(doc, lo + 0.1 * (middle - lo), hi - 0.1 * (hi - middle));
                }
            } else if (m.ctrl) {
                g.set_sel1cursor(g.sel1cursor() + dir * step);
            } else if (m.shift) {
                g.set_sel2cursor(g.sel2cursor() + dir * step);
            } else {
                double t = g.sel1cursor() + dir * step;
                g.set_selection(t, t);
                follow_cursor(doc, t);
            }
            break;
        }
        case tviewkey::up:
        case tviewkey::down:
            if (m.ctrl && m.shift) amplitude_zoom(doc, key == tviewkey::up ? 0.9 : 10.0 / 9.0);
            else next_visible_channel(doc, key == tviewkey::up ? -1 : 1);
            break;
        case tviewkey::f4:
            doc.selectmode = next_selectmode(doc.selectmode);
            break;
        case tviewkey::f8:
            if (doc.totnchans() == 0) break;
            {
                const tchannel& c = doc.channel(doc.thischanno());
                if (view.showcursors[1] && view.showcursors[2])
                    g.set_selection(c.cursors[1], c.cursors[2]);
                if (view.showcursors[7] && view.showcursors[8])
                    g.set_selection(c.cursors[7], c.cursors[8]);
            }
            break;
        case tviewkey::other:
            return {};
    }
    return r;
}

}  // namespace tessal
