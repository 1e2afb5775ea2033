#include "engine/settings/codecs.h"

#include <algorithm>
#include <cctype>

namespace tessal {

std::string codec_extension(const std::string& ext) {
    if (ext.empty() || ext.front() == '.') return ext;
    return "." + ext;
}

std::vector<std::string> codec_arguments(const std::string& parameters, const std::string& in,
                                         const std::string& out) {
    std::vector<std::string> words;
    std::string cur;
    bool inword = false;
    char quote = 0;
    for (char c : parameters) {
        if (quote) {
            if (c == quote) quote = 0;
            else cur += c;
        } else if (c == '"' || c == '\'') {
            quote = c;
            inword = true;
        } else if (c == ' ' || c == '\t') {
            if (inword) words.push_back(cur);
            cur.clear();
            inword = false;
        } else {
            cur += c;
            inword = true;
        }
    }
    if (inword) words.push_back(cur);
    // A name that starts with "-" would be read by the program as an option:
    // it goes in as a path from the current folder instead.
    auto name = [](const std::string& n) { return !n.empty() && n.front() == '-' ? "./" + n : n; };
    const std::string inname = name(in), outname = name(out);
    for (std::string& w : words) {
        std::string r;
        for (std::size_t i = 0; i < w.size(); ++i) {
            if (w[i] == '%' && i + 1 < w.size() && (w[i + 1] == 'i' || w[i + 1] == 'o')) {
                r += w[i + 1] == 'i' ? inname : outname;
                ++i;
            } else {
                r += w[i];
            }
        }
        w = r;
    }
    return words;
}

int find_codec(const std::vector<tcodecentry>& codecs, const std::string& filename) {
    auto lower = [](std::string s) {
        std::transform(s.begin(), s.end(), s.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        return s;
    };
    const std::string name = lower(filename);
    for (std::size_t i = 0; i < codecs.size(); ++i) {
        const std::string ext = lower(codec_extension(codecs[i].Extension));
        if (ext.size() > 1 && name.size() > ext.size() &&
            name.compare(name.size() - ext.size(), ext.size(), ext) == 0)
            return static_cast<int>(i);
    }
    return -1;
}

tcodecentry new_codec() { return {"<New codec>", ".xxx", "c:\\program files\\codec.exe", "-d %i %o"}; }

std::vector<tcodecentry> default_codecs() {
    return {{"FLAC (flac)", ".flac", "flac", "-d -s -f -o %o %i"},
            {"MP3 (sox)", ".mp3", "sox", "%i -b 16 %o"},
            {"OGG (sox)", ".ogg", "sox", "%i -b 16 %o"},
            {"FLAC (sox)", ".flac", "sox", "%i %o"}};
}

}  // namespace tessal
