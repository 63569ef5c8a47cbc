#include "logcommand.h"

#include "escaped.h"
#include "exitcodes.h"
#include "journal.h"
#include "journalreader.h"
#include "output.h"
#include "units.h"

#include <QRegularExpression>

#include <algorithm>
#include <vector>

namespace logcommand {

namespace {

using nexil::journal::Event;
using nexil::journal::Kind;

// More damaged lines are counted, not listed: a file of garbage gives a short message.
constexpr int maxDamagedShown = 10;

// An ISO time (without a zone: local), a date (its midnight, local), or a duration back from
// now: 30s, 30m, 2h, 3d, 1w.
bool parseTime(const QString &text, const QDateTime &now, QDateTime *out)
{
    static const QRegularExpression duration(QStringLiteral("^([0-9]{1,9})([smhdw])$"));
    const QRegularExpressionMatch m = duration.match(text);
    if (m.hasMatch()) {
        static const QString units = QStringLiteral("smhdw");
        static const qint64 seconds[] = {1, 60, 3600, 86400, 604800};
        *out = now.addSecs(-m.captured(1).toLongLong() * seconds[units.indexOf(m.captured(2))]);
        return true;
    }
    QString iso = text;
    if (iso.size() > 10 && iso.at(10) == QLatin1Char(' '))
        iso[10] = QLatin1Char('T');
    *out = QDateTime::fromString(iso, Qt::ISODateWithMs);
    if (!out->isValid() && iso.size() == 10)
        *out = QDateTime(QDate::fromString(iso, Qt::ISODate), QTime(0, 0));
    return out->isValid();
}

struct Filter
{
    QDateTime since;
    QDateTime until;
    qint64 sinceMs = 0;
    qint64 untilMs = 0;
    QString controller;
    std::vector<uint32_t> channels;
    std::optional<nexil::Setting> setting;
    QString source;

    bool matches(const Event &e) const
    {
        // Compared as numbers: comparing times of other zones converts them for every line.
        const qint64 time = e.time.toMSecsSinceEpoch();
        return (!since.isValid() || time >= sinceMs) && (!until.isValid() || time <= untilMs)
                && (controller.isEmpty() || e.locator == controller)
                && (channels.empty()
                    || (e.channel
                        && std::find(channels.begin(), channels.end(), *e.channel)
                                != channels.end()))
                && (!setting || e.setting == setting) && (source.isEmpty() || e.source == source);
    }
};

bool readFilter(const Options &options, Filter *filter, QString *error)
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const auto time = [&](const char *option, const QString &text, QDateTime *out) {
        if (text.isEmpty() || parseTime(text, now, out))
            return true;
        *error = QStringLiteral("--%1 %2: expected an ISO time (2026-12-10T09:30) or a duration "
                                "back from now (30m, 2h, 3d)")
                         .arg(QLatin1String(option), text);
        return false;
    };
    if (!time("since", options.since, &filter->since)
        || !time("until", options.until, &filter->until))
        return false;
    if (options.json && options.csv) {
        *error = QStringLiteral("--json and --csv exclude each other");
        return false;
    }
    if (!options.setting.isEmpty()) {
        filter->setting = nexil::journal::settingFromName(options.setting);
        if (!filter->setting) {
            *error = QStringLiteral("--setting %1: expected speed, acceleration or lowVibration")
                             .arg(options.setting);
            return false;
        }
    }
    if (!options.source.isEmpty() && !nexil::journal::sources().contains(options.source)) {
        *error = QStringLiteral("--source %1: expected one of %2")
                         .arg(options.source, nexil::journal::sources().join(QStringLiteral(", ")));
        return false;
    }
    filter->sinceMs = filter->since.toMSecsSinceEpoch();
    filter->untilMs = filter->until.toMSecsSinceEpoch();
    filter->controller = options.controller;
    filter->channels = options.channels;
    filter->source = options.source;
    return true;
}

QString value(const Event &e, std::optional<uint32_t> v)
{
    if (!v)
        return QStringLiteral("?");
    if (e.setting == nexil::Setting::LowVibration)
        return nexil::journal::valueName(*e.setting, *v);
    return nexil::grouped(*v);
}

QString change(const Event &e)
{
    if (!e.oldValue && !e.newValue)
        return QString();
    QString text = value(e, e.oldValue) + QStringLiteral(" -> ") + value(e, e.newValue);
    if (!e.unit.isEmpty())
        text += QLatin1Char(' ') + e.unit;
    return text;
}

QString details(const Event &e)
{
    QStringList parts;
    if (e.kind == Kind::Compare) {
        parts << QStringLiteral("%1 -> %2").arg(e.left, e.right);
        if (e.differences)
            parts << QStringLiteral("%1 difference(s)").arg(*e.differences);
    } else if (!e.file.isEmpty()) {
        parts << e.file;
    }
    if (e.writes)
        parts << QStringLiteral("%1 write(s)%2")
                         .arg(*e.writes)
                         .arg(e.kind == Kind::RestoreStart ? QStringLiteral(" planned")
                                                           : QString());
    if (e.status)
        parts << QStringLiteral("status %1").arg(*e.status);
    if (!e.text.isEmpty())
        parts << e.text;
    return parts.join(QStringLiteral(", "));
}

QStringList tableRow(const Event &e)
{
    return {nexil::journal::localTime(e.time, false),
            QStringLiteral("%1[%2]").arg(e.program).arg(e.pid),
            nexil::journal::kindName(e.kind),
            e.locator,
            e.channel ? QString::number(*e.channel) : QString(),
            e.setting ? nexil::snapshot::fieldName(*e.setting) : QString(),
            change(e),
            nexil::journal::outcomeName(e.outcome),
            e.source,
            details(e)};
}

} // namespace

