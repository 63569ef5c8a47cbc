#include "grouping.h"

#include <QLocale>

namespace text {

QString grouped(qint64 value)
{
    static const QLocale german(QLocale::German);
    return german.toString(value);
}

} // namespace text
