// Time of one user action, driven through the real widgets against the simulator, from the input
// until the window's slot returns: the time the window is blocked. With no latency that is what
// the toolkit spends on the input, the program's slot and the simulator's bookkeeping. The slot
// is also timed on its own (by handlers connected just before and after it), and the other two
// are measured apart: "toolkit only" is the same input with the slot disconnected, "library
// only" the same calls made directly. With a latency the result shows how far the action exceeds
// the library's round trips. bench/report.py reads the results.
#include "nexilcontrol.h"
#include "simcontrol.h"
#include "velotune.h"

#include <QElapsedTimer>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QtTest>

#include <functional>

namespace {

enum Action { ChannelChange, SpeedWrite, LowVibrationWrite };
enum Kind { Program, ToolkitOnly, LibraryOnly };

const char *const actionNames[] = {"channel change", "speed write", "low vibration write"};
// The widget's signal and the window's slot that answers it, as connected by name.
const char *const signalOf[]
        = {SIGNAL(valueChanged(int)), SIGNAL(valueChanged(int)), SIGNAL(clicked(bool))};
const char *const slotOf[]
        = {SLOT(on_sbChannelIndex_valueChanged(int)), SLOT(on_sbSpeed_valueChanged(int)),
           SLOT(on_pbLowVibration_clicked(bool))};

} // namespace

class bench_Actions : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void action_data();
    void action();

private:
    Q_NEVER_INLINE void act(Action action, bool forth);
    Q_NEVER_INLINE void callLibrary(Action action, bool forth);
    QMetaObject::Connection onSignal(Action action, std::function<void()> handler);

    Velotune *m_window = nullptr;
    QSpinBox *m_channel = nullptr;
    QSpinBox *m_speed = nullptr;
    QPushButton *m_lowVibration = nullptr;
    uint32_t m_system = 0;
    QElapsedTimer m_slotTimer;
    QElapsedTimer m_actionTimer;
    qint64 m_actionNs = 0;
    qint64 m_slotNs = 0;
    qint64 m_slots = 0;
};

void bench_Actions::initTestCase()
{
    nexilsim::loadDefaultFleet();
    m_window = new Velotune;
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
    m_channel = m_window->findChild<QSpinBox *>(QStringLiteral("sbChannelIndex"));
    m_speed = m_window->findChild<QSpinBox *>(QStringLiteral("sbSpeed"));
    m_lowVibration = m_window->findChild<QPushButton *>(QStringLiteral("pbLowVibration"));
    QVERIFY(m_channel && m_speed && m_lowVibration);
    QTest::mouseClick(m_window->findChild<QPushButton *>(QStringLiteral("pbConnect")),
                      Qt::LeftButton);
    // Channel 0 of the first default controller: linear, Low Vibration supported, not holding.
    QVERIFY(m_lowVibration->isEnabled());
    QCOMPARE(m_channel->value(), 0);
    for (const nexilsim::Call &call : nexilsim::callLog()) {
        if (call.function == "TQ_GetNumberOfChannels")
            m_system = uint32_t(std::stoul(call.args.front()));
    }
}

void bench_Actions::cleanupTestCase()
{
    delete m_window;
}

// Each step goes forth and back so every iteration changes the value, and so reaches the
// controller, without drifting.
void bench_Actions::act(Action action, bool forth)
{
    const auto key = forth ? Qt::Key_Up : Qt::Key_Down;
    switch (action) {
    case ChannelChange:
        QTest::keyClick(m_channel, key);
        break;
    case SpeedWrite:
        QTest::keyClick(m_speed, key);
        break;
    case LowVibrationWrite:
        QTest::mouseClick(m_lowVibration, Qt::LeftButton);
        break;
    }
}

QMetaObject::Connection bench_Actions::onSignal(Action action, std::function<void()> handler)
{
    switch (action) {
    case ChannelChange:
        return connect(m_channel, QOverload<int>::of(&QSpinBox::valueChanged), this,
                       [handler](int) { handler(); });
    case SpeedWrite:
        return connect(m_speed, QOverload<int>::of(&QSpinBox::valueChanged), this,
                       [handler](int) { handler(); });
    case LowVibrationWrite:
        break;
    }
    return connect(m_lowVibration, &QAbstractButton::clicked, this, [handler](bool) { handler(); });
}

