// "Calibrate..." (Edit menu) and its "Calibration" window.
#pragma once

#include "gui/context/appcontext.h"

namespace tessal {

class tcalibrationmodule : public tfeaturemodule {
public:
    explicit tcalibrationmodule(tappcontext& ctx);
    ~tcalibrationmodule() override;
};

}  // namespace tessal
