// The File menu's work with dialogs: Open and Add (several files), Save,
// Save as with the save-format filter, Save selection as, and dropped
// files. The reading and writing is the engine's tdocumentfiles; this class
// only asks for names and formats.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>

#include "engine/core/prompter.h"
#include "engine/document/documentfiles.h"
#include "engine/document/saveselection.h"
#include "gui/context/appcontext.h"

class QFileDialog;
class QWidget;

namespace tessal {

class tfilecommands {
public:
    explicit tfilecommands(tappcontext& ctx)
        : savefilterindex(ctx.filehooks.savefilterindex), parent(ctx.window), doc(ctx.doc),
          files(ctx.files), life(ctx.life), prompter(ctx.prompter), hooks(ctx.filehooks) {}

    // Chooses the file name of Save as in place of the dialog (tests);
    // filterindex is the position in `filters`, counting from 0.
    std::function<QString(const QStringList& filters, int& filterindex, const QString& proposed)>
        choose_save_name;

    // The save dialog's current filter as the "SaveFormat" setting keeps
    // it: the position among the used rows, counting from 1 (the context's).
    int& savefilterindex;

    void open_dialog(bool add);
    void save();
    void save_as();
    void save_selection_as();
    void drop(const QStringList& paths);

    // The Save as dialog as it would open now, for a proposed name (the
    // caller owns it; screenshots show it without running it).
    QFileDialog* make_save_dialog(const QString& proposed);
    QFileDialog* make_save_dialog(const QString& proposed, const std::vector<tsavefilter>& rows,
                                  int index);

private:
    void save_as_with(const QString& proposed, const std::vector<int>& chans, double from,
                      double to);

    QWidget* parent;
    tdocument& doc;
    tdocumentfiles& files;
    tdocumentlifecycle& life;
    tprompter& prompter;
    tfilehooks& hooks;
};

}  // namespace tessal
