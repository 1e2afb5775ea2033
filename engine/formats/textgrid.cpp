#include "engine/formats/textgrid.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <limits>

#include "engine/core/tchannel.h"
#include "engine/dsp/numformat.h"

namespace tessal {

namespace {

std::string quoted(const std::string& s) {
    std::string r = "\"";
    for (char c : s) {
        if (c == '"') r += '"';
        r += c;
    }
    return r + "\"";
}

std::string num(double v) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.17g", v);
    return buf;
}

void append_utf8(std::string& out, unsigned cp) {
    if (cp < 0x80) out += static_cast<char>(cp);
    else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::string to_utf8(const std::string& b) {
    if (b.size() >= 3 && b.compare(0, 3, "\xEF\xBB\xBF") == 0) return b.substr(3);
    if (b.size() < 2) return b;
    const bool le = b[0] == '\xFF' && b[1] == '\xFE', be = b[0] == '\xFE' && b[1] == '\xFF';
    if (!le && !be) return b;
    std::string out;
    auto unit = [&](std::size_t i) {
        const unsigned a = static_cast<unsigned char>(b[i]), c = static_cast<unsigned char>(b[i + 1]);
        return le ? a | (c << 8) : (a << 8) | c;
    };
    for (std::size_t i = 2; i + 1 < b.size(); i += 2) {
        unsigned cp = unit(i);
        if (cp >= 0xD800 && cp < 0xDC00 && i + 3 < b.size()) {
            const unsigned lo = unit(i + 2);
            if (lo >= 0xDC00 && lo < 0xE000) {
                cp = 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00);
                i += 2;
            }
        }
        append_utf8(out, cp);
    }
    return out;
}

struct ttoken {
    bool string = false;
    std::string text;
    double value = 0;
};

// Quoted strings and numbers, in order; keys, "=", "<exists>", flags and
// bracketed indices ("item [1]:") are left out.
std::vector<ttoken> tokens(const std::string& s) {
    std::vector<ttoken> out;
    std::size_t i = 0;
    while (i < s.size()) {
        const char c = s[i];
        if (c == '"') {
            std::string t;
            ++i;
            for (;;) {
                if (i >= s.size()) throw ETextGridError("Unterminated text in the TextGrid file");
                if (s[i] == '"') {
                    if (i + 1 < s.size() && s[i + 1] == '"') {
                        t += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                t += s[i++];
            }
            out.push_back({true, t, 0});
        } else if (c == '[') {
            while (i < s.size() && s[i] != ']') ++i;
            ++i;
        } else if (c == '!') {  // comment to the end of the line
            while (i < s.size() && s[i] != '\n') ++i;
        } else if (std::isdigit(static_cast<unsigned char>(c)) || c == '-' || c == '+' || c == '.') {
            std::size_t j = i;
            while (j < s.size() && !std::isspace(static_cast<unsigned char>(s[j]))) ++j;
            // A number that cannot be read stays in its place as no number,
            // for the field it stands in to refuse; dropped, it would shift
            // every later number into another field.
            double v = std::numeric_limits<double>::quiet_NaN();
            if (!try_parse_float(s.substr(i, j - i), v)) v = std::numeric_limits<double>::quiet_NaN();
            out.push_back({false, "", v});
            i = j;
        } else if (std::isalpha(static_cast<unsigned char>(c))) {
            // The words of the long form are skipped, but the words that
            // stand for a number that is none take a number's place.
            std::size_t j = i;
            while (j < s.size() && std::isalpha(static_cast<unsigned char>(s[j]))) ++j;
            std::string w = s.substr(i, j - i);
            for (char& ch : w) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
            if (w == "nan" || w == "inf" || w == "infinity" || w == "undefined")
                out.push_back({false, "", std::numeric_limits<double>::quiet_NaN()});
            i = j;
        } else {
            ++i;
        }
    }
    return out;
}

}  // namespace

std::string textgrid_text(const std::vector<ttextgridchannel>& channels, double xmin, double xmax) {
    struct ttier {
        std::string name;
        bool points;
        std::vector<tsiglabel> items;
    };
    std::vector<ttier> tiers;
    for (const ttextgridchannel& ch : channels) {
        ttier iv{ch.name, false, {}}, pt{ch.name + " points", true, {}};
        double at = xmin;
        tsiglabels sorted = ch.labels;
        std::sort(sorted.begin(), sorted.end(),
                  [](const tsiglabel& a, const tsiglabel& b) { return a.time < b.time; });
        for (const tsiglabel& l : sorted) {
            if (l.duration <= 0) {
                if (l.time >= xmin && l.time <= xmax) pt.items.push_back(l);
                continue;
            }
            // Intervals of a tier may not overlap: a later label starts
            // where the one before it ends.
            const double a = std::max(l.time, at), b = std::min(l.time + l.duration, xmax);
            if (!(b > a)) continue;
            if (a > at) {
                tsiglabel gap;
                gap.time = at;
                gap.duration = a - at;
                iv.items.push_back(gap);
            }
            tsiglabel c = l;
            c.time = a;
            c.duration = b - a;
            iv.items.push_back(c);
            at = b;
        }
        if (at < xmax || iv.items.empty()) {
            tsiglabel gap;
            gap.time = at;
            gap.duration = xmax - at;
            iv.items.push_back(gap);
        }
        tiers.push_back(iv);
        if (!pt.items.empty()) tiers.push_back(pt);
    }
    std::string s = "File type = \"ooTextFile\"\nObject class = \"TextGrid\"\n\nxmin = " + num(xmin) +
                    " \nxmax = " + num(xmax) + " \ntiers? <exists> \nsize = " +
                    std::to_string(tiers.size()) + " \nitem []: \n";
    for (std::size_t t = 0; t < tiers.size(); ++t) {
        const ttier& tr = tiers[t];
        s += "    item [" + std::to_string(t + 1) + "]:\n";
        s += std::string("        class = ") + (tr.points ? "\"TextTier\"" : "\"IntervalTier\"") + " \n";
        s += "        name = " + quoted(tr.name) + " \n";
        s += "        xmin = " + num(xmin) + " \n        xmax = " + num(xmax) + " \n";
        s += std::string("        ") + (tr.points ? "points" : "intervals") +
             ": size = " + std::to_string(tr.items.size()) + " \n";
        for (std::size_t k = 0; k < tr.items.size(); ++k) {
            const tsiglabel& l = tr.items[k];
            s += std::string("        ") + (tr.points ? "points" : "intervals") + " [" +
                 std::to_string(k + 1) + "]:\n";
            if (tr.points) {
                s += "            number = " + num(l.time) + " \n";
                s += "            mark = " + quoted(l.text) + " \n";
            } else {
                s += "            xmin = " + num(l.time) + " \n";
                s += "            xmax = " + num(l.time + l.duration) + " \n";
                s += "            text = " + quoted(l.text) + " \n";
            }
        }
    }
    return s;
}

void write_text_file(const std::string& text, const std::string& filename, tfileops& ops) {
    write_whole_file(text.data(), text.size(), filename, ops);
}

std::vector<ttextgridtier> parse_textgrid(const std::string& bytes) {
    const std::vector<ttoken> tk = tokens(to_utf8(bytes));
    std::size_t i = 0;
    auto str = [&]() -> const std::string& {
        if (i >= tk.size() || !tk[i].string) throw ETextGridError("Damaged TextGrid file");
        return tk[i++].text;
    };
    // A number where one belongs; "nan" and "inf" are no count, time or
    // size, so they are refused with the field they stand for.
    auto val = [&](const char* field) {
        if (i >= tk.size() || tk[i].string) throw ETextGridError("Damaged TextGrid file");
        const double v = tk[i++].value;
        if (!std::isfinite(v))
            throw ETextGridError(std::string("Damaged TextGrid file: the ") + field + " is not a number");
        return v;
    };
    if (tk.size() < 2 || !tk[0].string || tk[0].text != "ooTextFile" || !tk[1].string ||
        tk[1].text != "TextGrid")
        throw ETextGridError("Not a TextGrid file");
    i = 2;
    val("start time");
    val("end time");
    const double n = val("tier count");
    if (n < 0 || n > 1e6) throw ETextGridError("Damaged TextGrid file: the tier count is out of range");
    std::vector<ttextgridtier> tiers;
    for (int t = 0; t < static_cast<int>(n); ++t) {
        ttextgridtier tier;
        const std::string cls = str();
        if (cls != "IntervalTier" && cls != "TextTier")
            throw ETextGridError("Unknown tier class \"" + cls + "\" in the TextGrid file");
        tier.points = cls == "TextTier";
        tier.name = str();
        val("tier start time");
        val("tier end time");
        const double m = val("label count");
        if (m < 0 || m > 1e8 || m > static_cast<double>(tk.size()))
            throw ETextGridError("Damaged TextGrid file: the label count of tier \"" + tier.name + "\" is out of range");
        for (int k = 0; k < static_cast<int>(m); ++k) {
            tsiglabel l;
            l.time = val("label time");
            if (!tier.points) l.duration = val("label end time") - l.time;
            l.text = str();
            if (!l.text.empty()) tier.labels.push_back(l);
        }
        tiers.push_back(std::move(tier));
    }
    return tiers;
}

void add_labels(tchannel& ch, const tsiglabels& list) {
    if (list.empty()) return;
    ch.labels.reserve(ch.labels.size() + list.size());
    for (std::size_t i = 0; i + 1 < list.size(); ++i) {
        tsiglabel l = list[i];
        l.newtime = l.newduration = 0;
        l.selected = l.moving = l.playlabel = false;
        ch.labels.push_back(std::move(l));
    }
    ch.add_label(list.back());  // sorts once and marks the document modified
}

}  // namespace tessal
