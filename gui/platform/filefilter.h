// File dialog filters. The program keeps its filters as "caption|patterns"
// pairs joined by "|" ("Wave files (*.wav)|*.wav|All files (*.*)|*.*");
// Qt wants "caption (patterns);;...". The caption keeps its own text; the
// patterns are appended in brackets when the caption does not show them.
#pragma once

#include <QString>
#include <QStringList>

namespace tessal {

QStringList qt_filters(const QString& pairs);

}  // namespace tessal
