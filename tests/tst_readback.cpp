#include "testutils.h"
#include "velotune.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QtTest>

#include <memory>

using testutils::child;
using testutils::SimChannel;

namespace {

const uint32_t injected = 7777;
const QString positionersOnly
        = QStringLiteral("This programm works only with positioners channels!");
const QString linearSpeed = QStringLiteral("Speed [nm/sec]:");
const QString linearAcceleration = QString::fromUtf8("Acceleration [\u00b5m/sec\u00b2]:");
const QString angularSpeed = QString::fromUtf8("Speed [\u00b5\u00b0/sec]:");
const QString angularAcceleration = QString::fromUtf8("Acceleration [m\u00b0/sec\u00b2]:");

} // namespace

class tst_ReadBack : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void readsChannelInOrder();
    void sensorTypePicksUnits_data();
    void sensorTypePicksUnits();
    void nonPositionerChannel();
    void laterFailureReplacesPositionerMessage();
    void failingRead_data();
    void failingRead();
    void unsupportedLowVibrationDisablesButton();
    void valuesAboveMaximumShowExactly_data();
    void valuesAboveMaximumShowExactly();
    void heldAboveMaximum_data();
    void heldAboveMaximum();
    void typingChannelReadsEveryValuePassed();

private:
    void connectAndSelect(int index);
    void expectState(int speed, int acceleration, bool lowVibrationOn, bool lowVibrationEnabled);

    Velotune *m_window = nullptr;
    testutils::CallLog m_calls;
    std::unique_ptr<testutils::MainWidgets> m_ui;
};

void tst_ReadBack::init()
{
    testutils::programSettings().clear();
    // Channel 0 linear and on, 1 angular and off, 2 not a positioner, 3 without Low Vibration.
    QVERIFY(testutils::loadFleet(
            {{"usb:id:1001",
              {SimChannel{0, 1, 1500000, 20000, "on"}, SimChannel{0, 2, 2500, 300, "off"},
               SimChannel{3, 1, 400, 50, "off"},
               SimChannel{0, 40, 123456, 7890, "unsupported"}}}}));
    nexilsim::setStatusText(injected, "Injected failure");
    m_window = testutils::showNew<Velotune>();
    QVERIFY(m_window);
    m_ui = std::make_unique<testutils::MainWidgets>(m_window);
    QVERIFY(m_ui->complete());
}

void tst_ReadBack::cleanup()
{
    delete m_window;
    m_window = nullptr;
    m_calls.take();
}

void tst_ReadBack::connectAndSelect(int index)
{
    QTest::mouseClick(child<QPushButton>(m_window, "pbConnect"), Qt::LeftButton);
    QVERIFY(m_ui->channel->isEnabled());
    for (int i = 0; i < index; ++i)
        QTest::keyClick(m_ui->channel, Qt::Key_Up);
    QCOMPARE(m_ui->channel->value(), index);
}

void tst_ReadBack::expectState(int speed, int acceleration, bool lowVibrationOn,
                               bool lowVibrationEnabled)
{
    QCOMPARE(m_ui->speed->value(), speed);
    QCOMPARE(m_ui->acceleration->value(), acceleration);
    QCOMPARE(m_ui->lowVibration->isChecked(), lowVibrationOn);
    QCOMPARE(m_ui->lowVibration->text(),
             lowVibrationOn ? QStringLiteral("&On") : QStringLiteral("&Off"));
    // Their own state: the group may disable them as well.
    QCOMPARE(m_ui->lowVibration->isEnabledTo(m_ui->group), lowVibrationEnabled);
    QCOMPARE(child<QLabel>(m_window, "lLowVibration")->isEnabledTo(m_ui->group),
             lowVibrationEnabled);
}

void tst_ReadBack::readsChannelInOrder()
{
    connectAndSelect(0);
    expectState(1500000, 20000, true, true);
    QCOMPARE(m_ui->speed->text(), QStringLiteral("1.500.000"));
    QCOMPARE(m_ui->acceleration->text(), QStringLiteral("20.000"));

    m_calls.take();
    QTest::keyClick(m_ui->channel, Qt::Key_Up);
    QCOMPARE(m_calls.take(),
             QStringList({
                     "TQ_GetChannelType(H,1)=0",
                     "TQ_GetSensorType_S(H,1)=0",
                     "TQ_GetClosedLoopMoveSpeed_S(H,1)=0",
                     "TQ_GetClosedLoopMoveAcceleration_S(H,1)=0",
                     "TQ_EPK(1,2,1)=16908289",
                     "TQ_GetChannelProperty_S(H,1,16908289)=0",
             }));
    expectState(2500, 300, false, true);
    QVERIFY(m_ui->group->isEnabled());
    QCOMPARE(m_window->statusBar()->currentMessage(), QString());
}

