// A secondary window that keeps its own settings in a file of the settings
// folder: read when the window is made, written when it goes (at the end
// of the program) if this run may write settings. The window has
// load_settings_from, save_settings_to and a `persist` hook it calls when
// it goes.
#pragma once

#include <QString>
#include <functional>

#include "gui/context/settingsfolder.h"

namespace tessal {

// `path` is asked each time, so a file named after the settings folder
// follows it.
template <class W>
W* keep_settings_in(W* w, std::function<QString()> path) {
    w->load_settings_from(path());
    w->persist = [path](const auto& win) {
        if (!prepare_settings_write()) return;
        win.save_settings_to(path());
    };
    return w;
}

// The file `name` in the settings folder.
template <class W>
W* keep_settings_in(W* w, const QString& name) {
    return keep_settings_in(w, std::function<QString()>([name] { return settings_file(name); }));
}

}  // namespace tessal
