#ifndef GROUPING_H
#define GROUPING_H

#include <QString>

namespace text {

// A value with German digit grouping (2.000.000), whatever the machine's locale: the form the
// window's boxes and velotune-cli's tables show.
QString grouped(qint64 value);

} // namespace text

#endif // GROUPING_H
