#include "history.h"

#include "filequestions.h"
#include "filereplace.h"
#include "historylog.h"
#include "journal.h"
#include "journalreader.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>

#include <algorithm>
#include <deque>

History::History(HistoryLog *log, QWidget *parent) : QWidget(parent, Qt::Window), m_log(log)
{
    ui.setupUi(this);
    m_shown.setSourceModel(log);
    m_shown.setFilterKeyColumn(-1);
    m_shown.setFilterCaseSensitivity(Qt::CaseInsensitive);
    ui.tvHistory->setModel(&m_shown);
    connect(ui.leFilter, &QLineEdit::textChanged, &m_shown,
            &QSortFilterProxyModel::setFilterFixedString);
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
        // A journal that failed says so at once.
        if (isVisible())
            showJournalState();
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
    showJournalState();
    ui.tvHistory->scrollToBottom();
}

void History::showJournalState()
{
    const nexil::journal::Status status = nexil::journal::state();
    QString text;
    switch (status.state) {
    case nexil::journal::State::On:
        text = tr("Journal: %1").arg(status.path);
        break;
    case nexil::journal::State::Off:
        text = tr("The journal is off: %1").arg(status.reason);
        break;
    case nexil::journal::State::Failed:
        text = tr("The journal is off, it failed: %1").arg(status.reason);
        break;
    }
    if (!m_earlierNote.isEmpty())
        text += QLatin1Char('\n') + m_earlierNote;
    ui.lJournal->setText(text);
    // A long path is cut where the window ends; the tooltip has it whole.
    ui.lJournal->setToolTip(text);
}

QString History::selectedText() const
{
    QModelIndexList rows = ui.tvHistory->selectionModel()->selectedRows();
    if (rows.isEmpty()) {
        for (int row = 0; row < m_shown.rowCount(); ++row)
            rows << m_shown.index(row, 0);
    }
    std::sort(rows.begin(), rows.end(),
              [](const QModelIndex &a, const QModelIndex &b) { return a.row() < b.row(); });
    QString text;
    for (const QModelIndex &row : rows)
        text += m_log->lineOf(m_shown.mapToSource(row).row()) + QLatin1Char('\n');
    return text;
}

void History::on_pbCopy_clicked()
{
    QGuiApplication::clipboard()->setText(selectedText());
}

void History::on_pbSave_clicked()
{
    save(tr("Text files (*.txt);;All files (*)"), QStringLiteral("txt"), m_log->toText());
}

void History::on_pbSaveCsv_clicked()
{
    save(tr("CSV files (*.csv);;All files (*)"), QStringLiteral("csv"), m_log->toCsv());
}

void History::save(const QString &filter, const QString &suffix, const QString &content)
{
    QString path = QFileDialog::getSaveFileName(this, tr("Save History"), QString(), filter);
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += QLatin1Char('.') + suffix;
    if (nexil::filereplace::isWriteProtected(path)
        && !filequestions::replaceWriteProtected(this, tr("Save History"), path))
        return;
    QString error;
    // The file the user had stays as it was unless the whole history is written.
    if (!nexil::filereplace::replace(path, content.toUtf8(), &error))
        filequestions::warn(this, tr("Save History"),
                            tr("The history was not saved. %1").arg(error));
}

void History::on_pbEarlier_clicked()
{
    const nexil::journal::Status status = nexil::journal::state();
    m_earlierNote.clear();
    if (status.file.isEmpty()) {
        m_earlierNote = tr("No journal to show earlier entries from.");
        showJournalState();
        return;
    }
    // This program's own lines are shown already; of the rest, the newest are kept.
    const QString program = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    const qint64 pid = QCoreApplication::applicationPid();
    std::deque<nexil::journal::Event> newest;
    qint64 damaged = 0;
    QString error;
    const nexil::journal::ReadResult read = nexil::journal::readJournal(
            status.file, QDateTime(),
            [&](const nexil::journal::Event &event, const QByteArray &) {
                if (event.pid == pid && event.program == program)
                    return;
                newest.push_back(event);
                if (newest.size() > std::size_t(HistoryLog::earlierLimit))
                    newest.pop_front();
            },
            [&](const QString &, qint64) { ++damaged; }, &error);
    if (read == nexil::journal::ReadResult::Failed)
        m_earlierNote = tr("The journal cannot be read: %1").arg(error);
    else if (damaged > 0)
        m_earlierNote = tr("%n damaged line(s) of the journal skipped.", nullptr, int(damaged));
    m_log->setEarlier({newest.begin(), newest.end()});
    showJournalState();
    ui.tvHistory->scrollToTop();
}
