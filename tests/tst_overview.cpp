// The channel overview, driven as a user drives it, against the simulator's call log and
// against velotune-cli's view of the same fleet; also while a restore from a settings file
// writes the channels it shows.

#include "clirunner.h"
#include "snapshot.h"
#include "snapshotsession.h"
#include "testutils.h"
#include "units.h"
#include "velotune.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QtTest>

#include <memory>

using testutils::child;
using testutils::SimChannel;
using testutils::SimSystem;

namespace {

const uint32_t injected = 7777;
const QString key = QStringLiteral("16908289");
const char locator[] = "usb:id:2001";

enum Column { Index, Positioner, Sensor, Speed, Acceleration, LowVibration };

// 0 linear, off; 1 linear, on; 2 not a positioner; 3 angular, Low Vibration unsupported;
// 4 holding position; 5 speed limited to 5000.
std::vector<SimChannel> mixedChannels()
{
    SimChannel notPositioner;
    notPositioner.type = 1;
    SimChannel angular{0, 2, 3000, 400, "unsupported"};
    return {SimChannel{0, 1, 5000, 700, "off"},
            SimChannel{0, 40, 80000, 9000, "on"},
            notPositioner,
            angular,
            SimChannel{0, 1, 5000, 700, "off", true},
            SimChannel{0, 1, 5000, 700, "off", false, 5000}};
}

QStringList readChannelCalls(int channel)
{
    const QString c = QString::number(channel);
    return {"TQ_GetChannelType(H," + c + ")=0",
            "TQ_GetSensorType_S(H," + c + ")=0",
            "TQ_GetClosedLoopMoveSpeed_S(H," + c + ")=0",
            "TQ_GetClosedLoopMoveAcceleration_S(H," + c + ")=0",
            "TQ_EPK(1,2,1)=" + key,
            "TQ_GetChannelProperty_S(H," + c + "," + key + ")=0"};
}

nexilsim::ChannelState simState(uint32_t index)
{
    nexilsim::ChannelState state{};
    if (!nexilsim::channelState(locator, index, &state))
        qWarning("no channel %u", index);
    return state;
}

// A settings file holding `channels`, written by the controller layer as velotune-cli saves.
bool saveSnapshot(const QString &path, const std::vector<SimChannel> &channels)
{
    nexil::Snapshot snapshot = nexil::snapshot::stamped(QString::fromLatin1(locator));
    for (std::size_t i = 0; i < channels.size(); ++i) {
        const SimChannel &c = channels[i];
        nexil::ChannelSettings settings;
        settings.index = uint32_t(i);
        settings.positioner = c.type == 0;
        if (settings.positioner) {
            settings.sensorType = uint32_t(c.sensorType);
            settings.speed = c.speed;
            settings.acceleration = c.acceleration;
            const QLatin1String lv(c.lowVibration);
            settings.lowVibration = lv == QLatin1String("on") ? nexil::LowVibration::On
                    : lv == QLatin1String("off")              ? nexil::LowVibration::Off
                                                              : nexil::LowVibration::Unsupported;
        }
        snapshot.channels.push_back(settings);
    }
    QString error;
    if (!nexil::snapshot::writeFile(path, snapshot, &error))
        qWarning("%s", qPrintable(error));
    return error.isEmpty();
}

// Picks `path` in the file dialog, then presses Restore in the difference dialog and closes it.
void restoreFromFile(const QString &path, bool *restored)
{
    testutils::onNextModal([path, restored](QWidget *fileDialog) {
        auto *name = fileDialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        if (name == nullptr) {
            fileDialog->close();
            return;
        }
        testutils::onNextModal([restored](QWidget *dialog) {
            if (dialog->objectName() == QLatin1String("SettingsDiffDialog")) {
                const auto *box = dialog->findChild<QDialogButtonBox *>();
                for (QAbstractButton *button : box->buttons()) {
                    if (button->text().remove(QLatin1Char('&')) == QLatin1String("Restore")) {
                        *restored = true;
                        button->click();
                        break;
                    }
                }
            }
            dialog->close();
        });
        name->setText(path);
        QTest::keyClick(name, Qt::Key_Return);
    });
}

} // namespace

