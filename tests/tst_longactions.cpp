// Long actions on a slow link: reading every channel and a restore show a progress dialog once
// they take a while, its Cancel stops them before the next channel or write, input meant for
// any other window meanwhile is dropped, and a restore writes only the fields left checked and
// shows what each one holds afterwards.

#include "historylog.h"
#include "snapshot.h"
#include "testutils.h"
#include "velotune.h"

#include <QAbstractItemModel>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTreeView>
#include <QWindow>
#include <QtTest>

#include <memory>

using testutils::SimChannel;

namespace {

const QString locator = QStringLiteral("usb:id:7001");
const std::string speedWrite = "TQ_SetClosedLoopMoveSpeed_S";

QProgressDialog *progressIn(const QWidget *window)
{
    return window->findChild<QProgressDialog *>(QStringLiteral("LongActionProgress"));
}

// Input as the window system queues it while a call blocks: delivered at the next event turn.
void postClick(QWidget *widget)
{
    const QPoint at = widget->rect().center();
    for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease})
        QCoreApplication::postEvent(widget,
                                    new QMouseEvent(type, at, widget->mapToGlobal(at),
                                                    Qt::LeftButton, Qt::LeftButton,
                                                    Qt::NoModifier));
}

void postKey(QObject *target, Qt::Key key)
{
    for (const QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease})
        QCoreApplication::postEvent(target, new QKeyEvent(type, key, Qt::NoModifier));
}

QAction *action(const QWidget *window, const char *name)
{
    return window->findChild<QAction *>(QLatin1String(name));
}

testutils::ModalStep chooseFile(const QString &path)
{
    return {[](QWidget *w) { return qobject_cast<QFileDialog *>(w) != nullptr; },
            [path](QWidget *modal) {
                auto *name = modal->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
                if (name == nullptr) {
                    modal->close();
                    return;
                }
                name->setText(path);
                QTest::keyClick(name, Qt::Key_Return);
            }};
}

// A column of the difference dialog's rows, by its header.
QStringList column(const QWidget *dialog, const QString &header)
{
    const auto *view = dialog->findChild<QTreeView *>(QStringLiteral("tvDifferences"));
    const QAbstractItemModel *model = view->model();
    QStringList cells;
    for (int c = 0; c < model->columnCount(); ++c) {
        if (view->isColumnHidden(c) || model->headerData(c, Qt::Horizontal) != header)
            continue;
        for (int r = 0; r < model->rowCount(); ++r)
            cells << model->index(r, c).data().toString();
    }
    return cells;
}

QPushButton *button(const QWidget *dialog, const QString &text)
{
    for (QPushButton *b : dialog->findChild<QDialogButtonBox *>()->findChildren<QPushButton *>())
        if (b->text().remove(QLatin1Char('&')) == text)
            return b;
    return nullptr;
}

} // namespace

class tst_LongActions : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void restoreCancelled_data();
    void restoreCancelled();
    void restoreChecked_data();
    void restoreChecked();
    void readingStopped_data();
    void readingStopped();

private:
    // Restore of the file through the menu; `atPlan` runs on the plan, then Restore is pressed
    // if it is enabled, then `atOutcome` runs on what the dialog shows.
    void restore(const std::function<void(QWidget *)> &atPlan,
                 const std::function<void(QWidget *)> &atOutcome);

    QTemporaryDir m_dir;
    QString m_file;
    Velotune *m_window = nullptr;
};

void tst_LongActions::init()
{
    testutils::programSettings().clear();
    QVERIFY(testutils::loadFleet(
            {{locator.toStdString(),
              {SimChannel{0, 1, 5000, 700, "off"}, SimChannel{0, 1, 6000, 700, "off"},
               SimChannel{0, 1, 7000, 700, "off"}}}}));
    // The file asks for other speeds and accelerations on all three channels.
    nexil::Snapshot file;
    file.locator = locator;
    for (uint32_t channel = 0; channel < 3; ++channel)
        file.channels.push_back(
                {channel, true, 1, 1000000 + channel, 900, nexil::LowVibration::Off});
    m_file = m_dir.filePath(QStringLiteral("restore.json"));
    QString error;
    QVERIFY2(nexil::snapshot::writeFile(m_file, file, &error), qPrintable(error));
    m_window = new Velotune;
    QVERIFY(testutils::showAndActivate(m_window));
    testutils::MainWidgets ui(m_window);
    ui.locator->setEditText(locator);
    QTest::mouseClick(ui.connect, Qt::LeftButton);
    QVERIFY(ui.connect->isChecked());
    nexilsim::clearCallLog();
}

void tst_LongActions::cleanup()
{
    nexilsim::setLatencyMicroseconds(0);
    nexilsim::clearFaults();
    delete m_window;
    m_window = nullptr;
}

