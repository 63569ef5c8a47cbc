#ifndef HISTORY_H
#define HISTORY_H

#include "ui_history.h"

#include <QSortFilterProxyModel>
#include <QTimer>
#include <QWidget>

class HistoryLog;

// The session's history in a window of its own: it shows the log it is given, newest last,
// and follows new entries while open. A filter narrows what is shown; Earlier adds the
// journal's entries of earlier sessions. Its entries can be copied, or saved as text or CSV.
class History : public QWidget
{
    Q_OBJECT

public:
    History(HistoryLog *log, QWidget *parent);

    // The selected entries, or all shown when none is selected, one line each.
    QString selectedText() const;

private slots:
    void on_pbCopy_clicked();
    void on_pbSave_clicked();
    void on_pbSaveCsv_clicked();
    void on_pbEarlier_clicked();

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void save(const QString &filter, const QString &suffix, const QString &content);
    void showJournalState();

    Ui::History ui;
    HistoryLog *m_log;
    QSortFilterProxyModel m_shown;
    QTimer m_scroll;
    // Said by the last Earlier: what could not be read.
    QString m_earlierNote;
};

#endif // HISTORY_H
