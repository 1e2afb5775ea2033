// The window title of the document: the application title (task bar), the
// main window caption with the modified marker, and the name the save dialog
// proposes.
#pragma once

#include <string>

#include "engine/formats/formatregistry.h"

namespace tessal {

struct tdocumenttitle {
    std::string apptitle;
    std::string caption;
    std::string savename;
};

tdocumenttitle document_title(const std::string& filename, bool modified);

}  // namespace tessal