void tst_ReadBack::sensorTypePicksUnits_data()
{
    QTest::addColumn<int>("sensorType");
    QTest::addColumn<bool>("linear");

    QTest::newRow("0 angular") << 0 << false;
    QTest::newRow("1 linear") << 1 << true;
    QTest::newRow("2 angular") << 2 << false;
    QTest::newRow("9 linear") << 9 << true;
    QTest::newRow("40 linear") << 40 << true;
    QTest::newRow("44 linear") << 44 << true;
    QTest::newRow("45 angular") << 45 << false;
    QTest::newRow("4294967295 angular") << -1 << false;
}

void tst_ReadBack::sensorTypePicksUnits()
{
    QFETCH(int, sensorType);
    QFETCH(bool, linear);

    // Start from the opposite labels so a missed update shows.
    testutils::forceValue({"TQ_GetSensorType_S"}, uint32_t(sensorType));
    child<QLabel>(m_window, "lSpeed")->setText(linear ? angularSpeed : linearSpeed);
    connectAndSelect(0);
    QCOMPARE(child<QLabel>(m_window, "lSpeed")->text(), linear ? linearSpeed : angularSpeed);
    QCOMPARE(child<QLabel>(m_window, "lAcceleration")->text(),
             linear ? linearAcceleration : angularAcceleration);
}

void tst_ReadBack::nonPositionerChannel()
{
    connectAndSelect(1);
    m_calls.take();
    QTest::keyClick(m_ui->channel, Qt::Key_Up);

    QVERIFY(!m_ui->group->isEnabled());
    QCOMPARE(m_window->statusBar()->currentMessage(), positionersOnly);
    // The remaining reads still run and fill the (disabled) controls.
    QCOMPARE(m_calls.take().size(), 6);
    expectState(400, 50, false, true);
    QVERIFY(!m_ui->lowVibration->isEnabled());
    // No time limit on this one.
    QTest::qWait(2300);
    QCOMPARE(m_window->statusBar()->currentMessage(), positionersOnly);

    // Back on a positioner the refusal no longer applies and goes.
    QTest::keyClick(m_ui->channel, Qt::Key_Down);
    QVERIFY(m_ui->group->isEnabled());
    QCOMPARE(m_window->statusBar()->currentMessage(), QString());
}

void tst_ReadBack::laterFailureReplacesPositionerMessage()
{
    connectAndSelect(1);
    nexilsim::failNext("TQ_GetClosedLoopMoveAcceleration_S", injected);
    QTest::keyClick(m_ui->channel, Qt::Key_Up);
    QCOMPARE(m_window->statusBar()->currentMessage(),
             QStringLiteral("Could not fetch current acceleration from device. Error: 7777 "
                            "(Injected failure)"));
    QVERIFY(!m_ui->group->isEnabled());
    QTRY_COMPARE_WITH_TIMEOUT(m_window->statusBar()->currentMessage(), QString(), 3000);
}

void tst_ReadBack::failingRead_data()
{
    QTest::addColumn<QString>("function");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("groupEnabled");
    QTest::addColumn<bool>("unitsAngular");

    // Channel 0 (linear, 1.500.000, 20.000, on) is shown; then channel 1 (angular, 2.500,
    // 300, off) is chosen with one read failing.
    QTest::newRow("channel type") << "TQ_GetChannelType"
                                  << "Could not fetch current channel type. Error 7777 (Injected "
                                     "failure)"
                                  << true << true;
    QTest::newRow("sensor type") << "TQ_GetSensorType_S"
                                 << "Could not fetch current sensor type. Error 7777 (Injected "
                                    "failure)"
                                 << false << false;
    QTest::newRow("speed") << "TQ_GetClosedLoopMoveSpeed_S"
                           << "Could not fetch current speed from device. Error: 7777 (Injected "
                              "failure)"
                           << true << true;
    QTest::newRow("acceleration") << "TQ_GetClosedLoopMoveAcceleration_S"
                                  << "Could not fetch current acceleration from device. Error: "
                                     "7777 (Injected failure)"
                                  << true << true;
    QTest::newRow("low vibration") << "TQ_GetChannelProperty_S"
                                   << "Could not fetch current Low Vibration Mode from device. "
                                      "Error: 7777 (Injected failure)"
                                   << true << true;
}

