// Number formatting and parsing. Display texts and file texts both use "."
// as the decimal separator whatever the locale, so a file written here reads
// back anywhere. The "general" form is the shortest text of up to 15
// significant digits: fixed notation from 1e-5 up to 15 integer digits,
// otherwise an exponent written as "E", an optional "-" and its digits
// ("1.23E-5", "1E20"). Picture patterns follow the usual '0', '#', '.', 'E+0'
// conventions ("0.00", "0.######", "0.00E-0", "0E+0000").
#pragma once

#include <stdexcept>
#include <string>

namespace tessal {

// Raised for texts that are not numbers; the message is for the user.
class EConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Shortest general text of x ("NAN", "INF", "-INF" for the non-finite values).
std::string float_to_text(double x);

// x rounded to n significant digits, in whichever of the exponent form and
// the general form is shorter (the general form when equally long). NaN gives
// "NaN". This is what the information lines, logs and tick labels show.
std::string format_significant(int n, double x);

// The same for files: the exponent form always has a sign and four digits.
std::string format_significant_file(int n, double x);

// x formatted with a picture pattern such as "0.00" or "0.######".
std::string format_float_pattern(const std::string& pattern, double x);

// Parses a number with "." as the decimal separator, with optional blanks
// around it. An empty text raises "Cannot convert empty string to number";
// any other text that is not a whole number raises "'text' is not a valid
// floating point value".
double parse_float_dot(const std::string& text);

// The same without raising: false when the text is not a number.
bool try_parse_float(const std::string& text, double& value);

// Parses a decimal integer; raises "'text' is not a valid integer value".
long long parse_int(const std::string& text);

}  // namespace tessal
