// Where the program keeps its settings: the settings file and the files
// the secondary windows keep their own settings in, all in one folder under
// QStandardPaths' GenericDataLocation (a test names another through
// XDG_DATA_HOME). Runs that are not the user's own (screenshots, tests)
// read there and write nothing.
#pragma once

#include <QString>

namespace tessal {

// The base folder (the per-user application-data folder).
QString appdata_folder();
// The folder holding the settings file and the windows' settings files.
QString settings_folder();
// A file `name` in the settings folder.
QString settings_file(const QString& name);

// Whether this run may write the settings file, the windows' settings
// files and the recent-files lists. On by default.
void set_settings_writes_allowed(bool v);
bool settings_writes_allowed();
// Whether a settings file may be written now; makes the settings folder
// when it may.
bool prepare_settings_write();

}  // namespace tessal
