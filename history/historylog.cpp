#include "historylog.h"

#include "escaped.h"
#include "restoretext.h"

#include <QCoreApplication>

#include <algorithm>

HistoryLog::HistoryLog(QObject *parent, int limit)
    : QAbstractTableModel(parent), m_limit(std::max(1, limit))
{ }

void HistoryLog::add(Kind kind, const QString &text)
{
    if (size() >= m_limit) {
        beginRemoveRows(QModelIndex(), 0, 0);
        m_entries.pop_front();
        endRemoveRows();
    }
    beginInsertRows(QModelIndex(), size(), size());
    m_entries.push_back({QDateTime::currentDateTime(), kind, text});
    endInsertRows();
}

void HistoryLog::addWrite(const nexil::WriteResult &result)
{
    // The window's texts, in its translation context.
    const auto tr = [](const char *text) { return QCoreApplication::translate("Velotune", text); };
    const nexil::SettingInfo &setting = nexil::info(result.setting);
    const QString before
            = result.before ? nexil::formatValue(result.setting, *result.before) : tr("unknown");
    add(Kind::Write,
        tr("Channel %1: %2 %3 \u2192 %4: %5")
                .arg(result.channel)
                .arg(tr(setting.historyName), before,
                     nexil::formatValue(result.setting, result.value, result.sensorType),
                     nexil::restoretext::writeOutcome(result)));
}

QString HistoryLog::kindText(Kind kind)
{
    switch (kind) {
    case Kind::Message:
        return tr("Message");
    case Kind::Write:
        return tr("Write");
    }
    return QString();
}

QString HistoryLog::timeText(const QDateTime &time)
{
    return time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
}

QString HistoryLog::lineOf(int row) const
{
    const Entry &shown = entry(row);
    return timeText(shown.time) + QLatin1Char('\t') + kindText(shown.kind) + QLatin1Char('\t')
            + nexil::escaped(shown.text);
}

QString HistoryLog::toText() const
{
    QString text;
    for (int row = 0; row < size(); ++row)
        text += lineOf(row) + QLatin1Char('\n');
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
    switch (index.column()) {
    case TimeColumn:
        return timeText(shown.time);
    case KindColumn:
        return kindText(shown.kind);
    case TextColumn:
        return shown.text;
    default:
        return QVariant();
    }
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
    case TextColumn:
        return tr("Entry");
    default:
        return QVariant();
    }
}
