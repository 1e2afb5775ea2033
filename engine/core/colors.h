// Channel colours (0x00BBGGRR values) and the three colour schemes.
#pragma once

#include <cstdint>

namespace tessal {

using TColor = std::uint32_t;

enum class tcolorscheme : int { black = 0, colour = 1, colourpaired = 2 };

// Colour i of the eight-colour palette; any integer, negative ones too.
TColor channel_palette(int channo);

inline constexpr TColor cursorcolor_defaults[9] = {0x0000FF, 0x0000FF, 0xFF0000,
                                                   0x008000, 0x008000, 0xFF00FF,
                                                   0xFF00FF, 0xC000FF, 0xC000FF};

}  // namespace tessal
