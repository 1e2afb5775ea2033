// The document's native-file paths: every channel property, label, note and
// EPG frame goes to and comes from the ".tessal" file unchanged.
#include <algorithm>

#include "engine/formats/formatpaths.h"
#include "engine/formats/tessalfile.h"

namespace tessal {

tloaded read_native_document(tformatio& io, const std::string& path, const std::string&) {
    ttessalread read;
    try {
        TXIIFile xii;
        if (!xii.open_file(path)) {
            io.prompter.warn("Cannot open Tessal file\r" + path +
                              "\rThe file is not a Tessal file, or it is damaged or cut short.",
                          tessal_openerror_caption);
            return {};
        }
        read = load_tessal_container(xii);
    } catch (const std::exception& e) {
        io.prompter.warn(std::string("Cannot open Tessal file\r") + path + "\r" + e.what(),
                      tessal_openerror_caption);
        return {};
    }
    return {read.nchans, [&io, path, install = std::move(read.install)] {
        install(io.doc);
        io.currentnbits = std::max(io.currentnbits, 32);
        // Only a file that was read enters the recent-files list.
        io.use(path);
    }};
}

bool write_native_document(tformatio& io, const tsaverequest& save) {
    const std::string& path = save.path;
    io.use(path);
    try {
        tintarr list(save.chans.begin(), save.chans.end());
        write_tessal_file(io.doc, path, list, save.from, save.to);
    } catch (const std::exception& e) {
        io.prompter.error(std::string("Cannot save file ") + path + "\r" + e.what(),
                       "File was not saved");
        return false;
    }
    return true;
}

}  // namespace tessal
