#include "testutils.h"
#include "velotune.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStatusBar>
#include <QtTest>

using testutils::child;
using testutils::SimChannel;

namespace {

const uint32_t injected = 7777;

// Three controllers: two listed on USB, one reachable only by typing its locator.
bool loadStandardFleet()
{
    const bool loaded = testutils::loadFleet({
            {"usb:id:1001", {SimChannel(), SimChannel(), SimChannel()}},
            {"usb:id:1002", std::vector<SimChannel>(40)},
            {"network:192.0.2.10:5000", {SimChannel()}, false},
            {"usb:id:2000", {}, false},
            {"usb:id:%1%2", {SimChannel()}, false},
    });
    nexilsim::setStatusText(injected, "Injected failure");
    return loaded;
}

const QStringList readBackOfChannel0 = {
        "TQ_GetChannelType(H,0)=0",
        "TQ_GetSensorType_S(H,0)=0",
        "TQ_GetClosedLoopMoveSpeed_S(H,0)=0",
        "TQ_GetClosedLoopMoveAcceleration_S(H,0)=0",
        "TQ_EPK(1,2,1)=16908289",
        "TQ_GetChannelProperty_S(H,0,16908289)=0",
};

} // namespace

class tst_Connection : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void startupDiscoveryFillsList();
    void discoveryText_data();
    void discoveryText();
    void failedDiscoveryStillAllowsTypedLocator();
    void connectAndRelease();
    void failures_data();
    void failures();
    void failedReleaseCanBeRetried();
    void emptyLocatorIsOpenedAsTyped();
    void zeroChannelsStaysReleased();
    void channelRangeFollowsCount_data();
    void channelRangeFollowsCount();
    void clampedChannelReadsBackTwice();
    void percentSequencesShowLiterally_data();
    void percentSequencesShowLiterally();
    void quitWhileConnectedMakesNoCall();
    void pendingEditIsWrittenBeforeRelease_data();
    void pendingEditIsWrittenBeforeRelease();
    void connectReplacesEarlierMessage_data();
    void connectReplacesEarlierMessage();
    void cutOffMessageInTooltip_data();
    void cutOffMessageInTooltip();

private:
    void connectTo(const QString &locator);

    Velotune *m_window = nullptr;
    testutils::CallLog m_calls;
    QPushButton *m_connect = nullptr;
    QComboBox *m_locator = nullptr;
};

void tst_Connection::init()
{
    testutils::programSettings().clear();
    QVERIFY(loadStandardFleet());
    m_window = new Velotune;
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
    m_connect = child<QPushButton>(m_window, "pbConnect");
    m_locator = child<QComboBox>(m_window, "cbLocator");
    QVERIFY(m_connect && m_locator);
}

void tst_Connection::cleanup()
{
    delete m_window;
    m_window = nullptr;
    m_calls.take();
}

void tst_Connection::connectTo(const QString &locator)
{
    m_locator->setEditText(locator);
    QTest::mouseClick(m_connect, Qt::LeftButton);
}

void tst_Connection::startupDiscoveryFillsList()
{
    QCOMPARE(m_calls.take(), QStringList({"TQ_FindSystems(interface usb,4096)=0"}));
    QStringList items;
    for (int i = 0; i < m_locator->count(); ++i)
        items << m_locator->itemText(i);
    QCOMPARE(items, QStringList({"usb:id:1001", "usb:id:1002"}));
    QCOMPARE(m_locator->currentIndex(), 0);
    QCOMPARE(m_locator->currentText(), QStringLiteral("usb:id:1001"));
}

