// The overview writes only what was typed: the keys that leave a cell, and a write the
// controller refuses, against the simulator's call log and values.

#include "testutils.h"
#include "velotune.h"

#include <QAction>
#include <QLabel>
#include <QTableView>
#include <QtTest>

#include <memory>

using testutils::child;
using testutils::SimChannel;

namespace {

const char locator[] = "usb:id:2001";
const uint32_t injected = 7777;
enum Column { Index, Positioner, Sensor, Speed, Acceleration, LowVibration };

QStringList writes(const QStringList &calls)
{
    return calls.filter(QRegularExpression(QStringLiteral("^TQ_Set")));
}

} // namespace

class tst_OverviewKeys : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void keysLeaveTheCellAsTyped_data();
    void keysLeaveTheCellAsTyped();
    void refusedWriteIsMarked_data();
    void refusedWriteIsMarked();

private:
    bool open();

    Velotune *m_window = nullptr;
    QTableView *m_view = nullptr;
    QLabel *m_status = nullptr;
    testutils::CallLog m_calls;
};

void tst_OverviewKeys::init()
{
    testutils::programSettings().clear();
    const SimChannel million{0, 1, 1000000, 1000000, "off"};
    QVERIFY(testutils::loadFleet({{locator, {million, million, million}}}));
    nexilsim::setStatusText(injected, "Injected failure");
}

void tst_OverviewKeys::cleanup()
{
    delete m_window;
    m_window = nullptr;
    m_calls.take();
}

bool tst_OverviewKeys::open()
{
    m_window = testutils::showNew<Velotune>();
    if (m_window == nullptr)
        return false;
    const testutils::MainWidgets ui(m_window);
    ui.locator->setEditText(QString::fromLatin1(locator));
    QTest::mouseClick(ui.connect, Qt::LeftButton);
    child<QAction>(m_window, "aChannels")->trigger();
    auto *overview = child<QWidget>(m_window, "ChannelOverview");
    if (overview == nullptr)
        return false;
    m_view = child<QTableView>(overview, "tvChannels");
    m_status = child<QLabel>(overview, "lStatus");
    m_calls.take();
    return m_view != nullptr && m_status != nullptr && testutils::showAndActivate(overview);
}

void tst_OverviewKeys::keysLeaveTheCellAsTyped_data()
{
    QTest::addColumn<QString>("typed"); // empty: the editor opened, nothing typed
    QTest::addColumn<int>("key");
    QTest::addColumn<QStringList>("written");
    QTest::addColumn<quint32>("held");
    // Where the cursor is after the key, and whether an editor is still open there.
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<bool>("editing");

    const QStringList none;
    const QStringList typedIn{"TQ_SetClosedLoopMoveSpeed_S(H,1,1234)=0"};
    // Once ↓ stepped 1.000.000 to 999.999 and left the editor open for Return to write it.
    QTest::newRow("Down, nothing typed")
            << "" << int(Qt::Key_Down) << none << 1000000U << 2 << int(Speed) << false;
    QTest::newRow("Up, nothing typed")
            << "" << int(Qt::Key_Up) << none << 1000000U << 0 << int(Speed) << false;
    QTest::newRow("PageDown, nothing typed")
            << "" << int(Qt::Key_PageDown) << none << 1000000U << 2 << int(Speed) << false;
    QTest::newRow("Down") << "1234" << int(Qt::Key_Down) << typedIn << 1234U << 2 << int(Speed)
                          << false;
    QTest::newRow("Up") << "1.234" << int(Qt::Key_Up) << typedIn << 1234U << 0 << int(Speed)
                        << false;
    // Once Tab opened an editor on the next cell, for the next key to step.
    QTest::newRow("Tab") << "1234" << int(Qt::Key_Tab) << typedIn << 1234U << 1 << int(Acceleration)
                         << false;
    QTest::newRow("Backtab") << "1234" << int(Qt::Key_Backtab) << typedIn << 1234U << 1
                             << int(Sensor) << false;
    QTest::newRow("Return") << "1234" << int(Qt::Key_Return) << typedIn << 1234U << 1 << int(Speed)
                            << false;
    QTest::newRow("Escape") << "1234" << int(Qt::Key_Escape) << none << 1000000U << 1 << int(Speed)
                            << false;
    // Refused text stays for mending, as with Return.
    QTest::newRow("Down on refused text")
            << "1.5" << int(Qt::Key_Down) << none << 1000000U << 1 << int(Speed) << true;
}

