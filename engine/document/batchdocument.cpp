#include "engine/document/batchdocument.h"

#include "engine/formats/formatregistry.h"

namespace tessal {

tbatchdocument::tbatchdocument(bool yes) : prompter(yes) {}

int tbatchdocument::open(const std::vector<std::string>& paths) {
    for (std::size_t i = 0; i < paths.size(); ++i) {
        const int before = doc.totnchans();
        const bool ok = i == 0 ? (files.open_document(paths[i]) && doc.totnchans() > 0) : files.add_file(paths[i]);
        if (!ok || doc.totnchans() == before) return static_cast<int>(i);
    }
    return -1;
}

const tsavefilter* tbatchdocument::save_row(const std::string& out, const std::optional<std::string>& format,
                                            std::string& why) const {
    const tsavefilter* row = format ? find_savefilter(files.savefilter, *format)
                                    : savefilter_for_extension(files.savefilter, lower_extension(out));
    if (!row) why = format ? "no save format \"" + *format + "\"" : "no save format for the extension of " + out;
    return row;
}

bool tbatchdocument::save(const std::string& out, const tsavefilter& row, bool keep_codings) {
    tsavecoding coding{row.nbits, row.format};
    if (keep_codings && keeps_codings(out))
        if (auto c = files.channels_wave_coding({})) coding = *c;
    return files.save_file(out, coding.nbits, 0, 0, {}, coding.format);
}

std::string tbatchdocument::reason(const std::string& fallback) const {
    return prompter.last_message().empty() ? fallback : with_newlines(prompter.last_message());
}

}  // namespace tessal