void tst_Connection::discoveryText_data()
{
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<QStringList>("items");

    QTest::newRow("trailing line feed")
            << QByteArray("usb:id:1\nusb:id:2\n", 19) << QStringList({"usb:id:1", "usb:id:2"});
    QTest::newRow("blank lines") << QByteArray("\n\nusb:id:1\n\n\nusb:id:2\0", 23)
                                 << QStringList({"usb:id:1", "usb:id:2"});
    QTest::newRow("carriage return kept")
            << QByteArray("usb:id:1\r\nusb:id:2\0", 19) << QStringList({"usb:id:1\r", "usb:id:2"});
    QTest::newRow("stops at the first NUL")
            << QByteArray("usb:id:1\0usb:id:2\0", 18) << QStringList({"usb:id:1"});
    QTest::newRow("UTF-8") << QByteArray("usb:id:\xc3\xa4\xe2\x82\xac\0", 14)
                           << QStringList({QString::fromUtf8("usb:id:\u00e4\u20ac")});
    QTest::newRow("nothing found") << QByteArray("\0", 1) << QStringList();
    QTest::newRow("full buffer without NUL")
            << QByteArray(4096, 'x') << QStringList({QString(4096, QLatin1Char('x'))});
    QTest::newRow("only line feeds") << QByteArray(4096, '\n') << QStringList();
}

void tst_Connection::discoveryText()
{
    QFETCH(QByteArray, raw);
    QFETCH(QStringList, items);

    nexilsim::setDiscoveryOverride(raw.toStdString(), true);
    QSignalSpy indexChanged(m_locator, qOverload<int>(&QComboBox::currentIndexChanged));
    QSignalSpy textChanged(m_locator, &QComboBox::currentTextChanged);
    QTest::mouseClick(child<QPushButton>(m_window, "pbRefresh"), Qt::LeftButton);

    QStringList shown;
    for (int i = 0; i < m_locator->count(); ++i)
        shown << m_locator->itemText(i);
    QCOMPARE(shown, items);
    QCOMPARE(m_locator->currentIndex(), items.isEmpty() ? -1 : 0);
    QCOMPARE(indexChanged.count(), 0);
    QCOMPARE(textChanged.count(), 0);
}

void tst_Connection::failedDiscoveryStillAllowsTypedLocator()
{
    m_calls.take();
    nexilsim::failNext("TQ_FindSystems", injected);
    QTest::mouseClick(child<QPushButton>(m_window, "pbRefresh"), Qt::LeftButton);
    QCOMPARE(m_locator->count(), 0);
    QCOMPARE(m_window->statusBar()->currentMessage(), QString());
    QCOMPARE(m_calls.take(), QStringList({"TQ_FindSystems(interface usb,4096)=7777"}));

    QVERIFY(m_connect->isEnabled());
    connectTo(QStringLiteral("network:192.0.2.10:5000"));
    QVERIFY(m_connect->isChecked());
    QCOMPARE(m_calls.take().first(),
             QStringLiteral("TQ_OpenSystem(network:192.0.2.10:5000,sync)=0"));
}

void tst_Connection::connectAndRelease()
{
    m_calls.take();
    QTest::mouseClick(m_connect, Qt::LeftButton);

    QCOMPARE(m_calls.take(),
             QStringList({"TQ_OpenSystem(usb:id:1001,sync)=0", "TQ_GetNumberOfChannels(H)=0"})
                     + readBackOfChannel0);
    auto *channel = child<QSpinBox>(m_window, "sbChannelIndex");
    QVERIFY(m_connect->isChecked());
    QCOMPARE(m_connect->text(), QStringLiteral("&Disconnect"));
    QVERIFY(!m_locator->isEnabled());
    QVERIFY(!child<QPushButton>(m_window, "pbRefresh")->isEnabled());
    QVERIFY(channel->isEnabled());
    QCOMPARE(channel->maximum(), 2);
    QVERIFY(child<QGroupBox>(m_window, "gbConfiguration")->isEnabled());

    QTest::mouseClick(m_connect, Qt::LeftButton);
    QCOMPARE(m_calls.take(), QStringList({"TQ_CloseSystem(H)=0"}));
    QCOMPARE(m_window->statusBar()->currentMessage(),
             QStringLiteral("Device usb:id:1001 released."));
    QTRY_COMPARE_WITH_TIMEOUT(m_window->statusBar()->currentMessage(), QString(), 3000);
    QVERIFY(!m_connect->isChecked());
    QCOMPARE(m_connect->text(), QStringLiteral("&Connect"));
    QVERIFY(m_locator->isEnabled());
    QVERIFY(child<QPushButton>(m_window, "pbRefresh")->isEnabled());
    QVERIFY(!channel->isEnabled());
    QVERIFY(!child<QGroupBox>(m_window, "gbConfiguration")->isEnabled());
}

