// A slow link: the busy pointer while an action waits on the controller, and steps that queued
// up meanwhile merged into one write. The simulator's hook makes a call slow and, while it
// blocks, posts input the way the window system queues it, stamped with the time it was made.
#include "testutils.h"
#include "velotune.h"

#include <QElapsedTimer>
#include <QKeyEvent>
#include <QThread>
#include <QWheelEvent>
#include <QtTest>

#include <memory>

using testutils::child;
using testutils::SimChannel;

namespace {

const QString key = QStringLiteral("16908289");

// The time input events carry: any clock, as long as every event uses it; never 0 ("none").
ulong eventTime()
{
    static const QElapsedTimer clock = [] {
        QElapsedTimer started;
        started.start();
        return started;
    }();
    return ulong(clock.elapsed() + 100000);
}

// One step of `kind` ("up", "down", "wheel") made now.
QEvent *stepEvent(const QString &kind, QWidget *box, bool autoRepeat)
{
    QInputEvent *event = nullptr;
    if (kind == QLatin1String("wheel")) {
        const QPoint centre = box->rect().center();
        event = new QWheelEvent(centre, box->mapToGlobal(centre), QPoint(), QPoint(0, 120),
                                Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    } else {
        event = new QKeyEvent(QEvent::KeyPress,
                              kind == QLatin1String("up") ? Qt::Key_Up : Qt::Key_Down,
                              Qt::NoModifier, QString(), autoRepeat);
    }
    event->setTimestamp(eventTime());
    return event;
}

// The end of a held key, so the spin box stops its own repeat.
QEvent *keyRelease(const QString &kind)
{
    auto *event = new QKeyEvent(QEvent::KeyRelease,
                                kind == QLatin1String("up") ? Qt::Key_Up : Qt::Key_Down,
                                Qt::NoModifier);
    event->setTimestamp(eventTime());
    return event;
}

// The value a call's log line passed last, e.g. 5004 from
// "TQ_SetClosedLoopMoveSpeed_S(H,0,5004)=0".
int lastArgument(const QString &call)
{
    return call.section(QLatin1Char(','), -1).section(QLatin1Char(')'), 0, 0).toInt();
}

} // namespace

class tst_SlowLink : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void busyPointer_data();
    void busyPointer();
    void queuedStepsMerge_data();
    void queuedStepsMerge();

private:
    Velotune *m_window = nullptr;
    std::unique_ptr<testutils::MainWidgets> m_ui;
    testutils::CallLog m_calls;
};

void tst_SlowLink::init()
{
    testutils::programSettings().clear();
    QVERIFY(testutils::loadFleet(
            {{"usb:id:1001",
              {SimChannel{0, 1, 5000, 700, "off"}, SimChannel{0, 1, 80000, 9000, "on"}}}}));
    nexilsim::setStatusText(7777, "Injected failure");
    m_window = new Velotune;
    QVERIFY(testutils::showAndActivate(m_window));
    m_ui = std::make_unique<testutils::MainWidgets>(m_window);
    QVERIFY(m_ui->complete());
    QTest::mouseClick(m_ui->connect, Qt::LeftButton);
    QVERIFY(m_ui->connect->isChecked());
    m_calls.take();
}

void tst_SlowLink::cleanup()
{
    nexilsim::clearFaults();
    delete m_window;
    m_window = nullptr;
    m_calls.take();
    QVERIFY(QGuiApplication::overrideCursor() == nullptr);
}