Q_DECLARE_METATYPE(std::vector<testutils::SimChannel>)

class tst_Overview : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void rowsMatchCli_data();
    void rowsMatchCli();
    void failedReadShowsWhy_data();
    void failedReadShowsWhy();
    void editReachesController_data();
    void editReachesController();
    void formFollowsEditOfItsChannel_data();
    void formFollowsEditOfItsChannel();
    void activatingRowSelectsChannel_data();
    void activatingRowSelectsChannel();
    void formWriteRereadsRowOnlyWhileShown_data();
    void formWriteRereadsRowOnlyWhileShown();
    void followsConnection_data();
    void followsConnection();
    void quitDropsOpenEdit_data();
    void quitDropsOpenEdit();
    void claimedChannelCountIsBounded_data();
    void claimedChannelCountIsBounded();
    void restoreKeepsRowsCurrent_data();
    void restoreKeepsRowsCurrent();

private:
    bool connectTo(const std::vector<SimSystem> &fleet);
    bool openOverview();
    QString cell(int row, int column) const;
    void edit(int row, int column, const QString &typed);

    Velotune *m_window = nullptr;
    std::unique_ptr<testutils::MainWidgets> m_ui;
    QWidget *m_overview = nullptr;
    QTableView *m_view = nullptr;
    testutils::CallLog m_calls;
};

void tst_Overview::init()
{
    testutils::programSettings().clear();
    nexilsim::setStatusText(injected, "Injected failure");
}

void tst_Overview::cleanup()
{
    delete m_window;
    m_window = nullptr;
    m_overview = nullptr;
    m_view = nullptr;
    m_calls.take();
}

// An empty fleet keeps the one loaded, with its hooks.
bool tst_Overview::connectTo(const std::vector<SimSystem> &fleet)
{
    if (!fleet.empty() && !testutils::loadFleet(fleet))
        return false;
    nexilsim::setStatusText(injected, "Injected failure");
    m_window = testutils::showNew<Velotune>();
    if (m_window == nullptr)
        return false;
    m_ui = std::make_unique<testutils::MainWidgets>(m_window);
    if (!m_ui->complete())
        return false;
    m_ui->locator->setEditText(QString::fromLatin1(locator));
    QTest::mouseClick(m_ui->connect, Qt::LeftButton);
    m_calls.take();
    return m_ui->channel->isEnabled();
}

bool tst_Overview::openOverview()
{
    auto *action = child<QAction>(m_window, "aChannels");
    if (action == nullptr)
        return false;
    action->trigger();
    m_overview = child<QWidget>(m_window, "ChannelOverview");
    if (m_overview == nullptr)
        return false;
    m_view = child<QTableView>(m_overview, "tvChannels");
    // Its own shortcut and editors need it to be the active window, as a window manager makes
    // it; the offscreen platform does not.
    QApplication::setActiveWindow(m_overview);
    return m_view != nullptr && m_overview->isWindow() && QTest::qWaitForWindowActive(m_overview);
}

QString tst_Overview::cell(int row, int column) const
{
    return m_view->model()->index(row, column).data().toString();
}

void tst_Overview::edit(int row, int column, const QString &typed)
{
    testutils::typeIntoCell(m_view, row, column, typed);
}

void tst_Overview::rowsMatchCli_data()
{
    QTest::addColumn<std::vector<SimChannel>>("channels");

    QTest::newRow("positioners, one not, one without Low Vibration") << mixedChannels();
    SimChannel huge{0, 1, 3000000000U, 10000000, "on"};
    huge.speedMax = 4294967295U;
    SimChannel aboveForm{0, 44, 100000001, 0, "off"};
    aboveForm.speedMax = 4294967295U;
    QTest::newRow("values above the form's maximum") << std::vector<SimChannel>{huge, aboveForm};
    SimChannel onlyType;
    onlyType.type = 3;
    QTest::newRow("angular sensors and a lone non-positioner") << std::vector<SimChannel>{
            SimChannel{0, 0, 1, 2, "on"}, onlyType, SimChannel{0, 45, 23456789, 1000, "off"}};
}

