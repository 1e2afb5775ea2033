// The document's native-file paths: every channel property, label, note and
// EPG frame goes to and comes from the ".tessal" file unchanged.
#include <algorithm>

#include "engine/document/documentfiles.h"
#include "engine/formats/tessalfile.h"

namespace tessal {

bool tdocumentfiles::read_native(const std::string& path) {
    try {
        if (!read_tessal_file(doc, path)) {
            prompter.warn("Cannot open Tessal file\r" + path, tessal_openerror_caption);
            return false;
        }
    } catch (const std::exception& e) {
        prompter.warn(std::string("Cannot open Tessal file\r") + path + "\r" + e.what(),
                      tessal_openerror_caption);
        return false;
    }
    life.currentnbits = std::max(life.currentnbits, 32);
    // Only a file that was read enters the recent-files list.
    used(path);
    return true;
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
