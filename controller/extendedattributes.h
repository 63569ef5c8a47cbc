#ifndef EXTENDEDATTRIBUTES_H
#define EXTENDEDATTRIBUTES_H

#include <QByteArray>
#include <QString>

// A replaced file keeps its extended attributes, its POSIX ACL among them (the attributes
// system.posix_acl_access and system.posix_acl_default), so a replacement never widens or
// narrows who may read it.
namespace nexil::extendedattributes {

// Gives the file open as `to` every extended attribute of the file `from` (not followed if a
// link). An attribute `to` already holds with the same value is left alone. False with *why
// naming the attribute that could not be copied and the reason; a file system without
// extended attributes has none to copy.
bool copy(const QByteArray &from, int to, QString *why);

} // namespace nexil::extendedattributes

#endif // EXTENDEDATTRIBUTES_H
