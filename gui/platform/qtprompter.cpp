#include "gui/platform/qtprompter.h"

#include <QMessageBox>
#include <QString>

namespace tessal {

tanswer tqtprompter::ask(const std::string& text, const std::string& caption, tbuttons buttons,
                         ticon icon) {
    QString body = QString::fromStdString(text);
    body.replace('\r', '\n');
    QMessageBox box(parent_);
    box.setWindowTitle(QString::fromStdString(caption));
    box.setText(body);
    switch (icon) {
        case ticon::information: box.setIcon(QMessageBox::Information); break;
        case ticon::warning: box.setIcon(QMessageBox::Warning); break;
        case ticon::error: box.setIcon(QMessageBox::Critical); break;
        case ticon::question: box.setIcon(QMessageBox::Question); break;
        case ticon::none: break;
    }
    switch (buttons) {
        case tbuttons::ok: box.setStandardButtons(QMessageBox::Ok); break;
        case tbuttons::okcancel:
            box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
            box.setEscapeButton(QMessageBox::Cancel);
            break;
        case tbuttons::yesno:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            box.setEscapeButton(QMessageBox::No);
            break;
        case tbuttons::yesnocancel:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
            box.setEscapeButton(QMessageBox::Cancel);
            break;
    }
    switch (box.exec()) {
        case QMessageBox::Ok: return tanswer::ok;
        case QMessageBox::Yes: return tanswer::yes;
        case QMessageBox::No: return tanswer::no;
        default: return buttons == tbuttons::ok ? tanswer::ok : tanswer::cancel;
    }
}

}  // namespace tessal
