#include "gui/spectrum/tfrequencyrangedialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <cmath>

#include "engine/dsp/numformat.h"

namespace tessal {

tfrequencyrangedialog::tfrequencyrangedialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Frequency range ");
    auto* v = new QVBoxLayout(this);
    v->addWidget(new QLabel("Frequency range [Hz]"));
    auto* row = new QHBoxLayout;
    lo_ = new QLineEdit;
    hi_ = new QLineEdit;
    row->addWidget(lo_);
    row->addWidget(new QLabel(" to "));
    row->addWidget(hi_);
    v->addLayout(row);
    auto* buttons = new QHBoxLayout;
    auto* ok = new QPushButton("&Ok");
    ok->setDefault(true);
    auto* cancel = new QPushButton("&Cancel");
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    v->addLayout(buttons);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void tfrequencyrangedialog::values(double& lo, double& hi) const {
    double x = 0;
    if (try_parse_float(lo_->text().toStdString(), x) && std::isfinite(x)) lo = x;
    if (try_parse_float(hi_->text().toStdString(), x) && std::isfinite(x)) hi = x;
}

bool tfrequencyrangedialog::ask(double& lo, double& hi) {
    lo_->setText(QString::fromStdString(float_to_text(lo)));
    hi_->setText(QString::fromStdString(float_to_text(hi)));
    if (exec() != QDialog::Accepted) return false;
    values(lo, hi);
    return true;
}

}  // namespace tessal
