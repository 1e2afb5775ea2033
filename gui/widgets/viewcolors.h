// Colours of the signal view: 0x00BBGGRR values as Qt colours.
#pragma once

#include <QColor>

#include "engine/core/colors.h"

namespace tessal {

inline QColor qcolor(TColor c) { return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }
inline QRgb qrgb(TColor c) { return qRgb(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }

}  // namespace tessal
