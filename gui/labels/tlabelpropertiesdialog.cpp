#include "gui/labels/tlabelpropertiesdialog.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "engine/document/labelcommands.h"
#include "gui/commands/commandguard.h"

namespace tessal {

tlabelpropertiesdialog::tlabelpropertiesdialog(tdocument& doc, tprompter& prompter, QWidget* owner)
    : QDialog(owner), doc_(doc), prompter_(prompter) {
    setWindowTitle("Label properties");
    setModal(true);
    text_ = new QLineEdit(this);
    text_->setObjectName("text");
    time_ = new QLineEdit(this);
    time_->setObjectName("time");
    duration_ = new QLineEdit(this);
    duration_->setObjectName("duration");
    type_ = new QLabel("Label type: ", this);
    type_->setObjectName("type");
    memo_ = new QPlainTextEdit(this);
    memo_->setObjectName("memo");
    memo_->setReadOnly(true);
    auto* form = new QFormLayout;
    form->addRow("Text", text_);
    form->addRow("Starting time [s]", time_);
    form->addRow("Duration [s]", duration_);
    auto* savebutton = new QPushButton("&Save", this);
    savebutton->setObjectName("save");
    savebutton->setDefault(true);
    auto* cancel = new QPushButton("&Cancel", this);
    connect(savebutton, &QPushButton::clicked, this, [this] {
        bool saved = false;
        run_guarded(&doc_, [&] { saved = save(); });
        if (saved) accept();
    });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(savebutton);
    buttons->addWidget(cancel);
    auto* top = new QVBoxLayout(this);
    top->addLayout(form);
    top->addWidget(type_);
    top->addWidget(memo_);
    top->addLayout(buttons);
    resize(380, 320);
}

bool tlabelpropertiesdialog::load(int chno, int labelno) {
    if (chno < 0 || chno >= doc_.totnchans()) return false;
    const tsiglabels& ls = doc_.channel(chno).labels;
    if (labelno < 0 || labelno >= static_cast<int>(ls.size())) return false;
    edited_ = ls[labelno];
    tlabelproperties p = label_properties(doc_, edited_);
    text_->setText(QString::fromStdString(p.text));
    time_->setText(QString::fromStdString(p.time));
    duration_->setText(QString::fromStdString(p.duration));
    // System labels keep their place: their times are shown, not edited.
    time_->setReadOnly(!p.timeeditable);
    duration_->setReadOnly(!p.timeeditable);
    type_->setText(QString::fromStdString(p.typecaption));
    QStringList lines;
    for (const std::string& l : p.memo) lines << QString::fromStdString(l);
    memo_->setPlainText(lines.join('\n'));
    return true;
}

bool tlabelpropertiesdialog::save() {
    tlabelproperties p;
    p.text = text_->text().toStdString();
    p.time = time_->text().toStdString();
    p.duration = duration_->text().toStdString();
    if (save_label_properties(doc_, edited_, p)) return true;
    prompter_.warn(label_properties_error(edited_, p) + ".", "Label properties");
    return false;
}

bool tlabelpropertiesdialog::edit(int chno, int labelno) {
    if (!load(chno, labelno)) return false;
    if (exec() != QDialog::Accepted) return false;
    return store_label(doc_, chno, labelno, edited_);
}

}  // namespace tessal
