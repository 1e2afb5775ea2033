// The window title of the document: the application title (task bar), the
// main window caption with the modified marker, and the name the save dialog
// proposes.
#pragma once

#include <string>

namespace tessal {

struct tdocumenttitle {
    std::string apptitle;
    std::string caption;
    std::string savename;
};

tdocumenttitle document_title(const std::string& filename, bool modified);

// The file name part of a path ("/a/b/c.wav" gives "c.wav").
std::string file_name_part(const std::string& path);

}  // namespace tessal
