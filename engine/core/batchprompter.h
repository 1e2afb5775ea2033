// Answers questions without a person, for batch runs (tessal-cli, the
// Python module): with `yes` every question is answered yes/ok, without it
// refused and remembered. Every text asked is kept, the last one being the
// reason a failed command gives; a caller that shows texts as they come (a
// terminal) hears each plain message and refused question through `told`.
#pragma once

#include <functional>
#include <string>

#include "engine/core/prompter.h"

namespace tessal {

class tbatchprompter : public tprompter {
public:
    explicit tbatchprompter(bool yes = false) : yes_(yes) {}
    tanswer ask(const std::string& text, const std::string& caption, tbuttons buttons, ticon icon) override;

    void set_yes(bool yes) { yes_ = yes; }
    bool yes() const { return yes_; }
    // Whether a question was refused since the last forget().
    bool refused() const { return refused_; }
    // The last text asked, with its "\r" line breaks; "" when none since
    // the last forget().
    const std::string& last_message() const { return last_; }
    // Forgets the refusal and the last text, before a command whose own
    // reason is wanted.
    void forget() {
        refused_ = false;
        last_.clear();
    }

    // Told a plain message (`refused` false) or a refused question.
    std::function<void(const std::string& text, const std::string& caption, bool refused)> told;

private:
    bool yes_;
    bool refused_ = false;
    std::string last_;
};

}  // namespace tessal
