#include "engine/dsp/listtext.h"

#include <algorithm>
#include <cctype>

#include "engine/dsp/numformat.h"

namespace tessal {
namespace {

template <class Pred>
std::vector<std::string> tokens(const std::string& text, Pred intoken) {
    std::vector<std::string> out;
    std::string cur;
    for (char c : text) {
        if (intoken(c)) {
            cur.push_back(c);
        } else if (!cur.empty()) {
            out.push_back(cur);
            cur.clear();
        }
    }
    if (!cur.empty()) out.push_back(cur);
    return out;
}

}  // namespace

std::string intlist_to_text(const tintarr& list) {
    std::string s;
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (i) s += ' ';
        switch (list[i]) {
            case -1: s += 'N'; break;
            case -2: s += 'S'; break;
            case -3: s += 'C'; break;
            default: s += std::to_string(list[i]);
        }
    }
    return s;
}

void text_to_intlist(const std::string& text, tintarr& list) {
    list.clear();
    std::string up = text;
    std::transform(up.begin(), up.end(), up.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    auto toks = tokens(up, [](char c) {
        return c == '+' || c == '-' || (c >= '0' && c <= '9') || c == 'N' || c == 'S' || c == 'C';
    });
    for (const std::string& t : toks) {
        if (t == "N")
            list.push_back(-1);
        else if (t == "S")
            list.push_back(-2);
        else if (t == "C")
            list.push_back(-3);
        else {
            long long v = parse_int(t);
            if (v < INT32_MIN || v > INT32_MAX)
                throw EConvertError("'" + t + "' is not a valid integer value");
            list.push_back(static_cast<std::int32_t>(v));
        }
    }
}

tintarr text_to_intlist(const std::string& text) {
    tintarr list;
    text_to_intlist(text, list);
    return list;
}

std::string reallist_to_text(const tdoublearr& list) {
    std::string s;
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (i) s += ' ';
        s += float_to_text(list[i]);
    }
    return s;
}

tdoublearr text_to_reallist(const std::string& text) {
    tdoublearr out;
    auto toks = tokens(text, [](char c) {
        return c == '+' || c == '-' || (c >= '0' && c <= '9') || c == 'E' || c == 'e' || c == '.';
    });
    for (const std::string& t : toks) out.push_back(parse_float_dot(t));
    return out;
}

}  // namespace tessal