int run(const Options &options)
{
    Filter filter;
    QString error;
    if (!readFilter(options, &filter, &error)) {
        output::err(error);
        return exitcode::Usage;
    }
    const nexil::journal::Status journal = nexil::journal::locate();
    if (journal.state != nexil::journal::State::On) {
        output::err(QStringLiteral("the journal is off: %1").arg(journal.reason));
        return exitcode::File;
    }

    std::vector<QStringList> rows
            = {{QStringLiteral("time"), QStringLiteral("program"), QStringLiteral("event"),
                QStringLiteral("controller"), QStringLiteral("channel"), QStringLiteral("setting"),
                QStringLiteral("change"), QStringLiteral("outcome"), QStringLiteral("source"),
                QStringLiteral("details")}};
    QString text;
    if (options.csv)
        text = nexil::journal::csvHeader().join(QLatin1Char(',')) + QLatin1Char('\n');
    qint64 found = 0;
    qint64 damaged = 0;
    const auto visit = [&](const Event &event, const QByteArray &line) {
        if (!filter.matches(event))
            return;
        ++found;
        if (options.json) {
            text += QString::fromUtf8(line) + QLatin1Char('\n');
        } else if (options.csv) {
            text += nexil::journal::csvRow(event) + QLatin1Char('\n');
        } else {
            QStringList row = tableRow(event);
            for (QString &cell : row)
                cell = nexil::escaped(cell);
            rows.push_back(row);
        }
    };
    const auto skip = [&](const QString &path, qint64 line) {
        if (++damaged <= maxDamagedShown)
            output::err(
                    QStringLiteral("%1 line %2: not a journal line, skipped").arg(path).arg(line));
    };
    const nexil::journal::ReadResult read
            = nexil::journal::readJournal(journal.file, filter.since, visit, skip, &error);
    if (damaged > maxDamagedShown)
        output::err(
                QStringLiteral("%1 more damaged line(s) skipped").arg(damaged - maxDamagedShown));
    if (read == nexil::journal::ReadResult::Failed) {
        output::err(error);
        return exitcode::File;
    }
    if (read == nexil::journal::ReadResult::Missing)
        output::err(QStringLiteral("%1: no journal yet").arg(journal.path));
    if (found == 0)
        return exitcode::Differs;
    output::out(options.json || options.csv ? text : output::columns(rows));
    return exitcode::Ok;
}

} // namespace logcommand
