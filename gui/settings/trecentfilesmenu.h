// A recent-files list shown in a menu: a separator, the first MaxItems
// entries and "&Clear list...", the items of a list command (tcommand::items)
// that the menu layout places, rebuilt whenever the list changes. Choosing
// an entry goes through TRecentFiles::click.
#pragma once

#include <QObject>
#include <QString>
#include <vector>

#include "engine/core/prompter.h"
#include "engine/settings/trecentfiles.h"
#include "gui/commands/commandregistry.h"

class QAction;

namespace tessal {

class trecentfilesmenu : public QObject {
    Q_OBJECT

public:
    // The list `listname` stored under `appdatafolder`, shown by the list
    // command `id` of `commands` (its items come from items(): the command
    // is told by rebuild() once it can reach this list, and on each change).
    trecentfilesmenu(tcommandregistry& commands, const QString& id, const std::string& listname,
                     const std::string& appdatafolder, tprompter& prompter, QObject* parent);

    TRecentFiles& list() { return list_; }
    // The menu items of the list as it is now.
    std::vector<tcommand> items();
    // The actions of the entries, in order (not the separator or the clear item).
    std::vector<QAction*> entry_actions() const;
    QAction* clear_action() const;
    void rebuild() { commands_.rebuild_list(id_); }

private:
    tcommandregistry& commands_;
    QString id_;
    tprompter& prompter_;
    TRecentFiles list_;
};

}  // namespace tessal
