#include "statusformat.h"

#include "escaped.h"
#include "nexillibrary.h"

namespace nexil {

QString statusText(uint32_t status)
{
    const char *info = nullptr;
    call::getStatusInfo(status, &info);
    return info != nullptr ? QString::fromUtf8(info) : QString();
}

QString statusMessage(const QString &format, uint32_t status)
{
    // A message without the library's text costs no call.
    if (!format.contains(QLatin1String("%2")))
        return format.arg(status);
    return statusMessage(format, status, statusText(status));
}

QString statusMessage(const QString &format, uint32_t status, const QString &text)
{
    // The text may quote a locator or a path from outside.
    return format.arg(QString::number(status), escaped(text));
}

} // namespace nexil