void tst_Connection::failures_data()
{
    QTest::addColumn<QString>("failing");
    QTest::addColumn<bool>("nullText");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QStringList>("calls");

    QTest::newRow("open fails") << "TQ_OpenSystem" << false
                                << "Could not connect to Nexil. Error: 7777 (Injected failure)"
                                << QStringList({"TQ_OpenSystem(usb:id:1001,sync)=7777",
                                                "TQ_GetStatusInfo(7777)=0"});
    QTest::newRow("open fails, no text")
            << "TQ_OpenSystem" << true << "Could not connect to Nexil. Error: 7777 ()"
            << QStringList({"TQ_OpenSystem(usb:id:1001,sync)=7777", "TQ_GetStatusInfo(7777)=0"});
    QTest::newRow("channel count fails")
            << "TQ_GetNumberOfChannels" << false
            << "Could not read the number of channels. Error: 7777 (Injected failure)"
            << QStringList({"TQ_OpenSystem(usb:id:1001,sync)=0", "TQ_GetNumberOfChannels(H)=7777",
                            "TQ_GetStatusInfo(7777)=0", "TQ_CloseSystem(H)=0"});
    QTest::newRow("channel count and close fail")
            << "TQ_GetNumberOfChannels,TQ_CloseSystem" << false
            << "Could not read the number of channels. Error: 7777 (Injected failure)"
            << QStringList({"TQ_OpenSystem(usb:id:1001,sync)=0", "TQ_GetNumberOfChannels(H)=7777",
                            "TQ_GetStatusInfo(7777)=0", "TQ_CloseSystem(H)=7777"});
}

void tst_Connection::failures()
{
    QFETCH(QString, failing);
    QFETCH(bool, nullText);
    QFETCH(QString, message);
    QFETCH(QStringList, calls);

    for (const QString &function : failing.split(QLatin1Char(',')))
        nexilsim::failNext(function.toStdString(), injected);
    nexilsim::setNullStatusInfo(nullText);
    m_calls.take();
    QTest::mouseClick(m_connect, Qt::LeftButton);

    QCOMPARE(m_calls.take(), calls);
    QCOMPARE(m_window->statusBar()->currentMessage(), message);
    QVERIFY(!m_connect->isChecked());
    QCOMPARE(m_connect->text(), QStringLiteral("&Connect"));
    QVERIFY(m_locator->isEnabled());
    QVERIFY(!child<QSpinBox>(m_window, "sbChannelIndex")->isEnabled());
    QVERIFY(!child<QGroupBox>(m_window, "gbConfiguration")->isEnabled());
    QTRY_COMPARE_WITH_TIMEOUT(m_window->statusBar()->currentMessage(), QString(), 3000);
}

void tst_Connection::failedReleaseCanBeRetried()
{
    QTest::mouseClick(m_connect, Qt::LeftButton);
    m_calls.take();
    nexilsim::failNext("TQ_CloseSystem", injected);
    QTest::mouseClick(m_connect, Qt::LeftButton);

    QCOMPARE(m_calls.take(), QStringList({"TQ_CloseSystem(H)=7777", "TQ_GetStatusInfo(7777)=0"}));
    QCOMPARE(m_window->statusBar()->currentMessage(),
             QStringLiteral("Could not release device. Error: 7777 (Injected failure)"));
    QVERIFY(m_connect->isChecked());
    QCOMPARE(m_connect->text(), QStringLiteral("&Disconnect"));
    QVERIFY(child<QSpinBox>(m_window, "sbChannelIndex")->isEnabled());
    QVERIFY(child<QGroupBox>(m_window, "gbConfiguration")->isEnabled());
    QVERIFY(!m_locator->isEnabled());

    QTest::mouseClick(m_connect, Qt::LeftButton);
    QCOMPARE(m_calls.take(), QStringList({"TQ_CloseSystem(H)=0"}));
    QVERIFY(!m_connect->isChecked());
}

