// tchannelinfodialog: "Channel information". A checklist of the channels
// (a check shows the channel) and, for the channel chosen in it, its name,
// unit, full scale, sampling rate, stereo companion, time shift and dB
// reference. "Apply!" writes them all at once; an unreadable or impossible
// number is reported and changes nothing.
#pragma once

#include <QDialog>

#include "engine/core/prompter.h"
#include "engine/core/tdocument.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;

namespace tessal {

class tchannelinfodialog : public QDialog {
    Q_OBJECT

public:
    tchannelinfodialog(tdocument& doc, tprompter& prompter, QWidget* owner);

    QListWidget* channellist() const { return channels_; }
    QLineEdit* field(const char* name) const;
    QComboBox* companionlist() const { return companion_; }
    QLabel* dbreferencecaption() const { return dbrefcaption_; }
    void choose(int chno);
    bool apply();
    void fill();

protected:
    void showEvent(QShowEvent* e) override;

private:
    tdocument& doc_;
    tprompter& prompter_;
    int chno_ = -1;
    bool filling_ = false;
    QListWidget* channels_;
    QLineEdit* name_;
    QLineEdit* unit_;
    QLineEdit* fsd_;
    QLineEdit* rate_;
    QComboBox* companion_;
    QLineEdit* shift_;
    QLineEdit* dbref_;
    QLabel* dbrefcaption_;
};

}  // namespace tessal