void tst_Overview::rowsMatchCli()
{
    QFETCH(std::vector<SimChannel>, channels);

    const std::vector<SimSystem> fleet = {{locator, channels}};
    QVERIFY(connectTo(fleet));
    QVERIFY(openOverview());

    // velotune-cli on the same fleet, in a process of its own.
    CliRunner cli;
    QTemporaryFile config;
    QVERIFY(config.open());
    config.write(QByteArray::fromStdString(testutils::fleetJson(fleet)));
    config.flush();
    QProcessEnvironment env = cli.environment();
    env.insert(QStringLiteral("NEXILCONTROL_SIM_CONFIG"), config.fileName());
    const CliRun run = cli.run(
            {QStringLiteral("show"), QString::fromLatin1(locator), QStringLiteral("--json")}, env);
    QCOMPARE(run.exitCode, 0);
    const QJsonArray shown = QJsonDocument::fromJson(run.out.toUtf8())
                                     .object()
                                     .value(QStringLiteral("channels"))
                                     .toArray();
    QCOMPARE(shown.size(), int(channels.size()));
    QCOMPARE(m_view->model()->rowCount(), shown.size());

    for (int row = 0; row < shown.size(); ++row) {
        const QJsonObject c = shown.at(row).toObject();
        const bool positioner = c.value(QStringLiteral("positioner")).toBool();
        QStringList expected = {QString::number(c.value(QStringLiteral("index")).toInt()),
                                positioner ? "yes" : "no"};
        if (positioner) {
            const auto sensor = uint32_t(c.value(QStringLiteral("sensorType")).toInt());
            expected << QStringLiteral("%1 (%2, %3)")
                                .arg(sensor)
                                .arg(nexil::speedUnit(sensor), nexil::accelerationUnit(sensor))
                     << nexil::grouped(qint64(c.value(QStringLiteral("speed")).toDouble()))
                     << nexil::grouped(qint64(c.value(QStringLiteral("acceleration")).toDouble()))
                     << c.value(QStringLiteral("lowVibration")).toString();
        } else {
            // Its type only: nothing else of it is read.
            expected << QString() << QString() << QString() << QString();
        }
        QStringList seen;
        for (int column = Index; column <= LowVibration; ++column)
            seen << cell(row, column);
        QCOMPARE(seen, expected);
        // Only what the channel has can be changed.
        const QAbstractItemModel *model = m_view->model();
        QCOMPARE(model->index(row, LowVibration).flags().testFlag(Qt::ItemIsUserCheckable),
                 positioner
                         && c.value(QStringLiteral("lowVibration"))
                                 != QLatin1String("unsupported"));
        QCOMPARE(model->index(row, Speed).flags().testFlag(Qt::ItemIsEditable), positioner);
    }
}

void tst_Overview::failedReadShowsWhy_data()
{
    QTest::addColumn<QString>("failing");
    QTest::addColumn<QString>("message");

    QTest::newRow("channel type") << "TQ_GetChannelType"
                                  << "Could not fetch current channel type. Error 7777 (Injected "
                                     "failure)";
    QTest::newRow("sensor type") << "TQ_GetSensorType_S"
                                 << "Could not fetch current sensor type. Error 7777 (Injected "
                                    "failure)";
    QTest::newRow("speed") << "TQ_GetClosedLoopMoveSpeed_S"
                           << "Could not fetch current speed from device. Error: 7777 (Injected "
                              "failure)";
    QTest::newRow("acceleration")
            << "TQ_GetClosedLoopMoveAcceleration_S"
            << "Could not fetch current acceleration from device. Error: 7777 (Injected failure)";
    QTest::newRow("Low Vibration Mode") << "TQ_GetChannelProperty_S"
                                        << "Could not fetch current Low Vibration Mode from "
                                           "device. Error: 7777 (Injected failure)";
}

