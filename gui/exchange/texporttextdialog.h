// The "Export to text" dialog: which channels, which span, the number
// format, separators, downsampling and the time column; "&Export..." asks
// for a file and writes it through engine/formats (textexport).
#pragma once

#include <QDialog>
#include <functional>

#include "engine/formats/textexport.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QListWidget;

namespace tessal {

class tappcontext;

class texporttextdialog : public QDialog {
    Q_OBJECT

public:
    texporttextdialog(tappcontext& ctx, QWidget* owner);
    // The options as the controls hold them (the downsampling factor raises
    // when it is not a whole number).
    ttextexportoptions options() const;
    // Asks for the file name; empty cancels. Tests replace it.
    std::function<std::string()> ask_filename;
    // "&Export...": false when nothing was written.
    bool exportExecute();

protected:
    void showEvent(QShowEvent* e) override;

private:
    void rebuild_channels();
    void update_visibility();

    tappcontext& ctx_;
    QComboBox *separator_ = nullptr, *decimal_ = nullptr, *span_ = nullptr;
    QLineEdit *template_ = nullptr, *downsample_ = nullptr;
    QListWidget* channels_ = nullptr;
    QCheckBox *time_ = nullptr, *zero_ = nullptr;
};

}  // namespace tessal
