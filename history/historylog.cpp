#include "historylog.h"

#include "escaped.h"
#include "modeljournal.h"
#include "restoretext.h"

#include <QCoreApplication>

#include <algorithm>

namespace {

// The window's texts, in its translation context.
QString vt(const char *text)
{
    return QCoreApplication::translate("Velotune", text);
}

QString trN(const char *text, std::optional<uint32_t> n)
{
    return QCoreApplication::translate("Velotune", text, nullptr, int(n.value_or(0)));
}

HistoryLog::Kind kindOf(nexil::journal::Kind kind)
{
    switch (kind) {
    case nexil::journal::Kind::Connect:
        return HistoryLog::Kind::Connect;
    case nexil::journal::Kind::Release:
        return HistoryLog::Kind::Release;
    case nexil::journal::Kind::Write:
        return HistoryLog::Kind::Write;
    case nexil::journal::Kind::RestoreStart:
    case nexil::journal::Kind::RestoreEnd:
        return HistoryLog::Kind::Restore;
    case nexil::journal::Kind::Compare:
        break;
    }
    return HistoryLog::Kind::Compare;
}

QString writeText(uint32_t channel, nexil::Setting setting, const QString &before,
                  const QString &after, const QString &outcome)
{
    return vt("Channel %1: %2 %3 \u2192 %4: %5")
            .arg(channel)
            .arg(vt(nexil::info(setting).historyName), before, after, outcome);
}

} // namespace

HistoryLog::HistoryLog(QObject *parent, int limit)
    : QAbstractTableModel(parent), m_limit(std::max(1, limit))
{ }

void HistoryLog::append(Entry entry)
{
    if (size() >= m_limit) {
        beginRemoveRows(QModelIndex(), 0, 0);
        if (m_entries.front().earlier)
            --m_earlier;
        m_entries.pop_front();
        endRemoveRows();
    }
    beginInsertRows(QModelIndex(), size(), size());
    m_entries.push_back(std::move(entry));
    endInsertRows();
}

void HistoryLog::add(Kind kind, const QString &text)
{
    append({QDateTime::currentDateTime(), kind, text, std::nullopt, false});
}

void HistoryLog::addWrite(const nexil::WriteResult &result, const QString &locator)
{
    const QString before
            = result.before ? nexil::formatValue(result.setting, *result.before) : vt("unknown");
    nexil::journal::Event event = nexil::journal::writeEvent(locator, result);
    event.time = QDateTime::currentDateTimeUtc();
    append({event.time.toLocalTime(), Kind::Write,
            writeText(result.channel, result.setting, before,
                      nexil::formatValue(result.setting, result.value, result.sensorType),
                      nexil::restoretext::writeOutcome(result)),
            event, false});
}

void HistoryLog::addEvent(const nexil::journal::Event &event)
{
    append({event.time.toLocalTime(), kindOf(event.kind), eventText(event), event, false});
}

void HistoryLog::setEarlier(const std::vector<nexil::journal::Event> &events)
{
    if (m_earlier > 0) {
        beginRemoveRows(QModelIndex(), 0, m_earlier - 1);
        m_entries.erase(m_entries.begin(), m_entries.begin() + m_earlier);
        m_earlier = 0;
        endRemoveRows();
    }
    const std::size_t room = std::size_t(std::max(0, std::min(earlierLimit, m_limit - size())));
    const std::size_t shown = std::min(room, events.size());
    if (shown == 0)
        return;
    beginInsertRows(QModelIndex(), 0, int(shown) - 1);
    for (auto e = events.rbegin(); e != events.rbegin() + std::ptrdiff_t(shown); ++e)
        m_entries.push_front({e->time.toLocalTime(), kindOf(e->kind), eventText(*e), *e, true});
    m_earlier = int(shown);
    endInsertRows();
}

