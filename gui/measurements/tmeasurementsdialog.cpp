#include "gui/measurements/tmeasurementsdialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QVBoxLayout>

#include "engine/core/prompter.h"
#include "engine/core/tdocument.h"
#include "engine/measurements/measurements.h"
#include "engine/dsp/numformat.h"
#include "gui/commands/commandguard.h"

namespace tessal {

const char* tmeasurementsdialog::caption(int item) {
    static const char* const captions[nmeasurementitems] = {
        "Channel number", "File name", "Channel name", "Sampling rate",
        "Time", "Value", "Level re FSD", "Level re reference",
        "Selection start time", "Selection end time", "Selection duration",
        "1 / Selection duration", "Integral", "Average value",
        "Average value of positive samples", "Average of samples > ", "Value at start",
        "Value at end", "Minimum value", "Maximum value", "Peak value", "Peak level re FSD",
        "Peak level re reference", "Standard deviation",
        "Standard deviation of positive samples", "RMS value", "RMS level re FSD",
        "RMS level re reference", "RMS level re reference (dBA)",
        "RMS level re reference (dBC)", "Crest factor", "Crest level"};
    return item >= 0 && item < nmeasurementitems ? captions[item] : "";
}

tmeasurementsdialog::tmeasurementsdialog(tdocument& doc, tmeasurements& meas,
                                         tprompter& prompter, QWidget* owner)
    : QDialog(owner), doc_(doc), meas_(meas), prompter_(prompter) {
    setWindowTitle("Measurements");
    setModal(true);
    for (int i = 0; i < nmeasurementitems; ++i) {
        boxes_[i] = new QCheckBox(caption(i), this);
        boxes_[i]->setObjectName(QString("item%1").arg(i));
    }
    threshold_ = new QLineEdit(this);
    threshold_->setObjectName("threshold");
    threshold_->setMaximumWidth(80);

    // A long group goes down in two columns, so the dialog fits a low
    // screen (or a large scale).
    auto group = [this](const char* title, int first, int last) {
        auto* g = new QGroupBox(title, this);
        auto* l = new QGridLayout(g);
        const int rows = last - first + 1 > 12 ? (last - first + 2) / 2 : last - first + 1;
        for (int i = first; i <= last; ++i) {
            const int row = (i - first) % rows, col = (i - first) / rows;
            if (i == 15) {
                auto* line = new QHBoxLayout;
                line->addWidget(boxes_[i]);
                line->addWidget(threshold_);
                line->addStretch();
                l->addLayout(line, row, col);
            } else {
                l->addWidget(boxes_[i], row, col);
            }
        }
        l->setRowStretch(rows, 1);
        return g;
    };
    auto* left = new QVBoxLayout;
    left->addWidget(group("Show ...", 0, 3));
    left->addWidget(group("Show measurements at cursor", 4, 7));
    auto* columns = new QHBoxLayout;
    columns->addLayout(left);
    columns->addWidget(group("Show measurements for selection", 8, 31));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] { run_guarded(&doc_, [this] { accept(); }); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* top = new QVBoxLayout(this);
    top->addLayout(columns);
    top->addWidget(buttons);
}

void tmeasurementsdialog::showEvent(QShowEvent* e) {
    for (int i = 0; i < nmeasurementitems; ++i) boxes_[i]->setChecked(doc_.showmeasurement[i]);
    threshold_->setText(QString::fromStdString(float_to_text(doc_.measurementthreshold)));
    QDialog::showEvent(e);
}

void tmeasurementsdialog::accept() {
    double t = 0;
    try {
        t = parse_float_dot(threshold_->text().toStdString());
    } catch (const EConvertError& err) {
        // The dialog stays open so the number can be corrected.
        prompter_.error(err.what());
        return;
    }
    for (int i = 0; i < nmeasurementitems; ++i) doc_.showmeasurement[i] = boxes_[i]->isChecked();
    doc_.measurementthreshold = t;
    meas_.set_measurementdirty();
    doc_.theglobal.invalidate_paintboxes(true);
    QDialog::accept();
}

}  // namespace tessal
