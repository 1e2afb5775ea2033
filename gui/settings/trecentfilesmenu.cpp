#include "gui/settings/trecentfilesmenu.h"

#include <QAction>
#include <QMenu>

#include "gui/settings/tmainsettings.h"

namespace tessal {

trecentfilesmenu::trecentfilesmenu(QMenu* menu, int menupos, const std::string& listname,
                                   const std::string& appdatafolder, tprompter& prompter,
                                   QObject* parent)
    : QObject(parent), menu_(menu), prompter_(prompter) {
    list_.MenuPos = menupos;
    list_.readonly = !settings_writes_allowed();
    list_.OnChange = [this] { rebuild(); };
    list_.set_storage(appdatafolder, "tessal");
    list_.SetListName(listname);
    rebuild();
}

void trecentfilesmenu::rebuild() {
    if (!menu_) return;
    for (QAction* a : actions_) {
        menu_->removeAction(a);
        a->deleteLater();
    }
    actions_.clear();
    entries_.clear();
    clear_ = nullptr;

    const QList<QAction*> existing = menu_->actions();
    QAction* before = list_.MenuPos >= 0 && list_.MenuPos < existing.size()
                          ? existing[list_.MenuPos]
                          : nullptr;
    auto put = [&](QAction* a) {
        menu_->insertAction(before, a);
        actions_.push_back(a);
    };
    const std::vector<std::string> captions = list_.captions();
    if (list_.BarBefore) {
        auto* sep = new QAction(menu_);
        sep->setSeparator(true);
        put(sep);
    }
    for (std::size_t i = 0; i < captions.size(); ++i) {
        auto* a = new QAction(QString::fromStdString(captions[i]), menu_);
        const int index = static_cast<int>(i);
        // The click may rebuild this menu, so it runs after the action's signal.
        connect(a, &QAction::triggered, this,
                [this, index] { list_.click(index, prompter_); }, Qt::QueuedConnection);
        put(a);
        entries_.push_back(a);
    }
    if (list_.IncludeClearItem) {
        clear_ = new QAction(QString::fromStdString(list_.ClearCaption), menu_);
        clear_->setEnabled(list_.itemcount() > 0);
        connect(clear_, &QAction::triggered, this, [this] { list_.clear(); },
                Qt::QueuedConnection);
        put(clear_);
    }
}

}  // namespace tessal
