// The "Frequency range " dialog: two frequencies in Hz, low " to " high,
// for the spectrum window's band list. A field that does not parse keeps
// the value the dialog was opened with.
#pragma once

#include <QDialog>

class QLineEdit;

namespace tessal {

class tfrequencyrangedialog : public QDialog {
    Q_OBJECT

public:
    explicit tfrequencyrangedialog(QWidget* parent = nullptr);
    // Opens with lo and hi; true (and both read back) on OK.
    bool ask(double& lo, double& hi);
    QLineEdit* loedit() const { return lo_; }
    QLineEdit* hiedit() const { return hi_; }
    // What OK gives for fields opened with lo and hi.
    void values(double& lo, double& hi) const;

private:
    QLineEdit* lo_;
    QLineEdit* hi_;
};

}  // namespace tessal
