// The electropalatography feature: the "Electropalatograph (EPG)" command
// of the Tools menu, the "EPG" window and its "Contact evolution"
// companion, with the EPG window's settings kept in the settings folder.
#pragma once

#include "gui/context/appcontext.h"

namespace tessal {

class tepgmodule : public tfeaturemodule {
public:
    explicit tepgmodule(tappcontext& ctx);
    ~tepgmodule() override;
};

}  // namespace tessal
