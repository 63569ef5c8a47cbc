#include "sepspinbox.h"
#include "testutils.h"
#include "velotune.h"
#include "version.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QtTest>

using testutils::child;

class tst_Startup : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void identityAndTitle();
    void connectsEverySlotByName();
    void enabledStates_data();
    void enabledStates();
    void lowVibrationStaysOffWhenGroupIsEnabled();
    void texts_data();
    void texts();
    void toolTips_data();
    void toolTips();
    void separatorSpinBoxesAreRenamed();
    void keepsExistingObjectName();
    void shortcuts_data();
    void shortcuts();
    void focusFollowsCreationOrder();
    void quitClosesTheWindow();
    void aboutQtShowsToolkitBox();
    void widerWindowWidensOnlyLocatorColumn();
    void tallerWindowKeepsControlsAtTop();
    void pluginsFolderIsSearched();
};

void tst_Startup::init()
{
    testutils::programSettings().clear();
}

void tst_Startup::identityAndTitle()
{
    Velotune w;
    QCOMPARE(w.windowTitle(), QStringLiteral("Nexil Velotune v" VELOTUNE_VERSION));
    QCOMPARE(w.objectName(), QStringLiteral("VelotuneClass"));
    QCOMPARE(QCoreApplication::organizationName(), QStringLiteral("Norvane"));
    QCOMPARE(QCoreApplication::organizationDomain(), QStringLiteral("norvane.example"));
    QCOMPARE(QCoreApplication::applicationName(), QStringLiteral("Velotune"));
    QCOMPARE(QCoreApplication::applicationVersion(), QStringLiteral(VELOTUNE_VERSION));
    QCOMPARE(w.size(), QSize(322, 240));
    QCOMPARE(w.minimumSize(), QSize(320, 240));
}

static QStringList *s_captured = nullptr;

static void captureWarnings(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (s_captured && type != QtDebugMsg)
        s_captured->append(message);
}

void tst_Startup::connectsEverySlotByName()
{
    QStringList warnings;
    s_captured = &warnings;
    QtMessageHandler previous = qInstallMessageHandler(captureWarnings);
    {
        Velotune w;
    }
    qInstallMessageHandler(previous);
    s_captured = nullptr;
    for (const QString &warning : qAsConst(warnings))
        QVERIFY2(!warning.contains(QLatin1String("connectSlotsByName")), qPrintable(warning));
}

void tst_Startup::enabledStates_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("enabled");

    QTest::newRow("connect button") << "pbConnect" << true;
    QTest::newRow("locator list") << "cbLocator" << true;
    QTest::newRow("refresh button") << "pbRefresh" << true;
    QTest::newRow("channel index") << "sbChannelIndex" << false;
    QTest::newRow("configuration group") << "gbConfiguration" << false;
    QTest::newRow("speed") << "sbSpeed" << false;
    QTest::newRow("acceleration") << "sbAcceleration" << false;
    QTest::newRow("low vibration label") << "lLowVibration" << false;
    QTest::newRow("low vibration button") << "pbLowVibration" << false;
}

void tst_Startup::enabledStates()
{
    QFETCH(QString, name);
    QFETCH(bool, enabled);

    Velotune w;
    auto *widget = w.findChild<QWidget *>(name);
    QVERIFY(widget);
    QCOMPARE(widget->isEnabled(), enabled);
}

void tst_Startup::lowVibrationStaysOffWhenGroupIsEnabled()
{
    Velotune w;
    child<QGroupBox>(&w, "gbConfiguration")->setEnabled(true);
    QVERIFY(child<QSpinBox>(&w, "sbSpeed")->isEnabled());
    QVERIFY(!child<QLabel>(&w, "lLowVibration")->isEnabled());
    QVERIFY(!child<QPushButton>(&w, "pbLowVibration")->isEnabled());
}

void tst_Startup::texts_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("property");
    QTest::addColumn<QString>("text");

    QTest::newRow("connect") << "pbConnect"
                             << "text"
                             << "&Connect";
    QTest::newRow("refresh shows only its icon") << "pbRefresh"
                                                 << "text"
                                                 << "";
    QTest::newRow("channel label") << "label_2"
                                   << "text"
                                   << "Channel Index:";
    QTest::newRow("group title") << "gbConfiguration"
                                 << "title"
                                 << "Configuration";
    QTest::newRow("speed label") << "lSpeed"
                                 << "text"
                                 << "Speed [nm/sec]:";
    QTest::newRow("acceleration label")
            << "lAcceleration"
            << "text" << QString::fromUtf8("Acceleration [\u00b5m/sec\u00b2]:");
    QTest::newRow("low vibration label") << "lLowVibration"
                                         << "text"
                                         << "Low Vibration Mode:";
    QTest::newRow("low vibration button") << "pbLowVibration"
                                          << "text"
                                          << "&Off";
    QTest::newRow("file menu") << "menuFile"
                               << "title"
                               << "&File";
    QTest::newRow("help menu") << "menuHelp"
                               << "title"
                               << "&Help";
    QTest::newRow("quit") << "aQuit"
                          << "text"
                          << "&Quit";
    QTest::newRow("about") << "aAbout"
                           << "text"
                           << "&About";
    QTest::newRow("about qt") << "aAbout_Qt"
                              << "text"
                              << "About &Qt";
    QTest::newRow("about has no status tip") << "aAbout"
                                             << "statusTip"
                                             << "";
}

