#include "engine/core/batchprompter.h"

namespace tessal {

tanswer tbatchprompter::ask(const std::string& text, const std::string& caption, tbuttons buttons, ticon) {
    last_ = text;
    if (buttons == tbuttons::ok) {
        if (told) told(text, caption, false);
        return tanswer::ok;
    }
    if (yes_) return buttons == tbuttons::okcancel ? tanswer::ok : tanswer::yes;
    refused_ = true;
    if (told) told(text, caption, true);
    return buttons == tbuttons::yesno ? tanswer::no : tanswer::cancel;
}

}  // namespace tessal
