// The "Measurements" dialog: which of the 32 measurement items the
// information lines, the log and the copied text show, in three groups, and
// the threshold of "Avg>". It reads the document's choices each time it is
// shown; OK stores them all, marks the measurements stale and repaints;
// Cancel leaves everything as it was. It is modal.
#pragma once

#include <QDialog>
#include <array>

#include "engine/core/tchannel.h"

class QCheckBox;
class QLineEdit;

namespace tessal {

class tdocument;
class tmeasurements;
class tprompter;

class tmeasurementsdialog : public QDialog {
    Q_OBJECT

public:
    tmeasurementsdialog(tdocument& doc, tmeasurements& meas, tprompter& prompter, QWidget* owner);

    QCheckBox* box(int item) const { return boxes_.at(item); }
    QLineEdit* threshold() const { return threshold_; }
    // The caption of each item's check box.
    static const char* caption(int item);

    void accept() override;

protected:
    void showEvent(QShowEvent* e) override;

private:
    tdocument& doc_;
    tmeasurements& meas_;
    tprompter& prompter_;
    std::array<QCheckBox*, nmeasurementitems> boxes_{};
    QLineEdit* threshold_ = nullptr;
};

}  // namespace tessal