void tst_Overview::failedReadShowsWhy()
{
    QFETCH(QString, failing);
    QFETCH(QString, message);

    QVERIFY(connectTo({{locator, mixedChannels()}}));
    nexilsim::failNext(failing.toStdString(), injected);
    QVERIFY(openOverview());

    // No value of the failed row is shown, and none can be edited or toggled.
    QCOMPARE(cell(0, Index), QStringLiteral("0"));
    QCOMPARE(cell(0, Positioner), message);
    QCOMPARE(m_view->columnSpan(0, Positioner), 5);
    for (int column = Sensor; column <= LowVibration; ++column) {
        QCOMPARE(cell(0, column), QString());
        QVERIFY(!(m_view->model()->flags(m_view->model()->index(0, column))
                  & (Qt::ItemIsEditable | Qt::ItemIsUserCheckable)));
    }
    // The next channel was read as usual.
    QCOMPARE(cell(1, Speed), QStringLiteral("80.000"));
    QCOMPARE(m_view->columnSpan(1, Positioner), 1);

    // Refresh reads it again and shows its values.
    m_calls.take();
    QTest::keyClick(m_overview->windowHandle(), Qt::Key_F5);
    QCOMPARE(cell(0, Speed), QStringLiteral("5.000"));
    QCOMPARE(m_view->columnSpan(0, Positioner), 1);
    QCOMPARE(m_calls.take().size(), 5 * 6 + 1);
}

void tst_Overview::editReachesController_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("typed"); // empty: Space on the cell
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<QString>("cellAfter");
    QTest::addColumn<quint32>("stored");
    QTest::addColumn<QString>("message");

    const QString prop = "TQ_GetChannelProperty_S(H,1," + key + ")=0";
    QTest::newRow("speed") << 1 << int(Speed) << "12345"
                           << QStringList{"TQ_SetClosedLoopMoveSpeed_S(H,1,12345)=0",
                                          "TQ_GetClosedLoopMoveAcceleration_S(H,1)=0",
                                          "TQ_EPK(1,2,1)=" + key, prop}
                    + readChannelCalls(1)
                           << "12.345" << 12345U << "";
    QTest::newRow("acceleration in the shown grouping")
            << 1 << int(Acceleration) << "1.234.567"
            << QStringList{"TQ_SetClosedLoopMoveAcceleration_S(H,1,1234567)=0",
                           "TQ_EPK(1,2,1)=" + key, prop}
                    + readChannelCalls(1)
            << "1.234.567" << 1234567U << "";
    QTest::newRow("Low Vibration off, stop first")
            << 1 << int(LowVibration) << ""
            << QStringList{"TQ_Stop_S(H,1)=0", "TQ_EPK(1,2,1)=" + key,
                           "TQ_SetChannelProperty_S(H,1," + key + ",0)=0",
                           "TQ_GetClosedLoopMoveSpeed_S(H,1)=0",
                           "TQ_GetClosedLoopMoveAcceleration_S(H,1)=0"}
                    + readChannelCalls(1)
            << "off" << 0U << "";
    QTest::newRow("Low Vibration on, stop first")
            << 5 << int(LowVibration) << ""
            << QStringList{"TQ_Stop_S(H,5)=0", "TQ_EPK(1,2,1)=" + key,
                           "TQ_SetChannelProperty_S(H,5," + key + ",1)=0",
                           "TQ_GetClosedLoopMoveSpeed_S(H,5)=0",
                           "TQ_GetClosedLoopMoveAcceleration_S(H,5)=0"}
                    + readChannelCalls(5)
            << "on" << 1U << "";
    QTest::newRow("typed text that is no number")
            << 1 << int(Speed) << "1.5" << QStringList() << "80.000" << 80000U
            << "\"1.5\" is not a whole number.";
    QTest::newRow("typed above the form's maximum")
            << 1 << int(Acceleration) << "10000001" << QStringList() << "9.000" << 9000U
            << "10.000.001 is above the maximum of 10.000.000.";
    QTest::newRow("speed the controller refuses")
            << 5 << int(Speed) << "6000"
            << QStringList{"TQ_SetClosedLoopMoveSpeed_S(H,5,6000)=20", "TQ_GetStatusInfo(20)=0"}
                    + readChannelCalls(5)
            << "5.000" << 5000U << "Could not set speed value. Error: 20 (Value out of range)";
    QTest::newRow("stop refused while holding")
            << 4 << int(LowVibration) << ""
            << QStringList{"TQ_Stop_S(H,4)=156", "TQ_GetStatusInfo(156)=0"} + readChannelCalls(4)
            << "off" << 0U
            << "Could not set Low Vibration Mode (Axis holding position?). Error: 156 (Channel is "
               "holding position)";
}

