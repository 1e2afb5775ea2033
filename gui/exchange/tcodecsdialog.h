// The "Codecs" dialog: the list of external converters with their name,
// file extension, program and parameters. "Save and close" stores the list
// in the main window's codec list and writes the settings file at once;
// "Cancel" discards the edits.
#pragma once

#include <QDialog>
#include <functional>
#include <vector>

#include "engine/settings/settingsfile.h"

class QCheckBox;
class QLineEdit;
class QListWidget;

namespace tessal {

struct tcodeclist;

class tcodecsdialog : public QDialog {
    Q_OBJECT

public:
    tcodecsdialog(tcodeclist& codecs, QWidget* owner);
    const std::vector<tcodecentry>& edited() const { return edit_; }
    void addExecute();
    void deleteExecute();
    void saveExecute();
    void select(int row);
    // Asks for the program; tests replace it.
    std::function<QString()> ask_program;

protected:
    void showEvent(QShowEvent* e) override;

private:
    void load();
    void fields_to_entry();
    void entry_to_fields();
    void refresh_list();

    tcodeclist& codecs_;
    std::vector<tcodecentry> edit_;
    int current_ = -1;
    bool writing_ = false;
    QListWidget* list_ = nullptr;
    QLineEdit *name_ = nullptr, *ext_ = nullptr, *exe_ = nullptr, *params_ = nullptr;
    QCheckBox* show_ = nullptr;
};

}  // namespace tessal
