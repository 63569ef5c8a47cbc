// The controller layer on its own, against the simulator that records every call: what a
// session opens, reads and writes, in which order, and the message a refusal gives.

#include "session.h"
#include "simcalls.h"
#include "simcontrol.h"
#include "statusformat.h"
#include "units.h"

#include <QtTest>

Q_DECLARE_METATYPE(nexil::Setting)

namespace {

const uint32_t injected = 7777;
const QString locator = QStringLiteral("usb:id:31415926");
const QString otherLocator = QStringLiteral("usb:id:27182818");

QStringList calls()
{
    return simcalls::take();
}

QString message(const nexil::Failure &failure)
{
    return failure ? nexil::statusMessage(QString::fromLatin1(failure.format), failure.status)
                   : QString();
}

struct Interrupted
{ };

int checkpointsLeft = -1;

// Ends the session's user at the given checkpoint, as a signal does velotune-cli.
void countedCheckpoint()
{
    if (checkpointsLeft >= 0 && checkpointsLeft-- == 0)
        throw Interrupted();
}

} // namespace

class tst_ControllerLayer : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void open_data();
    void open();
    void releasedWhenLeft_data();
    void releasedWhenLeft();
    void readChannel_data();
    void readChannel();
    void write_data();
    void write();
    void grouped_data();
    void grouped();
};

void tst_ControllerLayer::init()
{
    nexilsim::loadDefaultFleet();
    nexilsim::setStatusText(injected, "Injected failure");
    checkpointsLeft = -1;
}

void tst_ControllerLayer::open_data()
{
    QTest::addColumn<QString>("failing");
    QTest::addColumn<QStringList>("expectedCalls");
    QTest::addColumn<QString>("expectedMessage");
    QTest::addColumn<bool>("open");

    QTest::newRow("taken") << QString() << QStringList{"TQ_OpenSystem", "TQ_GetNumberOfChannels"}
                           << QString() << true;
    QTest::newRow("open refused") << "TQ_OpenSystem" << QStringList{"TQ_OpenSystem"}
                                  << "Could not connect to Nexil. Error: 7777 (Injected failure)"
                                  << false;
    // The system is released again, after the failure was told.
    QTest::newRow("count refused")
            << "TQ_GetNumberOfChannels"
            << QStringList{"TQ_OpenSystem", "TQ_GetNumberOfChannels", "TQ_CloseSystem"}
            << "Could not read the number of channels. Error: 7777 (Injected failure)" << false;
}

void tst_ControllerLayer::open()
{
    QFETCH(QString, failing);
    QFETCH(QStringList, expectedCalls);
    QFETCH(QString, expectedMessage);
    QFETCH(bool, open);

    if (!failing.isEmpty())
        nexilsim::failNext(failing.toStdString(), injected);
    nexilsim::clearCallLog();
    nexil::Session session;
    QStringList callsWhenTold;
    const nexil::Failure failure = session.open(locator, [&](const nexil::Failure &) {
        for (const nexilsim::Call &call : nexilsim::callLog())
            callsWhenTold << QString::fromStdString(call.function);
    });
    QCOMPARE(calls(), expectedCalls);
    QCOMPARE(message(failure), expectedMessage);
    QCOMPARE(session.isOpen(), open);
    QCOMPARE(session.locator(), locator);
    if (open) {
        QCOMPARE(session.channelCount(), 3u);
        QVERIFY(!session.close());
        QCOMPARE(calls(), QStringList{"TQ_CloseSystem"});
    } else {
        // Told before the release, so the message comes first.
        QCOMPARE(callsWhenTold, expectedCalls.mid(0, 2));
    }
}

void tst_ControllerLayer::releasedWhenLeft_data()
{
    QTest::addColumn<int>("checkpoint");
    QTest::addColumn<QStringList>("expectedCalls");

    QTest::newRow("before the open") << 0 << QStringList();
    QTest::newRow("before the count") << 1 << QStringList{"TQ_OpenSystem", "TQ_CloseSystem"};
    QTest::newRow("before a read") << 3
                                   << QStringList{"TQ_OpenSystem", "TQ_GetNumberOfChannels",
                                                  "TQ_GetChannelType", "TQ_CloseSystem"};
}

