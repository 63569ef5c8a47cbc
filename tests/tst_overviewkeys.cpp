// The overview writes only what was typed: the keys that leave a cell, and a write the
// controller refuses, against the simulator's call log and values.

#include "testutils.h"
#include "velotune.h"

#include <QAction>
#include <QTableView>
#include <QtTest>

using testutils::child;

namespace {

const char locator[] = "usb:id:2001";
enum Column { Sensor = 2, Speed, Acceleration };

} // namespace

class tst_OverviewKeys : public QObject
{
    Q_OBJECT

private slots:
    void keysLeaveTheCellAsTyped_data();
    void keysLeaveTheCellAsTyped();
};

void tst_OverviewKeys::keysLeaveTheCellAsTyped_data()
{
    QTest::addColumn<QString>("typed"); // into channel 1's speed; empty: nothing typed
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("refuse"); // the controller refuses the write
    QTest::addColumn<QString>("written");
    QTest::addColumn<quint32>("held");
    QTest::addColumn<int>("row"); // where the cursor is after the key
    QTest::addColumn<int>("column");
    QTest::addColumn<bool>("editing"); // an editor still open there

    const QString taken = QStringLiteral("TQ_SetClosedLoopMoveSpeed_S(H,1,1234)=0");
    // Once ↓ stepped 1.000.000 to 999.999 and left the editor open for Return to write it.
    QTest::newRow("Down, nothing typed")
            << "" << int(Qt::Key_Down) << false << "" << 1000000U << 2 << int(Speed) << false;
    QTest::newRow("PageUp, nothing typed")
            << "" << int(Qt::Key_PageUp) << false << "" << 1000000U << 0 << int(Speed) << false;
    QTest::newRow("Down") << "1234" << int(Qt::Key_Down) << false << taken << 1234U << 2
                          << int(Speed) << false;
    QTest::newRow("Up") << "1.234" << int(Qt::Key_Up) << false << taken << 1234U << 0 << int(Speed)
                        << false;
    // Once Tab opened an editor on the next cell, for the next key to step.
    QTest::newRow("Tab") << "1234" << int(Qt::Key_Tab) << false << taken << 1234U << 1
                         << int(Acceleration) << false;
    QTest::newRow("Backtab") << "1234" << int(Qt::Key_Backtab) << false << taken << 1234U << 1
                             << int(Sensor) << false;
    QTest::newRow("Return") << "1234" << int(Qt::Key_Return) << false << taken << 1234U << 1
                            << int(Speed) << false;
    QTest::newRow("Escape") << "1234" << int(Qt::Key_Escape) << false << "" << 1000000U << 1
                            << int(Speed) << false;
    QTest::newRow("Down on refused text")
            << "1.5" << int(Qt::Key_Down) << false << "" << 1000000U << 1 << int(Speed) << true;
    QTest::newRow("Down, the controller refuses")
            << "1234" << int(Qt::Key_Down) << true << "TQ_SetClosedLoopMoveSpeed_S(H,1,1234)=7777"
            << 1000000U << 2 << int(Speed) << false;
}

void tst_OverviewKeys::keysLeaveTheCellAsTyped()
{
    QFETCH(QString, typed);
    QFETCH(int, key);
    QFETCH(bool, refuse);
    QFETCH(QString, written);
    QFETCH(quint32, held);
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(bool, editing);

    testutils::programSettings().clear();
    const testutils::SimChannel million{0, 1, 1000000, 1000000, "off"};
    QVERIFY(testutils::loadFleet({{locator, {million, million, million}}}));
    nexilsim::setStatusText(7777, "Injected failure");
    std::unique_ptr<Velotune> window(testutils::showNew<Velotune>());
    QVERIFY(window);
    const testutils::MainWidgets ui(window.get());
    ui.locator->setEditText(QString::fromLatin1(locator));
    QTest::mouseClick(ui.connect, Qt::LeftButton);
    child<QAction>(window.get(), "aChannels")->trigger();
    auto *overview = child<QWidget>(window.get(), "ChannelOverview");
    QVERIFY(overview && testutils::showAndActivate(overview));
    auto *view = child<QTableView>(overview, "tvChannels");
    testutils::CallLog calls;
    calls.take();

    view->setCurrentIndex(view->model()->index(1, Speed));
    QTest::keyClick(view, Qt::Key_F2);
    auto *editor = view->findChild<QSpinBox *>();
    QVERIFY(editor && editor->isVisible());
    QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(editor, typed);
    if (refuse)
        nexilsim::failNext("TQ_SetClosedLoopMoveSpeed_S", 7777);
    QTest::keyClick(editor, Qt::Key(key));
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    QCOMPARE(calls.take().filter(QStringLiteral("TQ_Set")).join(QString()), written);
    nexilsim::ChannelState state{};
    QVERIFY(nexilsim::channelState(locator, 1, &state));
    QCOMPARE(quint32(state.speed), held);
    QCOMPARE(view->currentIndex(), view->model()->index(row, column));
    const auto *open = view->findChild<QSpinBox *>();
    QCOMPARE(open != nullptr && open->isVisible() ? open->text() : QString(),
             editing ? typed : QString());
    // A refusal marks the cell and is told with its channel, besides the main window's line.
    const QString message = "Could not set speed value. Error: 7777 (Injected failure)";
    const QModelIndex cell = view->model()->index(1, Speed);
    QCOMPARE(child<QLabel>(overview, "lStatus")->text(),
             refuse ? "Channel 1: " + message : QString());
    QCOMPARE(cell.data(Qt::ToolTipRole).toString(), refuse ? message : QString());
    QCOMPARE(cell.data(Qt::BackgroundRole).isValid(), refuse);
    if (refuse) {
        // Written as asked, the mark goes.
        testutils::typeIntoCell(view, 1, Speed, QStringLiteral("4321"));
        QVERIFY(!cell.data(Qt::BackgroundRole).isValid());
    }
}

QTEST_MAIN(tst_OverviewKeys)
#include "tst_overviewkeys.moc"
