#include "gui/editing/tchannelinfodialog.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "engine/document/channelcommands.h"
#include "engine/dsp/numformat.h"
#include "gui/commands/commandguard.h"

namespace tessal {

tchannelinfodialog::tchannelinfodialog(tdocument& doc, tprompter& prompter, QWidget* owner)
    : QDialog(owner), doc_(doc), prompter_(prompter) {
    setWindowTitle("Channel information");
    setModal(true);
    channels_ = new QListWidget(this);
    channels_->setObjectName("channels");
    channels_->setMaximumWidth(230);
    auto edit = [this](const char* name) {
        auto* e = new QLineEdit(this);
        e->setObjectName(name);
        e->setMinimumWidth(220);
        return e;
    };
    name_ = edit("name");
    unit_ = edit("unit");
    fsd_ = edit("fsd");
    rate_ = edit("sampfreq");
    shift_ = edit("timeshift");
    dbref_ = edit("dbreference");
    companion_ = new QComboBox(this);
    companion_->setObjectName("companion");
    companion_->setMinimumWidth(220);
    dbrefcaption_ = new QLabel(QString::fromStdString(dbreference_caption("")), this);
    auto* restorerate = new QPushButton("Restore!", this);
    restorerate->setObjectName("restorerate");
    auto* restoreshift = new QPushButton("Restore!", this);
    restoreshift->setObjectName("restoreshift");
    auto* applybutton = new QPushButton("Apply!", this);
    applybutton->setObjectName("apply");
    auto* close = new QPushButton("Close", this);

    connect(restorerate, &QPushButton::clicked, this, [this] {
        if (chno_ >= 0 && chno_ < doc_.totnchans())
            rate_->setText(QString::fromStdString(float_to_text(doc_.channel(chno_).orgsampfreq)));
    });
    connect(restoreshift, &QPushButton::clicked, this, [this] { shift_->setText("0"); });
    connect(unit_, &QLineEdit::textChanged, this, [this](const QString& u) {
        dbrefcaption_->setText(QString::fromStdString(dbreference_caption(u.toStdString())));
    });
    connect(applybutton, &QPushButton::clicked, this, [this] {
        if (!run_guarded(&doc_, [this] { apply(); })) fill();  // show what the channel holds
    });
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    connect(channels_, &QListWidget::currentRowChanged, this, [this](int r) {
        if (!filling_) choose(r);
    });
    connect(channels_, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
        if (filling_) return;
        set_channel_visible(doc_, channels_->row(item), item->checkState() == Qt::Checked);
    });

    auto* grid = new QGridLayout;
    int row = 0;
    auto add = [&](const QString& caption, QWidget* w, QWidget* extra = nullptr) {
        grid->addWidget(new QLabel(caption, this), row, 0);
        grid->addWidget(w, row, 1);
        if (extra) grid->addWidget(extra, row, 2);
        ++row;
    };
    add("Name", name_);
    add("Unit", unit_);
    add("Full scale ", fsd_);
    add("Sampling rate", rate_, restorerate);
    add("Stereo companion channel", companion_);
    add("Time shift [s]", shift_, restoreshift);
    grid->addWidget(dbrefcaption_, row, 0);
    grid->addWidget(dbref_, row, 1);
    grid->setRowStretch(row + 1, 1);
    grid->setColumnStretch(1, 1);

    auto* left = new QVBoxLayout;
    left->addWidget(new QLabel("Channels", this));
    left->addWidget(channels_);
    auto* columns = new QHBoxLayout;
    columns->addLayout(left);
    columns->addLayout(grid, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(applybutton);
    buttons->addWidget(close);
    auto* top = new QVBoxLayout(this);
    top->addLayout(columns, 1);
    top->addLayout(buttons);
    resize(720, 320);
}

QLineEdit* tchannelinfodialog::field(const char* name) const {
    return findChild<QLineEdit*>(QString::fromUtf8(name));
}

void tchannelinfodialog::fill() {
    filling_ = true;
    const int keep = chno_ >= 0 && chno_ < doc_.totnchans() ? chno_ : doc_.thischanno();
    channels_->clear();
    companion_->clear();
    companion_->addItem("none");
    for (int c = 0; c < doc_.totnchans(); ++c) {
        const QString t = QString::fromStdString(channel_list_text(doc_, c));
        auto* item = new QListWidgetItem(t, channels_);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(doc_.channel(c).visible() ? Qt::Checked : Qt::Unchecked);
        companion_->addItem(t);
    }
    filling_ = false;
    if (doc_.totnchans() > 0) {
        channels_->setCurrentRow(keep);
        choose(keep);
    } else {
        chno_ = -1;
    }
}

void tchannelinfodialog::choose(int chno) {
    if (chno < 0 || chno >= doc_.totnchans()) return;
    chno_ = chno;
    tchannelinfo info = channel_info(doc_, chno);
    name_->setText(QString::fromStdString(info.name));
    unit_->setText(QString::fromStdString(info.unit));
    fsd_->setText(QString::fromStdString(info.fsd));
    rate_->setText(QString::fromStdString(info.sampfreq));
    companion_->setCurrentIndex(info.stereochanno + 1);
    shift_->setText(QString::fromStdString(info.timeshift));
    dbref_->setText(QString::fromStdString(info.dbreference));
    // Long names show from their start.
    for (QLineEdit* e : {name_, unit_, fsd_, rate_, shift_, dbref_}) e->setCursorPosition(0);
}

void tchannelinfodialog::showEvent(QShowEvent* e) {
    chno_ = -1;  // start at the current channel
    fill();
    QDialog::showEvent(e);
}

bool tchannelinfodialog::apply() {
    if (chno_ < 0 || chno_ >= doc_.totnchans()) return false;
    tchannelinfo info;
    info.name = name_->text().toStdString();
    info.unit = unit_->text().toStdString();
    info.fsd = fsd_->text().toStdString();
    info.sampfreq = rate_->text().toStdString();
    info.stereochanno = companion_->currentIndex() - 1;
    info.timeshift = shift_->text().toStdString();
    info.dbreference = dbref_->text().toStdString();
    std::string err = apply_channel_info(doc_, chno_, info);
    if (!err.empty()) {
        prompter_.warn(err, "Channel information");
        return false;
    }
    const int keep = chno_;
    fill();  // names and partners in the lists
    choose(keep);
    return true;
}

}  // namespace tessal
