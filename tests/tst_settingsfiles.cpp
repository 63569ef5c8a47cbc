// Settings files from the window: save, compare and restore through the menu, the file dialog
// and the difference dialog, checked against the simulator's call log and against the real
// velotune-cli on the same simulated controller (shared through the simulator's state file).

#include "clirunner.h"
#include "testutils.h"
#include "velotune.h"

#include <QAbstractItemModel>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QTreeView>
#include <QtTest>

#include <memory>

#include <sys/stat.h>
#include <unistd.h>

using testutils::child;
using testutils::SimChannel;
using testutils::SimSystem;

namespace {

const QString key = QStringLiteral("16908289");

using Step = testutils::ModalStep;
using testutils::onModals;

template<class T>
std::function<bool(QWidget *)> isA()
{
    return [](QWidget *w) { return qobject_cast<T *>(w) != nullptr; };
}

// A message box with the given button: Yes asks, OK tells.
std::function<bool(QWidget *)> boxWith(QMessageBox::StandardButton button)
{
    return [button](QWidget *w) {
        auto *box = qobject_cast<QMessageBox *>(w);
        return box != nullptr && box->button(button) != nullptr;
    };
}

// Picks `path` in the window's file dialog.
Step chooseFile(const QString &path, bool *seen)
{
    return {isA<QFileDialog>(), [path, seen](QWidget *modal) {
                auto *dialog = qobject_cast<QFileDialog *>(modal);
                *seen = dialog->nameFilters()
                                .join(QLatin1Char(';'))
                                .contains(QLatin1String("*.json"));
                // Typed into the name field, then Return, as a user would.
                auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
                if (name == nullptr) {
                    dialog->reject();
                    return;
                }
                name->setText(path);
                QTest::keyClick(name, Qt::Key_Return);
            }};
}

// Answers yes to the question whether to replace an existing file.
Step confirmReplace(bool *asked)
{
    return {boxWith(QMessageBox::Yes), [asked](QWidget *modal) {
                *asked = true;
                qobject_cast<QMessageBox *>(modal)->button(QMessageBox::Yes)->click();
            }};
}

// Reads and closes a warning.
Step readWarning(QString *text)
{
    return {boxWith(QMessageBox::Ok), [text](QWidget *modal) {
                *text = qobject_cast<QMessageBox *>(modal)->text();
                modal->close();
            }};
}

// What the difference dialog showed: its summary and one "a | b | c" line per row, with the
// columns that are visible.
struct Shown
{
    bool seen = false;
    QString summary;
    QStringList rows;
    QStringList buttons;
    QString defaultButton; // what Return presses
};

void readDialog(QWidget *dialog, Shown *shown)
{
    shown->seen = dialog->objectName() == QLatin1String("SettingsDiffDialog");
    if (const auto *summary = dialog->findChild<QLabel *>(QStringLiteral("lSummary")))
        shown->summary = summary->text();
    shown->rows.clear();
    const auto *view = dialog->findChild<QTreeView *>(QStringLiteral("tvDifferences"));
    if (view != nullptr && view->isVisible()) {
        const QAbstractItemModel *model = view->model();
        for (int r = 0; r < model->rowCount(); ++r) {
            QStringList cells;
            for (int c = 0; c < model->columnCount(); ++c) {
                if (!view->isColumnHidden(c))
                    cells << model->index(r, c).data().toString();
            }
            shown->rows << cells.join(QStringLiteral(" | "));
        }
    }
    shown->buttons.clear();
    shown->defaultButton.clear();
    if (const auto *box = dialog->findChild<QDialogButtonBox *>())
        for (const QAbstractButton *button : box->buttons()) {
            shown->buttons << button->text().remove(QLatin1Char('&'));
            const auto *push = qobject_cast<const QPushButton *>(button);
            if (push != nullptr && push->isDefault())
                shown->defaultButton = shown->buttons.constLast();
        }
    shown->buttons.sort();
}

QAbstractButton *buttonNamed(QWidget *dialog, const QString &text)
{
    for (QAbstractButton *button : dialog->findChildren<QAbstractButton *>()) {
        if (button->isVisible() && button->text().remove(QLatin1Char('&')) == text)
            return button;
    }
    return nullptr;
}

// Reads the dialog, presses `press` (when given), reads it again into `after` and closes it.
Step answerDialog(Shown *before, const QString &press, Shown *after)
{
    const auto isDiff
            = [](QWidget *w) { return w->objectName() == QLatin1String("SettingsDiffDialog"); };
    return {isDiff, [before, press, after](QWidget *dialog) {
                readDialog(dialog, before);
                if (!press.isEmpty()) {
                    if (QAbstractButton *button = buttonNamed(dialog, press))
                        button->click();
                    if (dialog->isVisible())
                        readDialog(dialog, after);
                }
                if (dialog->isVisible())
                    dialog->close();
            }};
}

QByteArray contentOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeTo(const QString &path, const QByteArray &data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(data) == data.size();
}

// The writes among the window's calls.
QStringList writesIn(const QStringList &calls)
{
    QStringList writes;
    for (const QString &call : calls) {
        if (call.startsWith(QLatin1String("TQ_Set")) || call.startsWith(QLatin1String("TQ_Stop")))
            writes << call;
    }
    return writes;
}

QString snapshotJson(const QString &channels)
{
    return QStringLiteral("{\"format\": \"velotune-snapshot\", \"version\": 1, \"locator\": "
                          "\"usb:id:5001\", \"savedAt\": \"2026-12-08T14:07:30Z\", \"program\": "
                          "\"test\", \"channels\": [%1]}")
            .arg(channels);
}

QString positionerJson(int index, int sensorType = 1, const char *lowVibration = "off")
{
    return QStringLiteral("{\"index\": %1, \"positioner\": true, \"sensorType\": %2, \"speed\": "
                          "5000, \"acceleration\": 700, \"lowVibration\": \"%3\"}")
            .arg(index)
            .arg(sensorType)
            .arg(QLatin1String(lowVibration));
}

// 0 linear, 1 linear with Low Vibration on, 2 rotary without Low Vibration, 3 not a positioner.
std::vector<SimChannel> mixedChannels()
{
    return {SimChannel{0, 1, 2000000, 700000, "off"}, SimChannel{0, 40, 80000, 9000, "on"},
            SimChannel{0, 2, 3600000, 720000, "unsupported"}, SimChannel{1}};
}

} // namespace

