// Channel lists and real lists as text. Channel lists use the selectors
// "N" (-1, a new channel), "S" (-2, the current channel) and "C" (-3, the
// current channel's stereo partner) besides plain channel numbers.
#pragma once

#include <string>

#include "engine/dsp/arrays.h"

namespace tessal {

std::string intlist_to_text(const tintarr& list);
// Tokens are runs of "+", "-", digits and the letters N, S, C (any case);
// anything else separates. A malformed token raises EConvertError, and
// `list` keeps the values read before it.
void text_to_intlist(const std::string& text, tintarr& list);
tintarr text_to_intlist(const std::string& text);

// Values joined by single blanks, each in the general "." form.
std::string reallist_to_text(const tdoublearr& list);
// Tokens are runs of "+", "-", digits, "E", "e" and ".".
tdoublearr text_to_reallist(const std::string& text);

}  // namespace tessal
