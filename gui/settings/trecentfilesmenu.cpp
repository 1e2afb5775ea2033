#include "gui/settings/trecentfilesmenu.h"

#include <QAction>

#include "gui/settings/tmainsettings.h"

namespace tessal {

trecentfilesmenu::trecentfilesmenu(tcommandregistry& commands, const QString& id,
                                   const std::string& listname, const std::string& appdatafolder,
                                   tprompter& prompter, QObject* parent)
    : QObject(parent), commands_(commands), id_(id), prompter_(prompter) {
    list_.readonly = !settings_writes_allowed();
    list_.OnChange = [this] { rebuild(); };
    list_.set_storage(appdatafolder, "tessal");
    list_.SetListName(listname);
}

std::vector<tcommand> trecentfilesmenu::items() {
    std::vector<tcommand> list;
    if (list_.BarBefore) list.push_back({.caption = menuseparator});
    const std::vector<std::string> captions = list_.captions();
    for (std::size_t i = 0; i < captions.size(); ++i)
        list.push_back({.caption = QString::fromStdString(captions[i]),
                        .handler = [this, index = static_cast<int>(i)] { list_.click(index, prompter_); }});
    if (list_.IncludeClearItem)
        list.push_back({.caption = QString::fromStdString(list_.ClearCaption),
                        .handler = [this] { list_.clear(); },
                        .enabled = [this] { return list_.itemcount() > 0; }});
    return list;
}

std::vector<QAction*> trecentfilesmenu::entry_actions() const {
    std::vector<QAction*> entries;
    for (QAction* a : commands_.list_actions(id_))
        if (!a->isSeparator() && a != clear_action()) entries.push_back(a);
    return entries;
}

QAction* trecentfilesmenu::clear_action() const {
    const std::vector<QAction*> all = commands_.list_actions(id_);
    return list_.IncludeClearItem && !all.empty() ? all.back() : nullptr;
}

}  // namespace tessal
