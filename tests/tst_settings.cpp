#include "testutils.h"
#include "velotune.h"

#include <QAction>
#include <QtTest>

class tst_Settings : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void firstRunOpensAtDefaultSize();
    void sizeSurvivesQuit_data();
    void sizeSurvivesQuit();
    void damagedValuesFallBackToDefault_data();
    void damagedValuesFallBackToDefault();
};

void tst_Settings::init()
{
    testutils::programSettings().clear();
}

void tst_Settings::firstRunOpensAtDefaultSize()
{
    {
        Velotune w;
        QCOMPARE(w.size(), QSize(322, 240));
        QVERIFY(testutils::programSettings().allKeys().isEmpty());
    }
    QSettings settings = testutils::programSettings();
    QStringList keys = settings.allKeys();
    keys.sort();
    QCOMPARE(keys, QStringList({"geometry", "windowState"}));
    QVERIFY(!settings.value("geometry").toByteArray().isEmpty());
    QVERIFY(!settings.value("windowState").toByteArray().isEmpty());
}

void tst_Settings::sizeSurvivesQuit_data()
{
    QTest::addColumn<bool>("viaMenu");

    QTest::newRow("File > Quit") << true;
    QTest::newRow("close button") << false;
}

void tst_Settings::sizeSurvivesQuit()
{
    QFETCH(bool, viaMenu);

    const QSize changed(480, 300);
    {
        Velotune w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.resize(changed);
        QTRY_COMPARE(w.size(), changed);
        if (viaMenu)
            w.findChild<QAction *>(QStringLiteral("aQuit"))->trigger();
        else
            QVERIFY(w.close());
        QVERIFY(!w.isVisible());
    }
    Velotune next;
    QCOMPARE(next.size(), changed);
}

void tst_Settings::damagedValuesFallBackToDefault_data()
{
    QTest::addColumn<QVariant>("geometry");
    QTest::addColumn<QVariant>("windowState");

    QTest::newRow("random bytes") << QVariant(QByteArray("\x7f\x13garbage\x00\x9c", 11))
                                  << QVariant(QByteArray("\xff\x00\x00\x00\x01", 5));
    QTest::newRow("text") << QVariant(QStringLiteral("322x240")) << QVariant(QStringLiteral("0"));
    QTest::newRow("numbers") << QVariant(42) << QVariant(-1);
    QTest::newRow("empty") << QVariant(QByteArray()) << QVariant(QByteArray());
}

void tst_Settings::damagedValuesFallBackToDefault()
{
    QFETCH(QVariant, geometry);
    QFETCH(QVariant, windowState);

    {
        QSettings settings = testutils::programSettings();
        settings.setValue("geometry", geometry);
        settings.setValue("windowState", windowState);
    }
    Velotune w;
    QCOMPARE(w.size(), QSize(322, 240));
}

QTEST_MAIN(tst_Settings)
#include "tst_settings.moc"
