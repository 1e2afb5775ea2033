#include "engine/history/channelstate.h"

namespace tessal {

tchannelstate tchannelstate::of(const tchannel& c) {
    tchannelstate s;
    s.name = c.name();
    s.unit = c.yunit();
    s.filename = c.filename;
    s.visible = c.visible();
    s.skipjumps = c.skipjumps();
    s.fsd = c.fsd();
    s.sampfreq = c.sampfreq;
    s.orgsampfreq = c.orgsampfreq;
    s.dbreference = c.dbreference;
    s.yshift = c.yshift;
    s.stereochanno = c.stereochanno;
    s.nbits = c.nbits;
    s.xshift = c.xshift;
    s.format = c.format;
    s.color = c.color;
    s.notescolor = c.notescolor;
    s.cursors = c.cursors;
    s.labels = c.labels;
    s.notes = c.notes;
    s.created = c.created();
    s.scale = c.axis.scale_state();
    return s;
}

tdocumentstate tdocumentstate::of(const tdocument& doc) {
    tdocumentstate s;
    s.filename = doc.filename();
    s.modified = doc.modified();
    s.thischanno = doc.thischanno();
    s.selectmode = doc.selectmode;
    s.sel1 = doc.theglobal.sel1cursor();
    s.sel2 = doc.theglobal.sel2cursor();
    s.timecursor = doc.theglobal.timecursor();
    s.xscale = doc.xaxis.scale_state();
    s.prefs = doc.prefs;
    s.showmeasurement = doc.showmeasurement;
    s.measurementthreshold = doc.measurementthreshold;
    return s;
}

void tchannelstate::apply(tchannel& c, int nchans) const {
    // Unchanged samples on an unchanged grid stay exact integers of their
    // coding: they want dither only when they did before.
    const bool dither = c.needsdither || c.fsd() != fsd || c.nbits != nbits || c.format != format;
    attempt([&] {
        c.set_name(name);
        c.set_yunit(unit);
        c.filename = filename;
        c.set_visible(visible);
        if (c.skipjumps() != skipjumps) c.set_skipjumps(skipjumps);
        c.sampfreq = sampfreq;
        c.orgsampfreq = orgsampfreq;
        c.dbreference = dbreference;
        c.yshift = yshift;
        c.nbits = nbits;
        c.xshift = xshift;
        c.format = format;
        c.color = color;
        c.notescolor = notescolor;
        c.cursors = cursors;
        c.labels = labels;
        c.notes = notes;
        c.set_created(created);
        // A partner number that no longer names a channel is dropped.
        c.stereochanno = stereochanno < nchans ? stereochanno : -1;
    });
    attempt([&] {
        // The full scale moves the axis bounds; a linear axis takes it
        // without complaint, then the stored scale goes back whole.
        c.axis.SetLogarithmic(false);
        c.set_fsd(fsd);
    });
    attempt([&] { c.axis.restore_scale_state(scale); });
    c.needsdither = dither;
    c.bmpdirty = true;
}

namespace {

// A label's selection and drag state are the view's, not the data's.
bool same_labels(const tsiglabels& a, const tsiglabels& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i].time != b[i].time || a[i].duration != b[i].duration || a[i].text != b[i].text ||
            a[i].labeltype != b[i].labeltype || !(a[i].entities == b[i].entities))
            return false;
    return true;
}

}  // namespace

bool tchannelstate::same_data(const tchannelstate& o) const {
    return name == o.name && unit == o.unit && filename == o.filename &&
           skipjumps == o.skipjumps && fsd == o.fsd && sampfreq == o.sampfreq &&
           orgsampfreq == o.orgsampfreq && dbreference == o.dbreference && yshift == o.yshift &&
           stereochanno == o.stereochanno && nbits == o.nbits && xshift == o.xshift &&
           format == o.format && color == o.color && notescolor == o.notescolor &&
           same_labels(labels, o.labels) && notes == o.notes && created == o.created;
}

std::size_t tchannelstate::heap_bytes() const {
    std::size_t n = name.size() + unit.size() + filename.size() + cursors.size() * sizeof(double);
    for (const tsiglabel& l : labels)
        n += sizeof(tsiglabel) + l.text.size() + l.labeltype.size() + l.entities.descriptor.size() +
             l.entities.no.size() * sizeof(tentity);
    for (const std::string& s : notes) n += sizeof(std::string) + s.size();
    return n;
}

}  // namespace tessal