void tst_SlowLink::busyPointer_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("slow");
    QTest::addColumn<int>("sleepMs");
    QTest::addColumn<bool>("fails");
    QTest::addColumn<QStringList>("busy"); // the calls made under the busy pointer

    const QStringList channelReads
            = {"TQ_GetSensorType_S", "TQ_GetClosedLoopMoveSpeed_S",
               "TQ_GetClosedLoopMoveAcceleration_S", "TQ_EPK", "TQ_GetChannelProperty_S"};
    QTest::newRow("fast link, channel change") << "channel"
                                               << "" << 0 << false << QStringList();
    QTest::newRow("a little slow, channel change")
            << "channel"
            << "TQ_GetChannelType" << 10 << false << QStringList();
    QTest::newRow("slow channel type: the rest of the read-back")
            << "channel"
            << "TQ_GetChannelType" << 120 << false << channelReads;
    QTest::newRow("slow last call: nothing left")
            << "channel"
            << "TQ_GetChannelProperty_S" << 120 << false << QStringList();
    QTest::newRow("slow open: the whole connect")
            << "connect"
            << "TQ_OpenSystem" << 120 << false
            << QStringList{"TQ_GetNumberOfChannels", "TQ_GetChannelType"} + channelReads;
    QTest::newRow("slow open that fails: its message")
            << "connect"
            << "TQ_OpenSystem" << 120 << true << QStringList{"TQ_GetStatusInfo"};
    QTest::newRow("slow speed write: its read-back")
            << "speed"
            << "TQ_SetClosedLoopMoveSpeed_S" << 120 << false
            << QStringList{"TQ_GetClosedLoopMoveAcceleration_S", "TQ_EPK",
                           "TQ_GetChannelProperty_S"};
    QTest::newRow("slow stop: the Low Vibration write")
            << "lowvibration"
            << "TQ_Stop_S" << 120 << false
            << QStringList{"TQ_EPK", "TQ_SetChannelProperty_S", "TQ_GetClosedLoopMoveSpeed_S",
                           "TQ_GetClosedLoopMoveAcceleration_S"};
}

void tst_SlowLink::busyPointer()
{
    QFETCH(QString, action);
    QFETCH(QString, slow);
    QFETCH(int, sleepMs);
    QFETCH(bool, fails);
    QFETCH(QStringList, busy);

    if (action == QLatin1String("connect")) {
        QTest::mouseClick(m_ui->connect, Qt::LeftButton);
        QVERIFY(!m_ui->connect->isChecked());
    }
    QStringList madeBusy;
    bool slept = false;
    nexilsim::setFaultHook([&](const std::string &function) -> uint32_t {
        if (QGuiApplication::overrideCursor() != nullptr)
            madeBusy << QString::fromStdString(function);
        if (slept || function != slow.toStdString())
            return 0;
        slept = true;
        QThread::msleep(ulong(sleepMs));
        return fails ? 7777 : 0;
    });

    if (action == QLatin1String("channel"))
        QTest::keyClick(m_ui->channel, Qt::Key_Up);
    else if (action == QLatin1String("connect"))
        QTest::mouseClick(m_ui->connect, Qt::LeftButton);
    else if (action == QLatin1String("speed"))
        QTest::keyClick(m_ui->speed, Qt::Key_Up);
    else
        QTest::mouseClick(m_ui->lowVibration, Qt::LeftButton);

    QVERIFY(QGuiApplication::overrideCursor() == nullptr);
    QCOMPARE(madeBusy, busy);
    QVERIFY(slow.isEmpty() || slept);
    if (action == QLatin1String("connect"))
        QCOMPARE(m_ui->connect->isChecked(), !fails);
}

void tst_SlowLink::queuedStepsMerge_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("whileBlocked"); // else made one by one after the first write
    QTest::addColumn<bool>("thenChannel");  // a queued channel change follows the steps
    QTest::addColumn<int>("writes");        // after the first, fresh one

    QTest::newRow("Up held while the write waits") << "sbSpeed"
                                                   << "up" << 6 << true << false << 1;
    QTest::newRow("wheel notches while the write waits") << "sbSpeed"
                                                         << "wheel" << 5 << true << false << 1;
    QTest::newRow("acceleration Down held while the write waits")
            << "sbAcceleration"
            << "down" << 4 << true << false << 1;
    QTest::newRow("steps, then a channel change, while the write waits")
            << "sbSpeed"
            << "wheel" << 3 << true << true << 1;
    QTest::newRow("wheel notches after the write: each written")
            << "sbSpeed"
            << "wheel" << 3 << false << false << 3;
}

