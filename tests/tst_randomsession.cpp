// A long random session against a controller that fails a tenth of all calls and hands back
// odd values. After every user action the program must still keep its promises: no call
// behind a released link, no channel outside the count, no write the user did not make, a
// stop before every Low Vibration write, and only values the controller gave (or the user
// typed) on screen. VELOTUNE_SEED picks another session; VELOTUNE_ACTIONS another length.

#include "testutils.h"
#include "units.h"
#include "velotune.h"

#include <QAction>
#include <QLineEdit>
#include <QtTest>

#include <climits>
#include <deque>
#include <random>

using testutils::MainWidgets;
using testutils::SimChannel;

namespace {

const uint32_t defaultSeed = 20240611;
const int defaultActions = 20000;
const int speedMaximum = 100000000;
const int accelerationMaximum = 10000000;

uint32_t environmentNumber(const char *name, uint32_t fallback)
{
    bool ok = false;
    const uint32_t value = qEnvironmentVariable(name).toUInt(&ok, 0);
    return ok ? value : fallback;
}

enum Action {
    ClickConnect,
    ClickRefresh,
    TypeLocator,
    PickLocator,
    ChannelStep,
    ChannelTyped,
    SpeedStep,
    SpeedTyped,
    AccelerationStep,
    AccelerationTyped,
    LowVibrationClick,
    OpenAbout,
    StartUp, // the window's own discovery, not drawn
};
// Relative frequency of each action above, while connected and while released: a released
// user mostly tries to connect, but also pokes at the disabled controls.
const double connectedWeights[] = {3, 1, 1, 1, 12, 4, 14, 6, 14, 6, 12, 0.5};
const double releasedWeights[] = {20, 5, 5, 5, 2, 1, 2, 1, 2, 1, 2, 0.5};

const char *const channelFunctions[] = {"TQ_GetChannelType",
                                        "TQ_GetSensorType_S",
                                        "TQ_GetClosedLoopMoveSpeed_S",
                                        "TQ_GetClosedLoopMoveAcceleration_S",
                                        "TQ_GetChannelProperty_S",
                                        "TQ_SetClosedLoopMoveSpeed_S",
                                        "TQ_SetClosedLoopMoveAcceleration_S",
                                        "TQ_SetChannelProperty_S",
                                        "TQ_Stop_S"};

bool addressesChannel(const std::string &function)
{
    for (const char *name : channelFunctions)
        if (function == name)
            return true;
    return false;
}

} // namespace

class tst_RandomSession : public QObject
{
    Q_OBJECT

private slots:
    void session();

private:
    bool armController();
    QString act(Action action);
    QString checkCalls(Action action, const std::vector<nexilsim::Call> &calls);
    QString checkWidgets();
    uint32_t pick(std::initializer_list<uint32_t> values);
    uint32_t oddValue(const std::string &function, uint32_t value);

    std::mt19937 m_random;
    std::string m_fleet;
    Velotune *m_window = nullptr;
    std::unique_ptr<MainWidgets> m_w;

    // What the controller handed out, in call order: read back by checkCalls().
    std::deque<std::pair<std::string, uint32_t>> m_values;
    int m_injected = 0;

    // The link as the program's calls show it.
    bool m_open = false;
    bool m_closing = false;  // a connect that failed after the open: its close ends the link
    bool m_leftOpen = false; // that close failed, so the controller still holds the system
    uint32_t m_count = 0;
    bool m_propertyRead = false;
    uint32_t m_propertyStatus = 0;

    // Widget states just before the action.
    int m_speedBefore = 0;
    int m_accelerationBefore = 0;
    bool m_lowVibrationClickable = false;
    bool m_lowVibrationBefore = false;
};

uint32_t tst_RandomSession::pick(std::initializer_list<uint32_t> values)
{
    return *(values.begin()
             + std::uniform_int_distribution<size_t>(0, values.size() - 1)(m_random));
}

