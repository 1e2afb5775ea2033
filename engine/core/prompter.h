// Questions and warnings to the user. Engine commands that may destroy data
// or need a decision take a tprompter and pass it the exact text and caption;
// "\r" in a text is a line break. The GUI answers with message boxes, tests
// with a scripted queue, tessal-cli from its options.
#pragma once

#include <string>

namespace tessal {

// The text with its "\r" line breaks as "\n", for a terminal or a log file.
inline std::string with_newlines(std::string text) {
    for (char& c : text)
        if (c == '\r') c = '\n';
    return text;
}

enum class tbuttons { ok, okcancel, yesno, yesnocancel };
enum class ticon { none, information, warning, error, question };
enum class tanswer { ok, cancel, yes, no };

class tprompter {
public:
    virtual ~tprompter() = default;
    // Shows `text` with `caption` and the given buttons; returns the button
    // chosen. Closing the box without a choice answers cancel (or no when
    // there is no cancel button, or ok for a plain message).
    virtual tanswer ask(const std::string& text, const std::string& caption, tbuttons buttons,
                        ticon icon) = 0;

    void warn(const std::string& text, const std::string& caption) {
        ask(text, caption, tbuttons::ok, ticon::warning);
    }
    void error(const std::string& text, const std::string& caption = "Error") {
        ask(text, caption, tbuttons::ok, ticon::error);
    }
};

// Answers every question with the same choice and records nothing: for
// callers that must not block (batch runs that were told "yes").
class tfixedprompter : public tprompter {
public:
    explicit tfixedprompter(tanswer yesanswer) : yes_(yesanswer) {}
    tanswer ask(const std::string&, const std::string&, tbuttons buttons, ticon) override {
        if (buttons == tbuttons::ok) return tanswer::ok;
        if (yes_ == tanswer::yes || yes_ == tanswer::ok)
            return buttons == tbuttons::okcancel ? tanswer::ok : tanswer::yes;
        return buttons == tbuttons::yesno ? tanswer::no : tanswer::cancel;
    }

private:
    tanswer yes_;
};

}  // namespace tessal
