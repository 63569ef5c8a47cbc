// The windows beside the form on a small, highly scaled screen (1024 x 700 at a scale of 2
// leaves 512 x 350), and the File and View shortcuts pressed while they are active.

#include "testutils.h"
#include "velotune.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QScreen>
#include <QtTest>

#include <memory>

using testutils::child;
using testutils::SimChannel;

namespace {

const char connected[] = "usb:id:2001";

QString describe(const QRect &r)
{
    return QStringLiteral("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

// Fails the calling test unless the whole of `widget` lies in the screen's available area.
bool onScreen(const QWidget *widget, QString *why)
{
    const QRect area = widget->screen()->availableGeometry();
    const QRect frame = widget->isWindow()
            ? widget->frameGeometry()
            : QRect(widget->mapToGlobal(QPoint(0, 0)), widget->size());
    *why = widget->objectName() + QLatin1Char(' ') + describe(frame) + QStringLiteral(" in ")
            + describe(area);
    return area.contains(frame);
}

} // namespace

class tst_WindowFit : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void windowsFit_data();
    void windowsFit();
    void shortcutsFromEveryWindow_data();
    void shortcutsFromEveryWindow();

private:
    std::unique_ptr<Velotune> m_window;
};

void tst_WindowFit::init()
{
    testutils::programSettings().clear();
    const SimChannel channel{0, 1, 1000000, 1000000, "off"};
    const std::vector<SimChannel> six(6, channel);
    QVERIFY(testutils::loadFleet({{connected, six}, {"usb:id:2002", six}}));
    m_window.reset(testutils::showNew<Velotune>());
    QVERIFY(m_window);
    const testutils::MainWidgets ui(m_window.get());
    ui.locator->setEditText(QString::fromLatin1(connected));
    QTest::mouseClick(ui.connect, Qt::LeftButton);
    QVERIFY(ui.channel->isEnabled());
}

void tst_WindowFit::cleanup()
{
    m_window.reset();
}

void tst_WindowFit::windowsFit_data()
{
    QTest::addColumn<QString>("action");
    // The window, or the modal dialogs that open one after the other, and a widget of each
    // that must be seen whole.
    QTest::addColumn<QStringList>("windows");

    QTest::newRow("Channels") << "aChannels" << QStringList{"ChannelOverview/pbRefreshChannels"};
    QTest::newRow("History") << "aHistory" << QStringList{"History/pbSave"};
    QTest::newRow("Compare with Controller")
            << "aCompareController"
            << QStringList{"LocatorDialog/buttonBox", "SettingsDiffDialog/buttonBox"};
}

void tst_WindowFit::windowsFit()
{
    QFETCH(QString, action);
    QFETCH(QStringList, windows);

    QStringList outside;
    const auto check = [&outside](QWidget *window, const QString &part) {
        QString why;
        if (!onScreen(window, &why))
            outside << why;
        auto *inner = window->findChild<QWidget *>(part);
        if (inner == nullptr)
            outside << "no " + part;
        else if (!onScreen(inner, &why))
            outside << why;
    };
    std::vector<testutils::ModalStep> steps;
    for (const QString &entry : windows) {
        const QString name = entry.section(QLatin1Char('/'), 0, 0);
        const QString part = entry.section(QLatin1Char('/'), 1);
        steps.push_back({[name](QWidget *w) { return w->objectName() == name; },
                         [&outside, check, part](QWidget *dialog) {
                             if (!QTest::qWaitForWindowExposed(dialog))
                                 outside << dialog->objectName() + " never shown";
                             check(dialog, part);
                             if (auto *ok = child<QDialogButtonBox>(dialog, "buttonBox")
                                                    ->button(QDialogButtonBox::Ok))
                                 ok->click();
                             else
                                 dialog->close();
                         }});
    }
    const bool modal = windows.size() > 1;
    if (modal)
        testutils::onModals(steps);
    child<QAction>(m_window.get(), action.toLatin1().constData())->trigger();
    if (modal) {
        QTRY_COMPARE(testutils::modalStepsLeft(), 0);
        QCOMPARE(testutils::unexpectedModal(), QString());
    } else {
        const QString name = windows.first().section(QLatin1Char('/'), 0, 0);
        auto *window = m_window->findChild<QWidget *>(name);
        QVERIFY(window && QTest::qWaitForWindowExposed(window));
        check(window, windows.first().section(QLatin1Char('/'), 1));
    }
    QVERIFY2(outside.isEmpty(), qPrintable(outside.join(QStringLiteral("; "))));
}

void tst_WindowFit::shortcutsFromEveryWindow_data()
{
    QTest::addColumn<QString>("active");
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("action");

    const std::pair<int, const char *> shortcuts[] = {{Qt::Key_S, "aSaveSettings"},
                                                      {Qt::Key_D, "aCompareSettings"},
                                                      {Qt::Key_L, "aRestoreSettings"},
                                                      {Qt::Key_1, "aChannels"},
                                                      {Qt::Key_2, "aHistory"}};
    for (const char *window : {"ChannelOverview", "History"}) {
        for (const auto &shortcut : shortcuts)
            QTest::addRow("%s, %s", window, shortcut.second)
                    << QString::fromLatin1(window) << shortcut.first
                    << QString::fromLatin1(shortcut.second);
    }
}

void tst_WindowFit::shortcutsFromEveryWindow()
{
    QFETCH(QString, active);
    QFETCH(int, key);
    QFETCH(QString, action);

    child<QAction>(m_window.get(), "aChannels")->trigger();
    child<QAction>(m_window.get(), "aHistory")->trigger();
    auto *window = m_window->findChild<QWidget *>(active);
    QVERIFY(window && testutils::showAndActivate(window));
    QStringList fired;
    for (QAction *each : m_window->findChildren<QAction *>()) {
        connect(each, &QAction::triggered, this, [&fired, each] { fired << each->objectName(); });
    }
    // The file dialog a File entry opens is closed again.
    QString asked;
    const bool file = key != Qt::Key_1 && key != Qt::Key_2;
    if (file) {
        testutils::onNextModal([&asked](QWidget *dialog) {
            asked = dialog->windowTitle();
            dialog->close();
        });
    }
    QWidget *focus = QApplication::focusWidget();
    QTest::keyClick(focus != nullptr && focus->window() == window ? focus : window, Qt::Key(key),
                    Qt::ControlModifier);
    // Once, from the window that was active, whatever other window has the same action.
    QCOMPARE(fired, QStringList{action});
    if (file)
        QVERIFY(!asked.isEmpty());
}

QTEST_MAIN(tst_WindowFit)
#include "tst_windowfit.moc"
