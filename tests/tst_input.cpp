// What the user types, pastes, presses or scrolls reaches the controller only as meant. Runs
// once under an English and once under a German locale (see CMakeLists.txt).

#include "testutils.h"
#include "velotune.h"

#include <QClipboard>
#include <QLineEdit>
#include <QtTest/qtestspontaneevent.h>
#include <QtTest>

#include <memory>

using testutils::SimChannel;

namespace {

enum How { Typed, Pasted, EditedInPlace, TypedFocusLeaves, Emptied, EmptiedFocusLeaves };

// A wheel notch as the window system delivers it: a spontaneous event, which may move the focus
// and travels on to the parent when ignored.
void wheelOver(QWidget *widget)
{
    const QPoint centre = widget->rect().center();
    QWheelEvent event(QPointF(centre), QPointF(widget->mapToGlobal(centre)), QPoint(),
                      QPoint(0, 120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QSpontaneKeyEvent::setSpontaneous(&event);
    QApplication::sendEvent(widget, &event);
}

// Pixels a user sees as plainly red: the refusal's text, placeholder or selection.
int redPixels(QWidget *widget)
{
    const QImage image = widget->grab().toImage();
    int red = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor colour = image.pixelColor(x, y);
            red += colour.red() >= 200 && colour.green() <= 90 && colour.blue() <= 90 ? 1 : 0;
        }
    return red;
}

QStringList callsOf(const QStringList &calls, const QString &function)
{
    return calls.filter(QRegularExpression("^" + function + "\\("));
}

} // namespace

Q_DECLARE_METATYPE(How)

class tst_Input : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void typedNumber_data();
    void typedNumber();
    void locatorIsOpenedAsTyped_data();
    void locatorIsOpenedAsTyped();
    void connectShortcuts_data();
    void connectShortcuts();
    void wheelNeedsFocus_data();
    void wheelNeedsFocus();
    void stepFromRefused_data();
    void stepFromRefused();
    void refusalEndsWithControllerValue_data();
    void refusalEndsWithControllerValue();

private:
    void connectLink();
    void refuse(QSpinBox *box, How how, const QString &text);

    bool m_german = false;
    Velotune *m_window = nullptr;
    std::unique_ptr<testutils::MainWidgets> m_ui;
    testutils::CallLog m_calls;
};

void tst_Input::initTestCase()
{
    const QString name = QLocale::system().name();
    QVERIFY2(name == QLatin1String("en_US") || name == QLatin1String("de_DE"), qPrintable(name));
    m_german = name == QLatin1String("de_DE");
    qInfo("locale %s", qPrintable(name));
}

void tst_Input::init()
{
    testutils::programSettings().clear();
    QVERIFY(testutils::loadFleet(
            {{"usb:id:31415926",
              {SimChannel{0, 1, 5000, 700, "off"}, SimChannel{0, 1, 6000, 800, "on"}}},
             {"network:192.0.2.10:5000", {SimChannel()}}}));
    nexilsim::setDiscoveryOverride("usb:id:31415926\nnetwork:192.0.2.10:5000", true);
    m_window = new Velotune;
    QVERIFY(testutils::showAndActivate(m_window));
    m_ui = std::make_unique<testutils::MainWidgets>(m_window);
    QVERIFY(m_ui->complete());
    m_calls.take();
}

void tst_Input::cleanup()
{
    delete m_window;
    m_window = nullptr;
    m_calls.take();
}

void tst_Input::connectLink()
{
    QTest::mouseClick(m_ui->connect, Qt::LeftButton);
    QVERIFY(m_ui->connect->isChecked());
    m_calls.take();
}