// Every row has a controller of its own, so no row sees another's writes. The simulator reads
// its fleet and the shared state file once per process, at the first call.
const std::vector<SimSystem> &fleet()
{
    static const std::vector<SimSystem> systems = [] {
        std::vector<SimSystem> all;
        all.push_back({"usb:id:5101", {SimChannel{0, 1, 5000, 700, "off"}}});
        all.push_back({"usb:id:5103",
                       std::vector<SimChannel>(
                               12, SimChannel{0, 45, 4000000000U, 100, "on", false, 4000000000U})});
        all.push_back(
                {"usb:id:5401",
                 {SimChannel{0, 1, 1000, 100, "off"}, SimChannel{0, 40, 80000, 9000, "off"}}});
        // Mixed: saved with the form elsewhere, compared, restored.
        for (const char *locator : {"usb:id:5102", "usb:id:5201", "usb:id:5301", "usb:id:5302",
                                    "usb:id:5303", "usb:id:5304", "usb:id:5501", "usb:id:5502",
                                    "usb:id:5503", "usb:id:5504", "usb:id:5505"})
            all.push_back({locator, mixedChannels()});
        return all;
    }();
    return systems;
}

// A helper's failed check ends the test function too.
#define CHECKED(call) \
    do { \
        call; \
        if (QTest::currentTestFailed()) \
            return; \
    } while (false)

class tst_SettingsFiles : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void saveMatchesCli_data();
    void saveMatchesCli();
    void saveRefused_data();
    void saveRefused();
    void compareShowsDifferences_data();
    void compareShowsDifferences();
    void restoreCliSnapshot_data();
    void restoreCliSnapshot();
    void refusedFileWritesNothing_data();
    void refusedFileWritesNothing();

