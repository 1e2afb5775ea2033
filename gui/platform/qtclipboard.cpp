#include "platform/qtclipboard.h"

#include <QClipboard>
#include <QGuiApplication>

namespace tessal {

void tqtclipboard::set_text(const std::string& text) {
    if (QClipboard* c = QGuiApplication::clipboard()) c->setText(QString::fromStdString(text));
}

}  // namespace tessal
