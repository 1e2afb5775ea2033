#include "gui/sound/soundcarddialog.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace tessal {

tsoundcarddialog::tsoundcarddialog(std::function<std::vector<std::string>()> names, int& deviceid,
                                   QWidget* parent)
    : QDialog(parent), names_(std::move(names)), deviceid_(deviceid) {
    setObjectName("SoundcardDialog");
    setWindowTitle("Soundcard settings");
    auto* v = new QVBoxLayout(this);
    v->addWidget(new QLabel("Playback soundcard", this));
    list_ = new QComboBox(this);
    list_->setObjectName("soundcardlist");
    list_->setMinimumWidth(280);
    v->addWidget(list_);
    auto* h = new QHBoxLayout;
    h->addStretch();
    auto* ok = new QPushButton("&Ok", this);
    auto* cancel = new QPushButton("&Cancel", this);
    ok->setDefault(true);
    h->addWidget(ok);
    h->addWidget(cancel);
    v->addLayout(h);
    connect(ok, &QPushButton::clicked, this, [this] {
        deviceid_ = list_->currentIndex() - 1;
        accept();
    });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void tsoundcarddialog::showEvent(QShowEvent* e) {
    list_->clear();
    list_->addItem("Windows default soundcard");
    for (const std::string& n : names_()) list_->addItem(QString::fromStdString(n));
    list_->setCurrentIndex(std::clamp(deviceid_ + 1, 0, list_->count() - 1));
    QDialog::showEvent(e);
}

}  // namespace tessal
