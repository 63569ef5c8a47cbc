#ifndef DUPLICATEKEYS_H
#define DUPLICATEKEYS_H

#include <QByteArray>
#include <QString>

// QJsonDocument keeps the last of two equal keys in an object without a word. This finds the
// first such key in a document the parser has accepted, comparing keys after their escapes
// are decoded ("speed" and "sp\u0065ed" are one key).
namespace nexil::duplicatekeys {

// True when an object holds a key twice: *key is that key and *where the object's place, e.g.
// "channels[1]", empty for the top level. Works in one pass without recursion, so its cost is
// bounded by the document's size however deep it nests.
bool find(const QByteArray &json, QString *where, QString *key);

} // namespace nexil::duplicatekeys

#endif // DUPLICATEKEYS_H
