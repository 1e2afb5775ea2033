// Closing the document and ending the program, with their questions. The
// main window calls these for New, Open (its first step) and Exit; the
// answers come through the prompter, so a cancelled question changes
// nothing. Work that belongs to other parts of the program (saving through
// the Save as dialog, stopping playback, resetting tool windows, the
// processing window's process) reaches them through the hooks.
#pragma once

#include <functional>
#include <string>

#include "engine/core/prompter.h"
#include "engine/core/tdocument.h"
#include "engine/view/zoomhistory.h"
#include "engine/dsp/arrays.h"

namespace tessal {

struct tlifecyclehooks {
    // Runs Save as; the document is saved when it is no longer modified
    // afterwards. Unset: nothing can be saved yet, so "Yes" keeps it modified.
    std::function<void()> save_as;
    std::function<void()> stop_playback;
    // Called after the channels are gone: tool windows forget them.
    std::function<void()> document_closed;
    // The processing window's process, asked about at Exit.
    std::function<bool()> process_modified;
    std::function<std::string()> process_name;
    std::function<void()> save_process;
    // Why the document may not be closed, replaced or given channels now
    // (a recording is writing into it), or empty. New, Open and Add do
    // nothing while it gives a text; the hook tells the user.
    std::function<std::string()> busy;
};

class tdocumentlifecycle {
public:
    tdocumentlifecycle(tdocument& doc, tprompter& prompter) : doc(doc), prompter(prompter) {}

    tlifecyclehooks hooks;
    // Bits and coding of the last save format used.
    int currentnbits = 0;
    tFormat currentformat = tFormat::pcm;
    // The signal view's zoom history: a closed document's ranges mean
    // nothing to the next one, so closing empties it. Null: no view.
    tzoomhistory* zoomhistory = nullptr;

    void setfilename(const std::string& v) { doc.set_filename(v); }
    void setmodified(bool v) { doc.set_modified(v); }

    // Asks to save a modified document; false when the user cancelled or the
    // save did not happen. Then empties the document. With `ask` false the
    // question is taken as already answered (ask_before_close).
    bool close_document(bool ask = true);
    bool new_document() { return close_document(); }
    // Whether the busy hook refuses closing, replacing or adding now.
    bool busy() const {
        if (!hooks.busy) return false;
        return !hooks.busy().empty();
    }
    // The question of close_document on its own, for a command that reads
    // its file before the document closes.
    bool ask_before_close() { return ask_save("File has been modified"); }
    // Asks about the document and the process; true when the program may
    // end. The settings are written by the caller afterwards.
    bool confirm_exit();

private:
    bool ask_save(const std::string& caption);

    tdocument& doc;
    tprompter& prompter;
};

}  // namespace tessal
