#include "engine/core/textmetrics.h"

namespace tessal {

int tfixedtextmetrics::text_width(const std::string& s) const {
    // Count code points, not bytes, so UTF-8 names measure sensibly.
    int n = 0;
    for (unsigned char c : s)
        if ((c & 0xC0) != 0x80) ++n;
    return n * charwidth_;
}

int tfixedtextmetrics::text_height(const std::string&) const { return height_; }

const ttextmetrics& default_textmetrics() {
    static const tfixedtextmetrics metrics;
    return metrics;
}

}  // namespace tessal
