#include "gui/editing/teditlevelsdialog.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "engine/document/levels.h"
#include "engine/dsp/numformat.h"
#include "gui/commands/commandguard.h"

namespace tessal {

teditlevelsdialog::teditlevelsdialog(tdocument& doc, tprompter& prompter, const tviewstate* view,
                                     QWidget* owner)
    : QDialog(owner), doc_(doc), prompter_(prompter), view_(view) {
    setWindowTitle("Edit levels");
    setModal(true);
    auto* group = new QGroupBox("Type of change", this);
    auto* gl = new QVBoxLayout(group);
    for (int i = 0; i < 6; ++i) {
        types_[i] = new QRadioButton(leveltype_captions[i], group);
        types_[i]->setObjectName(QString("type%1").arg(i));
        gl->addWidget(types_[i]);
        connect(types_[i], &QRadioButton::toggled, this, [this](bool on) {
            if (on) update_fields();
        });
    }
    startcaption_ = new QLabel(this);
    endcaption_ = new QLabel(this);
    start_ = new QLineEdit("0", this);
    start_->setObjectName("start");
    end_ = new QLineEdit("0", this);
    end_->setObjectName("end");
    ramp_ = new QLineEdit("30", this);
    ramp_->setObjectName("ramp");
    readavg_ = new QPushButton("Read avg between red && blue cursors", this);
    readavg_->setObjectName("readavg");
    connect(readavg_, &QPushButton::clicked, this, [this] { run_guarded(&doc_, [this] { read_average(); }); });

    auto* fields = new QGridLayout;
    fields->addWidget(startcaption_, 0, 0);
    fields->addWidget(start_, 0, 1);
    fields->addWidget(endcaption_, 1, 0);
    fields->addWidget(end_, 1, 1);
    fields->addWidget(new QLabel("On-/offset time [ms]", this), 2, 0);
    fields->addWidget(ramp_, 2, 1);
    fields->addWidget(readavg_, 3, 0, 1, 2);
    fields->setRowStretch(4, 1);
    fields->setColumnMinimumWidth(0, 170);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        bool done = false;
        run_guarded(&doc_, [&] { done = apply(); });
        if (done) accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* columns = new QHBoxLayout;
    columns->addWidget(group);
    columns->addLayout(fields, 1);
    auto* top = new QVBoxLayout(this);
    top->addLayout(columns);
    top->addWidget(buttons);
    types_[0]->setChecked(true);
    update_fields();
}

int teditlevelsdialog::type() const {
    for (int i = 0; i < 6; ++i)
        if (types_[i]->isChecked()) return i;
    return 0;
}

void teditlevelsdialog::set_type(int t) {
    if (t >= 0 && t < 6) types_[t]->setChecked(true);
}

void teditlevelsdialog::showEvent(QShowEvent* e) {
    update_fields();
    QDialog::showEvent(e);
}

void teditlevelsdialog::update_fields() {
    const int t = type();
    const std::string unit =
        doc_.totnchans() > 0 ? doc_.channel(doc_.thischanno()).yunit() : std::string();
    startcaption_->setText(QString::fromStdString(levels_start_caption(t, unit)));
    endcaption_->setText(QString::fromStdString(levels_end_caption(t)));
    startcaption_->setVisible(levels_shows_start(t));
    start_->setVisible(levels_shows_start(t));
    endcaption_->setVisible(levels_shows_end(t));
    end_->setVisible(levels_shows_end(t));
    readavg_->setVisible(levels_shows_readavg(t, doc_.selectmode));
    readavg_->setEnabled(view_ && view_->showcursors[1] && view_->showcursors[2]);
}

void teditlevelsdialog::read_average() {
    if (doc_.totnchans() == 0) return;
    start_->setText(QString::fromStdString(
        float_to_text(read_avg_between_marks(doc_.channel(doc_.thischanno())))));
}

bool teditlevelsdialog::apply() {
    std::string why;
    if (edit_levels(doc_, type(), start_->text().toStdString(), end_->text().toStdString(),
                    ramp_->text().toStdString(), &why))
        return true;
    if (doc_.totnchans() == 0) return true;  // nothing to change: just close
    if (!why.empty()) {
        prompter_.warn(why, "Edit levels");
        return false;
    }
    prompter_.warn("Please type numbers in the fields (a time not below 0)", "Edit levels");
    return false;
}

}  // namespace tessal
