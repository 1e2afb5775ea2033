// Text measurement with a Qt font, for engine objects that lay out labels
// (the axis model's tick spacing, label thinning and auto size). Widths are
// horizontal advances; the height of any text is the font's line height,
// so an empty label is as high as a filled one, as the axis expects.
#pragma once

#include <QFont>
#include <QFontMetrics>

#include "engine/core/textmetrics.h"

namespace tessal {

class tqtextmetrics : public ttextmetrics {
public:
    explicit tqtextmetrics(const QFont& font = QFont());
    void set_font(const QFont& font);
    int text_width(const std::string& s) const override;
    int text_height(const std::string& s) const override;

private:
    QFontMetrics fm_;
};

}  // namespace tessal
