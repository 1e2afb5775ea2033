#include "engine/core/unitproduct.h"

#include <cctype>

namespace tessal {
namespace {

// Splits a trailing exponent digit run off `s` ("s2" -> "s", 2).
int trailing_power(std::string& s) {
    std::size_t i = s.size();
    while (i > 0 && std::isdigit(static_cast<unsigned char>(s[i - 1]))) --i;
    if (i == s.size()) return 1;
    int p = std::stoi(s.substr(i));
    s.erase(i);
    return p;
}

}  // namespace

std::string unit_product(const std::string& unit, const std::string& factor) {
    std::string u = unit;
    while (!u.empty() && u.back() == ' ') u.pop_back();
    if (u.empty()) return factor;
    if (factor.empty()) return u;

    // A divisor equal to the factor: lower its power, or cancel it.
    if (std::size_t slash = u.rfind('/'); slash != std::string::npos) {
        std::string divisor = u.substr(slash + 1);
        int power = trailing_power(divisor);
        if (divisor == factor && power >= 1) {
            std::string head = u.substr(0, slash);
            if (power == 1) return head == "1" ? "" : head;
            return head + "/" + factor + (power - 1 == 1 ? "" : std::to_string(power - 1));
        }
    }
    // The factor as the last multiplicand: raise its power.
    std::string last = u;
    std::string head;
    if (std::size_t star = u.rfind('*'); star != std::string::npos) {
        head = u.substr(0, star + 1);
        last = u.substr(star + 1);
    }
    if (u.find('/') == std::string::npos) {
        std::string base = last;
        int power = trailing_power(base);
        if (base == factor) return head + factor + std::to_string(power + 1);
    }
    return u + "*" + factor;
}

}  // namespace tessal
