// Every user action costs the controller's round trips and nothing more: one channel change is
// six library calls, one speed write four and one Low Vibration write five.
#include "testutils.h"
#include "velotune.h"

#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QtTest>

using testutils::child;
using testutils::SimChannel;

namespace {

const QString key = QStringLiteral("16908289");

QStringList readBack(int channel)
{
    const QString c = QString::number(channel);
    return {"TQ_GetChannelType(H," + c + ")=0",
            "TQ_GetSensorType_S(H," + c + ")=0",
            "TQ_GetClosedLoopMoveSpeed_S(H," + c + ")=0",
            "TQ_GetClosedLoopMoveAcceleration_S(H," + c + ")=0",
            "TQ_EPK(1,2,1)=" + key,
            "TQ_GetChannelProperty_S(H," + c + "," + key + ")=0"};
}

} // namespace

class tst_ActionCalls : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void oneActionItsCalls_data();
    void oneActionItsCalls();

private:
    Velotune *m_window = nullptr;
    testutils::CallLog m_calls;
};

void tst_ActionCalls::init()
{
    testutils::programSettings().clear();
    QVERIFY(testutils::loadFleet(
            {{"usb:id:4242",
              {SimChannel{0, 1, 5000, 700, "off"}, SimChannel{0, 45, 80000, 9000, "on"},
               SimChannel{0, 40, 123456, 4321, "off"}}}}));
    m_window = new Velotune;
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
    QTest::mouseClick(child<QPushButton>(m_window, "pbConnect"), Qt::LeftButton);
    QVERIFY(child<QPushButton>(m_window, "pbLowVibration")->isEnabled());
    m_calls.take();
}

void tst_ActionCalls::cleanup()
{
    delete m_window;
    m_window = nullptr;
    m_calls.take();
}

void tst_ActionCalls::oneActionItsCalls_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<QString>("widget"); // what the user looks at afterwards
    QTest::addColumn<QString>("shows");

    const QStringList afterSpeed
            = {"TQ_GetClosedLoopMoveAcceleration_S(H,0)=0", "TQ_EPK(1,2,1)=" + key,
               "TQ_GetChannelProperty_S(H,0," + key + ")=0"};
    const QStringList lowVibration = {"TQ_Stop_S(H,0)=0", "TQ_EPK(1,2,1)=" + key};
    const QStringList afterLowVibration
            = {"TQ_GetClosedLoopMoveSpeed_S(H,0)=0", "TQ_GetClosedLoopMoveAcceleration_S(H,0)=0"};

    QTest::newRow("channel up arrow") << "channel up" << readBack(1) << "sbSpeed"
                                      << "80.000";
    QTest::newRow("channel typed") << "channel type 2" << readBack(2) << "sbSpeed"
                                   << "123.456";
    QTest::newRow("speed up arrow")
            << "speed up" << QStringList("TQ_SetClosedLoopMoveSpeed_S(H,0,5001)=0") + afterSpeed
            << "sbSpeed"
            << "5.001";
    QTest::newRow("speed typed, Return")
            << "speed type 7000"
            << QStringList("TQ_SetClosedLoopMoveSpeed_S(H,0,7000)=0") + afterSpeed << "sbSpeed"
            << "7.000";
    QTest::newRow("low vibration on")
            << "low vibration click"
            << lowVibration + QStringList("TQ_SetChannelProperty_S(H,0," + key + ",1)=0")
                    + afterLowVibration
            << "pbLowVibration"
            << "&On";
    QTest::newRow("low vibration on, then off") << "low vibration click twice"
                                                << lowVibration
                    + QStringList("TQ_SetChannelProperty_S(H,0," + key + ",0)=0")
                    + afterLowVibration << "pbLowVibration"
                                                << "&Off";
}

void tst_ActionCalls::oneActionItsCalls()
{
    QFETCH(QString, action);
    QFETCH(QStringList, calls);
    QFETCH(QString, widget);
    QFETCH(QString, shows);

    auto *channelBox = child<QSpinBox>(m_window, "sbChannelIndex");
    auto *speed = child<QSpinBox>(m_window, "sbSpeed");
    auto *lowVibration = child<QPushButton>(m_window, "pbLowVibration");
    QVERIFY(channelBox && speed && lowVibration);

    if (action == QLatin1String("channel up")) {
        QTest::keyClick(channelBox, Qt::Key_Up);
    } else if (action == QLatin1String("channel type 2")) {
        channelBox->setFocus();
        channelBox->findChild<QLineEdit *>()->selectAll();
        QTest::keyClick(channelBox, Qt::Key_2);
    } else if (action == QLatin1String("speed up")) {
        QTest::keyClick(speed, Qt::Key_Up);
    } else if (action == QLatin1String("speed type 7000")) {
        speed->setFocus();
        speed->findChild<QLineEdit *>()->selectAll();
        QTest::keyClicks(speed, QStringLiteral("7000"));
        // Nothing reaches the controller while typing.
        QCOMPARE(m_calls.take(), QStringList());
        QTest::keyClick(speed, Qt::Key_Return);
    } else if (action.startsWith(QLatin1String("low vibration click"))) {
        if (action.endsWith(QLatin1String("twice"))) {
            QTest::mouseClick(lowVibration, Qt::LeftButton);
            m_calls.take();
        }
        QTest::mouseClick(lowVibration, Qt::LeftButton);
    } else {
        QFAIL(qPrintable(action));
    }

    const QStringList made = m_calls.take();
    QCOMPARE(made, calls);
    QCOMPARE(made.size(),
             action.startsWith(QLatin1String("channel"))         ? 6
                     : action.startsWith(QLatin1String("speed")) ? 4
                                                                 : 5);
    QCOMPARE(m_window->statusBar()->currentMessage(), QString());
    if (widget == QLatin1String("sbSpeed"))
        QCOMPARE(speed->text(), shows);
    else
        QCOMPARE(lowVibration->text(), shows);
}

QTEST_MAIN(tst_ActionCalls)
#include "tst_actioncalls.moc"
