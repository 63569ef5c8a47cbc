#ifndef HISTORYLOG_H
#define HISTORYLOG_H

#include "channelmodel.h"
#include "journalevent.h"

#include <QAbstractTableModel>
#include <QDateTime>
#include <QString>

#include <deque>
#include <optional>
#include <vector>

// What the window said and what this program journaled during this session, oldest first,
// and on request the journal's entries of earlier sessions before them: a model any view can
// show, kept without one. Only the last `limit` entries stay; the oldest go first.
class HistoryLog : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum class Kind { Message, Write, Connect, Release, Restore, Compare };
    enum Column { TimeColumn, KindColumn, ControllerColumn, SourceColumn, TextColumn, ColumnCount };

    struct Entry
    {
        QDateTime time; // local time
        Kind kind = Kind::Message;
        QString text;
        // What the journal has of it; nothing for a status bar message.
        std::optional<nexil::journal::Event> event;
        bool earlier = false;
    };

    static constexpr int defaultLimit = 10000;
    // Earlier sessions: at most this many of the journal's newest entries.
    static constexpr int earlierLimit = 1000;

    explicit HistoryLog(QObject *parent = nullptr, int limit = defaultLimit);

    void add(Kind kind, const QString &text);
    // "Channel 1: speed 500.000 → 600.000 nm/sec: written", or FAILED with the reason.
    void addWrite(const nexil::WriteResult &result, const QString &locator);
    // A journal event of this program other than a write.
    void addEvent(const nexil::journal::Event &event);
    // Replaces the earlier sessions' entries shown with the newest `earlierLimit` of `events`.
    void setEarlier(const std::vector<nexil::journal::Event> &events);
    int earlierCount() const { return m_earlier; }
    int size() const { return int(m_entries.size()); }
    int limit() const { return m_limit; }
    const Entry &entry(int row) const { return m_entries[size_t(row)]; }

    static QString kindText(Kind kind);
    static QString timeText(const QDateTime &time);
    // An entry's text from its journal line alone.
    static QString eventText(const nexil::journal::Event &event);
    // One line per entry, its fields separated by tabs; line breaks in the text are written
    // out, so every entry stays one line.
    QString lineOf(int row) const;
    // The lines of all entries, each ended by a line feed.
    QString toText() const;
    // The entries the journal has, as velotune-cli log --csv writes them, header first.
    QString toCsv() const;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    void append(Entry entry);
    QString cell(const Entry &entry, int column) const;

    std::deque<Entry> m_entries;
    int m_limit;
    int m_earlier = 0;
};

#endif // HISTORYLOG_H
