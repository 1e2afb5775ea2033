#include "gui/exchange/texporttextdialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "engine/core/tchannel.h"
#include "engine/core/tdocument.h"
#include "engine/dsp/numformat.h"
#include "engine/formats/formatregistry.h"
#include "gui/commands/commandguard.h"
#include "gui/context/appcontext.h"

namespace tessal {

texporttextdialog::texporttextdialog(tappcontext& ctx, QWidget* owner)
    : QDialog(owner), ctx_(ctx) {
    setWindowTitle("Export to text");
    auto* outer = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    outer->addLayout(form);
    separator_ = new QComboBox;
    separator_->setObjectName("separatorbox");
    separator_->addItems({"Tab", "Semicolon (;)", "Comma (,)", "Space"});
    form->addRow("Column separator", separator_);
    template_ = new QLineEdit("0.00E+00");
    template_->setObjectName("templateedit");
    form->addRow("Template", template_);
    decimal_ = new QComboBox;
    decimal_->setObjectName("decimalbox");
    decimal_->addItems({"Windows' default", "Period (.)", "Comma(,)"});
    form->addRow("Decimal separator", decimal_);
    channels_ = new QListWidget;
    channels_->setObjectName("channellist");
    form->addRow("Channels", channels_);
    span_ = new QComboBox;
    span_->setObjectName("spanbox");
    span_->addItems({"Entire file", "What's in window", "Selection"});
    form->addRow("Which timespan", span_);
    downsample_ = new QLineEdit("1");
    downsample_->setObjectName("downsampleedit");
    form->addRow("Downsampling factor", downsample_);
    time_ = new QCheckBox("Include time for each sample");
    time_->setChecked(true);
    zero_ = new QCheckBox("Set start time to 0 s");
    outer->addWidget(time_);
    outer->addWidget(zero_);
    auto* buttons = new QHBoxLayout;
    outer->addLayout(buttons);
    buttons->addStretch(1);
    auto* exp = new QPushButton("&Export...");
    exp->setObjectName("exportbutton");
    auto* cancel = new QPushButton("&Cancel");
    buttons->addWidget(exp);
    buttons->addWidget(cancel);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(exp, &QPushButton::clicked, this, [this] {
        bool done = false;
        run_guarded(nullptr, [&] { done = exportExecute(); }, false);
        if (done) accept();
    });
    connect(span_, &QComboBox::currentIndexChanged, this, [this] { update_visibility(); });
    connect(time_, &QCheckBox::toggled, this, [this] { update_visibility(); });
    ask_filename = [this] {
        return QFileDialog::getSaveFileName(this, "Export to text", QString(),
                                            QString::fromStdString(dialog_filter(text_table_format())))
            .toStdString();
    };
    rebuild_channels();
    update_visibility();
}

void texporttextdialog::showEvent(QShowEvent* e) {
    rebuild_channels();
    QDialog::showEvent(e);
}

void texporttextdialog::rebuild_channels() {
    const tdocument& doc = ctx_.doc;
    if (channels_->count() == doc.totnchans()) {
        for (int i = 0; i < doc.totnchans(); ++i)
            channels_->item(i)->setText(QString::fromStdString(doc.channel(i).name()));
        return;
    }
    channels_->clear();
    for (int i = 0; i < doc.totnchans(); ++i) {
        auto* it = new QListWidgetItem(QString::fromStdString(doc.channel(i).name()), channels_);
        it->setFlags(it->flags() | Qt::ItemIsUserCheckable);
        it->setCheckState(Qt::Checked);
    }
}

void texporttextdialog::update_visibility() {
    zero_->setVisible(span_->currentIndex() != 0 && time_->isChecked());
}

ttextexportoptions texporttextdialog::options() const {
    ttextexportoptions o;
    o.separator = static_cast<tcolumnseparator>(separator_->currentIndex());
    o.pattern = template_->text().toStdString();
    o.decimal = static_cast<tdecimalseparator>(decimal_->currentIndex());
    for (int i = 0; i < channels_->count(); ++i)
        if (channels_->item(i)->checkState() == Qt::Checked) o.channels.push_back(i);
    o.span = static_cast<texportspan>(span_->currentIndex());
    o.downsample = parse_int(downsample_->text().trimmed().toStdString());
    o.timecolumn = time_->isChecked();
    o.startzero = zero_->isVisible() || (o.span != texportspan::entire && o.timecolumn)
                      ? zero_->isChecked()
                      : false;
    return o;
}

bool texporttextdialog::exportExecute() {
    const ttextexportoptions o = options();  // a bad factor raises before anything
    try {
        text_export_range(ctx_.doc, o);
    } catch (const ETextExportError& e) {
        ctx_.prompter.warn(e.what(), e.caption());
        return false;
    }
    const std::string name = ask_filename ? ask_filename() : std::string();
    if (name.empty()) return false;
    try {
        text_table_format().writetable(ctx_.doc, o, name, tfileops::system());
    } catch (const ETextExportError& e) {
        ctx_.prompter.warn(e.what(), e.caption());
        return false;
    }
    return true;
}

}  // namespace tessal
