#include "gui/exchange/exchangemodule.h"

#include <QFileDialog>

#include "engine/core/tdocument.h"
#include "engine/formats/formatregistry.h"
#include "gui/exchange/codecrunner.h"
#include "gui/exchange/tcodecsdialog.h"
#include "gui/exchange/texporttextdialog.h"

namespace tessal {

namespace {

void export_textgrid(tappcontext& c) {
    // A name typed without an extension gets ".TextGrid", so Praat and the
    // Open dialog's filter find the file; the dialog asks before replacing
    // the file under that full name.
    QFileDialog d(c.window, "Export labels as TextGrid", QString(),
                  QString::fromStdString(dialog_filter(textgrid_format())));
    d.setAcceptMode(QFileDialog::AcceptSave);
    d.setOption(QFileDialog::DontUseNativeDialog);
    d.setDefaultSuffix("TextGrid");
    if (d.exec() != QDialog::Accepted || d.selectedFiles().isEmpty()) return;
    const std::string name = d.selectedFiles().front().toStdString();
    if (name.empty()) return;
    textgrid_format().writelabels(c.doc, name, tfileops::system());
}

void import_textgrid(tappcontext& c) {
    const std::string name =
        QFileDialog::getOpenFileName(c.window, "Import labels from TextGrid", QString(),
                                     QString::fromStdString(dialog_filter(textgrid_format())), nullptr,
                                     QFileDialog::DontUseNativeDialog)
            .toStdString();
    if (name.empty()) return;
    textgrid_format().readlabels(c.doc, c.doc.thischanno(), name);
}

}  // namespace

texchangemodule::texchangemodule(tappcontext& ctx) : tfeaturemodule(ctx) {
    tappcontext& c = ctx;
    auto haschannels = [&c] { return c.doc.totnchans() > 0; };
    ctx.commands.add({.id = "exporttextgridaction", .caption = "Export labels as TextGrid...",
                      .handler = [&c] { export_textgrid(c); }, .enabled = haschannels,
                      .group = "file.documents", .order = 90});
    ctx.commands.add({.id = "importtextgridaction", .caption = "Import labels from TextGrid...",
                      .handler = [&c] { import_textgrid(c); }, .enabled = haschannels,
                      .group = "file.documents", .order = 91});
    ctx.windows.add("exporttext", {.caption = "Export to text"},
                            [&c](QWidget* owner) { return new texporttextdialog(c, owner); });
    ctx.commands.add({.id = "codecsaction", .caption = "Manage codecs...",
                      .handler = [&c] { c.windows.show("codecs"); },
                      .group = "sound.devices", .order = 90});
    ctx.windows.add("codecs", {.caption = "Codecs"},
                            [&c](QWidget* owner) { return new tcodecsdialog(c.codecs, owner); });
    // Open and Add convert the files the codec list names.
    ctx.files.codecs = &c.codecs.list;
    ctx.files.run_codec = [](const tcodecentry& e, const std::string& in, const std::string& out) {
        const tcodecresult r = run_codec(e, in, out);
        return r.ok ? std::string() : r.message;
    };
}

texchangemodule::~texchangemodule() {
    ctx.files.run_codec = nullptr;
    ctx.files.codecs = nullptr;
}

}  // namespace tessal
