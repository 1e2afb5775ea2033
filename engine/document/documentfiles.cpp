#include "document/documentfiles.h"

#include <algorithm>
#include <cctype>

namespace tessal {

std::string lower_extension(const std::string& path) {
    std::size_t slash = path.find_last_of('/');
    std::size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    std::string e = path.substr(dot);
    std::transform(e.begin(), e.end(), e.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return e;
}

bool tdocumentfiles::open_document(const std::string& path) {
    if (life.hooks.stop_playback) life.hooks.stop_playback();
    bool closed = life.close_document();
    if (closed) {
        add_file(path);
        life.setfilename(path);
        life.setmodified(false);
    }
    doc.theglobal.fix_things();
    doc.theglobal.document_state_changed();
    return closed;
}

bool tdocumentfiles::add_file(const std::string& path) {
    if (life.hooks.stop_playback) life.hooks.stop_playback();
    const int n0 = doc.totnchans();
    (void)lower_extension(path);
    // No signal-file reader is registered yet: nothing is read.
    bool added = doc.totnchans() > n0;
    if (added) {
        doc.set_thischanno(n0);
        doc.measurementdirty = true;
        if (n0 > 0) doc.set_modified(true);
        life.setfilename("");
        doc.theglobal.fix_things();
    }
    (void)prompter;
    return added;
}

}  // namespace tessal