void tst_Input::typedNumber_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<How>("how");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("english"); // the value written, or -1: refused
    QTest::addColumn<int>("german");
    QTest::addColumn<QString>("why"); // in the status bar where refused

    const QString speed = QStringLiteral("sbSpeed");
    const QString acceleration = QStringLiteral("sbAcceleration");
    const QString empty = QStringLiteral("The field is empty: enter a whole number.");
    QTest::newRow("plain digits") << speed << Typed << "1500013" << 1500013 << 1500013 << "";
    QTest::newRow("shown form typed") << speed << Typed << "1.500.013" << 1500013 << 1500013 << "";
    QTest::newRow("shown form pasted")
            << speed << Pasted << "1.500.013" << 1500013 << 1500013 << "";
    QTest::newRow("English grouping") << acceleration << Pasted << "1,500,013" << 1500013 << -1
                                      << "\"1,500,013\" is not a whole number.";
    QTest::newRow("speed maximum")
            << speed << Typed << "100.000.000" << 100000000 << 100000000 << "";
    QTest::newRow("edit in place") << speed << EditedInPlace << "7" << 5007 << 5007 << "";
    QTest::newRow("one point five")
            << speed << Typed << "1.5" << -1 << -1 << "\"1.5\" is not a whole number.";
    QTest::newRow("one point five, focus leaves")
            << speed << TypedFocusLeaves << "1.5" << -1 << -1 << "\"1.5\" is not a whole number.";
    QTest::newRow("one point fifty")
            << acceleration << Typed << "1.50" << -1 << -1 << "\"1.50\" is not a whole number.";
    QTest::newRow("one comma five")
            << speed << Pasted << "1,5" << -1 << -1 << "\"1,5\" is not a whole number.";
    QTest::newRow("group of two") << speed << Pasted << "12.34.567" << -1 << -1
                                  << "\"12.34.567\" is not a whole number.";
    QTest::newRow("group of four")
            << acceleration << Typed << "1.5000" << -1 << -1 << "\"1.5000\" is not a whole number.";
    QTest::newRow("letters") << acceleration << Pasted << "12abc" << -1 << -1
                             << "\"12abc\" is not a whole number.";
    QTest::newRow("negative") << speed << Typed << "-5" << -1 << -1
                              << "The value cannot be negative: the minimum is 0.";
    QTest::newRow("above the speed maximum") << speed << Typed << "150000000" << -1 << -1
                                             << "150.000.000 is above the maximum of 100.000.000.";
    QTest::newRow("above the acceleration maximum, grouped")
            << acceleration << Pasted << "10.000.001" << -1 << -1
            << "10.000.001 is above the maximum of 10.000.000.";
    QTest::newRow("forty digits pasted")
            << speed << Pasted << "1234567890123456789012345678901234567890" << -1 << -1
            << QString::fromUtf8(
                       "12345678901234567890123\u2026 is above the maximum of 100.000.000.");
    QTest::newRow("emptied, Return") << speed << Emptied << "" << -1 << -1 << empty;
    QTest::newRow("emptied, focus leaves")
            << acceleration << EmptiedFocusLeaves << "" << -1 << -1 << empty;
}

