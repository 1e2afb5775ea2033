// TSetting: the small key-value store behind the recent-files lists and the
// process files. Values are addressed by section and key (both matched
// regardless of ASCII case) and kept in an ini file: sections in brackets,
// one "key=value" line per value.
//
// Encodings: integers in decimal; booleans as 1 and 0 (only "1" reads as
// true); reals as 23 characters of scientific notation with "." whatever
// the locale (" 1.23450000000000E+0002"); strings as they are, except that a
// line break in a value is written as a blank, so one value can never
// become several lines; fonts as six values under the key followed by
// "Name", "Size", "Color", "Bold", "Italics", "Underline", "Strikeout".
// Reading a missing or malformed value yields the default.
//
// The file is read lazily on first use and kept in memory. Without
// ManualIniClose every change is written back at once; with it, changes are
// written by IniClose. Writing goes through a temporary file that replaces
// the old one only when complete. Changing the location or Filename flushes
// pending changes to the old file first.
//
// Only the ini locations this program uses exist: slnonroaming (the
// per-user local application-data folder, then maker, product and version)
// and slfile (the file named by Filename). The registry and roaming or
// common folders are not used; those locations fall back to slnonroaming.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/formats/txiifile.h"

namespace tessal {

enum class Location { sluser, slmachine, slroaming, slnonroaming, slcommonadmin,
                      slcommoninsecure, slfile };

struct tsettingfont {
    std::string name = "Arial";
    int size = 10;
    std::uint32_t color = 0;
    bool bold = false, italics = false, underline = false, strikeout = false;
    bool operator==(const tsettingfont&) const = default;
};

// The per-user local application-data folder: `base` when given, else
// $XDG_DATA_HOME, else $HOME/.local/share ("" when none is known).
std::string local_appdata_folder(const std::string& base = "");
// That folder followed by the program's maker, product and version.
std::string program_data_folder(const tprogid& id, const std::string& base = "");
// Where the samples that leave memory go unless the settings name a folder:
// <local data folder>/Tessal/scratch, beside the journals ("" when no data
// folder is known).
std::string scratch_folder(const std::string& base = "");

// The 23-character real encoding and its strict reading (false when `text`
// is not such a number; any number text with "." is accepted).
std::string setting_float_text(double x);
bool parse_setting_float(const std::string& text, double& x);

class ESettingError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TSetting {
public:
    TSetting();
    ~TSetting();  // flushes pending changes, ignoring errors
    TSetting(const TSetting&) = delete;
    TSetting& operator=(const TSetting&) = delete;

    Location GetLocation() const { return flocation; }
    void SetLocation(Location l);
    const std::string& GetFilename() const { return ffilename; }
    void SetFilename(const std::string& name);
    bool GetManualIniClose() const { return fmanual; }
    void SetManualIniClose(bool v) { fmanual = v; }
    // With strict numbers a value that is there but is no number of the
    // kind asked for (ReadInteger, ReadFloat) throws ESettingError naming
    // the key and section, instead of giving the default a missing key gets.
    void SetStrictNumbers(bool v) { fstrictnumbers = v; }
    // The program file name the ini file is named after ("tessal" gives
    // "tessal.ini"), and the base folder for slnonroaming (empty: the
    // environment's; see local_appdata_folder).
    void SetProgramName(const std::string& v);
    void SetAppDataFolder(const std::string& v);
    // The ini file used now.
    std::string inifilename() const;

    std::string ReadString(const std::string& section, const std::string& key,
                           const std::string& def);
    void WriteString(const std::string& section, const std::string& key, const std::string& v);
    std::int64_t ReadInteger(const std::string& section, const std::string& key,
                             std::int64_t def);
    void WriteInteger(const std::string& section, const std::string& key, std::int64_t v);
    bool ReadBool(const std::string& section, const std::string& key, bool def);
    void WriteBool(const std::string& section, const std::string& key, bool v);
    double ReadFloat(const std::string& section, const std::string& key, double def);
    void WriteFloat(const std::string& section, const std::string& key, double v);
    tsettingfont ReadFont(const std::string& section, const std::string& key,
                          const tsettingfont& def);
    void WriteFont(const std::string& section, const std::string& key, const tsettingfont& f);

    std::vector<std::string> ReadSection(const std::string& section);
    std::vector<std::string> ReadSections();
    void DeleteSection(const std::string& section);
    void DeleteKey(const std::string& section, const std::string& key);
    bool ValueExists(const std::string& section, const std::string& key);
    // Writes pending changes. Raises EFileSaveError when the file cannot be
    // written (the old file is then as it was); the changes stay pending.
    void IniClose();

private:
    struct tentry { std::string key, value; };
    struct tsection { std::string name; std::vector<tentry> entries; };

    void load();
    void changed();
    void flush_quietly();
    tsection* find_section(const std::string& name);
    tentry* find_entry(const std::string& section, const std::string& key);

    Location flocation = Location::slnonroaming;
    std::string ffilename;
    std::string fprogram = "tessal";
    std::string fappdata;
    bool fmanual = false;
    bool fstrictnumbers = false;
    bool floaded = false;
    bool fdirty = false;
    std::vector<tsection> fsections;
};

}  // namespace tessal