void tst_Connection::emptyLocatorIsOpenedAsTyped()
{
    m_calls.take();
    connectTo(QString());
    QCOMPARE(m_calls.take(true).first(), QStringLiteral("TQ_OpenSystem(,sync)=16"));
    QCOMPARE(m_window->statusBar()->currentMessage(),
             QStringLiteral("Could not connect to Nexil. Error: 16 (Unknown locator)"));
    QVERIFY(!m_connect->isChecked());
}

void tst_Connection::zeroChannelsStaysReleased()
{
    m_calls.take();
    connectTo(QStringLiteral("usb:id:2000"));
    QCOMPARE(m_calls.take(),
             QStringList({"TQ_OpenSystem(usb:id:2000,sync)=0", "TQ_GetNumberOfChannels(H)=0",
                          "TQ_CloseSystem(H)=0"}));
    QCOMPARE(m_window->statusBar()->currentMessage(),
             QStringLiteral("Device usb:id:2000 has no channels."));
    QVERIFY(!m_connect->isChecked());
    QCOMPARE(m_connect->text(), QStringLiteral("&Connect"));
    QVERIFY(!child<QSpinBox>(m_window, "sbChannelIndex")->isEnabled());
    QVERIFY(m_locator->isEnabled());
    QTRY_COMPARE_WITH_TIMEOUT(m_window->statusBar()->currentMessage(), QString(), 3000);
}

void tst_Connection::channelRangeFollowsCount_data()
{
    QTest::addColumn<quint32>("count");
    QTest::addColumn<int>("maximum"); // -1: more than Velotune serves, not connected

    QTest::newRow("one") << 1u << 0;
    QTest::newRow("forty") << 40u << 39;
    QTest::newRow("the most Velotune serves") << 1024u << 1023;
    QTest::newRow("one more") << 1025u << -1;
    QTest::newRow("largest the spin box holds") << 2147483648u << -1;
    QTest::newRow("all ones") << 4294967295u << -1;
}

void tst_Connection::channelRangeFollowsCount()
{
    QFETCH(quint32, count);
    QFETCH(int, maximum);

    testutils::forceValue({"TQ_GetNumberOfChannels"}, count);
    m_calls.take();
    QTest::mouseClick(m_connect, Qt::LeftButton);
    QCOMPARE(m_connect->isChecked(), maximum >= 0);
    if (maximum >= 0) {
        QCOMPARE(child<QSpinBox>(m_window, "sbChannelIndex")->maximum(), maximum);
        return;
    }
    // Said at once, released before any channel is read.
    QCOMPARE(m_window->statusBar()->currentMessage(),
             QStringLiteral("Device claims %1 channels; Velotune serves at most 1024.").arg(count));
    QStringList calls;
    for (const QString &call : m_calls.take())
        calls << call.section(QLatin1Char('('), 0, 0);
    QCOMPARE(calls, QStringList({"TQ_OpenSystem", "TQ_GetNumberOfChannels", "TQ_CloseSystem"}));
    QVERIFY(!child<QSpinBox>(m_window, "sbChannelIndex")->isEnabled());
}

void tst_Connection::clampedChannelReadsBackTwice()
{
    auto *channel = child<QSpinBox>(m_window, "sbChannelIndex");
    connectTo(QStringLiteral("usb:id:1002"));
    channel->setValue(30);
    QTest::mouseClick(m_connect, Qt::LeftButton);
    QVERIFY(!m_connect->isChecked());

    m_calls.take();
    connectTo(QStringLiteral("usb:id:1001"));
    QCOMPARE(channel->value(), 2);
    QStringList readBackOfChannel2 = readBackOfChannel0;
    readBackOfChannel2.replaceInStrings(QStringLiteral("(H,0"), QStringLiteral("(H,2"));
    QCOMPARE(m_calls.take(),
             QStringList({"TQ_OpenSystem(usb:id:1001,sync)=0", "TQ_GetNumberOfChannels(H)=0"})
                     + readBackOfChannel2 + readBackOfChannel2);
}