void tst_ReadBack::failingRead()
{
    QFETCH(QString, function);
    QFETCH(QString, message);
    QFETCH(bool, groupEnabled);
    QFETCH(bool, unitsAngular);

    connectAndSelect(0);
    nexilsim::failNext(function.toStdString(), injected);
    m_calls.take();
    QTest::keyClick(m_ui->channel, Qt::Key_Up);

    const QStringList calls = m_calls.take(false);
    QCOMPARE(calls.size(), 6);
    QVERIFY(calls.filter(function + QLatin1String("(H,1"))
                    .first()
                    .endsWith(QLatin1String("=7777")));
    QCOMPARE(m_window->statusBar()->currentMessage(), message);
    QCOMPARE(m_ui->group->isEnabled(), groupEnabled);
    QCOMPARE(child<QLabel>(m_window, "lSpeed")->text(), unitsAngular ? angularSpeed : linearSpeed);
    const bool speedFailed = function.contains(QLatin1String("Speed"));
    const bool accelerationFailed = function.contains(QLatin1String("Acceleration"));
    const bool lowVibrationFailed = function.contains(QLatin1String("Property"));
    expectState(speedFailed ? 1500000 : 2500, accelerationFailed ? 20000 : 300, lowVibrationFailed,
                true);
    QTRY_COMPARE_WITH_TIMEOUT(m_window->statusBar()->currentMessage(), QString(), 3000);
}

void tst_ReadBack::unsupportedLowVibrationDisablesButton()
{
    connectAndSelect(0);
    QTest::keyClick(m_ui->channel, Qt::Key_Up);
    QTest::keyClick(m_ui->channel, Qt::Key_Up);
    QTest::keyClick(m_ui->channel, Qt::Key_Up);
    QCOMPARE(m_ui->channel->value(), 3);
    QCOMPARE(m_window->statusBar()->currentMessage(), QString());
    // Channel 1 left the button off; 155 keeps that and only disables it.
    expectState(123456, 7890, false, false);
    QVERIFY(m_ui->group->isEnabled());

    m_calls.take();
    QTest::mouseClick(m_ui->lowVibration, Qt::LeftButton);
    QCOMPARE(m_calls.take(), QStringList());
    QVERIFY(!m_ui->lowVibration->isChecked());
}

void tst_ReadBack::valuesAboveMaximumShowExactly_data()
{
    QTest::addColumn<quint32>("value");
    QTest::addColumn<QString>("speed");
    QTest::addColumn<QString>("acceleration");

    QTest::newRow("at both maxima") << 10000000u << "10.000.000"
                                    << "10.000.000";
    QTest::newRow("above acceleration maximum") << 10000001u << "10.000.001"
                                                << "10.000.001";
    QTest::newRow("above speed maximum") << 100000001u << "100.000.001"
                                         << "100.000.001";
    QTest::newRow("2^31") << 2147483648u << "2.147.483.648"
                          << "2.147.483.648";
    QTest::newRow("all ones") << 4294967295u << "4.294.967.295"
                              << "4.294.967.295";
}

void tst_ReadBack::valuesAboveMaximumShowExactly()
{
    QFETCH(quint32, value);
    QFETCH(QString, speed);
    QFETCH(QString, acceleration);

    testutils::forceValue({"TQ_GetClosedLoopMoveSpeed_S", "TQ_GetClosedLoopMoveAcceleration_S"},
                          value);
    connectAndSelect(0);
    QTest::keyClick(m_ui->channel, Qt::Key_Up);
    QCOMPARE(m_ui->speed->text(), speed);
    QCOMPARE(m_ui->acceleration->text(), acceleration);
    QVERIFY(m_calls.take().filter(QStringLiteral("TQ_Set")).isEmpty());
    nexilsim::ChannelState state;
    QVERIFY(nexilsim::channelState("usb:id:1001", 1, &state));
    QCOMPARE(state.speed, 2500u);
    QCOMPARE(state.acceleration, 300u);
}

void tst_ReadBack::heldAboveMaximum_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<quint32>("held");
    QTest::addColumn<QString>("input"); // "Up", "Down", or text typed and Return
    QTest::addColumn<QString>("shown");
    QTest::addColumn<qint64>("written"); // -1: nothing
    QTest::addColumn<QString>("message");

    const QString speed = QStringLiteral("sbSpeed");
    const QString acceleration = QStringLiteral("sbAcceleration");
    QTest::newRow("speed, Down") << speed << 200000000u << "Down"
                                 << "199.999.999" << qint64(199999999) << "";
    QTest::newRow("speed, Up stays at the held value") << speed << 200000000u << "Up"
                                                       << "200.000.000" << qint64(-1) << "";
    QTest::newRow("acceleration, Down") << acceleration << 50000000u << "Down"
                                        << "49.999.999" << qint64(49999999) << "";
    QTest::newRow("speed, typed below the held value") << speed << 200000000u << "150.000.000"
                                                       << "150.000.000" << qint64(150000000) << "";
    QTest::newRow("speed, typed above the held value")
            << speed << 200000000u << "200000001"
            << "200000001" << qint64(-1) << "200.000.001 is above the maximum of 200.000.000.";
    QTest::newRow("speed beyond an int, Down")
            << speed << 3000000000u << "Down"
            << "3.000.000.000" << qint64(-1)
            << "3.000.000.000 is too large to step from: type the new value.";
    QTest::newRow("acceleration beyond an int, typed")
            << acceleration << 4294967295u << "12.345.678"
            << "12.345.678" << qint64(12345678) << "";
}