// The same library calls the action makes, without the program, to tell the simulator's own
// bookkeeping apart from the program's cost.
void bench_Actions::callLibrary(Action action, bool forth)
{
    uint32_t value = 0;
    const uint32_t channel = forth ? 1 : 0;
    switch (action) {
    case ChannelChange:
        TQ_GetChannelType(m_system, channel, &value);
        TQ_GetSensorType_S(m_system, channel, &value);
        TQ_GetClosedLoopMoveSpeed_S(m_system, channel, &value);
        TQ_GetClosedLoopMoveAcceleration_S(m_system, channel, &value);
        TQ_GetChannelProperty_S(m_system, channel, TQ_EPK(1, 2, 1), &value);
        break;
    case SpeedWrite:
        TQ_SetClosedLoopMoveSpeed_S(m_system, 0, forth ? 2000001 : 2000000);
        TQ_GetClosedLoopMoveAcceleration_S(m_system, 0, &value);
        TQ_GetChannelProperty_S(m_system, 0, TQ_EPK(1, 2, 1), &value);
        break;
    case LowVibrationWrite:
        TQ_Stop_S(m_system, 0);
        TQ_SetChannelProperty_S(m_system, 0, TQ_EPK(1, 2, 1), forth ? 1 : 0);
        TQ_GetClosedLoopMoveSpeed_S(m_system, 0, &value);
        TQ_GetClosedLoopMoveAcceleration_S(m_system, 0, &value);
        break;
    }
}

void bench_Actions::action_data()
{
    QTest::addColumn<int>("action");
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("latency");

    const struct
    {
        Kind kind;
        int latency;
        const char *name;
    } kinds[] = {{Program, 0, "0 us"},
                 {Program, 1000, "1000 us"},
                 {ToolkitOnly, 0, "toolkit only"},
                 {LibraryOnly, 0, "library only"}};
    for (const auto &kind : kinds) {
        for (const Action action : {ChannelChange, SpeedWrite, LowVibrationWrite}) {
            const QByteArray name = QByteArray(actionNames[action]) + ", " + kind.name;
            QTest::newRow(name.constData()) << int(action) << int(kind.kind) << kind.latency;
        }
    }
}

void bench_Actions::action()
{
    QFETCH(int, action);
    QFETCH(int, kind);
    QFETCH(int, latency);
    const auto which = Action(action);
    QWidget *widgets[] = {m_channel, m_speed, m_lowVibration};
    QCOMPARE(m_channel->value(), 0);

    // Handlers run in the order connected, so the slot is timed by one connected before it and
    // one after it.
    QVERIFY(QObject::disconnect(widgets[which], signalOf[which], m_window, slotOf[which]));
    const QMetaObject::Connection before = onSignal(which, [this] { m_slotTimer.start(); });
    if (kind != ToolkitOnly)
        QVERIFY(QObject::connect(widgets[which], signalOf[which], m_window, slotOf[which]));
    const QMetaObject::Connection after = onSignal(which, [this] {
        m_slotNs += m_slotTimer.nsecsElapsed();
        ++m_slots;
    });
    const auto step = [&](bool forth) {
        if (kind == LibraryOnly)
            callLibrary(which, forth);
        else
            act(which, forth);
    };

    // One step first, to count the calls it makes (once per row) and check that it succeeds.
    nexilsim::clearCallLog();
    step(true);
    const size_t calls = nexilsim::callLog().size();
    step(false);
    static QSet<QByteArray> counted;
    if (!counted.contains(QTest::currentDataTag())) {
        counted.insert(QTest::currentDataTag());
        qInfo("calls: %zu", calls);
    }
    QVERIFY(m_window->statusBar()->currentMessage().isEmpty());

    nexilsim::setLatencyMicroseconds(uint32_t(latency));
    m_slotNs = 0;
    m_slots = 0;
    m_actionNs = 0;
    qint64 steps = 0;
    bool forth = true;
    QBENCHMARK {
        m_actionTimer.start();
        step(forth);
        m_actionNs += m_actionTimer.nsecsElapsed();
        ++steps;
        forth = !forth;
    }
    nexilsim::setLatencyMicroseconds(0);
    // Per measuring pass; other work on the machine only ever adds time, so the fastest pass
    // is the best estimate of what the action itself costs.
    qInfo("action: %.3f us", steps ? m_actionNs / 1000.0 / steps : 0.0);
    if (kind == Program)
        qInfo("slot: %.3f us", m_slots ? m_slotNs / 1000.0 / m_slots : 0.0);
    if (!forth)
        step(false);
    QObject::disconnect(before);
    QObject::disconnect(after);
    if (kind == ToolkitOnly)
        QVERIFY(QObject::connect(widgets[which], signalOf[which], m_window, slotOf[which]));
    QVERIFY(m_window->statusBar()->currentMessage().isEmpty());
    QCOMPARE(m_channel->value(), 0);
}

QTEST_MAIN(bench_Actions)
#include "bench_actions.moc"
