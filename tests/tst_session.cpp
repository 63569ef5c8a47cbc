// One ordinary session from start to quit: connect, read every channel, write each setting,
// look at About, release and quit. Short on purpose: it also runs under valgrind.

#include "testutils.h"
#include "velotune.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QtTest>

using testutils::MainWidgets;

class tst_Session : public QObject
{
    Q_OBJECT

private slots:
    void fromStartToQuit();
};

void tst_Session::fromStartToQuit()
{
    const std::string locator = "usb:id:31415926";
    testutils::programSettings().clear();
    nexilsim::loadDefaultFleet();
    auto *window = new Velotune;
    QVERIFY(testutils::showAndActivate(window));
    const MainWidgets w(window);
    QVERIFY(w.complete());
    QCOMPARE(w.locator->currentText(), QString::fromStdString(locator));

    QTest::mouseClick(w.connect, Qt::LeftButton);
    QVERIFY(w.connect->isChecked());
    QCOMPARE(w.channel->maximum(), 2);

    // Every channel shows what the controller holds.
    for (int channel = 0; channel <= w.channel->maximum(); ++channel) {
        if (channel > 0)
            QTest::keyClick(w.channel, Qt::Key_Up);
        QCOMPARE(w.channel->value(), channel);
        nexilsim::ChannelState state{};
        QVERIFY(nexilsim::channelState(locator, uint32_t(channel), &state));
        QCOMPARE(w.speed->value(), int(state.speed));
        QCOMPARE(w.acceleration->value(), int(state.acceleration));
        QCOMPARE(w.lowVibrationOwnEnabled(), state.lowVibration >= 0);
        if (state.lowVibration >= 0)
            QCOMPARE(w.lowVibration->isChecked(), state.lowVibration == 1);
    }

    // Each setting once, on channel 1, and the controller holds them.
    QTest::keyClick(w.channel, Qt::Key_Down);
    QTest::keyClick(w.speed, Qt::Key_Up);
    w.acceleration->setFocus();
    QTest::keyClick(w.acceleration, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(w.acceleration, QStringLiteral("123456"));
    QTest::keyClick(w.acceleration, Qt::Key_Return);
    QTest::mouseClick(w.lowVibration, Qt::LeftButton);
    nexilsim::ChannelState state{};
    QVERIFY(nexilsim::channelState(locator, 1, &state));
    QCOMPARE(state.speed, 500001u);
    QCOMPARE(state.acceleration, 123456u);
    QCOMPARE(state.lowVibration, 0);
    QCOMPARE(w.status->currentMessage(), QString());

    bool aboutSeen = false;
    testutils::onNextModal([&aboutSeen](QWidget *about) {
        aboutSeen = true;
        auto *buttons = about->findChild<QDialogButtonBox *>();
        if (buttons)
            QTest::mouseClick(buttons->button(QDialogButtonBox::Ok), Qt::LeftButton);
        else
            about->close();
    });
    QTest::keyClick(window, Qt::Key_F1);
    QVERIFY(aboutSeen);

    QTest::mouseClick(w.connect, Qt::LeftButton);
    QVERIFY(!w.connect->isChecked());
    QCOMPARE(w.status->currentMessage(), QStringLiteral("Device usb:id:31415926 released."));

    testutils::child<QAction>(window, "aQuit")->trigger();
    QVERIFY(!window->isVisible());
    delete window;
    QVERIFY(testutils::programSettings().contains(QStringLiteral("geometry")));
}

QTEST_MAIN(tst_Session)
#include "tst_session.moc"
