// Files outside the signal formats: the "Export to text" dialog and the
// label exchange with Praat TextGrids in the File menu.
#pragma once

#include "gui/context/appcontext.h"

namespace tessal {

class texchangemodule : public tfeaturemodule {
public:
    explicit texchangemodule(tappcontext& ctx);
    ~texchangemodule() override;
};

}  // namespace tessal
