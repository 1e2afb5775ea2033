// The text pieces of an .smp header: the item list, the header image, and
// the small value syntaxes ("scan", "view", "range", labels).
//
// An image is parsed byte by byte: 10 completes a line, 0 and 26 complete it
// and end the header, 4 and 13 are dropped. Each line is converted from code
// page 437 and trimmed. Up to a line holding only "=", lines are items (split
// at the first "="); after it they are comment lines. Items are kept exactly
// as found, duplicates included: deciding which of two equal keys counts is
// the job of the item list's validation, not of the parser.
//
// Everything here works on bounded input and never throws for bad text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tessal {

struct tsmpitem {
    std::string key;
    std::string value;
};

// Keys are compared without regard to ASCII case.
bool smp_same_key(std::string_view a, std::string_view b);
// Removes control characters and blanks at both ends.
std::string smp_trim(std::string_view s);
// Replaces the bytes that end lines or the header (0, 4, 10, 13, 26) by blanks.
std::string smp_one_line(std::string_view s);

struct tsmpparsed {
    std::vector<tsmpitem> items;
    std::vector<std::string> comments;
    std::size_t end = 0;      // bytes consumed, including the byte that ended the header
    bool terminated = false;  // a 0 or 26 ended the header before the end of the bytes
};
tsmpparsed parse_smp_header(const std::uint8_t* bytes, std::size_t n);

// Item lines, "=", comment lines (each with CR LF), then 00 04 1A.
std::vector<std::uint8_t> build_smp_header(const std::vector<tsmpitem>& items,
                                           const std::vector<std::string>& comments);

// The header size that holds `needed` bytes when the header may only grow
// from `base` in steps of whole scans (2 bytes per slot), so that the
// samples stay aligned to scans: base itself when it suffices.
std::int64_t grown_smp_header_size(std::int64_t base, std::int64_t needed, int scanlength);

// The decimal numbers in a "scan" value, separated by any non-digits. False
// when a number exceeds `maxvalue` or there are more than `maxslots`.
bool parse_smp_scan(std::string_view text, int maxvalue, std::size_t maxslots, std::vector<int>& slots);

// "lo,hi[,rest]": false when lo or hi is not a finite number or hi <= lo;
// rest (trimmed) is the text after the second comma, empty when absent.
bool parse_smp_pair(std::string_view text, double& lo, double& hi, std::string& rest);

// A label "start,length,text" (the first two "," or ";" separate the
// fields). A field that is not a non-negative whole number gives -1.
struct tsmplabelfields {
    std::int64_t start = -1;
    std::int64_t length = -1;
    std::string text;
    bool valid() const { return start >= 0 && length >= 0; }
};
tsmplabelfields parse_smp_label(std::string_view text);

// The N of a label key "L"N (1 to 9 digits), or -1 for any other key.
std::int64_t smp_label_number(std::string_view key);

}  // namespace tessal
