#include "document/windowplacement.h"

namespace tessal {

trect keep_on_desktop(trect w, const trect& d) {
    if (w.left > d.right() - 50) w.left = d.right() - 50;
    if (w.top > d.bottom() - 100) w.top = d.bottom() - 100;
    if (w.bottom() < d.top + 50) w.top = d.top;
    if (w.right() < d.left + 100) w.left = d.left - w.width + 100;
    return w;
}

}  // namespace tessal
