#include "gui/windows/windowtools.h"

#include <QLineEdit>
#include <QToolBar>
#include <QScreen>
#include <QGuiApplication>
#include <QVBoxLayout>

#include "gui/widgets/tplotpanel.h"

namespace tessal {

void detach_fields(QWidget* window) {
    for (QLineEdit* e : window->findChildren<QLineEdit*>()) QObject::disconnect(e, nullptr, window, nullptr);
}

twindowtools::twindowtools(QWidget* window, tdocument* doc)
    : window_(window), registry_(window_tool_layout()) {
    registry_.guarded_document = doc;
    registry_.guard_samples = false;
    registry_.name_steps = false;
}

void twindowtools::add(tcommand c) {
    c.group = windowtoolgroup;
    registry_.add(std::move(c));
}

void twindowtools::add_check(tcommand c, std::function<void(bool)> onchange) {
    c.checkable = true;
    c.handler = [this, id = c.id, onchange = std::move(onchange)] {
        onchange(action(id)->isChecked());
    };
    add(std::move(c));
}

void twindowtools::add_log(int cursororder, std::function<void()> logcursor, int showorder,
                           std::function<void()> showlog) {
    add({.id = "logcursoraction", .caption = "Log cursor", .shortcut = "F5",
         .handler = std::move(logcursor), .toolorder = cursororder});
    add({.id = "showlogaction", .caption = "Show log", .handler = std::move(showlog),
         .toolorder = showorder});
}

void twindowtools::add_image(int toolorder, TPlotPanel* const& plot) {
    add({.id = "copyimageaction", .caption = "Copy as image",
         .handler = [&plot] { plot->copy_image(); }, .toolorder = toolorder});
    add({.id = "exportaction", .caption = "Export...", .handler = [&plot] { plot->export_dialog(); },
         .toolorder = toolorder + 1});
}

QToolBar* twindowtools::build() {
    if (bar_) return bar_;
    bar_ = new QToolBar(window_);
    registry_.build_toolbar(bar_, window_);
    return bar_;
}

QVBoxLayout* twindowtools::build_layout() {
    auto* outer = new QVBoxLayout(window_);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    outer->addWidget(build());
    // A bar wider than the screen (a small screen, a large scale) hides
    // buttons behind its arrow: its last groups go to a second row.
    const QScreen* s = window_->screen() ? window_->screen() : QGuiApplication::primaryScreen();
    const int room = s ? s->availableGeometry().width() - 16 : 0;
    QToolBar* more = nullptr;
    while (room > 0 && bar_->sizeHint().width() > room) {
        const QList<QAction*> acts = bar_->actions();
        // At the last group's separator, or with no groups left, before
        // the last button.
        qsizetype cut = -1;
        for (qsizetype i = acts.size() - 1; i > 0 && cut < 0; --i)
            if (acts[i]->isSeparator()) cut = i;
        const bool atseparator = cut >= 0;
        if (!atseparator) cut = acts.size() - 2;
        if (cut < 0) break;
        if (!more) more = new QToolBar(window_);
        QAction* before = more->actions().isEmpty() ? nullptr : more->actions().first();
        if (before && atseparator) more->insertSeparator(before);
        before = more->actions().isEmpty() ? nullptr : more->actions().first();
        for (qsizetype i = cut + 1; i < acts.size(); ++i) {
            bar_->removeAction(acts[i]);
            more->insertAction(before, acts[i]);
        }
        if (atseparator) bar_->removeAction(acts[cut]);
    }
    if (more) {
        more->setObjectName(bar_->objectName() + "2");
        outer->addWidget(more);
    }
    return outer;
}

}  // namespace tessal