void tst_Connection::percentSequencesShowLiterally_data()
{
    QTest::addColumn<QString>("locator");
    QTest::addColumn<QByteArray>("statusText");
    QTest::addColumn<QString>("message");

    QTest::newRow("locator with place markers")
            << "usb:id:%1%2" << QByteArray() << "Device usb:id:%1%2 released.";
    QTest::newRow("status text with place markers")
            << "usb:id:1001" << QByteArray("%1 %2 %3 100%")
            << "Could not release device. Error: 7777 (%1 %2 %3 100%)";
    QTest::newRow("status text with markup")
            << "usb:id:1001" << QByteArray("<b>bold</b> &amp;")
            << "Could not release device. Error: 7777 (<b>bold</b> &amp;)";
}

void tst_Connection::percentSequencesShowLiterally()
{
    QFETCH(QString, locator);
    QFETCH(QByteArray, statusText);
    QFETCH(QString, message);

    connectTo(locator);
    QVERIFY(m_connect->isChecked());
    if (!statusText.isEmpty()) {
        nexilsim::setStatusText(injected, statusText.toStdString());
        nexilsim::failNext("TQ_CloseSystem", injected);
    }
    QTest::mouseClick(m_connect, Qt::LeftButton);
    QCOMPARE(m_window->statusBar()->currentMessage(), message);
}

void tst_Connection::quitWhileConnectedMakesNoCall()
{
    QTest::mouseClick(m_connect, Qt::LeftButton);
    QVERIFY(m_connect->isChecked());
    m_calls.take();
    QVERIFY(m_window->close());
    delete m_window;
    m_window = nullptr;
    QCOMPARE(m_calls.take(), QStringList());
    QVERIFY(testutils::programSettings().contains(QStringLiteral("geometry")));
}

void tst_Connection::pendingEditIsWrittenBeforeRelease_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("way");
    QTest::addColumn<QStringList>("calls");

    const QString write = QStringLiteral("TQ_SetClosedLoopMoveSpeed_S(H,0,3333333)=0");
    const QStringList afterSpeed
            = {"TQ_GetClosedLoopMoveAcceleration_S(H,0)=0", "TQ_EPK(1,2,1)=16908289",
               "TQ_GetChannelProperty_S(H,0,16908289)=0"};
    const QStringList speedThenClose
            = QStringList(write) + afterSpeed + QStringList("TQ_CloseSystem(H)=0");
    QTest::newRow("Ctrl+Space") << "sbSpeed"
                                << "ctrl+space" << speedThenClose;
    QTest::newRow("Alt+D") << "sbSpeed"
                           << "alt+d" << speedThenClose;
    QTest::newRow("click") << "sbSpeed"
                           << "click" << speedThenClose;
    QTest::newRow("Ctrl+Space, acceleration")
            << "sbAcceleration"
            << "ctrl+space"
            << QStringList({"TQ_SetClosedLoopMoveAcceleration_S(H,0,3333333)=0",
                            "TQ_EPK(1,2,1)=16908289", "TQ_GetChannelProperty_S(H,0,16908289)=0",
                            "TQ_CloseSystem(H)=0"});
    QTest::newRow("quit") << "sbSpeed"
                          << "quit" << QStringList();
}

void tst_Connection::pendingEditIsWrittenBeforeRelease()
{
    QFETCH(QString, box);
    QFETCH(QString, way);
    QFETCH(QStringList, calls);

    QVERIFY(testutils::showAndActivate(m_window));
    QTest::mouseClick(m_connect, Qt::LeftButton);
    QVERIFY(m_connect->isChecked());
    auto *spinBox = m_window->findChild<QSpinBox *>(box);
    spinBox->setFocus();
    QTRY_VERIFY(spinBox->hasFocus());
    spinBox->findChild<QLineEdit *>()->selectAll();
    QTest::keyClicks(spinBox, QStringLiteral("3333333"));
    m_calls.take();

    if (way == QLatin1String("ctrl+space")) {
        QTest::keyClick(spinBox, Qt::Key_Space, Qt::ControlModifier);
    } else if (way == QLatin1String("alt+d")) {
        QTest::keyClick(spinBox, Qt::Key_D, Qt::AltModifier);
    } else if (way == QLatin1String("click")) {
        QTest::mouseClick(m_connect, Qt::LeftButton);
    } else {
        QVERIFY(m_window->close());
        delete m_window;
        m_window = nullptr;
        QCOMPARE(m_calls.take(), calls);
        return;
    }
    // Alt+D animates its click.
    QTRY_VERIFY(!m_connect->isChecked());
    QCOMPARE(m_calls.take(), calls);
    QCOMPARE(m_window->statusBar()->currentMessage(),
             QStringLiteral("Device usb:id:1001 released."));
    nexilsim::ChannelState state{};
    QVERIFY(nexilsim::channelState("usb:id:1001", 0, &state));
    QCOMPARE(box == QLatin1String("sbSpeed") ? state.speed : state.acceleration, 3333333u);
}

