#ifndef CHANNELTABLE_H
#define CHANNELTABLE_H

#include "snapshot.h"

#include <QAbstractTableModel>
#include <QString>

#include <cstdint>
#include <map>
#include <optional>
#include <utility>
#include <vector>

// One channel as the window last read it.
struct ChannelRow
{
    nexil::ChannelSettings settings;
    // The message of the read that failed; empty when the channel was read in full.
    QString failure;
};

// The rows of the channel overview: what the controller held at the last read, never a value
// of its own. An edit is only asked for (writeRequested); the row changes once it is read again.
class ChannelTable : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { Index, Positioner, Sensor, Speed, Acceleration, LowVibration, ColumnCount };

    explicit ChannelTable(QObject *parent = nullptr);
    ~ChannelTable() override;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;

    // Row i holds channel i.
    void setRows(std::vector<ChannelRow> rows);
    // Replaces the row of row.settings.index, when there is one.
    void setRow(const ChannelRow &row);
    void clear();
    bool failed(int row) const;
    const ChannelRow *row(uint32_t channel) const
    {
        return channel < m_rows.size() ? &m_rows[channel] : nullptr;
    }
    // Marks the cell of a write the controller refused with `message`; empty unmarks it. The
    // mark stays until the cell is written again or every row is read afresh.
    void markRefused(uint32_t channel, nexil::Setting setting, const QString &message);
    // The setting a column shows, if any.
    static std::optional<nexil::Setting> settingOf(int column);

signals:
    // The user asked for `value` where the row showed `before`.
    void writeRequested(uint32_t channel, nexil::Setting setting, uint32_t value);

private:
    QString text(const ChannelRow &row, int column) const;
    bool editable(const QModelIndex &index) const;
    bool toggleable(const QModelIndex &index) const;
    const QString *refusalOf(const QModelIndex &index) const;

    std::vector<ChannelRow> m_rows;
    // (row, column) of each refused write, with the controller's message.
    std::map<std::pair<int, int>, QString> m_refusals;
};

#endif // CHANNELTABLE_H
