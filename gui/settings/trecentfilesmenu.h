// A recent-files list shown in a menu: a separator, the first MaxItems
// entries and "&Clear list...", inserted before the menu's item at MenuPos
// (appended when MenuPos is negative or past the end) and rebuilt whenever
// the list changes. Choosing an entry goes through TRecentFiles::click.
#pragma once

#include <QObject>
#include <QPointer>
#include <vector>

#include "engine/core/prompter.h"
#include "engine/settings/trecentfiles.h"

class QAction;
class QMenu;

namespace tessal {

class trecentfilesmenu : public QObject {
    Q_OBJECT

public:
    trecentfilesmenu(QMenu* menu, int menupos, const std::string& listname,
                     const std::string& appdatafolder, tprompter& prompter, QObject* parent);

    TRecentFiles& list() { return list_; }
    // The actions of the entries, in order (not the separator or the clear item).
    const std::vector<QAction*>& entry_actions() const { return entries_; }
    QAction* clear_action() const { return clear_; }
    void rebuild();

private:
    QPointer<QMenu> menu_;
    tprompter& prompter_;
    TRecentFiles list_;
    std::vector<QAction*> actions_;  // everything this list put in the menu
    std::vector<QAction*> entries_;
    QAction* clear_ = nullptr;
};

}  // namespace tessal
