#ifndef JOURNAL_H
#define JOURNAL_H

#include "journalevent.h"

#include <QByteArray>
#include <QLoggingCategory>
#include <QString>

#include <functional>

// The lab journal every Velotune program appends to (README, "The journal"): one file per
// user, $XDG_STATE_HOME/velotune/journal.jsonl, or the file VELOTUNE_JOURNAL names, "off" for
// none. Journaling never stops or changes a controller action: whatever goes wrong with the
// file is said once, and the journal is off for the rest of the run.
namespace nexil::journal {

Q_DECLARE_LOGGING_CATEGORY(lcJournal)

enum class State { On, Off, Failed };

struct Status
{
    State state = State::Off;
    QByteArray file; // the journal's name as the file system has it; empty when there is none
    QString path;    // the same for messages, control characters written out
    QString reason;  // why it is off or failed
};

// At this size the file is renamed to rotatedName() (one kept) and a new one begun.
constexpr qint64 rotateSize = qint64(16) * 1024 * 1024;

// Where the journal is, from the environment; State::On with the file, or why there is none.
// Nothing is opened or made.
Status locate();
// journal.jsonl -> journal.1.jsonl; a name without .jsonl gets .1 at its end.
QByteArray rotatedName(const QByteArray &name);

// Appends `event` as one line, with the time now (UTC), the program's name and process id.
// Safe to call from any thread; the file is opened on the first call.
void record(Event event);
// Told of every event this process records, journaled or not, on the thread that recorded
// it: the History window's view of its own session. One at a time; an empty one stops it.
using Listener = std::function<void(const Event &)>;
void setListener(Listener told);

// On, Off or Failed with the reason: what the History window shows. Opens the file if that
// was not done yet.
Status state();

} // namespace nexil::journal

#endif // JOURNAL_H
