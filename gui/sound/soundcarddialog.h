// "Soundcard settings": the playback device. On show the list is read
// again from the system ("Windows default soundcard" first, the name the
// program has always shown for the system's default device); OK sets the
// device number to the index - 1.
#pragma once

#include <QDialog>
#include <functional>
#include <string>
#include <vector>

class QComboBox;

namespace tessal {

class tsoundcarddialog : public QDialog {
public:
    tsoundcarddialog(std::function<std::vector<std::string>()> names, int& deviceid, QWidget* parent);

protected:
    void showEvent(QShowEvent* e) override;

private:
    std::function<std::vector<std::string>()> names_;
    int& deviceid_;
    QComboBox* list_;
};

}  // namespace tessal
