#ifndef FILEREPLACE_H
#define FILEREPLACE_H

#include <QByteArray>
#include <QString>

// Writing a file the user may already have: the old one stays byte for byte until the new one
// is complete on disk, and special files are never written to or replaced.
namespace nexil::filereplace {

// The path, with symbolic links followed, names a regular file or nothing yet. On false
// *error names the path and what it is.
bool isReplaceable(const QString &path, QString *error);

// The path, links followed, names a regular file whose owner took its write permission away:
// replacing it needs the user's word. The mode is looked at, not access(), which root passes.
bool isWriteProtected(const QString &path);

// Writes `data` to a new file next to the target, syncs it, gives it the old file's owner,
// group, extended attributes with its ACL, and mode (a new file gets 0666 less the umask), and
// renames it into place. An attribute that cannot be copied fails the replacement. On failure
// the old file is as it was and no temporary file is left; *error names the path and reason.
bool replace(const QString &path, const QByteArray &data, QString *error);

} // namespace nexil::filereplace

#endif // FILEREPLACE_H
