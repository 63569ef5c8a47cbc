// The windows beside the form on a small, highly scaled screen (1024 x 700 at a scale of 2
// leaves 512 x 350): they fit, the File and View shortcuts work from them, and File > Compare
// with Controller reads another controller without disturbing the connected one.

#include "testutils.h"
#include "velotune.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QMessageBox>
#include <QScreen>
#include <QTreeView>
#include <QtTest>

using testutils::child;

namespace {

QString outside(const QWidget *widget)
{
    const QRect area = widget->screen()->availableGeometry();
    const QRect frame = widget->isWindow() ? widget->frameGeometry()
                                           : QRect(widget->mapToGlobal(QPoint()), widget->size());
    return area.contains(frame) ? QString() : widget->objectName() + " outside the screen; ";
}

// The dialog's visible cells, headers first, row by row.
QStringList cells(const QTreeView *view)
{
    QStringList seen;
    const QAbstractItemModel *model = view->model();
    for (int row = -1; row < model->rowCount(); ++row) {
        QStringList line;
        for (int column = 0; column < model->columnCount(); ++column) {
            if (!view->isColumnHidden(column))
                line << (row < 0 ? model->headerData(column, Qt::Horizontal).toString()
                                 : model->index(row, column).data().toString());
        }
        seen << line.join(QLatin1Char('|'));
    }
    return seen;
}

} // namespace

class tst_WindowFit : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void windowsFitAndTakeShortcuts_data();
    void windowsFitAndTakeShortcuts();
    void compareWithController_data();
    void compareWithController();

private:
    std::unique_ptr<Velotune> m_window;
    testutils::CallLog m_calls;
};

void tst_WindowFit::init()
{
    testutils::programSettings().clear();
    const testutils::SimChannel plain{0, 1, 5000, 700, "off"};
    const testutils::SimChannel rotary{0, 45, 5000, 700, "off"};
    const testutils::SimChannel faster{0, 1, 6000, 700, "on"};
    QVERIFY(testutils::loadFleet({{"usb:id:2001", std::vector<testutils::SimChannel>(6, plain)},
                                  {"usb:id:2002", {rotary, faster, plain, plain, plain, plain}},
                                  {"usb:id:2003", std::vector<testutils::SimChannel>(6, plain)}}));
    m_window.reset(testutils::showNew<Velotune>());
    QVERIFY(m_window);
    const testutils::MainWidgets ui(m_window.get());
    ui.locator->setEditText(QStringLiteral("usb:id:2001"));
    QTest::mouseClick(ui.connect, Qt::LeftButton);
    m_calls.take();
}

void tst_WindowFit::windowsFitAndTakeShortcuts_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("part"); // seen whole
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("action");

    const std::pair<int, const char *> keys[] = {{Qt::Key_S, "aSaveSettings"},
                                                 {Qt::Key_D, "aCompareSettings"},
                                                 {Qt::Key_L, "aRestoreSettings"},
                                                 {Qt::Key_1, "aChannels"},
                                                 {Qt::Key_2, "aHistory"}};
    for (const auto &w :
         {std::pair<const char *, const char *>{"ChannelOverview", "pbRefreshChannels"},
          {"History", "pbSave"}}) {
        for (const auto &k : keys)
            QTest::addRow("%s, %s", w.first, k.second)
                    << w.first << w.second << k.first << k.second;
    }
}

void tst_WindowFit::windowsFitAndTakeShortcuts()
{
    QFETCH(QString, window);
    QFETCH(QString, part);
    QFETCH(int, key);
    QFETCH(QString, action);

    child<QAction>(m_window.get(), "aHistory")->trigger();
    child<QAction>(m_window.get(), "aChannels")->trigger();
    auto *shown = m_window->findChild<QWidget *>(window);
    QVERIFY(shown && testutils::showAndActivate(shown));
    QCOMPARE(outside(shown) + outside(shown->findChild<QWidget *>(part)), QString());

    QStringList fired;
    for (QAction *each : m_window->findChildren<QAction *>())
        connect(each, &QAction::triggered, this, [&fired, each] { fired << each->objectName(); });
    // A File entry's file dialog is closed again.
    if (key != Qt::Key_1 && key != Qt::Key_2)
        testutils::onNextModal([](QWidget *dialog) { dialog->close(); });
    QTest::keyClick(QApplication::focusWidget(), Qt::Key(key), Qt::ControlModifier);
    // Once, whatever other window has the same action.
    QCOMPARE(fired, QStringList{action});
}