void tst_Startup::texts()
{
    QFETCH(QString, name);
    QFETCH(QString, property);
    QFETCH(QString, text);

    Velotune w;
    QObject *object = w.findChild<QObject *>(name);
    QVERIFY(object);
    QCOMPARE(object->property(property.toLatin1()).toString(), text);
}

void tst_Startup::toolTips_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("rich");
    QTest::addColumn<QString>("shown");

    const QString sent = QStringLiteral(" Changes are trasmitted directly to the channel.");
    QTest::newRow("quit") << "aQuit" << true << "Closes the application.";
    QTest::newRow("about") << "aAbout" << true << "Displays the applications \"About\" dialog.";
    QTest::newRow("about qt") << "aAbout_Qt" << true << "Displays the Qt \"About\" dialog.";
    QTest::newRow("connect") << "pbConnect" << true
                             << "Connects and Disconnects the tool from an attached device.";
    QTest::newRow("locator") << "cbLocator" << true
                             << "Select a controller from the list or enter a locator string "
                                "directly. Examples:\nUSB: \"usb:id:12345678\"\n"
                                "Network: \"network:192.0.2.10:5000\"";
    QTest::newRow("refresh") << "pbRefresh" << false << "Searches for attached devices.";
    QTest::newRow("channel") << "sbChannelIndex" << true
                             << "Selects the curent channel,fetches data from device when changed.";
    QTest::newRow("speed") << "sbSpeed" << true
                           << "Displays the current speed value of the selected channel." + sent
                    + "\nRange: 0 to 100.000.000";
    QTest::newRow("acceleration")
            << "sbAcceleration" << true
            << "Displays the current acceleration value of the selected channel." + sent
                    + "\nRange: 0 to 10.000.000";
    QTest::newRow("low vibration")
            << "pbLowVibration" << true
            << "Displays the state of the Low Vibration Mode of the selected channel." + sent;
}

void tst_Startup::toolTips()
{
    QFETCH(QString, name);
    QFETCH(bool, rich);
    QFETCH(QString, shown);

    Velotune w;
    QObject *object = w.findChild<QObject *>(name);
    QVERIFY(object);
    const QString tip = object->property("toolTip").toString();
    QCOMPARE(Qt::mightBeRichText(tip), rich);
    if (!rich) {
        QCOMPARE(tip, shown);
        return;
    }
    QVERIFY(tip.startsWith(QLatin1String("<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.0//EN\"")));
    QTextDocument document;
    document.setHtml(tip);
    QCOMPARE(document.toPlainText(), shown);
}

void tst_Startup::separatorSpinBoxesAreRenamed()
{
    Velotune w;
    QVERIFY(w.findChildren<QObject *>(QStringLiteral("sepSpinBox")).isEmpty());
    auto *speed = qobject_cast<SepSpinBox *>(child<QSpinBox>(&w, "sbSpeed"));
    auto *acceleration = qobject_cast<SepSpinBox *>(child<QSpinBox>(&w, "sbAcceleration"));
    QVERIFY(speed);
    QVERIFY(acceleration);
    QCOMPARE(speed->maximum(), 100000000);
    QCOMPARE(acceleration->maximum(), 10000000);
    QCOMPARE(child<QSpinBox>(&w, "sbChannelIndex")->maximum(), 36);
}

void tst_Startup::keepsExistingObjectName()
{
    QMainWindow named;
    named.setObjectName(QStringLiteral("ownName"));
    Ui::VelotuneClass form;
    form.setupUi(&named);
    QCOMPARE(named.objectName(), QStringLiteral("ownName"));
    QCOMPARE(named.windowTitle(), QStringLiteral("Nexil Velotune"));
}

void tst_Startup::shortcuts_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QKeySequence>("keys");
    QTest::addColumn<QKeySequence>("ownShortcut");

    QTest::newRow("Ctrl+R refreshes") << "pbRefresh" << QKeySequence(Qt::CTRL | Qt::Key_R)
                                      << QKeySequence(Qt::CTRL | Qt::Key_R);
    // The button's own shortcut is its text's mnemonic; Ctrl+Space is the window's.
    QTest::newRow("Ctrl+Space connects") << "pbConnect" << QKeySequence(Qt::CTRL | Qt::Key_Space)
                                         << QKeySequence(Qt::ALT | Qt::Key_C);
}

