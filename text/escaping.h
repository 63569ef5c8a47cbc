#ifndef ESCAPING_H
#define ESCAPING_H

#include <QString>

namespace text {

// `text` with its control characters and line separators written out (\n, \r, \t, \x1b,
// \u2028), so a locator or a path from outside never splits a message or a trace line in
// two. Anything else, backslashes included, is left as it is.
QString escaped(const QString &text);

} // namespace text

#endif // ESCAPING_H
