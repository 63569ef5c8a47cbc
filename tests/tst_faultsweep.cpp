// Every user flow with a failure injected at each of its library calls in turn: the message
// shown, the calls that follow and the widgets afterwards, from one table.

#include "testutils.h"
#include "velotune.h"

#include <QtTest>

using testutils::MainWidgets;
using testutils::SimChannel;

namespace {

enum Flow {
    Startup,
    Refresh,
    Connect,
    ChannelChange,
    SpeedWrite,
    AccelerationWrite,
    LowVibration,
    Release
};
const char *const flowNames[] = {"start-up discovery",   "refresh",     "connect",
                                 "channel change",       "speed write", "acceleration write",
                                 "Low Vibration toggle", "release"};

// Which injected statuses a row covers: only the property read tells 155 apart.
enum Statuses { Any, Only155, Not155 };

struct Row
{
    Flow flow;
    Statuses statuses;
    // The flow's calls in order. "X!" fails X with the injected status, "X=n" has X return n;
    // Info is TQ_GetStatusInfo for the last failed call.
    const char *calls;
    // The status-bar text afterwards: %1 the status, %2 the library's text for it.
    const char *message;
    // See describe(): link, group, Low Vibration widgets, button, values, unit labels,
    // locator items, channel.
    const char *state;
};

const char *const connectFailed = "Could not connect to Nexil. Error: %1 (%2)";
const char *const countFailed = "Could not read the number of channels. Error: %1 (%2)";
const char *const typeFailed = "Could not fetch current channel type. Error %1 (%2)";
const char *const sensorFailed = "Could not fetch current sensor type. Error %1 (%2)";
const char *const speedFailed = "Could not fetch current speed from device. Error: %1 (%2)";
const char *const accelerationFailed
        = "Could not fetch current acceleration from device. Error: %1 (%2)";
const char *const lowVibrationReadFailed
        = "Could not fetch current Low Vibration Mode from device. Error: %1 (%2)";
const char *const setSpeedFailed = "Could not set speed value. Error: %1 (%2)";
const char *const setAccelerationFailed = "Could not set acceleration value. Error: %1 (%2)";
const char *const stopFailed
        = "Could not set Low Vibration Mode (Axis holding position?). Error: %1 (%2)";
const char *const setLowVibrationFailed = "Could not set Low Vibration Mode. Error: %1 (%2)";
const char *const releaseFailed = "Could not release device. Error: %1 (%2)";

// Before each action the window is connected to channel 0 (angular, speed 5000, acceleration
// 700, Low Vibration off) unless the flow itself connects; during the action the controller
// reports speed 6000, acceleration 800 and Low Vibration on, so a value that was not read back
// shows the old one. A failed EPK hands its status over as the key, which the controller
// refuses with 2.
const Row table[] = {
        {Startup, Any, "Find!", "",
         "released group- lv- off:&Off speed=0 accel=0 linear items=0 ch=0"},
        {Refresh, Any, "Find!", "",
         "released group- lv- off:&Off speed=0 accel=0 linear items=0 ch=0"},

        {Connect, Any, "Open! Info", connectFailed,
         "released group- lv- off:&Off speed=0 accel=0 linear items=2 ch=0"},
        {Connect, Any, "Open! Info!", connectFailed,
         "released group- lv- off:&Off speed=0 accel=0 linear items=2 ch=0"},
        {Connect, Any, "Open Count! Info Close", countFailed,
         "released group- lv- off:&Off speed=0 accel=0 linear items=2 ch=0"},
        {Connect, Any, "Open Count! Info Close!", countFailed,
         "released group- lv- off:&Off speed=0 accel=0 linear items=2 ch=0"},
        {Connect, Any, "Open Count Type! Info Sensor Speed Accel EPK Prop", typeFailed,
         "connected group+ lv+ on:&On speed=6000 accel=800 angular items=2 ch=0"},
        {Connect, Any, "Open Count Type Sensor! Info Speed Accel EPK Prop", sensorFailed,
         "connected group- lv+ on:&On speed=6000 accel=800 linear items=2 ch=0"},
        {Connect, Any, "Open Count Type Sensor Speed! Info Accel EPK Prop", speedFailed,
         "connected group+ lv+ on:&On speed=0 accel=800 angular items=2 ch=0"},
        {Connect, Any, "Open Count Type Sensor Speed Accel! Info EPK Prop", accelerationFailed,
         "connected group+ lv+ on:&On speed=6000 accel=0 angular items=2 ch=0"},
        {Connect, Any, "Open Count Type Sensor Speed Accel EPK! Prop=2 Info",
         lowVibrationReadFailed,
         "connected group+ lv+ off:&Off speed=6000 accel=800 angular items=2 ch=0"},
        {Connect, Only155, "Open Count Type Sensor Speed Accel EPK Prop!", "",
         "connected group+ lv- off:&Off speed=6000 accel=800 angular items=2 ch=0"},
        {Connect, Not155, "Open Count Type Sensor Speed Accel EPK Prop! Info",
         lowVibrationReadFailed,
         "connected group+ lv+ off:&Off speed=6000 accel=800 angular items=2 ch=0"},

        {ChannelChange, Any, "Type! Info Sensor Speed Accel EPK Prop", typeFailed,
         "connected group+ lv+ on:&On speed=6000 accel=800 linear items=2 ch=1"},
        {ChannelChange, Any, "Type Sensor! Info Speed Accel EPK Prop", sensorFailed,
         "connected group- lv+ on:&On speed=6000 accel=800 angular items=2 ch=1"},
        {ChannelChange, Any, "Type Sensor Speed! Info Accel EPK Prop", speedFailed,
         "connected group+ lv+ on:&On speed=5000 accel=800 linear items=2 ch=1"},
        {ChannelChange, Any, "Type Sensor Speed Accel! Info EPK Prop", accelerationFailed,
         "connected group+ lv+ on:&On speed=6000 accel=700 linear items=2 ch=1"},
        {ChannelChange, Any, "Type Sensor Speed Accel EPK! Prop=2 Info", lowVibrationReadFailed,
         "connected group+ lv+ off:&Off speed=6000 accel=800 linear items=2 ch=1"},
        {ChannelChange, Only155, "Type Sensor Speed Accel EPK Prop!", "",
         "connected group+ lv- off:&Off speed=6000 accel=800 linear items=2 ch=1"},
        {ChannelChange, Not155, "Type Sensor Speed Accel EPK Prop! Info", lowVibrationReadFailed,
         "connected group+ lv+ off:&Off speed=6000 accel=800 linear items=2 ch=1"},

        {SpeedWrite, Any, "SetSpeed! Info Speed", setSpeedFailed,
         "connected group+ lv+ off:&Off speed=6000 accel=700 angular items=2 ch=0"},
        {SpeedWrite, Any, "SetSpeed! Info Speed!", setSpeedFailed,
         "connected group+ lv+ off:&Off speed=5000 accel=700 angular items=2 ch=0"},
        {SpeedWrite, Any, "SetSpeed Accel! Info EPK Prop", accelerationFailed,
         "connected group+ lv+ on:&On speed=5001 accel=700 angular items=2 ch=0"},
        {SpeedWrite, Any, "SetSpeed Accel EPK! Prop=2 Info", lowVibrationReadFailed,
         "connected group+ lv+ off:&Off speed=5001 accel=800 angular items=2 ch=0"},
        {SpeedWrite, Only155, "SetSpeed Accel EPK Prop!", "",
         "connected group+ lv- off:&Off speed=5001 accel=800 angular items=2 ch=0"},
        {SpeedWrite, Not155, "SetSpeed Accel EPK Prop! Info", lowVibrationReadFailed,
         "connected group+ lv+ off:&Off speed=5001 accel=800 angular items=2 ch=0"},

        {AccelerationWrite, Any, "SetAccel! Info Accel", setAccelerationFailed,
         "connected group+ lv+ off:&Off speed=5000 accel=800 angular items=2 ch=0"},
        {AccelerationWrite, Any, "SetAccel! Info Accel!", setAccelerationFailed,
         "connected group+ lv+ off:&Off speed=5000 accel=700 angular items=2 ch=0"},
        {AccelerationWrite, Any, "SetAccel EPK! Prop=2 Info", lowVibrationReadFailed,
         "connected group+ lv+ off:&Off speed=5000 accel=699 angular items=2 ch=0"},
        {AccelerationWrite, Only155, "SetAccel EPK Prop!", "",
         "connected group+ lv- off:&Off speed=5000 accel=699 angular items=2 ch=0"},
        {AccelerationWrite, Not155, "SetAccel EPK Prop! Info", lowVibrationReadFailed,
         "connected group+ lv+ off:&Off speed=5000 accel=699 angular items=2 ch=0"},

        {LowVibration, Any, "Stop! Info EPK Prop", stopFailed,
         "connected group+ lv+ on:&On speed=5000 accel=700 angular items=2 ch=0"},
        {LowVibration, Any, "Stop! Info EPK Prop!", stopFailed,
         "connected group+ lv+ off:&Off speed=5000 accel=700 angular items=2 ch=0"},
        {LowVibration, Any, "Stop! Info EPK! Prop=2", stopFailed,
         "connected group+ lv+ off:&Off speed=5000 accel=700 angular items=2 ch=0"},
        {LowVibration, Any, "Stop EPK! SetProp=2 Info EPK Prop", setLowVibrationFailed,
         "connected group+ lv+ on:&On speed=5000 accel=700 angular items=2 ch=0"},
        {LowVibration, Any, "Stop EPK SetProp! Info EPK Prop", setLowVibrationFailed,
         "connected group+ lv+ on:&On speed=5000 accel=700 angular items=2 ch=0"},
        {LowVibration, Any, "Stop EPK SetProp! Info EPK Prop!", setLowVibrationFailed,
         "connected group+ lv+ off:&Off speed=5000 accel=700 angular items=2 ch=0"},
        {LowVibration, Any, "Stop EPK SetProp Speed! Info Accel", speedFailed,
         "connected group+ lv+ on:&On speed=5000 accel=800 angular items=2 ch=0"},
        {LowVibration, Any, "Stop EPK SetProp Speed Accel! Info", accelerationFailed,
         "connected group+ lv+ on:&On speed=6000 accel=700 angular items=2 ch=0"},

        {Release, Any, "Close! Info", releaseFailed,
         "connected group+ lv+ off:&Off speed=5000 accel=700 angular items=2 ch=0"},
};

struct Variant
{
    const char *name;
    uint32_t status;
    bool nullText;
};
const Variant variants[] = {{"status 1", 1, false},
                            {"status 155", 155, false},
                            {"status 0xFFFFFFFF", 0xFFFFFFFF, false},
                            {"status 1 without text", 1, true}};

// The library's texts; any other status has none and TQ_GetStatusInfo refuses it with 2.
const QMap<uint32_t, QString> statusTexts = {{1, QStringLiteral("Unspecified error")},
                                             {2, QStringLiteral("Invalid parameter")},
                                             {155, QStringLiteral("Not supported here")}};
const uint32_t lowVibrationKey = 0x01020001;

// One call of a row as the call log shows it.
struct Expected
{
    QString function; // the library's name, for failNext
    QString text;
};

QString callArguments(const QString &name, int channel, uint32_t key)
{
    const QString c = QString::number(channel);
    const QString k = QString::number(key);
    const QMap<QString, QString> calls = {
            {"Find", "TQ_FindSystems(interface usb,4096)"},
            {"Open", "TQ_OpenSystem(usb:id:1001,sync)"},
            {"Count", "TQ_GetNumberOfChannels(H)"},
            {"Close", "TQ_CloseSystem(H)"},
            {"Type", "TQ_GetChannelType(H," + c + ")"},
            {"Sensor", "TQ_GetSensorType_S(H," + c + ")"},
            {"Speed", "TQ_GetClosedLoopMoveSpeed_S(H," + c + ")"},
            {"Accel", "TQ_GetClosedLoopMoveAcceleration_S(H," + c + ")"},
            {"EPK", "TQ_EPK(1,2,1)"},
            {"Prop", "TQ_GetChannelProperty_S(H," + c + "," + k + ")"},
            {"SetSpeed", "TQ_SetClosedLoopMoveSpeed_S(H," + c + ",5001)"},
            {"SetAccel", "TQ_SetClosedLoopMoveAcceleration_S(H," + c + ",699)"},
            {"Stop", "TQ_Stop_S(H," + c + ")"},
            {"SetProp", "TQ_SetChannelProperty_S(H," + c + "," + k + ",1)"},
    };
    return calls.value(name);
}

// What the user sees, in the notation of the table's state column.
QString describe(const MainWidgets &w)
{
    QStringList parts;
    const bool released = !w.connect->isChecked() && w.connect->text() == "&Connect"
            && w.locator->isEnabled() && w.refresh->isEnabled() && !w.channel->isEnabled();
    const bool connected = w.connect->isChecked() && w.connect->text() == "&Disconnect"
            && !w.locator->isEnabled() && !w.refresh->isEnabled() && w.channel->isEnabled();
    if (released || connected)
        parts << (released ? "released" : "connected");
    else
        parts << QStringLiteral("link?(%1,%2,locator %3,refresh %4,channel %5)")
                         .arg(w.connect->isChecked())
                         .arg(w.connect->text())
                         .arg(w.locator->isEnabled())
                         .arg(w.refresh->isEnabled())
                         .arg(w.channel->isEnabled());
    parts << (w.group->isEnabled() ? "group+" : "group-");
    if (w.lowVibration->isEnabledTo(w.group) == w.lowVibrationLabel->isEnabledTo(w.group))
        parts << (w.lowVibrationOwnEnabled() ? "lv+" : "lv-");
    else
        parts << "lv?";
    parts << QString(w.lowVibration->isChecked() ? "on:" : "off:") + w.lowVibration->text();
    parts << "speed=" + QString::number(w.speed->value());
    parts << "accel=" + QString::number(w.acceleration->value());
    const QString speed = w.speedLabel->text();
    const QString acceleration = w.accelerationLabel->text();
    if (speed == "Speed [nm/sec]:" && acceleration == QString::fromUtf8("Acceleration [µm/sec²]:"))
        parts << "linear";
    else if (speed == QString::fromUtf8("Speed [µ°/sec]:")
             && acceleration == QString::fromUtf8("Acceleration [m°/sec²]:"))
        parts << "angular";
    else
        parts << "labels?(" + speed + "," + acceleration + ")";
    parts << "items=" + QString::number(w.locator->count());
    parts << "ch=" + QString::number(w.channel->value());
    return parts.join(' ');
}

} // namespace

