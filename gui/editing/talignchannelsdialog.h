// talignchannelsdialog: "Align channels". A reference channel, a checklist
// of channels to align to it by their red and blue cursors (channel marks 1
// and 2), and the option to only shift the signal. The samples are never
// touched: alignment changes the time shift and the sampling rate tag.
// While the marks are hidden the dialog says how to show them and cannot
// align (the marks it would read are not on the screen).
#pragma once

#include <QDialog>
#include <vector>

#include "engine/core/prompter.h"
#include "engine/core/tdocument.h"

class QCheckBox;
class QLabel;
class QListWidget;
class QPushButton;

namespace tessal {

struct tviewstate;

class talignchannelsdialog : public QDialog {
    Q_OBJECT

public:
    // `view` tells whether the red and blue marks are shown (may be null).
    talignchannelsdialog(tdocument& doc, tprompter& prompter, const tviewstate* view,
                         QWidget* owner);

    QListWidget* referencelist() const { return reference_; }
    QListWidget* checklist() const { return checks_; }
    QCheckBox* onlyshiftbox() const { return onlyshift_; }
    QPushButton* alignbutton() const { return alignbutton_; }
    QLabel* markshint() const { return markshint_; }
    std::vector<int> checked() const;
    void align();
    void remove();
    void fill_lists();

protected:
    void showEvent(QShowEvent* e) override;

private:
    tdocument& doc_;
    tprompter& prompter_;
    QListWidget* reference_;
    QListWidget* checks_;
    QCheckBox* onlyshift_;
    const tviewstate* view_;
    QPushButton* alignbutton_;
    QLabel* markshint_;
};

}  // namespace tessal
