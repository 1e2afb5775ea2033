// A secondary window's tool bar, made from a command registry of the
// window's own (window_tool_layout) the way the main window's tool bar is:
// the window adds its commands with their tool-bar places (each new ten
// after a separator) and build() makes the bar. Handlers run guarded over
// the document without putting samples back, and the buttons several
// analysis windows share are added in one call each.
#pragma once

#include <QString>
#include <functional>

#include "gui/commands/commandregistry.h"

class QToolBar;
class QVBoxLayout;
class QWidget;

namespace tessal {

class tdocument;
class TPlotPanel;

// For a window's destructor: a line edit holding the focus finishes its
// editing while QWidget's destructor runs, when the window is no longer
// whole; after this call the window's line edits say nothing more to it.
void detach_fields(QWidget* window);

class twindowtools {
public:
    twindowtools(QWidget* window, tdocument* doc);

    // A command of this window (its group is set here).
    void add(tcommand c);
    // A toggle: `onchange` hears the new check.
    void add_check(tcommand c, std::function<void(bool)> onchange);
    // "Log cursor" (F5 within the window) and "Show log" at their places.
    void add_log(int cursororder, std::function<void()> logcursor, int showorder,
                 std::function<void()> showlog);
    // "Copy as image" and "Export..." of a plot, from `toolorder`.
    void add_image(int toolorder, TPlotPanel* const& plot);
    // Makes the tool bar, parented to the window. Runs once.
    QToolBar* build();
    // The window's layout: the tool bar (build()) on top of a vertical
    // layout without margins or spacing, which the window fills further.
    QVBoxLayout* build_layout();
    QToolBar* bar() const { return bar_; }

    QAction* action(const QString& id) const { return registry_.action(id); }
    tcommandregistry& registry() { return registry_; }

private:
    QWidget* window_;
    tcommandregistry registry_;
    QToolBar* bar_ = nullptr;
};

}  // namespace tessal
