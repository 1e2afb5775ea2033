// The commands of the windows whose work comes later: Calibrate, the
// analysis windows after Measurements, "Manage codecs..." and the Tools menu.
// Their windows are placeholders with the right caption (twindowset makes
// one for every window without a factory), so each command already opens
// the right window. When a window's work arrives, its feature takes over
// its command and adds its window factory, and the line here goes.
#pragma once

#include "gui/context/appcontext.h"

namespace tessal {

class tplannedmodule : public tfeaturemodule {
public:
    explicit tplannedmodule(tappcontext& ctx);
    ~tplannedmodule() override;
};

}  // namespace tessal