void tst_Overview::editReachesController()
{
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(QString, typed);
    QFETCH(QStringList, calls);
    QFETCH(QString, cellAfter);
    QFETCH(quint32, stored);
    QFETCH(QString, message);

    QVERIFY(connectTo({{locator, mixedChannels()}}));
    QVERIFY(openOverview());
    m_calls.take();

    if (typed.isEmpty()) {
        m_view->setCurrentIndex(m_view->model()->index(row, column));
        QTest::keyClick(m_view, Qt::Key_Space);
    } else {
        edit(row, column, typed);
    }
    QCOMPARE(m_calls.take(), calls);
    QCOMPARE(cell(row, column), cellAfter);
    const nexilsim::ChannelState state = simState(uint32_t(row));
    const quint32 held = column == Speed ? state.speed
            : column == Acceleration     ? state.acceleration
                                         : quint32(state.lowVibration);
    QCOMPARE(held, stored);
    QCOMPARE(m_ui->status->currentMessage(), message);
    if (!message.isEmpty() && !calls.isEmpty())
        return;
    // Refused text stays in the cell's editor for mending; leaving it writes nothing.
    if (!typed.isEmpty() && calls.isEmpty()) {
        auto *editor = m_view->findChild<QSpinBox *>();
        QVERIFY(editor && editor->isVisible());
        QCOMPARE(editor->text(), typed);
        QTest::keyClick(editor, Qt::Key_Escape);
        QCOMPARE(m_calls.take(), QStringList());
        QCOMPARE(cell(row, column), cellAfter);
    }
}

void tst_Overview::formFollowsEditOfItsChannel_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("speed");
    QTest::addColumn<QString>("acceleration");
    QTest::addColumn<bool>("lowVibration");

    QTest::newRow("speed") << int(Speed) << "4242"
                           << "4.242"
                           << "9.000" << true;
    QTest::newRow("acceleration") << int(Acceleration) << "77"
                                  << "80.000"
                                  << "77" << true;
    QTest::newRow("Low Vibration") << int(LowVibration) << ""
                                   << "80.000"
                                   << "9.000" << false;
}

void tst_Overview::formFollowsEditOfItsChannel()
{
    QFETCH(int, column);
    QFETCH(QString, typed);
    QFETCH(QString, speed);
    QFETCH(QString, acceleration);
    QFETCH(bool, lowVibration);

    QVERIFY(connectTo({{locator, mixedChannels()}}));
    m_ui->channel->setValue(1);
    QVERIFY(openOverview());
    m_calls.take();
    if (typed.isEmpty()) {
        m_view->setCurrentIndex(m_view->model()->index(1, column));
        QTest::keyClick(m_view, Qt::Key_Space);
    } else {
        edit(1, column, typed);
    }
    QCOMPARE(m_ui->speed->text(), speed);
    QCOMPARE(m_ui->acceleration->text(), acceleration);
    QCOMPARE(m_ui->lowVibration->isChecked(), lowVibration);
    QCOMPARE(m_ui->lowVibration->text(), lowVibration ? QStringLiteral("&On") : "&Off");
    // The form was shown the write's own reads and the row's; it read nothing more itself.
    QCOMPARE(m_calls.take().filter(QStringLiteral("TQ_GetChannelType")),
             QStringList{"TQ_GetChannelType(H,1)=0"});
}

