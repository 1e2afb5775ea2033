// Parsing and building .smp header text (see smpheader.h).
#include "engine/formats/smpheader.h"

#include <charconv>
#include <cmath>

#include "engine/dsp/numformat.h"
#include "engine/formats/codepage437.h"

namespace tessal {

namespace {

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool is_blank(char c) { return static_cast<unsigned char>(c) <= ' '; }

}  // namespace

bool smp_same_key(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

std::string smp_trim(std::string_view s) {
    std::size_t b = 0, e = s.size();
    while (b < e && is_blank(s[b])) ++b;
    while (e > b && is_blank(s[e - 1])) --e;
    return std::string(s.substr(b, e - b));
}

std::string smp_one_line(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c == 0 || c == 4 || c == 10 || c == 13 || c == 26) c = ' ';
    return out;
}

tsmpparsed parse_smp_header(const std::uint8_t* bytes, std::size_t n) {
    tsmpparsed r;
    bool commentmode = false;
    std::string line;
    auto finish_line = [&] {
        std::string text = smp_trim(cp437_to_utf8(line));
        line.clear();
        if (commentmode) {
            r.comments.push_back(std::move(text));
            return;
        }
        if (text.empty()) return;
        if (text == "=") {
            commentmode = true;
            return;
        }
        const std::size_t eq = text.find('=');
        if (eq == std::string::npos)
            r.items.push_back({text, ""});
        else
            r.items.push_back({smp_trim(std::string_view(text).substr(0, eq)),
                               smp_trim(std::string_view(text).substr(eq + 1))});
    };
    std::size_t i = 0;
    for (; i < n; ++i) {
        const std::uint8_t c = bytes[i];
        if (c == 4 || c == 13) continue;
        if (c == 10) {
            finish_line();
            continue;
        }
        if (c == 0 || c == 26) {
            finish_line();
            r.terminated = true;
            ++i;
            break;
        }
        line += static_cast<char>(c);
    }
    if (!r.terminated && !line.empty()) finish_line();
    // A trailing empty comment line is only the end of the last real one.
    while (!r.comments.empty() && r.comments.back().empty()) r.comments.pop_back();
    r.end = i;
    return r;
}

std::vector<std::uint8_t> build_smp_header(const std::vector<tsmpitem>& items,
                                           const std::vector<std::string>& comments) {
    std::vector<std::uint8_t> out;
    auto put = [&](const std::string& utf8) {
        const std::string oem = utf8_to_cp437(smp_one_line(utf8));
        out.insert(out.end(), oem.begin(), oem.end());
        out.push_back(13);
        out.push_back(10);
    };
    for (const auto& it : items) put(it.key + "=" + it.value);
    put("=");
    for (const auto& c : comments) put(c);
    out.push_back(0);
    out.push_back(4);
    out.push_back(26);
    return out;
}

std::int64_t grown_smp_header_size(std::int64_t base, std::int64_t needed, int scanlength) {
    if (needed <= base) return base;
    const std::int64_t step = 2 * static_cast<std::int64_t>(scanlength > 0 ? scanlength : 1);
    return base + (needed - base + step - 1) / step * step;
}

bool parse_smp_scan(std::string_view text, int maxvalue, std::size_t maxslots, std::vector<int>& slots) {
    slots.clear();
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] < '0' || text[i] > '9') {
            ++i;
            continue;
        }
        long long v = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
            v = v * 10 + (text[i] - '0');
            if (v > maxvalue) return false;
            ++i;
        }
        if (slots.size() >= maxslots) return false;
        slots.push_back(static_cast<int>(v));
    }
    return true;
}

bool parse_smp_pair(std::string_view text, double& lo, double& hi, std::string& rest) {
    rest.clear();
    const std::size_t c1 = text.find(',');
    if (c1 == std::string_view::npos) return false;
    const std::size_t c2 = text.find(',', c1 + 1);
    const std::string_view hitext = text.substr(c1 + 1, c2 == std::string_view::npos ? std::string_view::npos : c2 - c1 - 1);
    if (c2 != std::string_view::npos) rest = smp_trim(text.substr(c2 + 1));
    if (!try_parse_float(smp_trim(text.substr(0, c1)), lo) || !try_parse_float(smp_trim(hitext), hi)) return false;
    return std::isfinite(lo) && std::isfinite(hi) && hi > lo;
}

namespace {

std::int64_t whole_number(std::string_view field) {
    const std::string t = smp_trim(field);
    std::int64_t v = -1;
    auto [p, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
    if (t.empty() || ec != std::errc() || p != t.data() + t.size() || v < 0) return -1;
    return v;
}

}  // namespace

tsmplabelfields parse_smp_label(std::string_view text) {
    tsmplabelfields r;
    const std::size_t s1 = text.find_first_of(",;");
    if (s1 == std::string_view::npos) {
        r.text = smp_trim(text);
        return r;
    }
    const std::size_t s2 = text.find_first_of(",;", s1 + 1);
    r.start = whole_number(text.substr(0, s1));
    if (s2 == std::string_view::npos) {
        r.length = whole_number(text.substr(s1 + 1));
        return r;
    }
    r.length = whole_number(text.substr(s1 + 1, s2 - s1 - 1));
    r.text = smp_trim(text.substr(s2 + 1));
    return r;
}

std::int64_t smp_label_number(std::string_view key) {
    if (key.size() < 2 || key.size() > 10 || lower(key[0]) != 'l') return -1;
    std::int64_t n = 0;
    for (std::size_t i = 1; i < key.size(); ++i) {
        if (key[i] < '0' || key[i] > '9') return -1;
        n = n * 10 + (key[i] - '0');
    }
    return n;
}

}  // namespace tessal
