// TXIIFile: the tagged container behind the settings file, the native signal
// file, EPG grid files and imported foreign recordings.
//
// In memory the container is an ordered list of typed values (tnode), each
// addressed by a section and a key that match regardless of ASCII case. A
// write keeps the position of an existing value and appends a new one; a read
// of an absent value gives the caller's default, a read of a value of another
// type raises EXIIfileError. Lookups go through a hash index of the lower-cased
// names, which always points at the last node carrying them, so a file with
// duplicates behaves as if searched from the end.
//
// On disk (little-endian): "XII1", four counted strings (file id, file
// version, product name and version of the writer), the node count, then per
// node its section, key, type id, data length and data. open_file trusts no
// length in the file beyond the bytes actually left in it, so a damaged file
// allocates at most about its own size and gives false, never a crash.
// save_file writes a temporary file beside the target, syncs it to disk and
// only then renames it over the old file: a failed save leaves the old file
// byte for byte as it was.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/dsp/arrays.h"
#include "engine/dsp/tcomplex.h"
#include "engine/formats/safereplace.h"

namespace tessal {

class EXIIfileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Type ids of the values, as stored in the file.
enum txiitype : std::int32_t {
    xii_none = 9,
    xii_boolean = 10,
    xii_integer = 11,
    xii_extended = 12,
    xii_string = 13,
    xii_smallintarr = 14,
    xii_doublearr = 15,
    xii_complexarr = 16,
    xii_singlearr = 17,
    xii_singlecomplexarr = 18,
    xii_bytearr = 19,
};

// The type's name ("integer", ...), or "" for an id no operation writes.
const char* xii_type_name(std::int32_t id);

struct tdata {
    std::int32_t id = xii_none;
    tbytearr arr;
};

struct tnode {
    std::string section;
    std::string key;
    tdata data;
};

// Who writes the files: the maker word and product name name the folders of
// the default location, the product name and version are stamped into every
// file saved.
struct tprogid {
    std::string maker;
    std::string product;
    std::string version;
};

// This program's identity.
const tprogid& tessal_progid();

// 80-bit extended-precision floats as the "extended" values store them. Every
// double converts exactly; the way back rounds to nearest (ties to even),
// overflowing to infinity and underflowing through the subnormals.
std::array<std::uint8_t, 10> double_to_extended(double x);
double extended_to_double(const std::uint8_t* p);

class TXIIFile {
public:
    TXIIFile();

    // Published properties.
    const std::string& GetFileId() const { return ffileid; }
    void SetFileId(const std::string& v) { ffileid = v; }
    const std::string& GetFileVersion() const { return ffileversion; }
    void SetFileVersion(const std::string& v) { ffileversion = v; }
    const std::string& GetSettingsFileName() const { return fsettingsfilename; }
    void SetSettingsFileName(const std::string& v) { fsettingsfilename = v; }
    // The identity stamped into saved files and used for the default
    // location; none is assigned at first.
    void SetProgId(const tprogid& id) { fprogid = id; }
    const std::optional<tprogid>& GetProgId() const { return fprogid; }
    // The per-user application-data folder that starts the default location.
    // Empty (the default) means $XDG_DATA_HOME, else $HOME/.local/share; the
    // GUI sets it from the platform's own answer.
    void SetAppDataFolder(const std::string& v) { fappdatafolder = v; }

    // "#58#49#49#31": the four magic bytes last read.
    std::string Idstr() const;
    const std::string& readfileversion() const { return freadfileversion; }
    const std::string& readproductname() const { return freadproductname; }
    const std::string& readproductversion() const { return freadproductversion; }
    // Type id of the value found by the last successful read, in decimal.
    const std::string& dummy() const { return fdummy; }

    // Application data / maker / product / version / SettingsFileName; the
    // folders are created when missing. Raises "Nothing assigned to ProgId"
    // without an identity, EFileSaveError when a folder cannot be made.
    std::string settings_filename() const;

    // The node list.
    void clear();
    int nnodes() const { return static_cast<int>(nodes.size()); }
    // Raises EXIIfileError for a position outside 0..nnodes-1.
    const tnode& get_nodeno(int index) const;
    // The node addressed by section and key, or null.
    const tnode* find(const std::string& section, const std::string& key) const;
    bool exists(const std::string& section, const std::string& key) const {
        return find(section, key) != nullptr;
    }
    // Sections in order of first appearance, and the keys of one section in
    // list order (each name as first written).
    std::vector<std::string> sections() const;
    std::vector<std::string> keys(const std::string& section) const;
    // Sets a value of any type id with its encoded bytes.
    void write_data(const std::string& section, const std::string& key, std::int32_t id,
                    tbytearr arr);

    // True when the file starts with one of the two accepted magics; false
    // also when it cannot be read.
    static bool isXIIfile(const std::string& filename);
    // Clears the list and reads the whole file (empty name: the default
    // location). False, with an empty list and empty read... strings, when
    // the file cannot be read or is not a complete container; FileId is then
    // left as it was.
    bool open_file(const std::string& filename);
    // The same for a container already in memory.
    bool open_bytes(const std::uint8_t* data, std::size_t size);

    // Writes the whole list (empty name: the default location), creating
    // missing folders. Raises EXIIfileError when there is no identity or no
    // file id, or a value is too long for the format; EFileSaveError when the
    // file cannot be written (the old file is then untouched). All file calls
    // go through `ops`, so tests can make any of them fail.
    void save_file(const std::string& filename, tfileops& ops = tfileops::system());
    // The bytes save_file would write.
    tbytearr save_bytes() const;