// Three reads in ten hand back something odd; the rest pass the controller's own value on.
uint32_t tst_RandomSession::oddValue(const std::string &function, uint32_t value)
{
    if (std::uniform_int_distribution<int>(0, 9)(m_random) >= 3)
        return value;
    const auto any = uint32_t(m_random());
    if (function == "TQ_GetNumberOfChannels")
        return pick({0, 1, 2, 5, 40, INT_MAX, 0x80000000u, 0x80000001u, 0xFFFFFFFFu, any});
    if (function == "TQ_GetChannelType")
        return pick({0, 0, 1, 2, 0xFFFFFFFFu, any});
    if (function == "TQ_GetSensorType_S")
        return pick({0, 1, 2, 40, 44, 45, 0xFFFFFFFFu, any});
    if (function == "TQ_GetClosedLoopMoveSpeed_S")
        return pick({0, 1, speedMaximum - 1, speedMaximum, speedMaximum + 1, INT_MAX, 0x80000000u,
                     0xFFFFFFFFu, any});
    if (function == "TQ_GetClosedLoopMoveAcceleration_S")
        return pick({0, 1, accelerationMaximum - 1, accelerationMaximum, accelerationMaximum + 1,
                     INT_MAX, 0x80000000u, 0xFFFFFFFFu, any});
    return pick({0, 1, 2, 0xFFFFFFFFu, any});
}

bool tst_RandomSession::armController()
{
    if (nexilsim::loadFleet(m_fleet) != 0)
        return false;
    nexilsim::setLatencyMicroseconds(0);
    nexilsim::setFaultHook([this](const std::string &) -> uint32_t {
        if (std::uniform_int_distribution<int>(0, 9)(m_random) != 0)
            return 0;
        ++m_injected;
        const uint32_t status
                = pick({1, 2, 16, 17, 18, 19, 20, 32, 155, 156, 0xFFFFFFFFu, uint32_t(m_random())});
        return status != 0 ? status : 1;
    });
    nexilsim::setValueHook([this](const std::string &function, uint32_t *value) {
        *value = oddValue(function, *value);
        m_values.emplace_back(function, *value);
        return true;
    });
    return true;
}