void tst_OverviewKeys::keysLeaveTheCellAsTyped()
{
    QFETCH(QString, typed);
    QFETCH(int, key);
    QFETCH(QStringList, written);
    QFETCH(quint32, held);
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(bool, editing);

    QVERIFY(open());
    m_view->setCurrentIndex(m_view->model()->index(1, Speed));
    QTest::keyClick(m_view, Qt::Key_F2);
    auto *editor = m_view->findChild<QSpinBox *>();
    QVERIFY(editor && editor->isVisible());
    if (!typed.isEmpty()) {
        QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(editor, typed);
    }
    QTest::keyClick(editor, Qt::Key(key));
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    QCOMPARE(writes(m_calls.take()), written);
    nexilsim::ChannelState state{};
    QVERIFY(nexilsim::channelState(locator, 1, &state));
    QCOMPARE(quint32(state.speed), held);
    QCOMPARE(m_view->currentIndex(), m_view->model()->index(row, column));
    const auto *open = m_view->findChild<QSpinBox *>();
    QCOMPARE(open != nullptr && open->isVisible(), editing);
    if (editing)
        QCOMPARE(open->text(), typed);
    // Nothing was left behind for a later key to write.
    QTest::keyClick(m_view, Qt::Key_Escape);
    QCOMPARE(writes(m_calls.take()), QStringList());
}

void tst_OverviewKeys::refusedWriteIsMarked_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("failing");
    QTest::addColumn<QString>("message");

    QTest::newRow("speed") << int(Speed) << "TQ_SetClosedLoopMoveSpeed_S"
                           << "Could not set speed value. Error: 7777 (Injected failure)";
    QTest::newRow("acceleration")
            << int(Acceleration) << "TQ_SetClosedLoopMoveAcceleration_S"
            << "Could not set acceleration value. Error: 7777 (Injected failure)";
}

void tst_OverviewKeys::refusedWriteIsMarked()
{
    QFETCH(int, column);
    QFETCH(QString, failing);
    QFETCH(QString, message);

    QVERIFY(open());
    const QModelIndex cell = m_view->model()->index(2, column);
    nexilsim::failNext(failing.toStdString(), injected);
    testutils::typeIntoCell(m_view, 2, column, QStringLiteral("4321"));

    QCOMPARE(m_status->text(), QStringLiteral("Channel 2: ") + message);
    QVERIFY(m_status->isVisible());
    QCOMPARE(cell.data(Qt::ToolTipRole).toString(), message);
    QVERIFY(cell.data(Qt::BackgroundRole).isValid());
    // The main window's status bar says it as before.
    QCOMPARE(child<QStatusBar>(m_window, "statusBar")->currentMessage(), message);
    // Only that cell is marked, and the value shown is the controller's.
    QVERIFY(!m_view->model()->index(1, column).data(Qt::BackgroundRole).isValid());
    QCOMPARE(cell.data().toString(), QStringLiteral("1.000.000"));

    // Written as asked, the mark goes.
    testutils::typeIntoCell(m_view, 2, column, QStringLiteral("4321"));
    QCOMPARE(cell.data().toString(), QStringLiteral("4.321"));
    QVERIFY(!cell.data(Qt::BackgroundRole).isValid());
    QVERIFY(!cell.data(Qt::ToolTipRole).isValid());
}

QTEST_MAIN(tst_OverviewKeys)
#include "tst_overviewkeys.moc"