private:
    void connectWindow(const QString &locator);
    void disconnectWindow();
    // Presses the action's shortcut; the steps answer what opens.
    void press(QKeySequence keys, const std::vector<Step> &steps);
    CliRun cli(const QStringList &arguments) const;

    QTemporaryDir m_dir;
    std::unique_ptr<CliRunner> m_cli;
    Velotune *m_window = nullptr;
    std::unique_ptr<testutils::MainWidgets> m_ui;
    testutils::CallLog m_calls;
};

void tst_SettingsFiles::initTestCase()
{
    QVERIFY(m_dir.isValid());
    const QString config = m_dir.filePath(QStringLiteral("fleet.json"));
    QVERIFY(writeTo(config, QByteArray::fromStdString(testutils::fleetJson(fleet()))));
    // Before the first call into the simulator: this process and velotune-cli share the fleet
    // and the controllers' settings.
    qputenv("NEXILCONTROL_SIM_CONFIG", QFile::encodeName(config));
    qputenv("NEXILCONTROL_SIM_STATE",
            QFile::encodeName(m_dir.filePath(QStringLiteral("state.json"))));
    m_cli = std::make_unique<CliRunner>();
    nexilsim::setStatusText(7777, "Injected failure");
}

void tst_SettingsFiles::cleanup()
{
    if (m_window != nullptr && m_ui->connect->isChecked())
        disconnectWindow();
    delete m_window;
    m_window = nullptr;
    m_calls.take();
    nexilsim::clearFaults();
    nexilsim::setStatusText(7777, "Injected failure");
}

void tst_SettingsFiles::connectWindow(const QString &locator)
{
    testutils::programSettings().clear();
    m_window = new Velotune;
    QVERIFY(testutils::showAndActivate(m_window));
    m_ui = std::make_unique<testutils::MainWidgets>(m_window);
    QVERIFY(m_ui->complete());
    const int index = m_ui->locator->findText(locator);
    QVERIFY(index >= 0);
    m_ui->locator->setCurrentIndex(index);
    QTest::mouseClick(m_ui->connect, Qt::LeftButton);
    QVERIFY(m_ui->connect->isChecked());
    m_calls.take();
}

void tst_SettingsFiles::disconnectWindow()
{
    QTest::mouseClick(m_ui->connect, Qt::LeftButton);
    QVERIFY(!m_ui->connect->isChecked());
}

void tst_SettingsFiles::press(QKeySequence keys, const std::vector<Step> &steps)
{
    QVERIFY(testutils::showAndActivate(m_window));
    onModals(steps);
    testutils::unexpectedModal().clear();
    QTest::keySequence(m_window, keys);
    const int left = testutils::modalStepsLeft();
    delete testutils::modalWaiting();
    testutils::modalStepsLeft() = 0;
    QVERIFY2(testutils::unexpectedModal().isEmpty(),
             qPrintable(QStringLiteral("unexpected dialog: ") + testutils::unexpectedModal()));
    QCOMPARE(left, 0);
}

CliRun tst_SettingsFiles::cli(const QStringList &arguments) const
{
    QProcessEnvironment env = m_cli->environment();
    env.insert(QStringLiteral("NEXILCONTROL_SIM_STATE"),
               m_dir.filePath(QStringLiteral("state.json")));
    env.insert(QStringLiteral("NEXILCONTROL_SIM_CONFIG"),
               m_dir.filePath(QStringLiteral("fleet.json")));
    return m_cli->run(arguments, env);
}

void tst_SettingsFiles::saveMatchesCli_data()
{
    QTest::addColumn<QString>("locator");
    QTest::addColumn<QStringList>("set"); // velotune-cli set before the window connects
    QTest::addColumn<int>("formChannel");
    QTest::addColumn<int>("channels");

    QTest::newRow("one linear channel")
            << "usb:id:5101" << QStringList({"--channel", "0", "--speed", "1234567"}) << 0 << 1;
    QTest::newRow("mixed, form on channel 2")
            << "usb:id:5102"
            << QStringList({"--channel", "1", "--low-vibration", "off", "--acceleration", "4321"})
            << 2 << 4;
    QTest::newRow("twelve channels, values above the form's maximum")
            << "usb:id:5103" << QStringList({"--channel", "11", "--speed", "3999999999"}) << 5
            << 12;
}

