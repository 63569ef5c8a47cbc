#ifndef APPENDFILE_H
#define APPENDFILE_H

#include <QByteArray>
#include <QString>

namespace nexil {

// Opens the file named by the bytes `name` for appending, creating it readable by its user
// only (0600), and returns its descriptor; -1 with *reason set otherwise. A symbolic link or
// anything but a regular file is refused: a FIFO would block until someone reads it, a device
// is no record, and a link could point anywhere.
int openForAppend(const QByteArray &name, QString *reason);

// The folder of the file named by `name` and each missing folder above it, made 0700 when
// new. False with *reason set when the folder is not there afterwards.
bool makeFolders(const QByteArray &name, QString *reason);

} // namespace nexil

#endif // APPENDFILE_H
