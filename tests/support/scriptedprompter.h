// A prompter for tests: records every question and answers from a queue.
// An empty queue answers the way a user closing the box would (cancel, or no
// without a cancel button, ok for a plain message).
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "engine/core/prompter.h"

namespace tessal::testing {

struct tquestion {
    std::string text;
    std::string caption;
    tbuttons buttons;
};

class tscriptedprompter : public tprompter {
public:
    std::deque<tanswer> answers;
    std::vector<tquestion> asked;

    tanswer ask(const std::string& text, const std::string& caption, tbuttons buttons,
                ticon) override {
        asked.push_back({text, caption, buttons});
        if (!answers.empty()) {
            tanswer a = answers.front();
            answers.pop_front();
            return a;
        }
        switch (buttons) {
            case tbuttons::ok: return tanswer::ok;
            case tbuttons::yesno: return tanswer::no;
            default: return tanswer::cancel;
        }
    }
};

}  // namespace tessal::testing
