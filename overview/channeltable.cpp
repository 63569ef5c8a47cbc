#include "channeltable.h"

#include "units.h"

#include <cstdint>

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
    case Speed:
        return nexil::grouped(s.speed);
    case Acceleration:
        return nexil::grouped(s.acceleration);
    case LowVibration:
        return nexil::snapshot::lowVibrationText(s.lowVibration);
    default:
        return QString();
    }
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
        return column == Positioner && !row.failure.isEmpty() ? row.failure : QVariant();
    case Qt::EditRole:
        if (!editable(index))
            return text(row, column);
        return qulonglong(column == Speed ? row.settings.speed : row.settings.acceleration);
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

bool ChannelTable::editable(const QModelIndex &index) const
{
    return (index.column() == Speed || index.column() == Acceleration)
            && readInFull(m_rows[size_t(index.row())]);
}

bool ChannelTable::toggleable(const QModelIndex &index) const
{
    const ChannelRow &row = m_rows[size_t(index.row())];
    return index.column() == LowVibration && readInFull(row)
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
        emit writeRequested(s.index, nexil::Setting::LowVibration, on ? 1 : 0,
                            s.lowVibration == nexil::LowVibration::On ? 1 : 0);
        return true;
    }
    if (role != Qt::EditRole || !editable(index))
        return false;
    bool ok = false;
    const qulonglong wanted = value.toULongLong(&ok);
    if (!ok || wanted > UINT32_MAX)
        return false;
    const bool speed = index.column() == Speed;
    emit writeRequested(s.index, speed ? nexil::Setting::Speed : nexil::Setting::Acceleration,
                        uint32_t(wanted), speed ? s.speed : s.acceleration);
    return true;
}

void ChannelTable::setRows(std::vector<ChannelRow> rows)
{
    beginResetModel();
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
