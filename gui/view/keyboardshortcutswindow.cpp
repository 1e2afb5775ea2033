#include "gui/view/keyboardshortcutswindow.h"

#include <QPlainTextEdit>
#include <QVBoxLayout>

namespace tessal {

QStringList tkeyboardshortcutswindow::help_lines() {
    return {"esc: Stop sound",
            "",
            "Left/Right arrow:",
            "Move cursor",
            "alt-:Move cursor/selection fast",
            "ctrl-:extend one edge of selection selection to right",
            "shift-:extend other edge of selection selection to right",
            "ctrl-shift: Stretch/shrink time axis around cursor",
            "",
            "Up/down arrows:",
            "Select next/previous channel",
            "ctrl-shift: Stretch/shrink vertical axis/axes around center",
            "",
            "Pageup/pagedown:",
            "Move window left/right",
            "ctrl- :Stretch/shrink window from left  ",
            "shift- :Stretch/shrink window from right",
            "",
            "Home/End:",
            "Move cursor to left/right end of window",
            "shift- :Extens selection to left/right end of window",
            "",
            "F8:",
            "Select part between cursors",
            "",
            "Space:",
            "Play window/selection",
            "ctrl- :Play entire file"};
}

tkeyboardshortcutswindow::tkeyboardshortcutswindow(QWidget* owner) : QWidget(owner, Qt::Tool) {
    setWindowTitle("Keyboard shortcuts");
    setAttribute(Qt::WA_DeleteOnClose, false);
    auto* text = new QPlainTextEdit(this);
    text->setObjectName("helptext");
    text->setReadOnly(true);
    text->setPlainText(help_lines().join("\n"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(text);
    hide();
}

}  // namespace tessal
