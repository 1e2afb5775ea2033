#include "gui/editing/tsetfsdwindow.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "engine/document/channelcommands.h"
#include "engine/dsp/numformat.h"
#include "gui/commands/commandguard.h"

namespace tessal {

tsetfsdwindow::tsetfsdwindow(tdocument& doc, tprompter& prompter, QWidget* owner)
    : QWidget(owner, Qt::Tool), doc_(doc), prompter_(prompter) {
    setWindowTitle("Set Full Scale Deflection (FSD)");
    heading_ = new QLabel(this);
    heading_->setObjectName("heading");
    heading_->setWordWrap(true);
    level_ = new QLineEdit("-20", this);
    level_->setObjectName("level");
    level_->setMaximumWidth(90);
    imbalance_ = new QCheckBox("Keep channel imbalance", this);
    imbalance_->setObjectName("imbalance");
    imbalance_->setChecked(true);
    auto* setbutton = new QPushButton("&Set FSD!", this);
    setbutton->setObjectName("setfsd");
    auto* cancel = new QPushButton("&Cancel", this);
    connect(setbutton, &QPushButton::clicked, this, [this] { run_guarded(&doc_, [this] { set_fsd(); }); });
    connect(cancel, &QPushButton::clicked, this, &QWidget::hide);
    auto* levelrow = new QHBoxLayout;
    levelrow->addWidget(level_);
    levelrow->addWidget(new QLabel("dB re FSD", this));
    levelrow->addStretch();
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(setbutton);
    buttons->addWidget(cancel);
    auto* top = new QVBoxLayout(this);
    top->addWidget(heading_);
    top->addLayout(levelrow);
    top->addWidget(imbalance_);
    top->addStretch();
    top->addLayout(buttons);
    setMinimumWidth(420);
    resize(420, 170);
    doc_.theglobal.add_listener(this);
    refresh();
}

tsetfsdwindow::~tsetfsdwindow() { doc_.theglobal.remove_listener(this); }

QString tsetfsdwindow::heading() const { return heading_->text(); }

void tsetfsdwindow::refresh() {
    heading_->setText(doc_.totnchans() > 0 ? QString::fromStdString(setfsd_heading(doc_)) : QString());
    imbalance_->setVisible(doc_.selectmode == selstereo);
}

void tsetfsdwindow::showEvent(QShowEvent* e) {
    refresh();
    QWidget::showEvent(e);
}

bool tsetfsdwindow::set_fsd() {
    if (set_fsd_to_level(doc_, level_->text().toStdString(), imbalance_->isChecked())) return true;
    if (doc_.totnchans() == 0) return false;
    double v;
    if (!try_parse_float(level_->text().toStdString(), v))
        prompter_.warn("'" + level_->text().toStdString() + "' is not a valid level",
                       "Set Full Scale Deflection (FSD)");
    else
        prompter_.warn("The FSD was not changed: there is no signal to measure",
                       "Set Full Scale Deflection (FSD)");
    return false;
}

}  // namespace tessal
