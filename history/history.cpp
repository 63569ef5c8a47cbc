#include "history.h"

#include "filequestions.h"
#include "filereplace.h"
#include "historylog.h"

#include <QClipboard>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>

#include <algorithm>

History::History(HistoryLog *log, QWidget *parent) : QWidget(parent, Qt::Window), m_log(log)
{
    ui.setupUi(this);
    ui.tvHistory->setModel(log);
    // Widths from the texts the columns hold: measuring every row would cost a pass over up to
    // 10,000 entries at each new one.
    const QFontMetrics metrics = ui.tvHistory->fontMetrics();
    const int margin = 2 * metrics.averageCharWidth();
    QHeaderView *header = ui.tvHistory->header();
    header->resizeSection(HistoryLog::TimeColumn,
                          metrics.horizontalAdvance(HistoryLog::timeText(
                                  QDateTime(QDate(2000, 12, 28), QTime(23, 58, 58, 888))))
                                  + margin);
    header->resizeSection(
            HistoryLog::KindColumn,
            std::max(metrics.horizontalAdvance(HistoryLog::kindText(HistoryLog::Kind::Message)),
                     metrics.horizontalAdvance(HistoryLog::kindText(HistoryLog::Kind::Write)))
                    + margin);
    header->setStretchLastSection(true);

    // The newest entry stays in sight while the window is open; a burst of entries scrolls
    // once.
    m_scroll.setSingleShot(true);
    m_scroll.setInterval(0);
    connect(&m_scroll, &QTimer::timeout, ui.tvHistory, &QAbstractItemView::scrollToBottom);
    connect(log, &QAbstractItemModel::rowsInserted, this, [this] {
        if (isVisible() && !m_scroll.isActive())
            m_scroll.start();
    });

    // The list's own Ctrl+C would copy one cell; it copies what the button copies.
    ui.tvHistory->installEventFilter(this);
}

bool History::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ui.tvHistory && event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent *>(event)->matches(QKeySequence::Copy)) {
        on_pbCopy_clicked();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void History::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    ui.tvHistory->scrollToBottom();
}

QString History::selectedText() const
{
    QModelIndexList rows = ui.tvHistory->selectionModel()->selectedRows();
    if (rows.isEmpty())
        return m_log->toText();
    std::sort(rows.begin(), rows.end(),
              [](const QModelIndex &a, const QModelIndex &b) { return a.row() < b.row(); });
    QString text;
    for (const QModelIndex &row : rows)
        text += m_log->lineOf(row.row()) + QLatin1Char('\n');
    return text;
}

void History::on_pbCopy_clicked()
{
    QGuiApplication::clipboard()->setText(selectedText());
}

void History::on_pbSave_clicked()
{
    const QString path = QFileDialog::getSaveFileName(this, tr("Save History"), QString(),
                                                      tr("Text files (*.txt);;All files (*)"));
    if (path.isEmpty())
        return;
    if (nexil::filereplace::isWriteProtected(path)
        && !filequestions::replaceWriteProtected(this, tr("Save History"), path))
        return;
    QString error;
    // The file the user had stays as it was unless the whole history is written.
    if (!nexil::filereplace::replace(path, m_log->toText().toUtf8(), &error))
        filequestions::warn(this, tr("Save History"),
                            tr("The history was not saved. %1").arg(error));
}
