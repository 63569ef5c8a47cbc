#ifndef DUPLICATEKEYS_H
#define DUPLICATEKEYS_H

#include <QByteArray>
#include <QString>

// QJsonDocument keeps the last of two equal keys in an object without a word. This finds the
// first such key, before the parser sees the document (any bytes are safe), comparing keys
// after their escapes are decoded ("speed" and "sp\u0065ed" are one key).
namespace nexil::duplicatekeys {

// True when an object holds a key twice: *key is that key and *where the object's place, e.g.
// "channels[1]", empty for the top level. Works in one pass without recursion, so its cost is
// bounded by the document's size; past 1024 levels, which no valid snapshot reaches, it stops
// looking and leaves the refusal to the JSON parser.
bool find(const QByteArray &json, QString *where, QString *key);

} // namespace nexil::duplicatekeys

#endif // DUPLICATEKEYS_H
