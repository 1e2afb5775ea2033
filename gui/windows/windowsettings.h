// A secondary window that keeps its own settings in a file of the settings
// folder: read when the window is made, written when it goes (at the end
// of the program) if this run may write settings. The window has
// load_settings_from, save_settings_to and a `persist` hook it calls when
// it goes.
#pragma once

#include <QString>
#include <functional>
#include <string>

#include "engine/settings/tsetting.h"
#include "gui/context/settingsfolder.h"

namespace tessal {

// Points `ini` at the window's settings file `path`.
inline void open_settings_file(TSetting& ini, const QString& path) {
    ini.SetLocation(Location::slfile);
    ini.SetFilename(path.toStdString());
}

// Points `ini` at `path` for reading; false when the file has no `key` in
// `section` (never written: the window keeps what it has).
inline bool read_settings_file(TSetting& ini, const QString& path, const std::string& section,
                               const std::string& key) {
    open_settings_file(ini, path);
    return ini.ValueExists(section, key);
}

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
