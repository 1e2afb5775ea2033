#include "gui/windows/windowset.h"

#include <QGuiApplication>
#include <algorithm>
#include <stdexcept>
#include <QScreen>

#include "engine/view/windowplacement.h"

#include "gui/windows/placeholderwindow.h"

namespace tessal {

void fit_window_on_screen(QWidget* w, const QWidget* owner) {
    const QScreen* s = owner && owner->screen() ? owner->screen() : w->screen();
    if (!s) s = QGuiApplication::primaryScreen();
    if (!s) return;
    const QRect avail = s->availableGeometry();
    // The frame is known once the window was shown; the client area must
    // leave room for it, title bar included.
    const QRect g = w->geometry(), f = w->frameGeometry();
    const QMargins frame(g.left() - f.left(), g.top() - f.top(), f.right() - g.right(),
                         f.bottom() - g.bottom());
    const QRect room = avail.marginsRemoved(frame);
    const trect screen{room.left(), room.top(), room.width(), room.height()};
    const bool first = !w->property("tessal_shown").toBool();
    QSize least = w->minimumSizeHint();
    if (first) least = least.expandedTo(w->sizeHint());
    trect r{g.left(), g.top(), g.width(), g.height()};
    if (first && !w->testAttribute(Qt::WA_Moved)) {
        const QRect o = owner && owner->isVisible() ? owner->geometry() : avail;
        r = centred_over(std::max(r.width, least.width()), std::max(r.height, least.height()),
                         {o.left(), o.top(), o.width(), o.height()}, screen);
    }
    r = fit_on_screen(r, std::max(0, least.width()), std::max(0, least.height()), screen);
    if (r.left != g.left() || r.top != g.top() || r.width != g.width() || r.height != g.height())
        w->setGeometry(r.left, r.top, r.width, r.height);
    w->setProperty("tessal_shown", true);
}

twindowset::twindowset(QWidget* owner) : owner_(owner) {}

twindowset::~twindowset() { destroy(); }

void twindowset::add(const QString& key, twindowinfo info, tfactory f) {
    const bool known = std::any_of(entries_.begin(), entries_.end(),
                                   [&](const tentry& e) { return e.key == key; });
    if (key.isEmpty() || known || !windows_.empty())
        throw std::logic_error("window registered twice or too late: " + key.toStdString());
    entries_.push_back({key, std::move(info), std::move(f)});
}

std::size_t twindowset::index(const QString& key) const {
    for (std::size_t i = 0; i < entries_.size(); ++i)
        if (entries_[i].key == key) return i;
    throw std::logic_error("no window registered as " + key.toStdString());
}

QStringList twindowset::keys() const {
    QStringList list;
    for (const tentry& e : entries_) list << e.key;
    return list;
}

const twindowinfo& twindowset::info(const QString& key) const { return entries_[index(key)].info; }

QWidget* twindowset::window(const QString& key) const { return windows_.at(index(key)); }

QStringList twindowset::screenshot_captions() const {
    QStringList list;
    for (const tentry& e : entries_)
        if (e.info.screenshot && !e.info.caption.isEmpty()) list << e.info.caption;
    return list;
}

std::vector<std::pair<std::string, QWidget*>> twindowset::layout_windows() const {
    std::vector<std::pair<std::string, QWidget*>> list;
    for (std::size_t i = 0; i < windows_.size(); ++i)
        if (!entries_[i].info.layout.isEmpty())
            list.emplace_back(entries_[i].info.layout.toStdString(), windows_[i]);
    return list;
}

void twindowset::create() {
    if (!windows_.empty()) return;
    for (const tentry& e : entries_) {
        QWidget* w = e.factory ? e.factory(owner_) : nullptr;
        windows_.push_back(w ? w : new tplaceholderwindow(e.info.caption, owner_));
    }
}

void twindowset::destroy() {
    // Later windows first, the way they were made in reverse.
    for (auto it = extra_.rbegin(); it != extra_.rend(); ++it) delete it->data();
    for (auto it = windows_.rbegin(); it != windows_.rend(); ++it) delete *it;
    extra_.clear();
    windows_.clear();
}

QWidget* twindowset::find(const QString& caption) const {
    for (QWidget* w : windows_)
        if (w->windowTitle() == caption) return w;
    // A window whose caption follows its content (the processing window
    // names its process) is found by its usual caption too.
    for (std::size_t i = 0; i < windows_.size(); ++i)
        if (entries_[i].info.caption == caption) return windows_[i];
    return nullptr;
}

void twindowset::show(const QString& key) {
    QWidget* w = window(key);
    fit_window_on_screen(w, owner_);
    w->show();
    w->raise();
    w->activateWindow();
}

int twindowset::processing_window_count() const {
    int n = 1;
    for (const auto& w : extra_)
        if (w) ++n;
    return n;
}

QWidget* twindowset::add_processing_window() {
    const tentry& e = entries_[index(processingwindowkey)];
    QWidget* w = e.factory ? e.factory(owner_) : nullptr;
    if (!w) w = new tplaceholderwindow(e.info.caption, owner_);
    extra_.push_back(w);
    fit_window_on_screen(w, owner_);
    w->show();
    return w;
}

}  // namespace tessal
