#include "engine/formats/saveformats.h"

#include <algorithm>

#include "engine/formats/formatregistry.h"

namespace tessal {

std::vector<tsavefilter> default_savefilters() {
    std::vector<const tfileformat*> formats;
    for (const tfileformat& f : file_formats())
        if (!f.codings.empty()) formats.push_back(&f);
    std::stable_sort(formats.begin(), formats.end(),
                     [](const tfileformat* a, const tfileformat* b) { return a->saveorder < b->saveorder; });
    std::vector<tsavefilter> rows;
    for (const tfileformat* f : formats)
        for (const tsavecodingrow& c : f->codings)
            rows.push_back({c.filterstr, f->ext, c.idstr, c.used, c.nbits, c.format});
    return rows;
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
    if (const tfileformat* f = format_for_extension(ext); f && !f->defaultcoding.empty())
        return find_savefilter(rows, f->defaultcoding);
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

namespace {

// Whether the row is a coding of a format of many codings (WAVE).
bool codings_row(const tsavefilter& r, tsavecoding coding) {
    const tfileformat* f = format_for_extension(r.ext);
    return f && f->caps.codings && r.nbits == coding.nbits && r.format == coding.format;
}

}  // namespace

const tsavefilter* wave_savefilter(const std::vector<tsavefilter>& rows, tsavecoding coding) {
    for (const tsavefilter& r : rows)
        if (codings_row(r, coding)) return &r;
    return nullptr;
}

std::vector<tsavefilter> rows_offering(std::vector<tsavefilter> rows, tsavecoding coding) {
    for (tsavefilter& r : rows)
        if (codings_row(r, coding)) r.used = true;
    return rows;
}

int used_savefilter_index(const std::vector<tsavefilter>& rows, const tsavefilter& row) {
    // Asked through used_savefilter, so the index counts as the dialog does.
    for (int k = -1; k <= static_cast<int>(rows.size()) + 1; ++k)
        if (const tsavefilter* r = used_savefilter(rows, k); r && r->idstr == row.idstr) return k;
    return -1;
}

}  // namespace tessal
