// The spectrum feature: the "Spectrum" command of the Analysis menu and the
// spectrum window with its "Frequency range " dialog. The window's settings
// are read from the settings folder when it is made and written there when
// the program closes (unless this run may not write settings).
#pragma once

#include "gui/context/appcontext.h"

namespace tessal {

class tspectrumwindow;

class tspectrummodule : public tfeaturemodule {
public:
    explicit tspectrummodule(tappcontext& ctx);
    ~tspectrummodule() override;

private:
    tspectrumwindow* window_ = nullptr;  // owned by the window set
};

}  // namespace tessal
