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

QAction* tcommandregistry::make_action(QMenu* m, const tcommand& c) {
    QAction* a = m->addAction(c.caption);
    actions_[&c] = a;
    a->setObjectName(c.id);
    if (!c.shortcut.isEmpty()) set_shortcuts(a, c.shortcut);
    if (!c.toolcaption.isEmpty()) a->setIconText(c.toolcaption);
    if (c.data.isValid()) a->setData(c.data);
    if (c.checkable) a->setCheckable(true);
    if (!c.radio.isEmpty()) {
        QActionGroup*& g = radios_[c.radio];
        if (!g) g = new QActionGroup(m->parentWidget() ? m->parentWidget()->window() : m);
        g->addAction(a);
    }
    if (c.handler)
        QObject::connect(a, &QAction::triggered, &connections_, [this, a, h = c.handler] {
            // The caption names the change in the undo history.
            run_guarded(guarded_document, h, true, step_name(a->text()));
            refresh();
        });
    if (!c.submenu.empty()) {
        auto* sub = new QMenu(m->parentWidget() ? m->parentWidget()->window() : m);
        for (const tcommand& item : c.submenu) make_action(sub, item);
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
        for (const QString& g : decl.groups) {
            if (g == menuseparator) {
                m->addSeparator();
                continue;
            }
            for (const tcommand* c : group(g)) make_action(m, *c);
        }
    }
    if (toolbar) {
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
            toolbar->addAction(actions_.at(c));
        }
    }
    refresh();
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