void tst_Input::typedNumber()
{
    QFETCH(QString, box);
    QFETCH(How, how);
    QFETCH(QString, text);
    QFETCH(int, english);
    QFETCH(int, german);
    QFETCH(QString, why);
    const int expected = m_german ? german : english;

    connectLink();
    auto *spinBox = m_window->findChild<QSpinBox *>(box);
    QVERIFY(spinBox);
    QLineEdit *edit = spinBox->findChild<QLineEdit *>();
    const QColor normal = edit->palette().color(QPalette::Text);
    const int before = spinBox->value();
    const QString setter = box == QLatin1String("sbSpeed")
            ? QStringLiteral("TQ_SetClosedLoopMoveSpeed_S")
            : QStringLiteral("TQ_SetClosedLoopMoveAcceleration_S");

    QTest::mouseClick(edit, Qt::LeftButton);
    QTRY_VERIFY(spinBox->hasFocus());
    if (how == Emptied || how == EmptiedFocusLeaves) {
        QTest::keyClick(spinBox, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(spinBox, Qt::Key_Backspace);
    } else if (how == EditedInPlace) {
        // "5.000": the last digit replaced.
        QTest::keyClick(spinBox, Qt::Key_End);
        QTest::keyClick(spinBox, Qt::Key_Backspace);
        QTest::keyClicks(spinBox, text);
    } else {
        QTest::keyClick(spinBox, Qt::Key_A, Qt::ControlModifier);
        if (how == Pasted) {
            QGuiApplication::clipboard()->setText(text);
            QTest::keyClick(spinBox, Qt::Key_V, Qt::ControlModifier);
        } else {
            QTest::keyClicks(spinBox, text);
        }
    }
    const QString entered = edit->text();
    if (how == TypedFocusLeaves || how == EmptiedFocusLeaves) {
        m_ui->lowVibration->setFocus();
        QTRY_VERIFY(!spinBox->hasFocus());
    } else {
        QTest::keyClick(spinBox, Qt::Key_Return);
    }

    const QStringList calls = m_calls.take();
    if (expected >= 0) {
        QCOMPARE(callsOf(calls, setter),
                 QStringList(QStringLiteral("%1(H,0,%2)=0").arg(setter).arg(expected)));
        QCOMPARE(spinBox->value(), expected);
        QCOMPARE(edit->text(), QLocale(QLocale::German).toString(expected));
        QCOMPARE(edit->palette().color(QPalette::Text), normal);
        QCOMPARE(m_ui->status->currentMessage(), QString());
        return;
    }
    // Refused: nothing written, the text kept as entered, shown in red (also when selected or
    // empty) and explained.
    QCOMPARE(calls, QStringList());
    QCOMPARE(spinBox->value(), before);
    QCOMPARE(entered, text);
    QCOMPARE(edit->text(), text);
    QVERIFY(edit->palette().color(QPalette::Text) != normal);
    QVERIFY(redPixels(edit) > 0);
    QCOMPARE(m_ui->status->currentMessage(), why);

    // Mended, it is taken.
    spinBox->setFocus();
    QTRY_VERIFY(spinBox->hasFocus());
    QTest::keyClick(spinBox, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(spinBox, QStringLiteral("2000"));
    QCOMPARE(edit->palette().color(QPalette::Text), normal);
    QCOMPARE(redPixels(edit), 0);
    QTest::keyClick(spinBox, Qt::Key_Return);
    QCOMPARE(callsOf(m_calls.take(), setter),
             QStringList(QStringLiteral("%1(H,0,2000)=0").arg(setter)));
    QCOMPARE(edit->text(), QStringLiteral("2.000"));
}

void tst_Input::locatorIsOpenedAsTyped_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("pressReturn");

    QTest::newRow("prefix of a listed locator") << "network:192.0.2.1" << false;
    QTest::newRow("prefix of a listed locator, Return") << "network:192.0.2.1" << true;
    QTest::newRow("listed locator in capitals") << "USB:ID:31415926" << false;
    QTest::newRow("listed locator in capitals, Return") << "USB:ID:31415926" << true;
    QTest::newRow("listed locator") << "usb:id:31415926" << true;
}

void tst_Input::locatorIsOpenedAsTyped()
{
    QFETCH(QString, typed);
    QFETCH(bool, pressReturn);

    QCOMPARE(m_ui->locator->count(), 2);
    m_ui->locator->setFocus();
    QTRY_VERIFY(m_ui->locator->hasFocus());
    QTest::keyClick(m_ui->locator, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(m_ui->locator, typed);
    if (pressReturn)
        QTest::keyClick(m_ui->locator, Qt::Key_Return);
    QCOMPARE(m_ui->locator->currentText(), typed);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_C, Qt::AltModifier);

    // The mnemonic's click is animated.
    QTest::qWait(300);
    const QStringList opens = callsOf(m_calls.take(false), QStringLiteral("TQ_OpenSystem"));
    QCOMPARE(opens.size(), 1);
    QVERIFY2(opens.first().startsWith("TQ_OpenSystem(" + typed + ",sync)="),
             qPrintable(opens.first()));
    QCOMPARE(m_ui->locator->currentText(), typed);
}

void tst_Input::connectShortcuts_data()
{
    QTest::addColumn<QString>("focus");
    QTest::addColumn<QList<QKeySequence>>("presses");
    QTest::addColumn<QList<bool>>("connected"); // after each press

    const QKeySequence ctrlSpace(Qt::CTRL | Qt::Key_Space);
    const QKeySequence altC(Qt::ALT | Qt::Key_C);
    const QKeySequence altD(Qt::ALT | Qt::Key_D);
    QTest::newRow("Ctrl+Space both ways, focus in the locator")
            << "cbLocator" << QList<QKeySequence>{ctrlSpace, ctrlSpace, ctrlSpace}
            << QList<bool>{true, false, true};
    QTest::newRow("Ctrl+Space both ways, focus on the button")
            << "pbConnect" << QList<QKeySequence>{ctrlSpace, ctrlSpace, ctrlSpace}
            << QList<bool>{true, false, true};
    QTest::newRow("mnemonics, focus in the locator")
            << "cbLocator" << QList<QKeySequence>{altC, altC, altD, altD}
            << QList<bool>{true, true, false, false};
    QTest::newRow("mnemonics, focus on the button")
            << "pbConnect" << QList<QKeySequence>{altD, altC, altD}
            << QList<bool>{false, true, false};
    QTest::newRow("both kinds") << "cbLocator"
                                << QList<QKeySequence>{altC, ctrlSpace, ctrlSpace, altD}
                                << QList<bool>{true, false, true, false};
}

void tst_Input::connectShortcuts()
{
    QFETCH(QString, focus);
    QFETCH(QList<QKeySequence>, presses);
    QFETCH(QList<bool>, connected);

    const QString locator = m_ui->locator->currentText();
    QVERIFY(!locator.isEmpty());
    auto *target = m_window->findChild<QWidget *>(focus);
    target->setFocus();
    QTRY_VERIFY(target->hasFocus());
    int opens = 0;
    int closes = 0;
    for (int i = 0; i < presses.size(); ++i) {
        const QKeySequence keys = presses.at(i);
        const auto key = Qt::Key(keys[0] & ~Qt::KeyboardModifierMask);
        const auto modifiers = Qt::KeyboardModifiers(keys[0] & Qt::KeyboardModifierMask);
        const bool was = m_ui->connect->isChecked();
        QTest::keyClick(QApplication::focusWidget(), key, modifiers);
        // A shortcut's click may be animated: give it time to land, and a second one to show.
        QTest::qWait(300);
        const QString where = QStringLiteral("press %1 (%2)").arg(i).arg(keys.toString());
        QVERIFY2(m_ui->connect->isChecked() == connected.at(i), qPrintable(where));
        const QStringList calls = m_calls.take(false);
        opens += int(callsOf(calls, QStringLiteral("TQ_OpenSystem")).size());
        closes += int(callsOf(calls, QStringLiteral("TQ_CloseSystem")).size());
        QVERIFY2(callsOf(calls, QStringLiteral("TQ_(Open|Close)System")).size()
                         == (was != connected.at(i) ? 1 : 0),
                 qPrintable(where + ": " + calls.join(' ')));
        QVERIFY2(m_ui->locator->currentText() == locator,
                 qPrintable(where + ": " + m_ui->locator->currentText()));
    }
    QCOMPARE(opens - closes, connected.last() ? 1 : 0);
}

void tst_Input::wheelNeedsFocus_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("call"); // made by one wheel step with the focus

    QTest::newRow("speed") << "sbSpeed"
                           << "TQ_SetClosedLoopMoveSpeed_S(H,0,5001)=0";
    QTest::newRow("acceleration") << "sbAcceleration"
                                  << "TQ_SetClosedLoopMoveAcceleration_S(H,0,701)=0";
    QTest::newRow("channel") << "sbChannelIndex"
                             << "TQ_GetChannelType(H,1)=0";
}