// The controller holds more than the form allows: shown as it is, stepped from, and the form's
// maximum back once the box shows a value within it.
void tst_ReadBack::heldAboveMaximum()
{
    QFETCH(QString, box);
    QFETCH(quint32, held);
    QFETCH(QString, input);
    QFETCH(QString, shown);
    QFETCH(qint64, written);
    QFETCH(QString, message);

    const bool isSpeed = box == QLatin1String("sbSpeed");
    SimChannel channel{0, 1, isSpeed ? held : 5000, isSpeed ? 700 : held, "off"};
    channel.speedMax = 4294967295u;
    std::string json = testutils::fleetJson({{"usb:id:1001", {channel, SimChannel()}}});
    // Room for the held acceleration, too.
    json.replace(json.find("\"speedRange\""), 0, "\"accelerationRange\":[0,4294967295],");
    QCOMPARE(nexilsim::loadFleet(json), 0u);
    QVERIFY(testutils::showAndActivate(m_window));
    QTest::mouseClick(m_ui->connect, Qt::LeftButton);
    QVERIFY(m_ui->connect->isChecked());

    auto *spinBox = m_window->findChild<QSpinBox *>(box);
    QVERIFY(spinBox);
    const int formMaximum = isSpeed ? 100000000 : 10000000;
    QCOMPARE(spinBox->text(), QLocale(QLocale::German).toString(qulonglong(held)));
    spinBox->setFocus();
    QTRY_VERIFY(spinBox->hasFocus());
    m_calls.take();
    if (input == QLatin1String("Up") || input == QLatin1String("Down")) {
        QTest::keyClick(spinBox, input == QLatin1String("Up") ? Qt::Key_Up : Qt::Key_Down);
    } else {
        QTest::keyClick(spinBox, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(spinBox, input);
        QTest::keyClick(spinBox, Qt::Key_Return);
    }

    const QString setter = isSpeed ? QStringLiteral("TQ_SetClosedLoopMoveSpeed_S")
                                   : QStringLiteral("TQ_SetClosedLoopMoveAcceleration_S");
    const QStringList writes = m_calls.take().filter(setter);
    QCOMPARE(writes,
             written < 0 ? QStringList()
                         : QStringList(QStringLiteral("%1(H,0,%2)=0").arg(setter).arg(written)));
    QCOMPARE(spinBox->text(), shown);
    QCOMPARE(m_ui->status->currentMessage(), message);
    nexilsim::ChannelState state;
    QVERIFY(nexilsim::channelState("usb:id:1001", 0, &state));
    QCOMPARE(isSpeed ? state.speed : state.acceleration, written < 0 ? held : quint32(written));

    // A value within the form's maximum gives the form's maximum back.
    QTest::keyClick(m_ui->channel, Qt::Key_Up);
    QCOMPARE(spinBox->text(), isSpeed ? QStringLiteral("5.000") : QStringLiteral("700"));
    QCOMPARE(spinBox->maximum(), formMaximum);
}

void tst_ReadBack::typingChannelReadsEveryValuePassed()
{
    QVERIFY(testutils::loadFleet({{"usb:id:1001", std::vector<SimChannel>(20)}}));
    QTest::mouseClick(child<QPushButton>(m_window, "pbRefresh"), Qt::LeftButton);
    connectAndSelect(0);
    m_ui->channel->setFocus();
    QTest::keyClick(m_ui->channel, Qt::Key_A, Qt::ControlModifier);
    m_calls.take();
    QTest::keyClicks(m_ui->channel, QStringLiteral("12"));
    const QStringList types = m_calls.take().filter(QStringLiteral("TQ_GetChannelType"));
    QCOMPARE(types, QStringList({"TQ_GetChannelType(H,1)=0", "TQ_GetChannelType(H,12)=0"}));
}

QTEST_MAIN(tst_ReadBack)
#include "tst_readback.moc"
