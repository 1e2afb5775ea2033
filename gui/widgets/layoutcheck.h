// Finds text a user cannot read whole in a shown window: a label, button,
// check box, group title, combo box entry or status bar panel whose text is
// wider than the room the widget gives it or ends in an ellipsis the widget
// added, a tab bar too narrow for its tabs, a tool bar hiding buttons
// behind its extension arrow, a caption wider than the title bar leaves
// room for, and a window reaching past the screen. `tessal --check-layout`
// runs it over every window (scripts/screenshots --check at two scales).
#pragma once

#include <QRect>
#include <QString>
#include <QStringList>

class QWidget;

namespace tessal {

// What the title bar leaves for the caption: the window's width less this
// (the window menu and the minimise, maximise and close buttons).
inline constexpr int titlebarbuttons = 120;

// The least width of a window whose title bar shows `caption` whole (in
// the bold application font title bars commonly use).
int caption_width(const QString& caption);

// A widget that paints its text itself (no label holds it) says what it
// would show and how much room it has, so the check can find it cut.
class tpaintedtext {
public:
    virtual ~tpaintedtext() = default;
    struct tfit {
        QString text;  // the whole text
        int need = 0;  // pixels the whole text takes
        int room = 0;  // pixels the widget gives it
    };
    virtual tfit painted_text_fit() const = 0;
};

// One line a finding: the window's caption, the widget's class and object
// name, what is wrong. `screen` is the available screen area (null: not
// checked). Widgets hidden from the user (not visible within the window)
// are skipped; every page of a tab widget is brought to the front in turn
// and put back.
QStringList check_layout(QWidget* window, const QRect& screen);

}  // namespace tessal
