// Whatever the library or the user hands over, the program neither crashes nor reads past a
// buffer (the sanitizer build proves the second), and shows foreign text literally.

#include "testutils.h"
#include "velotune.h"

#include <QClipboard>
#include <QLineEdit>
#include <QtTest>

#include <cstring>
#include <random>

using testutils::MainWidgets;
using testutils::SimChannel;

namespace {

const uint32_t injected = 7777;
const char *const controlLocator = "usb:id:\x01\x07\x1b[31m\x7f";

QByteArray randomBytes(int size, bool withNul, uint32_t seed)
{
    std::mt19937 random(seed);
    QByteArray bytes(size, '\0');
    for (char &byte : bytes)
        byte = char(std::uniform_int_distribution<int>(withNul ? 0 : 1, 255)(random));
    if (withNul)
        bytes[size / 3] = '\0';
    return bytes;
}

// The locators in a raw answer: the 4096-byte buffer up to its first NUL, one per non-empty
// line, each decoded as UTF-8.
QStringList locatorsIn(const QByteArray &raw)
{
    const QByteArray buffer = raw.left(4096);
    const int end = buffer.indexOf('\0');
    QStringList locators;
    for (const QByteArray &line : buffer.left(end < 0 ? buffer.size() : end).split('\n'))
        if (!line.isEmpty())
            locators << QString::fromUtf8(line);
    return locators;
}

// Leaves a recognisable pattern in the stack below the caller. Run from a button's released()
// signal, it covers the spot where the clicked() slot that follows keeps its locals.
Q_NEVER_INLINE void paintStack()
{
    volatile char area[64 * 1024];
    for (size_t i = 0; i < sizeof area; ++i)
        area[i] = 'A';
}

QStringList items(const QComboBox *box)
{
    QStringList texts;
    for (int i = 0; i < box->count(); ++i)
        texts << box->itemText(i);
    return texts;
}

} // namespace

class tst_Hostile : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void discoveryBuffer_data();
    void discoveryBuffer();
    void statusText_data();
    void statusText();
    void typedLocator_data();
    void typedLocator();

private:
    Velotune *m_window = nullptr;
    std::unique_ptr<MainWidgets> m_w;
    testutils::CallLog m_calls;
};

void tst_Hostile::init()
{
    testutils::programSettings().clear();
    // The second locator is controlLocator, escaped for JSON.
    QVERIFY(nexilsim::loadFleet("{\"systems\":[{\"locator\":\"usb:id:1001\",\"channels\":["
                                + SimChannel().json() + "," + SimChannel().json()
                                + "]},{\"locator\":\"usb:id:\\u0001\\u0007\\u001b[31m\\u007f\","
                                  "\"listed\":false,\"channels\":["
                                + SimChannel().json() + "]}]}")
            == 0);
    m_window = new Velotune;
    QVERIFY(testutils::showAndActivate(m_window));
    m_w = std::make_unique<MainWidgets>(m_window);
    QVERIFY(m_w->complete());
    m_calls.take();
}

void tst_Hostile::cleanup()
{
    m_w.reset();
    delete m_window;
    m_window = nullptr;
    m_calls.take();
}

void tst_Hostile::discoveryBuffer_data()
{
    QTest::addColumn<QByteArray>("raw");

    QTest::newRow("random bytes with a NUL") << randomBytes(4096, true, 1);
    QTest::newRow("random bytes without a NUL") << randomBytes(4096, false, 2);
    QTest::newRow("more than the buffer without a NUL") << randomBytes(9000, false, 3);
    static const char invalid[] = "usb:\xc3\x28\n\xff\xfe\n\xe2\x82\nok\xf0\x9f\0after";
    QTest::newRow("invalid UTF-8") << QByteArray(invalid, sizeof invalid - 1);
    QTest::newRow("4096 line feeds") << QByteArray(4096, '\n');
    // The library need not terminate a short answer either; nothing after it may show.
    QTest::newRow("short answer without a NUL") << QByteArray("usb:id:1001\nusb:id:7");
}