void tst_LongActions::restore(const std::function<void(QWidget *)> &atPlan,
                              const std::function<void(QWidget *)> &atOutcome)
{
    bool planned = false;
    testutils::onModals(
            {chooseFile(m_file),
             {[](QWidget *w) { return w->objectName() == QLatin1String("SettingsDiffDialog"); },
              [&](QWidget *dialog) {
                  planned = true;
                  atPlan(dialog);
                  QPushButton *restore = button(dialog, QStringLiteral("Restore"));
                  if (restore != nullptr && restore->isEnabled())
                      restore->click();
                  atOutcome(dialog);
                  dialog->close();
              }}});
    action(m_window, "aRestoreSettings")->trigger();
    delete testutils::modalWaiting();
    QVERIFY(planned);
}

void tst_LongActions::restoreCancelled_data()
{
    QTest::addColumn<int>("afterWrites"); // Cancel is clicked during a call once these started
    QTest::addColumn<bool>("inReadBack"); // ...and the read-back after the writes has begun

    // The first write with the dialog shown, and a later one.
    QTest::newRow("early write") << 1 << false;
    QTest::newRow("fourth write") << 4 << false;
    QTest::newRow("during the read-back") << 6 << true;
}

void tst_LongActions::restoreCancelled()
{
    QFETCH(int, afterWrites);
    QFETCH(bool, inReadBack);

    QWidget *planDialog = nullptr;
    int writes = 0;
    int writesAtClick = -1;
    QString label;
    QStringList afterClick;
    nexilsim::setFaultHook([&](const std::string &function) -> uint32_t {
        if (writesAtClick >= 0) {
            afterClick << QString::fromStdString(function);
            return 0;
        }
        if (function.rfind("TQ_Set", 0) == 0)
            ++writes;
        QProgressDialog *progress = planDialog ? progressIn(planDialog) : nullptr;
        const bool due = writes >= afterWrites && (!inReadBack || function == "TQ_GetChannelType");
        if (due && progress != nullptr && progress->isVisible()) {
            label = progress->labelText();
            postClick(progress->findChild<QPushButton *>());
            // Meant for the plan: it would close the outcome before anyone saw it.
            postKey(planDialog->windowHandle(), Qt::Key_Escape);
            writesAtClick = writes;
        }
        return 0;
    });
    QString summary;
    QStringList outcomes;
    bool outcomeShown = false;
    restore(
            [&](QWidget *dialog) {
                planDialog = dialog;
                nexilsim::setLatencyMicroseconds(100000);
            },
            [&](QWidget *dialog) {
                nexilsim::setLatencyMicroseconds(0);
                outcomeShown = dialog->isVisible() && button(dialog, QStringLiteral("Close"));
                summary = dialog->findChild<QLabel *>(QStringLiteral("lSummary"))->text();
                outcomes = column(dialog, QStringLiteral("Outcome"));
            });
    QVERIFY2(writesAtClick >= afterWrites, "the progress dialog never showed");
    QVERIFY(inReadBack || writesAtClick < 6);
    QVERIFY2(label.startsWith(QStringLiteral("Writing channel ")), qPrintable(label));
    QVERIFY(outcomeShown);
    // Nothing more is written; what runs after the click is the rest of the one channel or
    // write under way.
    QVERIFY(!afterClick.join(QLatin1Char(' ')).contains(QLatin1String("TQ_Set")));
    QVERIFY(afterClick.size() <= 5);
    QVERIFY2(summary.contains(QStringLiteral("stopped after %1 of 6 planned").arg(writesAtClick)),
             qPrintable(summary));
    // The history ends with the same account; each write made is in it before.
    const auto *history = m_window->findChild<HistoryLog *>();
    QCOMPARE(history->entry(history->size() - 1).text, summary);
    QStringList expected;
    for (int step = 0; step < 6; ++step)
        expected << (step < writesAtClick ? QStringLiteral("written, not read back")
                                          : QStringLiteral("not written"));
    QCOMPARE(outcomes, expected);
}

void tst_LongActions::restoreChecked_data()
{
    QTest::addColumn<QList<int>>("unchecked"); // rows of the plan
    QTest::addColumn<QStringList>("writes");   // the setters called, in order

    QTest::newRow("all") << QList<int>()
                         << QStringList{"Speed",        "Acceleration", "Speed",
                                        "Acceleration", "Speed",        "Acceleration"};
    QTest::newRow("one channel's speed left out")
            << QList<int>{2}
            << QStringList{"Speed", "Acceleration", "Acceleration", "Speed", "Acceleration"};
    QTest::newRow("none") << QList<int>{0, 1, 2, 3, 4, 5} << QStringList();
}