void tst_SettingsFiles::saveMatchesCli()
{
    QFETCH(QString, locator);
    QFETCH(QStringList, set);
    QFETCH(int, formChannel);
    QFETCH(int, channels);
    const CliRun changed = cli(QStringList({"set", locator}) + set);
    QVERIFY2(changed.exitCode == 0, qPrintable(changed.err));

    CHECKED(connectWindow(locator));
    m_ui->channel->setValue(formChannel);
    m_calls.take();
    const QString path = m_dir.filePath(QStringLiteral("window.json"));
    QFile::remove(path);
    bool filtered = false;
    CHECKED(press(QKeySequence(Qt::CTRL | Qt::Key_S), {chooseFile(path, &filtered)}));
    QVERIFY(filtered);
    QCOMPARE(m_ui->status->currentMessage(),
             QStringLiteral("Settings of %1 saved to %2.").arg(locator, path));
    QVERIFY(writesIn(m_calls.take()).isEmpty());
    disconnectWindow();

    const CliRun diff = cli({"diff", locator, path});
    QCOMPARE(diff.out, QStringLiteral("%1 -> %2\nno differences\n").arg(locator, path));
    QCOMPARE(diff.exitCode, 0);
    // The window's file is velotune-cli's own format, every channel from 0.
    const QJsonObject saved = QJsonDocument::fromJson(contentOf(path)).object();
    QCOMPARE(saved.value(QStringLiteral("locator")).toString(), locator);
    QVERIFY(saved.value(QStringLiteral("program"))
                    .toString()
                    .startsWith(QLatin1String("Velotune ")));
    QCOMPARE(saved.value(QStringLiteral("channels")).toArray().size(), channels);
}

void tst_SettingsFiles::saveRefused_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("reads"); // whether the controller is read before the refusal

    QTest::newRow("FIFO") << "fifo"
                          << "target-fifo.json: not a regular file but a FIFO; nothing written"
                          << false;
    QTest::newRow("link to nothing")
            << "dangling"
            << "target-dangling.json: a symbolic link to a file that does not exist; nothing "
               "written"
            << false;
    QTest::newRow("read refused: the file is kept") << "file"
                                                    << "Nothing saved: channel 0: " << true;
    // Asked, No by default, and No kept it.
    QTest::newRow("write-protected: the file is kept")
            << "protected"
            << "target-protected.json is write-protected. Replace it anyway?" << false;
}

void tst_SettingsFiles::saveRefused()
{
    QFETCH(QString, kind);
    QFETCH(QString, message);
    QFETCH(bool, reads);
    const QString path = m_dir.filePath(QStringLiteral("target-%1.json").arg(kind));
    QFile::remove(path);
    const QByteArray old("{\"kept\": true}\n");
    if (kind == QLatin1String("fifo"))
        QCOMPARE(mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    else if (kind == QLatin1String("dangling"))
        QVERIFY(QFile::link(m_dir.filePath(QStringLiteral("nowhere/x.json")), path));
    else
        QVERIFY(writeTo(path, old));
    const bool writeProtected = kind == QLatin1String("protected");
    if (writeProtected)
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup));

    CHECKED(connectWindow(QStringLiteral("usb:id:5201")));
    if (reads)
        nexilsim::failNext("TQ_GetClosedLoopMoveSpeed_S", 7777);
    bool filtered = false;
    bool asked = false;
    QString warning;
    std::vector<Step> steps = {chooseFile(path, &filtered)};
    // An existing name is only replaced once the user says so.
    if (kind != QLatin1String("dangling"))
        steps.push_back(confirmReplace(&asked));
    if (writeProtected)
        steps.push_back({boxWith(QMessageBox::No), [&warning](QWidget *modal) {
                             auto *box = qobject_cast<QMessageBox *>(modal);
                             warning = box->textFormat() == Qt::PlainText
                                             && box->defaultButton() == box->button(QMessageBox::No)
                                     ? box->text()
                                     : QStringLiteral("not plain text, or Yes by default");
                             box->button(QMessageBox::No)->click();
                         }});
    else
        steps.push_back(readWarning(&warning));
    CHECKED(press(QKeySequence(Qt::CTRL | Qt::Key_S), steps));
    QVERIFY2(warning.contains(message), qPrintable(warning + m_ui->status->currentMessage()));
    QCOMPARE(asked, kind != QLatin1String("dangling"));
    const QStringList calls = m_calls.take();
    QCOMPARE(calls.isEmpty(), !reads);
    QVERIFY(writesIn(calls).isEmpty());

    struct stat info = {};
    QCOMPARE(lstat(QFile::encodeName(path).constData(), &info), 0);
    if (kind == QLatin1String("fifo"))
        QVERIFY(S_ISFIFO(info.st_mode));
    else if (kind == QLatin1String("dangling"))
        QVERIFY(S_ISLNK(info.st_mode) && !QFile::exists(path));
    else
        QCOMPARE(contentOf(path), old);
    // No temporary file is left beside it.
    QCOMPARE(QDir(m_dir.path())
                     .entryList(QDir::Files | QDir::System | QDir::Hidden)
                     .filter(QStringLiteral("target-") + kind),
             QStringList(QFileInfo(path).fileName()));
}

