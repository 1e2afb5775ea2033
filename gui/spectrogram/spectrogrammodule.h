// The spectrogram feature: the "Spectrogram" command of the Analysis menu
// and its window, whose settings are read from the settings folder when it
// is made and written there when the program closes (unless this run may
// not write settings).
#pragma once

#include "gui/context/appcontext.h"

namespace tessal {

class tspectrogrammodule : public tfeaturemodule {
public:
    explicit tspectrogrammodule(tappcontext& ctx);
    ~tspectrogrammodule() override;
};

}  // namespace tessal
