#ifndef STATUSFORMAT_H
#define STATUSFORMAT_H

#include <QString>

#include <cstdint>

namespace nexil {

// The library's text for `status`, decoded as UTF-8; empty when it gives none.
QString statusText(uint32_t status);

// `format` holds %1 for the status number and %2 for the library's text. Both are filled in
// one pass, so a '%' inside the library's text is shown as it is.
QString statusMessage(const QString &format, uint32_t status);
// The same with the library's text already fetched.
QString statusMessage(const QString &format, uint32_t status, const QString &text);

} // namespace nexil

#endif // STATUSFORMAT_H
