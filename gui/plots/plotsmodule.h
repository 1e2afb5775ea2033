// The distribution and xy plots of the Analysis menu: "Show histograms"
// (the "Histograms/KDE" window) and "xy-plot". The histogram window keeps
// its settings in "histogramswindow.ini" in the settings folder, written
// when it is destroyed unless this run may not write settings.
#pragma once

#include "gui/context/appcontext.h"

namespace tessal {

class tplotsmodule : public tfeaturemodule {
public:
    explicit tplotsmodule(tappcontext& ctx);
    ~tplotsmodule() override;
};

}  // namespace tessal
