#include "escaping.h"

#include <algorithm>

namespace text {

namespace {

bool breaksLines(char16_t c)
{
    return c < 0x20 || c == 0x7f || (c >= 0x80 && c < 0xa0) || c == 0x2028 || c == 0x2029;
}

} // namespace

QString escaped(const QString &text)
{
    const auto plain = [](QChar c) { return !breaksLines(c.unicode()); };
    if (std::all_of(text.begin(), text.end(), plain))
        return text;
    QString out;
    out.reserve(text.size() + 8);
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (!breaksLines(u))
            out += c;
        else if (u == '\n')
            out += QLatin1String("\\n");
        else if (u == '\r')
            out += QLatin1String("\\r");
        else if (u == '\t')
            out += QLatin1String("\\t");
        else if (u < 0x100)
            out += QStringLiteral("\\x%1").arg(uint(u), 2, 16, QLatin1Char('0'));
        else
            out += QStringLiteral("\\u%1").arg(uint(u), 4, 16, QLatin1Char('0'));
    }
    return out;
}

} // namespace text
