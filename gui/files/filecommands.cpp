#include "gui/files/filecommands.h"

#include <QFileDialog>
#include <QFileInfo>
#include <algorithm>
#include <memory>

#include "engine/document/title.h"
#include "engine/settings/codecs.h"
#include "gui/platform/filefilter.h"

namespace tessal {

void tfilecommands::open_dialog(bool add) {
    QFileDialog dialog(parent, add ? "Add" : "Open");
    dialog.setFileMode(QFileDialog::ExistingFiles);
    QStringList filters = qt_filters(QString::fromStdString(open_filter_text()));
    // Files the codecs convert are offered beside the program's own.
    if (files.codecs && !files.codecs->empty()) {
        QStringList patterns;
        for (const tcodecentry& c : *files.codecs) {
            QString p = "*" + QString::fromStdString(codec_extension(c.Extension));
            if (p != "*." && !patterns.contains(p)) patterns << p;
        }
        if (!patterns.isEmpty())
            filters.insert(filters.size() - 1,
                           "Files converted by codecs (" + patterns.join(' ') + ")");
    }
    dialog.setNameFilters(filters);
    dialog.setDefaultSuffix("wav");
    if (dialog.exec() != QDialog::Accepted) return;
    QStringList chosen = dialog.selectedFiles();
    for (int i = 0; i < chosen.size(); ++i) {
        std::string path = chosen[i].toStdString();
        if (i == 0 && !add) {
            if (!files.open_document(path)) return;
        } else {
            files.add_file(path);
        }
    }
}

void tfilecommands::save() {
    if (QString::fromStdString(doc.filename()).trimmed().isEmpty()) {
        save_as();
        return;
    }
    files.save_document();
}

void tfilecommands::save_as() {
    save_as_with(QString::fromStdString(file_name_part(doc.filename())), {}, 0, 0);
}

void tfilecommands::save_selection_as() {
    if (!save_selection_enabled(doc)) return;
    tsaveselection s = save_selection(doc);
    save_as_with(QString::fromStdString(s.proposedname), s.chans, s.from, s.to);
}

void tfilecommands::save_as_with(const QString& proposed, const std::vector<int>& chans,
                                 double from, double to) {
    // Channels read from a WAVE file are offered their own coding first, so
    // an A-law or float recording is not quietly saved as linear PCM.
    // `index` is the row's position in the dialog's list, counted from 0;
    // the "SaveFormat" setting counts the same rows from 1.
    std::vector<tsavefilter> rows = files.savefilter;
    int index = -1;
    if (const tsavefilter* r = saveformat_row(rows, savefilterindex))
        index = used_savefilter_index(rows, *r);
    if (std::optional<tsavecoding> coding = files.proposed_wave_coding(chans)) {
        rows = rows_offering(rows, *coding);
        if (const tsavefilter* w = wave_savefilter(rows, *coding))
            index = used_savefilter_index(rows, *w);
    }
    const tsavefilter* row = used_savefilter(rows, index);
    if (!row) {
        prompter.ask("Oops!", "Oops", tbuttons::ok, ticon::error);
        return;
    }
    life.currentnbits = row->nbits;
    life.currentformat = row->format;
    QString name = proposed;
    QFileInfo info(name);
    QString ext = QString::fromStdString(row->ext);
    if (!name.isEmpty() && "." + info.suffix().toLower() != ext)
        name = info.completeBaseName().isEmpty() ? name + ext : info.completeBaseName() + ext;

    QStringList filters = qt_filters(QString::fromStdString(savefilter_text(rows)));
    QString path;
    if (choose_save_name) {
        path = choose_save_name(filters, index, name);
    } else {
        std::unique_ptr<QFileDialog> dialog(make_save_dialog(name, rows, index));
        dialog->setDefaultSuffix(ext.mid(1));
        if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty()) return;
        path = dialog->selectedFiles().first();
        index = filters.indexOf(dialog->selectedNameFilter());
    }
    if (path.isEmpty()) return;
    if (const tsavefilter* chosen = used_savefilter(rows, index)) {
        row = chosen;
        // Remembered only as a row the settings offer.
        if (int k = used_savefilter_index(files.savefilter, *chosen); k >= 0)
            savefilterindex = k + 1;
    }
    life.currentnbits = row->nbits;
    life.currentformat = row->format;
    files.save_file(path.toStdString(), row->nbits, from, to, chans, row->format);
}

QFileDialog* tfilecommands::make_save_dialog(const QString& proposed) {
    int index = -1;
    if (const tsavefilter* r = saveformat_row(files.savefilter, savefilterindex))
        index = used_savefilter_index(files.savefilter, *r);
    return make_save_dialog(proposed, files.savefilter, index);
}

QFileDialog* tfilecommands::make_save_dialog(const QString& proposed,
                                             const std::vector<tsavefilter>& rows, int index) {
    auto* dialog = new QFileDialog(parent, "Save as");
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    QStringList filters = qt_filters(QString::fromStdString(savefilter_text(rows)));
    dialog->setNameFilters(filters);
    if (index >= 0 && index < filters.size()) dialog->selectNameFilter(filters[index]);
    if (!doc.filename().empty())
        dialog->setDirectory(QFileInfo(QString::fromStdString(doc.filename())).absolutePath());
    dialog->selectFile(proposed);
    return dialog;
}

void tfilecommands::drop(const QStringList& paths) {
    for (const QString& p : paths) {
        std::string path = p.toStdString();
        std::string ext = lower_extension(path);
        if (const tfileformat* f = format_for_extension(ext);
            (f && f->caps.readable) || files.opens_through_codec(path)) {
            files.add_file(path);
        } else if (ext == ".tessalproc") {
            if (hooks.open_process) hooks.open_process(p);
        } else {
            prompter.warn("Cannot open file: \r" + path, "Unknown file type");
        }
    }
}

}  // namespace tessal
