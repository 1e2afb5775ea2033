// The correlation feature: the "Correlation" command of the Analysis menu
// and its window, with its settings kept in the settings folder.
#pragma once

#include "gui/context/appcontext.h"

namespace tessal {

class tcorrelationmodule : public tfeaturemodule {
public:
    explicit tcorrelationmodule(tappcontext& ctx);
    ~tcorrelationmodule() override;
};

}  // namespace tessal
