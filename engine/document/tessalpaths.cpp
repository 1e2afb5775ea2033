// The document's native-file paths: every channel property, label, note and
// EPG frame goes to and comes from the ".tessal" file unchanged.
#include <algorithm>

#include "engine/document/documentfiles.h"
#include "engine/formats/tessalfile.h"

namespace tessal {

tdocumentfiles::tloaded tdocumentfiles::load_native(const std::string& path) {
    ttessalread read;
    try {
        TXIIFile xii;
        if (!xii.open_file(path)) {
            prompter.warn("Cannot open Tessal file\r" + path +
                              "\rThe file is not a Tessal file, or it is damaged or cut short.",
                          tessal_openerror_caption);
            return {};
        }
        read = load_tessal_container(xii);
    } catch (const std::exception& e) {
        prompter.warn(std::string("Cannot open Tessal file\r") + path + "\r" + e.what(),
                      tessal_openerror_caption);
        return {};
    }
    return {read.nchans, [this, path, install = std::move(read.install)] {
        install(doc);
        life.currentnbits = std::max(life.currentnbits, 32);
        // Only a file that was read enters the recent-files list.
        used(path);
    }};
}

bool tdocumentfiles::write_native(const std::string& path, double from, double to,
                                  const std::vector<int>& chans) {
    used(path);
    try {
        tintarr list(chans.begin(), chans.end());
        write_tessal_file(doc, path, list, from, to);
    } catch (const std::exception& e) {
        prompter.error(std::string("Cannot save file ") + path + "\r" + e.what(),
                       "File was not saved");
        return false;
    }
    return true;
}

}  // namespace tessal
