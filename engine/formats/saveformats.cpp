#include "engine/formats/saveformats.h"

#include <algorithm>

namespace tessal {

std::vector<tsavefilter> default_savefilters() {
    return {
        {"Tessal file 32-bit float(*.tessal)|*.tessal", ".tessal", "tessal32f", true, 32,
         tFormat::ieeefloat},
        {"Merivox file 16-bit (*.smp)|*.smp", ".smp", "smp16i", true, 16, tFormat::pcm},
        {"Wave file 8-bit (*.wav)|*.wav", ".wav", "wav8i", false, 8, tFormat::pcm},
        {"Wave file 8-bit A-law (*.wav)|*.wav", ".wav", "wav8a", false, 8, tFormat::alaw},
        {"Wave file 8-bit mu-law(*.wav)|*.wav", ".wav", "wav8u", false, 8, tFormat::ulaw},
        {"Wave file 16-bit (*.wav)|*.wav", ".wav", "wav16i", true, 16, tFormat::pcm},
        {"Wave file 24-bit (*.wav)|*.wav", ".wav", "wav24i", true, 24, tFormat::pcm},
        {"Wave file 32-bit (*.wav)|*.wav", ".wav", "wav32i", false, 32, tFormat::pcm},
        {"Wave file 16 bit float (*.wav)|*.wav", ".wav", "wav16f", false, 16, tFormat::ieeefloat},
        {"Wave file 32-bit float (*.wav)|*.wav", ".wav", "wav32f", true, 32, tFormat::ieeefloat},
    };
}

std::string savefilter_caption(const tsavefilter& row) {
    return row.filterstr.substr(0, row.filterstr.find('|'));
}

std::string savefilter_text(const std::vector<tsavefilter>& rows) {
    std::string s;
    for (const tsavefilter& r : rows) {
        if (!r.used) continue;
        if (!s.empty()) s += "|";
        s += r.filterstr;
    }
    return s;
}

const tsavefilter* used_savefilter(const std::vector<tsavefilter>& rows, int index) {
    int k = 0;
    for (const tsavefilter& r : rows) {
        if (!r.used) continue;
        if (k++ == index) return &r;
    }
    return nullptr;
}

const tsavefilter* saveformat_row(const std::vector<tsavefilter>& rows, int saveformat) {
    int used = 0;
    for (const tsavefilter& r : rows) used += r.used ? 1 : 0;
    if (used == 0) return nullptr;
    return used_savefilter(rows, std::clamp(saveformat, 1, used) - 1);
}

const tsavefilter* find_savefilter(const std::vector<tsavefilter>& rows, const std::string& idstr) {
    for (const tsavefilter& r : rows)
        if (r.idstr == idstr) return &r;
    return nullptr;
}

const tsavefilter* savefilter_for_extension(const std::vector<tsavefilter>& rows,
                                            const std::string& ext) {
    if (ext == ".wav") return find_savefilter(rows, "wav16i");
    for (const tsavefilter& r : rows)
        if (r.ext == ext) return &r;
    return nullptr;
}

bool is_wave_coding(int nbits, tFormat format) {
    switch (format) {
        case tFormat::pcm: return nbits == 8 || nbits == 16 || nbits == 24 || nbits == 32;
        case tFormat::ieeefloat: return nbits == 16 || nbits == 32;
        case tFormat::alaw:
        case tFormat::ulaw: return nbits == 8;
    }
    return false;
}

int wave_coding_rank(int nbits, tFormat format) {
    if (!is_wave_coding(nbits, format)) return -1;
    const int kind = format == tFormat::ieeefloat ? 2 : format == tFormat::pcm ? 1 : 0;
    return nbits * 4 + kind;
}

const tsavefilter* wave_savefilter(const std::vector<tsavefilter>& rows, tsavecoding coding) {
    for (const tsavefilter& r : rows)
        if (r.ext == ".wav" && r.nbits == coding.nbits && r.format == coding.format) return &r;
    return nullptr;
}

std::vector<tsavefilter> rows_offering(std::vector<tsavefilter> rows, tsavecoding coding) {
    for (tsavefilter& r : rows)
        if (r.ext == ".wav" && r.nbits == coding.nbits && r.format == coding.format) r.used = true;
    return rows;
}

int used_savefilter_index(const std::vector<tsavefilter>& rows, const tsavefilter& row) {
    // Asked through used_savefilter, so the index counts as the dialog does.
    for (int k = -1; k <= static_cast<int>(rows.size()) + 1; ++k)
        if (const tsavefilter* r = used_savefilter(rows, k); r && r->idstr == row.idstr) return k;
    return -1;
}

}  // namespace tessal