void tst_Overview::activatingRowSelectsChannel_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<bool>("doubleClick");
    QTest::addColumn<int>("selected");
    QTest::addColumn<QString>("speedLabel");
    QTest::addColumn<bool>("editing");

    const QString angular = QString::fromUtf8("Speed [\u00b5\u00b0/sec]:");
    QTest::newRow("double-click on the index") << 3 << int(Index) << true << 3 << angular << false;
    QTest::newRow("Enter on the sensor")
            << 1 << int(Sensor) << false << 1 << "Speed [nm/sec]:" << false;
    QTest::newRow("Enter on a speed cell") << 3 << int(Speed) << false << 3 << angular << false;
    QTest::newRow("double-click on a speed cell edits it")
            << 3 << int(Speed) << true << 0 << "Speed [nm/sec]:" << true;
}

void tst_Overview::activatingRowSelectsChannel()
{
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(bool, doubleClick);
    QFETCH(int, selected);
    QFETCH(QString, speedLabel);
    QFETCH(bool, editing);

    QVERIFY(connectTo({{locator, mixedChannels()}}));
    QVERIFY(openOverview());
    m_calls.take();
    const QModelIndex index = m_view->model()->index(row, column);
    m_view->setCurrentIndex(index);
    if (doubleClick) {
        // What a double-click delivers: a click, then the double-click.
        const QPoint centre = m_view->visualRect(index).center();
        QTest::mouseClick(m_view->viewport(), Qt::LeftButton, {}, centre);
        QTest::mouseDClick(m_view->viewport(), Qt::LeftButton, {}, centre);
    } else
        QTest::keyClick(m_view, Qt::Key_Return);

    QCOMPARE(m_ui->channel->value(), selected);
    QCOMPARE(m_ui->speedLabel->text(), speedLabel);
    const auto *editor = m_view->findChild<QSpinBox *>();
    QCOMPARE(editor != nullptr && editor->isVisible(), editing);
    // The form's own read-back of the channel, and nothing written.
    const QStringList calls = m_calls.take();
    QCOMPARE(calls.filter(QStringLiteral("TQ_GetChannelType")).size(), selected != 0 ? 1 : 0);
    QCOMPARE(calls.filter(QStringLiteral("TQ_Set")), QStringList());
}

void tst_Overview::formWriteRereadsRowOnlyWhileShown_data()
{
    QTest::addColumn<QString>("overview"); // "shown", "closed" or "never opened"
    QTest::addColumn<QStringList>("calls");

    const QStringList write = {"TQ_SetClosedLoopMoveSpeed_S(H,0,5001)=0",
                               "TQ_GetClosedLoopMoveAcceleration_S(H,0)=0", "TQ_EPK(1,2,1)=" + key,
                               "TQ_GetChannelProperty_S(H,0," + key + ")=0"};
    QTest::newRow("shown") << "shown" << write + readChannelCalls(0);
    QTest::newRow("closed") << "closed" << write;
    QTest::newRow("never opened") << "never opened" << write;
}

void tst_Overview::formWriteRereadsRowOnlyWhileShown()
{
    QFETCH(QString, overview);
    QFETCH(QStringList, calls);

    QVERIFY(connectTo({{locator, mixedChannels()}}));
    if (overview != QLatin1String("never opened")) {
        QVERIFY(openOverview());
        if (overview == QLatin1String("closed"))
            m_overview->close();
    }
    m_calls.take();
    m_ui->speed->setFocus();
    QTest::keyClick(m_ui->speed, Qt::Key_Up);
    QCOMPARE(m_calls.take(), calls);
    if (overview == QLatin1String("never opened"))
        return;
    if (overview == QLatin1String("shown")) {
        QCOMPARE(cell(0, Speed), QStringLiteral("5.001"));
        return;
    }
    // Shown again, it reads every channel and so catches up.
    QCOMPARE(cell(0, Speed), QStringLiteral("5.000"));
    QVERIFY(openOverview());
    QCOMPARE(m_calls.take().size(), 5 * 6 + 1);
    QCOMPARE(cell(0, Speed), QStringLiteral("5.001"));
}

