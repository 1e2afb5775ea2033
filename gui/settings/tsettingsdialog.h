// The Settings dialog: number display, dither, save formats offered, data
// loss warnings, drawing switches, default sample rate, overload margin, the
// axis font and where the settings live. It edits a copy: "&Ok" (enabled
// only while every edit holds a valid number) copies the values into the
// document's preferences and the save-format table and redraws the views;
// "&Cancel" drops them. Opening the dialog reloads the current values.
#pragma once

#include <QDialog>
#include <QFont>
#include <functional>
#include <vector>

#include "engine/core/tdocument.h"
#include "engine/formats/saveformats.h"

class QButtonGroup;
class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace tessal {

class tsettingsdialog : public QDialog {
    Q_OBJECT

public:
    tsettingsdialog(tdocument& doc, std::vector<tsavefilter>& savefilter, QWidget* parent);

    // The folder shown under "Settings folder:".
    void set_settings_folder(const QString& folder);
    // Called after Ok copied the values (the save dialog's index is checked there).
    std::function<void()> applied;
    // Chooses the axis font in place of the font dialog (tests).
    std::function<bool(QFont&)> choose_font;

    // Fills the controls from the document (done on every show).
    void load();
    // What Ok does.
    void apply();
    QPushButton* okbutton() const { return ok_; }

protected:
    void showEvent(QShowEvent* e) override;
    bool eventFilter(QObject* o, QEvent* e) override;

private:
    void update_samples();
    void change_font();

    tdocument& doc_;
    std::vector<tsavefilter>& savefilter_;
    QLineEdit *digits_, *seconds_, *levels_, *samprate_, *margin_;
    QLabel *digitssample_, *secondssample_, *levelssample_, *folder_;
    QLabel* problem_ = nullptr;  // why Ok is disabled
    QButtonGroup* dither_;
    QListWidget* formats_;
    QCheckBox *warnsmp_, *warnwav_, *asklabel_, *ctrlzundoes_, *infocolor_, *quickdraw_, *antialias_;
    QPushButton* ok_;
};

// "0." followed by n zeros, n clamped to 0..20, and the number of decimals
// of such a format.
std::string decimals_format(long long n);
int format_decimals(const std::string& format);

}  // namespace tessal
