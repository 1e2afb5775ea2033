#include "gui/context/settingsfolder.h"

#include <QDir>
#include <QStandardPaths>

#include "engine/formats/txiifile.h"
#include "engine/settings/tsetting.h"

namespace tessal {

namespace {
bool writesallowed = true;
}

QString appdata_folder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
}

QString settings_folder() {
    return QString::fromStdString(
        program_data_folder(tessal_progid(), appdata_folder().toStdString()));
}

QString settings_file(const QString& name) { return QDir(settings_folder()).filePath(name); }

void set_settings_writes_allowed(bool v) { writesallowed = v; }

bool settings_writes_allowed() { return writesallowed; }

bool prepare_settings_write() {
    if (!writesallowed) return false;
    QDir().mkpath(settings_folder());
    return true;
}

}  // namespace tessal