// Left by a signal, a session made for velotune-cli releases its system; none is left held.
void tst_ControllerLayer::releasedWhenLeft()
{
    QFETCH(int, checkpoint);
    QFETCH(QStringList, expectedCalls);

    nexilsim::clearCallLog();
    checkpointsLeft = checkpoint;
    bool interrupted = false;
    try {
        nexil::Session session(countedCheckpoint, true);
        session.open(locator);
        nexil::ChannelSettings settings;
        session.readChannel(0, &settings);
    } catch (const Interrupted &) {
        interrupted = true;
    }
    QVERIFY(interrupted);
    QCOMPARE(calls(), expectedCalls);
}

void tst_ControllerLayer::readChannel_data()
{
    QTest::addColumn<QString>("where");
    QTest::addColumn<uint>("channel");
    QTest::addColumn<QString>("failing");
    QTest::addColumn<QStringList>("expectedCalls");
    QTest::addColumn<QString>("expectedMessage");
    QTest::addColumn<QString>("expectedSettings"); // positioner sensor speed acceleration LVM

    const QStringList all = {"TQ_GetChannelType",
                             "TQ_GetSensorType_S",
                             "TQ_GetClosedLoopMoveSpeed_S",
                             "TQ_GetClosedLoopMoveAcceleration_S",
                             "TQ_EPK",
                             "TQ_GetChannelProperty_S"};
    QTest::newRow("linear, off") << locator << 0u << QString() << all << QString()
                                 << "1 1 2000000 1000000 0";
    QTest::newRow("on") << locator << 1u << QString() << all << QString() << "1 40 500000 250000 1";
    QTest::newRow("no Low Vibration Mode")
            << locator << 2u << QString() << all << QString() << "1 2 10000000 2000000 2";
    // Nothing more of a channel the program does not serve is read.
    QTest::newRow("not a positioner") << otherLocator << 1u << QString()
                                      << QStringList{"TQ_GetChannelType"} << QString() << "0";

    const char *messages[]
            = {"Could not fetch current channel type. Error 7777 (Injected failure)",
               "Could not fetch current sensor type. Error 7777 (Injected failure)",
               "Could not fetch current speed from device. Error: 7777 (Injected failure)",
               "Could not fetch current acceleration from device. Error: 7777 (Injected failure)",
               "Could not fetch current Low Vibration Mode from device. Error: 7777 (Injected "
               "failure)"};
    const int lastOf[] = {1, 2, 3, 4, 6};
    const char *functions[]
            = {"TQ_GetChannelType", "TQ_GetSensorType_S", "TQ_GetClosedLoopMoveSpeed_S",
               "TQ_GetClosedLoopMoveAcceleration_S", "TQ_GetChannelProperty_S"};
    for (int i = 0; i < 5; ++i)
        QTest::addRow("%s refused", functions[i])
                << locator << 0u << functions[i] << QStringList(all.mid(0, lastOf[i]))
                << messages[i] << QString();
}

void tst_ControllerLayer::readChannel()
{
    QFETCH(QString, where);
    QFETCH(uint, channel);
    QFETCH(QString, failing);
    QFETCH(QStringList, expectedCalls);
    QFETCH(QString, expectedMessage);
    QFETCH(QString, expectedSettings);

    nexil::Session session;
    QVERIFY(!session.open(where));
    if (!failing.isEmpty())
        nexilsim::failNext(failing.toStdString(), injected);
    nexilsim::clearCallLog();
    nexil::ChannelSettings settings;
    settings.speed = 42;
    const nexil::Failure failure = session.readChannel(channel, &settings);
    QCOMPARE(calls(), expectedCalls);
    QCOMPARE(message(failure), expectedMessage);
    if (failure) {
        QCOMPARE(settings.speed, 42u); // untouched
    } else {
        QString shown = QString::number(int(settings.positioner));
        if (settings.positioner)
            shown += QStringLiteral(" %1 %2 %3 %4")
                             .arg(settings.sensorType)
                             .arg(settings.speed)
                             .arg(settings.acceleration)
                             .arg(int(settings.lowVibration));
        QCOMPARE(shown, expectedSettings);
        QCOMPARE(settings.index, channel);
    }
    QVERIFY(!session.close());
}

