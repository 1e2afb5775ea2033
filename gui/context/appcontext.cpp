#include "gui/context/appcontext.h"

namespace tessal {

tappcontext::tappcontext(QMainWindow* mainwindow, tprompter* given)
    : window(mainwindow),
      ownprompter_(given ? nullptr : std::make_unique<tqtprompter>(mainwindow)),
      prompter(given ? *given : *ownprompter_),
      life(doc, prompter),
      files(doc, life, prompter),
      measurements(doc),
      windows(mainwindow) {
    commands.guarded_document = &doc;
}

// The windows go before the document they listen to.
tappcontext::~tappcontext() { windows.destroy(); }

}  // namespace tessal
