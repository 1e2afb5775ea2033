#include "engine/history/bytecodec.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace tessal {

std::uint64_t fnv1a(const std::uint8_t* p, std::size_t n, std::uint64_t h) {
    for (std::size_t i = 0; i < n; ++i) {
        h ^= p[i];
        h *= 1099511628211ull;
    }
    return h;
}

std::string tbytereader::str() {
    const std::uint64_t k = u64();
    need(k);
    std::string s(reinterpret_cast<const char*>(p + at), k);
    at += k;
    return s;
}

std::vector<float> tbytereader::floats() {
    const std::uint64_t k = u64();
    if (k > (n - at) / sizeof(float)) throw std::runtime_error("record ends early");
    std::vector<float> v(k);
    if (k) std::memcpy(v.data(), p + at, k * sizeof(float));  // an empty vector has no data
    at += k * sizeof(float);
    return v;
}

std::size_t tbytereader::count(std::size_t each) {
    const std::uint64_t k = u64();
    if (k > (n - at) / each) throw std::runtime_error("record ends early");
    return static_cast<std::size_t>(k);
}

void tbytewriter::state(const tchannelstate& s) {
    tbytewriter& w = *this;
    w.str(s.name);
    w.str(s.unit);
    w.str(s.filename);
    w.u8(s.visible);
    w.u8(s.skipjumps);
    for (double v : {s.fsd, s.sampfreq, s.orgsampfreq, s.dbreference, s.yshift}) w.f64(v);
    w.i64(s.stereochanno);
    w.i64(s.nbits);
    w.i64(s.xshift);
    w.i64(static_cast<int>(s.format));
    w.u64(s.color);
    w.u64(s.notescolor);
    w.u64(s.cursors.size());
    for (double c : s.cursors) w.f64(c);
    w.u64(s.labels.size());
    for (const tsiglabel& l : s.labels) {
        w.f64(l.time);
        w.f64(l.duration);
        w.u8(l.selected);
        w.str(l.text);
        w.str(l.labeltype);
        w.str(l.entities.descriptor);
        w.u64(l.entities.no.size());
        for (const tentity& e : l.entities.no) {
            w.str(e.entityname);
            w.f64(e.value);
            w.str(e.yunit);
        }
    }
    w.u64(s.notes.size());
    for (const std::string& t : s.notes) w.str(t);
    w.f64(s.created.date);
    w.str(s.created.computer);
    w.str(s.created.origin);
    w.str(s.created.user);
    const TAxis::tscalestate& a = s.scale;
    for (double v : {a.lo, a.hi, a.minlo, a.maxlo, a.minhi, a.maxhi, a.mindiff, a.maxdiff}) w.f64(v);
    w.u8(a.logarithmic);
    w.u8(a.music);
    w.u8(a.reverse);
    w.u8(a.isinteger);
}

namespace {

[[noreturn]] void bad_value(const char* field, const std::string& value) {
    throw std::runtime_error(std::string("a channel's ") + field + " is " + value);
}

// A channel state as this program makes them: a coding it knows, whole
// numbers a channel and its files can hold, and finite numbers where they
// reach a computation or a file. Anything else is damage.
void check_state(const tchannelstate& s, std::int64_t format, std::int64_t nbits, std::int64_t xshift) {
    if (format < 0 || format > 3) bad_value("format", std::to_string(format));
    if (nbits < 0 || nbits > 64) bad_value("number of bits", std::to_string(nbits));
    if (xshift < INT32_MIN || xshift > INT32_MAX) bad_value("time shift", std::to_string(xshift));
    auto finite = [](const char* field, double v) {
        if (!std::isfinite(v)) bad_value(field, std::to_string(v));
    };
    finite("full scale", s.fsd);
    finite("sampling rate", s.sampfreq);
    finite("original sampling rate", s.orgsampfreq);
    finite("dB reference", s.dbreference);
    finite("vertical shift", s.yshift);
    finite("creation date", s.created.date);
    if (s.sampfreq < 0) bad_value("sampling rate", std::to_string(s.sampfreq));
    if (s.orgsampfreq < 0) bad_value("original sampling rate", std::to_string(s.orgsampfreq));
    for (const tsiglabel& l : s.labels) {
        finite("label start", l.time);
        finite("label duration", l.duration);
    }
}

}  // namespace

tchannelstate tbytereader::state() {
    tbytereader& r = *this;
    tchannelstate s;
    s.name = r.str();
    s.unit = r.str();
    s.filename = r.str();
    s.visible = r.u8();
    s.skipjumps = r.u8();
    s.fsd = r.f64();
    s.sampfreq = r.f64();
    s.orgsampfreq = r.f64();
    s.dbreference = r.f64();
    s.yshift = r.f64();
    const std::int64_t stereo = r.i64(), nbits = r.i64(), xshift = r.i64(), format = r.i64();
    s.stereochanno = static_cast<int>(std::clamp<std::int64_t>(stereo, -1, INT32_MAX));
    s.nbits = static_cast<int>(std::clamp<std::int64_t>(nbits, 0, 64));
    s.xshift = xshift;
    s.format = static_cast<tFormat>(std::clamp<std::int64_t>(format, 0, 3));
    s.color = static_cast<TColor>(r.u64());
    s.notescolor = static_cast<TColor>(r.u64());
    s.cursors.resize(r.count(8));
    for (double& c : s.cursors) c = r.f64();
    s.labels.resize(r.count(8));
    for (tsiglabel& l : s.labels) {
        l.time = r.f64();
        l.duration = r.f64();
        l.selected = r.u8();
        l.text = r.str();
        l.labeltype = r.str();
        l.entities.descriptor = r.str();
        l.entities.no.resize(r.count(8));
        for (tentity& e : l.entities.no) {
            e.entityname = r.str();
            e.value = r.f64();
            e.yunit = r.str();
        }
    }
    s.notes.resize(r.count(8));
    for (std::string& t : s.notes) t = r.str();
    s.created.date = r.f64();
    s.created.computer = r.str();
    s.created.origin = r.str();
    s.created.user = r.str();
    TAxis::tscalestate& a = s.scale;
    for (double* v : {&a.lo, &a.hi, &a.minlo, &a.maxlo, &a.minhi, &a.maxhi, &a.mindiff, &a.maxdiff})
        *v = r.f64();
    a.logarithmic = r.u8();
    a.music = r.u8();
    a.reverse = r.u8();
    a.isinteger = r.u8();
    check_state(s, format, nbits, xshift);
    return s;
}

}  // namespace tessal
