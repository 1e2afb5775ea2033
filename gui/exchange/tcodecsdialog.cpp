#include "gui/exchange/tcodecsdialog.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "engine/settings/codecs.h"
#include "gui/context/appcontext.h"

namespace tessal {

tcodecsdialog::tcodecsdialog(tcodeclist& codecs, QWidget* owner) : QDialog(owner), codecs_(codecs) {
    setWindowTitle("Codecs");
    auto* outer = new QHBoxLayout(this);
    auto* left = new QVBoxLayout;
    outer->addLayout(left);
    list_ = new QListWidget;
    list_->setObjectName("codeclist");
    left->addWidget(list_);
    auto* lb = new QHBoxLayout;
    left->addLayout(lb);
    auto* add = new QPushButton("Add");
    auto* del = new QPushButton("Delete");
    lb->addWidget(add);
    lb->addWidget(del);
    auto* right = new QVBoxLayout;
    outer->addLayout(right, 1);
    auto* form = new QFormLayout;
    right->addLayout(form);
    name_ = new QLineEdit;
    ext_ = new QLineEdit;
    exe_ = new QLineEdit;
    params_ = new QLineEdit;
    name_->setObjectName("nameedit");
    ext_->setObjectName("extensionedit");
    exe_->setObjectName("exeedit");
    params_->setObjectName("parametersedit");
    form->addRow("Name", name_);
    form->addRow("File extension", ext_);
    auto* exerow = new QHBoxLayout;
    exerow->addWidget(exe_, 1);
    auto* browse = new QPushButton("...");
    browse->setMaximumWidth(30);
    exerow->addWidget(browse);
    form->addRow(".exe path", exerow);
    form->addRow("Parameters", params_);
    auto* note = new QLabel(
        "Note: The parameters line must contain the following items: %i %o for the in and "
        "output file names");
    note->setWordWrap(true);
    right->addWidget(note);
    show_ = new QCheckBox("Show codec window during conversion");
    right->addWidget(show_);
    right->addStretch(1);
    auto* bb = new QHBoxLayout;
    right->addLayout(bb);
    bb->addStretch(1);
    auto* save = new QPushButton("Save and close");
    auto* cancel = new QPushButton("Cancel");
    bb->addWidget(save);
    bb->addWidget(cancel);
    connect(add, &QPushButton::clicked, this, [this] { addExecute(); });
    connect(del, &QPushButton::clicked, this, [this] { deleteExecute(); });
    connect(save, &QPushButton::clicked, this, [this] { saveExecute(); });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(browse, &QPushButton::clicked, this, [this] {
        const QString p = ask_program ? ask_program() : QString();
        if (!p.isEmpty()) exe_->setText(p);
    });
    connect(list_, &QListWidget::currentRowChanged, this, [this](int r) {
        if (!writing_) select(r);
    });
    for (QLineEdit* e : {name_, ext_, exe_, params_})
        connect(e, &QLineEdit::textEdited, this, [this] { fields_to_entry(); });
    ask_program = [this] { return QFileDialog::getOpenFileName(this, "Codec program"); };
    load();
}

void tcodecsdialog::showEvent(QShowEvent* e) {
    load();  // every opening starts from the stored list
    QDialog::showEvent(e);
}

void tcodecsdialog::load() {
    edit_ = codecs_.list;
    show_->setChecked(codecs_.show);
    current_ = edit_.empty() ? -1 : 0;
    refresh_list();
    entry_to_fields();
}

void tcodecsdialog::refresh_list() {
    writing_ = true;
    list_->clear();
    for (const tcodecentry& c : edit_) list_->addItem(QString::fromStdString(c.Name));
    list_->setCurrentRow(current_);
    writing_ = false;
}

void tcodecsdialog::entry_to_fields() {
    const bool has = current_ >= 0 && current_ < static_cast<int>(edit_.size());
    const tcodecentry c = has ? edit_[current_] : tcodecentry{};
    name_->setText(QString::fromStdString(c.Name));
    ext_->setText(QString::fromStdString(c.Extension));
    exe_->setText(QString::fromStdString(c.Exename));
    params_->setText(QString::fromStdString(c.Parameters));
    for (QLineEdit* e : {name_, ext_, exe_, params_}) e->setEnabled(has);
}

void tcodecsdialog::fields_to_entry() {
    if (current_ < 0 || current_ >= static_cast<int>(edit_.size())) return;
    tcodecentry& c = edit_[current_];
    c.Name = name_->text().toStdString();
    c.Extension = ext_->text().toStdString();
    c.Exename = exe_->text().toStdString();
    c.Parameters = params_->text().toStdString();
    if (QListWidgetItem* it = list_->item(current_)) it->setText(name_->text());
}

void tcodecsdialog::select(int row) {
    fields_to_entry();
    current_ = row;
    entry_to_fields();
}

void tcodecsdialog::addExecute() {
    fields_to_entry();
    edit_.push_back(new_codec());
    current_ = static_cast<int>(edit_.size()) - 1;
    refresh_list();
    entry_to_fields();
}

void tcodecsdialog::deleteExecute() {
    if (current_ < 0 || current_ >= static_cast<int>(edit_.size())) return;
    edit_.erase(edit_.begin() + current_);
    current_ = std::min(current_, static_cast<int>(edit_.size()) - 1);
    refresh_list();
    entry_to_fields();
}

void tcodecsdialog::saveExecute() {
    fields_to_entry();
    for (tcodecentry& c : edit_) c.Extension = codec_extension(c.Extension);
    codecs_.list = edit_;
    codecs_.show = show_->isChecked();
    if (codecs_.saved) codecs_.saved();
    accept();
}

}  // namespace tessal
