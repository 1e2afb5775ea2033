// Conversion between the OEM code page 437 and UTF-8.
//
// The .smp header and its label file hold 8-bit text in the DOS console code
// page 437; the program keeps all text as UTF-8. Bytes 0x00-0x7F are ASCII
// both ways. Every byte 0x80-0xFF has exactly one Unicode character, so
// reading never fails. Writing maps each character to its code-page byte; a
// few look-alikes that users type in units are folded onto the byte of the
// character they resemble (Greek mu and the micro sign both give 0xE6), and
// anything else, including malformed UTF-8, becomes "?".
#pragma once

#include <string>
#include <string_view>

namespace tessal {

std::string cp437_to_utf8(std::string_view oem);
std::string utf8_to_cp437(std::string_view utf8);

}  // namespace tessal
