// teditlevelsdialog: "Edit levels". The user picks a type of change, its
// start (and end) value and the on-/offset time; OK applies it to the edit
// set over the selection and closes, Cancel closes. Unreadable numbers are
// reported and change nothing; the dialog stays open to correct them.
#pragma once

#include <QDialog>

#include "engine/core/prompter.h"
#include "engine/core/tdocument.h"
#include "engine/view/viewstate.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace tessal {

class teditlevelsdialog : public QDialog {
    Q_OBJECT

public:
    // `view` tells which channel marks are shown (may be null).
    teditlevelsdialog(tdocument& doc, tprompter& prompter, const tviewstate* view, QWidget* owner);

    int type() const;
    void set_type(int t);
    QLineEdit* startfield() const { return start_; }
    QLineEdit* endfield() const { return end_; }
    QLineEdit* rampfield() const { return ramp_; }
    // OK: true when applied.
    bool apply();
    void read_average();

protected:
    void showEvent(QShowEvent* e) override;

private:
    void update_fields();

    tdocument& doc_;
    tprompter& prompter_;
    const tviewstate* view_;
    QRadioButton* types_[6];
    QLabel* startcaption_;
    QLabel* endcaption_;
    QLineEdit* start_;
    QLineEdit* end_;
    QLineEdit* ramp_;
    QPushButton* readavg_;
};

}  // namespace tessal
