#include "engine/view/viewmouse.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>

#include "engine/core/tdocument.h"
#include "engine/view/viewstate.h"

namespace tessal {

namespace {

double time_at(const tdocument& doc, int x) { return doc.xaxis.pixel_to_value(x); }

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

void deselect_every_label(tdocument& doc) {
    for (int i = 0; i < doc.totnchans(); ++i) doc.channel(i).deselect_labels();
}

// The nearest shown mark 1..8 fewer than 50 pixels from x, or -2.
int pick_mark(const tdocument& doc, const tviewstate& view, int chno, int x) {
    const tchannel& c = doc.channel(chno);
    int best = -2, bestd = 50;
    for (int i = 1; i <= 8; ++i) {
        if (!mark_shown(view, chno, i)) continue;
        int d = std::abs(doc.xaxis.value_to_notclippedpixel(c.cursors[i]) - x);
        if (d < bestd) {
            bestd = d;
            best = i;
        }
    }
    return best;
}

void label_click(tdocument& doc, tviewstate& view, int chno, const tmouseinput& in,
                 tmouseresult& r) {
    tchannel& c = doc.channel(chno);
    const int n = view.foundlabel.labelno;
    tsiglabel& l = c.labels[n];
    if (in.button == tmousebutton::right) {
        l.playlabel = true;
        r.request = tmouserequest::playlabel;
        r.labelno = n;
        r.rebuild = true;
        return;
    }
    if (in.button != tmousebutton::left) return;
    if (in.doubleclick) {
        r.request = tmouserequest::labelproperties;
        r.labelno = n;
    } else if (in.mods.alt) {
        std::string t = lower(l.labeltype);
        if (t == "manual" || t == "smp") {
            l.moving = true;
            l.selected = true;
            l.newtime = l.time;
            l.newduration = l.duration;
            view.labelsdownx = in.x;
        }
    } else if (in.mods.ctrl) {
        l.selected = !l.selected;
    } else if (in.mods.shift) {
        int first = -1;
        for (int i = 0; i < static_cast<int>(c.labels.size()); ++i)
            if (c.labels[i].selected) {
                first = i;
                break;
            }
        if (first < 0) first = n;
        for (int i = std::min(first, n); i <= std::max(first, n); ++i) c.labels[i].selected = true;
    } else {
        bool was = l.selected;
        deselect_every_label(doc);
        l.selected = !was;
    }
    r.rebuild = true;
}

}  // namespace

bool mark_shown(const tviewstate& view, int chno, int i) {
    if (i < 0 || i > 8 || !view.showcursors[i]) return false;
    if (i >= 7) return chno == view.inversefilterchanno;
    return true;
}

void show_red_blue_marks(tdocument& doc, tviewstate& view, bool on) {
    view.showcursors[1] = on;
    view.showcursors[2] = on;
    if (!on) return;
    const double lo = doc.xaxis.GetLoValue(), hi = doc.xaxis.GetHiValue();
    for (int i = 0; i < doc.totnchans(); ++i) {
        tchannel& c = doc.channel(i);
        if (c.cursors[1] != c.cursors[2]) continue;
        c.cursors[1] = lo + (hi - lo) / 3;
        c.cursors[2] = lo + 2 * (hi - lo) / 3;
    }
}

void drag_label(tsiglabel& l, int shiftmode, double dt) {
    switch (shiftmode) {
        case 1:
            l.newtime = l.time + dt;
            l.newduration = l.duration;
            break;
        case 2:
            l.newtime = l.time;
            l.newduration = l.duration + dt;
            break;
        default:
            l.newtime = l.time + dt;
            l.newduration = l.duration - dt;
            break;
    }
    if (l.newduration < 0) {
        l.newtime += l.newduration;
        l.newduration = -l.newduration;
    }
}

tmouseresult view_mouse_down(tdocument& doc, tviewstate& view, int chno, const tmouseinput& in) {
    tmouseresult r;
    if (chno < 0 || chno >= doc.totnchans()) return r;
    if (doc.thischanno() != chno) {
        doc.set_thischanno(chno);
        r.currentchanged = true;
        r.repaint = true;
    }
    tchannel& c = doc.channel(chno);
    view.foundlabel = c.find_label_at(in.x, in.y);
    if (view.foundlabel.labelno >= 0 &&
        view.foundlabel.labelno < static_cast<int>(c.labels.size())) {
        label_click(doc, view, chno, in, r);
        return r;
    }
    view.foundlabel.labelno = -1;
    c.deselect_labels();
    if (in.button == tmousebutton::right) {
        r.request = tmouserequest::playchannel;
        return r;
    }
    if (in.button != tmousebutton::left) return r;
    if (in.y < in.height - mark_strip_height) {
        view.cursortomove = -1;
        double t = time_at(doc, in.x);
        doc.theglobal.set_selection(t, t);
    } else {
        view.cursortomove = pick_mark(doc, view, chno, in.x);
    }
    if (in.mods.ctrl && view.playing && c.sampfreq > 0) {
        r.request = tmouserequest::seek;
        r.seeksample = std::llround(time_at(doc, in.x) * c.sampfreq);
    }
    tmouseresult m = view_mouse_move(doc, view, chno, in);
    r.repaint = true;
    r.marksmoved = m.marksmoved;
    return r;
}

tmouseresult view_mouse_move(tdocument& doc, tviewstate& view, int chno, const tmouseinput& in) {
    tmouseresult r;
    if (chno < 0 || chno >= doc.totnchans()) return r;
    if (in.mods.alt) {
        const double dt = time_at(doc, in.x) - time_at(doc, view.labelsdownx);
        bool any = false;
        for (int i = 0; i < doc.totnchans(); ++i)
            for (tsiglabel& l : doc.channel(i).labels) {
                if (!l.moving) continue;
                any = true;
                if (in.y < label_drop_limit) {
                    drag_label(l, view.foundlabel.shiftmode, dt);
                } else {
                    l.newtime = l.time;
                    l.newduration = l.duration;
                }
            }
        if (any) {
            r.repaint = true;
            return r;
        }
    }
    if (in.button != tmousebutton::left) return r;
    const double t = time_at(doc, in.x);
    if (view.cursortomove >= 1 && view.cursortomove <= 8) {
        doc.channel(chno).cursors[view.cursortomove] = t;
        r.marksmoved = view.cursortomove <= 2;
        r.repaint = true;
    } else if (view.cursortomove == -1) {
        doc.theglobal.set_sel2cursor(t);
        if (in.mods.ctrl) doc.theglobal.set_sel1cursor(t);
        r.repaint = true;
    }
    return r;
}

tmouseresult view_mouse_up(tdocument& doc, tviewstate& view, int chno, const tmouseinput& in) {
    tmouseresult r;
    if (in.button == tmousebutton::left) {
        doc.measurementdirty = true;
        r.repaint = true;
    }
    bool committed = false, anymoving = false;
    for (int i = 0; i < doc.totnchans(); ++i) {
        tchannel& c = doc.channel(i);
        bool moved = false;
        for (tsiglabel& l : c.labels) {
            if (!l.moving) continue;
            anymoving = true;
            if (in.mods.alt && in.y < label_drop_limit) {
                l.time = l.newtime;
                l.duration = l.newduration;
                moved = true;
            }
            l.newtime = -1;
            l.moving = false;
        }
        if (moved) {
            // A moved label may now start before its neighbour.
            c.sort_labels();
            committed = true;
        }
    }
    if (committed) {
        doc.set_modified(true);
        // Dragged by the middle the label moves; by an edge its length changes.
        r.change = view.foundlabel.shiftmode == 1 ? "Move label" : "Label length";
    }
    if (anymoving) r.rebuild = true;
    r.marksmoved = view.cursortomove == 1 || view.cursortomove == 2;
    view.cursortomove = -2;
    (void)chno;
    return r;
}

}  // namespace tessal
