// "Subglottal pressure" (Tools menu) and its "p-sub measurement" window.
#pragma once

#include "gui/context/appcontext.h"

namespace tessal {

class tpsubmodule : public tfeaturemodule {
public:
    explicit tpsubmodule(tappcontext& ctx);
    ~tpsubmodule() override;
};

}  // namespace tessal