void tst_SettingsFiles::compareShowsDifferences_data()
{
    QTest::addColumn<QString>("locator");
    QTest::addColumn<QStringList>("set"); // velotune-cli set after the snapshot was saved
    QTest::addColumn<QString>("summary");
    QTest::addColumn<QStringList>("rows");

    QTest::newRow("same") << "usb:id:5301" << QStringList() << "%1 and %2: no differences"
                          << QStringList();
    QTest::newRow("speed") << "usb:id:5302" << QStringList({"--channel", "0", "--speed", "1500000"})
                           << "%1 and %2: 1 field(s) differ"
                           << QStringList("0 | Speed | 2.000.000 nm/sec | 1.500.000 nm/sec");
    QTest::newRow("rotary acceleration")
            << "usb:id:5303" << QStringList({"--channel", "2", "--acceleration", "123"})
            << "%1 and %2: 1 field(s) differ"
            << QStringList("2 | Acceleration | 720.000 m°/sec² | 123 m°/sec²");
    QTest::newRow("Low Vibration")
            << "usb:id:5304" << QStringList({"--channel", "1", "--low-vibration", "off"})
            << "%1 and %2: 1 field(s) differ" << QStringList("1 | Low Vibration Mode | on | off");
}

void tst_SettingsFiles::compareShowsDifferences()
{
    QFETCH(QString, locator);
    QFETCH(QStringList, set);
    QFETCH(QString, summary);
    QFETCH(QStringList, rows);
    const QString path = m_dir.filePath(QStringLiteral("compare.json"));
    QCOMPARE(cli({"save", locator, path}).exitCode, 0);
    if (!set.isEmpty())
        QCOMPARE(cli(QStringList({"set", locator}) + set).exitCode, 0);

    CHECKED(connectWindow(locator));
    bool filtered = false;
    Shown shown;
    CHECKED(press(QKeySequence(Qt::CTRL | Qt::Key_D),
                  {chooseFile(path, &filtered), answerDialog(&shown, QString(), nullptr)}));
    QVERIFY(shown.seen);
    QCOMPARE(shown.summary, summary.arg(path, locator));
    QCOMPARE(shown.rows, rows);
    QCOMPARE(shown.buttons, QStringList("Close"));
    QVERIFY(writesIn(m_calls.take()).isEmpty());
}

