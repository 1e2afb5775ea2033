#include "gui/editing/editingwindows.h"

#include "gui/editing/talignchannelsdialog.h"
#include "gui/editing/tchannelinfodialog.h"
#include "gui/editing/teditingcommands.h"
#include "gui/editing/teditlevelsdialog.h"
#include "gui/editing/tlabelpropertiesdialog.h"
#include "gui/editing/tnotesdialog.h"
#include "gui/editing/tsetfsdwindow.h"
#include "gui/mainwindow/mainwindow.h"
#include "gui/mainwindow/signalpanel.h"

namespace tessal {

QWidget* make_editing_window(twindowid id, QWidget* owner) {
    auto* main = qobject_cast<TMainWindow*>(owner);
    if (!main) return nullptr;
    tdocument& doc = main->document();
    tprompter& prompter = main->editing().prompter();
    const tviewstate* view = main->signalpanel() ? &main->signalpanel()->view() : nullptr;
    switch (id) {
        case twindowid::editlevels: return new teditlevelsdialog(doc, prompter, view, owner);
        case twindowid::setfsd: return new tsetfsdwindow(doc, prompter, owner);
        case twindowid::align: return new talignchannelsdialog(doc, prompter, view, owner);
        case twindowid::channelinfo: return new tchannelinfodialog(doc, prompter, owner);
        case twindowid::labelproperties: return new tlabelpropertiesdialog(doc, prompter, owner);
        case twindowid::notes: return new tnotesdialog(doc, owner);
        default: return nullptr;
    }
}

}  // namespace tessal