void tst_ControllerLayer::write_data()
{
    QTest::addColumn<QString>("where");
    QTest::addColumn<nexil::Setting>("setting");
    QTest::addColumn<uint>("value");
    QTest::addColumn<QString>("failing");
    QTest::addColumn<QStringList>("expectedCalls");
    QTest::addColumn<QString>("expectedMessage");
    QTest::addColumn<int>("held"); // the controller's value afterwards, -1: not looked at

    const QStringList afterSpeed
            = {"TQ_GetClosedLoopMoveAcceleration_S", "TQ_EPK", "TQ_GetChannelProperty_S"};
    const QStringList afterLowVibration
            = {"TQ_GetClosedLoopMoveSpeed_S", "TQ_GetClosedLoopMoveAcceleration_S"};
    const QStringList lowVibration = {"TQ_Stop_S", "TQ_EPK", "TQ_SetChannelProperty_S"};

    QTest::newRow("speed") << locator << nexil::Setting::Speed << 2500000u << QString()
                           << QStringList("TQ_SetClosedLoopMoveSpeed_S") + afterSpeed << QString()
                           << 2500000;
    QTest::newRow("acceleration") << locator << nexil::Setting::Acceleration << 123456u << QString()
                                  << QStringList{"TQ_SetClosedLoopMoveAcceleration_S", "TQ_EPK",
                                                 "TQ_GetChannelProperty_S"}
                                  << QString() << 123456;
    QTest::newRow("Low Vibration Mode on")
            << locator << nexil::Setting::LowVibration << 1u << QString()
            << lowVibration + afterLowVibration << QString() << 1;
    QTest::newRow("speed refused")
            << locator << nexil::Setting::Speed << 2500000u << "TQ_SetClosedLoopMoveSpeed_S"
            << QStringList("TQ_SetClosedLoopMoveSpeed_S")
            << "Could not set speed value. Error: 7777 (Injected failure)" << 2000000;
    QTest::newRow("acceleration refused")
            << locator << nexil::Setting::Acceleration << 123456u
            << "TQ_SetClosedLoopMoveAcceleration_S"
            << QStringList("TQ_SetClosedLoopMoveAcceleration_S")
            << "Could not set acceleration value. Error: 7777 (Injected failure)" << -1;
    // Only a stopped channel gets the property.
    QTest::newRow("stop refused")
            << locator << nexil::Setting::LowVibration << 1u << "TQ_Stop_S"
            << QStringList("TQ_Stop_S")
            << "Could not set Low Vibration Mode (Axis holding position?). Error: 7777 "
               "(Injected failure)"
            << 0;
    QTest::newRow("property refused")
            << locator << nexil::Setting::LowVibration << 1u << "TQ_SetChannelProperty_S"
            << lowVibration << "Could not set Low Vibration Mode. Error: 7777 (Injected failure)"
            << 0;
}

void tst_ControllerLayer::write()
{
    QFETCH(QString, where);
    QFETCH(nexil::Setting, setting);
    QFETCH(uint, value);
    QFETCH(QString, failing);
    QFETCH(QStringList, expectedCalls);
    QFETCH(QString, expectedMessage);
    QFETCH(int, held);

    nexil::Session session;
    QVERIFY(!session.open(where));
    if (!failing.isEmpty())
        nexilsim::failNext(failing.toStdString(), injected);
    nexilsim::clearCallLog();
    std::vector<nexil::Read> told;
    const nexil::Failure failure
            = session.write(0, setting, value, [&](nexil::Read read, const nexil::Reading &r) {
                  QCOMPARE(r.status, 0u);
                  told.push_back(read);
              });
    QCOMPARE(calls(), expectedCalls);
    QCOMPARE(message(failure), expectedMessage);
    // Each read that follows a taken write is told, in order; none after a refusal.
    QVERIFY(told == (failure ? std::vector<nexil::Read>() : nexil::readsAfterWrite(setting)));
    if (held >= 0) {
        nexilsim::ChannelState state{};
        QVERIFY(nexilsim::channelState(where.toStdString(), 0, &state));
        const int now = setting == nexil::Setting::Speed  ? int(state.speed)
                : setting == nexil::Setting::Acceleration ? int(state.acceleration)
                                                          : state.lowVibration;
        QCOMPARE(now, held);
    }
    QVERIFY(!session.close());
}

void tst_ControllerLayer::grouped_data()
{
    QTest::addColumn<qint64>("value");
    QTest::addColumn<QString>("expected");

    QTest::newRow("zero") << qint64(0) << "0";
    QTest::newRow("below a thousand") << qint64(999) << "999";
    QTest::newRow("millions") << qint64(2000000) << "2.000.000";
    QTest::newRow("largest status") << qint64(4294967295) << "4.294.967.295";
}

// German grouping whatever the machine's locale: the window's boxes and the CLI's tables.
void tst_ControllerLayer::grouped()
{
    QFETCH(qint64, value);
    QFETCH(QString, expected);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QCOMPARE(nexil::grouped(value), expected);
}

QTEST_GUILESS_MAIN(tst_ControllerLayer)
#include "tst_controllerlayer.moc"