Q_DECLARE_METATYPE(Flow)

class tst_FaultSweep : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void cleanupTestCase();
    void failure_data();
    void failure();

private:
    void openWindow();

    Velotune *m_window = nullptr;
    testutils::CallLog m_calls;
    int m_casesRun = 0;
};

void tst_FaultSweep::init()
{
    testutils::programSettings().clear();
    SimChannel angular;
    angular.sensorType = 2;
    angular.speed = 5000;
    angular.acceleration = 700;
    SimChannel linear;
    linear.speed = 80000;
    linear.acceleration = 9000;
    linear.lowVibration = "on";
    QVERIFY(testutils::loadFleet(
            {{"usb:id:1001", {angular, linear}}, {"usb:id:1002", {SimChannel()}}}));
    for (auto it = statusTexts.begin(); it != statusTexts.end(); ++it)
        nexilsim::setStatusText(it.key(), it.value().toStdString());
}

void tst_FaultSweep::cleanup()
{
    delete m_window;
    m_window = nullptr;
    m_calls.take();
}

void tst_FaultSweep::cleanupTestCase()
{
    qInfo("fault sweep: %d cases run", m_casesRun);
}

void tst_FaultSweep::openWindow()
{
    m_window = new Velotune;
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
}

void tst_FaultSweep::failure_data()
{
    QTest::addColumn<Flow>("flow");
    QTest::addColumn<QString>("calls");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("state");
    QTest::addColumn<uint>("status");
    QTest::addColumn<bool>("nullText");

    for (const Row &row : table) {
        for (const Variant &variant : variants) {
            if ((row.statuses == Only155 && variant.status != 155)
                || (row.statuses == Not155 && variant.status == 155))
                continue;
            QTest::addRow("%s: %s, %s", flowNames[row.flow], row.calls, variant.name)
                    << row.flow << row.calls << row.message << row.state << variant.status
                    << variant.nullText;
        }
    }
}

