// tstepformdialog: the one dialog that shows any step's settings form.
//
// A step describes its dialog as a tstepform (engine/process/tstepform.h);
// this class draws it: one-line edits for text and numbers (a number is
// checked against its range while it is typed and the rule shows under the
// fields), check boxes with their companion field on the same row, radio
// groups, drop-down lists, titled frames and notes. After each edit the
// form's onchange runs and every widget is brought back in line with the
// form (visibility, enabling, filled-in values, note texts). OK hands the
// form to the step's apply_form: a refused value is shown and the dialog
// stays open; Cancel leaves the step as it was.
#pragma once

#include <QDialog>
#include <map>
#include <memory>
#include <string>

#include "engine/core/prompter.h"
#include "engine/process/tprocstep.h"
#include "engine/process/tstepform.h"

class QDialogButtonBox;
class QFormLayout;
class QLabel;
class QWidget;

namespace tessal {

class tstepformdialog : public QDialog {
    Q_OBJECT

public:
    // `form` is the step's own (settings_form); the dialog keeps it.
    tstepformdialog(tprocstep& step, std::unique_ptr<tstepform> form, tprompter& prompter,
                    QWidget* parent = nullptr);

    tstepform& form() { return *form_; }
    // The widget drawn for a field (a QLineEdit, QCheckBox, QComboBox, the
    // radio group's frame with its QRadioButtons, a QLabel for notes).
    QWidget* widget(const std::string& key) const;
    // The rule a number field's text breaks, as shown under the fields.
    QString problem_text() const;
    // OK as the button does it: true when the step took the values.
    bool try_accept();
    // The step whose settings the dialog shows.
    tprocstep& step() const { return step_; }

    void done(int r) override;

protected:
    void showEvent(QShowEvent* e) override;

private:
    void build();
    // The first size: the whole form, within the screen.
    void size_to_form();
    void edited(const std::string& key);
    void sync();

    tprocstep& step_;
    std::unique_ptr<tstepform> form_;
    tprompter& prompter_;
    std::map<std::string, QWidget*> widgets_;  // per field key
    std::map<std::string, QWidget*> rows_;     // what hides with the field
    std::map<std::string, QFormLayout*> layouts_;  // the layout holding the row
    QLabel* problem_ = nullptr;
    QDialogButtonBox* buttons_ = nullptr;
    bool syncing_ = false;
};

}  // namespace tessal
