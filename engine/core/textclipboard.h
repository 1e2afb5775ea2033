// ttextclipboard: where the engine puts plain text for the user to paste
// elsewhere (copied measurements, the data log). The GUI implements it over
// the system clipboard; tests and tessal-cli keep the text in memory.
#pragma once

#include <string>

namespace tessal {

class ttextclipboard {
public:
    virtual ~ttextclipboard() = default;
    virtual void set_text(const std::string& text) = 0;
};

// Keeps the last text given: for tests and windowless runs.
class tmemoryclipboard : public ttextclipboard {
public:
    void set_text(const std::string& t) override { text = t; }
    std::string text;
};

}  // namespace tessal
