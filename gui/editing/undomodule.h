// tundomodule: Edit > "Undo <what>" and "Redo <what>" over the context's
// undo history, and the journal that keeps the history on disk while the
// document has unsaved changes.
//
// Undo answers to Alt+Backspace and Ctrl+Alt+Z (Ctrl+Z when the "Ctrl+Z
// undoes" preference is on, Zoom then taking Ctrl+Alt+Z), Redo to
// Ctrl+Shift+Z. When the budget dropped old steps, the status bar says how
// many are left.
//
// Every step, undo and redo goes to a journal file in the per-user data
// folder, written on its own thread; a save, a close or a clean exit
// removes it. A recording's spool goes beside it (ctx.spools). At start-up
// offer_recovery() asks about each journal a previous run left, with the
// recording that was running: "Recover" opens the original file, replays
// the journal and puts the recording back, "Show files" opens the journal
// folder, "Discard" deletes both. When the file changed since, only what
// is safe is offered: "Recover labels" (the labels the journal's channels
// ended with, onto the file as it is now, and the recording as new
// channels) or "Recover recording" (the recording alone).
#pragma once

#include <QStringList>
#include <functional>
#include <memory>

#include "engine/history/journal.h"
#include "engine/history/recovery.h"
#include "gui/context/appcontext.h"

namespace tessal {

class tundomodule : public tfeaturemodule {
public:
    explicit tundomodule(tappcontext& ctx);
    ~tundomodule() override;

    // "Undo Delete", or "Undo" when there is nothing to undo.
    static QString undo_caption(const tundohistory& h);
    static QString redo_caption(const tundohistory& h);

    // The recovery question: the text and the buttons' captions; answers
    // the caption chosen ("" when the box was closed). A message box
    // unless a test puts its own here.
    std::function<QString(const QString&, const QStringList&)> ask_recovery;
    void offer_recovery();
    // The journal being written ("" when none).
    std::string journal_path() const { return journal_ ? journal_->path() : ""; }
    // Waits until the journal is on disk (tests).
    void flush_journal();

private:
    void step(bool undo);
    void start_journal();
    void end_journal();
    void recover(const tleftover& l, const tjournalcontents& j, const tspoolcontents* spool);
    // The journal's file changed: its labels onto the file as it is now.
    void recover_changed(const tleftover& l, const tjournalcontents& j, const tspoolcontents* spool);

    std::size_t droppedshown_ = 0;
    std::unique_ptr<tjournal> journal_;
    bool journalbroken_ = false;  // an undo past the journal's start
    int spools_ = 0;              // recordings spooled so far
};

}  // namespace tessal