void tst_WindowFit::compareWithController_data()
{
    QTest::addColumn<QString>("other");
    QTest::addColumn<QStringList>("seen"); // the summary or message, then the cells

    QTest::newRow("other units and a speed")
            << "usb:id:2002"
            << QStringList{"usb:id:2002 and usb:id:2001: 3 field(s) differ",
                           "Channel|Field|usb:id:2002|usb:id:2001|Outcome",
                           "0|Sensor type|45|1|other units: speed and acceleration not compared",
                           "1|Speed|6.000 nm/sec|5.000 nm/sec|", "1|Low Vibration Mode|on|off|"};
    QTest::newRow("the same settings") << "usb:id:2003"
                                       << QStringList{"usb:id:2003 and usb:id:2001: no differences",
                                                      "Channel|Field|usb:id:2003|usb:id:2001"};
    // The library opens a controller once; comparing it with itself would tell nothing.
    QTest::newRow("the connected one")
            << "usb:id:2001"
            << QStringList{"usb:id:2001 is the connected controller; compare it with another one "
                           "or with a settings file."};
    QTest::newRow("one that cannot be opened")
            << " usb:id:2009 "
            << QStringList{"Not compared: usb:id:2009: Could not connect to Nexil. Error: 16 "
                           "(Unknown locator)"};
}

void tst_WindowFit::compareWithController()
{
    QFETCH(QString, other);
    QFETCH(QStringList, seen);

    QStringList got;
    testutils::onModals(
            {{[](QWidget *w) { return w->objectName() == QLatin1String("LocatorDialog"); },
              [&](QWidget *dialog) {
                  auto *box = child<QComboBox>(dialog, "cbCompareLocator");
                  // The connected one is not offered.
                  for (int i = 0; i < box->count(); ++i)
                      got << box->itemText(i);
                  box->setEditText(other);
                  got << outside(dialog);
                  child<QDialogButtonBox>(dialog, "buttonBox")
                          ->button(QDialogButtonBox::Ok)
                          ->click();
              }},
             {[](QWidget *w) { return w->objectName() != QLatin1String("LocatorDialog"); },
              [&](QWidget *dialog) {
                  if (auto *box = qobject_cast<QMessageBox *>(dialog))
                      got << box->text();
                  else
                      got << child<QLabel>(dialog, "lSummary")->text()
                          << cells(child<QTreeView>(dialog, "tvDifferences"));
                  got << outside(dialog);
                  dialog->close();
              }}});
    child<QAction>(m_window.get(), "aCompareController")->trigger();
    QTRY_COMPARE(testutils::modalStepsLeft(), 0);
    QCOMPARE(testutils::unexpectedModal(), QString());
    QCOMPARE(got, QStringList({"usb:id:2002", "usb:id:2003", ""}) + seen + QStringList{""});

    // Opened for reading only and released; the connected one stays connected.
    const QStringList calls = m_calls.take();
    const bool opens = seen.size() > 1;
    QCOMPARE(calls.filter(QRegularExpression(QStringLiteral("^TQ_(Set|Stop)"))), QStringList());
    QCOMPARE(calls.contains("TQ_OpenSystem(" + other + ",sync)=0"), opens);
    QCOMPARE(calls.contains(QStringLiteral("TQ_CloseSystem(H)=0")), opens);
    QVERIFY(child<QSpinBox>(m_window.get(), "sbChannelIndex")->isEnabled());
}

QTEST_MAIN(tst_WindowFit)
#include "tst_windowfit.moc"
