// Decimal formatting works on a 17-digit decimal image of the double and
// rounds that image half away from zero, so "0.125" with two decimals gives
// "0.13" as a person would write it, and the general form never shows binary
// noise beyond 15 digits.
#include "engine/dsp/numformat.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace tessal {
namespace {

// |x| = d0.d1d2... x 10^exp10, digits without a decimal point.
struct tdecimal {
    bool negative = false;
    std::string digits;  // 17 digits, or "0" for zero
    int exp10 = 0;
};

tdecimal decimal_image(double x) {
    tdecimal d;
    d.negative = std::signbit(x) && x != 0;
    if (x == 0) {
        d.digits = "0";
        return d;
    }
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.16e", std::fabs(x));
    // buf: d.dddddddddddddddde[+-]XX
    d.digits.push_back(buf[0]);
    const char* p = buf + 2;
    while (*p && *p != 'e') d.digits.push_back(*p++);
    if (*p == 'e') d.exp10 = std::atoi(p + 1);
    return d;
}

// Keeps the first `kept` digits of d, rounding half away from zero on the
// next digit. kept may be <= 0 (the value then rounds to 0 or to one unit of
// the last kept place). Returns the kept digits; exp10 may grow by one.
std::string round_digits(tdecimal& d, int kept) {
    if (d.digits == "0") return std::string(std::max(kept, 1), '0');
    if (kept < 0) return "";
    std::string r = d.digits.substr(0, std::min<std::size_t>(kept, d.digits.size()));
    while (static_cast<int>(r.size()) < kept) r.push_back('0');
    bool up = kept < static_cast<int>(d.digits.size()) && d.digits[kept] >= '5';
    if (up) {
        int i = kept - 1;
        while (i >= 0 && r[i] == '9') r[i--] = '0';
        if (i >= 0) {
            ++r[i];
        } else {
            r.insert(r.begin(), '1');
            r.pop_back();
            ++d.exp10;
            if (kept == 0) r = "1";
        }
    }
    return r;
}

std::string nonfinite_text(double x) {
    if (std::isnan(x)) return "NAN";
    return x > 0 ? "INF" : "-INF";
}

struct tpattern {
    int intzeros = 0;      // mandatory integer digits
    int intdigits = 0;     // integer digit places ('0' and '#')
    int fraczeros = 0;     // mandatory decimals
    int fracdigits = 0;    // decimal places ('0' and '#')
    bool hasexp = false;
    bool expplus = false;  // "E+": sign always
    int expdigits = 0;
    char expchar = 'E';
    std::string prefix, suffix;
};

tpattern parse_pattern(const std::string& pattern) {
    tpattern p;
    std::string s = pattern.substr(0, pattern.find(';'));
    bool infrac = false, started = false, done = false;
    for (std::size_t i = 0; i < s.size(); ++i) {
        char c = s[i];
        if (c == '"' || c == '\'') {
            std::size_t j = s.find(c, i + 1);
            std::string lit = s.substr(i + 1, (j == std::string::npos ? s.size() : j) - i - 1);
            (started ? p.suffix : p.prefix) += lit;
            i = j == std::string::npos ? s.size() : j;
            continue;
        }
        if (!done && (c == '0' || c == '#')) {
            started = true;
            if (infrac) {
                ++p.fracdigits;
                if (c == '0') p.fraczeros = p.fracdigits;
            } else {
                ++p.intdigits;
                if (c == '0') ++p.intzeros;
            }
        } else if (!done && c == '.') {
            started = true;
            infrac = true;
        } else if (!done && c == ',') {
            // Thousands separators are not used in this program's texts.
        } else if (!done && started && (c == 'E' || c == 'e') && i + 1 < s.size() &&
                   (s[i + 1] == '+' || s[i + 1] == '-')) {
            p.hasexp = true;
            p.expchar = c;
            p.expplus = s[i + 1] == '+';
            i += 2;
            while (i < s.size() && s[i] == '0') {
                ++p.expdigits;
                ++i;
            }
            --i;
            done = true;
        } else {
            (started ? p.suffix : p.prefix) += c;
            if (started) done = true;
        }
    }
    return p;
}

// The integer and fraction texts of d rounded to `decimals` places.
void fixed_parts(tdecimal d, int decimals, std::string& intpart, std::string& frac) {
    int kept = d.exp10 + 1 + decimals;
    std::string r = round_digits(d, kept);
    if (r.empty() || r.find_first_not_of('0') == std::string::npos) {
        intpart = "0";
        frac.assign(decimals, '0');
        return;
    }
    int intlen = d.exp10 + 1;  // digits of r before the point
    if (intlen <= 0) {
        intpart = "0";
        frac = std::string(-intlen, '0') + r;
    } else {
        intpart = r.substr(0, intlen);
        frac = r.substr(intlen);
    }
    frac.resize(decimals, '0');
}

bool all_zero(const std::string& s) { return s.find_first_not_of('0') == std::string::npos; }

std::string trim_fraction(std::string frac, int mandatory) {
    while (static_cast<int>(frac.size()) > mandatory && frac.back() == '0') frac.pop_back();
    return frac;
}

}  // namespace