void tst_SettingsFiles::restoreCliSnapshot_data()
{
    QTest::addColumn<QString>("locator");
    QTest::addColumn<QStringList>("set"); // velotune-cli set after the snapshot was saved
    QTest::addColumn<QString>("refuse");  // a write the simulator refuses
    QTest::addColumn<QString>("button");
    QTest::addColumn<QStringList>("plan");
    QTest::addColumn<QStringList>("outcome");
    QTest::addColumn<QStringList>("writes");
    QTest::addColumn<bool>("matches"); // velotune-cli diff afterwards

    const QStringList set
            = {"--channel", "0", "--speed",        "1500000", "--low-vibration", "on",
               "--channel", "1", "--acceleration", "1",       "--low-vibration", "off"};
    const QStringList plan = {
            "0 | Speed | 2.000.000 nm/sec | 1.500.000 nm/sec", "0 | Low Vibration Mode | off | on",
            "1 | Acceleration | 9.000 µm/sec² | 1 µm/sec²", "1 | Low Vibration Mode | on | off"};
    // The outcome shows what was read back after the restore beside the file's value.
    const auto asAsked = [](const QString &row) {
        QStringList cells = row.split(QStringLiteral(" | "));
        cells[3] = cells[2];
        return cells.join(QStringLiteral(" | "))
                + QStringLiteral(" | written and read back as asked");
    };
    const QStringList writes = {"TQ_SetClosedLoopMoveSpeed_S(H,0,2000000)=0",
                                "TQ_Stop_S(H,0)=0",
                                "TQ_SetChannelProperty_S(H,0," + key + ",0)=0",
                                "TQ_SetClosedLoopMoveAcceleration_S(H,1,9000)=0",
                                "TQ_Stop_S(H,1)=0",
                                "TQ_SetChannelProperty_S(H,1," + key + ",1)=0"};

    QTest::newRow("restore") << "usb:id:5501" << set << ""
                             << "Restore" << plan
                             << QStringList({asAsked(plan[0]), asAsked(plan[1]), asAsked(plan[2]),
                                             asAsked(plan[3])})
                             << writes << true;
    QTest::newRow("cancel") << "usb:id:5502" << set << ""
                            << "Cancel" << plan << QStringList() << QStringList() << false;
    QTest::newRow("nothing differs")
            << "usb:id:5503" << QStringList() << ""
            << "Close" << QStringList() << QStringList() << QStringList() << true;
    // A refused write does not end the restore: the other channel's fields are still written.
    QTest::newRow("stop refused")
            << "usb:id:5504" << set << "TQ_Stop_S"
            << "Restore" << plan
            << QStringList({asAsked(plan[0]),
                            plan[1]
                                    + " | FAILED: Could not set Low Vibration Mode (Axis holding "
                                      "position?). Error: 7777 (Injected failure)",
                            asAsked(plan[2]), asAsked(plan[3])})
            << writes.mid(0, 1) + QStringList("TQ_Stop_S(H,0)=7777") + writes.mid(3) << false;
    // The refusal is reported on the channel that refused.
    QTest::newRow("acceleration refused on channel 1")
            << "usb:id:5505" << set << "TQ_SetClosedLoopMoveAcceleration_S"
            << "Restore" << plan
            << QStringList({asAsked(plan[0]), asAsked(plan[1]),
                            plan[2]
                                    + " | FAILED: Could not set acceleration value. Error: 7777 "
                                      "(Injected failure)",
                            asAsked(plan[3])})
            << writes.mid(0, 3) + QStringList("TQ_SetClosedLoopMoveAcceleration_S(H,1,9000)=7777")
                    + writes.mid(4)
            << false;
}

void tst_SettingsFiles::restoreCliSnapshot()
{
    QFETCH(QString, locator);
    QFETCH(QStringList, set);
    QFETCH(QString, refuse);
    QFETCH(QString, button);
    QFETCH(QStringList, plan);
    QFETCH(QStringList, outcome);
    QFETCH(QStringList, writes);
    QFETCH(bool, matches);
    const QString path = m_dir.filePath(QStringLiteral("restore.json"));
    QCOMPARE(cli({"save", locator, path}).exitCode, 0);
    for (int i = 0; i < set.size(); i += 6)
        QCOMPARE(cli(QStringList({"set", locator}) + set.mid(i, 6)).exitCode, 0);

    CHECKED(connectWindow(locator));
    if (!refuse.isEmpty())
        nexilsim::failNext(refuse.toStdString(), 7777);
    bool filtered = false;
    Shown planned;
    Shown done;
    CHECKED(press(QKeySequence(Qt::CTRL | Qt::Key_L),
                  {chooseFile(path, &filtered), answerDialog(&planned, button, &done)}));
    QVERIFY(planned.seen);
    QCOMPARE(planned.rows, plan);
    QCOMPARE(planned.buttons,
             plan.isEmpty() ? QStringList("Close") : QStringList({"Cancel", "Restore"}));
    // Return never writes by accident.
    if (!plan.isEmpty())
        QCOMPARE(planned.defaultButton, QStringLiteral("Cancel"));
    QCOMPARE(done.rows, outcome);
    if (button == QLatin1String("Restore"))
        QCOMPARE(done.buttons, QStringList("Close"));
    QCOMPARE(writesIn(m_calls.take()), writes);
    // The form's channel 0 shows what the controller holds now.
    nexilsim::ChannelState held{};
    QVERIFY(nexilsim::channelState(locator.toStdString(), 0, &held));
    QCOMPARE(uint32_t(m_ui->speed->value()), held.speed);
    QCOMPARE(m_ui->lowVibration->isChecked(), held.lowVibration == 1);
    disconnectWindow();

    const CliRun diff = cli({"diff", locator, path});
    QCOMPARE(diff.exitCode, matches ? 0 : 1);
}

