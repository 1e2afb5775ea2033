#include "gui/platform/filefilter.h"

namespace tessal {

QStringList qt_filters(const QString& pairs) {
    QStringList parts = pairs.split('|');
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString caption = parts[i].trimmed();
        QString patterns = parts[i + 1];
        patterns.replace(';', ' ');
        if (patterns == "*.*") patterns = "*";
        // Qt reads the patterns from the last brackets of the caption, so a
        // caption that already names them is replaced by a clean one.
        int bracket = caption.indexOf('(');
        if (bracket >= 0) caption = caption.left(bracket).trimmed();
        out << caption + " (" + patterns + ")";
    }
    return out;
}

}  // namespace tessal
