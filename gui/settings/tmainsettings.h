// The settings feature of the main window: the commands "Preferences..." and
// "Channel color...", the "Settings" and "Colors" windows, and the
// settings file: at first activation it makes the
// two recent-files lists ("sound" in the File menu after "Export...",
// "proc" at the end of the Process menu: list commands the menu layout
// places) and reads the settings file into the
// document and the windows; when the program closes it collects the same
// state and writes the file. The reading and writing is the engine's
// open_settings/save_settings; this class only moves values between them
// and the widgets. The settings live under QStandardPaths'
// GenericDataLocation unless a test names another folder.
#pragma once

#include <QObject>
#include <QString>

#include "engine/settings/settingsfile.h"
#include "gui/context/appcontext.h"
#include "gui/context/settingsfolder.h"

namespace tessal {

class trecentfilesmenu;

class tmainsettings : public QObject, public tfeaturemodule {
    Q_OBJECT

public:
    explicit tmainsettings(tappcontext& ctx);
    ~tmainsettings() override {
        ctx.files.recent_file_used = nullptr;
        ctx.filehooks.recent_process_used = nullptr;
        ctx.codecs.saved = nullptr;
    }

    // The folder holding the settings file (the context's settings_folder).
    static QString settings_folder() { return tessal::settings_folder(); }

    // Whether this run may write the settings file and the recent-files
    // lists. Off for runs that are not the user's own (screenshots, tests):
    // they read the settings and leave them as they were. On by default.
    static void set_writes_allowed(bool v) { set_settings_writes_allowed(v); }
    static bool writes_allowed() { return settings_writes_allowed(); }

    // Start-up: lists and settings file. Runs once.
    void open();
    // Shutdown: writes the settings file; a failure is shown, not raised.
    void save();

    trecentfilesmenu* sound() const { return sound_; }
    trecentfilesmenu* proc() const { return proc_; }
    const tmainwindowsettings& state() const { return state_; }

private:
    void collect();
    void apply();

    tmainwindowsettings state_;
    trecentfilesmenu* sound_ = nullptr;
    trecentfilesmenu* proc_ = nullptr;
    bool opened_ = false;
};

}  // namespace tessal
