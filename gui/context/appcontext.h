// The application context: what every feature of the main window shares,
// made once by the main window before any feature and destroyed after all
// of them and after every secondary window. A feature module gets it at
// construction and reaches the document, the prompter, the clipboards, the
// view state, the windows and the commands through it, never through the
// main window.
//
// Member order is destruction order in reverse: the windows and the
// commands go first, the document last.
#pragma once

#include <QMainWindow>
#include <functional>
#include <memory>
#include <vector>

#include "engine/core/tdocument.h"
#include "engine/document/documentfiles.h"
#include "engine/document/saveselection.h"
#include "engine/document/lifecycle.h"
#include "engine/measurements/measurements.h"
#include "engine/audio/audiodevice.h"
#include "engine/history/recordspool.h"
#include "engine/history/undohistory.h"
#include "engine/view/viewkeys.h"
#include "engine/view/viewmouse.h"
#include "engine/view/viewstate.h"
#include "gui/commands/commandregistry.h"
#include "gui/context/settingsfolder.h"
#include "gui/platform/qtclipboard.h"
#include "engine/settings/settingsfile.h"
#include "gui/platform/qtprompter.h"
#include "gui/windows/windowset.h"

namespace tessal {

// The clipboards the commands and windows write to: the system clipboard
// unless a test puts a memory one in its place. Windows keep a reference to
// this object, so they follow a later change.
class tappclipboard : public tclipboard, public ttextclipboard {
public:
    void set_blocks(tclipboard* c) { blocks_ = c ? c : &qtblocks_; }
    void set_texts(ttextclipboard* c) { texts_ = c ? c : &qttexts_; }

    bool has_format(const std::string& f) const override { return blocks_->has_format(f); }
    void set_data(const std::string& f, const std::vector<std::uint8_t>& b) override {
        blocks_->set_data(f, b);
    }
    bool get_data(const std::string& f, std::vector<std::uint8_t>& b) const override {
        return blocks_->get_data(f, b);
    }
    void set_text(const std::string& text) override { texts_->set_text(text); }

private:
    tqtblockclipboard qtblocks_;
    tqtclipboard qttexts_;
    tclipboard* blocks_ = &qtblocks_;
    ttextclipboard* texts_ = &qttexts_;
};

// What the signal view asks of the other features; each feature adds its
// own listener and acts only on the requests that are its own.
struct tviewrequests {
    std::vector<std::function<void(int chno, const tmouseresult&)>> mouse;
    std::vector<std::function<void(tkeyrequest)>> key;
    std::vector<std::function<void(int chno)>> notes;         // a click on a notes box
    std::vector<std::function<void(int chno)>> infodoubleclick;  // on an information line
};

// The soundcards chosen, by device number (-1 the system default). The
// sound feature lists the names; the settings file keeps the choice by name.
struct tsoundcards {
    std::function<std::vector<std::string>()> playnames;
    std::function<std::vector<std::string>()> recordnames;
    int playdevice = -1;
    int recorddevice = -1;
    // The input device the recording windows use from their first use on:
    // the Qt one unless a test puts its own here.
    std::function<std::unique_ptr<taudioinput>()> makeinput;
};

// Where a recording keeps what it captures until the recording is in the
// journal: `path` gives the spool file beside the document's journal ("" when
// there is no journal), `retire` takes a finished recording's spool and
// deletes it once the journal holds the recording.
struct trecordspools {
    std::function<std::string()> path;
    std::function<void(std::unique_ptr<trecordspool>)> retire;
};

// The codec list the "Codecs" dialog edits and opening files uses; kept in
// the settings file. `saved` writes the settings file at once.
struct tcodeclist {
    std::vector<tcodecentry> list;
    bool show = false;
    std::function<void()> saved;
};

// What the File commands share with the other features: process files they
// hand on to the processing feature, the recent list that hears of process
// files, and the save dialog's format as the "SaveFormat" setting keeps it
// (the position among the used rows, counting from 1).
struct tfilehooks {
    // Opens a process file in the processing window.
    std::function<void(const QString&)> open_process;
    // A process file was opened or saved under this name (recent list).
    std::function<void(const std::string&)> recent_process_used;
    int savefilterindex = default_saveformat;
};

class tappcontext {
public:
    // `prompter` replaces the message boxes (tests; the caller keeps it);
    // null uses Qt's over `window`.
    tappcontext(QMainWindow* window, tprompter* prompter);
    ~tappcontext();
    tappcontext(const tappcontext&) = delete;
    tappcontext& operator=(const tappcontext&) = delete;

    // The main window: parent of every window, holder of the status bar.
    QMainWindow* const window;

private:
    std::unique_ptr<tprompter> ownprompter_;

public:
    tdocument doc;
    // Every command's change to the document, undone and redone from here.
    tundohistory history{doc};
    tprompter& prompter;
    tdocumentlifecycle life;
    tdocumentfiles files;
    tfilehooks filehooks;
    tmeasurements measurements;
    tviewstate view;
    tappclipboard clipboard;
    tviewrequests viewrequests;
    tsoundcards soundcards;
    trecordspools spools;
    tcommandregistry commands;
    twindowset windows;
    tcodeclist codecs;
};

// A feature of the main window: made with the context, it adds its commands
// and window factories there, and undoes its own work when destroyed.
class tfeaturemodule {
public:
    explicit tfeaturemodule(tappcontext& ctx) : ctx(ctx) {}
    virtual ~tfeaturemodule() = default;
    tfeaturemodule(const tfeaturemodule&) = delete;
    tfeaturemodule& operator=(const tfeaturemodule&) = delete;

protected:
    tappcontext& ctx;
};

}  // namespace tessal