void tst_RandomSession::session()
{
    const uint32_t seed = environmentNumber("VELOTUNE_SEED", defaultSeed);
    const int actions = int(environmentNumber("VELOTUNE_ACTIONS", defaultActions));
    m_random.seed(seed);

    SimChannel linear;
    SimChannel angular;
    angular.sensorType = 2;
    angular.lowVibration = "on";
    SimChannel other;
    other.type = 1;
    SimChannel unsupported;
    unsupported.lowVibration = "unsupported";
    SimChannel holding;
    holding.holding = true;
    const std::vector<testutils::SimSystem> systems
            = {{"usb:id:1001", {linear, angular, other, unsupported, holding}},
               {"usb:id:1002", {angular}},
               {"network:192.0.2.10:5000", {linear, angular}, false}};
    m_fleet = testutils::fleetJson(systems);
    QVERIFY(armController());
    testutils::programSettings().clear();
    qInfo("random session, seed %u (VELOTUNE_SEED=%u repeats it)", seed, seed);

    m_window = new Velotune;
    QVERIFY(testutils::showAndActivate(m_window));
    m_w = std::make_unique<MainWidgets>(m_window);
    QVERIFY(m_w->complete());
    QString failure = checkCalls(StartUp, nexilsim::callLog());
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    nexilsim::clearCallLog();

    std::discrete_distribution<int> whenConnected(std::begin(connectedWeights),
                                                  std::end(connectedWeights));
    std::discrete_distribution<int> whenReleased(std::begin(releasedWeights),
                                                 std::end(releasedWeights));
    QStringList recent;
    qint64 calls = 0;
    int connectedActions = 0;
    for (int i = 0; i < actions; ++i) {
        const auto action = Action(m_open ? whenConnected(m_random) : whenReleased(m_random));
        m_speedBefore = m_w->speed->value();
        m_accelerationBefore = m_w->acceleration->value();
        m_lowVibrationClickable = m_w->lowVibration->isEnabled();
        m_lowVibrationBefore = m_w->lowVibration->isChecked();

        connectedActions += m_w->connect->isChecked();
        const QString done = act(action);
        recent << done;
        if (recent.size() > 8)
            recent.removeFirst();
        const std::vector<nexilsim::Call> made = nexilsim::callLog();
        nexilsim::clearCallLog();
        calls += qint64(made.size());
        failure = checkCalls(action, made);
        if (failure.isEmpty() && action == OpenAbout && !done.endsWith(QLatin1String("Escape")))
            failure = QStringLiteral("F1 opened no About dialog");
        if (failure.isEmpty())
            failure = checkWidgets();
        if (!failure.isEmpty()) {
            QStringList log;
            for (const nexilsim::Call &call : made)
                log << QString::fromStdString(call.text());
            QFAIL(qPrintable(QStringLiteral("seed %1 (VELOTUNE_SEED=%1), action %2: %3\n"
                                            "recent actions: %4\ncalls: %5")
                                     .arg(seed)
                                     .arg(i)
                                     .arg(failure, recent.join(QStringLiteral(" | ")),
                                          log.join(QLatin1Char(' ')))));
        }
        // A failed close during a refused connect leaves the system open on the controller,
        // which then refuses every later open of it. Power-cycle the fleet.
        if (m_leftOpen && !m_open) {
            QVERIFY(armController());
            m_leftOpen = false;
        }
    }
    qInfo("random session: %d actions (%d while connected), %lld library calls, %d failures "
          "injected",
          actions, connectedActions, calls, m_injected);
    delete m_window;
    m_window = nullptr;
}

QString tst_RandomSession::act(Action action)
{
    auto number = [this](int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(m_random);
    };
    const Qt::Key steps[] = {Qt::Key_Up, Qt::Key_Down, Qt::Key_PageUp, Qt::Key_PageDown};
    auto typeInto = [](QWidget *box, const QString &text, bool enter) {
        QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(box, text);
        if (enter)
            QTest::keyClick(box, Qt::Key_Return);
    };
    switch (action) {
    case ClickConnect:
        QTest::mouseClick(m_w->connect, Qt::LeftButton);
        return QStringLiteral("click Connect");
    case ClickRefresh:
        QTest::mouseClick(m_w->refresh, Qt::LeftButton);
        return QStringLiteral("click Refresh");
    case TypeLocator: {
        const QString text = QStringList({"usb:id:1001", "usb:id:1002", "network:192.0.2.10:5000",
                                          "usb:id:9999", "", "usb:id:1001 ", "USB:ID:1001"})
                                     .at(number(0, 6));
        typeInto(m_w->locator->lineEdit(), text, number(0, 1));
        return "type locator '" + text + "'";
    }
    case PickLocator:
        QTest::keyClick(m_w->locator, number(0, 1) ? Qt::Key_Down : Qt::Key_Up);
        return QStringLiteral("pick locator");
    case ChannelStep:
        QTest::keyClick(m_w->channel, steps[number(0, 3)]);
        return QStringLiteral("step channel");
    case ChannelTyped: {
        const int channel = number(0, 5) == 0 ? number(0, INT_MAX) : number(0, 6);
        typeInto(m_w->channel, QString::number(channel), true);
        return "type channel " + QString::number(channel);
    }
    case SpeedStep:
        QTest::keyClick(m_w->speed, steps[number(0, 3)]);
        return QStringLiteral("step speed");
    case AccelerationStep:
        QTest::keyClick(m_w->acceleration, steps[number(0, 3)]);
        return QStringLiteral("step acceleration");
    case SpeedTyped:
    case AccelerationTyped: {
        QSpinBox *box = action == SpeedTyped ? m_w->speed : m_w->acceleration;
        const int maximum = box->maximum();
        const int value = int(
                pick({0, 1, uint32_t(maximum), uint32_t(maximum - 1), uint32_t(number(0, maximum)),
                      uint32_t(number(0, 99999)), uint32_t(maximum) + 1}));
        typeInto(box, QString::number(value), true);
        return QStringLiteral("type %1 into %2").arg(value).arg(box->objectName());
    }
    case LowVibrationClick:
        QTest::mouseClick(m_w->lowVibration, Qt::LeftButton);
        return QStringLiteral("click Low Vibration");
    case OpenAbout: {
        // Shared: should F1 open nothing, the handler outlives this call.
        const auto seen = std::make_shared<bool>(false);
        testutils::onNextModal([seen](QWidget *modal) {
            *seen = true;
            QTest::keyClick(modal, Qt::Key_Escape);
        });
        QApplication::setActiveWindow(m_window);
        QTest::keyClick(m_window, Qt::Key_F1);
        return *seen ? QStringLiteral("About and Escape") : QStringLiteral("About did not open");
    }
    case StartUp:
        break;
    }
    return QString();
}

