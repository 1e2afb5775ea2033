// The files feature of the main window: the File menu (New, Open, Add,
// Save, Save as, Save selection as, Export, Exit). The dialogs are the
// context's tfilecommands; the reading and writing is the engine's.
#pragma once

#include "gui/context/appcontext.h"
#include "gui/files/fileprogress.h"

namespace tessal {

class tfilesmodule : public tfeaturemodule {
public:
    explicit tfilesmodule(tappcontext& ctx);
    ~tfilesmodule() override;

private:
    tfileprogress* progress_;  // owned by the main window
};

}  // namespace tessal
