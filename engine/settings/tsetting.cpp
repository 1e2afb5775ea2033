#include "engine/settings/tsetting.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "engine/formats/safereplace.h"

namespace tessal {

namespace fs = std::filesystem;

namespace {

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool same_name(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

std::string trim(const std::string& s) {
    std::size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r')) --e;
    return s.substr(b, e - b);
}

// A name or value must stay on its line; names also lose the characters
// that would end them early.
std::string one_line(std::string s) {
    for (char& c : s)
        if (c == '\r' || c == '\n') c = ' ';
    return s;
}

}  // namespace

std::string local_appdata_folder(const std::string& base) {
    if (!base.empty()) return base;
    if (const char* x = std::getenv("XDG_DATA_HOME"); x && *x) return x;
    if (const char* h = std::getenv("HOME"); h && *h) return std::string(h) + "/.local/share";
    return "";
}

std::string scratch_folder(const std::string& base) {
    const std::string data = local_appdata_folder(base);
    return data.empty() ? std::string() : (fs::path(data) / "Tessal" / "scratch").string();
}

std::string program_data_folder(const tprogid& id, const std::string& base) {
    const std::string root = local_appdata_folder(base);
    if (root.empty()) return "";
    return (fs::path(root) / id.maker / id.product / id.version).string();
}

std::string setting_float_text(double x) {
    if (std::isnan(x)) return "NAN";
    if (std::isinf(x)) return x < 0 ? "-INF" : "INF";
    // to_chars, unlike printf, never uses the locale's decimal separator.
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, std::fabs(x), std::chars_format::scientific, 14);
    std::string t(buf, r.ptr);  // "1.23450000000000e+02"
    const std::size_t e = t.find('e');
    std::string mant = t.substr(0, e);
    int exp = std::atoi(t.c_str() + e + 1);
    char expbuf[16];
    std::snprintf(expbuf, sizeof expbuf, "%c%04d", exp < 0 ? '-' : '+', exp < 0 ? -exp : exp);
    return std::string(std::signbit(x) && x != 0 ? "-" : " ") + mant + "E" + expbuf;
}

bool parse_setting_float(const std::string& text, double& x) {
    const std::string t = trim(text);
    if (t.empty()) return false;
    if (t == "NAN") { x = std::nan(""); return true; }
    if (t == "INF" || t == "+INF") { x = HUGE_VAL; return true; }
    if (t == "-INF") { x = -HUGE_VAL; return true; }
    const char* b = t.data();
    const char* e = t.data() + t.size();
    if (*b == '+') ++b;
    double v = 0;
    auto r = std::from_chars(b, e, v, std::chars_format::general);
    if (r.ec != std::errc() || r.ptr != e) return false;
    x = v;
    return true;
}

TSetting::TSetting() = default;

TSetting::~TSetting() { flush_quietly(); }

void TSetting::flush_quietly() {
    try {
        if (fdirty) IniClose();
    } catch (const std::exception&) {
        // A store going away has no one left to tell.
    }
}

void TSetting::SetLocation(Location l) {
    if (l == flocation) return;
    flush_quietly();
    flocation = l;
    floaded = false;
    fdirty = false;
    fsections.clear();
}

void TSetting::SetFilename(const std::string& name) {
    if (name == ffilename) return;
    flush_quietly();
    ffilename = name;
    if (flocation == Location::slfile) {
        floaded = false;
        fdirty = false;
        fsections.clear();
    }
}

void TSetting::SetProgramName(const std::string& v) {
    if (v == fprogram) return;
    flush_quietly();
    fprogram = v;
    floaded = false;
    fdirty = false;
    fsections.clear();
}

void TSetting::SetAppDataFolder(const std::string& v) {
    if (v == fappdata) return;
    flush_quietly();
    fappdata = v;
    floaded = false;
    fdirty = false;
    fsections.clear();
}

std::string TSetting::inifilename() const {
    if (flocation == Location::slfile) return ffilename;
    const std::string dir = program_data_folder(tessal_progid(), fappdata);
    if (dir.empty()) return "";
    return (fs::path(dir) / (fprogram + ".ini")).string();
}

void TSetting::load() {
    if (floaded) return;
    floaded = true;
    fsections.clear();
    const std::string name = inifilename();
    if (name.empty()) return;
    std::error_code ec;
    if (!fs::is_regular_file(name, ec)) return;
    std::ifstream in(name, std::ios::binary);
    std::string line;
    tsection* cur = nullptr;
    while (std::getline(in, line)) {
        const std::string t = trim(line);
        if (t.empty() || t[0] == ';') continue;
        if (t[0] == '[') {
            const std::size_t close = t.rfind(']');
            const std::string sec = trim(t.substr(1, close == std::string::npos ? std::string::npos
                                                                                : close - 1));
            cur = find_section(sec);
            if (!cur) {
                fsections.push_back({sec, {}});
                cur = &fsections.back();
            }
            continue;
        }
        const std::size_t eq = line.find('=');
        if (!cur || eq == std::string::npos) continue;
        const std::string key = trim(line.substr(0, eq));
        std::string value = line.substr(eq + 1);
        if (!value.empty() && value.back() == '\r') value.pop_back();
        if (key.empty()) continue;
        // The first of duplicate keys counts, as ini readers always did.
        bool dup = false;
        for (const tentry& e : cur->entries) dup = dup || same_name(e.key, key);
        if (!dup) cur->entries.push_back({key, value});
    }
}

TSetting::tsection* TSetting::find_section(const std::string& name) {
    for (tsection& s : fsections)
        if (same_name(s.name, name)) return &s;
    return nullptr;
}

TSetting::tentry* TSetting::find_entry(const std::string& section, const std::string& key) {
    load();
    tsection* s = find_section(section);
    if (!s) return nullptr;
    for (tentry& e : s->entries)
        if (same_name(e.key, key)) return &e;
    return nullptr;
}

void TSetting::changed() {
    fdirty = true;
    if (!fmanual) IniClose();
}

void TSetting::IniClose() {
    if (!fdirty) return;
    const std::string name = inifilename();
    if (name.empty()) throw EFileSaveError("No folder for the settings file");
    std::string text;
    for (const tsection& s : fsections) {
        text += "[" + s.name + "]\n";
        for (const tentry& e : s.entries) text += e.key + "=" + e.value + "\n";
        text += "\n";
    }
    std::error_code ec;
    const fs::path p(name);
    if (p.has_parent_path()) fs::create_directories(p.parent_path(), ec);
    tsafefile f(name, true, std::random_device{}() % 10000, tfileops::system());
    if (f.write(text.data(), text.size()) != text.size()) f.fail("Error writing file");
    if (!f.close()) f.fail("Error closing file");
    f.replace();
    fdirty = false;
}

std::string TSetting::ReadString(const std::string& section, const std::string& key,
                                 const std::string& def) {
    const tentry* e = find_entry(section, key);
    return e ? e->value : def;
}

void TSetting::WriteString(const std::string& section, const std::string& key,
                           const std::string& v) {
    const std::string sec = trim(one_line(section));
    std::string k = trim(one_line(key));
    // "=" would end the key early and "[" would start a section.
    for (char& c : k)
        if (c == '=') c = '_';
    if (!k.empty() && (k[0] == '[' || k[0] == ';')) k[0] = '_';
    if (k.empty()) return;
    const std::string value = one_line(v);
    if (tentry* e = find_entry(sec, k)) {
        if (e->value == value) return;
        e->value = value;
    } else {
        tsection* s = find_section(sec);
        if (!s) {
            fsections.push_back({sec, {}});
            s = &fsections.back();
        }
        s->entries.push_back({k, value});
    }
    changed();
}

std::int64_t TSetting::ReadInteger(const std::string& section, const std::string& key,
                                   std::int64_t def) {
    const tentry* e = find_entry(section, key);
    if (!e) return def;
    const std::string t = trim(e->value);
    std::int64_t v = 0;
    const char* b = t.data();
    if (!t.empty() && *b == '+') ++b;
    auto r = std::from_chars(b, t.data() + t.size(), v);
    if (t.empty() || r.ec != std::errc() || r.ptr != t.data() + t.size()) {
        if (fstrictnumbers && !t.empty())
            throw ESettingError("\"" + key + "\" in [" + section + "] is \"" + t + "\", not a whole number");
        return def;
    }
    return v;
}

void TSetting::WriteInteger(const std::string& section, const std::string& key, std::int64_t v) {
    WriteString(section, key, std::to_string(v));
}

bool TSetting::ReadBool(const std::string& section, const std::string& key, bool def) {
    const tentry* e = find_entry(section, key);
    if (!e) return def;
    return trim(e->value) == "1";
}

void TSetting::WriteBool(const std::string& section, const std::string& key, bool v) {
    WriteString(section, key, v ? "1" : "0");
}

double TSetting::ReadFloat(const std::string& section, const std::string& key, double def) {
    const tentry* e = find_entry(section, key);
    double v = 0;
    const bool read = e && parse_setting_float(e->value, v);
    if (e && fstrictnumbers && !trim(e->value).empty() && !(read && std::isfinite(v)))
        throw ESettingError("\"" + key + "\" in [" + section + "] is \"" + trim(e->value) + "\", not a number");
    if (!read) return def;
    return v;
}

void TSetting::WriteFloat(const std::string& section, const std::string& key, double v) {
    WriteString(section, key, setting_float_text(v));
}

tsettingfont TSetting::ReadFont(const std::string& section, const std::string& key,
                                const tsettingfont& def) {
    tsettingfont f;
    f.name = ReadString(section, key + "Name", def.name);
    f.size = static_cast<int>(ReadInteger(section, key + "Size", def.size));
    f.color = static_cast<std::uint32_t>(ReadInteger(section, key + "Color", def.color));
    f.bold = ReadBool(section, key + "Bold", def.bold);
    f.italics = ReadBool(section, key + "Italics", def.italics);
    f.underline = ReadBool(section, key + "Underline", def.underline);
    f.strikeout = ReadBool(section, key + "Strikeout", def.strikeout);
    return f;
}

void TSetting::WriteFont(const std::string& section, const std::string& key,
                         const tsettingfont& f) {
    const bool manual = fmanual;
    fmanual = true;  // one write of the file for all six values
    WriteString(section, key + "Name", f.name);
    WriteInteger(section, key + "Size", f.size);
    WriteInteger(section, key + "Color", f.color);
    WriteBool(section, key + "Bold", f.bold);
    WriteBool(section, key + "Italics", f.italics);
    WriteBool(section, key + "Underline", f.underline);
    WriteBool(section, key + "Strikeout", f.strikeout);
    fmanual = manual;
    if (fdirty && !fmanual) IniClose();
}

std::vector<std::string> TSetting::ReadSection(const std::string& section) {
    load();
    std::vector<std::string> keys;
    if (const tsection* s = find_section(section))
        for (const tentry& e : s->entries) keys.push_back(e.key);
    return keys;
}

std::vector<std::string> TSetting::ReadSections() {
    load();
    std::vector<std::string> names;
    for (const tsection& s : fsections) names.push_back(s.name);
    return names;
}

void TSetting::DeleteSection(const std::string& section) {
    load();
    for (auto it = fsections.begin(); it != fsections.end(); ++it)
        if (same_name(it->name, section)) {
            fsections.erase(it);
            changed();
            return;
        }
}

void TSetting::DeleteKey(const std::string& section, const std::string& key) {
    load();
    tsection* s = find_section(section);
    if (!s) return;
    for (auto it = s->entries.begin(); it != s->entries.end(); ++it)
        if (same_name(it->key, key)) {
            s->entries.erase(it);
            changed();
            return;
        }
}

bool TSetting::ValueExists(const std::string& section, const std::string& key) {
    return find_entry(section, key) != nullptr;
}

}  // namespace tessal
