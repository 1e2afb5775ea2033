// The files feature of the main window: the File menu (New, Open, Add,
// Save, Save as, Save selection as, Export, Exit). The dialogs are the
// module's tfilecommands; the reading and writing is the engine's.
#pragma once

#include "gui/context/appcontext.h"
#include "gui/files/filecommands.h"
#include "gui/widgets/fileprogress.h"

namespace tessal {

class tfilesmodule : public tfeaturemodule {
public:
    explicit tfilesmodule(tappcontext& ctx);
    ~tfilesmodule() override;

    // The File menu's dialogs (the main window hands it dropped files).
    tfilecommands& commands() { return commands_; }

private:
    tfilecommands commands_;
    tfileprogress* progress_;  // owned by the main window
};

}  // namespace tessal
