#include "gui/commands/commandregistry.h"

#include <QActionGroup>
#include <QMenu>
#include <algorithm>
#include <stdexcept>

#include "gui/commands/commandguard.h"

namespace tessal {

namespace {

// "A|B": the action answers to either key.
void set_shortcuts(QAction* a, const QString& text) {
    QList<QKeySequence> keys;
    for (const QString& k : text.split('|', Qt::SkipEmptyParts)) keys.append(QKeySequence(k));
    if (a->shortcuts() != keys) a->setShortcuts(keys);
}

// What owns a submenu or radio group: a menu's window, or the window itself.
QWidget* owner_of(QWidget* parent) {
    if (qobject_cast<QMenu*>(parent)) return parent->parentWidget() ? parent->parentWidget()->window() : parent;
    return parent;
}

}  // namespace

QString step_name(QString caption) {
    caption.remove('&');
    caption = caption.trimmed();
    while (caption.endsWith('.')) caption.chop(1);
    return caption.trimmed();
}

tcommandregistry::tcommandregistry(std::vector<tmenudecl> layout) : layout_(std::move(layout)) {}

tcommandregistry::~tcommandregistry() = default;

void tcommandregistry::add(tcommand c) {
    if (built_) throw std::logic_error("command added after the menus were built: " + c.id.toStdString());
    bool declared = false;
    for (const tmenudecl& m : layout_)
        declared = declared || std::find(m.groups.begin(), m.groups.end(), c.group) != m.groups.end();
    if (!declared || c.group == menuseparator)
        throw std::logic_error("command in an undeclared group: " + c.id.toStdString() + " in " +
                               c.group.toStdString());
    if (c.id.isEmpty() || command(c.id))
        throw std::logic_error("command id empty or given twice: " + c.id.toStdString());
    commands_.push_back(std::make_unique<tcommand>(std::move(c)));
}

const tcommand* tcommandregistry::command(const QString& id) const {
    for (const auto& c : commands_)
        if (c->id == id) return c.get();
    return nullptr;
}

std::vector<const tcommand*> tcommandregistry::group(const QString& name) const {
    std::vector<const tcommand*> list;
    for (const auto& c : commands_)
        if (c->group == name) list.push_back(c.get());
    std::stable_sort(list.begin(), list.end(),
                     [](const tcommand* a, const tcommand* b) { return a->order < b->order; });
    return list;
}

QAction* tcommandregistry::make_action(QWidget* parent, const tcommand& c) {
    auto* a = new QAction(c.caption, parent);
    actions_[&c] = a;
    a->setObjectName(c.id);
    if (!c.shortcut.isEmpty()) set_shortcuts(a, c.shortcut);
    if (!c.toolcaption.isEmpty()) a->setIconText(c.toolcaption);
    if (c.data.isValid()) a->setData(c.data);
    if (c.checkable) a->setCheckable(true);
    if (!c.visible) a->setVisible(false);
    if (!c.hint.isEmpty()) a->setToolTip(c.hint);
    if (!c.radio.isEmpty()) {
        QActionGroup*& g = radios_[c.radio];
        if (!g) g = new QActionGroup(owner_of(parent));
        g->addAction(a);
    }
    if (c.handler)
        QObject::connect(a, &QAction::triggered, &connections_, [this, a, h = c.handler] {
            // The caption names the change in the undo history.
            run_guarded(guarded_document, h, guard_samples,
                        name_steps ? step_name(a->text()) : QString());
            refresh();
        });
    if (!c.submenu.empty()) {
        auto* sub = new QMenu(owner_of(parent));
        for (const tcommand& item : c.submenu) sub->addAction(make_action(sub, item));
        a->setMenu(sub);
    }
    return a;
}

void tcommandregistry::build(QMenuBar* bar, QToolBar* toolbar) {
    if (built_) return;
    built_ = true;
    for (const tmenudecl& decl : layout_) {
        bool any = false;
        for (const QString& g : decl.groups) any = any || (g != menuseparator && !group(g).empty());
        if (!any) continue;
        QMenu* m = bar->addMenu(decl.title);
        menus_.push_back(m);
        QObject::connect(m, &QMenu::aboutToShow, &connections_, [this] { refresh(); });
        // The lists waiting for the item that follows them, their end.
        std::vector<QString> open;
        auto put = [&](QAction* a) {
            for (const QString& id : open) lists_[id].end = a;
            open.clear();
        };
        for (const QString& g : decl.groups) {
            if (g == menuseparator) {
                put(m->addSeparator());
                continue;
            }
            for (const tcommand* c : group(g)) {
                if (c->items) {
                    lists_[c->id].menu = m;
                    open.push_back(c->id);
                    continue;
                }
                QAction* a = make_action(m, *c);
                m->addAction(a);
                put(a);
            }
        }
        for (const QString& id : open) rebuild_list(id);
        for (const auto& [id, l] : lists_)
            if (l.menu == m && l.end) rebuild_list(id);
    }
    if (toolbar) place_tools(toolbar);
    refresh();
}

void tcommandregistry::build_toolbar(QToolBar* toolbar, QWidget* window) {
    if (built_) return;
    built_ = true;
    for (const auto& c : commands_) {
        if (c->toolorder <= 0 || c->toolwidget) continue;
        QAction* a = make_action(window, *c);
        a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        // Its keys anywhere in this window (the main window's elsewhere).
        if (!c->shortcut.isEmpty()) window->addAction(a);
    }
    place_tools(toolbar);
    refresh();
}

void tcommandregistry::place_tools(QToolBar* toolbar) {
    {
        std::vector<const tcommand*> placed;
        for (const auto& c : commands_)
            if (c->toolorder > 0) placed.push_back(c.get());
        std::stable_sort(placed.begin(), placed.end(), [](const tcommand* a, const tcommand* b) {
            return a->toolorder < b->toolorder;
        });
        int toolgroup = -1;
        for (const tcommand* c : placed) {
            const int g = c->toolorder / 10;
            if (toolgroup >= 0 && g != toolgroup) toolbar->addSeparator();
            toolgroup = g;
            if (c->toolwidget) {
                QAction* a = toolbar->addWidget(c->toolwidget());
                a->setObjectName(c->id);
            } else {
                toolbar->addAction(actions_.at(c));
            }
        }
    }
}

void tcommandregistry::rebuild_list(const QString& id) {
    auto it = lists_.find(id);
    const tcommand* c = command(id);
    if (it == lists_.end() || !c) return;
    tlist& l = it->second;
    for (QAction* a : l.actions) {
        l.menu->removeAction(a);
        for (auto i = actions_.begin(); i != actions_.end();)
            i = i->second == a ? actions_.erase(i) : std::next(i);
        locked_.erase(a);
        a->deleteLater();
    }
    l.actions.clear();
    listitems_[id] = c->items();
    for (const tcommand& item : listitems_[id]) {
        QAction* a = nullptr;
        if (item.caption == menuseparator) {
            a = new QAction(l.menu);
            a->setSeparator(true);
        } else {
            // The click may rebuild this list, so it runs after the signal.
            tcommand unhandled = item;
            unhandled.handler = nullptr;
            a = make_action(l.menu, unhandled);
            actions_.erase(&unhandled);
            if (item.enabled) a->setEnabled(item.enabled());
            if (item.handler)
                QObject::connect(a, &QAction::triggered, &connections_,
                                 [this, h = item.handler] {
                                     h();
                                     refresh();
                                 }, Qt::QueuedConnection);
        }
        l.menu->insertAction(l.end, a);
        l.actions.push_back(a);
    }
}

std::vector<QAction*> tcommandregistry::list_actions(const QString& id) const {
    auto it = lists_.find(id);
    return it == lists_.end() ? std::vector<QAction*>{} : it->second.actions;
}

void tcommandregistry::add_lock(const QStringList& ids, std::function<QString()> reason) {
    locks_.emplace_back(ids, std::move(reason));
}

void tcommandregistry::refresh() {
    std::vector<QString> reasons;
    for (const auto& l : locks_) reasons.push_back(l.second ? l.second() : QString());
    for (const auto& [c, a] : actions_) {
        QString why;
        for (std::size_t i = 0; i < locks_.size() && why.isEmpty(); ++i)
            if (!reasons[i].isEmpty() && locks_[i].first.contains(c->id)) why = reasons[i];
        const bool waslocked = locked_.count(a) > 0;
        if (c->enabled || !why.isEmpty() || waslocked)
            a->setEnabled(why.isEmpty() && (!c->enabled || c->enabled()));
        if (c->caption_rule) a->setText(c->caption_rule());
        if (c->shortcut_rule) set_shortcuts(a, c->shortcut_rule());
        if (!why.isEmpty()) {
            a->setToolTip(why);
            a->setStatusTip(why);
            locked_.insert(a);
        } else if (c->hint_rule) {
            const QString h = c->hint_rule();
            a->setToolTip(h);
            a->setStatusTip(h);
            locked_.erase(a);
        } else if (waslocked) {
            a->setToolTip(QString());
            a->setStatusTip(QString());
            locked_.erase(a);
        }
        if (c->checkable && c->checked) a->setChecked(c->checked());
    }
}

QAction* tcommandregistry::action(const QString& id) const {
    for (const auto& [c, a] : actions_)
        if (c->id == id) return a;
    return nullptr;
}

QMenu* tcommandregistry::menu(const QString& title) const {
    for (QMenu* m : menus_)
        if (m->title() == title) return m;
    return nullptr;
}

}  // namespace tessal
