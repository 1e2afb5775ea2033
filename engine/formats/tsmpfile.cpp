// TSMPfile (see tsmpfile.h).
#include "engine/formats/tsmpfile.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <system_error>
#include <unordered_set>

#include "engine/dsp/numformat.h"
#include "engine/formats/codepage437.h"

namespace tessal {

namespace fs = std::filesystem;

namespace {

std::string lower_ascii(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

// At most `n` characters of UTF-8 text, never splitting a character.
std::string cut_chars(const std::string& s, std::size_t n) {
    std::size_t chars = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if ((static_cast<unsigned char>(s[i]) & 0xC0) == 0x80) continue;
        if (chars++ == n) return s.substr(0, i);
    }
    return s;
}

// A value from the file as it may appear in a message.
std::string quoted(const std::string& s) { return "\"" + cut_chars(s, 40) + (cut_chars(s, 40) != s ? "...\"" : "\""); }

std::string errno_text(int code) { return code ? std::string(std::strerror(code)) : std::string("unknown error"); }

bool parse_count(const std::string& text, long long& v) {
    try {
        v = parse_int(text);
        return true;
    } catch (const EConvertError&) {
        return false;
    }
}

std::string name_part(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool same_path(const std::string& a, const std::string& b) {
    std::error_code ec1, ec2;
    if (fs::exists(a, ec1) && fs::exists(b, ec2)) {
        std::error_code ec;
        const bool eq = fs::equivalent(a, b, ec);
        if (!ec) return eq;
    }
    std::error_code ec;
    const fs::path pa = fs::absolute(a, ec).lexically_normal();
    const fs::path pb = fs::absolute(b, ec).lexically_normal();
    return pa == pb;
}

std::string now_text() {
    const std::time_t t = std::time(nullptr);
    std::tm tm{};
    if (const std::tm* p = std::localtime(&t)) tm = *p;
    char buf[64];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
    return buf;
}

std::uint16_t load16(const std::uint8_t* p, bool msbfirst) {
    return msbfirst ? static_cast<std::uint16_t>(p[0] << 8 | p[1]) : static_cast<std::uint16_t>(p[1] << 8 | p[0]);
}

void store16(std::uint8_t* p, std::int16_t v, bool msbfirst) {
    const auto u = static_cast<std::uint16_t>(v);
    p[msbfirst ? 0 : 1] = static_cast<std::uint8_t>(u >> 8);
    p[msbfirst ? 1 : 0] = static_cast<std::uint8_t>(u & 0xFF);
}

}  // namespace

TSMPfile::TSMPfile() : headarr(maxheadsize, 0) {}

TSMPfile::~TSMPfile() { close_file(); }

// ---------------------------------------------------------------- layout

const TSMPfile::tlayout& TSMPfile::layout() const {
    if (!flayoutdirty) return flayout;
    flayoutdirty = false;
    tlayout l;
    const std::string nch = get_item("nchans", std::to_string(defnChans));
    long long n = 0;
    if (!parse_count(nch, n) || n < 1 || n > maxchans) {
        l.error = "The number of channels " + quoted(nch) + " is not valid: it must be 1 to " + std::to_string(maxchans);
        return flayout = l;
    }
    l.nchans = static_cast<int>(n);
    const std::string sft = get_item("sftot", format_float_pattern("0.######", defSfTot));
    if (!try_parse_float(sft, l.sftot) || !std::isfinite(l.sftot) || l.sftot <= 0) {
        l.error = "The total sample rate " + quoted(sft) + " is not a positive number";
        return flayout = l;
    }
    l.msbfirst = smp_same_key(get_item("msb", defMSBFirst ? "first" : "last"), "first");
    const std::string scan = get_item("scan", "");
    if (scan.empty()) {
        for (int c = 0; c < l.nchans; ++c) l.slots.push_back(c);
    } else {
        if (!parse_smp_scan(scan, 1000000, maxscanslots, l.slots)) {
            l.error = "The scan " + quoted(scan) + " is not valid: it must list at most " +
                      std::to_string(maxscanslots) + " channel numbers";
            return flayout = l;
        }
        if (l.slots.empty()) {
            l.error = "The scan " + quoted(scan) + " lists no channels";
            return flayout = l;
        }
    }
    l.chanslots.assign(l.nchans, {});
    for (std::size_t i = 0; i < l.slots.size(); ++i) {
        if (l.slots[i] >= l.nchans) {
            l.error = "The scan lists channel " + std::to_string(l.slots[i]) + ", but the file has " +
                      std::to_string(l.nchans) + " channels";
            return flayout = l;
        }
        l.chanslots[l.slots[i]].push_back(static_cast<int>(i));
    }
    for (int c = 0; c < l.nchans; ++c)
        if (l.chanslots[c].empty()) {
            l.error = "Channel " + std::to_string(c) + " does not appear in the scan " + quoted(scan);
            return flayout = l;
        }
    return flayout = l;
}

const TSMPfile::tlayout& TSMPfile::usable_layout() const {
    const tlayout& l = layout();
    if (!l.error.empty()) throw ESMPfileError(l.error);
    return l;
}

void TSMPfile::check_channel(int channo) const {
    const tlayout& l = usable_layout();
    if (channo < 0 || channo >= l.nchans)
        throw ESMPfileError("Channel " + std::to_string(channo) + " does not exist: the file has " +
                            std::to_string(l.nchans) + " channels");
}

int TSMPfile::nChans() const { return usable_layout().nchans; }
double TSMPfile::SfTot() const { return usable_layout().sftot; }
bool TSMPfile::MSBFirst() const { return usable_layout().msbfirst; }
int TSMPfile::ScanCount() const { return static_cast<int>(usable_layout().slots.size()); }

std::string TSMPfile::ScanStr() const {
    std::string s;
    for (int v : usable_layout().slots) s += (s.empty() ? "" : ",") + std::to_string(v);
    return s;
}

bool TSMPfile::IsSplitRate() const {
    const tlayout& l = usable_layout();
    for (const auto& cs : l.chanslots)
        if (cs.size() != l.chanslots[0].size()) return true;
    return false;
}

int TSMPfile::HeadSize() const {
    if (fisopen) return static_cast<int>(fheadoffset);
    long long v = 0;
    return parse_count(get_item("head", ""), v) && v > 0 && v <= maxheadsize ? static_cast<int>(v) : defheadsize;
}

void TSMPfile::SetnChans(int n) { set_item("nchans", std::to_string(n)); }
void TSMPfile::SetSfTot(double sftot) { set_item("sftot", format_float_pattern("0.######", sftot)); }
void TSMPfile::SetMSBFirst(bool msbfirst) { set_item("msb", msbfirst ? "first" : "last"); }
void TSMPfile::SetScanStr(const std::string& scan) { set_item("scan", scan); }

// ---------------------------------------------------------------- items

std::string TSMPfile::get_item(const std::string& itemname, const std::string& def) const {
    for (auto it = fitems.rbegin(); it != fitems.rend(); ++it)
        if (smp_same_key(it->key, itemname)) return it->value;
    return def;
}

void TSMPfile::erase_items(const std::string& key) {
    std::erase_if(fitems, [&](const tsmpitem& it) { return smp_same_key(it.key, key); });
    items_changed();
}

void TSMPfile::put_item(const std::string& key, const std::string& value) {
    if (value.empty()) {
        erase_items(key);
        return;
    }
    auto first = std::find_if(fitems.begin(), fitems.end(), [&](const tsmpitem& it) { return smp_same_key(it.key, key); });
    if (first == fitems.end()) {
        fitems.push_back({key, value});
        first = fitems.end() - 1;
    } else {
        first->value = value;
        fitems.erase(std::remove_if(first + 1, fitems.end(), [&](const tsmpitem& it) { return smp_same_key(it.key, key); }),
                     fitems.end());
    }
    if (smp_same_key(key, "head")) std::rotate(fitems.begin(), first, first + 1);
    items_changed();
}

void TSMPfile::set_item(const std::string& itemname, const std::string& value) {
    const std::string key = smp_trim(smp_one_line(itemname));
    if (key.find('=') != std::string::npos) throw ESMPfileError("A header item name cannot hold \"=\": " + quoted(key));
    if (key.empty()) return;
    const std::string v = cut_chars(smp_trim(smp_one_line(value)), maxvaluelength);
    if (smp_same_key(key, "labels") && !v.empty()) {
        put_item(key, v);
        move_labels_to_list();
        fexternallabels = true;
        const std::string csv = resolve_label_file(v);
        if (!csv.empty()) {
            fextlabels.clear();
            if (load_label_file(csv, true)) fcsvfilename = csv;
        }
        return;
    }
    put_item(key, v);
}

void TSMPfile::set_nonpresent_item(const std::string& itemname, const std::string& value) {
    const std::string key = smp_trim(itemname);
    if (std::none_of(fitems.begin(), fitems.end(), [&](const tsmpitem& it) { return smp_same_key(it.key, key); }))
        set_item(key, value);
}

void TSMPfile::add_line(const std::string& line) {
    const std::string l = smp_one_line(line);
    const std::size_t eq = l.find('=');
    std::string key = smp_trim(l.substr(0, eq));
    std::string value = eq == std::string::npos ? std::string() : cut_chars(smp_trim(l.substr(eq + 1)), maxvaluelength);
    if (key.empty() || value.empty()) return;
    fitems.push_back({std::move(key), std::move(value)});
    items_changed();
}

void TSMPfile::add_nonpresent_line(const std::string& line) {
    const std::string key = smp_trim(smp_one_line(line).substr(0, line.find('=')));
    if (std::none_of(fitems.begin(), fitems.end(), [&](const tsmpitem& it) { return smp_same_key(it.key, key); }))
        add_line(line);
}

void TSMPfile::insert_nonpresent_defaults() {
    set_nonpresent_item("head", std::to_string(defheadsize));
    set_nonpresent_item("file", defFileType);
    set_nonpresent_item("sftot", format_float_pattern("0.######", defSfTot));
    set_nonpresent_item("nchans", std::to_string(defnChans));
    set_nonpresent_item("msb", defMSBFirst ? "first" : "last");
    set_nonpresent_item("date", now_text());
    set_nonpresent_item("view", format_significant_file(fnviewdigits, defViewLo) + "," +
                                    format_significant_file(fnviewdigits, defViewHi));
    set_nonpresent_item("range", float_to_text(defRangeLo) + "," + float_to_text(defRangeHi));
}

void TSMPfile::set_proc(const std::string& procstr) {
    int n = 0;
    while (!get_item("proc" + std::to_string(n), "").empty()) ++n;
    set_item("proc" + std::to_string(n), procstr);
}

void TSMPfile::validate_items() {
    auto head = std::find_if(fitems.begin(), fitems.end(), [](const tsmpitem& it) { return smp_same_key(smp_trim(it.key), "head"); });
    if (head != fitems.end()) std::rotate(fitems.begin(), head, head + 1);
    std::unordered_set<std::string> seen;
    std::vector<tsmpitem> kept;
    kept.reserve(fitems.size());
    for (auto& it : fitems) {
        it.key = smp_trim(it.key);
        it.value = smp_trim(it.value);
        if (it.key.empty() || it.value.empty()) continue;
        if (!seen.insert(lower_ascii(it.key)).second) continue;
        kept.push_back(std::move(it));
    }
    fitems = std::move(kept);
    items_changed();
}

void TSMPfile::add_comment(const std::string& line) { fcomment.push_back(smp_one_line(line)); }

void TSMPfile::clear() {
    fitems.clear();
    fcomment.clear();
    fextlabels.clear();
    items_changed();
}

// ---------------------------------------------------------------- labels

std::vector<std::size_t> TSMPfile::label_items() const {
    std::vector<std::pair<std::int64_t, std::size_t>> found;
    for (std::size_t i = 0; i < fitems.size(); ++i) {
        const std::int64_t n = smp_label_number(fitems[i].key);
        if (n >= 1) found.push_back({n, i});
    }
    std::stable_sort(found.begin(), found.end());
    std::vector<std::size_t> r;
    r.reserve(found.size());
    for (const auto& f : found) r.push_back(f.second);
    return r;
}

int TSMPfile::nlabels() const {
    return static_cast<int>(fexternallabels ? fextlabels.size() : label_items().size());
}

std::string TSMPfile::label_string(int i) const {
    if (fexternallabels) {
        if (i >= 0 && static_cast<std::size_t>(i) < fextlabels.size()) return fextlabels[i];
    } else {
        const auto idx = label_items();
        if (i >= 0 && static_cast<std::size_t>(i) < idx.size()) return fitems[idx[i]].value;
    }
    throw ESMPfileError("Label " + std::to_string(i) + " does not exist");
}

std::string TSMPfile::Getlabelstr(int i) const { return label_string(i); }

double TSMPfile::Getlabelstart(int i) const {
    const tsmplabelfields f = parse_smp_label(label_string(i));
    const tlayout& l = layout();
    return f.start < 0 || !l.error.empty() ? -1.0 : static_cast<double>(f.start) / l.sftot;
}

double TSMPfile::Getlabellength(int i) const {
    const tsmplabelfields f = parse_smp_label(label_string(i));
    const tlayout& l = layout();
    return f.length < 0 || !l.error.empty() ? -1.0 : static_cast<double>(f.length) / l.sftot;
}

std::string TSMPfile::Getlabeltext(int i) const { return parse_smp_label(label_string(i)).text; }

tsiglabels TSMPfile::Getsiglabels() const {
    tsiglabels r;
    const tlayout& l = layout();
    if (!l.error.empty()) return r;
    const int n = nlabels();
    for (int i = 0; i < n; ++i) {
        const tsmplabelfields f = parse_smp_label(label_string(i));
        if (!f.valid()) continue;
        tsiglabel s;
        s.time = static_cast<double>(f.start) / l.sftot;
        s.duration = static_cast<double>(f.length) / l.sftot;
        s.text = f.text;
        s.labeltype = "smp";
        r.push_back(std::move(s));
    }
    std::stable_sort(r.begin(), r.end(), [](const tsiglabel& a, const tsiglabel& b) { return a.time < b.time; });
    return r;
}

void TSMPfile::add_label(const std::string& labelstr) {
    const std::string s = smp_trim(smp_one_line(labelstr));
    if (fexternallabels) {
        fextlabels.push_back(s);
        return;
    }
    std::vector<std::int64_t> used;
    for (const auto& it : fitems) {
        const std::int64_t n = smp_label_number(it.key);
        if (n >= 1) used.push_back(n);
    }
    std::sort(used.begin(), used.end());
    std::int64_t next = 1;
    for (std::int64_t n : used) {
        if (n == next) ++next;
        else if (n > next) break;
    }
    put_item("L" + std::to_string(next), cut_chars(s, maxvaluelength));
}

void TSMPfile::add_label(double start_s, double length_s, const std::string& text) {
    const tlayout& l = usable_layout();
    if (!std::isfinite(start_s) || !std::isfinite(length_s) || start_s < 0 || length_s < 0)
        throw ESMPfileError("A label needs a start and a length of 0 seconds or more");
    const double scanlen = static_cast<double>(l.slots.size());
    const double perscan = l.sftot / scanlen;  // scans per second
    const auto start = static_cast<long long>(std::llround(start_s * perscan)) * static_cast<long long>(scanlen);
    const auto length = static_cast<long long>(std::llround(length_s * perscan)) * static_cast<long long>(scanlen);
    add_label(std::to_string(start) + "," + std::to_string(length) + "," + text);
}

void TSMPfile::clear_labels() {
    std::erase_if(fitems, [](const tsmpitem& it) { return smp_label_number(it.key) >= 1; });
    fextlabels.clear();
    items_changed();
}

void TSMPfile::move_labels_to_list() {
    for (std::size_t i : label_items()) fextlabels.push_back(fitems[i].value);
    std::erase_if(fitems, [](const tsmpitem& it) { return smp_label_number(it.key) >= 1; });
    items_changed();
}

void TSMPfile::move_list_to_labels() {
    std::vector<std::string> list;
    list.swap(fextlabels);
    fexternallabels = false;
    for (const auto& s : list) add_label(s);
}

void TSMPfile::SetExternalLabels(bool v) {
    if (v) {
        move_labels_to_list();
        fexternallabels = true;
    } else {
        move_list_to_labels();
    }
}

std::string TSMPfile::default_csv_name(const std::string& smpname) const {
    fs::path p(smpname);
    p.replace_extension(".csv");
    return p.string();
}

std::string TSMPfile::resolve_label_file(const std::string& value) const {
    std::error_code ec;
    const fs::path dir = fs::path(ffilename).parent_path();
    auto usable = [&](const fs::path& p) { return !p.empty() && fs::is_regular_file(p, ec); };
    // The name as written, then (for names written on another system) its
    // last component next to the .smp file, in any letter case.
    const fs::path asis(value);
    if (asis.is_absolute() ? usable(asis) : usable(dir / asis)) return (asis.is_absolute() ? asis : dir / asis).string();
    const std::string leaf = name_part(value);
    const std::string fallback = fs::path(default_csv_name(ffilename)).filename().string();
    for (const std::string& want : {leaf, fallback}) {
        if (want.empty()) continue;
        if (usable(dir / want)) return (dir / want).string();
        fs::directory_iterator itr(dir.empty() ? fs::path(".") : dir, ec), end;
        for (int guard = 0; !ec && itr != end && guard < 100000; itr.increment(ec), ++guard)
            if (smp_same_key(itr->path().filename().string(), want) && usable(itr->path())) return itr->path().string();
    }
    return "";
}

bool TSMPfile::load_label_file(const std::string& name, bool required) {
    std::FILE* f = fops->open(name, "rb");
    if (!f) {
        if (required) fwarnings.push_back("Cannot read the label file " + name + "\r" + errno_text(errno));
        return false;
    }
    const std::int64_t size = fops->size(f);
    // Far more than any label list; protects against a device or a huge wrong file.
    constexpr std::int64_t maxsize = std::int64_t(1) << 28;
    if (size < 0 || size > maxsize) {
        fops->close(f);
        fwarnings.push_back("The label file " + name + " is too large to be a label file");
        return false;
    }
    std::string bytes(static_cast<std::size_t>(size), '\0');
    const std::size_t got = fops->read_at(f, 0, bytes.data(), bytes.size());
    fops->close(f);
    bytes.resize(got);
    std::string line;
    bool first = true;
    auto finish = [&] {
        std::string text = smp_trim(cp437_to_utf8(line));
        line.clear();
        if (first) {  // the .smp file's name
            first = false;
            return;
        }
        if (text.empty()) return;
        // Lines are in the item form "L7=..." (as written here) or plain fields.
        const std::size_t eq = text.find('=');
        if (eq != std::string::npos && smp_label_number(smp_trim(text.substr(0, eq))) >= 0)
            text = smp_trim(text.substr(eq + 1));
        fextlabels.push_back(std::move(text));
    };
    for (char c : bytes) {
        if (c == '\n' || c == 0 || c == 26) finish();
        else if (c != '\r' && c != 4) line += c;
    }
    if (!line.empty()) finish();
    return true;
}

// ---------------------------------------------------------------- channels

std::string TSMPfile::Getchannelname(int channo) const {
    std::string s = get_item("channel" + std::to_string(channo), "");
    if (s.empty()) s = get_item("ch" + std::to_string(channo), "");
    return s.empty() ? "Channel " + std::to_string(channo) : s;
}

void TSMPfile::Setchannelname(int channo, const std::string& name) { set_item("channel" + std::to_string(channo), name); }

std::string TSMPfile::Getchannelunit(int channo) const {
    std::string v = get_item("view" + std::to_string(channo), "");
    if (v.empty()) v = get_item("view", "");
    double lo = 0, hi = 0;
    std::string unit;
    parse_smp_pair(v, lo, hi, unit);
    return unit;
}

void TSMPfile::Getview(int channo, double& lo, double& hi) const {
    std::string v = get_item("view" + std::to_string(channo), "");
    if (v.empty()) v = get_item("view", "");
    std::string unit;
    if (!parse_smp_pair(v, lo, hi, unit)) {
        lo = defViewLo;
        hi = defViewHi;
    }
}

void TSMPfile::Setview(int channo, double lo, double hi, const std::string& unit) {
    if (!std::isfinite(lo) || !std::isfinite(hi) || !(hi > lo))
        throw ESMPfileError("A view needs two finite numbers, the first below the second");
    const std::string u = smp_trim(unit);
    set_item("view" + std::to_string(channo), format_significant_file(fnviewdigits, lo) + "," +
                                                   format_significant_file(fnviewdigits, hi) +
                                                   (u.empty() ? "" : "," + u));
}

void TSMPfile::Getrange(int channo, double& lo, double& hi) const {
    std::string key = "range" + std::to_string(channo);
    std::string v = get_item(key, "");
    if (v.empty()) v = get_item(key = "range", "");
    if (v.empty()) {
        lo = defRangeLo;
        hi = defRangeHi;
        return;
    }
    // The range scales every sample: one that cannot be read is not
    // replaced by a guess.
    std::string rest;
    if (!parse_smp_pair(v, lo, hi, rest))
        throw ESMPfileError("The item " + key + "=" + v + " of " + ffilename +
                            " is no range: it needs two finite numbers, the first below the second");
}

void TSMPfile::Setrange(int channo, double lo, double hi) {
    if (!std::isfinite(lo) || !std::isfinite(hi) || !(hi > lo))
        throw ESMPfileError("A range needs two finite numbers, the first below the second");
    // Full precision: the range is the scale of every sample.
    set_item("range" + std::to_string(channo), float_to_text(lo) + "," + float_to_text(hi));
}

double TSMPfile::Getfsd(int channo) const {
    double lo = 0, hi = 0;
    Getrange(channo, lo, hi);
    return std::max(std::fabs(lo), std::fabs(hi));
}

void TSMPfile::set_channel(int channo, const std::string& name, const std::string& unit, double fsd) {
    if (!std::isfinite(fsd) || fsd <= 0) throw ESMPfileError("The full scale of a channel must be a positive number");
    Setchannelname(channo, name);
    Setview(channo, -fsd, fsd, unit);
    Setrange(channo, -fsd, fsd);
}

double TSMPfile::Getsampfreq(int channo) const {
    check_channel(channo);
    const tlayout& l = layout();
    return l.sftot * static_cast<double>(l.chanslots[channo].size()) / static_cast<double>(l.slots.size());
}

std::int64_t TSMPfile::Getnsamples(int channo) const {
    check_channel(channo);
    const tlayout& l = layout();
    const auto scanlen = static_cast<std::int64_t>(l.slots.size());
    const std::int64_t values = data_values();
    const std::int64_t rest = values % scanlen;
    std::int64_t n = values / scanlen * static_cast<std::int64_t>(l.chanslots[channo].size());
    for (int pos : l.chanslots[channo])
        if (pos < rest) ++n;
    return n;
}

bool TSMPfile::calibration_suspect() const {
    const std::string calib = get_item("calib", "");
    const std::string flag = smp_trim(calib.substr(0, calib.find_first_of(",; \t")));
    return get_item("dBgain", "-") != "0.00" && flag == "1" && get_item("proc0", "").rfind("Kelp", 0) == 0;
}

// ---------------------------------------------------------------- samples

void TSMPfile::read_channel_raw(int channo, tsmallintarr& arr) {
    check_channel(channo);
    if (!fisopen || !ffile) throw ESMPfileError("No file is open");
    const tlayout& l = layout();
    const auto scanlen = static_cast<std::int64_t>(l.slots.size());
    const std::vector<int>& mine = l.chanslots[channo];
    const std::int64_t n = Getnsamples(channo);
    const std::int64_t values = data_values();
    arr.assign(static_cast<std::size_t>(n), 0);
    const std::int64_t blockscans = std::max<std::int64_t>(1, fchunknsamples / scanlen);
    std::vector<std::uint8_t> buf;
    std::int64_t done = 0;
    for (std::int64_t scan0 = 0; done < n; scan0 += blockscans) {
        const std::int64_t first = scan0 * scanlen;
        const std::int64_t count = std::min(blockscans * scanlen, values - first);
        buf.resize(static_cast<std::size_t>(count * 2));
        if (fops->read_at(ffile, fheadoffset + first * 2, buf.data(), buf.size()) != buf.size())
            throw ESMPfileError("Error reading file " + ffilename + ": it is shorter than when it was opened");
        for (std::int64_t s = 0; s * scanlen < count && done < n; ++s)
            for (int pos : mine) {
                const std::int64_t at = s * scanlen + pos;
                if (at >= count || done >= n) break;
                arr[static_cast<std::size_t>(done++)] = static_cast<std::int16_t>(load16(&buf[at * 2], l.msbfirst));
            }
    }
}

void TSMPfile::read_channel(int channo, tsinglearr& arr) {
    tsmallintarr raw;
    read_channel_raw(channo, raw);
    double lo = 0, hi = 0;
    Getrange(channo, lo, hi);
    const double mid = (lo + hi) / 2, step = (hi - lo) / 65536;
    arr.resize(raw.size());
    for (std::size_t i = 0; i < raw.size(); ++i) arr[i] = static_cast<float>(mid + raw[i] * step);
}

void TSMPfile::write_channel(int channo, const tsinglearr& arr, bool dither) {
    check_channel(channo);
    double lo = 0, hi = 0;
    Getrange(channo, lo, hi);
    const double mid = (lo + hi) / 2, scale = 65536 / (hi - lo);
    auto uniform = [this] {
        // splitmix64: small, fast and the same on every platform.
        std::uint64_t z = (fditherstate += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return static_cast<double>((z ^ (z >> 31)) >> 11) * 0x1.0p-53;
    };
    tsmallintarr raw(arr.size());
    for (std::size_t i = 0; i < arr.size(); ++i) {
        double x = (static_cast<double>(arr[i]) - mid) * scale;
        if (std::isnan(x)) x = 0;
        if (dither) {
            x = std::clamp(x, -32766.0, 32765.0);
            x += uniform() - uniform();
        } else {
            x = std::clamp(x, -32768.0, 32767.0);
        }
        raw[i] = static_cast<std::int16_t>(std::lround(x));
    }
    write_channel_raw(channo, raw);
}

void TSMPfile::write_channel_raw(int channo, const tsmallintarr& arr) {
    check_channel(channo);
    if (!fisopen) throw ESMPfileError("No file is open");
    if (arr.empty()) return;
    ensure_working_copy();
    const tlayout& l = layout();
    const auto scanlen = static_cast<std::int64_t>(l.slots.size());
    const std::vector<int>& mine = l.chanslots[channo];
    const auto k = static_cast<std::int64_t>(mine.size());
    const auto n = static_cast<std::int64_t>(arr.size());
    const std::int64_t values = data_values();
    const std::int64_t lastscan = (n - 1) / k;
    const std::int64_t required = lastscan * scanlen + mine[(n - 1) % k] + 1;
    // Growing, the file gets whole scans; the other channels' new slots are 0.
    const std::int64_t newvalues = required > values ? (lastscan + 1) * scanlen : values;
    const std::int64_t blockscans = std::max<std::int64_t>(1, fchunknsamples / scanlen);
    std::vector<std::uint8_t> buf;
    std::int64_t idx = 0;
    for (std::int64_t scan0 = 0; scan0 <= lastscan; scan0 += blockscans) {
        const std::int64_t first = scan0 * scanlen;
        const std::int64_t end = std::min(std::min(scan0 + blockscans, lastscan + 1) * scanlen, newvalues);
        const std::int64_t existing = std::clamp<std::int64_t>(values - first, 0, end - first);
        buf.assign(static_cast<std::size_t>((end - first) * 2), 0);
        if (existing > 0 && fops->read_at(ffile, fheadoffset + first * 2, buf.data(), static_cast<std::size_t>(existing * 2)) !=
                                static_cast<std::size_t>(existing * 2))
            throw ESMPfileError("Error reading file " + ffilename + ": it is shorter than when it was opened");
        for (std::int64_t s = scan0; s * scanlen < end && idx < n; ++s)
            for (int pos : mine) {
                const std::int64_t at = s * scanlen + pos - first;
                if (idx >= n || at >= end - first) break;
                store16(&buf[static_cast<std::size_t>(at * 2)], arr[static_cast<std::size_t>(idx++)], l.msbfirst);
            }
        errno = 0;
        if (fops->write_at(ffile, fheadoffset + first * 2, buf.data(), buf.size()) != buf.size())
            throw ESMPfileError("Error writing the samples of " + ffilename + "\r" + errno_text(errno));
    }
    if (newvalues * 2 > fdatabytes) fdatabytes = newvalues * 2;
}

// ---------------------------------------------------------------- files

void TSMPfile::release_file() {
    if (ffile) fops->close(ffile);
    ffile = nullptr;
}

void TSMPfile::discard_working_copy() {
    if (!fworkname.empty()) fops->remove(fworkname);
    fworkname.clear();
}

void TSMPfile::close_file() {
    release_file();
    discard_working_copy();
    fisopen = false;
    freadonly = false;
    fheadoffset = 0;
    fdatabytes = 0;
}

bool TSMPfile::fail_open(const std::string& why) {
    close_file();
    clear();
    fopenerror = "Cannot use file " + ffilename + "\r" + why;
    return false;
}

bool TSMPfile::fail_save(const std::string& why) {
    fsaveerror = "Could not save file " + why;
    return false;
}

bool TSMPfile::open_file(const std::string& fname, bool rdonly) {
    close_file();
    clear();
    fopenerror.clear();
    fwarnings.clear();
    fcsvatopen.clear();
    ffilename = fname;
    fcsvfilename = default_csv_name(fname);
    std::error_code ec;
    if (fs::is_directory(fname, ec)) return fail_open("It is a folder");
    errno = 0;
    std::FILE* f = fops->open(fname, "rb");
    if (!f) return fail_open(errno_text(errno));
    ffile = f;
    const std::int64_t fsize = fops->size(f);
    if (fsize < 0) return fail_open("Its size cannot be determined");
    std::fill(headarr.begin(), headarr.end(), 0);
    const std::size_t n = fops->read_at(f, 0, headarr.data(), static_cast<std::size_t>(std::min<std::int64_t>(fsize, maxheadsize)));
    if (n == 0) return fail_open("The file is empty");

    tsmpparsed parsed = parse_smp_header(headarr.data(), n);
    fitems = std::move(parsed.items);
    fcomment = std::move(parsed.comments);
    validate_items();
    const std::string headtext = get_item("head", std::to_string(defheadsize));
    long long head = 0;
    if (!parse_count(headtext, head)) return fail_open("The header size " + quoted(headtext) + " is not a number");
    if (head <= 0 || head % 2 != 0 || head > maxheadsize)
        return fail_open("The header size " + headtext + " is not valid: it must be even and at most " +
                         std::to_string(maxheadsize) + " bytes");
    if (head > fsize)
        return fail_open("The header (" + std::to_string(head) + " bytes) is longer than the file (" +
                         std::to_string(fsize) + " bytes)");
    if (static_cast<long long>(parsed.end) > head)
        return fail_open("The header text runs past the header size of " + std::to_string(head) + " bytes");
    if (const std::string& why = layout().error; !why.empty()) return fail_open(why);

    fheadoffset = head;
    fdatabytes = fsize - head;
    foriginalheadsize = head;
    fisopen = true;
    freadonly = rdonly;

    fexternallabels = false;
    const std::string labelsitem = get_item("labels", "");
    if (!labelsitem.empty()) {
        fexternallabels = true;
        move_labels_to_list();  // stray "L" items join the label file's labels
        std::vector<std::string> fromitems;
        fromitems.swap(fextlabels);
        const std::string csv = resolve_label_file(labelsitem);
        if (csv.empty()) {
            fwarnings.push_back("The label file " + labelsitem + " was not found");
        } else if (load_label_file(csv, true)) {
            fcsvfilename = csv;
            fcsvatopen = csv;
        }
        fextlabels.insert(fextlabels.end(), fromitems.begin(), fromitems.end());
    }
    const int nl = nlabels();
    for (int i = 0; i < nl; ++i)
        if (!parse_smp_label(label_string(i)).valid())
            fwarnings.push_back("Label " + std::to_string(i + 1) + " " + quoted(label_string(i)) +
                                " has no valid start and length");
    return true;
}

void TSMPfile::new_file(const std::string& fname) {
    close_file();
    clear();
    fwarnings.clear();
    fcsvatopen.clear();
    if (!foverwrite && fops->exists(fname)) throw ESMPfileError("File " + fname + " already exists");
    const int head = defheadsize > 0 && defheadsize % 2 == 0 && defheadsize <= maxheadsize ? defheadsize : 1024;
    put_item("head", std::to_string(head));
    std::string tmp;
    std::FILE* f = create_temporary(*fops, fname, tmp);
    if (!f) throw ESMPfileError("Cannot create file \r" + fname + "\r" + errno_text(errno));
    std::vector<std::uint8_t> image = build_smp_header(fitems, fcomment);
    image.resize(static_cast<std::size_t>(head), 0);
    errno = 0;
    if (fops->write_at(f, 0, image.data(), image.size()) != image.size()) {
        const int code = errno;
        fops->close(f);
        fops->remove(tmp);
        throw ESMPfileError("Cannot create file \r" + fname + "\r" + errno_text(code));
    }
    ffile = f;
    fworkname = tmp;
    ffilename = fname;
    fcsvfilename = default_csv_name(fname);
    fheadoffset = head;
    fdatabytes = 0;
    foriginalheadsize = head;
    fisopen = true;
    freadonly = false;
}

bool TSMPfile::copy_bytes(std::FILE* from, std::int64_t frompos, std::FILE* to, std::int64_t topos, std::int64_t n) {
    std::vector<std::uint8_t> buf(static_cast<std::size_t>(std::min<std::int64_t>(n, 1 << 20)));
    while (n > 0) {
        const auto chunk = static_cast<std::size_t>(std::min<std::int64_t>(n, static_cast<std::int64_t>(buf.size())));
        if (fops->read_at(from, frompos, buf.data(), chunk) != chunk) return false;
        if (fops->write_at(to, topos, buf.data(), chunk) != chunk) return false;
        frompos += static_cast<std::int64_t>(chunk);
        topos += static_cast<std::int64_t>(chunk);
        n -= static_cast<std::int64_t>(chunk);
    }
    return true;
}

void TSMPfile::ensure_working_copy() {
    if (!fworkname.empty()) return;
    if (freadonly) throw ESMPfileError("File " + ffilename + " was opened read-only");
    std::string tmp;
    std::FILE* f = create_temporary(*fops, ffilename, tmp);
    if (!f) throw ESMPfileError("Cannot create a working copy of " + ffilename + "\r" + errno_text(errno));
    errno = 0;
    if (!copy_bytes(ffile, 0, f, 0, fheadoffset + fdatabytes) || !fops->flush(f)) {
        const int code = errno;
        fops->close(f);
        fops->remove(tmp);
        throw ESMPfileError("Cannot create a working copy of " + ffilename + "\r" + errno_text(code));
    }
    release_file();
    ffile = f;
    fworkname = tmp;
}

bool TSMPfile::write_label_file(const std::string& csvname, const std::string& smpname, std::string& tmpname) {
    std::FILE* f = create_temporary(*fops, csvname, tmpname);
    if (!f) return false;
    std::string text = utf8_to_cp437(smp_one_line(name_part(smpname))) + "\r\n";
    // Each line in the item form "L"N"=start,length,text", N counting from 1.
    for (std::size_t i = 0; i < fextlabels.size(); ++i)
        text += "L" + std::to_string(i + 1) + "=" + utf8_to_cp437(smp_one_line(fextlabels[i])) + "\r\n";
    errno = 0;
    const bool ok = fops->write_at(f, 0, text.data(), text.size()) == text.size() && fops->flush(f);
    const int code = errno;
    if (!fops->close(f) || !ok) {
        fops->remove(tmpname);
        errno = code;
        return false;
    }
    return true;
}

bool TSMPfile::save_file(const std::string& fname) {
    fsaveerror.clear();
    const std::string target = fname.empty() ? ffilename : fname;
    if (target.empty()) return fail_save(": no file name was given");
    const bool sametarget = fisopen && same_path(target, ffilename);
    if (freadonly && sametarget) return fail_save(target + "\rIt was opened read-only");
    if (const std::string& why = layout().error; !why.empty()) return fail_save(target + "\r" + why);

    // Labels: in the label file when wanted and there are any, else as items.
    const bool csvlabels = fexternallabels && !fextlabels.empty();
    std::string csvname;
    if (csvlabels) {
        csvname = sametarget && !fcsvatopen.empty() ? fcsvatopen : default_csv_name(target);
        // A header naming the .smp file itself as its label file, or an .smp
        // file called ".csv", must not have its samples replaced by labels.
        if (same_path(csvname, target)) csvname = default_csv_name(target);
        if (same_path(csvname, target)) csvname = target + ".csv";
        const bool nextto = fs::path(csvname).parent_path() == fs::path(target).parent_path();
        put_item("labels", fuseshortcsvpathname && nextto ? name_part(csvname) : csvname);
    } else {
        erase_items("labels");
    }
    validate_items();

    // The header grows in whole scans from its size at opening, so that the
    // samples keep their place within the scan.
    long long base = 0;
    if (!parse_count(get_item("head", ""), base) || base <= 0 || base % 2 != 0 || base > maxheadsize)
        base = foriginalheadsize > 0 ? foriginalheadsize : defheadsize;
    const int scanlen = static_cast<int>(layout().slots.size());
    std::int64_t size = base;
    std::vector<std::uint8_t> image;
    for (int pass = 0; pass < 8; ++pass) {
        put_item("head", std::to_string(size));
        image = build_smp_header(fitems, fcomment);
        if (static_cast<std::int64_t>(image.size()) <= size) break;
        size = grown_smp_header_size(base, static_cast<std::int64_t>(image.size()), scanlen);
    }
    if (static_cast<std::int64_t>(image.size()) > size || size > maxheadsize) {
        put_item("head", std::to_string(base));
        return fail_save(target + "\rThe header needs " + std::to_string(image.size()) + " bytes; an SMP header holds at most " +
                         std::to_string(maxheadsize) + (fexternallabels ? "" : ". Labels can be kept in a label file instead"));
    }
    std::fill(headarr.begin(), headarr.end(), 0);
    std::copy(image.begin(), image.end(), headarr.begin());
    image.resize(static_cast<std::size_t>(size), 0);

    // 1. Complete every new file under a temporary name.
    const bool inplace = !fworkname.empty() && sametarget && size == fheadoffset;
    std::string smptmp, csvtmp;
    errno = 0;
    if (inplace) {
        if (fops->write_at(ffile, 0, image.data(), image.size()) != image.size() || !fops->flush(ffile))
            return fail_save(target + "\r" + errno_text(errno));
        smptmp = fworkname;
    } else {
        std::FILE* t = create_temporary(*fops, target, smptmp);
        if (!t) return fail_save(target + "\rCannot create a temporary file next to it\r" + errno_text(errno));
        bool ok = fops->write_at(t, 0, image.data(), image.size()) == image.size();
        if (ok && ffile && fdatabytes > 0) ok = copy_bytes(ffile, fheadoffset, t, size, fdatabytes);
        ok = ok && fops->flush(t);
        const int code = errno;
        if (!fops->close(t) || !ok) {
            fops->remove(smptmp);
            return fail_save(target + "\r" + errno_text(code));
        }
    }
    if (csvlabels && !write_label_file(csvname, target, csvtmp)) {
        const int code = errno;
        if (!inplace) fops->remove(smptmp);
        return fail_save(target + "\rThe label file " + csvname + " cannot be written\r" + errno_text(code));
    }

    // 2. Put them in place together.
    if (inplace) release_file();
    tsafereplace replace(*fops);
    if (csvlabels) replace.add(csvtmp, csvname);
    replace.add(smptmp, target, inplace);
    if (!replace.commit()) {
        if (inplace) {
            // The working copy is still whole under its own name: keep working on it.
            ffile = fops->open(fworkname, "r+b");
            if (!ffile) {
                fworkname.clear();
                close_file();
            }
        }
        return fail_save(target + "\r" + replace.error());
    }
    for (const auto& l : replace.leftovers())
        fwarnings.push_back("The old copy " + l.name + " could not be deleted");

    // 3. Go on with the saved file, read-only until samples are written again.
    if (!inplace) discard_working_copy();
    fworkname.clear();
    release_file();
    if (!csvlabels && ferasecsvfile && sametarget && !fcsvatopen.empty()) fops->remove(fcsvatopen);
    fcsvatopen = csvlabels ? csvname : "";
    fcsvfilename = csvlabels ? csvname : default_csv_name(target);
    ffilename = target;
    foriginalheadsize = size;
    fheadoffset = size;
    freadonly = false;
    ffile = fops->open(target, "rb");
    const std::int64_t fsize = ffile ? fops->size(ffile) : -1;
    fisopen = fsize >= size;
    fdatabytes = fisopen ? fsize - size : 0;
    if (!fisopen) release_file();
    return true;
}

}  // namespace tessal
