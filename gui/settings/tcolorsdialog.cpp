#include "gui/settings/tcolorsdialog.h"

#include <QColorDialog>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

#include "gui/widgets/viewcolors.h"
#include "gui/commands/commandguard.h"

namespace tessal {

namespace {

QIcon swatch(TColor c) {
    QPixmap pm(14, 14);
    pm.fill(qcolor(c));
    QPainter p(&pm);
    p.setPen(Qt::darkGray);
    p.drawRect(0, 0, 13, 13);
    return QIcon(pm);
}

TColor tcolor(const QColor& c) {
    return static_cast<TColor>(c.red()) | static_cast<TColor>(c.green()) << 8 |
           static_cast<TColor>(c.blue()) << 16;
}

}  // namespace

tcolorsdialog::tcolorsdialog(tdocument& doc, QWidget* parent)
    : QDialog(parent, Qt::Tool), doc_(doc) {
    setWindowTitle("Colors");
    setObjectName("ColorsDialog");
    list_ = new QListWidget(this);
    list_->setMinimumSize(260, 180);
    connect(list_, &QListWidget::itemDoubleClicked, this,
            [this] { run_guarded(&doc_, [this] { change_color(); }); });
    auto* change = new QPushButton("Change color", this);
    auto* close = new QPushButton("Close", this);
    connect(change, &QPushButton::clicked, this,
            [this] { run_guarded(&doc_, [this] { change_color(); }); });
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(change);
    buttons->addStretch();
    buttons->addWidget(close);
    auto* all = new QVBoxLayout(this);
    all->addWidget(list_);
    all->addLayout(buttons);
}

void tcolorsdialog::showEvent(QShowEvent* e) {
    fill();
    QDialog::showEvent(e);
}

void tcolorsdialog::fill() {
    const int keep = list_->currentRow();
    list_->clear();
    for (int i = 0; i < doc_.totnchans(); ++i) {
        const tchannel& ch = doc_.channel(i);
        list_->addItem(new QListWidgetItem(swatch(ch.color), QString::number(i) + ": " +
                                                                 QString::fromStdString(ch.name())));
    }
    if (list_->count() > 0)
        list_->setCurrentRow(keep >= 0 && keep < list_->count() ? keep
                                                                : std::min(doc_.thischanno(),
                                                                           list_->count() - 1));
}

void tcolorsdialog::change_color() {
    const int row = list_->currentRow();
    if (row < 0 || row >= doc_.totnchans()) return;
    QColor c = qcolor(doc_.channel(row).color);
    bool ok = false;
    if (choose_color) {
        ok = choose_color(c);
    } else {
        const QColor chosen = QColorDialog::getColor(c, this, "Channel color");
        ok = chosen.isValid();
        c = chosen;
    }
    if (!ok || !c.isValid()) return;
    doc_.channel(row).color = tcolor(c);
    fill();
    doc_.theglobal.invalidate_paintboxes(true);
}

}  // namespace tessal
