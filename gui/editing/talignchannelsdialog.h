// talignchannelsdialog: "Align channels". A reference channel, a checklist
// of channels to align to it by their red and blue cursors (channel marks 1
// and 2), and the option to only shift the signal. The samples are never
// touched: alignment changes the time shift and the sampling rate tag.
#pragma once

#include <QDialog>
#include <vector>

#include "core/prompter.h"
#include "core/tdocument.h"

class QCheckBox;
class QListWidget;

namespace tessal {

class talignchannelsdialog : public QDialog {
    Q_OBJECT

public:
    talignchannelsdialog(tdocument& doc, tprompter& prompter, QWidget* owner);

    QListWidget* referencelist() const { return reference_; }
    QListWidget* checklist() const { return checks_; }
    QCheckBox* onlyshiftbox() const { return onlyshift_; }
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
};

}  // namespace tessal
