#include "sepspinbox.h"

#include <QLineEdit>
#include <QLocale>
#include <QSignalSpy>
#include <QVBoxLayout>
#include <QtTest>

class tst_SepSpinBox : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void construction();
    void groupsDigits_data();
    void groupsDigits();
    void typingEmitsOnlyWhenFinished_data();
    void typingEmitsOnlyWhenFinished();
    void leavingShownValueKeepsIt();
    void oneEmissionPerStep_data();
    void oneEmissionPerStep();

private:
    QWidget m_window;
    SepSpinBox *m_spinBox = nullptr;
    QLineEdit *m_neighbour = nullptr;
};

void tst_SepSpinBox::initTestCase()
{
    // The grouping must not follow the machine: this test runs under an English locale.
    QVERIFY2(QLocale::system().name().startsWith(QLatin1String("en")),
             qPrintable(QLocale::system().name()));
    QCOMPARE(QLocale::system().groupSeparator(), QLatin1Char(','));

    auto *layout = new QVBoxLayout(&m_window);
    m_spinBox = new SepSpinBox(&m_window);
    m_spinBox->setMaximum(100000000);
    m_neighbour = new QLineEdit(&m_window);
    layout->addWidget(m_spinBox);
    layout->addWidget(m_neighbour);
    m_window.show();
    QApplication::setActiveWindow(&m_window);
    QVERIFY(QTest::qWaitForWindowActive(&m_window));
}

void tst_SepSpinBox::construction()
{
    SepSpinBox unnamed;
    QCOMPARE(unnamed.objectName(), QStringLiteral("sepSpinBox"));
    SepSpinBox named(nullptr, "sb\xc3\xa4");
    QCOMPARE(named.objectName(), QString::fromUtf8("sb\xc3\xa4"));
    QCOMPARE(named.alignment(), Qt::AlignRight | Qt::AlignVCenter);
    QVERIFY(named.isAccelerated());
    QVERIFY(!named.keyboardTracking());
    QCOMPARE(named.font().family(), QStringLiteral("MS Shell Dlq 2"));
    QCOMPARE(named.font().pointSize(), 8);
    QCOMPARE(named.minimum(), 0);
    QCOMPARE(named.maximum(), 99);
}

void tst_SepSpinBox::groupsDigits_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("text");

    QTest::newRow("zero") << 0 << "0";
    QTest::newRow("below a thousand") << 999 << "999";
    QTest::newRow("a thousand") << 1000 << "1.000";
    QTest::newRow("six digits") << 123456 << "123.456";
    QTest::newRow("acceleration maximum") << 10000000 << "10.000.000";
    QTest::newRow("speed maximum") << 100000000 << "100.000.000";
}

void tst_SepSpinBox::groupsDigits()
{
    QFETCH(int, value);
    QFETCH(QString, text);

    m_spinBox->setValue(value);
    QCOMPARE(m_spinBox->text(), text);
    QCOMPARE(m_spinBox->findChild<QLineEdit *>()->text(), text);
}

void tst_SepSpinBox::typingEmitsOnlyWhenFinished_data()
{
    QTest::addColumn<bool>("pressReturn");

    QTest::newRow("Return") << true;
    QTest::newRow("focus leaves") << false;
}

void tst_SepSpinBox::typingEmitsOnlyWhenFinished()
{
    QFETCH(bool, pressReturn);

    m_spinBox->setValue(7);
    m_spinBox->setFocus();
    QTRY_VERIFY(m_spinBox->hasFocus());
    QSignalSpy changed(m_spinBox, qOverload<int>(&QSpinBox::valueChanged));
    QTest::keyClick(m_spinBox, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(m_spinBox, QStringLiteral("54321"));
    QCOMPARE(changed.count(), 0);
    QCOMPARE(m_spinBox->value(), 7);

    if (pressReturn)
        QTest::keyClick(m_spinBox, Qt::Key_Return);
    else
        m_neighbour->setFocus();
    QTRY_COMPARE(changed.count(), 1);
    QCOMPARE(changed.first().first().toInt(), 54321);
    QCOMPARE(m_spinBox->text(), QStringLiteral("54.321"));
}

void tst_SepSpinBox::leavingShownValueKeepsIt()
{
    // The shown "5.000" is not a number under the widget's English locale; passing through the
    // box without typing must neither change the value nor report one.
    m_spinBox->setValue(5000);
    QSignalSpy changed(m_spinBox, qOverload<int>(&QSpinBox::valueChanged));
    m_spinBox->setFocus();
    QTRY_VERIFY(m_spinBox->hasFocus());
    QTest::keyClick(m_spinBox, Qt::Key_Return);
    m_neighbour->setFocus();
    QTRY_VERIFY(m_neighbour->hasFocus());
    QCOMPARE(m_spinBox->value(), 5000);
    QCOMPARE(m_spinBox->text(), QStringLiteral("5.000"));
    QCOMPARE(changed.count(), 0);
}

void tst_SepSpinBox::oneEmissionPerStep_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("expected");

    QTest::newRow("up arrow") << int(Qt::Key_Up) << 1001;
    QTest::newRow("down arrow") << int(Qt::Key_Down) << 999;
    QTest::newRow("page up") << int(Qt::Key_PageUp) << 1010;
}

void tst_SepSpinBox::oneEmissionPerStep()
{
    QFETCH(int, key);
    QFETCH(int, expected);

    m_spinBox->setValue(1000);
    m_spinBox->setFocus();
    QTRY_VERIFY(m_spinBox->hasFocus());
    QSignalSpy changed(m_spinBox, qOverload<int>(&QSpinBox::valueChanged));
    QTest::keyClick(m_spinBox, Qt::Key(key));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.first().first().toInt(), expected);
    QCOMPARE(m_spinBox->value(), expected);
}

QTEST_MAIN(tst_SepSpinBox)
#include "tst_sepspinbox.moc"
