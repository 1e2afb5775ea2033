// TAxisLimitForm: layout, validation on every change and reading back.
#include "gui/widgets/taxislimitform.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "engine/core/taxis.h"
#include "engine/dsp/numformat.h"

namespace tessal {

TAxisLimitForm::TAxisLimitForm(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Axis limits");
    Label1 = new QLabel("High value", this);
    Edit1 = new QLineEdit(this);
    Label2 = new QLabel("Low value", this);
    Edit2 = new QLineEdit(this);
    logarithmiccheck = new QCheckBox("Logarithmic scale", this);
    Button1 = new QPushButton("&Ok", this);
    Button2 = new QPushButton("&Cancel", this);
    Button1->setDefault(true);
    Button1->setAutoDefault(true);
    Button2->setAutoDefault(false);

    auto* fields = new QVBoxLayout;
    fields->addWidget(Label1);
    fields->addWidget(Edit1);
    fields->addWidget(Label2);
    fields->addWidget(Edit2);
    fields->addWidget(logarithmiccheck);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    auto* main = new QVBoxLayout(this);
    main->addLayout(fields);
    main->addStretch(1);
    main->addLayout(buttons);
    resize(182, 184);

    connect(Edit1, &QLineEdit::textChanged, this, &TAxisLimitForm::check_ok);
    connect(Edit2, &QLineEdit::textChanged, this, &TAxisLimitForm::check_ok);
    connect(logarithmiccheck, &QCheckBox::toggled, this, &TAxisLimitForm::check_ok);
    connect(Button1, &QPushButton::clicked, this, [this] {
        okclicked = true;
        accept();
    });
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
}

void TAxisLimitForm::set_values(double lovalue, double hivalue, bool logarithmic, bool showlog) {
    flovalue = lovalue;
    fhivalue = hivalue;
    fshowlog = showlog;
    okclicked = false;
    Edit1->setText(QString::fromStdString(float_to_text(hivalue)));
    Edit2->setText(QString::fromStdString(float_to_text(lovalue)));
    logarithmiccheck->setChecked(logarithmic);
    logarithmiccheck->setVisible(showlog);
    check_ok();
}

void TAxisLimitForm::SetAxisText(const QString& text) {
    Label1->setText("High value " + text);
    Label2->setText("Low value " + text);
}

double TAxisLimitForm::hivalue() const {
    double v;
    return try_parse_float(Edit1->text().toStdString(), v) ? v : fhivalue;
}

double TAxisLimitForm::lovalue() const {
    double v;
    return try_parse_float(Edit2->text().toStdString(), v) ? v : flovalue;
}

bool TAxisLimitForm::logarithmic() const { return logarithmiccheck->isChecked(); }

void TAxisLimitForm::check_ok() {
    Button1->setEnabled(TAxis::limits_acceptable(Edit1->text().toStdString(),
                                                 Edit2->text().toStdString(), logarithmic()));
}

}  // namespace tessal
