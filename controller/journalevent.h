#ifndef JOURNALEVENT_H
#define JOURNALEVENT_H

#include "setting.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

// One line of the lab journal (README, "The journal"): what a program did to a controller,
// from where, and what came of it. The same type is written by the programs and read back by
// velotune-cli log and the History window.
namespace nexil::journal {

enum class Kind { Connect, Release, Write, RestoreStart, RestoreEnd, Compare };
// None: the key is left out (connects, compares).
enum class Outcome { None, Taken, Refused, NotReadBack };

struct Event
{
    Kind kind = Kind::Write;
    QString locator;
    std::optional<uint32_t> channel;
    std::optional<Setting> setting;
    // Low Vibration Mode as written, 1 on and 0 off; the line says "on" and "off".
    std::optional<uint32_t> oldValue;
    std::optional<uint32_t> newValue;
    QString unit;
    Outcome outcome = Outcome::None;
    // On a refusal: the controller's status and the library's text for it, or for a refused
    // restore the reason alone.
    std::optional<uint32_t> status;
    QString text;
    QString source; // "form", "overview", "restore", "cli set", "cli restore", "python"
    QString file;   // the settings file of a restore or a compare
    // compare: what was compared, left -> right as diff prints them, and the count of
    // differences.
    QString left;
    QString right;
    std::optional<uint32_t> differences;
    // restore-start: the writes planned; restore-end: the writes made.
    std::optional<uint32_t> writes;

    // Filled in when the line is written.
    QDateTime time; // UTC
    QString program;
    qint64 pid = 0;
};

// Where a write was made from, as the `source` key names it.
const QStringList &sources();

QString kindName(Kind kind);
QString outcomeName(Outcome outcome);
std::optional<Setting> settingFromName(const QString &name);
// "2000000", "on": a value as the line and the CSV give it.
QString valueName(Setting setting, uint32_t value);

// The event as one line of JSON, newline included, keys in a fixed order. Control characters,
// line separators and lone surrogates are written as \u escapes, so one line is always one
// event.
QByteArray toLine(const Event &event);
// False for anything that is not a journal line: not a JSON object, no valid time or event,
// a value of the wrong type. Unknown keys are ignored.
bool fromLine(const QByteArray &line, Event *out);

// `time` in the local time zone: "2026-12-10 15:04:07", or with `iso`
// "2026-12-10T15:04:07.412+01:00". Fast enough for a whole journal.
QString localTime(const QDateTime &time, bool iso);

// The columns of velotune-cli log --csv and the History window's CSV, and one event's row
// (without the line end). Times are local with their offset.
const QStringList &csvHeader();
QString csvRow(const Event &event);

} // namespace nexil::journal

#endif // JOURNALEVENT_H