QString tst_RandomSession::checkCalls(Action action, const std::vector<nexilsim::Call> &calls)
{
    // Expected on screen afterwards, from what the controller handed out; -1 unknown.
    qint64 speed = -1;
    qint64 acceleration = -1;
    int lowVibration = -1;
    int linearUnits = -1;
    int speedWrites = 0;
    int accelerationWrites = 0;
    int stops = 0;
    // A refused write is followed by one read of what the controller holds.
    bool speedRefused = false;
    bool accelerationRefused = false;
    bool lowVibrationRefused = false;
    const auto channelShown = uint32_t(m_w->channel->value());
    const bool speedAction = action == SpeedStep || action == SpeedTyped;
    const bool accelerationAction = action == AccelerationStep || action == AccelerationTyped;

    for (size_t i = 0; i < calls.size(); ++i) {
        const nexilsim::Call &call = calls[i];
        const std::string &f = call.function;
        const QString where = QString::fromStdString(call.text()) + ": ";
        uint32_t value = 0;
        const bool getter = f == "TQ_GetNumberOfChannels" || f == "TQ_GetChannelType"
                || f == "TQ_GetSensorType_S" || f == "TQ_GetClosedLoopMoveSpeed_S"
                || f == "TQ_GetClosedLoopMoveAcceleration_S" || f == "TQ_GetChannelProperty_S";
        if (getter && call.result == 0) {
            if (m_values.empty() || m_values.front().first != f)
                return where + "no value recorded for this read";
            value = m_values.front().second;
            m_values.pop_front();
        }

        if (!m_open) {
            if (f != "TQ_FindSystems" && f != "TQ_OpenSystem" && f != "TQ_GetStatusInfo")
                return where + "called while released";
            if (f == "TQ_OpenSystem" && call.result == 0)
                m_open = true;
            continue;
        }
        if (f == "TQ_FindSystems" || f == "TQ_OpenSystem")
            return where + "discovery or open while connected";
        if (m_closing && f != "TQ_GetStatusInfo" && f != "TQ_CloseSystem")
            return where + "called after a refused connect";
        if (f == "TQ_GetNumberOfChannels") {
            if (call.result == 0)
                m_count = value;
            // No channel, or more than Velotune serves: released at once.
            m_closing = call.result != 0 || value == 0 || value > 1024;
        }
        if (f == "TQ_CloseSystem") {
            if (m_closing || call.result == 0)
                m_open = false;
            m_leftOpen = m_leftOpen || (m_closing && call.result != 0);
            m_closing = false;
        }
        if (addressesChannel(f)) {
            if (call.args.size() < 2)
                return where + "no channel";
            const auto channel = uint32_t(std::stoul(call.args[1]));
            if (channel >= m_count)
                return where + QStringLiteral("channel outside 0 ... %1 - 1").arg(m_count);
        }

        if (f == "TQ_SetClosedLoopMoveSpeed_S") {
            ++speedWrites;
            if (!speedAction)
                return where + "speed written without a speed change";
            if (call.args[1] != std::to_string(channelShown))
                return where + "not the channel shown";
            if (call.result == 0 && call.args[2] != std::to_string(m_w->speed->value()))
                return where + "not the speed shown";
            speedRefused = call.result != 0;
            // Refused and not read back: the value shown before.
            speed = speedRefused ? m_speedBefore : -1;
        } else if (f == "TQ_SetClosedLoopMoveAcceleration_S") {
            ++accelerationWrites;
            if (!accelerationAction)
                return where + "acceleration written without an acceleration change";
            if (call.args[1] != std::to_string(channelShown))
                return where + "not the channel shown";
            if (call.result == 0 && call.args[2] != std::to_string(m_w->acceleration->value()))
                return where + "not the acceleration shown";
            accelerationRefused = call.result != 0;
            acceleration = accelerationRefused ? m_accelerationBefore : -1;
        } else if (f == "TQ_Stop_S") {
            ++stops;
            if (action != LowVibrationClick)
                return where + "stop without a Low Vibration click";
            if (call.args[1] != std::to_string(channelShown))
                return where + "not the channel shown";
            lowVibrationRefused = call.result != 0;
        } else if (f == "TQ_SetChannelProperty_S") {
            if (action != LowVibrationClick)
                return where + "Low Vibration written without a click";
            if (i < 2 || calls[i - 1].function != "TQ_EPK" || calls[i - 2].function != "TQ_Stop_S"
                || calls[i - 2].result != 0
                || calls[i - 2].args
                        != std::vector<std::string>(call.args.begin(), call.args.begin() + 2))
                return where + "Low Vibration written without a stop of that channel first";
            if (call.args[3] != (m_lowVibrationBefore ? "0" : "1"))
                return where + "not the state the click asked for";
            lowVibrationRefused = call.result != 0;
            lowVibration = -1;
        } else if (lowVibrationRefused && f == "TQ_GetChannelProperty_S") {
            // Refused and not read back: the state shown before the click.
            lowVibration = call.result == 0 ? value != 0 : m_lowVibrationBefore;
        } else if (call.result == 0 && f == "TQ_GetClosedLoopMoveSpeed_S") {
            // Shown as read; beyond an int the box holds INT_MAX and its text the number.
            speed = std::min<qint64>(value, INT_MAX);
        } else if (call.result == 0 && f == "TQ_GetClosedLoopMoveAcceleration_S") {
            acceleration = std::min<qint64>(value, INT_MAX);
        } else if (call.result == 0 && f == "TQ_GetSensorType_S") {
            linearUnits = nexil::isLinearSensor(value);
        } else if (f == "TQ_GetChannelProperty_S") {
            m_propertyRead = true;
            m_propertyStatus = call.result;
            lowVibration = call.result == 0 ? value != 0 : -1;
        }
    }

    // A step or a typed value writes exactly when it changed the value, and a click on an
    // enabled Low Vibration button always stops first.
    if (speedAction
        && speedWrites != (speedRefused || m_w->speed->value() != m_speedBefore ? 1 : 0))
        return QStringLiteral("%1 speed writes for a change from %2 to %3")
                .arg(speedWrites)
                .arg(m_speedBefore)
                .arg(m_w->speed->value());
    if (accelerationAction
        && accelerationWrites
                != (accelerationRefused || m_w->acceleration->value() != m_accelerationBefore ? 1
                                                                                              : 0))
        return QStringLiteral("%1 acceleration writes for a change from %2 to %3")
                .arg(accelerationWrites)
                .arg(m_accelerationBefore)
                .arg(m_w->acceleration->value());
    if (stops != (action == LowVibrationClick && m_lowVibrationClickable ? 1 : 0))
        return QStringLiteral("%1 stops for this action").arg(stops);
    if ((action == TypeLocator || action == PickLocator || action == OpenAbout) && !calls.empty())
        return QStringLiteral("library called without reason");

    // Only what the controller last reported is shown as its value.
    if (speed >= 0 && m_w->speed->value() != speed)
        return QStringLiteral("speed shows %1, read %2").arg(m_w->speed->value()).arg(speed);
    if (acceleration >= 0 && m_w->acceleration->value() != acceleration)
        return QStringLiteral("acceleration shows %1, read %2")
                .arg(m_w->acceleration->value())
                .arg(acceleration);
    if (lowVibration >= 0
        && (m_w->lowVibration->isChecked() != bool(lowVibration)
            || m_w->lowVibration->text() != (lowVibration ? "&On" : "&Off")))
        return QStringLiteral("Low Vibration shows %1 %2, read %3")
                .arg(m_w->lowVibration->isChecked())
                .arg(m_w->lowVibration->text())
                .arg(lowVibration);
    if (linearUnits >= 0
        && (m_w->speedLabel->text() == QLatin1String("Speed [nm/sec]:")) != bool(linearUnits))
        return QStringLiteral("units %1 for a %2 sensor")
                .arg(m_w->speedLabel->text(), linearUnits ? "linear" : "angular");
    return QString();
}

