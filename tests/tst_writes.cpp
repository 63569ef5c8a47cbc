#include "testutils.h"
#include "velotune.h"

#include <QComboBox>
#include <QGroupBox>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QtTest>

#include <memory>

using testutils::child;
using testutils::SimChannel;

namespace {

const uint32_t injected = 7777;
const QString key = QStringLiteral("16908289");

nexilsim::ChannelState simState(const std::string &locator, uint32_t index)
{
    nexilsim::ChannelState state{};
    if (!nexilsim::channelState(locator, index, &state))
        qWarning("no channel %u on %s", index, locator.c_str());
    return state;
}

void wheelUp(QWidget *widget)
{
    const QPoint centre = widget->rect().center();
    QWheelEvent event(centre, widget->mapToGlobal(centre), QPoint(), QPoint(0, 120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(widget, &event);
}

} // namespace

class tst_Writes : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void stepWritesOnce_data();
    void stepWritesOnce();
    void everyStepIsOneWrite();
    void typingWritesOnlyWhenFinished();
    void refusedValueShowsControllerValue_data();
    void refusedValueShowsControllerValue();
    void lowVibration_data();
    void lowVibration();
    void defaultFleetEndToEnd();

private:
    void openWindow();
    void selectChannel(int index);

    Velotune *m_window = nullptr;
    testutils::CallLog m_calls;
    std::unique_ptr<testutils::MainWidgets> m_ui;
};

void tst_Writes::init()
{
    testutils::programSettings().clear();
    // 0: free, off; 1: on; 2: holding position; 3: speed limited to 5000.
    QVERIFY(testutils::loadFleet(
            {{"usb:id:1001",
              {SimChannel{0, 1, 5000, 700, "off"}, SimChannel{0, 1, 80000, 9000, "on"},
               SimChannel{0, 1, 5000, 700, "off", true},
               SimChannel{0, 1, 5000, 700, "off", false, 5000}}}}));
    nexilsim::setStatusText(injected, "Injected failure");
    openWindow();
    QTest::mouseClick(child<QPushButton>(m_window, "pbConnect"), Qt::LeftButton);
    QVERIFY(m_ui->channel->isEnabled());
}

void tst_Writes::openWindow()
{
    m_window = testutils::showNew<Velotune>();
    QVERIFY(m_window);
    m_ui = std::make_unique<testutils::MainWidgets>(m_window);
    QVERIFY(m_ui->complete());
}

void tst_Writes::cleanup()
{
    delete m_window;
    m_window = nullptr;
    m_calls.take();
}

void tst_Writes::selectChannel(int index)
{
    m_ui->channel->setValue(index);
    QCOMPARE(m_ui->channel->value(), index);
    m_calls.take();
}

void tst_Writes::stepWritesOnce_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<int>("step");
    QTest::addColumn<QStringList>("calls");

    const QStringList afterSpeed
            = {"TQ_GetClosedLoopMoveAcceleration_S(H,0)=0", "TQ_EPK(1,2,1)=" + key,
               "TQ_GetChannelProperty_S(H,0," + key + ")=0"};
    const QStringList afterAcceleration
            = {"TQ_EPK(1,2,1)=" + key, "TQ_GetChannelProperty_S(H,0," + key + ")=0"};
    QTest::newRow("speed up arrow")
            << "sbSpeed" << int(Qt::Key_Up)
            << QStringList("TQ_SetClosedLoopMoveSpeed_S(H,0,5001)=0") + afterSpeed;
    QTest::newRow("speed page down")
            << "sbSpeed" << int(Qt::Key_PageDown)
            << QStringList("TQ_SetClosedLoopMoveSpeed_S(H,0,4990)=0") + afterSpeed;
    QTest::newRow("speed wheel") << "sbSpeed" << 0
                                 << QStringList("TQ_SetClosedLoopMoveSpeed_S(H,0,5001)=0")
                    + afterSpeed;
    QTest::newRow("acceleration down arrow")
            << "sbAcceleration" << int(Qt::Key_Down)
            << QStringList("TQ_SetClosedLoopMoveAcceleration_S(H,0,699)=0") + afterAcceleration;
    QTest::newRow("acceleration wheel")
            << "sbAcceleration" << 0
            << QStringList("TQ_SetClosedLoopMoveAcceleration_S(H,0,701)=0") + afterAcceleration;
}

