#include "gui/platform/qtclipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace tessal {

void tqtclipboard::set_text(const std::string& text) {
    if (QClipboard* c = QGuiApplication::clipboard()) c->setText(QString::fromStdString(text));
}

QString clipboard_mime_type(const std::string& format) {
    if (format == sampleddata_format) return "application/x-tessal-sampled-data";
    // Any other block: its name, lower case with dashes, under the same prefix.
    QString name = QString::fromStdString(format).toLower();
    name.replace(' ', '-');
    return "application/x-" + name;
}

bool tqtblockclipboard::has_format(const std::string& format) const {
    QClipboard* c = QGuiApplication::clipboard();
    const QMimeData* m = c ? c->mimeData() : nullptr;
    return m && m->hasFormat(clipboard_mime_type(format));
}

void tqtblockclipboard::set_data(const std::string& format, const std::vector<std::uint8_t>& bytes) {
    QClipboard* c = QGuiApplication::clipboard();
    if (!c) return;
    auto* m = new QMimeData;
    m->setData(clipboard_mime_type(format),
               QByteArray(reinterpret_cast<const char*>(bytes.data()),
                          static_cast<qsizetype>(bytes.size())));
    c->setMimeData(m);  // the clipboard owns it
}

bool tqtblockclipboard::get_data(const std::string& format, std::vector<std::uint8_t>& bytes) const {
    QClipboard* c = QGuiApplication::clipboard();
    const QMimeData* m = c ? c->mimeData() : nullptr;
    const QString type = clipboard_mime_type(format);
    if (!m || !m->hasFormat(type)) return false;
    const QByteArray data = m->data(type);
    bytes.assign(reinterpret_cast<const std::uint8_t*>(data.constData()),
                 reinterpret_cast<const std::uint8_t*>(data.constData()) + data.size());
    return true;
}

}  // namespace tessal
