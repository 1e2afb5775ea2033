// The tagged container (see txiifile.h).
#include "engine/formats/txiifile.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <system_error>
#include <type_traits>
#include <unordered_set>

namespace tessal {

namespace fs = std::filesystem;

namespace {

constexpr std::array<std::uint8_t, 4> magic_xii1{'X', 'I', 'I', '1'};
constexpr std::array<std::uint8_t, 4> magic_wide{0x58, 0x00, 0x49, 0x00};

// The smallest node on disk: empty section and key (4 + 4), id, length.
constexpr std::uint64_t min_node_bytes = 16;

std::string lower_ascii(const std::string& s) {
    std::string r = s;
    for (char& c : r)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return r;
}

// Section and key as one map key; the length prefix keeps ("ab", "c") and
// ("a", "bc") apart whatever bytes the names hold.
std::string index_key(const std::string& section, const std::string& key) {
    return std::to_string(section.size()) + ':' + lower_ascii(section) + lower_ascii(key);
}

void put_u32(tbytearr& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

std::uint32_t get_u32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

std::uint64_t get_u64(const std::uint8_t* p) {
    return static_cast<std::uint64_t>(get_u32(p)) | static_cast<std::uint64_t>(get_u32(p + 4)) << 32;
}

void put_u64(std::uint8_t* p, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// The arrays are stored exactly as a little-endian machine holds them.
static_assert(std::endian::native == std::endian::little,
              "the array values are copied as they lie in memory");

template <class T>
tbytearr encode_array(std::span<const T> v) {
    static_assert(std::is_trivially_copyable_v<T>);
    tbytearr out(v.size() * sizeof(T));
    if (!out.empty()) std::memcpy(out.data(), v.data(), out.size());
    return out;
}

// Whole elements only: callers have checked the length.
template <class T>
std::vector<T> decode_array(const tbytearr& in) {
    std::vector<T> out(in.size() / sizeof(T));
    if (!out.empty()) std::memcpy(out.data(), in.data(), out.size() * sizeof(T));
    return out;
}

}  // namespace

const char* xii_type_name(std::int32_t id) {
    switch (id) {
        case xii_none: return "none";
        case xii_boolean: return "boolean";
        case xii_integer: return "integer";
        case xii_extended: return "extended";
        case xii_string: return "string";
        case xii_smallintarr: return "smallintarr";
        case xii_doublearr: return "doublearr";
        case xii_complexarr: return "complexarr";
        case xii_singlearr: return "singlearr";
        case xii_singlecomplexarr: return "singlecomplexarr";
        case xii_bytearr: return "bytearr";
        default: return "";
    }
}

const tprogid& tessal_progid() {
    static const tprogid id{"Tessal", "Tessal", "1.0"};
    return id;
}

// ---------------------------------------------------------------- extended

std::array<std::uint8_t, 10> double_to_extended(double x) {
    const auto bits = std::bit_cast<std::uint64_t>(x);
    const std::uint16_t sign = static_cast<std::uint16_t>((bits >> 63) << 15);
    const int e = static_cast<int>((bits >> 52) & 0x7FF);
    const std::uint64_t f = bits & ((std::uint64_t{1} << 52) - 1);
    std::uint64_t m = 0;
    int ee = 0;
    if (e == 0x7FF) {
        ee = 0x7FFF;
        m = (std::uint64_t{1} << 63) | (f << 11);  // infinity, or a NaN keeping its payload
    } else if (e == 0) {
        if (f != 0) {
            // A subnormal double is a normal extended.
            const int shift = std::countl_zero(f);
            m = f << shift;
            ee = -1074 - shift + 63 + 16383;
        }
    } else {
        m = (std::uint64_t{1} << 63) | (f << 11);
        ee = e - 1023 + 16383;
    }
    std::array<std::uint8_t, 10> out{};
    put_u64(out.data(), m);
    const std::uint16_t se = static_cast<std::uint16_t>(sign | ee);
    out[8] = static_cast<std::uint8_t>(se & 0xFF);
    out[9] = static_cast<std::uint8_t>(se >> 8);
    return out;
}

double extended_to_double(const std::uint8_t* p) {
    std::uint64_t m = get_u64(p);
    const unsigned se = static_cast<unsigned>(p[8]) | static_cast<unsigned>(p[9]) << 8;
    const std::uint64_t sign = static_cast<std::uint64_t>(se >> 15) << 63;
    int e = static_cast<int>(se & 0x7FFF);
    constexpr std::uint64_t fracmask = (std::uint64_t{1} << 52) - 1;
    constexpr std::uint64_t inf = std::uint64_t{0x7FF} << 52;
    if (e == 0x7FFF) {
        if ((m & ~(std::uint64_t{1} << 63)) == 0) return std::bit_cast<double>(sign | inf);
        std::uint64_t payload = (m >> 11) & fracmask;
        if (payload == 0) payload = std::uint64_t{1} << 51;
        return std::bit_cast<double>(sign | inf | payload);
    }
    if (m == 0) return std::bit_cast<double>(sign);
    if (e == 0) e = 1;  // denormals share the smallest exponent
    const int lz = std::countl_zero(m);
    m <<= lz;
    int lead = e - 16383 - lz;  // exponent of the leading bit
    if (lead > 1023) return std::bit_cast<double>(sign | inf);
    std::uint64_t q;
    if (lead >= -1022) {
        q = m >> 11;
        const std::uint64_t r = m & 0x7FF;
        if (r > 0x400 || (r == 0x400 && (q & 1))) ++q;
        if (q == std::uint64_t{1} << 53) {
            q >>= 1;
            ++lead;
            if (lead > 1023) return std::bit_cast<double>(sign | inf);
        }
        return std::bit_cast<double>(sign | static_cast<std::uint64_t>(lead + 1023) << 52 |
                                     (q & fracmask));
    }
    // Subnormal result: q counts units of 2^-1074.
    const int s = -(lead + 1011);
    if (s > 64) {
        q = 0;
    } else if (s == 64) {
        q = m > (std::uint64_t{1} << 63) ? 1 : 0;
    } else {
        q = m >> s;
        const std::uint64_t r = m & ((std::uint64_t{1} << s) - 1);
        const std::uint64_t half = std::uint64_t{1} << (s - 1);
        if (r > half || (r == half && (q & 1))) ++q;
    }
    // A carry into bit 52 is the smallest normal, which this encodes too.
    return std::bit_cast<double>(sign | q);
}

// ---------------------------------------------------------------- sources

// Where open reads from. `left` is the number of bytes not yet read; every
// length in the file is checked against it before anything is allocated.
class TXIIFile::tsource {
public:
    virtual ~tsource() = default;
    std::uint64_t left = 0;
    bool read(void* dst, std::size_t n) {
        if (n > left) return false;
        if (n == 0) return true;
        if (!do_read(dst, n)) return false;
        left -= n;
        return true;
    }

protected:
    virtual bool do_read(void* dst, std::size_t n) = 0;
};

namespace {

class tmemsource : public TXIIFile::tsource {
public:
    tmemsource(const std::uint8_t* p, std::size_t n) : p_(p) { left = n; }

protected:
    bool do_read(void* dst, std::size_t n) override {
        std::memcpy(dst, p_, n);
        p_ += n;
        return true;
    }

private:
    const std::uint8_t* p_;
};

class tfilesource : public TXIIFile::tsource {
public:
    tfilesource(std::FILE* f, std::uint64_t size) : f_(f) { left = size; }

protected:
    bool do_read(void* dst, std::size_t n) override { return std::fread(dst, 1, n, f_) == n; }

private:
    std::FILE* f_;
};

bool read_i32(TXIIFile::tsource& src, std::int32_t& v) {
    std::uint8_t b[4];
    if (!src.read(b, 4)) return false;
    v = static_cast<std::int32_t>(get_u32(b));
    return true;
}

bool read_counted(TXIIFile::tsource& src, std::string& s) {
    std::int32_t n = 0;
    if (!read_i32(src, n) || n < 0 || static_cast<std::uint64_t>(n) > src.left) return false;
    s.assign(static_cast<std::size_t>(n), '\0');
    return src.read(s.data(), s.size());
}

}  // namespace

// ---------------------------------------------------------------- the list

TXIIFile::TXIIFile() = default;

std::string TXIIFile::Idstr() const {
    static const char hex[] = "0123456789ABCDEF";
    std::string r;
    for (std::uint8_t b : fidarr) {
        r += '#';
        r += hex[b >> 4];
        r += hex[b & 15];
    }
    return r;
}

void TXIIFile::clear() {
    nodes.clear();
    index.clear();
}

const tnode& TXIIFile::get_nodeno(int i) const {
    if (i < 0 || i >= nnodes())
        throw EXIIfileError("Node index out of range: " + std::to_string(i));
    return nodes[static_cast<std::size_t>(i)];
}

const tnode* TXIIFile::find(const std::string& section, const std::string& key) const {
    auto it = index.find(index_key(section, key));
    return it == index.end() ? nullptr : &nodes[it->second];
}

void TXIIFile::rebuild_index() {
    index.clear();
    index.reserve(nodes.size());
    // Later nodes overwrite earlier ones: the last node with a name wins.
    for (std::size_t i = 0; i < nodes.size(); ++i)
        index[index_key(nodes[i].section, nodes[i].key)] = i;
}

std::vector<std::string> TXIIFile::sections() const {
    std::vector<std::string> r;
    std::unordered_set<std::string> seen;
    for (const tnode& n : nodes)
        if (seen.insert(lower_ascii(n.section)).second) r.push_back(n.section);
    return r;
}

std::vector<std::string> TXIIFile::keys(const std::string& section) const {
    std::vector<std::string> r;
    std::unordered_set<std::string> seen;
    const std::string ls = lower_ascii(section);
    for (const tnode& n : nodes)
        if (lower_ascii(n.section) == ls && seen.insert(lower_ascii(n.key)).second)
            r.push_back(n.key);
    return r;
}

tnode& TXIIFile::node_for_write(const std::string& s, const std::string& k) {
    const std::string ik = index_key(s, k);
    auto it = index.find(ik);
    if (it != index.end()) return nodes[it->second];
    nodes.push_back(tnode{s, k, {}});
    index.emplace(ik, nodes.size() - 1);
    return nodes.back();
}

void TXIIFile::write_data(const std::string& s, const std::string& k, std::int32_t id,
                          tbytearr arr) {
    tnode& n = node_for_write(s, k);
    n.data.id = id;
    n.data.arr = std::move(arr);
}

const tnode* TXIIFile::node_for_read(const std::string& s, const std::string& k, std::int32_t id,
                                     std::size_t elemsize, bool exact) {
    const tnode* n = find(s, k);
    if (!n) return nullptr;
    if (n->data.id != id)
        throw EXIIfileError("Data has wrong type: " + std::to_string(n->data.id) + ", not" +
                            std::to_string(id));
    const std::size_t len = n->data.arr.size();
    if (exact ? len != elemsize : len % elemsize != 0)
        throw EXIIfileError("Data has wrong length: " + std::to_string(len) + " bytes for " +
                            xii_type_name(id) + " value " + s + "/" + k);
    fdummy = std::to_string(id);
    return n;
}

// ---------------------------------------------------------------- typed values

void TXIIFile::writebool(const std::string& s, const std::string& k, bool v) {
    write_data(s, k, xii_boolean, tbytearr{static_cast<std::uint8_t>(v ? 1 : 0)});
}

bool TXIIFile::readbool(const std::string& s, const std::string& k, bool def) {
    const tnode* n = node_for_read(s, k, xii_boolean, 1, true);
    return n ? n->data.arr[0] != 0 : def;
}

void TXIIFile::writeinteger(const std::string& s, const std::string& k, std::int32_t v) {
    tbytearr b;
    put_u32(b, static_cast<std::uint32_t>(v));
    write_data(s, k, xii_integer, std::move(b));
}

std::int32_t TXIIFile::readinteger(const std::string& s, const std::string& k, std::int32_t def) {
    const tnode* n = node_for_read(s, k, xii_integer, 4, true);
    return n ? static_cast<std::int32_t>(get_u32(n->data.arr.data())) : def;
}

void TXIIFile::writefloat(const std::string& s, const std::string& k, double v) {
    const auto e = double_to_extended(v);
    write_data(s, k, xii_extended, tbytearr(e.begin(), e.end()));
}

double TXIIFile::readfloat(const std::string& s, const std::string& k, double def) {
    const tnode* n = node_for_read(s, k, xii_extended, 10, true);
    return n ? extended_to_double(n->data.arr.data()) : def;
}

void TXIIFile::writestring(const std::string& s, const std::string& k, const std::string& v) {
    write_data(s, k, xii_string, tbytearr(v.begin(), v.end()));
}

std::string TXIIFile::readstring(const std::string& s, const std::string& k,
                                 const std::string& def) {
    const tnode* n = node_for_read(s, k, xii_string, 1, false);
    return n ? std::string(n->data.arr.begin(), n->data.arr.end()) : def;
}

void TXIIFile::writebytearr(const std::string& s, const std::string& k,
                            std::span<const std::uint8_t> v) {
    write_data(s, k, xii_bytearr, tbytearr(v.begin(), v.end()));
}

tbytearr TXIIFile::readbytearr(const std::string& s, const std::string& k, const tbytearr& def) {
    const tnode* n = node_for_read(s, k, xii_bytearr, 1, false);
    return n ? n->data.arr : def;
}

void TXIIFile::writesmallintarr(const std::string& s, const std::string& k,
                                std::span<const std::int16_t> v) {
    write_data(s, k, xii_smallintarr, encode_array(v));
}

tsmallintarr TXIIFile::readsmallintarr(const std::string& s, const std::string& k,
                                       const tsmallintarr& def) {
    const tnode* n = node_for_read(s, k, xii_smallintarr, 2, false);
    return n ? decode_array<std::int16_t>(n->data.arr) : def;
}

void TXIIFile::writedoublearr(const std::string& s, const std::string& k,
                              std::span<const double> v) {
    write_data(s, k, xii_doublearr, encode_array(v));
}

tdoublearr TXIIFile::readdoublearr(const std::string& s, const std::string& k,
                                   const tdoublearr& def) {
    const tnode* n = node_for_read(s, k, xii_doublearr, 8, false);
    return n ? decode_array<double>(n->data.arr) : def;
}

void TXIIFile::writesinglearr(const std::string& s, const std::string& k,
                              std::span<const float> v) {
    write_data(s, k, xii_singlearr, encode_array(v));
}

void TXIIFile::writesinglearr(const std::string& s, const std::string& k, std::size_t count,
                              const std::function<void(std::size_t from, std::size_t n, float* out)>& fill) {
    tbytearr out(count * sizeof(float));
    constexpr std::size_t part = 65536;
    std::vector<float> buf(std::min(count, part));
    for (std::size_t from = 0; from < count; from += part) {
        const std::size_t n = std::min(part, count - from);
        fill(from, n, buf.data());
        std::memcpy(out.data() + from * sizeof(float), buf.data(), n * sizeof(float));
    }
    write_data(s, k, xii_singlearr, std::move(out));
}

tsinglearr TXIIFile::readsinglearr(const std::string& s, const std::string& k,
                                   const tsinglearr& def) {
    const tnode* n = node_for_read(s, k, xii_singlearr, 4, false);
    return n ? tsinglearr(decode_array<float>(n->data.arr)) : def;
}

void TXIIFile::writecomplexarr(const std::string& s, const std::string& k,
                               std::span<const tcomplex> v) {
    static_assert(sizeof(tcomplex) == 16);
    write_data(s, k, xii_complexarr, encode_array(v));
}

tcomplexarr TXIIFile::readcomplexarr(const std::string& s, const std::string& k,
                                     const tcomplexarr& def) {
    const tnode* n = find(s, k);
    if (n && n->data.id == xii_singlecomplexarr) {
        const tnode* sn = node_for_read(s, k, xii_singlecomplexarr, 8, false);
        const auto narrow = decode_array<tsinglecomplex>(sn->data.arr);
        tcomplexarr r(narrow.size());
        for (std::size_t i = 0; i < narrow.size(); ++i) r[i] = {narrow[i].re, narrow[i].im};
        return r;
    }
    n = node_for_read(s, k, xii_complexarr, 16, false);
    return n ? decode_array<tcomplex>(n->data.arr) : def;
}

void TXIIFile::writesinglecomplexarr(const std::string& s, const std::string& k,
                                     std::span<const tsinglecomplex> v) {
    static_assert(sizeof(tsinglecomplex) == 8);
    write_data(s, k, xii_singlecomplexarr, encode_array(v));
}

tsinglecomplexarr TXIIFile::readsinglecomplexarr(const std::string& s, const std::string& k,
                                                 const tsinglecomplexarr& def) {
    const tnode* n = node_for_read(s, k, xii_singlecomplexarr, 8, false);
    return n ? decode_array<tsinglecomplex>(n->data.arr) : def;
}

// ---------------------------------------------------------------- reading

bool TXIIFile::isXIIfile(const std::string& filename) {
    // Opening a pipe would wait for a writer; only regular files are looked at.
    std::error_code ec;
    if (!fs::is_regular_file(fs::path(filename), ec)) return false;
    std::FILE* f = std::fopen(filename.c_str(), "rb");
    if (!f) return false;
    std::array<std::uint8_t, 4> b{};
    const bool ok = std::fread(b.data(), 1, 4, f) == 4 && (b == magic_xii1 || b == magic_wide);
    std::fclose(f);
    return ok;
}

bool TXIIFile::parse(tsource& src) {
    std::array<std::uint8_t, 4> magic{};
    if (!src.read(magic.data(), 4)) return false;
    fidarr = magic;
    if (magic != magic_xii1 && magic != magic_wide) return false;
    std::string fileid, version, product, productversion;
    if (!read_counted(src, fileid) || fileid.empty() || !read_counted(src, version) ||
        !read_counted(src, product) || !read_counted(src, productversion))
        return false;
    std::int32_t n = 0;
    if (!read_i32(src, n) || n < 0 || static_cast<std::uint64_t>(n) > src.left / min_node_bytes)
        return false;
    // No reserve from the count: the list grows only with nodes actually read.
    std::vector<tnode> list;
    for (std::int32_t i = 0; i < n; ++i) {
        tnode node;
        std::int32_t id = 0, len = 0;
        if (!read_counted(src, node.section) || !read_counted(src, node.key) ||
            !read_i32(src, id) || !read_i32(src, len))
            return false;
        // The length is unsigned on disk: values up to 4 GiB fit.
        const std::uint64_t m = static_cast<std::uint32_t>(len);
        if (m > src.left) return false;
        node.data.id = id;
        node.data.arr.resize(static_cast<std::size_t>(m));
        if (!src.read(node.data.arr.data(), node.data.arr.size())) return false;
        list.push_back(std::move(node));
    }
    // Bytes after the last node are ignored, as a file's end always was.
    ffileid = std::move(fileid);
    freadfileversion = std::move(version);
    freadproductname = std::move(product);
    freadproductversion = std::move(productversion);
    nodes = std::move(list);
    rebuild_index();
    return true;
}

bool TXIIFile::open_file(const std::string& filename) {
    clear();
    freadfileversion.clear();
    freadproductname.clear();
    freadproductversion.clear();
    std::string name = filename;
    if (name.empty()) {
        try {
            name = settings_filename();
        } catch (const EFileSaveError&) {
            return false;
        }
    }
    std::error_code ec;
    const fs::path p(name);
    // Only regular files have a size to check lengths against; pipes and
    // devices are not containers.
    if (!fs::is_regular_file(p, ec)) return false;
    const std::uintmax_t size = fs::file_size(p, ec);
    if (ec) return false;
    std::FILE* f = std::fopen(name.c_str(), "rb");
    if (!f) return false;
    tfilesource src(f, size);
    bool ok = false;
    try {
        ok = parse(src);
    } catch (const std::bad_alloc&) {
        ok = false;
    }
    std::fclose(f);
    if (!ok) clear();
    return ok;
}

bool TXIIFile::open_bytes(const std::uint8_t* data, std::size_t size) {
    clear();
    freadfileversion.clear();
    freadproductname.clear();
    freadproductversion.clear();
    tmemsource src(data, data ? size : 0);
    bool ok = false;
    try {
        ok = parse(src);
    } catch (const std::bad_alloc&) {
        ok = false;
    }
    if (!ok) clear();
    return ok;
}

// ---------------------------------------------------------------- writing

std::string TXIIFile::settings_filename() const {
    if (!fprogid) throw EXIIfileError("Nothing assigned to ProgId");
    std::string base = fappdatafolder;
    if (base.empty()) {
        if (const char* x = std::getenv("XDG_DATA_HOME"); x && *x)
            base = x;
        else if (const char* h = std::getenv("HOME"); h && *h)
            base = std::string(h) + "/.local/share";
    }
    std::error_code ec;
    if (base.empty()) {
        // No per-user folder at all: one file in the system's temporary folder.
        const fs::path t = fs::temp_directory_path(ec);
        return (t / (fprogid->product + ".xiifile")).string();
    }
    const fs::path dir = fs::path(base) / fprogid->maker / fprogid->product / fprogid->version;
    fs::create_directories(dir, ec);
    if (ec)
        throw EFileSaveError("Cannot create folder \r" + dir.string() + "\r" +
                             os_error_text(ec.value()));
    return (dir / fsettingsfilename).string();
}

void TXIIFile::check_saveable() const {
    if (!fprogid) throw EXIIfileError("Nothing assigned to ProgId");
    if (ffileid.empty()) throw EXIIfileError("Nothing assigned to FileId");
    auto counted = [](const std::string& s, const char* what) {
        if (s.size() > static_cast<std::size_t>(INT32_MAX))
            throw EXIIfileError(std::string("Text too long to save: ") + what);
    };
    counted(ffileid, "file id");
    counted(ffileversion, "file version");
    counted(fprogid->product, "product name");
    counted(fprogid->version, "product version");
    if (nodes.size() > static_cast<std::size_t>(INT32_MAX))
        throw EXIIfileError("Too many values to save");
    for (const tnode& n : nodes) {
        counted(n.section, "section name");
        counted(n.key, "key name");
        if (n.data.arr.size() > UINT32_MAX)
            throw EXIIfileError("Value too large to save: " + n.section + "/" + n.key);
    }
}

template <class Sink>
void TXIIFile::serialize(Sink&& sink) const {
    tbytearr head;
    auto counted = [&head](const std::string& s) {
        put_u32(head, static_cast<std::uint32_t>(s.size()));
        head.insert(head.end(), s.begin(), s.end());
    };
    head.insert(head.end(), magic_xii1.begin(), magic_xii1.end());
    counted(ffileid);
    counted(ffileversion);
    counted(fprogid->product);
    counted(fprogid->version);
    put_u32(head, static_cast<std::uint32_t>(nodes.size()));
    for (const tnode& n : nodes) {
        counted(n.section);
        counted(n.key);
        put_u32(head, static_cast<std::uint32_t>(n.data.id));
        put_u32(head, static_cast<std::uint32_t>(n.data.arr.size()));
        // Small values gather into one block; large ones go out as they are.
        if (n.data.arr.size() < 4096) {
            head.insert(head.end(), n.data.arr.begin(), n.data.arr.end());
            if (head.size() >= 65536) {
                sink(head.data(), head.size());
                head.clear();
            }
        } else {
            sink(head.data(), head.size());
            head.clear();
            sink(n.data.arr.data(), n.data.arr.size());
        }
    }
    if (!head.empty()) sink(head.data(), head.size());
}

tbytearr TXIIFile::save_bytes() const {
    check_saveable();
    tbytearr out;
    serialize([&out](const std::uint8_t* p, std::size_t n) { out.insert(out.end(), p, p + n); });
    return out;
}

void TXIIFile::save_file(const std::string& filename, tfileops& ops) {
    check_saveable();
    const std::string name = filename.empty() ? settings_filename() : filename;
    std::error_code ec;
    fs::path target(name);
    if (target.has_parent_path()) {
        fs::create_directories(target.parent_path(), ec);
        if (ec)
            throw EFileSaveError("Cannot create folder \r" + target.parent_path().string() + "\r" +
                                 os_error_text(ec.value()));
    }
    // Saving through a link replaces the file it points to, not the link.
    if (fs::is_symlink(target, ec)) {
        const fs::path real = fs::weakly_canonical(target, ec);
        if (!ec) target = real;
    }
    if (fs::is_directory(target, ec))
        throw EFileSaveError("Cannot create file \r" + name + "\r" + os_error_text(EISDIR));
    const std::string tname = target.string();

    // Always through a temporary copy: a file that cannot be completed never
    // appears under the target's name, new or not.
    tsafefile out(tname, true, std::random_device{}() % 10000, ops);
    bool complete = true;
    serialize([&](const std::uint8_t* p, std::size_t n) {
        if (complete) complete = out.write(p, n) == n;
    });
    if (!out.close() || !complete) out.fail(name);
    out.replace();
}

}  // namespace tessal