    // Typed values. Each read returns `def` when the value is absent and
    // raises "Data has wrong type: <found>, not<expected>" when it has
    // another type, or "Data has wrong length: ..." when its bytes cannot be
    // a value of its type.
    void writebool(const std::string& section, const std::string& key, bool v);
    bool readbool(const std::string& section, const std::string& key, bool def);
    void writeinteger(const std::string& section, const std::string& key, std::int32_t v);
    std::int32_t readinteger(const std::string& section, const std::string& key,
                             std::int32_t def);
    void writefloat(const std::string& section, const std::string& key, double v);
    double readfloat(const std::string& section, const std::string& key, double def);
    void writestring(const std::string& section, const std::string& key, const std::string& v);
    std::string readstring(const std::string& section, const std::string& key,
                           const std::string& def);

    void writebytearr(const std::string& s, const std::string& k, std::span<const std::uint8_t> v);
    void writebytearr(const std::string& s, const std::string& k, const tbytearr& v) {
        writebytearr(s, k, std::span<const std::uint8_t>(v));
    }
    void writebytearr(const std::string& s, const std::string& k,
                      std::initializer_list<std::uint8_t> v) {
        writebytearr(s, k, std::span<const std::uint8_t>(v.begin(), v.size()));
    }
    tbytearr readbytearr(const std::string& s, const std::string& k, const tbytearr& def);

    void writesmallintarr(const std::string& s, const std::string& k,
                          std::span<const std::int16_t> v);
    void writesmallintarr(const std::string& s, const std::string& k, const tsmallintarr& v) {
        writesmallintarr(s, k, std::span<const std::int16_t>(v));
    }
    void writesmallintarr(const std::string& s, const std::string& k,
                          std::initializer_list<std::int16_t> v) {
        writesmallintarr(s, k, std::span<const std::int16_t>(v.begin(), v.size()));
    }
    tsmallintarr readsmallintarr(const std::string& s, const std::string& k,
                                 const tsmallintarr& def);

    void writedoublearr(const std::string& s, const std::string& k, std::span<const double> v);
    void writedoublearr(const std::string& s, const std::string& k, const tdoublearr& v) {
        writedoublearr(s, k, std::span<const double>(v));
    }
    void writedoublearr(const std::string& s, const std::string& k,
                        std::initializer_list<double> v) {
        writedoublearr(s, k, std::span<const double>(v.begin(), v.size()));
    }
    tdoublearr readdoublearr(const std::string& s, const std::string& k, const tdoublearr& def);

    void writesinglearr(const std::string& s, const std::string& k, std::span<const float> v);
    void writesinglearr(const std::string& s, const std::string& k, const tsinglearr& v) {
        writesinglearr(s, k, std::span<const float>(v));
    }
    void writesinglearr(const std::string& s, const std::string& k,
                        std::initializer_list<float> v) {
        writesinglearr(s, k, std::span<const float>(v.begin(), v.size()));
    }
    // An array of `count` values handed over in parts: fill(from, n, out)
    // puts values from..from+n-1 into out[0..n). Stored as the one-span
    // overload stores the same values.
    void writesinglearr(const std::string& s, const std::string& k, std::size_t count,
                        const std::function<void(std::size_t from, std::size_t n, float* out)>& fill);
    tsinglearr readsinglearr(const std::string& s, const std::string& k, const tsinglearr& def);

    void writecomplexarr(const std::string& s, const std::string& k, std::span<const tcomplex> v);
    void writecomplexarr(const std::string& s, const std::string& k, const tcomplexarr& v) {
        writecomplexarr(s, k, std::span<const tcomplex>(v));
    }
    void writecomplexarr(const std::string& s, const std::string& k,
                         std::initializer_list<tcomplex> v) {
        writecomplexarr(s, k, std::span<const tcomplex>(v.begin(), v.size()));
    }
    // Also reads a "singlecomplexarr" value, widening each part.
    tcomplexarr readcomplexarr(const std::string& s, const std::string& k, const tcomplexarr& def);

    void writesinglecomplexarr(const std::string& s, const std::string& k,
                               std::span<const tsinglecomplex> v);
    void writesinglecomplexarr(const std::string& s, const std::string& k,
                               const tsinglecomplexarr& v) {
        writesinglecomplexarr(s, k, std::span<const tsinglecomplex>(v));
    }
    void writesinglecomplexarr(const std::string& s, const std::string& k,
                               std::initializer_list<tsinglecomplex> v) {
        writesinglecomplexarr(s, k, std::span<const tsinglecomplex>(v.begin(), v.size()));
    }
    tsinglecomplexarr readsinglecomplexarr(const std::string& s, const std::string& k,
                                           const tsinglecomplexarr& def);

    // Where a container is parsed from (defined in the .cpp).
    class tsource;

private:
    bool parse(tsource& src);
    // The node of the value being read, checked against the type asked for
    // (null when absent); `elemsize` is the byte size its length must be a
    // multiple of (or equal to, when `exact`).
    const tnode* node_for_read(const std::string& s, const std::string& k, std::int32_t id,
                               std::size_t elemsize, bool exact);
    tnode& node_for_write(const std::string& s, const std::string& k);
    void rebuild_index();
    template <class Sink>
    void serialize(Sink&& sink) const;
    void check_saveable() const;

    std::array<std::uint8_t, 4> fidarr{};
    std::string ffileid;
    std::string ffileversion = "0.0";
    std::string freadfileversion, freadproductname, freadproductversion;
    std::string fsettingsfilename = "settings.xiifile";
    std::string fappdatafolder;
    std::optional<tprogid> fprogid;
    std::vector<tnode> nodes;
    std::unordered_map<std::string, std::size_t> index;
    std::string fdummy;
};

}  // namespace tessal
