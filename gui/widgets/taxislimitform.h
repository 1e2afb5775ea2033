// TAxisLimitForm: the small "Axis limits" dialog an axis opens on a double
// click. It shows the high and low value (and, when the axis allows it, the
// logarithmic flag) and enables OK only while TAxis::limits_acceptable holds
// for what is typed. A field that does not parse reads as the value the
// dialog was opened with.
#pragma once

#include <QDialog>
#include <QString>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace tessal {

class TAxisLimitForm : public QDialog {
    Q_OBJECT

public:
    explicit TAxisLimitForm(QWidget* parent = nullptr);

    // Fills the edits; the check box is shown only when showlog is set.
    void set_values(double lovalue, double hivalue, bool logarithmic, bool showlog);
    // Relabels to "High value " + text and "Low value " + text.
    void SetAxisText(const QString& text);

    double hivalue() const;
    double lovalue() const;
    bool logarithmic() const;
    bool okclicked = false;

    QLabel* Label1;
    QLineEdit* Edit1;
    QLabel* Label2;
    QLineEdit* Edit2;
    QCheckBox* logarithmiccheck;
    QPushButton* Button1;
    QPushButton* Button2;

private slots:
    void check_ok();

private:
    double flovalue = 0;
    double fhivalue = 1;
    bool fshowlog = false;
};

}  // namespace tessal
