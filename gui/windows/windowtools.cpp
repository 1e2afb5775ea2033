#include "gui/windows/windowtools.h"

#include <QLineEdit>
#include <QToolBar>
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
    return outer;
}

}  // namespace tessal
