// The inverse-filtering feature: the "Inverse filter" and "Glottal flow
// parameter measurement" commands of the Tools menu with the Invira window
// (whose elements are kept between runs in the settings folder) and the
// T-naq window.
#pragma once

#include "gui/context/appcontext.h"

namespace tessal {

class tinversefiltermodule : public tfeaturemodule {
public:
    explicit tinversefiltermodule(tappcontext& ctx);
    ~tinversefiltermodule() override;
};

}  // namespace tessal