void tst_SettingsFiles::refusedFileWritesNothing_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("comparable"); // a valid snapshot, only not of this controller

    const QString channels = positionerJson(0) + QStringLiteral(", ") + positionerJson(1, 40, "on");
    QTest::newRow("not JSON") << QByteArray("speed = 5000\n")
                              << "restore.json: not a snapshot: not valid JSON" << false;
    QTest::newRow("duplicate key")
            << snapshotJson(channels)
                       .replace(QStringLiteral("\"speed\": 5000,"),
                                QStringLiteral("\"speed\": 5000, \"speed\": 99,"))
                       .toUtf8()
            << "duplicate key \"speed\"" << false;
    QTest::newRow("other channel count")
            << snapshotJson(positionerJson(0)).toUtf8()
            << "do not match: 1 channels in the file, 2 on the controller; nothing written" << true;
    QTest::newRow("channel of another type")
            << snapshotJson(positionerJson(0)
                            + QStringLiteral(", {\"index\": 1, \"positioner\": false}"))
                       .toUtf8()
            << "do not match: channel 1 is not a positioner in the file, one on the "
               "controller; nothing written"
            << true;
    QTest::newRow("other sensor type")
            << snapshotJson(positionerJson(0) + QStringLiteral(", ") + positionerJson(1, 2, "on"))
                       .toUtf8()
            << "do not match: channel 1 is sensor type 2 in the file, 40 on the controller" << true;
    QTest::newRow("too large") << QByteArray(5 * 1024 * 1024, ' ') + snapshotJson(channels).toUtf8()
                               << "restore.json: not a snapshot: larger than 4194304 bytes"
                               << false;
}

void tst_SettingsFiles::refusedFileWritesNothing()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, message);
    QFETCH(bool, comparable);
    const QString path = m_dir.filePath(QStringLiteral("restore.json"));
    QVERIFY(writeTo(path, content));

    CHECKED(connectWindow(QStringLiteral("usb:id:5401")));
    bool filtered = false;
    QString warning;
    CHECKED(press(QKeySequence(Qt::CTRL | Qt::Key_L),
                  {chooseFile(path, &filtered), readWarning(&warning)}));
    QVERIFY2(warning.contains(message), qPrintable(warning));
    QVERIFY(writesIn(m_calls.take()).isEmpty());

    // Compare refuses what is no snapshot, and shows how a snapshot of another controller
    // differs.
    Shown shown;
    std::vector<Step> steps = {chooseFile(path, &filtered)};
    steps.push_back(comparable ? answerDialog(&shown, QString(), nullptr) : readWarning(&warning));
    warning.clear();
    CHECKED(press(QKeySequence(Qt::CTRL | Qt::Key_D), steps));
    if (comparable)
        QVERIFY(shown.seen && !shown.rows.isEmpty());
    else
        QVERIFY2(warning.contains(message), qPrintable(warning));
    QVERIFY(writesIn(m_calls.take()).isEmpty());
}

QTEST_MAIN(tst_SettingsFiles)
#include "tst_settingsfiles.moc"
