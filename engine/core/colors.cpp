#include "engine/core/colors.h"

namespace tessal {

TColor channel_palette(int channo) {
    static constexpr TColor palette[8] = {0xFF0040, 0x4000FF, 0x00C000, 0x404080,
                                          0xC0C000, 0x0080FF, 0x404040, 0xC0C0C0};
    int i = channo % 8;
    if (i < 0) i += 8;
    return palette[i];
}

}  // namespace tessal
