#include "duplicatekeys.h"

#include <QSet>

#include <cstring>
#include <vector>

namespace nexil::duplicatekeys {

namespace {

struct Level
{
    bool object = false;
    QString name; // "key" in an object, "[i]" in an array, empty at the top
    QSet<QString> keys;
    QString lastKey;
    bool expectKey = false;
    int element = 0;
};

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The string starting after the opening quote at *i; *i ends after the closing quote.
QString readString(const QByteArray &json, int *i)
{
    QString text;
    QByteArray run;
    int at = *i;
    while (at < json.size() && json.at(at) != '"') {
        if (json.at(at) != '\\') {
            run += json.at(at++);
            continue;
        }
        text += QString::fromUtf8(run);
        run.clear();
        const char escape = at + 1 < json.size() ? json.at(at + 1) : '\0';
        at += 2;
        // The one-letter escapes, each followed by the character it stands for.
        static const char simple[] = "b\bf\fn\nr\rt\t";
        const char *found = escape != '\0' ? std::strchr(simple, escape) : nullptr;
        if (found != nullptr && (found - simple) % 2 == 0) {
            text += QLatin1Char(found[1]);
            continue;
        }
        if (escape == 'u') {
            int code = 0;
            for (int k = 0; k < 4 && at < json.size(); ++k, ++at)
                code = code * 16 + qMax(0, hexValue(json.at(at)));
            text += QChar(ushort(code));
        } else { // '"', '\\', '/'
            text += QLatin1Char(escape);
        }
    }
    text += QString::fromUtf8(run);
    *i = at + 1;
    return text;
}

QString path(const std::vector<Level> &stack)
{
    QString text;
    for (std::size_t k = 1; k < stack.size(); ++k) {
        const QString &name = stack[k].name;
        if (!text.isEmpty() && !name.startsWith(QLatin1Char('[')))
            text += QLatin1Char('.');
        text += name;
    }
    return text;
}

// Qt's JSON parser refuses documents that nest deeper than this.
constexpr std::size_t maxDepth = 1024;

} // namespace

bool find(const QByteArray &json, QString *where, QString *key)
{
    std::vector<Level> stack;
    int i = 0;
    while (i < json.size()) {
        const char c = json.at(i);
        if (c == '{' || c == '[') {
            // Deeper than the JSON parser goes: it refuses the file.
            if (stack.size() >= maxDepth)
                return false;
            Level level;
            level.object = c == '{';
            level.expectKey = level.object;
            if (!stack.empty()) {
                const Level &parent = stack.back();
                level.name = parent.object ? parent.lastKey
                                           : QStringLiteral("[%1]").arg(parent.element);
            }
            stack.push_back(level);
            ++i;
        } else if (c == '}' || c == ']') {
            if (!stack.empty())
                stack.pop_back();
            ++i;
        } else if (c == ',') {
            if (!stack.empty()) {
                Level &level = stack.back();
                level.expectKey = level.object;
                ++level.element;
            }
            ++i;
        } else if (c == '"') {
            ++i;
            const QString text = readString(json, &i);
            if (stack.empty() || !stack.back().object || !stack.back().expectKey)
                continue;
            Level &level = stack.back();
            level.expectKey = false;
            if (level.keys.contains(text)) {
                *where = path(stack);
                *key = text;
                return true;
            }
            level.keys.insert(text);
            level.lastKey = text;
        } else {
            ++i;
        }
    }
    return false;
}

} // namespace nexil::duplicatekeys
