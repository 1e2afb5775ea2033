// The "Calibration" window: the mode (level with its linear, A or C reading,
// RMS amplitude, two amplitudes, integral), the known value(s), the dB
// reference and the unit, the channel (or all channels) with its companion,
// the calibration label switch and "Calibrate!". The numbers and the
// changes to the channels are engine/tools/calibration's; this window reads
// the fields, shows the green and purple marks on the main window in
// two-amplitude mode and runs the command through the command guard.
#pragma once

#include <QWidget>

#include "engine/core/tviewlistener.h"
#include "engine/tools/calibration.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QRadioButton;

namespace tessal {

class tappcontext;

class tcalibrationwindow : public QWidget, public tviewlistener {
    Q_OBJECT

public:
    tcalibrationwindow(tappcontext& ctx, QWidget* owner);
    ~tcalibrationwindow() override;

    // -1 for "All channels".
    int channo() const { return channo_; }
    // From the main window: its current channel changed.
    void select_channel(int n);
    tcalibmode mode() const;
    void set_mode(tcalibmode m);
    void set_weighting(tcalibweighting w);
    QLineEdit* amplitudeedit() const { return amp1_; }
    QLineEdit* amplitude2edit() const { return amp2_; }
    QLineEdit* referenceedit() const { return reference_; }
    QLineEdit* unitedit() const { return unit_; }
    QComboBox* channelcombo() const { return channels_; }
    QCheckBox* companionbox() const { return companion_; }
    QCheckBox* labelsbox() const { return labels_; }
    QString amplitude_caption() const;
    QString amplitude2_caption() const;
    // "Calibrate!": false when a field is unreadable (with a message) or no
    // channel could be calibrated.
    bool calibrateExecute();
    void refresh();

    void fix_things() override;
    void channels_changed() override { fix_things(); }
    void invalidate_paintboxes(bool) override;

protected:
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;

private:
    void fill_channels();
    void channel_chosen(int index);
    void show_marks(bool on);

    tappcontext& ctx_;
    int channo_ = 0;
    int lastmainchan_ = -1;
    bool filling_ = false;
    QButtonGroup* modes_ = nullptr;
    QButtonGroup* weightings_ = nullptr;
    QWidget* weightingbox_ = nullptr;
    QLabel* amp1label_ = nullptr;
    QLabel* amp2label_ = nullptr;
    QLineEdit* amp1_ = nullptr;
    QLineEdit* amp2_ = nullptr;
    QLabel* referencelabel_ = nullptr;
    QLineEdit* reference_ = nullptr;
    QLineEdit* unit_ = nullptr;
    QComboBox* channels_ = nullptr;
    QCheckBox* companion_ = nullptr;
    QCheckBox* labels_ = nullptr;
};

}  // namespace tessal
