#include "gui/labels/labelsmodule.h"

#include <QInputDialog>
#include <QLineEdit>
#include <memory>

#include "engine/document/labelcommands.h"
#include "gui/labels/tlabelpropertiesdialog.h"
#include "gui/widgets/layoutcheck.h"

namespace tessal {

QInputDialog* make_label_text_dialog(QWidget* parent) {
    auto* d = new QInputDialog(parent);
    d->setWindowTitle("Enter label text");
    d->setLabelText("Text:");
    d->setInputMode(QInputDialog::TextInput);
    d->setTextEchoMode(QLineEdit::Normal);
    // The dialog takes its size from its layout: the text field makes room.
    if (auto* field = d->findChild<QLineEdit*>()) field->setMinimumWidth(caption_width(d->windowTitle()));
    return d;
}

tlabelsmodule::tlabelsmodule(tappcontext& ctx) : tfeaturemodule(ctx) {
    ask_label_text = [&ctx]() -> std::optional<std::string> {
        std::unique_ptr<QInputDialog> d(make_label_text_dialog(ctx.window));
        if (d->exec() != QDialog::Accepted) return std::nullopt;
        return d->textValue().toStdString();
    };
    tappcontext& c = ctx;
    tdocument& doc = ctx.doc;
    auto haslabels = [&doc] { return can_log_labels(doc); };
    auto selected = [&doc] { return can_deselect_labels(doc); };
    auto canadd = [&doc] { return can_add_label(doc); };
    std::vector<tcommand> types;
    for (int tag = 0; tag < static_cast<int>(std::size(labeltypes)); ++tag)
        types.push_back({.id = QString("selectlabeltype%1").arg(tag),
                         .caption = labeltypes[tag].caption,
                         .handler = [&doc, tag] { select_labels_by_type(doc, tag); },
                         .data = tag});
    for (tcommand& cmd : std::vector<tcommand>{
             {.id = "loglabelsaction", .caption = "Log labels",
              .handler =
                  [&c] {
                      if (log_labels(c.doc, c.measurements.datalog)) c.windows.show("datalog");
                  },
              .enabled = haslabels,
              .caption_rule = [&doc] { return QString::fromStdString(log_labels_caption(doc)); },
              .group = "labels.log"},
             {.id = "addlabelaction", .caption = "Add label...", .shortcut = "F7",
              .handler =
                  [this, &doc] {
                      if (doc.totnchans() == 0) return;
                      if (auto t = ask_label_text()) add_manual_label(doc, *t);
                  },
              .enabled = canadd, .group = "labels.add"},
             {.id = "addmeasurementlabelaction", .caption = "Add measurement label",
              .shortcut = "F10",
              .handler = [&c] { add_measurement_label(c.doc, [&c] { c.measurements.flush(); }); },
              .enabled = canadd, .group = "labels.add"},
             {.id = "selectsignalatlabelaction", .caption = "Select signal at label",
              .shortcut = "F6", .handler = [&doc] { select_signal_at_label(doc); },
              .enabled = [&doc] { return can_select_signal_at_label(doc); }, .group = "labels.add"},
             {.id = "selectlabelsbytypeaction", .caption = "Select labels by type",
              .enabled = haslabels, .group = "labels.select", .submenu = std::move(types)},
             {.id = "selectalllabelsaction", .caption = "Select all labels",
              .handler = [&doc] { select_all_labels(doc); }, .enabled = haslabels,
              .group = "labels.select"},
             {.id = "deselectlabelsaction", .caption = "Deselect all labels",
              .handler = [&doc] { deselect_all_labels(doc); }, .enabled = selected,
              .group = "labels.select"},
             {.id = "deletelabelsaction", .caption = "Delete labels",
              .handler = [&c] { delete_selected_labels(c.doc, c.prompter); }, .enabled = selected,
              .caption_rule = [&doc] { return QString::fromStdString(delete_labels_caption(doc)); },
              .group = "labels.delete"},
         })
        ctx.commands.add(std::move(cmd));
    ctx.windows.add("labelproperties", {.caption = "Label properties"}, [this](QWidget* owner) {
        properties_ = new tlabelpropertiesdialog(this->ctx.doc, this->ctx.prompter, owner);
        return properties_;
    });
    ctx.viewrequests.mouse.push_back([this](int c, const tmouseresult& r) {
        if (r.request == tmouserequest::labelproperties) edit_label(c, r.labelno);
    });
}

void tlabelsmodule::edit_label(int chno, int labelno) {
    if (properties_) properties_->edit(chno, labelno);
    ctx.commands.refresh();
}

}  // namespace tessal
