// The menu layout of the main window: its menus in order, each a list of
// command groups in order, with a separator wherever one is declared.
// Features fill the groups (tcommandregistry::add); the layout alone says
// where each group shows.
#pragma once

#include <QString>
#include <vector>

namespace tessal {

// A separator line in a menu's list of groups.
inline const QString menuseparator = QStringLiteral("|");

struct tmenudecl {
    QString title;                // with its mnemonic ("&File")
    std::vector<QString> groups;  // group names and menuseparator, in order
};

// The main window's menus.
const std::vector<tmenudecl>& main_menu_layout();

// The one group of a secondary window's own commands (its tool bar).
inline const QString windowtoolgroup = QStringLiteral("window.tools");
const std::vector<tmenudecl>& window_tool_layout();

}  // namespace tessal
