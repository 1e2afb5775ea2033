// tqtextmetrics: ttextmetrics over QFontMetrics.
#include "gui/platform/qttextmetrics.h"

#include <QString>

namespace tessal {

tqtextmetrics::tqtextmetrics(const QFont& font) : fm_(font) {}

void tqtextmetrics::set_font(const QFont& font) { fm_ = QFontMetrics(font); }

int tqtextmetrics::text_width(const std::string& s) const {
    return fm_.horizontalAdvance(QString::fromStdString(s));
}

int tqtextmetrics::text_height(const std::string&) const { return fm_.height(); }

}  // namespace tessal