void tst_Overview::followsConnection_data()
{
    QTest::addColumn<QString>("failing"); // refused call of the release
    QTest::addColumn<bool>("reconnect");
    QTest::addColumn<int>("rows");

    QTest::newRow("release empties it") << "" << false << 0;
    QTest::newRow("a refused release keeps it") << "TQ_CloseSystem" << false << 6;
    QTest::newRow("a new connect fills it") << "" << true << 6;
}

void tst_Overview::followsConnection()
{
    QFETCH(QString, failing);
    QFETCH(bool, reconnect);
    QFETCH(int, rows);

    QVERIFY(connectTo({{locator, mixedChannels()}}));
    QVERIFY(openOverview());
    QCOMPARE(m_view->model()->rowCount(), 6);
    if (!failing.isEmpty())
        nexilsim::failNext(failing.toStdString(), injected);
    QTest::mouseClick(m_ui->connect, Qt::LeftButton);
    QCOMPARE(m_ui->connect->isChecked(), !failing.isEmpty());
    if (reconnect) {
        QCOMPARE(m_view->model()->rowCount(), 0);
        QTest::mouseClick(m_ui->connect, Qt::LeftButton);
        QVERIFY(m_ui->connect->isChecked());
    }
    QCOMPARE(m_view->model()->rowCount(), rows);
    if (rows > 0)
        QCOMPARE(cell(3, Sensor),
                 QStringLiteral("2 (%1, %2)").arg(nexil::speedUnit(2), nexil::accelerationUnit(2)));
}

void tst_Overview::quitDropsOpenEdit_data()
{
    QTest::addColumn<bool>("closeFirst");

    QTest::newRow("window closed, then destroyed") << true;
    QTest::newRow("window destroyed") << false;
}

void tst_Overview::quitDropsOpenEdit()
{
    QFETCH(bool, closeFirst);

    QVERIFY(connectTo({{locator, mixedChannels()}}));
    QVERIFY(openOverview());
    m_view->setCurrentIndex(m_view->model()->index(1, Speed));
    QTest::keyClick(m_view, Qt::Key_F2);
    auto *editor = m_view->findChild<QSpinBox *>();
    QVERIFY(editor);
    QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(editor, QStringLiteral("4242"));
    m_calls.take();
    if (closeFirst) {
        m_window->close();
        QCoreApplication::processEvents();
    }
    delete m_window;
    m_window = nullptr;
    QCoreApplication::processEvents();
    // Quitting makes no controller call, whatever was being typed.
    QCOMPARE(m_calls.take(), QStringList());
    QCOMPARE(simState(1).speed, 80000U);
}

void tst_Overview::claimedChannelCountIsBounded_data()
{
    QTest::addColumn<quint32>("claimed");
    QTest::addColumn<bool>("served");

    QTest::newRow("as many as are shown") << 1024U << true;
    // The one bound of every front end: released at once, before the overview reads a row.
    QTest::newRow("one more") << 1025U << false;
    QTest::newRow("the most a count can say") << 4294967295U << false;
}

