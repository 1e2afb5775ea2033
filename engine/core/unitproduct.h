// The unit of a quantity times another unit, as the "Integral" measurement
// needs it (unit x seconds): "Pa" gives "Pa*s", "l/s" gives "l", "m/s2"
// gives "m/s", "s" gives "s2", "" gives "s".
#pragma once

#include <string>

namespace tessal {

std::string unit_product(const std::string& unit, const std::string& factor);

}  // namespace tessal
