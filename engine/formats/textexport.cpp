#include "engine/formats/textexport.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <random>
#include <vector>

#include "engine/core/tchannel.h"
#include "engine/core/tdocument.h"
#include "engine/dsp/numformat.h"
#include "engine/formats/savespan.h"

namespace tessal {

char separator_char(tcolumnseparator s) {
    switch (s) {
    case tcolumnseparator::semicolon: return ';';
    case tcolumnseparator::comma: return ',';
    case tcolumnseparator::space: return ' ';
    case tcolumnseparator::tab: break;
    }
    return '\t';
}

namespace {

long long round_index(double v) { return static_cast<long long>(std::llround(v)); }

std::string with_decimal(std::string s, tdecimalseparator d) {
    if (d == tdecimalseparator::period) std::replace(s.begin(), s.end(), ',', '.');
    if (d == tdecimalseparator::comma) std::replace(s.begin(), s.end(), '.', ',');
    return s;
}

bool starts_at_zero(const ttextexportoptions& o) {
    return o.startzero && o.timecolumn && o.span != texportspan::entire;
}

}  // namespace

void check_text_export_options(const ttextexportoptions& o) {
    if (o.downsample < 1)
        throw ETextExportError("The downsampling factor must be 1 or more.", "Export to text");
    // A comma between columns and inside numbers makes rows nobody can split.
    if (o.separator == tcolumnseparator::comma && o.decimal == tdecimalseparator::comma)
        throw ETextExportError(
            "The comma cannot be both the column separator and the decimal separator: "
            "choose another column separator or a period as the decimal separator.",
            "Export to text");
}

texportrange text_export_range(const tdocument& doc, const ttextexportoptions& o) {
    if (o.channels.empty())
        throw ETextExportError("No channels are chosen for the export.", "Export to text");
    texportrange r;
    for (int c : o.channels) {
        if (c < 0 || c >= doc.totnchans())
            throw ETextExportError("No channel " + std::to_string(c) + ".", "Export to text");
        const double fs = doc.channel(c).sampfreq;
        if (r.fs == 0) r.fs = fs;
        else if (fs != r.fs)
            throw ETextExportError(
                "Channels with different sampling rates cannot be exported to the same text file!",
                "Sampling rates differ");
    }
    if (!(r.fs > 0)) throw ETextExportError("The channels have no sampling rate.", "Export to text");
    check_text_export_options(o);
    switch (o.span) {
    case texportspan::entire:
        r.s0 = 0;
        r.s1 = -1;
        for (int c : o.channels) {
            const tchannel& ch = doc.channel(c);
            r.s0 = std::min(r.s0, ch.xshift);
            r.s1 = std::max(r.s1, ch.sample_count() - 1 + ch.xshift);
        }
        break;
    case texportspan::window:
        r.s0 = round_index(doc.xaxis.GetLoValue() * r.fs);
        r.s1 = round_index(doc.xaxis.GetHiValue() * r.fs);
        break;
    case texportspan::selection:
        r.s0 = round_index(doc.theglobal.leftselcursor() * r.fs);
        r.s1 = round_index(doc.theglobal.rightselcursor() * r.fs);
        break;
    }
    const long long k = o.downsample;
    const long long first = r.s0 + (k - r.s0 % k) % k;
    if (r.s1 >= first && (static_cast<double>(r.s1) - static_cast<double>(first)) / static_cast<double>(k) >=
                             static_cast<double>(text_export_max_rows)) {
        long long shift = 0;
        for (int c : o.channels)
            if (std::llabs(doc.channel(c).xshift) > std::llabs(shift)) shift = doc.channel(c).xshift;
        throw ETextExportError("The table would run from sample " + std::to_string(r.s0) + " to " +
                                   std::to_string(r.s1) + " (largest x shift " + std::to_string(shift) +
                                   "): more than " + std::to_string(text_export_max_rows) +
                                   " rows cannot be exported.",
                               "Export to text");
    }
    return r;
}

namespace {

template <class Sink>
void write_table(const tdocument& doc, const ttextexportoptions& o, Sink&& sink) {
    const texportrange r = text_export_range(doc, o);
    const char sep = separator_char(o.separator);
    const bool zero = starts_at_zero(o);
    std::string line;
    auto add = [&](const std::string& s) {
        if (!line.empty()) line += sep;
        line += s;
    };
    if (o.timecolumn)
        line = zero ? "Time re " +
                          with_decimal(format_float_pattern("0.000000", r.s0 / r.fs), o.decimal) +
                          "[s]"
                    : "Time [s]";
    for (int c : o.channels) add(doc.channel(c).name());
    line += "\r\n";
    sink(line);
    const long long k = o.downsample;
    // The first index at or after s0 that k divides (-7 % 3 is -1: -6).
    const long long first = r.s0 + (k - r.s0 % k) % k;
    // Rows come a block at a time: each channel's samples under the block
    // (zeros outside them) are read at once, bounded however sparse the
    // rows are.
    constexpr long long reach = 65536;
    const long long rows = std::max(1LL, reach / k);
    const std::size_t nchans = o.channels.size();
    std::vector<float> values;
    for (long long s0 = first; s0 <= r.s1; s0 += rows * k) {
        const long long n = std::min(rows, (r.s1 - s0) / k + 1);
        const long long width = (n - 1) * k + 1;
        values.resize(nchans * static_cast<std::size_t>(width));
        for (std::size_t c = 0; c < nchans; ++c)
            doc.channel(o.channels[c]).read_shifted(s0, static_cast<std::size_t>(width),
                                                    values.data() + c * static_cast<std::size_t>(width));
        for (long long j = 0; j < n; ++j) {
            const long long s = s0 + j * k;
            line.clear();
            if (o.timecolumn)
                line = with_decimal(
                    format_float_pattern("0.000000", (zero ? s - r.s0 : s) / r.fs), o.decimal);
            for (std::size_t c = 0; c < nchans; ++c)
                add(with_decimal(format_float_pattern(
                                     o.pattern, values[c * static_cast<std::size_t>(width) +
                                                       static_cast<std::size_t>(j * k)]),
                                 o.decimal));
            line += "\r\n";
            sink(line);
        }
    }
}

}  // namespace

std::string text_export_table(const tdocument& doc, const ttextexportoptions& o) {
    std::string out;
    write_table(doc, o, [&](const std::string& s) { out += s; });
    return out;
}

void export_text_file(const tdocument& doc, const ttextexportoptions& o,
                      const std::string& filename, tfileops& ops) {
    text_export_range(doc, o);  // refusals before the file is touched
    tsafefile out(filename, true, std::random_device{}() % 10000, ops);
    bool complete = true;
    std::string buf;
    auto flush = [&] {
        if (complete && !buf.empty()) complete = out.write(buf.data(), buf.size()) == buf.size();
        buf.clear();
    };
    write_table(doc, o, [&](const std::string& s) {
        buf += s;
        if (buf.size() > (1 << 16)) flush();
    });
    flush();
    if (!out.close() || !complete) out.fail(filename);
    out.replace();
}

}  // namespace tessal
