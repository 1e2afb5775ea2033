#include "gui/windows/windowset.h"

#include <QGuiApplication>
#include <QLayout>
#include <QMainWindow>
#include <algorithm>
#include <stdexcept>
#include <QScreen>

#include "engine/view/windowplacement.h"

#include "gui/windows/placeholderwindow.h"

namespace tessal {

namespace {

// The frame a window gets around its client area: its own once shown,
// before that the owner's (the same window manager draws both).
QMargins frame_of(const QWidget* w) {
    const QRect g = w->geometry(), f = w->frameGeometry();
    return {g.left() - f.left(), g.top() - f.top(), f.right() - g.right(), f.bottom() - g.bottom()};
}

trect as_trect(const QRect& r) { return {r.left(), r.top(), r.width(), r.height()}; }

// The screen y just below the owner's menu and tool bars: the top of its
// central widget (a main window), else the top of its client area.
int bars_bottom(const QWidget* owner) {
    if (const auto* mw = qobject_cast<const QMainWindow*>(owner); mw && mw->centralWidget()) {
        // A window just shown may not be laid out yet.
        if (mw->layout()) const_cast<QMainWindow*>(mw)->layout()->activate();
        return mw->centralWidget()->mapToGlobal(QPoint(0, 0)).y();
    }
    return owner->mapToGlobal(QPoint(0, 0)).y();
}

}  // namespace

void fit_window_on_screen(QWidget* w, const QWidget* owner, int index) {
    const QScreen* s = owner && owner->screen() ? owner->screen() : w->screen();
    if (!s) s = QGuiApplication::primaryScreen();
    if (!s) return;
    const QRect avail = s->availableGeometry();
    const bool first = !w->property("tessal_shown").toBool();
    QMargins frame = frame_of(w);
    if (first && frame.isNull() && owner) frame = frame_of(owner);
    // A frame with no title bar in it (no window manager; the offscreen
    // platform reports a thin border only): room for a title bar all the
    // same, so a window manager that adds one later does not push the
    // window over the main window's bars or past the screen's top.
    if (frame.top() < windowtitleheight / 2) frame.setTop(windowtitleheight);
    // The client area must leave room for the frame, title bar included.
    const trect screen = as_trect(avail.marginsRemoved(frame));
    QSize least = w->minimumSizeHint().expandedTo(w->minimumSize());
    QSize wish = w->size();
    // A window's own size hint may be narrower than its controls want (its
    // tool bar whole): the layout's wish counts too.
    if (first) {
        wish = wish.expandedTo(w->sizeHint()).expandedTo(least);
        if (w->layout()) wish.setWidth(std::max(wish.width(), w->layout()->totalSizeHint().width()));
    }
    const QRect g = w->geometry();
    trect r{g.left(), g.top(), wish.width(), wish.height()};
    // A window the settings placed keeps that place; any other opens beside
    // or below the owner, clear of its menu and tool bars.
    if (first && !w->property("tessal_placed").toBool()) {
        const bool beside = owner && owner->isVisible();
        const QRect o = beside ? owner->frameGeometry() : QRect(avail.left(), avail.top(), 0, 0);
        const int bars = beside ? bars_bottom(owner) : avail.top();
        // Frame sizes in, client rectangle out.
        const trect f = first_placement(as_trect(avail), as_trect(o), bars,
                                        wish.width() + frame.left() + frame.right(),
                                        wish.height() + frame.top() + frame.bottom(),
                                        least.width() + frame.left() + frame.right(),
                                        least.height() + frame.top() + frame.bottom(), index);
        r = {f.left + frame.left(), f.top + frame.top(), f.width - frame.left() - frame.right(),
             f.height - frame.top() - frame.bottom()};
    }
    r = fit_on_screen(r, 0, 0, screen);
    if (r.left != g.left() || r.top != g.top() || r.width != g.width() || r.height != g.height())
        w->setGeometry(r.left, r.top, r.width, r.height);
    w->setProperty("tessal_shown", true);
}

int twindowset::open_count(const QWidget* except) const {
    int n = 0;
    for (const QWidget* w : windows_)
        if (w != except && w->isVisible()) ++n;
    for (const auto& w : extra_)
        if (w && w != except && w->isVisible()) ++n;
    return n;
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
    fit_window_on_screen(w, owner_, open_count(w));
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
    fit_window_on_screen(w, owner_, open_count(w));
    w->show();
    return w;
}

}  // namespace tessal
