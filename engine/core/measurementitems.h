// The 32 measurement items a channel reports: their headings and the keys
// the settings file and the data log use. The numbers and texts are
// tchannel's get_measurement* methods.
#pragma once

#include <string>

namespace tessal {

struct tmeasurementitem {
    const char* heading;
    const char* key;
};

// Item i (0..31); an out-of-range item gives empty texts.
tmeasurementitem measurement_item(int itemno);

// The items shown when nothing was chosen yet.
bool measurement_shown_by_default(int itemno);

}  // namespace tessal