void tst_SlowLink::queuedStepsMerge()
{
    QFETCH(QString, box);
    QFETCH(QString, kind);
    QFETCH(int, count);
    QFETCH(bool, whileBlocked);
    QFETCH(bool, thenChannel);
    QFETCH(int, writes);

    auto *spinBox = m_window->findChild<QSpinBox *>(box);
    QVERIFY(spinBox);
    const bool speed = box == QLatin1String("sbSpeed");
    const std::string setter
            = speed ? "TQ_SetClosedLoopMoveSpeed_S" : "TQ_SetClosedLoopMoveAcceleration_S";
    spinBox->setFocus();
    QTRY_VERIFY(spinBox->hasFocus());

    const auto postSteps = [&] {
        for (int i = 0; i < count; ++i)
            QCoreApplication::postEvent(spinBox, stepEvent(kind, spinBox, true));
        if (kind != QLatin1String("wheel"))
            QCoreApplication::postEvent(spinBox, keyRelease(kind));
        if (thenChannel) {
            auto *channelUp = new QKeyEvent(QEvent::KeyPress, Qt::Key_Up, Qt::NoModifier);
            channelUp->setTimestamp(eventTime());
            QCoreApplication::postEvent(m_ui->channel, channelUp);
        }
    };
    bool posted = false;
    nexilsim::setFaultHook([&](const std::string &function) -> uint32_t {
        if (whileBlocked && !posted && function == setter) {
            posted = true;
            QThread::msleep(50);
            postSteps();
            QThread::msleep(50);
        }
        return 0;
    });

    // The first step is fresh: written at once.
    const int before = spinBox->value();
    std::unique_ptr<QEvent> first(
            stepEvent(kind == QLatin1String("wheel") ? kind : "up", spinBox, false));
    QApplication::sendEvent(spinBox, first.get());
    if (kind != QLatin1String("wheel")) {
        std::unique_ptr<QEvent> release(keyRelease("up"));
        QApplication::sendEvent(spinBox, release.get());
    }
    QStringList calls = m_calls.take(false);
    QCOMPARE(calls.filter(QString::fromStdString(setter)),
             QStringList(QString::fromStdString(setter) + "(H,0," + QString::number(before + 1)
                         + ")=0"));
    // Each made after the previous one's write returned: none waited.
    for (int i = 0; !whileBlocked && i < count; ++i) {
        std::unique_ptr<QEvent> step(stepEvent(kind, spinBox, false));
        QApplication::sendEvent(spinBox, step.get());
    }

    // Then the queue drains, and whatever is held is written.
    QTest::qWait(300);
    calls = m_calls.take(false);
    const QStringList written = calls.filter(QString::fromStdString(setter));
    QCOMPARE(written.size(), writes);
    const nexilsim::ChannelState held = [] {
        nexilsim::ChannelState state{};
        nexilsim::channelState("usb:id:1001", 0, &state);
        return state;
    }();
    const int final = lastArgument(written.last());
    QCOMPARE(int(speed ? held.speed : held.acceleration), final);
    QVERIFY2(final != before + 1, qPrintable(written.join(' ')));
    if (thenChannel) {
        // Written to the channel the steps were made on, before the next one is read.
        QVERIFY(calls.indexOf(written.last()) < calls.indexOf("TQ_GetChannelType(H,1)=0"));
        QCOMPARE(m_ui->channel->value(), 1);
        QCOMPARE(spinBox->value(), 80000);
    } else {
        QCOMPARE(spinBox->value(), final);
    }
}

QTEST_MAIN(tst_SlowLink)
#include "tst_slowlink.moc"