void tst_FaultSweep::failure()
{
    QFETCH(Flow, flow);
    QFETCH(QString, calls);
    QFETCH(QString, message);
    QFETCH(QString, state);
    QFETCH(uint, status);
    QFETCH(bool, nullText);

    // The log the row describes, and the failures to inject for it.
    const int channel = flow == ChannelChange ? 1 : 0;
    uint32_t key = lowVibrationKey;
    uint32_t lastFailure = 0;
    uint32_t shown = 0;
    bool textLost = nullText;
    QStringList expected;
    QStringList failing;
    for (const QString &token : calls.split(' ')) {
        const bool fails = token.endsWith('!');
        QString name = token;
        name.remove('!');
        uint32_t result = name == "EPK" ? lowVibrationKey : 0;
        const int fixed = name.indexOf('=');
        if (fixed > 0) {
            result = name.mid(fixed + 1).toUInt();
            name.truncate(fixed);
        }
        if (fails)
            result = status;
        QString text;
        if (name == "Info") {
            shown = lastFailure;
            text = QStringLiteral("TQ_GetStatusInfo(%1)").arg(shown);
            if (!fails)
                result = statusTexts.contains(shown) ? 0 : 2;
            textLost = nullText || fails;
        } else {
            text = callArguments(name, channel, key);
            QVERIFY2(!text.isEmpty(), qPrintable("unknown call " + name));
            if (name == "EPK")
                key = result;
            else if (result != 0)
                lastFailure = result;
        }
        expected << text + "=" + QString::number(result);
        if (fails)
            failing << text.left(text.indexOf('('));
    }
    const QString shownMessage = message.isEmpty()
            ? QString()
            : message.arg(QString::number(shown), textLost ? QString() : statusTexts.value(shown));

    // Get to where the flow starts; only then arm the failures.
    if (flow != Startup) {
        openWindow();
        if (flow > Connect) {
            QTest::mouseClick(MainWidgets(m_window).connect, Qt::LeftButton);
            QVERIFY(MainWidgets(m_window).connect->isChecked());
        }
    }
    m_calls.take();
    for (const QString &function : qAsConst(failing))
        nexilsim::failNext(function.toStdString(), status);
    nexilsim::setNullStatusInfo(nullText);
    nexilsim::setValueHook([](const std::string &function, uint32_t *value) {
        if (function == "TQ_GetClosedLoopMoveSpeed_S")
            *value = 6000;
        else if (function == "TQ_GetClosedLoopMoveAcceleration_S")
            *value = 800;
        else if (function == "TQ_GetChannelProperty_S")
            *value = 1;
        else
            return false;
        return true;
    });

    if (flow == Startup)
        openWindow();
    const MainWidgets w(m_window);
    QVERIFY(w.complete());
    switch (flow) {
    case Startup:
        break;
    case Refresh:
        QTest::mouseClick(w.refresh, Qt::LeftButton);
        break;
    case Connect:
    case Release:
        QTest::mouseClick(w.connect, Qt::LeftButton);
        break;
    case ChannelChange:
        QTest::keyClick(w.channel, Qt::Key_Up);
        break;
    case SpeedWrite:
        QTest::keyClick(w.speed, Qt::Key_Up);
        break;
    case AccelerationWrite:
        QTest::keyClick(w.acceleration, Qt::Key_Down);
        break;
    case LowVibration:
        QTest::mouseClick(w.lowVibration, Qt::LeftButton);
        break;
    }

    QCOMPARE(m_calls.take(), expected);
    QCOMPARE(w.status->currentMessage(), shownMessage);
    QCOMPARE(describe(w), state);
    ++m_casesRun;
}

QTEST_MAIN(tst_FaultSweep)
#include "tst_faultsweep.moc"