void tst_Hostile::discoveryBuffer()
{
    QFETCH(QByteArray, raw);

    nexilsim::setDiscoveryOverride(raw.toStdString(), true);
    const auto painter = connect(m_w->refresh, &QPushButton::released, &paintStack);
    QTest::mouseClick(m_w->refresh, Qt::LeftButton);
    disconnect(painter);
    QCOMPARE(items(m_w->locator), locatorsIn(raw));
    QCOMPARE(m_calls.take(), QStringList({"TQ_FindSystems(interface usb,4096)=0"}));

    // Whatever was listed goes to the library as it is shown.
    QTest::mouseClick(m_w->connect, Qt::LeftButton);
    const QStringList calls = m_calls.take();
    QVERIFY(!calls.isEmpty());
    QCOMPARE(calls.first(),
             "TQ_OpenSystem(" + QString::fromUtf8(m_w->locator->currentText().toUtf8())
                     + ",sync)=" + (m_w->connect->isChecked() ? "0" : "16"));
}

void tst_Hostile::statusText_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("shown");

    const QByteArray big(64 * 1024, 'x');
    QTest::newRow("64 KiB") << big << QString::fromLatin1(big);
    QTest::newRow("invalid UTF-8") << QByteArray("bad \xc3\x28 and \xff end")
                                   << QString::fromUtf8("bad \xef\xbf\xbd( and \xef\xbf\xbd end");
    QTest::newRow("place markers")
            << QByteArray("%1 %2 %3 %L1 %% 100%") << QStringLiteral("%1 %2 %3 %L1 %% 100%");
    QTest::newRow("markup") << QByteArray("<b>bold</b><br><a href=\"x\">link</a> &amp; &lt;")
                            << QStringLiteral("<b>bold</b><br><a href=\"x\">link</a> &amp; &lt;");
}

void tst_Hostile::statusText()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, shown);

    nexilsim::setStatusText(injected, text.toStdString());
    nexilsim::failNext("TQ_OpenSystem", injected);
    QTest::mouseClick(m_w->connect, Qt::LeftButton);
    QCOMPARE(m_w->status->currentMessage(),
             "Could not connect to Nexil. Error: 7777 (" + shown + ")");

    QTest::mouseClick(m_w->connect, Qt::LeftButton);
    QVERIFY(m_w->connect->isChecked());
    nexilsim::failNext("TQ_GetChannelType", injected);
    QTest::keyClick(m_w->channel, Qt::Key_Up);
    QTest::keyClick(m_w->channel, Qt::Key_Down);
    QCOMPARE(m_w->status->currentMessage(),
             "Could not fetch current channel type. Error 7777 (" + shown + ")");
    // Drawn as plain text: a rich-text label would have turned the markup into formatting.
    QCOMPARE(m_w->status->findChildren<QLabel *>().size(), 0);
}

void tst_Hostile::typedLocator_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("opens");
    QTest::addColumn<QString>("released"); // the status bar's message after Disconnect

    // The line edit keeps the first 32767 of them.
    QTest::newRow("100000 characters") << QString(100000, QLatin1Char('7')) << false << QString();
    QTest::newRow("control characters, unknown")
            << QString::fromLatin1("usb:\x01\x02\x1b\t\x7f") << false << QString();
    // Written out, so the message stays one plain line.
    QTest::newRow("control characters, known")
            << QString::fromLatin1(controlLocator) << true
            << QStringLiteral("Device usb:id:\\x01\\x07\\x1b[31m\\x7f released.");
    QTest::newRow("trailing line feed") << QStringLiteral("usb:id:1001\n") << false << QString();
}

void tst_Hostile::typedLocator()
{
    QFETCH(QString, typed);
    QFETCH(bool, opens);
    QFETCH(QString, released);

    // Pasted, as nobody types 100000 characters.
    QApplication::clipboard()->setText(typed);
    QLineEdit *edit = m_w->locator->lineEdit();
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
    const QString shown = m_w->locator->currentText();
    QVERIFY(!shown.isEmpty());
    QVERIFY(typed.startsWith(shown));

    QTest::mouseClick(m_w->connect, Qt::LeftButton);
    const QStringList calls = m_calls.take();
    QVERIFY(!calls.isEmpty());
    QCOMPARE(calls.first(),
             "TQ_OpenSystem(" + QString::fromUtf8(shown.toUtf8())
                     + ",sync)=" + (opens ? "0" : "16"));
    QCOMPARE(m_w->connect->isChecked(), opens);
    if (!opens) {
        QCOMPARE(m_w->status->currentMessage(),
                 QStringLiteral("Could not connect to Nexil. Error: 16 (Unknown locator)"));
        return;
    }
    QTest::mouseClick(m_w->connect, Qt::LeftButton);
    QCOMPARE(m_w->status->currentMessage(), released);
}

QTEST_MAIN(tst_Hostile)
#include "tst_hostile.moc"