void tst_LongActions::restoreChecked()
{
    QFETCH(QList<int>, unchecked);
    QFETCH(QStringList, writes);

    QString title;
    QStringList readBack;
    QStringList fileValues;
    bool fits = false;
    restore(
            [&](QWidget *dialog) {
                title = dialog->windowTitle();
                const auto *view = dialog->findChild<QTreeView *>(QStringLiteral("tvDifferences"));
                for (const int row : unchecked) {
                    // The row's check box unchecked.
                    const QModelIndex index = view->model()->index(row, 0);
                    const_cast<QAbstractItemModel *>(view->model())
                            ->setData(index, Qt::Unchecked, Qt::CheckStateRole);
                }
            },
            [&](QWidget *dialog) {
                readBack = column(dialog, QStringLiteral("Read back"));
                fileValues = column(dialog, QStringLiteral("File"));
                // The outcome, the last column, is not cut off at the dialog's first size, unless
                // the dialog already takes the screen's width.
                const auto *view = dialog->findChild<QTreeView *>(QStringLiteral("tvDifferences"));
                const QHeaderView *header = view->header();
                const int last = header->logicalIndex(header->count() - 1);
                int longest = 0;
                for (const QString &text : column(dialog, QStringLiteral("Outcome")))
                    longest = std::max(longest, view->fontMetrics().horizontalAdvance(text));
                QCoreApplication::processEvents();
                fits = readBack.isEmpty()
                        || dialog->width() >= dialog->screen()->availableGeometry().width()
                        || (header->sectionSize(last) > longest
                            && header->sectionViewportPosition(last) + header->sectionSize(last)
                                    <= view->viewport()->width());
            });
    QCOMPARE(title, QStringLiteral("Restore from restore.json"));
    QStringList made;
    for (const nexilsim::Call &call : nexilsim::callLog()) {
        const QString name = QString::fromStdString(call.function);
        if (name.startsWith(QLatin1String("TQ_SetClosedLoopMove")))
            made << name.mid(20).section(QLatin1Char('_'), 0, 0);
    }
    QCOMPARE(made, writes);
    // After the restore, each written field reads back as the file has it.
    QCOMPARE(readBack, writes.isEmpty() ? QStringList() : fileValues);
    QVERIFY(fits);
}

void tst_LongActions::readingStopped_data()
{
    QTest::addColumn<QString>("entryName");
    QTest::addColumn<QString>("how"); // "cancel" or "quit"
    QTest::addColumn<QString>("message");

    QTest::newRow("save") << "aSaveSettings"
                          << "cancel"
                          << "Nothing saved: cancelled.";
    QTest::newRow("compare") << "aCompareSettings"
                             << "cancel"
                             << "Not compared: cancelled.";
    QTest::newRow("restore plan") << "aRestoreSettings"
                                  << "cancel"
                                  << "Nothing written: cancelled.";
    QTest::newRow("overview") << "aChannels"
                              << "cancel" << QString();
    QTest::newRow("quit during the overview") << "aChannels"
                                              << "quit" << QString();
}

void tst_LongActions::readingStopped()
{
    QFETCH(QString, entryName);
    QFETCH(QString, how);
    QFETCH(QString, message);

    int channelReads = 0;
    int readsAtClick = -1;
    QString label;
    nexilsim::setFaultHook([&](const std::string &function) -> uint32_t {
        if (function == "TQ_GetChannelType")
            ++channelReads;
        QProgressDialog *progress = progressIn(m_window);
        if (readsAtClick < 0 && progress != nullptr && progress->isVisible()) {
            label = progress->labelText();
            readsAtClick = channelReads;
            if (how == QLatin1String("quit"))
                QCoreApplication::postEvent(m_window, new QCloseEvent);
            else
                postClick(progress->findChild<QPushButton *>());
        }
        return 0;
    });
    nexilsim::setLatencyMicroseconds(100000);
    const bool overviewFill = entryName == QLatin1String("aChannels");
    if (!overviewFill)
        testutils::onModals({chooseFile(m_dir.filePath(entryName == QLatin1String("aSaveSettings")
                                                               ? QStringLiteral("saved.json")
                                                               : QStringLiteral("restore.json")))});
    action(m_window, qPrintable(entryName))->trigger();
    delete testutils::modalWaiting();
    nexilsim::setLatencyMicroseconds(0);

    QVERIFY2(readsAtClick >= 0, "the progress dialog never showed");
    QCOMPARE(
            label,
            QStringLiteral("Reading channel %1 (%2 of 3)").arg(readsAtClick - 1).arg(readsAtClick));
    // The channel under way is finished, no other one is read.
    QCOMPARE(channelReads, readsAtClick);
    QVERIFY(!QFile::exists(m_dir.filePath(QStringLiteral("saved.json"))));
    if (!message.isEmpty())
        QCOMPARE(m_window->findChild<QStatusBar *>()->currentMessage(), message);
    if (overviewFill) {
        QWidget *overview = m_window->findChild<QWidget *>(QStringLiteral("ChannelOverview"));
        QCOMPARE(overview->windowTitle(), QStringLiteral("Channels of ") + locator);
        const auto *table = overview->findChild<QAbstractItemView *>(QStringLiteral("tvChannels"));
        QCOMPARE(table->model()->rowCount(), readsAtClick);
        // Closed once the reading stopped; quitting makes no call of its own.
        QTRY_COMPARE(m_window->isVisible(), how != QLatin1String("quit"));
    }
}

QTEST_MAIN(tst_LongActions)
#include "tst_longactions.moc"
