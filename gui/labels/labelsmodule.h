// The labels feature of the main window: the Labels menu (log, add, select
// and delete labels, with the submenu of label types) and the "Label
// properties" window, which a double-click on a label in the signal view
// opens. The work is the engine's labelcommands.
#pragma once

#include <QObject>

class QInputDialog;
class QWidget;
#include <functional>
#include <optional>
#include <string>

#include "gui/context/appcontext.h"

namespace tessal {

class tlabelpropertiesdialog;

// The dialog F7 asks the label text in ("Enter label text", "Text:"), wide
// enough for its caption in the title bar.
QInputDialog* make_label_text_dialog(QWidget* parent);

class tlabelsmodule : public QObject, public tfeaturemodule {
    Q_OBJECT

public:
    explicit tlabelsmodule(tappcontext& ctx);

    // The label text F7 asks for; nullopt when cancelled. Tests replace it.
    std::function<std::optional<std::string>()> ask_label_text;

    // A double-click on a label.
    void edit_label(int chno, int labelno);

private:
    tlabelpropertiesdialog* properties_ = nullptr;
};

}  // namespace tessal
