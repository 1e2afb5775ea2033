// "Record from soundcard" and its hidden variant "Advanced record...": the
// controls, the level meters with peak holds, the two-second overviews and
// the button states. The work (device, target channels, deliveries,
// overload labels) is the engine's trecorder; this window forwards the
// buttons and paints what the recorder holds after each delivery.
#pragma once

#include <QDialog>
#include <QVariant>
#include <array>
#include <memory>

#include "engine/audio/recorder.h"
#include "engine/core/tviewlistener.h"
#include "engine/history/recordspool.h"
#include "gui/platform/qtaudiodevice.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace tessal {

class tappcontext;
class TAxisWidget;
class tlevelmeter;
class toverviewbox;

class trecorddialog : public QDialog, private tviewlistener {
public:
    trecorddialog(tappcontext& ctx, bool advanced, QWidget* parent);
    ~trecorddialog() override;

    trecorder& recorder() { return *rec_; }
    // The buttons, as a click would run them.
    void record_clicked();
    void test_clicked();
    void pause_clicked();
    // Waits until what was recorded is in the spool file (tests).
    void flush_spool() {
        if (spool_) spool_->flush();
    }

protected:
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    void start(bool test);
    void delivered();
    // The recording as one undo step: begun before the channels are
    // prepared, committed when the device has closed; its spool meanwhile.
    void open_spool();
    void finish_step();
    void update_states();
    // The target lists as the document is now, keeping each choice by the
    // channel it names (or "Record to new channel"), or choosing `l` and `r`
    // when given (a channel id, -1 for a new channel).
    void fill_targets(QVariant l = {}, QVariant r = {});
    void fill_devices();
    void fix_things() override;
    tchannelmode mode() const;

    tappcontext& ctx_;
    bool advanced_;
    std::unique_ptr<taudioinput> in_;
    std::unique_ptr<trecorder> rec_;
    std::unique_ptr<trecordspool> spool_;
    std::array<int, 2> spoolside_{-1, -1};  // the spool's target of each side
    bool stepopen_ = false;
    std::array<QVariant, 2> used_;  // the targets the recording was started with
    bool wasrecording_ = false;
    bool shown_ = false;

    QRadioButton* modes_[4];
    QLineEdit* rate_;
    QCheckBox* companions_;
    QCheckBox* use24_;
    QComboBox* left_;
    QComboBox* right_;
    QLabel* leftlabel_;
    QLabel* rightlabel_;
    QComboBox* device_;
    QLabel* nodevice_;
    QPushButton* close_;
    QPushButton* record_;
    QPushButton* test_;
    QPushButton* pause_;
    TAxisWidget* laxis_;
    tlevelmeter* meters_[2];
    QPushButton* readouts_[2];
    toverviewbox* overviews_[2] = {nullptr, nullptr};
};

}  // namespace tessal
