// tlabelpropertiesdialog: "Label properties", opened by a double-click on a
// label. It edits a copy of the label: "&Save" stores the typed text (and,
// for labels the user may move, the typed start and duration) into the copy
// and the caller's edit() writes it back; "&Cancel" leaves the label as it
// was. An unreadable time is reported and changes nothing.
#pragma once

#include <QDialog>

#include "engine/core/prompter.h"
#include "engine/core/tdocument.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;

namespace tessal {

class tlabelpropertiesdialog : public QDialog {
    Q_OBJECT

public:
    tlabelpropertiesdialog(tdocument& doc, tprompter& prompter, QWidget* owner);

    // Shows the dialog on label `labelno` of channel `chno`; true when the
    // label was changed.
    bool edit(int chno, int labelno);
    // The steps of edit(), for tests: fill the fields, then "&Save".
    bool load(int chno, int labelno);
    bool save();
    const tsiglabel& edited() const { return edited_; }

private:
    tdocument& doc_;
    tprompter& prompter_;
    tsiglabel edited_;
    QLineEdit* text_;
    QLineEdit* time_;
    QLineEdit* duration_;
    QLabel* type_;
    QPlainTextEdit* memo_;
};

}  // namespace tessal
