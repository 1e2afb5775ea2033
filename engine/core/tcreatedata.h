// Who made a channel, where, when and with what. Dates are kept as day
// numbers counted from 30 December 1899 (fractions are the time of day), the
// form the signal files store.
#pragma once

#include <string>

namespace tessal {

struct tcreatedata {
    double date = 0;
    std::string computer;
    std::string origin;
    std::string user;
    friend bool operator==(const tcreatedata&, const tcreatedata&) = default;
};

// The login name of the user running the program ("" when unknown).
std::string current_user_name();
// The host name of this computer ("" when unknown).
std::string current_computer_name();
// Now, as a day number in local time.
double now_as_daynumber();

tcreatedata make_createdata(const std::string& origin);

}  // namespace tessal
