#include "engine/core/tglobal.h"

#include <algorithm>

#include "engine/core/tdocument.h"

namespace tessal {

tglobal::tglobal(tdocument* d) : doc(d), faxisfont(&default_textmetrics()) {}

void tglobal::set_timecursor(double t) {
    ftimecursor = t;
    each([](tviewlistener& l) { l.time_cursor_changed(); });
    invalidate_paintboxes(false);
}

void tglobal::set_freqcursor(double f) {
    ffreqcursor = f;
    each([f](tviewlistener& l) { l.freq_cursor_changed(f); });
}

void tglobal::hide_crosshairs() {
    each([](tviewlistener& l) { l.hide_crosshairs(); });
}

void tglobal::set_sel1cursor(double t) {
    const tselectionchange was{leftselcursor(), rightselcursor()};
    fsel1cursor = t;
    ftimecursor = t;
    selection_changed(false, was);
}

void tglobal::set_sel2cursor(double t) {
    const tselectionchange was{leftselcursor(), rightselcursor()};
    fsel2cursor = t;
    ftimecursor = t;
    selection_changed(true, was);
}

void tglobal::set_leftselcursor(double t) {
    if (fsel1cursor > fsel2cursor)
        set_sel2cursor(t);
    else
        set_sel1cursor(t);
}

void tglobal::set_rightselcursor(double t) {
    if (fsel1cursor > fsel2cursor)
        set_sel1cursor(t);
    else
        set_sel2cursor(t);
}

void tglobal::set_selection(double left, double right) {
    const tselectionchange was{leftselcursor(), rightselcursor()};
    fsel1cursor = left;
    fsel2cursor = right;
    ftimecursor = right;
    selection_changed(true, was);
}

void tglobal::selection_changed(bool sel2, tselectionchange change) {
    if (doc) doc->measurementdirty = true;
    change.left = leftselcursor();
    change.right = rightselcursor();
    each([sel2](tviewlistener& l) { l.main_cursor_changed(sel2); });
    each([&change](tviewlistener& l) { l.selection_changed(change); });
    invalidate_paintboxes(false);
}

void tglobal::set_axisfont(const ttextmetrics* metrics) {
    faxisfont = metrics ? metrics : &default_textmetrics();
    faxisheight = faxisfont->text_height("0123456789") + 7;
    faxiswidth = faxisfont->text_width("HgHgHg") + 7;
    fchannelaxiswidth = faxisfont->text_width("HgHgHg") + 18;
    ftextpaintheight = faxisfont->text_height("Hg") + 4;
    if (doc) {
        doc->xaxis.set_textmetrics(faxisfont);
        for (int i = 0; i < doc->totnchans(); ++i) {
            TAxis& a = doc->channel(i).axis;
            a.set_textmetrics(faxisfont);
            a.SetWidth(fchannelaxiswidth);
        }
    }
    each([](tviewlistener& l) { l.axisfont_changed(); });
    invalidate_paintboxes(true);
}

void tglobal::full_redraw() {
    if (doc)
        for (int i = 0; i < doc->totnchans(); ++i) doc->channel(i).sigcachedirty = true;
    invalidate_paintboxes(true);
}

void tglobal::invalidate_paintboxes(bool makebmps) {
    if (makebmps && doc)
        for (int i = 0; i < doc->totnchans(); ++i) doc->channel(i).bmpdirty = true;
    each([makebmps](tviewlistener& l) { l.invalidate_paintboxes(makebmps); });
}

void tglobal::fix_things() {
    each([](tviewlistener& l) { l.fix_things(); });
}

void tglobal::channels_changed() {
    each([](tviewlistener& l) { l.channels_changed(); });
}

void tglobal::channel_changed(const tchannelchange& change) {
    each([&change](tviewlistener& l) { l.channel_changed(change); });
}

void tglobal::document_state_changed() {
    each([](tviewlistener& l) { l.document_state_changed(); });
}

void tglobal::add_listener(tviewlistener* l) {
    if (l && std::find(listeners.begin(), listeners.end(), l) == listeners.end())
        listeners.push_back(l);
}

void tglobal::remove_listener(tviewlistener* l) {
    listeners.erase(std::remove(listeners.begin(), listeners.end(), l), listeners.end());
}

}  // namespace tessal
