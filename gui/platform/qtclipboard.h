// The engine's text clipboard over the system clipboard (plain text).
#pragma once

#include "core/textclipboard.h"

namespace tessal {

class tqtclipboard : public ttextclipboard {
public:
    void set_text(const std::string& text) override;
};

}  // namespace tessal