void tst_Connection::connectReplacesEarlierMessage_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("message");

    QTest::newRow("a release") << "release"
                               << "Device usb:id:1001 released.";
    QTest::newRow("a failed connect")
            << "failed connect"
            << "Could not connect to Nexil. Error: 7777 (Injected failure)";
    QTest::newRow("a controller without channels") << "no channels"
                                                   << "Device usb:id:2000 has no channels.";
}

void tst_Connection::connectReplacesEarlierMessage()
{
    QFETCH(QString, before);
    QFETCH(QString, message);

    if (before == QLatin1String("release")) {
        QTest::mouseClick(m_connect, Qt::LeftButton);
        QTest::mouseClick(m_connect, Qt::LeftButton);
    } else if (before == QLatin1String("failed connect")) {
        nexilsim::failNext("TQ_OpenSystem", injected);
        QTest::mouseClick(m_connect, Qt::LeftButton);
    } else {
        connectTo(QStringLiteral("usb:id:2000"));
        m_locator->setCurrentIndex(0);
    }
    QVERIFY(!m_connect->isChecked());
    QCOMPARE(m_window->statusBar()->currentMessage(), message);

    // Within the message's 2 s.
    QTest::mouseClick(m_connect, Qt::LeftButton);
    QVERIFY(m_connect->isChecked());
    QCOMPARE(m_window->statusBar()->currentMessage(), QString());
}

void tst_Connection::cutOffMessageInTooltip_data()
{
    QTest::addColumn<QByteArray>("statusText");
    QTest::addColumn<int>("width");  // of the window before the message; 0 leaves it
    QTest::addColumn<bool>("widen"); // the window made wide enough while it is shown
    QTest::addColumn<bool>("tip");

    const QByteArray longText = QByteArray("Value out of range; ").repeated(20);
    QTest::newRow("cut off") << longText << 0 << false << true;
    QTest::newRow("cut off, then the window widened") << longText << 0 << true << false;
    QTest::newRow("fits") << QByteArray("Short") << 900 << false << false;
}

void tst_Connection::cutOffMessageInTooltip()
{
    QFETCH(QByteArray, statusText);
    QFETCH(int, width);
    QFETCH(bool, widen);
    QFETCH(bool, tip);

    if (width > 0) {
        m_window->resize(width, m_window->height());
        QTRY_COMPARE(m_window->width(), width);
    }
    QTest::mouseClick(m_connect, Qt::LeftButton);
    nexilsim::setStatusText(injected, statusText.toStdString());
    nexilsim::failNext("TQ_CloseSystem", injected);
    QTest::mouseClick(m_connect, Qt::LeftButton);
    QStatusBar *bar = m_window->statusBar();
    const QString message = QStringLiteral("Could not release device. Error: 7777 (%1)")
                                    .arg(QString::fromLatin1(statusText));
    QCOMPARE(bar->currentMessage(), message);
    if (widen) {
        m_window->resize(bar->fontMetrics().horizontalAdvance(message) + 200, m_window->height());
        QTRY_VERIFY(bar->width() > bar->fontMetrics().horizontalAdvance(message) + 100);
    }
    QCOMPARE(bar->toolTip(), tip ? message : QString());

    // Gone with its message.
    QTRY_COMPARE_WITH_TIMEOUT(bar->currentMessage(), QString(), 3000);
    QCOMPARE(bar->toolTip(), QString());
}

QTEST_MAIN(tst_Connection)
#include "tst_connection.moc"
