// The rows of the known file formats (see formatregistry.h).
#include "engine/formats/formatregistry.h"

#include <algorithm>
#include <cctype>

#include "engine/formats/saveformats.h"

namespace tessal {

const std::vector<tfileformat>& file_formats() {
    static const std::vector<tfileformat> rows = [] {
        tformatcaps wav;  // one rate, many codings; an ".epg" sidecar is read, never written
        wav.codings = true;
        tformatcaps smp;  // one rate, 16-bit samples with FSD, units and labels
        smp.labels = true;
        smp.calibration = true;
        tformatcaps tessal;  // the whole document
        tessal.mixed_rates = tessal.labels = tessal.notes = tessal.calibration = tessal.epg = true;
        tformatcaps orlet;  // recordings of another program, read only
        orlet.writable = false;
        return std::vector<tfileformat>{
            {".wav", "Wave files (*.wav)|*.wav", tfilekind::wav, wav},
            {".smp", "Merivox files (*.smp)|*.smp", tfilekind::smp, smp},
            {".tessal", "Tessal files (*.tessal)|*.tessal", tfilekind::tessal, tessal},
            {".orlet", "Orlet files (*.orlet)|*.orlet", tfilekind::orlet, orlet},
        };
    }();
    return rows;
}

const tfileformat* format_for_extension(const std::string& ext) {
    for (const tfileformat& f : file_formats())
        if (f.ext == ext) return &f;
    return nullptr;
}

std::string lower_extension(const std::string& path) {
    std::size_t slash = path.find_last_of('/');
    std::size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    std::string e = path.substr(dot);
    std::transform(e.begin(), e.end(), e.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return e;
}

const tfileformat* format_of_path(const std::string& path) {
    return format_for_extension(lower_extension(path));
}

std::string open_filter_text() {
    std::string patterns;
    for (const tsavefilter& r : default_savefilters()) {
        const std::string p = "*" + r.ext;
        if (patterns.find(p + ";") != std::string::npos || patterns.ends_with(p)) continue;
        patterns += (patterns.empty() ? "" : ";") + p;
    }
    std::string s = "All sound files |" + patterns;
    for (const tfileformat& f : file_formats())
        if (f.caps.readable) s += "|" + f.openfilter;
    return s + "|All files (*.*)|*.*";
}

}  // namespace tessal
