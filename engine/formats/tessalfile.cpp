// The native signal file (see tessalfile.h).
#include "engine/formats/tessalfile.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>

#include "engine/core/tdocument.h"

namespace tessal {

namespace {

std::string num(long long v) { return std::to_string(v); }

// One channel as the file holds it, read completely before the document is
// touched.
struct tchannelfile {
    std::string yunit, name, filename;
    bool visible = true;
    double fsd = 0;
    int nbits = 0;
    bool needsdither = false;
    int format = 0;
    double dbreference = 0, sampfreq = 0, orgsampfreq = 0;
    int stereochanno = -1;
    long long xshift = 0;
    tcreatedata created;
    TColor notescolor = 0xFFFFFF;
    std::vector<std::string> notes;
    tsiglabels labels;
    double epgsampfreq = 0;
    std::vector<std::uint64_t> epg;
    tsinglearr sig;
};

// The first value of a channel a file cannot carry, or null. Reader and
// writer share it, so the program never writes a file it would refuse.
const char* invalid_value(double fsd, double sampfreq, double orgsampfreq, double dbreference,
                          double epgsampfreq, double date, const tsiglabels& labels) {
    if (!std::isfinite(fsd)) return "FSD";
    if (!std::isfinite(sampfreq) || sampfreq <= 0) return "SampFreq";
    if (!std::isfinite(orgsampfreq) || orgsampfreq < 0) return "OrgSampFreq";
    if (!std::isfinite(dbreference)) return "dBReference";
    if (!std::isfinite(epgsampfreq) || epgsampfreq < 0) return "EPGSampFreq";
    if (!std::isfinite(date)) return "CreatedDate";
    for (const tsiglabel& l : labels) {
        // Sorting and drawing labels needs ordered times.
        if (!std::isfinite(l.time)) return "LabelStart";
        if (!std::isfinite(l.duration)) return "LabelDur";
    }
    return nullptr;
}

[[noreturn]] void damaged(const std::string& key, int p, const std::string& value) {
    throw ETessalFileError("Damaged Tessal file: \"" + key + "\" of channel " + num(p) + " is " +
                           value);
}

// A count read from the file. Every item it counts has at least one value
// of its own in a well-formed file, so all counts together can never exceed
// the number of values: `budget` is what is left of that number.
int take_count(std::int32_t c, const std::string& key, int p, long long& budget) {
    if (c < 0 || c > budget) damaged(key, p, num(c));
    budget -= c;
    return c;
}

tchannelfile read_channel(TXIIFile& xii, int p, const tchannel& defaults, long long& budget) {
    const std::string s = "Ch" + num(p);
    tchannelfile r;
    r.yunit = xii.readstring(s, "YUnit", defaults.yunit());
    r.visible = xii.readbool(s, "Visible", defaults.visible());
    r.name = xii.readstring(s, "Name", defaults.name());
    r.filename = xii.readstring(s, "FileName", defaults.filename);
    r.fsd = xii.readfloat(s, "FSD", defaults.fsd());
    r.nbits = xii.readinteger(s, "nBits", defaults.nbits);
    r.needsdither = xii.readbool(s, "NeedsDither", defaults.needsdither);
    r.format = xii.readinteger(s, "Format", static_cast<int>(defaults.format));
    if (r.format < static_cast<int>(tFormat::pcm) || r.format > static_cast<int>(tFormat::alaw))
        damaged("Format", p, num(r.format));
    r.dbreference = xii.readfloat(s, "dBReference", defaults.dbreference);
    r.sampfreq = xii.readfloat(s, "SampFreq", defaults.sampfreq);
    r.orgsampfreq = xii.readfloat(s, "OrgSampFreq", defaults.orgsampfreq);
    r.stereochanno = xii.readinteger(s, "StereoChanno", defaults.stereochanno);
    r.xshift = xii.readinteger(s, "xShift", static_cast<std::int32_t>(defaults.xshift));
    r.created.date = xii.readfloat(s, "CreatedDate", 0);
    r.created.user = xii.readstring(s, "CreatedUser", defaults.created().user);
    r.created.computer = xii.readstring(s, "CreatedComputer", defaults.created().computer);
    r.created.origin = xii.readstring(s, "CreatedProcess", defaults.created().origin);
    r.notescolor = static_cast<TColor>(
        xii.readinteger(s, "NotesColor", static_cast<std::int32_t>(defaults.notescolor)));

    const int nnotes = take_count(xii.readinteger(s, "nNoteLines", 0), "nNoteLines", p, budget);
    r.notes.reserve(static_cast<std::size_t>(nnotes));
    for (int i = 0; i < nnotes; ++i) r.notes.push_back(xii.readstring(s, "Notes" + num(i), ""));

    const int nlabels = take_count(xii.readinteger(s, "nLabels", 0), "nLabels", p, budget);
    r.labels.reserve(static_cast<std::size_t>(nlabels));
    for (int i = 0; i < nlabels; ++i) {
        const std::string n = num(i);
        tsiglabel l;
        l.time = xii.readfloat(s, "LabelStart" + n, 0);
        l.duration = xii.readfloat(s, "LabelDur" + n, 0);
        l.text = xii.readstring(s, "LabelText" + n, "");
        l.labeltype = xii.readstring(s, "LabelType" + n, "");
        l.entities.descriptor = xii.readstring(s, "LabelDescriptor" + n, "");
        const int nent = take_count(xii.readinteger(s, "nLabelEntities" + n, 0),
                                    "nLabelEntities" + n, p, budget);
        l.entities.no.reserve(static_cast<std::size_t>(nent));
        for (int k = 0; k < nent; ++k) {
            const std::string nk = n + "_" + num(k);
            tentity e;
            e.entityname = xii.readstring(s, "LabelEntitityName" + nk, "");
            e.value = xii.readfloat(s, "LabelEntitityValue" + nk, 0);
            e.yunit = xii.readstring(s, "LabelEntitityUnit" + nk, "");
            l.entities.no.push_back(std::move(e));
        }
        r.labels.push_back(std::move(l));
    }

    r.epgsampfreq = xii.readfloat(s, "EPGSampFreq", defaults.epgsampfreq);
    const int nframes = take_count(xii.readinteger(s, "nEPGFrames", 0), "nEPGFrames", p, budget);
    r.epg.reserve(static_cast<std::size_t>(nframes));
    for (int i = 0; i < nframes; ++i) {
        const tbytearr b = xii.readbytearr(s, "EPGframe" + num(i), {});
        if (b.size() != 8)
            throw ETessalFileError("Invalid EPG frame (n columns =" + num(static_cast<long long>(b.size())) +
                                   ")");
        std::uint64_t frame = 0;
        for (int row = 0; row < 8; ++row) frame |= static_cast<std::uint64_t>(b[row]) << (8 * row);
        r.epg.push_back(frame);
    }

    r.sig = xii.readsinglearr(s, "Sig", {});

    if (const char* bad = invalid_value(r.fsd, r.sampfreq, r.orgsampfreq, r.dbreference,
                                        r.epgsampfreq, r.created.date, r.labels))
        damaged(bad, p, "not a valid number");
    return r;
}

void apply_channel(tchannel& c, tchannelfile& r, int n0, int nchans, int p) {
    c.set_samples(std::move(r.sig));
    c.set_yunit(r.yunit);
    c.set_visible(r.visible);
    c.set_name(r.name);
    c.filename = r.filename;
    c.set_file_fsd(r.fsd);
    c.nbits = r.nbits;
    c.needsdither = r.needsdither;  // after set_fsd, which sets it
    c.format = static_cast<tFormat>(r.format);
    c.dbreference = r.dbreference;
    c.sampfreq = r.sampfreq;
    c.orgsampfreq = r.orgsampfreq;
    // A partner outside the file, or the channel itself, pairs with nothing.
    const int s = r.stereochanno;
    c.stereochanno = (s >= 0 && s < nchans && s != p) ? s + n0 : -1;
    c.xshift = r.xshift;
    c.set_created(r.created);
    c.notescolor = r.notescolor;
    c.notes = std::move(r.notes);
    c.labels = std::move(r.labels);
    c.sort_labels();
    c.epgsampfreq = r.epgsampfreq;
    c.epg = std::move(r.epg);
    c.epgexists = !c.epg.empty();
}

}  // namespace

ttessalread load_tessal_container(TXIIFile& xii) {
    if (xii.GetFileId() != tessal_fileid)
        throw ETessalFileError("Wrong TessalSignals file type: " + xii.GetFileId());
    long long budget = xii.nnodes();
    // Every file this program writes has the count; a file without it has
    // lost its "Common" section, not its channels.
    const std::int32_t count = xii.readinteger("Common", "nChans", -1);
    if (count == -1 && xii.nnodes() > 0)
        throw ETessalFileError("Damaged Tessal file: it has no channel count (\"nChans\")");
    const int nchans = count == -1 ? 0 : take_count(count, "nChans", 0, budget);
    auto read = std::make_shared<std::vector<tchannelfile>>();
    read->reserve(static_cast<std::size_t>(nchans));
    for (int p = 0; p < nchans; ++p) {
        // A channel outside the document has the defaults a new one gets.
        const tchannel defaults(nullptr, p);
        read->push_back(read_channel(xii, p, defaults, budget));
    }
    ttessalread r;
    r.nchans = nchans;
    r.install = [read, nchans](tdocument& doc) {
        const int n0 = doc.totnchans();
        try {
            doc.set_totnchans(n0 + nchans);
            for (int p = 0; p < nchans; ++p)
                apply_channel(doc.channel(n0 + p), (*read)[static_cast<std::size_t>(p)], n0, nchans, p);
        } catch (...) {
            doc.set_totnchans(n0);
            throw;
        }
        read->clear();
    };
    return r;
}

void read_tessal_container(tdocument& doc, TXIIFile& xii) { load_tessal_container(xii).install(doc); }

bool read_tessal_file(tdocument& doc, const std::string& path) {
    TXIIFile xii;
    if (!xii.open_file(path)) return false;
    read_tessal_container(doc, xii);
    return true;
}

// ---------------------------------------------------------------- writing

namespace {

// The time range of a selection save, or none for a whole save.
struct trange {
    bool selection = false;
    double t0 = 0, t1 = 0;
};

void write_labels(TXIIFile& xii, const std::string& s, const tsiglabels& labels, const trange& r) {
    int n = 0;
    for (const tsiglabel& l : labels) {
        double start = l.time, dur = l.duration;
        if (r.selection && !label_in_range(l, r.t0, r.t1, start, dur)) continue;
        const std::string i = num(n++);
        xii.writefloat(s, "LabelStart" + i, start);
        xii.writefloat(s, "LabelDur" + i, dur);
        xii.writestring(s, "LabelText" + i, l.text);
        xii.writestring(s, "LabelType" + i, l.labeltype);
        xii.writestring(s, "LabelDescriptor" + i, l.entities.descriptor);
        xii.writeinteger(s, "nLabelEntities" + i, static_cast<std::int32_t>(l.entities.no.size()));
        for (std::size_t k = 0; k < l.entities.no.size(); ++k) {
            const tentity& e = l.entities.no[k];
            const std::string ik = i + "_" + num(static_cast<long long>(k));
            xii.writestring(s, "LabelEntitityName" + ik, e.entityname);
            xii.writefloat(s, "LabelEntitityValue" + ik, e.value);
            xii.writestring(s, "LabelEntitityUnit" + ik, e.yunit);
        }
    }
    xii.writeinteger(s, "nLabels", n);
}

// The items of `n` at indices a up to but not including b, clamped; empty
// when none are. The same half-open span as every other file a selection
// is saved to, so one selection gives one length in every format.
struct tspan {
    std::size_t first = 0, count = 0;
};
tspan clamp_span(double a, double b, std::size_t n) {
    const double lo = std::max(0.0, a);
    const double hi = std::min(static_cast<double>(n), b);
    if (n == 0 || !(lo < hi)) return {};
    const auto f = static_cast<std::size_t>(lo);
    return {f, static_cast<std::size_t>(hi) - f};
}

}  // namespace

void fill_tessal_container(TXIIFile& xii, const tdocument& doc, const tintarr& chans, double from,
                           double to) {
    tintarr list = chans;
    if (list.empty())
        for (int c = 0; c < doc.totnchans(); ++c) list.push_back(c);
    if (list.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
        throw ETessalFileError("Too many channels to save");
    for (int c : list) {
        if (c < 0 || c >= doc.totnchans())
            throw ETessalFileError("Cannot save channel " + num(c) + ": there is no such channel");
        const tchannel& ch = doc.channel(c);
        if (const char* bad = invalid_value(ch.fsd(), ch.sampfreq, ch.orgsampfreq, ch.dbreference,
                                            ch.epgsampfreq, ch.created().date, ch.labels))
            throw ETessalFileError("Cannot save channel " + num(c) + " as a Tessal file: \"" + bad +
                                   "\" is not a valid number");
        if (ch.notes.size() > INT32_MAX || ch.labels.size() > INT32_MAX || ch.epg.size() > INT32_MAX)
            throw ETessalFileError("Cannot save channel " + num(c) + ": too many items");
    }
    trange range;
    if (from != to) {
        if (!std::isfinite(from) || !std::isfinite(to))
            throw ETessalFileError("Cannot save a time range that is not a number");
        range = {true, std::min(from, to), std::max(from, to)};
    }

    xii.clear();
    xii.SetFileId(tessal_fileid);
    xii.SetFileVersion(tessal_fileversion);
    if (!xii.GetProgId()) xii.SetProgId(tessal_progid());
    xii.writeinteger("Common", "nChans", static_cast<std::int32_t>(list.size()));

    for (std::size_t p = 0; p < list.size(); ++p) {
        const tchannel& ch = doc.channel(list[p]);
        const std::string s = "Ch" + num(static_cast<long long>(p));
        const double fs = ch.sampfreq;

        // Which samples go out, and where the first of them lies.
        const auto nsamples = static_cast<std::size_t>(ch.sample_count());
        tspan samples{0, nsamples};
        double xshift = static_cast<double>(ch.xshift);
        if (range.selection) {
            const double a = std::round(range.t0 * fs);
            const double b = std::round(range.t1 * fs);
            samples = clamp_span(a - xshift, b - xshift, nsamples);
            // A channel that starts inside the range keeps its offset from
            // the range's start, so the channels stay aligned with each
            // other and with their labels.
            xshift = std::max(0.0, xshift - a);
        }
        if (xshift < std::numeric_limits<std::int32_t>::min() ||
            xshift > std::numeric_limits<std::int32_t>::max())
            throw ETessalFileError("Cannot save channel " + num(list[p]) +
                                   ": its start offset is too large for a Tessal file");

        // The partner's position in this file, if it is saved too.
        int partner = -1;
        if (ch.stereochanno >= 0) {
            auto it = std::find(list.begin(), list.end(), ch.stereochanno);
            if (it != list.end() && it != list.begin() + static_cast<std::ptrdiff_t>(p))
                partner = static_cast<int>(it - list.begin());
        }

        xii.writestring(s, "YUnit", ch.yunit());
        xii.writebool(s, "Visible", ch.visible());
        xii.writestring(s, "Name", ch.name());
        xii.writestring(s, "FileName", ch.filename);
        xii.writefloat(s, "FSD", ch.fsd());
        xii.writeinteger(s, "nBits", ch.nbits);
        xii.writebool(s, "NeedsDither", ch.needsdither);
        xii.writeinteger(s, "Format", static_cast<std::int32_t>(ch.format));
        xii.writefloat(s, "dBReference", ch.dbreference);
        xii.writefloat(s, "SampFreq", fs);
        xii.writefloat(s, "OrgSampFreq", ch.orgsampfreq);
        xii.writeinteger(s, "StereoChanno", partner);
        xii.writeinteger(s, "xShift", static_cast<std::int32_t>(xshift));
        xii.writefloat(s, "CreatedDate", ch.created().date);
        xii.writestring(s, "CreatedUser", ch.created().user);
        xii.writestring(s, "CreatedComputer", ch.created().computer);
        xii.writestring(s, "CreatedProcess", ch.created().origin);
        xii.writeinteger(s, "NotesColor", static_cast<std::int32_t>(ch.notescolor));
        xii.writeinteger(s, "nNoteLines", static_cast<std::int32_t>(ch.notes.size()));
        for (std::size_t i = 0; i < ch.notes.size(); ++i)
            xii.writestring(s, "Notes" + num(static_cast<long long>(i)), ch.notes[i]);

        write_labels(xii, s, ch.labels, range);

        // EPG frames are indexed by round(t * rate) like the samples, so a
        // range takes the frames that lie in it.
        tspan frames{0, ch.epg.size()};
        if (range.selection && ch.epgsampfreq > 0)
            frames = clamp_span(std::round(range.t0 * ch.epgsampfreq),
                                std::round(range.t1 * ch.epgsampfreq), ch.epg.size());
        xii.writefloat(s, "EPGSampFreq", ch.epgsampfreq);
        xii.writeinteger(s, "nEPGFrames", static_cast<std::int32_t>(frames.count));
        for (std::size_t i = 0; i < frames.count; ++i) {
            const std::uint64_t f = ch.epg[frames.first + i];
            std::uint8_t b[8];
            for (int row = 0; row < 8; ++row) b[row] = static_cast<std::uint8_t>(f >> (8 * row));
            xii.writebytearr(s, "EPGframe" + num(static_cast<long long>(i)),
                             std::span<const std::uint8_t>(b, 8));
        }

        xii.writesinglearr(s, "Sig", samples.count, [&ch, &samples](std::size_t from, std::size_t n, float* out) {
            ch.read_samples(static_cast<std::int64_t>(samples.first + from), n, out);
        });
    }
}

void write_tessal_file(const tdocument& doc, const std::string& path, const tintarr& chans,
                       double from, double to, tfileops& ops) {
    TXIIFile xii;
    fill_tessal_container(xii, doc, chans, from, to);
    xii.save_file(path, ops);
}

}  // namespace tessal
