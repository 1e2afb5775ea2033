// The Colors dialog: the channels as "index: name"; "Change color" or a
// double click opens a colour chooser for the selected channel's colour,
// which recolours it at once. Channel colours are not stored between runs.
#pragma once

#include <QColor>
#include <QDialog>
#include <functional>

#include "engine/core/tdocument.h"

class QListWidget;

namespace tessal {

class tcolorsdialog : public QDialog {
    Q_OBJECT

public:
    tcolorsdialog(tdocument& doc, QWidget* parent);

    // Chooses the colour in place of the colour dialog (tests); false cancels.
    std::function<bool(QColor&)> choose_color;

    void fill();
    // Changes the colour of the selected channel.
    void change_color();
    QListWidget* list() const { return list_; }

protected:
    void showEvent(QShowEvent* e) override;

private:
    tdocument& doc_;
    QListWidget* list_;
};

}  // namespace tessal
