#ifndef HISTORY_H
#define HISTORY_H

#include "ui_history.h"

#include <QTimer>
#include <QWidget>

class HistoryLog;

// The session's history in a window of its own: it shows the log it is given, newest last,
// and follows new entries while open. Its entries can be copied or saved as text.
class History : public QWidget
{
    Q_OBJECT

public:
    History(HistoryLog *log, QWidget *parent);

    // The selected entries, or all when none is selected, one line each.
    QString selectedText() const;

private slots:
    void on_pbCopy_clicked();
    void on_pbSave_clicked();

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    Ui::History ui;
    HistoryLog *m_log;
    QTimer m_scroll;
};

#endif // HISTORY_H
