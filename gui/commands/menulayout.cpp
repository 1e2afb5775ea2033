#include "gui/commands/menulayout.h"

namespace tessal {

// Group names say the feature that fills them and its part of the menu.
const std::vector<tmenudecl>& main_menu_layout() {
    static const QString sep = menuseparator;
    static const std::vector<tmenudecl> layout = {
        {"&File", {"file.documents", sep, "file.exit"}},
        {"&Edit", {"edit.undo", sep, "edit.clipboard", sep, "edit.samples", sep, "edit.windows", sep, "edit.log"}},
        {"&Channels", {"channels.windows", sep, "channels.mode"}},
        {"&View", {"view.windows", sep, "view.zoom", sep, "view.show", sep, "view.channels"}},
        {"&Labels", {"labels.log", sep, "labels.add", sep, "labels.select", sep, "labels.delete"}},
        {"&Analysis", {"analysis"}},
        {"&Process", {"process"}},
        {"&Sound", {"sound.play", sep, "sound.devices"}},
        {"&Tools", {"tools"}},
    };
    return layout;
}

const std::vector<tmenudecl>& window_tool_layout() {
    static const std::vector<tmenudecl> layout = {{"", {windowtoolgroup}}};
    return layout;
}

}  // namespace tessal
