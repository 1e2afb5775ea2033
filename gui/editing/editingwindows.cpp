#include "editing/editingwindows.h"

#include "editing/talignchannelsdialog.h"
#include "editing/tchannelinfodialog.h"
#include "editing/teditingcommands.h"
#include "editing/teditlevelsdialog.h"
#include "editing/tlabelpropertiesdialog.h"
#include "editing/tnotesdialog.h"
#include "editing/tsetfsdwindow.h"
#include "mainwindow/mainwindow.h"
#include "mainwindow/signalpanel.h"

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