void tst_Input::wheelNeedsFocus()
{
    QFETCH(QString, box);
    QFETCH(QString, call);

    connectLink();
    auto *spinBox = m_window->findChild<QSpinBox *>(box);
    QLineEdit *edit = spinBox->findChild<QLineEdit *>();
    m_ui->connect->setFocus();
    QTRY_VERIFY(m_ui->connect->hasFocus());
    const int before = spinBox->value();

    // Scrolling past: nothing changes and nothing reaches the controller.
    for (int i = 0; i < 3; ++i)
        wheelOver(spinBox);
    QCOMPARE(m_calls.take(), QStringList());
    QCOMPARE(spinBox->value(), before);
    QVERIFY(!spinBox->hasFocus());

    // Clicked into, it takes each step.
    QTest::mouseClick(edit, Qt::LeftButton);
    QTRY_VERIFY(spinBox->hasFocus());
    m_calls.take();
    wheelOver(spinBox);
    const QStringList calls = m_calls.take();
    QCOMPARE(calls.value(0), call);
    QCOMPARE(spinBox->value(), before + 1);
}

// Types `text` into `box` and finishes it the way `how` says, so the box refuses it.
void tst_Input::refuse(QSpinBox *box, How how, const QString &text)
{
    box->setFocus();
    QTRY_VERIFY(box->hasFocus());
    QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
    if (text.isEmpty())
        QTest::keyClick(box, Qt::Key_Backspace);
    else
        QTest::keyClicks(box, text);
    if (how == TypedFocusLeaves || how == EmptiedFocusLeaves) {
        QTest::keyClick(box, Qt::Key_Tab);
        QTRY_VERIFY(!box->hasFocus());
    } else {
        QTest::keyClick(box, Qt::Key_Return);
    }
    QVERIFY(redPixels(box->findChild<QLineEdit *>()) > 0);
}

