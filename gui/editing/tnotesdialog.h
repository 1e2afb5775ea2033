// tnotesdialog: "Notes for channel n", opened from a channel's notes box.
// It shows the note lines, the colour of the notes box and the channel's
// creation stamp. "Save notes" (enabled once something changed) replaces
// the notes and the colour; "Cancel" leaves them.
#pragma once

#include <QDialog>

#include "engine/core/colors.h"
#include "engine/core/tdocument.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace tessal {

class tnotesdialog : public QDialog {
    Q_OBJECT

public:
    tnotesdialog(tdocument& doc, QWidget* owner);

    // Shows the dialog for channel chno; true when the notes were saved.
    bool edit(int chno);
    // The steps of edit(), for tests.
    bool load(int chno);
    void save();
    void set_color(TColor c);
    QPlainTextEdit* memo() const { return memo_; }
    QPushButton* savebutton() const { return save_; }

private:
    void changed();

    tdocument& doc_;
    int chno_ = -1;
    TColor color_ = 0xFFFFFF;
    QPlainTextEdit* memo_;
    QPushButton* colorbutton_;
    QLabel* stamp_[4];
    QPushButton* save_;
};

}  // namespace tessal
