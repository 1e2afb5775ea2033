// The data log's lines and heading rule, and the texts of Log measurements
// and Copy measurements built from the channels' measurement items.
#include "engine/measurements/datalog.h"

#include <algorithm>

#include "engine/core/tdocument.h"
#include "engine/dsp/numformat.h"

namespace tessal {

void tdatalog::add_line(const std::string& heading, const std::string& line) {
    if (!fhasheading || heading != fheading) {
        fheadinglineno = static_cast<int>(flines.size());
        flines.push_back(heading);
        fheading = heading;
        fhasheading = true;
    }
    flines.push_back(line);
    notify();
}

void tdatalog::add_text_line(const std::string& line) {
    flines.push_back(line);
    notify();
}

void tdatalog::clear() {
    flines.clear();
    fheading.clear();
    fhasheading = false;
    fheadinglineno = 0;
    notify();
}

bool tdatalog::new_log(tprompter& prompter) {
    if (prompter.ask("Do you want to clear the log?\r(All logged data will be deleted)",
                     "Clear log", tbuttons::okcancel, ticon::question) != tanswer::ok)
        return false;
    clear();
    return true;
}

void tdatalog::copy_log(ttextclipboard& clipboard) const { clipboard.set_text(text()); }

std::string tdatalog::text() const {
    std::string out;
    for (const std::string& l : flines) {
        out += l;
        out += '\n';
    }
    return out;
}

namespace {

std::vector<std::string> cells_of(const std::string& line) {
    std::vector<std::string> cells;
    std::size_t b = 0;
    for (;;) {
        const std::size_t t = line.find('\t', b);
        if (t == std::string::npos) break;
        cells.push_back(line.substr(b, t - b));
        b = t + 1;
    }
    // A row ends with a tab after its last value: nothing follows it.
    if (b < line.size()) cells.push_back(line.substr(b));
    return cells;
}

std::size_t characters(const std::string& s) {
    std::size_t n = 0;
    for (unsigned char c : s)
        if ((c & 0xC0) != 0x80) ++n;
    return n;
}

}  // namespace

std::vector<std::string> aligned_log_lines(const std::vector<std::string>& lines) {
    std::vector<std::string> out;
    out.reserve(lines.size());
    std::size_t i = 0;
    while (i < lines.size()) {
        if (lines[i].find('\t') == std::string::npos) {
            out.push_back(lines[i++]);
            continue;
        }
        std::size_t end = i;
        std::vector<std::vector<std::string>> table;
        std::vector<std::size_t> width;
        while (end < lines.size() && lines[end].find('\t') != std::string::npos) {
            table.push_back(cells_of(lines[end++]));
            const auto& row = table.back();
            if (width.size() < row.size()) width.resize(row.size(), 0);
            for (std::size_t c = 0; c < row.size(); ++c) width[c] = std::max(width[c], characters(row[c]));
        }
        for (const auto& row : table) {
            std::string line;
            for (std::size_t c = 0; c < row.size(); ++c) {
                line += row[c];
                if (c + 1 < row.size()) line += std::string(width[c] - characters(row[c]) + 2, ' ');
            }
            out.push_back(line);
        }
        i = end;
    }
    return out;
}

tlogrow measurement_log_row(const tdocument& doc) {
    tlogrow row;
    bool firstchannel = true;
    for (int c = 0; c < doc.totnchans(); ++c) {
        if (!doc.is_channel_selected(c)) continue;
        if (!firstchannel) {
            row.heading += '\t';
            row.line += '\t';
        }
        firstchannel = false;
        const tchannel& ch = doc.channel(c);
        for (int i = 0; i < nmeasurementitems; ++i) {
            if (!doc.showmeasurement[i]) continue;
            std::string h = ch.get_measurementheading(i);
            if (i == 15) h += float_to_text(doc.measurementthreshold);
            const std::string unit = ch.get_measurementunit(i);
            if (!unit.empty()) h += " [" + unit + "]";
            row.heading += h + '\t';
            row.line += ch.get_measurementvalue(i) + '\t';
        }
    }
    return row;
}

std::string measurement_copy_text(const tdocument& doc) {
    std::string out;
    for (int c = 0; c < doc.totnchans(); ++c) {
        if (c > 0) out += '\t';
        const tchannel& ch = doc.channel(c);
        const std::string info = ch.get_infotext("\t");
        const std::string meas = ch.get_measurementtext("\t");
        out += info;
        // A tab keeps the last information field and the first measurement
        // apart, so every field lands in its own cell when pasted.
        if (!info.empty() && !meas.empty()) out += '\t';
        out += meas;
    }
    return out;
}

}  // namespace tessal
