// The inverse-filtering feature: the "Inverse filter" command of the Tools
// menu and the Invira window, whose elements are kept between runs in the
// settings folder.
#pragma once

#include "gui/context/appcontext.h"

namespace tessal {

class tinversefiltermodule : public tfeaturemodule {
public:
    explicit tinversefiltermodule(tappcontext& ctx);
    ~tinversefiltermodule() override;
    static QString settings_path();
};

}  // namespace tessal
