// A secondary window whose work is not built yet: a tool window with its
// caption and nothing in it.
#pragma once

#include <QWidget>

namespace tessal {

class tplaceholderwindow : public QWidget {
    Q_OBJECT

public:
    tplaceholderwindow(const QString& caption, QWidget* owner);
    QSize sizeHint() const override { return {420, 300}; }
};

}  // namespace tessal
