// File > Compare with Controller: another controller read without disturbing the connected one,
// its differences in the comparison dialog, and the cases that compare nothing.

#include "testutils.h"
#include "velotune.h"

#include <QAction>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QMessageBox>
#include <QTreeView>
#include <QtTest>

using testutils::child;
using testutils::SimChannel;

namespace {

const char connected[] = "usb:id:2001";

struct Seen
{
    QStringList listed;
    QString title;
    QString text;
    QStringList headers;
    QStringList rows;
};

void readDifferences(QWidget *dialog, Seen *seen)
{
    seen->title = dialog->windowTitle();
    seen->text = child<QLabel>(dialog, "lSummary")->text();
    const auto *view = child<QTreeView>(dialog, "tvDifferences");
    const QAbstractItemModel *model = view->model();
    for (int column = 0; column < model->columnCount(); ++column) {
        if (!view->isColumnHidden(column))
            seen->headers << model->headerData(column, Qt::Horizontal).toString();
    }
    for (int row = 0; row < model->rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < model->columnCount(); ++column) {
            if (!view->isColumnHidden(column))
                cells << model->index(row, column).data().toString();
        }
        seen->rows << cells.join(QLatin1Char('|'));
    }
}

} // namespace

class tst_CompareController : public QObject
{
    Q_OBJECT

private slots:
    void compares_data();
    void compares();
};

void tst_CompareController::compares_data()
{
    QTest::addColumn<QString>("other");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("rows"); // empty, with headers, when a message box answers

    const QStringList headers{"Channel", "Field", "usb:id:2002", "usb:id:2001", "Outcome"};
    QTest::newRow("other units and a speed") << "usb:id:2002"
                                             << "usb:id:2002 and usb:id:2001: 3 field(s) differ"
                                             << headers
                    + QStringList{"0|Sensor type|45|1|other units: speed and acceleration not "
                                  "compared",
                                  "1|Speed|6.000 nm/sec|5.000 nm/sec|",
                                  "1|Low Vibration Mode|on|off|"};
    QTest::newRow("the same settings")
            << "usb:id:2003"
            << "usb:id:2003 and usb:id:2001: no differences"
            << QStringList{"Channel", "Field", "usb:id:2003", "usb:id:2001"};
    // The library opens a controller once; comparing it with itself would tell nothing.
    QTest::newRow("the connected one")
            << "usb:id:2001"
            << "usb:id:2001 is the connected controller; compare it with another one or with a "
               "settings file."
            << QStringList();
    QTest::newRow("one that cannot be opened")
            << " usb:id:2009 "
            << "Not compared: usb:id:2009: Could not connect to Nexil. Error: 16 (Unknown "
               "locator)"
            << QStringList();
}

void tst_CompareController::compares()
{
    QFETCH(QString, other);
    QFETCH(QString, text);
    QFETCH(QStringList, rows);

    testutils::programSettings().clear();
    const SimChannel plain{0, 1, 5000, 700, "off"};
    const SimChannel rotary{0, 45, 5000, 700, "off"};
    const SimChannel faster{0, 1, 6000, 700, "on"};
    QVERIFY(testutils::loadFleet({{connected, {plain, plain}},
                                  {"usb:id:2002", {rotary, faster}},
                                  {"usb:id:2003", {plain, plain}}}));
    std::unique_ptr<Velotune> window(testutils::showNew<Velotune>());
    QVERIFY(window);
    const testutils::MainWidgets ui(window.get());
    ui.locator->setEditText(QString::fromLatin1(connected));
    QTest::mouseClick(ui.connect, Qt::LeftButton);
    testutils::CallLog calls;
    calls.take();

    Seen seen;
    testutils::onModals(
            {{[](QWidget *w) { return w->objectName() == QLatin1String("LocatorDialog"); },
              [&](QWidget *dialog) {
                  auto *box = child<QComboBox>(dialog, "cbCompareLocator");
                  for (int i = 0; i < box->count(); ++i)
                      seen.listed << box->itemText(i);
                  box->setEditText(other);
                  child<QDialogButtonBox>(dialog, "buttonBox")
                          ->button(QDialogButtonBox::Ok)
                          ->click();
              }},
             {[](QWidget *w) { return w->objectName() != QLatin1String("LocatorDialog"); },
              [&](QWidget *dialog) {
                  if (auto *box = qobject_cast<QMessageBox *>(dialog))
                      seen.text = box->text();
                  else
                      readDifferences(dialog, &seen);
                  dialog->close();
              }}});
    child<QAction>(window.get(), "aCompareController")->trigger();
    QTRY_COMPARE(testutils::modalStepsLeft(), 0);
    QCOMPARE(testutils::unexpectedModal(), QString());

    // The connected one is not offered.
    QCOMPARE(seen.listed, QStringList({"usb:id:2002", "usb:id:2003"}));
    QCOMPARE(seen.text, text);
    QCOMPARE(seen.headers + seen.rows, rows);
    if (!rows.isEmpty())
        QCOMPARE(seen.title, "Compare with " + other);
    const QStringList made = calls.take();
    QCOMPARE(made.filter(QRegularExpression(QStringLiteral("^TQ_(Set|Stop)"))), QStringList());
    // Opened for reading only and released; the connected one stays connected.
    const QString opened = "TQ_OpenSystem(" + other.trimmed() + ",sync)=0";
    const bool opens = !rows.isEmpty();
    QCOMPARE(made.contains(opened), opens);
    QCOMPARE(made.contains(QStringLiteral("TQ_CloseSystem(H)=0")), opens);
    QVERIFY(ui.channel->isEnabled());
}

QTEST_MAIN(tst_CompareController)
#include "tst_comparecontroller.moc"
