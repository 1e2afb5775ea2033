#include "document/saveformats.h"

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

}  // namespace tessal
