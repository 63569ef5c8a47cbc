#include "channeltable.h"

#include "units.h"

#include <QBrush>
#include <QColor>

#include <cstdint>
#include <map>

namespace {

bool readInFull(const ChannelRow &row)
{
    return row.failure.isEmpty() && row.settings.positioner;
}

} // namespace

ChannelTable::ChannelTable(QObject *parent) : QAbstractTableModel(parent) { }

ChannelTable::~ChannelTable() = default;

int ChannelTable::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int ChannelTable::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QString ChannelTable::text(const ChannelRow &row, int column) const
{
    const nexil::ChannelSettings &s = row.settings;
    if (column == Index)
        return QString::number(s.index);
    // The failure takes the place of every value: none of them is known.
    if (!row.failure.isEmpty())
        return column == Positioner ? row.failure : QString();
    if (column == Positioner)
        return s.positioner ? tr("yes") : tr("no");
    if (!s.positioner)
        return QString();
    switch (column) {
    case Sensor:
        return tr("%1 (%2, %3)")
                .arg(s.sensorType)
                .arg(nexil::speedUnit(s.sensorType), nexil::accelerationUnit(s.sensorType));
    default:
        break;
    }
    if (const std::optional<nexil::Setting> setting = settingOf(column))
        return nexil::settingText(s, *setting);
    return QString();
}

QVariant ChannelTable::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return QVariant();
    const ChannelRow &row = m_rows[size_t(index.row())];
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
        return text(row, column);
    case Qt::ToolTipRole:
        if (const QString *refusal = refusalOf(index))
            return *refusal;
        return column == Positioner && !row.failure.isEmpty() ? row.failure : QVariant();
    case Qt::BackgroundRole:
        // Light enough for the theme's text colour to stay readable on it.
        return refusalOf(index) != nullptr ? QBrush(QColor(255, 205, 205)) : QVariant();
    case Qt::EditRole:
        if (!editable(index))
            return text(row, column);
        return qulonglong(nexil::valueOf(row.settings, *settingOf(column)));
    case Qt::CheckStateRole:
        if (!toggleable(index))
            return QVariant();
        return row.settings.lowVibration == nexil::LowVibration::On ? Qt::Checked : Qt::Unchecked;
    case Qt::TextAlignmentRole:
        // Numbers right-aligned, so their groups line up.
        if (column == Index || column == Speed || column == Acceleration)
            return int(Qt::AlignRight | Qt::AlignVCenter);
        return QVariant();
    default:
        return QVariant();
    }
}

QVariant ChannelTable::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return QVariant();
    if (orientation == Qt::Vertical)
        return QVariant();
    switch (section) {
    case Index:
        return tr("Channel");
    case Positioner:
        return tr("Positioner");
    case Sensor:
        return tr("Sensor");
    case Speed:
        return tr("Speed");
    case Acceleration:
        return tr("Acceleration");
    case LowVibration:
        return tr("Low Vibration");
    default:
        return QVariant();
    }
}

std::optional<nexil::Setting> ChannelTable::settingOf(int column)
{
    static const std::map<int, nexil::Setting> columns = {
            {Speed, nexil::Setting::Speed},
            {Acceleration, nexil::Setting::Acceleration},
            {LowVibration, nexil::Setting::LowVibration},
    };
    const auto found = columns.find(column);
    if (found == columns.end())
        return std::nullopt;
    return found->second;
}

// Numbers are typed, on/off settings toggled.
bool ChannelTable::editable(const QModelIndex &index) const
{
    const std::optional<nexil::Setting> setting = settingOf(index.column());
    return setting && nexil::info(*setting).unit != nullptr
            && readInFull(m_rows[size_t(index.row())]);
}

bool ChannelTable::toggleable(const QModelIndex &index) const
{
    const ChannelRow &row = m_rows[size_t(index.row())];
    const std::optional<nexil::Setting> setting = settingOf(index.column());
    return setting && nexil::info(*setting).unit == nullptr && readInFull(row)
            && row.settings.lowVibration != nexil::LowVibration::Unsupported;
}

Qt::ItemFlags ChannelTable::flags(const QModelIndex &index) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return Qt::NoItemFlags;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (editable(index))
        flags |= Qt::ItemIsEditable;
    if (toggleable(index))
        flags |= Qt::ItemIsUserCheckable;
    return flags;
}

bool ChannelTable::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!index.isValid() || index.row() >= rowCount())
        return false;
    const nexil::ChannelSettings &s = m_rows[size_t(index.row())].settings;
    if (role == Qt::CheckStateRole && toggleable(index)) {
        const bool on = value.toInt() == Qt::Checked;
        emit writeRequested(s.index, *settingOf(index.column()), on ? 1 : 0);
        return true;
    }
    if (role != Qt::EditRole || !editable(index))
        return false;
    bool ok = false;
    const qulonglong wanted = value.toULongLong(&ok);
    if (!ok || wanted > UINT32_MAX)
        return false;
    emit writeRequested(s.index, *settingOf(index.column()), uint32_t(wanted));
    return true;
}

const QString *ChannelTable::refusalOf(const QModelIndex &index) const
{
    const auto found = m_refusals.find({index.row(), index.column()});
    return found == m_refusals.end() ? nullptr : &found->second;
}

void ChannelTable::markRefused(uint32_t channel, nexil::Setting setting, const QString &message)
{
    int column = ColumnCount;
    for (int c = Speed; c < ColumnCount; ++c) {
        if (settingOf(c) == setting)
            column = c;
    }
    if (channel >= m_rows.size() || column == ColumnCount)
        return;
    const std::pair<int, int> cell(int(channel), column);
    if (message.isEmpty())
        m_refusals.erase(cell);
    else
        m_refusals[cell] = message;
    emit dataChanged(index(cell.first, column), index(cell.first, column));
}

void ChannelTable::setRows(std::vector<ChannelRow> rows)
{
    beginResetModel();
    // Read afresh: a mark of a refusal before would tell of a value no longer shown.
    m_refusals.clear();
    m_rows = std::move(rows);
    endResetModel();
}

void ChannelTable::setRow(const ChannelRow &row)
{
    const uint32_t channel = row.settings.index;
    if (channel >= m_rows.size())
        return;
    m_rows[channel] = row;
    emit dataChanged(index(int(channel), 0), index(int(channel), ColumnCount - 1));
}

void ChannelTable::clear()
{
    setRows({});
}

bool ChannelTable::failed(int row) const
{
    return row >= 0 && row < rowCount() && !m_rows[size_t(row)].failure.isEmpty();
}
