#include "gui/windows/placeholderwindow.h"

namespace tessal {

tplaceholderwindow::tplaceholderwindow(const QString& caption, QWidget* owner)
    : QWidget(owner, Qt::Tool) {
    setWindowTitle(caption);
    setAttribute(Qt::WA_DeleteOnClose, false);
    hide();
}

}  // namespace tessal
