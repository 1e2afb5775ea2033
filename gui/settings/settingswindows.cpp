#include "gui/settings/settingswindows.h"

#include "gui/mainwindow/mainwindow.h"
#include "gui/settings/tcolorsdialog.h"
#include "gui/settings/tmainsettings.h"
#include "gui/settings/tsettingsdialog.h"

namespace tessal {

QWidget* make_settings_window(twindowid id, QWidget* owner) {
    auto* main = qobject_cast<TMainWindow*>(owner);
    if (!main) return nullptr;
    if (id == twindowid::colors) return new tcolorsdialog(main->document(), owner);
    if (id != twindowid::settings) return nullptr;
    auto* d = new tsettingsdialog(main->document(), main->files().savefilter, owner);
    d->set_settings_folder(tmainsettings::settings_folder());
    d->applied = [main] {
        // The save dialog's filter list is built from the rows in use, so an
        // index past its end would pick nothing ("SaveFormat" counts from 1).
        int used = 0;
        for (const tsavefilter& row : main->files().savefilter) used += row.used ? 1 : 0;
        int& index = main->filecommands().savefilterindex;
        if (index > used) index = std::max(1, used);
    };
    return d;
}

}  // namespace tessal