void tst_Overview::claimedChannelCountIsBounded()
{
    QFETCH(quint32, claimed);
    QFETCH(bool, served);

    // A controller that claims far more channels than it has must not freeze the window.
    QVERIFY(testutils::loadFleet({{locator, mixedChannels()}}));
    testutils::forceValue({"TQ_GetNumberOfChannels"}, claimed);
    QCOMPARE(connectTo({}), served);
    if (!served) {
        QCOMPARE(m_window->statusBar()->currentMessage(),
                 QStringLiteral("Device claims %1 channels; Velotune serves at most 1024.")
                         .arg(claimed));
        QVERIFY(openOverview());
        QCOMPARE(m_view->model()->rowCount(), 0);
        return;
    }
    QVERIFY(openOverview());
    QCOMPARE(m_view->model()->rowCount(), 1024);
    auto *label = child<QLabel>(m_overview, "lNote");
    QVERIFY(label);
    QVERIFY(!label->isVisible());
    QCOMPARE(cell(5, Speed), QStringLiteral("5.000"));
    QCOMPARE(cell(1023, Positioner),
             QStringLiteral("Could not fetch current channel type. Error 19 (Invalid channel "
                            "index)"));
}

void tst_Overview::restoreKeepsRowsCurrent_data()
{
    QTest::addColumn<std::vector<SimChannel>>("file");
    QTest::addColumn<QString>("failing");
    QTest::addColumn<QStringList>("cells"); // "row,column text" after the restore

    // The form stays on channel 0.
    std::vector<SimChannel> file = mixedChannels();
    file[1].speed = 90000;
    QTest::newRow("a channel not the form's") << file << "" << QStringList{"1,3 90.000"};

    file = mixedChannels();
    file[0].acceleration = 800;
    file[0].lowVibration = "on";
    file[3].speed = 3500;
    QTest::newRow("the form's channel and another")
            << file << "" << QStringList{"0,4 800", "0,5 on", "3,3 3.500"};

    file = mixedChannels();
    file[1].speed = 90000;
    file[1].acceleration = 9500;
    QTest::newRow("a refused write, the next field written")
            << file << "TQ_SetClosedLoopMoveSpeed_S" << QStringList{"1,3 80.000", "1,4 9.500"};

    file = mixedChannels();
    file[5].speed = 6000;
    QTest::newRow("above the channel's range") << file << "" << QStringList{"5,3 5.000"};
}

void tst_Overview::restoreKeepsRowsCurrent()
{
    QFETCH(std::vector<SimChannel>, file);
    QFETCH(QString, failing);
    QFETCH(QStringList, cells);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("bench.json"));
    QVERIFY(saveSnapshot(path, file));
    QVERIFY(connectTo({{locator, mixedChannels()}}));
    QVERIFY(openOverview());
    m_calls.take();

    if (!failing.isEmpty())
        nexilsim::failNext(failing.toStdString(), injected);
    bool restored = false;
    restoreFromFile(path, &restored);
    child<QAction>(m_window, "aRestoreSettings")->trigger();
    QVERIFY(restored);
    QVERIFY(!m_calls.take().filter(QStringLiteral("TQ_Set")).isEmpty());

    for (const QString &expected : cells) {
        const int row = expected.section(QLatin1Char(','), 0, 0).toInt();
        const int column
                = expected.section(QLatin1Char(','), 1).section(QLatin1Char(' '), 0, 0).toInt();
        QCOMPARE(cell(row, column), expected.section(QLatin1Char(' '), 1));
    }
    // Every row shows what the controller holds, and so does the form of its channel.
    for (int row = 0; row < m_view->model()->rowCount(); ++row) {
        if (row == 2)
            continue; // not a positioner
        const nexilsim::ChannelState state = simState(uint32_t(row));
        QCOMPARE(cell(row, Speed), nexil::grouped(state.speed));
        QCOMPARE(cell(row, Acceleration), nexil::grouped(state.acceleration));
        if (row != 3)
            QCOMPARE(cell(row, LowVibration),
                     state.lowVibration == 1 ? QStringLiteral("on") : QStringLiteral("off"));
    }
    const nexilsim::ChannelState form = simState(0);
    QCOMPARE(quint32(m_ui->speed->value()), form.speed);
    QCOMPARE(quint32(m_ui->acceleration->value()), form.acceleration);
    QCOMPARE(m_ui->lowVibration->isChecked(), form.lowVibration == 1);
}

QTEST_MAIN(tst_Overview)
#include "tst_overview.moc"