void tst_Startup::shortcuts()
{
    QFETCH(QString, name);
    QFETCH(QKeySequence, keys);
    QFETCH(QKeySequence, ownShortcut);

    Velotune w;
    QVERIFY(testutils::showAndActivate(&w));
    auto *button = w.findChild<QPushButton *>(name);
    QVERIFY(button);
    QCOMPARE(button->shortcut(), ownShortcut);
    QSignalSpy clicked(button, &QPushButton::clicked);
    QTest::keySequence(&w, keys);
    // A button's shortcut animates the press, so the click comes a moment later.
    QTRY_COMPARE(clicked.count(), 1);
}

void tst_Startup::focusFollowsCreationOrder()
{
    Velotune w;
    const QStringList expected = {"pbConnect", "cbLocator",      "pbRefresh",     "sbChannelIndex",
                                  "sbSpeed",   "sbAcceleration", "pbLowVibration"};
    QStringList seen;
    QWidget *widget = &w;
    do {
        widget = widget->nextInFocusChain();
        if (expected.contains(widget->objectName()) && !seen.contains(widget->objectName()))
            seen << widget->objectName();
    } while (widget != &w);
    QCOMPARE(seen, expected);
}

void tst_Startup::quitClosesTheWindow()
{
    Velotune w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    auto *quit = child<QAction>(&w, "aQuit");
    QVERIFY(child<QMenu>(&w, "menuFile")->actions().contains(quit));
    quit->trigger();
    QVERIFY(!w.isVisible());
}

void tst_Startup::aboutQtShowsToolkitBox()
{
    Velotune w;
    w.show();
    QString title;
    testutils::onNextModal([&title](QWidget *modal) {
        title = modal->windowTitle();
        modal->close();
    });
    child<QAction>(&w, "aAbout_Qt")->trigger();
    QCOMPARE(title, QStringLiteral("About Qt"));
}

void tst_Startup::widerWindowWidensOnlyLocatorColumn()
{
    // Start wide enough that nothing is squeezed below its size hint.
    Velotune w;
    w.resize(500, 400);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    auto *connect = child<QPushButton>(&w, "pbConnect");
    auto *locator = child<QComboBox>(&w, "cbLocator");
    auto *refresh = child<QPushButton>(&w, "pbRefresh");
    auto *channel = child<QSpinBox>(&w, "sbChannelIndex");
    auto *speed = child<QSpinBox>(&w, "sbSpeed");
    const int connectWidth = connect->width();
    const int refreshWidth = refresh->width();
    const int locatorWidth = locator->width();

    w.resize(900, 400);
    QTRY_COMPARE(w.width(), 900);
    QCoreApplication::processEvents();
    QCOMPARE(connect->width(), connectWidth);
    QCOMPARE(refresh->width(), refreshWidth);
    QCOMPARE(locator->width(), locatorWidth + 400);
    QVERIFY(channel->width() <= 100);
    QCOMPARE(speed->width(), 100);
}

void tst_Startup::tallerWindowKeepsControlsAtTop()
{
    Velotune w;
    w.resize(500, 400);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    auto *group = child<QGroupBox>(&w, "gbConfiguration");
    const QRect before = group->geometry();
    w.resize(500, 800);
    QTRY_COMPARE(w.height(), 800);
    QCoreApplication::processEvents();
    QCOMPARE(group->geometry(), before);
}

void tst_Startup::pluginsFolderIsSearched()
{
    // A "plugins" folder in the working directory must not be searched, one beside the
    // program must.
    QTemporaryDir workingDir;
    QVERIFY(workingDir.isValid());
    QVERIFY(QDir(workingDir.path()).mkdir(QStringLiteral("plugins")));
    QDir programDir(QCoreApplication::applicationDirPath());
    const bool made = programDir.mkdir(QStringLiteral("plugins"));
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(workingDir.path()));
    {
        Velotune w;
    }
    QDir::setCurrent(previous);
    const QStringList paths = QCoreApplication::libraryPaths();
    const QString beside = QDir(programDir.filePath(QStringLiteral("plugins"))).canonicalPath();
    const QString planted = QDir(workingDir.filePath(QStringLiteral("plugins"))).canonicalPath();
    if (made)
        programDir.rmdir(QStringLiteral("plugins"));
    QVERIFY2(paths.contains(beside), qPrintable(paths.join(QLatin1Char(';'))));
    QVERIFY2(!paths.contains(planted), qPrintable(paths.join(QLatin1Char(';'))));
}

QTEST_MAIN(tst_Startup)
#include "tst_startup.moc"
