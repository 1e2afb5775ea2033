#include "gui/editing/talignchannelsdialog.h"

#include <QCheckBox>
#include <algorithm>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "engine/document/channelcommands.h"
#include "engine/view/viewstate.h"
#include "gui/commands/commandguard.h"

namespace tessal {

talignchannelsdialog::talignchannelsdialog(tdocument& doc, tprompter& prompter,
                                           const tviewstate* view, QWidget* owner)
    : QDialog(owner), doc_(doc), prompter_(prompter), view_(view) {
    setWindowTitle("Align channels");
    setModal(true);
    reference_ = new QListWidget(this);
    reference_->setObjectName("reference");
    checks_ = new QListWidget(this);
    checks_->setObjectName("channels");
    auto* text1 = new QLabel(
        "Alignment between channels is made by shifiting the signal timewise, and by adjusting "
        "the sampling rate tag of the file. The samples are unaffected.",
        this);
    auto* text2 = new QLabel(
        "Move the red and blue cursors to two locations far apart in the file that you want "
        "aligned.",
        this);
    text1->setWordWrap(true);
    text2->setWordWrap(true);
    markshint_ = new QLabel(
        "The red and blue cursors are hidden: show them with View > Show red and blue marks, "
        "place them, then align.",
        this);
    markshint_->setObjectName("markshint");
    markshint_->setWordWrap(true);
    onlyshift_ = new QCheckBox("Only shift the signal, but keep the sampling rate", this);
    onlyshift_->setObjectName("onlyshift");
    alignbutton_ = new QPushButton("Align the selected channels to the reference channel!", this);
    alignbutton_->setObjectName("align");
    auto* removebutton = new QPushButton("Remove alignment for the selected channels!", this);
    removebutton->setObjectName("remove");
    auto* close = new QPushButton("Close", this);
    connect(alignbutton_, &QPushButton::clicked, this,
            [this] { run_guarded(&doc_, [this] { align(); }); });
    connect(removebutton, &QPushButton::clicked, this,
            [this] { run_guarded(&doc_, [this] { remove(); }); });
    connect(close, &QPushButton::clicked, this, &QDialog::accept);

    auto* lists = new QGridLayout;
    lists->addWidget(new QLabel("Reference channel", this), 0, 0);
    lists->addWidget(new QLabel("Channels to align", this), 0, 1);
    lists->addWidget(reference_, 1, 0);
    lists->addWidget(checks_, 1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(alignbutton_);
    buttons->addWidget(removebutton);
    buttons->addStretch();
    buttons->addWidget(close);
    auto* top = new QVBoxLayout(this);
    top->addWidget(text1);
    top->addWidget(text2);
    top->addWidget(markshint_);
    top->addLayout(lists, 1);
    top->addWidget(onlyshift_);
    top->addLayout(buttons);
    resize(600, 380);
}

void talignchannelsdialog::fill_lists() {
    const int ref = reference_->currentRow();
    const std::vector<int> was = checked();
    reference_->clear();
    checks_->clear();
    for (int c = 0; c < doc_.totnchans(); ++c) {
        const QString t = QString::fromStdString(channel_list_text(doc_, c));
        reference_->addItem(t);
        auto* item = new QListWidgetItem(t, checks_);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        bool on = std::find(was.begin(), was.end(), c) != was.end();
        item->setCheckState(on ? Qt::Checked : Qt::Unchecked);
    }
    if (doc_.totnchans() > 0) reference_->setCurrentRow(ref >= 0 && ref < doc_.totnchans() ? ref : 0);
    const bool marks = view_ && view_->showcursors[1] && view_->showcursors[2];
    alignbutton_->setEnabled(marks);
    markshint_->setVisible(!marks);
}

void talignchannelsdialog::showEvent(QShowEvent* e) {
    fill_lists();
    QDialog::showEvent(e);
}

std::vector<int> talignchannelsdialog::checked() const {
    std::vector<int> v;
    for (int i = 0; i < checks_->count(); ++i)
        if (checks_->item(i)->checkState() == Qt::Checked) v.push_back(i);
    return v;
}

void talignchannelsdialog::align() {
    std::string err = align_channels(doc_, reference_->currentRow(), checked(), onlyshift_->isChecked());
    if (!err.empty()) prompter_.warn(err, "Align channels");
}

void talignchannelsdialog::remove() { remove_alignment(doc_, checked()); }

}  // namespace tessal