std::string float_to_text(double x) {
    if (!std::isfinite(x)) return nonfinite_text(x);
    if (x == 0) return "0";
    tdecimal d = decimal_image(x);
    std::string r = round_digits(d, 15);
    while (r.size() > 1 && r.back() == '0') r.pop_back();
    std::string out = d.negative ? "-" : "";
    if (d.exp10 < -5 || d.exp10 >= 15) {
        out += r[0];
        if (r.size() > 1) out += "." + r.substr(1);
        out += "E" + std::to_string(d.exp10);
        return out;
    }
    if (d.exp10 < 0) {
        out += "0." + std::string(-d.exp10 - 1, '0') + r;
    } else {
        int intlen = d.exp10 + 1;
        if (static_cast<int>(r.size()) <= intlen) {
            out += r + std::string(intlen - r.size(), '0');
        } else {
            out += r.substr(0, intlen) + "." + r.substr(intlen);
        }
    }
    return out;
}

std::string format_float_pattern(const std::string& pattern, double x) {
    if (!std::isfinite(x)) return nonfinite_text(x);
    tpattern p = parse_pattern(pattern);
    tdecimal d = decimal_image(x);
    std::string body;
    if (p.hasexp) {
        int intplaces = std::max(p.intdigits, 1);
        int exponent = 0;
        std::string r;
        if (x == 0) {
            r = std::string(intplaces + p.fracdigits, '0');
        } else {
            r = round_digits(d, intplaces + p.fracdigits);
            exponent = d.exp10 - (intplaces - 1);
        }
        std::string intpart = r.substr(0, intplaces);
        std::string frac = trim_fraction(r.substr(intplaces), p.fraczeros);
        body = intpart;
        if (!frac.empty()) body += "." + frac;
        std::string e = std::to_string(std::abs(exponent));
        if (static_cast<int>(e.size()) < p.expdigits) e.insert(0, p.expdigits - e.size(), '0');
        body += p.expchar;
        if (exponent < 0)
            body += "-";
        else if (p.expplus)
            body += "+";
        body += e;
        bool zero = x == 0 || all_zero(r);
        return (d.negative && !zero ? "-" : "") + p.prefix + body + p.suffix;
    }
    std::string intpart, frac;
    fixed_parts(d, p.fracdigits, intpart, frac);
    bool zero = all_zero(intpart) && all_zero(frac);
    frac = trim_fraction(frac, p.fraczeros);
    if (intpart == "0" && p.intzeros == 0) intpart.clear();
    if (static_cast<int>(intpart.size()) < p.intzeros)
        intpart.insert(0, p.intzeros - intpart.size(), '0');
    body = intpart;
    if (!frac.empty()) body += "." + frac;
    if (body.empty()) body = "0";
    return (d.negative && !zero ? "-" : "") + p.prefix + body + p.suffix;
}

namespace {

std::string significant(int n, double x, const char* exppattern) {
    if (std::isnan(x)) return "NaN";
    std::string pattern = n < 2 ? std::string("0") : "0." + std::string(n - 1, '0');
    pattern += exppattern;
    std::string sci = format_float_pattern(pattern, x);
    double v = 0;
    if (!try_parse_float(sci, v)) return sci;
    std::string general = float_to_text(v);
    return general.size() <= sci.size() ? general : sci;
}

}  // namespace

std::string format_significant(int n, double x) { return significant(n, x, "E-0"); }

std::string format_significant_file(int n, double x) { return significant(n, x, "E+0000"); }

bool try_parse_float(const std::string& text, double& value) {
    std::size_t b = text.find_first_not_of(" \t");
    if (b == std::string::npos) return false;
    std::size_t e = text.find_last_not_of(" \t");
    const char* first = text.data() + b;
    const char* last = text.data() + e + 1;
    if (*first == '+') ++first;
    if (first == last) return false;
    auto [ptr, ec] = std::from_chars(first, last, value);
    if (ec == std::errc::result_out_of_range) {
        // Too small is zero, too large is infinite, as strtod would give.
        value = std::strtod(std::string(first, last).c_str(), nullptr);
        return true;
    }
    return ec == std::errc() && ptr == last;
}

double parse_float_dot(const std::string& text) {
    if (text.find_first_not_of(" \t") == std::string::npos)
        throw EConvertError("Cannot convert empty string to number");
    double v = 0;
    if (!try_parse_float(text, v))
        throw EConvertError("'" + text + "' is not a valid floating point value");
    return v;
}

long long parse_int(const std::string& text) {
    std::size_t b = text.find_first_not_of(" \t");
    std::size_t e = text.find_last_not_of(" \t");
    long long v = 0;
    if (b != std::string::npos) {
        const char* first = text.data() + b;
        const char* last = text.data() + e + 1;
        if (*first == '+' && last - first > 1 && first[1] != '-') ++first;
        auto [ptr, ec] = std::from_chars(first, last, v);
        if (ec == std::errc() && ptr == last) return v;
    }
    throw EConvertError("'" + text + "' is not a valid integer value");
}

}  // namespace tessal
