#ifndef JOURNALREADER_H
#define JOURNALREADER_H

#include "journalevent.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <functional>

// Reads the journal back, oldest line first: velotune-cli log and the History window's earlier
// sessions.
namespace nexil::journal {

// Told of each event with the line as stored (without its newline).
using Visit = std::function<void(const Event &, const QByteArray &line)>;
// Told of each line that is not a journal line: the file as messages show it, the line's
// number from 1.
using Damaged = std::function<void(const QString &path, qint64 line)>;

enum class ReadResult { Read, Missing, Failed };

// The lines of `name`, after those of its rotated file unless every event since `since` (when
// valid) is in `name` itself. Missing: neither file is there. Failed: *error says which
// cannot be read and why; a file that is not a regular file is never opened for reading.
ReadResult readJournal(const QByteArray &name, const QDateTime &since, const Visit &visit,
                       const Damaged &damaged, QString *error);

} // namespace nexil::journal

#endif // JOURNALREADER_H