void tst_Writes::stepWritesOnce()
{
    QFETCH(QString, box);
    QFETCH(int, step);
    QFETCH(QStringList, calls);

    selectChannel(0);
    auto *spinBox = m_window->findChild<QSpinBox *>(box);
    QVERIFY(spinBox);
    spinBox->setFocus();
    if (step)
        QTest::keyClick(spinBox, Qt::Key(step));
    else
        wheelUp(spinBox);
    QCOMPARE(m_calls.take(), calls);
    const nexilsim::ChannelState state = simState("usb:id:1001", 0);
    QCOMPARE(int(box == QLatin1String("sbSpeed") ? state.speed : state.acceleration),
             spinBox->value());
    QCOMPARE(m_window->statusBar()->currentMessage(), QString());
}

void tst_Writes::everyStepIsOneWrite()
{
    selectChannel(0);
    for (int i = 0; i < 5; ++i)
        QTest::keyClick(m_ui->speed, Qt::Key_Up);
    const QStringList calls = m_calls.take();
    QCOMPARE(calls.filter(QStringLiteral("TQ_SetClosedLoopMoveSpeed_S")),
             QStringList({"TQ_SetClosedLoopMoveSpeed_S(H,0,5001)=0",
                          "TQ_SetClosedLoopMoveSpeed_S(H,0,5002)=0",
                          "TQ_SetClosedLoopMoveSpeed_S(H,0,5003)=0",
                          "TQ_SetClosedLoopMoveSpeed_S(H,0,5004)=0",
                          "TQ_SetClosedLoopMoveSpeed_S(H,0,5005)=0"}));
    QCOMPARE(calls.size(), 5 * 4);
}

