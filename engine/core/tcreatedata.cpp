#include "engine/core/tcreatedata.h"

#include <pwd.h>
#include <unistd.h>

#include <climits>
#include <ctime>

namespace tessal {

std::string current_user_name() {
    if (const passwd* pw = getpwuid(geteuid()); pw && pw->pw_name) return pw->pw_name;
    return "";
}

std::string current_computer_name() {
    char buf[HOST_NAME_MAX + 1] = {};
    if (gethostname(buf, sizeof buf - 1) != 0) return "";
    return buf;
}

double now_as_daynumber() {
    std::time_t t = std::time(nullptr);
    std::tm local{};
    localtime_r(&t, &local);
    // Seconds since the Unix epoch in local time, then shifted to day 0 =
    // 30 December 1899 (25569 days before 1 January 1970).
    double seconds = static_cast<double>(t) + static_cast<double>(local.tm_gmtoff);
    return seconds / 86400.0 + 25569.0;
}

tcreatedata make_createdata(const std::string& origin) {
    return {now_as_daynumber(), current_computer_name(), origin, current_user_name()};
}

}  // namespace tessal
