#include "gui/editing/tnotesdialog.h"

#include <QColorDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "engine/document/labelcommands.h"
#include "gui/commands/commandguard.h"

namespace tessal {

namespace {

QColor to_qcolor(TColor c) { return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }
TColor from_qcolor(const QColor& q) {
    return static_cast<TColor>(q.red() | q.green() << 8 | q.blue() << 16);
}

}  // namespace

tnotesdialog::tnotesdialog(tdocument& doc, QWidget* owner) : QDialog(owner), doc_(doc) {
    setWindowTitle("Notes for channel");
    setModal(true);
    memo_ = new QPlainTextEdit(this);
    memo_->setObjectName("memo");
    colorbutton_ = new QPushButton(this);
    colorbutton_->setObjectName("color");
    colorbutton_->setFixedSize(40, 22);
    connect(colorbutton_, &QPushButton::clicked, this, [this] {
        QColor c = QColorDialog::getColor(to_qcolor(color_), this, "Marker color");
        if (c.isValid()) set_color(from_qcolor(c));
    });
    auto* colorrow = new QHBoxLayout;
    colorrow->addWidget(new QLabel("Marker color:", this));
    colorrow->addWidget(colorbutton_);
    colorrow->addStretch();
    auto* stamp = new QVBoxLayout;
    for (QLabel*& l : stamp_) {
        l = new QLabel(this);
        stamp->addWidget(l);
    }
    save_ = new QPushButton("Save notes", this);
    save_->setObjectName("save");
    auto* cancel = new QPushButton("Cancel", this);
    connect(save_, &QPushButton::clicked, this, [this] {
        if (run_guarded(&doc_, [this] { save(); })) accept();
    });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(memo_, &QPlainTextEdit::textChanged, this, [this] { changed(); });
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(save_);
    buttons->addWidget(cancel);
    auto* top = new QVBoxLayout(this);
    top->addWidget(memo_);
    top->addLayout(colorrow);
    top->addLayout(stamp);
    top->addLayout(buttons);
    resize(420, 340);
    save_->setEnabled(false);
}

void tnotesdialog::changed() { save_->setEnabled(true); }

void tnotesdialog::set_color(TColor c) {
    color_ = c;
    colorbutton_->setStyleSheet(QString("background-color: %1").arg(to_qcolor(c).name()));
    changed();
}

bool tnotesdialog::load(int chno) {
    if (chno < 0 || chno >= doc_.totnchans()) return false;
    chno_ = chno;
    const tchannel& ch = doc_.channel(chno);
    setWindowTitle(QString::fromStdString(notes_caption(chno)));
    QStringList lines;
    for (const std::string& l : ch.notes) lines << QString::fromStdString(l);
    memo_->setPlainText(lines.join('\n'));
    std::vector<std::string> st = notes_stamp(ch.created());
    for (int i = 0; i < 4; ++i) stamp_[i]->setText(QString::fromStdString(st[i]));
    set_color(ch.notescolor);
    save_->setEnabled(false);  // nothing changed yet
    return true;
}

void tnotesdialog::save() {
    std::vector<std::string> lines;
    const QString text = memo_->toPlainText();
    if (!text.isEmpty())
        for (const QString& l : text.split('\n')) lines.push_back(l.toStdString());
    save_notes(doc_, chno_, lines, color_);
    save_->setEnabled(false);
}

bool tnotesdialog::edit(int chno) {
    if (!load(chno)) return false;
    return exec() == QDialog::Accepted;
}

}  // namespace tessal
