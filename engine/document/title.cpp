#include "engine/document/title.h"

namespace tessal {

tdocumenttitle document_title(const std::string& filename, bool modified) {
    const std::string marker = modified ? " * " : "";
    tdocumenttitle t;
    t.savename = file_name_part(filename);
    if (!filename.empty()) {
        t.apptitle = t.savename + " - Tessal";
        t.caption = filename + marker + " - Tessal";
    } else {
        t.apptitle = "Tessal";
        t.caption = marker + "Tessal";
    }
    return t;
}

}  // namespace tessal
