// The "Keyboard shortcuts" window: the fixed help text of the signal view's
// keys, one entry per line.
#pragma once

#include <QStringList>
#include <QWidget>

namespace tessal {

class tkeyboardshortcutswindow : public QWidget {
    Q_OBJECT

public:
    explicit tkeyboardshortcutswindow(QWidget* owner);
    static QStringList help_lines();
    QSize sizeHint() const override { return {420, 480}; }
};

}  // namespace tessal