void tst_Input::stepFromRefused_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<How>("how");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("step"); // "Up", "Down" or "wheel" (up)
    QTest::addColumn<QString>("call");

    const QString speed = QStringLiteral("sbSpeed");
    const QString acceleration = QStringLiteral("sbAcceleration");
    const QString speedUp = QStringLiteral("TQ_SetClosedLoopMoveSpeed_S(H,0,5001)=0");
    const QString accelerationUp = QStringLiteral("TQ_SetClosedLoopMoveAcceleration_S(H,0,701)=0");
    QTest::newRow("1.5 left, Up") << speed << TypedFocusLeaves << "1.5"
                                  << "Up" << speedUp;
    QTest::newRow("1.5 left, Down") << acceleration << TypedFocusLeaves << "1.5"
                                    << "Down"
                                    << "TQ_SetClosedLoopMoveAcceleration_S(H,0,699)=0";
    QTest::newRow("1.5 Return, wheel") << speed << Typed << "1.5"
                                       << "wheel" << speedUp;
    QTest::newRow("above the maximum, Up") << acceleration << Typed << "20000000"
                                           << "Up" << accelerationUp;
    QTest::newRow("emptied Return, Up") << speed << Emptied << ""
                                        << "Up" << speedUp;
    QTest::newRow("emptied left, wheel") << acceleration << EmptiedFocusLeaves << ""
                                         << "wheel" << accelerationUp;
}

// A step from refused or emptied text goes from the value the controller holds, at once.
void tst_Input::stepFromRefused()
{
    QFETCH(QString, box);
    QFETCH(How, how);
    QFETCH(QString, text);
    QFETCH(QString, step);
    QFETCH(QString, call);

    connectLink();
    auto *spinBox = m_window->findChild<QSpinBox *>(box);
    QLineEdit *edit = spinBox->findChild<QLineEdit *>();
    refuse(spinBox, how, text);
    spinBox->setFocus();
    QTRY_VERIFY(spinBox->hasFocus());
    m_calls.take();
    if (step == QLatin1String("wheel"))
        wheelOver(spinBox);
    else
        QTest::keyClick(spinBox, step == QLatin1String("Up") ? Qt::Key_Up : Qt::Key_Down);

    QCOMPARE(callsOf(m_calls.take(), QStringLiteral("TQ_SetClosedLoop\\w+")), QStringList(call));
    const QString written = call.section(QLatin1Char(','), 2).section(QLatin1Char(')'), 0, 0);
    QCOMPARE(edit->text(), QLocale(QLocale::German).toString(written.toInt()));
    QCOMPARE(redPixels(edit), 0);
}

void tst_Input::refusalEndsWithControllerValue_data()
{
    QTest::addColumn<QString>("then");
    QTest::addColumn<QString>("shown");

    QTest::newRow("channel change") << "channel"
                                    << "6.000";
    QTest::newRow("read-back of the same number") << "Low Vibration"
                                                  << "5.000";
    QTest::newRow("disconnect") << "disconnect"
                                << "5.000";
    QTest::newRow("disconnect and connect") << "reconnect"
                                            << "5.000";
}

// The red mark lasts only while the refused text is shown: whatever shows the controller's
// value again ends it, even when the number is the same.
void tst_Input::refusalEndsWithControllerValue()
{
    QFETCH(QString, then);
    QFETCH(QString, shown);

    connectLink();
    QLineEdit *edit = m_ui->speed->findChild<QLineEdit *>();
    const QColor normal = edit->palette().color(QPalette::Active, QPalette::Text);
    refuse(m_ui->speed, TypedFocusLeaves, QStringLiteral("1.5"));
    QCOMPARE(edit->text(), QStringLiteral("1.5"));

    if (then == QLatin1String("channel")) {
        QTest::keyClick(m_ui->channel, Qt::Key_Up);
    } else if (then == QLatin1String("Low Vibration")) {
        QTest::mouseClick(m_ui->lowVibration, Qt::LeftButton);
        QVERIFY(m_ui->lowVibration->isChecked());
    } else {
        QTest::mouseClick(m_ui->connect, Qt::LeftButton);
        QVERIFY(!m_ui->connect->isChecked());
        if (then == QLatin1String("reconnect"))
            QTest::mouseClick(m_ui->connect, Qt::LeftButton);
    }
    QCOMPARE(edit->text(), shown);
    QCOMPARE(edit->palette().color(QPalette::Active, QPalette::Text), normal);
    QCOMPARE(redPixels(edit), 0);
    QVERIFY(callsOf(m_calls.take(), QStringLiteral("TQ_SetClosedLoop\\w+")).isEmpty());
}

QTEST_MAIN(tst_Input)
#include "tst_input.moc"