QString HistoryLog::eventText(const nexil::journal::Event &e)
{
    using nexil::journal::Kind;
    using nexil::journal::Outcome;
    const QString file = nexil::escaped(e.file);
    switch (e.kind) {
    case Kind::Connect:
        return tr("Connected");
    case Kind::Release:
        return tr("Released");
    case Kind::Write: {
        if (!e.setting || !e.channel || !e.newValue)
            break;
        const QString before
                = e.oldValue ? nexil::formatValue(*e.setting, *e.oldValue) : vt("unknown");
        QString after = nexil::formatValue(*e.setting, *e.newValue);
        if (!e.unit.isEmpty())
            after += QLatin1Char(' ') + nexil::escaped(e.unit);
        const QString outcome = e.outcome == Outcome::Refused
                ? nexil::restoretext::failed(nexil::escaped(e.text))
                : e.outcome == Outcome::NotReadBack ? nexil::restoretext::notReadBack()
                                                    : nexil::restoretext::written();
        return writeText(*e.channel, *e.setting, before, after, outcome);
    }
    case Kind::RestoreStart:
        return trN("Restore from %1: %n field(s) to write", e.writes).arg(file);
    case Kind::RestoreEnd:
        if (e.outcome == Outcome::Refused)
            return tr("Restore from %1 refused: %2").arg(file, nexil::escaped(e.text));
        if (!e.text.isEmpty())
            return trN("Restore from %1 ended, %n field(s) written: %2", e.writes)
                    .arg(file, nexil::escaped(e.text));
        return trN("Restore from %1 ended, %n field(s) written", e.writes).arg(file);
    case Kind::Compare:
        return trN("Compared %1 and %2: %n field(s) differ", e.differences)
                .arg(nexil::escaped(e.left), nexil::escaped(e.right));
    }
    return nexil::journal::kindName(e.kind);
}

QString HistoryLog::kindText(Kind kind)
{
    switch (kind) {
    case Kind::Message:
        return tr("Message");
    case Kind::Write:
        return tr("Write");
    case Kind::Connect:
        return tr("Connect");
    case Kind::Release:
        return tr("Release");
    case Kind::Restore:
        return tr("Restore");
    case Kind::Compare:
        return tr("Compare");
    }
    return QString();
}

QString HistoryLog::timeText(const QDateTime &time)
{
    return time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
}

QString HistoryLog::cell(const Entry &entry, int column) const
{
    switch (column) {
    case TimeColumn:
        return timeText(entry.time);
    case KindColumn:
        return kindText(entry.kind);
    case ControllerColumn:
        return entry.event ? entry.event->locator : QString();
    case SourceColumn:
        return entry.event ? entry.event->source : QString();
    case TextColumn:
        return entry.text;
    default:
        return QString();
    }
}

QString HistoryLog::lineOf(int row) const
{
    QStringList fields;
    for (int column = 0; column < ColumnCount; ++column)
        fields << nexil::escaped(cell(entry(row), column));
    return fields.join(QLatin1Char('\t'));
}

QString HistoryLog::toText() const
{
    QString text;
    for (int row = 0; row < size(); ++row)
        text += lineOf(row) + QLatin1Char('\n');
    return text;
}

QString HistoryLog::toCsv() const
{
    QString text = nexil::journal::csvHeader().join(QLatin1Char(',')) + QLatin1Char('\n');
    for (const Entry &shown : m_entries)
        if (shown.event)
            text += nexil::journal::csvRow(*shown.event) + QLatin1Char('\n');
    return text;
}

int HistoryLog::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : size();
}

int HistoryLog::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant HistoryLog::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= size()
        || (role != Qt::DisplayRole && role != Qt::ToolTipRole))
        return QVariant();
    const Entry &shown = entry(index.row());
    // Controller names come from outside: one line whatever they hold.
    if (index.column() == ControllerColumn)
        return nexil::escaped(cell(shown, index.column()));
    return cell(shown, index.column());
}

QVariant HistoryLog::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QVariant();
    switch (section) {
    case TimeColumn:
        return tr("Time");
    case KindColumn:
        return tr("Kind");
    case ControllerColumn:
        return tr("Controller");
    case SourceColumn:
        return tr("Source");
    case TextColumn:
        return tr("Entry");
    default:
        return QVariant();
    }
}
