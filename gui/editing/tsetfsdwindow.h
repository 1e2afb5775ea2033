// tsetfsdwindow: "Set Full Scale Deflection (FSD)". A heading that names the
// channels and the stretch the FSD follows (refreshed whenever the cursors,
// the current channel or the edit mode change), the level field in dB re
// FSD, "Keep channel imbalance" in stereo mode, "&Set FSD!" and "&Cancel".
// An unreadable level is reported and changes nothing.
#pragma once

#include <QWidget>

#include "engine/core/prompter.h"
#include "engine/core/tdocument.h"
#include "engine/core/tviewlistener.h"

class QCheckBox;
class QLabel;
class QLineEdit;

namespace tessal {

class tsetfsdwindow : public QWidget, public tviewlistener {
    Q_OBJECT

public:
    tsetfsdwindow(tdocument& doc, tprompter& prompter, QWidget* owner);
    ~tsetfsdwindow() override;

    QLineEdit* levelfield() const { return level_; }
    QCheckBox* imbalancebox() const { return imbalance_; }
    QString heading() const;
    bool set_fsd();
    void refresh();

    // tviewlistener
    void main_cursor_changed(bool) override { refresh(); }
    void fix_things() override { refresh(); }
    void channels_changed() override { refresh(); }
    void invalidate_paintboxes(bool) override { refresh(); }

protected:
    void showEvent(QShowEvent* e) override;

private:
    tdocument& doc_;
    tprompter& prompter_;
    QLabel* heading_;
    QLineEdit* level_;
    QCheckBox* imbalance_;
};

}  // namespace tessal
