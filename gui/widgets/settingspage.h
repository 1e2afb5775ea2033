// The pieces the settings tabs of the analysis windows are built from: a
// page that scrolls when the window is low, a titled group of radio buttons,
// and the FFT group (window, bandwidth, window length read-out).
#pragma once

#include <string>

#include <QString>
#include <QStringList>
#include <Qt>

class QButtonGroup;
class QComboBox;
class QLabel;
class QLineEdit;
class QObject;
class QGroupBox;
class QVBoxLayout;
class QWidget;

namespace tessal {

// `page` in a frameless scroll area that fits it to the width; when it does
// not scroll across, the area is at least as wide as the page's controls.
QWidget* scrolled_page(QWidget* page,
                       Qt::ScrollBarPolicy horizontal = Qt::ScrollBarAlwaysOff);

// Adds a group box titled `title` to `into` holding one radio button per
// item, numbered from 0 in the new button group `group` (owned by `owner`).
QGroupBox* add_radio_box(QVBoxLayout* into, const QString& title, QButtonGroup*& group,
                         const QStringList& items, QObject* owner);

struct tfftbox {
    QGroupBox* box = nullptr;
    QComboBox* window = nullptr;      // the five FFT windows by number
    QLineEdit* bandwidth = nullptr;   // object name "bandwidthedit"
    QLabel* length = nullptr;         // the window length read-out
    // Why a typed bandwidth was refused (the field's range), hidden while
    // there is nothing to say; object name "bandwidthproblem".
    QLabel* problem = nullptr;
};
// Shows `problem` (a rule from read_number_field, empty: none) under the
// bandwidth field.
void show_field_problem(QLabel* label, const std::string& problem);
// Adds the "FFT" group to `into`, its bandwidth edit showing `bandwidth`.
tfftbox add_fft_box(QVBoxLayout* into, const QString& bandwidth);

}  // namespace tessal
