#include "gui/mainwindow/commandtable.h"

#include <QMenu>
#include <algorithm>

#include "gui/mainwindow/commandguard.h"

namespace tessal {

void tcommandset::build(QMenuBar* bar, std::vector<tcommand> commands, QToolBar* toolbar) {
    commands_ = std::move(commands);
    for (const tcommand& c : commands_) {
        QMenu* m = menu(c.menu);
        if (!m) {
            m = bar->addMenu(c.menu);
            menus_.push_back(m);
            QObject::connect(m, &QMenu::aboutToShow, bar, [this] { refresh_enablings(); });
        }
        if (c.caption.isEmpty()) {
            actions_.push_back(m->addSeparator());
            continue;
        }
        QAction* a = m->addAction(c.caption);
        a->setObjectName(c.name);
        if (!c.shortcut.isEmpty()) a->setShortcut(QKeySequence(c.shortcut));
        if (c.handler)
            QObject::connect(a, &QAction::triggered, bar,
                             [this, h = c.handler] { run_guarded(guarded_document, h); });
        if (!c.toolcaption.isEmpty()) a->setIconText(c.toolcaption);
        actions_.push_back(a);
    }
    if (toolbar) {
        std::vector<std::size_t> placed;
        for (std::size_t i = 0; i < commands_.size(); ++i)
            if (commands_[i].toolorder > 0 && !commands_[i].caption.isEmpty()) placed.push_back(i);
        std::stable_sort(placed.begin(), placed.end(), [this](std::size_t a, std::size_t b) {
            return commands_[a].toolorder < commands_[b].toolorder;
        });
        int group = -1;
        for (std::size_t i : placed) {
            const int g = commands_[i].toolorder / 10;
            if (group >= 0 && g != group) toolbar->addSeparator();
            group = g;
            toolbar->addAction(actions_[i]);
        }
    }
    refresh_enablings();
}

void tcommandset::refresh_enablings() {
    for (std::size_t i = 0; i < commands_.size(); ++i)
    {
        if (commands_[i].enabled) actions_[i]->setEnabled(commands_[i].enabled());
        if (commands_[i].caption_rule) actions_[i]->setText(commands_[i].caption_rule());
    }
}

QAction* tcommandset::action(const QString& name) const {
    for (std::size_t i = 0; i < commands_.size(); ++i)
        if (commands_[i].name == name) return actions_[i];
    return nullptr;
}

QMenu* tcommandset::menu(const QString& title) const {
    for (QMenu* m : menus_)
        if (m->title() == title) return m;
    return nullptr;
}

}  // namespace tessal