QString tst_RandomSession::checkWidgets()
{
    const MainWidgets &w = *m_w;
    const bool connected = w.connect->isChecked();
    if (connected != m_open)
        return QStringLiteral("Connect button %1 while the link is %2")
                .arg(connected ? "on" : "off", m_open ? "open" : "released");
    if (w.locator->isEnabled() == connected || w.refresh->isEnabled() == connected
        || w.channel->isEnabled() != connected)
        return QStringLiteral("controls do not match the link");
    if (connected) {
        const int maximum = int(std::min<uint32_t>(m_count - 1, INT_MAX));
        if (w.channel->maximum() != maximum)
            return QStringLiteral("channel maximum %1 for %2 channels")
                    .arg(w.channel->maximum())
                    .arg(m_count);
    } else if (w.group->isEnabled()) {
        return QStringLiteral("configuration usable while released");
    }
    if (w.channel->value() < 0 || w.channel->value() > w.channel->maximum() || w.speed->value() < 0
        || w.acceleration->value() < 0)
        return QStringLiteral("a value outside its range");
    // The form's maximum, grown only as far as a value shown above it.
    if (w.speed->maximum() != std::max(speedMaximum, w.speed->value())
        || w.acceleration->maximum() != std::max(accelerationMaximum, w.acceleration->value()))
        return QStringLiteral("maxima %1 and %2 for the values %3 and %4")
                .arg(w.speed->maximum())
                .arg(w.acceleration->maximum())
                .arg(w.speed->value())
                .arg(w.acceleration->value());
    const bool enabled = m_propertyRead && m_propertyStatus != 155;
    if (w.lowVibration->isEnabledTo(w.group) != enabled
        || w.lowVibrationLabel->isEnabledTo(w.group) != enabled)
        return QStringLiteral("Low Vibration controls %1 after a property read with status %2")
                .arg(w.lowVibration->isEnabledTo(w.group) ? "enabled" : "disabled")
                .arg(m_propertyRead ? QString::number(m_propertyStatus) : QString("none"));
    if (w.status->currentMessage().contains(QLatin1Char('%')))
        return "unfilled place marker: " + w.status->currentMessage();
    if (QApplication::activeModalWidget())
        return QStringLiteral("a dialog is still open");
    return QString();
}

QTEST_MAIN(tst_RandomSession)
#include "tst_randomsession.moc"
