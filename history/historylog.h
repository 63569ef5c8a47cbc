#ifndef HISTORYLOG_H
#define HISTORYLOG_H

#include "channelmodel.h"

#include <QAbstractTableModel>
#include <QDateTime>
#include <QString>

#include <deque>

// What the window said and sent during this session, oldest first: a model any view can show,
// kept without one. Only the last `limit` entries stay; the oldest go first.
class HistoryLog : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum class Kind { Message, Write };
    enum Column { TimeColumn, KindColumn, TextColumn, ColumnCount };

    struct Entry
    {
        QDateTime time; // local time
        Kind kind = Kind::Message;
        QString text;
    };

    static constexpr int defaultLimit = 10000;

    explicit HistoryLog(QObject *parent = nullptr, int limit = defaultLimit);

    void add(Kind kind, const QString &text);
    // "Channel 1: speed 500.000 → 600.000 nm/sec: written", or FAILED with the reason.
    void addWrite(const nexil::WriteResult &result);
    int size() const { return int(m_entries.size()); }
    int limit() const { return m_limit; }
    const Entry &entry(int row) const { return m_entries[size_t(row)]; }

    static QString kindText(Kind kind);
    static QString timeText(const QDateTime &time);
    // One line per entry, its fields separated by tabs; line breaks in the text are written
    // out, so every entry stays one line.
    QString lineOf(int row) const;
    // The lines of all entries, each ended by a line feed.
    QString toText() const;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    std::deque<Entry> m_entries;
    int m_limit;
};

#endif // HISTORYLOG_H