void tst_Writes::typingWritesOnlyWhenFinished()
{
    selectChannel(1);
    m_ui->acceleration->setFocus();
    QTest::keyClick(m_ui->acceleration, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(m_ui->acceleration, QStringLiteral("123456"));
    QCOMPARE(m_calls.take(), QStringList());
    QCOMPARE(simState("usb:id:1001", 1).acceleration, 9000u);

    QTest::keyClick(m_ui->acceleration, Qt::Key_Return);
    QCOMPARE(m_calls.take(),
             QStringList({"TQ_SetClosedLoopMoveAcceleration_S(H,1,123456)=0",
                          "TQ_EPK(1,2,1)=" + key, "TQ_GetChannelProperty_S(H,1," + key + ")=0"}));
    QCOMPARE(simState("usb:id:1001", 1).acceleration, 123456u);
    QCOMPARE(m_ui->acceleration->text(), QStringLiteral("123.456"));
}

void tst_Writes::refusedValueShowsControllerValue_data()
{
    QTest::addColumn<int>("channel");
    QTest::addColumn<QString>("box");
    QTest::addColumn<QStringList>("failing");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("shown");

    const QString setSpeed = QStringLiteral("TQ_SetClosedLoopMoveSpeed_S");
    const QString getSpeed = QStringLiteral("TQ_GetClosedLoopMoveSpeed_S");
    const QString setAcceleration = QStringLiteral("TQ_SetClosedLoopMoveAcceleration_S");
    const QString getAcceleration = QStringLiteral("TQ_GetClosedLoopMoveAcceleration_S");
    // The controller reports 4242 for any read; a read that fails too leaves the value shown
    // before the attempt.
    QTest::newRow("speed refused by the link")
            << 0 << "sbSpeed" << QStringList{setSpeed}
            << QStringList{setSpeed + "(H,0,5001)=7777", "TQ_GetStatusInfo(7777)=0",
                           getSpeed + "(H,0)=0"}
            << "Could not set speed value. Error: 7777 (Injected failure)" << 4242;
    QTest::newRow("speed out of the channel's range")
            << 3 << "sbSpeed" << QStringList()
            << QStringList{setSpeed + "(H,3,5001)=20", "TQ_GetStatusInfo(20)=0",
                           getSpeed + "(H,3)=0"}
            << "Could not set speed value. Error: 20 (Value out of range)" << 4242;
    QTest::newRow("speed refused, read refused too")
            << 3 << "sbSpeed" << QStringList{getSpeed}
            << QStringList{setSpeed + "(H,3,5001)=20", "TQ_GetStatusInfo(20)=0",
                           getSpeed + "(H,3)=7777"}
            << "Could not set speed value. Error: 20 (Value out of range)" << 5000;
    QTest::newRow("acceleration refused by the link")
            << 0 << "sbAcceleration" << QStringList{setAcceleration}
            << QStringList{setAcceleration + "(H,0,701)=7777", "TQ_GetStatusInfo(7777)=0",
                           getAcceleration + "(H,0)=0"}
            << "Could not set acceleration value. Error: 7777 (Injected failure)" << 4242;
    QTest::newRow("acceleration refused, read refused too")
            << 0 << "sbAcceleration" << QStringList{setAcceleration, getAcceleration}
            << QStringList{setAcceleration + "(H,0,701)=7777", "TQ_GetStatusInfo(7777)=0",
                           getAcceleration + "(H,0)=7777"}
            << "Could not set acceleration value. Error: 7777 (Injected failure)" << 700;
}

void tst_Writes::refusedValueShowsControllerValue()
{
    QFETCH(int, channel);
    QFETCH(QString, box);
    QFETCH(QStringList, failing);
    QFETCH(QStringList, calls);
    QFETCH(QString, message);
    QFETCH(int, shown);

    selectChannel(channel);
    auto *spinBox = m_window->findChild<QSpinBox *>(box);
    for (const QString &function : failing)
        nexilsim::failNext(function.toStdString(), injected);
    testutils::forceValue({"TQ_GetClosedLoopMoveSpeed_S", "TQ_GetClosedLoopMoveAcceleration_S"},
                          4242);
    spinBox->setFocus();
    QTest::keyClick(spinBox, Qt::Key_Up);

    QCOMPARE(m_calls.take(), calls);
    QCOMPARE(m_window->statusBar()->currentMessage(), message);
    QCOMPARE(spinBox->value(), shown);
    // Still so once the message has gone.
    QTRY_COMPARE_WITH_TIMEOUT(m_window->statusBar()->currentMessage(), QString(), 3000);
    QCOMPARE(spinBox->value(), shown);
}

void tst_Writes::lowVibration_data()
{
    QTest::addColumn<int>("channel");
    QTest::addColumn<QString>("failing");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("checked");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("stored");

    const QString get = QStringLiteral("TQ_GetClosedLoopMove%1_S(H,%2)=0");
    QTest::newRow("switch on") << 0 << ""
                               << QStringList({"TQ_Stop_S(H,0)=0", "TQ_EPK(1,2,1)=" + key,
                                               "TQ_SetChannelProperty_S(H,0," + key + ",1)=0",
                                               get.arg("Speed").arg(0),
                                               get.arg("Acceleration").arg(0)})
                               << "" << true << "&On" << 1;
    QTest::newRow("switch off") << 1 << ""
                                << QStringList({"TQ_Stop_S(H,1)=0", "TQ_EPK(1,2,1)=" + key,
                                                "TQ_SetChannelProperty_S(H,1," + key + ",0)=0",
                                                get.arg("Speed").arg(1),
                                                get.arg("Acceleration").arg(1)})
                                << "" << false << "&Off" << 0;
    const QStringList readBack
            = {"TQ_EPK(1,2,1)=" + key, "TQ_GetChannelProperty_S(H,%1," + key + ")=%2"};
    // After a refusal the button shows what the controller holds, or when that read fails
    // too, what it showed before the click.
    QTest::newRow("stop refused while holding")
            << 2 << ""
            << QStringList({"TQ_Stop_S(H,2)=156", "TQ_GetStatusInfo(156)=0", readBack[0],
                            readBack[1].arg(2).arg(0)})
            << "Could not set Low Vibration Mode (Axis holding position?). Error: 156 (Channel "
               "is holding position)"
            << false << "&Off" << 0;
    QTest::newRow("stop refused, read refused too")
            << 2 << "TQ_GetChannelProperty_S"
            << QStringList({"TQ_Stop_S(H,2)=156", "TQ_GetStatusInfo(156)=0", readBack[0],
                            readBack[1].arg(2).arg(injected)})
            << "Could not set Low Vibration Mode (Axis holding position?). Error: 156 (Channel "
               "is holding position)"
            << false << "&Off" << 0;
    QTest::newRow("write fails switching on")
            << 0 << "TQ_SetChannelProperty_S"
            << QStringList({"TQ_Stop_S(H,0)=0", "TQ_EPK(1,2,1)=" + key,
                            "TQ_SetChannelProperty_S(H,0," + key + ",1)=7777",
                            "TQ_GetStatusInfo(7777)=0", readBack[0], readBack[1].arg(0).arg(0)})
            << "Could not set Low Vibration Mode. Error: 7777 (Injected failure)" << false << "&Off"
            << 0;
    QTest::newRow("write fails switching off")
            << 1 << "TQ_SetChannelProperty_S"
            << QStringList({"TQ_Stop_S(H,1)=0", "TQ_EPK(1,2,1)=" + key,
                            "TQ_SetChannelProperty_S(H,1," + key + ",0)=7777",
                            "TQ_GetStatusInfo(7777)=0", readBack[0], readBack[1].arg(1).arg(0)})
            << "Could not set Low Vibration Mode. Error: 7777 (Injected failure)" << true << "&On"
            << 1;
}

void tst_Writes::lowVibration()
{
    QFETCH(int, channel);
    QFETCH(QString, failing);
    QFETCH(QStringList, calls);
    QFETCH(QString, message);
    QFETCH(bool, checked);
    QFETCH(QString, text);
    QFETCH(int, stored);

    selectChannel(channel);
    if (!failing.isEmpty())
        nexilsim::failNext(failing.toStdString(), injected);
    QTest::mouseClick(m_ui->lowVibration, Qt::LeftButton);
    QCOMPARE(m_window->statusBar()->currentMessage(), message);
    // The message goes after 2 s; what the button shows stays.
    if (!message.isEmpty())
        QTRY_COMPARE_WITH_TIMEOUT(m_window->statusBar()->currentMessage(), QString(), 3000);

    QCOMPARE(m_calls.take(), calls);
    QCOMPARE(m_ui->lowVibration->isChecked(), checked);
    QCOMPARE(m_ui->lowVibration->text(), text);
    QCOMPARE(simState("usb:id:1001", uint32_t(channel)).lowVibration, stored);
}

void tst_Writes::defaultFleetEndToEnd()
{
    delete m_window;
    nexilsim::loadDefaultFleet();
    openWindow();
    auto *connect = child<QPushButton>(m_window, "pbConnect");
    auto *locator = child<QComboBox>(m_window, "cbLocator");
    auto *group = child<QGroupBox>(m_window, "gbConfiguration");

    QStringList locators;
    for (int i = 0; i < locator->count(); ++i)
        locators << locator->itemText(i);
    QVERIFY(locators.size() >= 2);
    locators << QStringLiteral("network:192.0.2.10:5000");

    int positioners = 0;
    int lowVibrationWrites = 0;
    for (const QString &name : qAsConst(locators)) {
        locator->setEditText(name);
        QTest::mouseClick(connect, Qt::LeftButton);
        QVERIFY2(connect->isChecked(), qPrintable(name));
        while (m_ui->channel->value() > 0)
            QTest::keyClick(m_ui->channel, Qt::Key_Down);
        for (int index = 0; index <= m_ui->channel->maximum(); ++index) {
            if (index > 0)
                QTest::keyClick(m_ui->channel, Qt::Key_Up);
            QCOMPARE(m_ui->channel->value(), index);
            if (!group->isEnabled())
                continue;
            ++positioners;
            QTest::keyClick(m_ui->speed, Qt::Key_Up);
            QTest::keyClick(m_ui->acceleration, Qt::Key_Down);
            if (m_ui->lowVibration->isEnabled()) {
                QTest::mouseClick(m_ui->lowVibration, Qt::LeftButton);
                ++lowVibrationWrites;
            }
            nexilsim::ChannelState state{};
            QVERIFY(nexilsim::channelState(name.toStdString(), uint32_t(index), &state));
            QCOMPARE(int(state.speed), m_ui->speed->value());
            QCOMPARE(int(state.acceleration), m_ui->acceleration->value());
            if (m_ui->lowVibration->isEnabled() && !state.holding)
                QCOMPARE(state.lowVibration, m_ui->lowVibration->isChecked() ? 1 : 0);
        }
        QTest::mouseClick(connect, Qt::LeftButton);
        QVERIFY(!connect->isChecked());
    }
    QVERIFY(positioners >= 4);
    QVERIFY(lowVibrationWrites >= 2);
    // The only refusals on the default fleet are its designed ones.
    QStringList unexpected;
    for (const QString &call : m_calls.take(false)) {
        if (call.endsWith(QLatin1String("=0")) || call.startsWith(QLatin1String("TQ_EPK"))
            || (call.startsWith(QLatin1String("TQ_GetChannelProperty_S"))
                && call.endsWith(QLatin1String("=155")))
            || (call.startsWith(QLatin1String("TQ_Stop_S"))
                && call.endsWith(QLatin1String("=156"))))
            continue;
        unexpected << call;
    }
    QCOMPARE(unexpected, QStringList());
}

QTEST_MAIN(tst_Writes)
#include "tst_writes.moc"
