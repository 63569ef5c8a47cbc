// velotune-cli end to end: the real executable against the simulator, several processes
// sharing one controller through the simulator's state file.

#include "clirunner.h"
#include "nexilcontrol.h"

#include <csignal>
#include <sys/types.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

const QString first = QStringLiteral("usb:id:31415926");
const QString second = QStringLiteral("usb:id:27182818"); // channel 1 is not a positioner

QJsonArray channelsOf(const QByteArray &json)
{
    return QJsonDocument::fromJson(json).object().value(QStringLiteral("channels")).toArray();
}

QByteArray fileContent(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestCli : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // This process shares the state file of busySystemIsRefused's runs; it must be set
        // before the first call into the simulator.
        QVERIFY(m_shared.isValid());
        qputenv("NEXILCONTROL_SIM_STATE", m_shared.filePath(QStringLiteral("state.json")).toUtf8());
    }

    void saveSetDiffRestore()
    {
        CliRunner cli;
        QCOMPARE(cli.run({QStringLiteral("save"), first, QStringLiteral("before.json")}).exitCode,
                 0);

        const CliRun speed = cli.run({QStringLiteral("set"), first, QStringLiteral("--channel"),
                                      QStringLiteral("0"), QStringLiteral("--speed"),
                                      QStringLiteral("1500000")});
        QCOMPARE(speed.exitCode, 0);
        QVERIFY2(speed.out.contains(QStringLiteral("channel 0 speed: 2.000.000 -> 1.500.000")),
                 qPrintable(speed.out));
        // The window's speed write: the write, then acceleration and Low Vibration read back.
        const QStringList speedCalls = speed.calls();
        const int write = int(speedCalls.indexOf(QStringLiteral("TQ_SetClosedLoopMoveSpeed_S")));
        QVERIFY(write > 0);
        QCOMPARE(
                speedCalls.mid(write, 4),
                QStringList({QStringLiteral("TQ_SetClosedLoopMoveSpeed_S"),
                             QStringLiteral("TQ_GetClosedLoopMoveAcceleration_S"),
                             QStringLiteral("TQ_EPK"), QStringLiteral("TQ_GetChannelProperty_S")}));

        const CliRun lowVibration = cli.run(
                {QStringLiteral("set"), first, QStringLiteral("--channel"), QStringLiteral("1"),
                 QStringLiteral("--low-vibration"), QStringLiteral("off")});
        QCOMPARE(lowVibration.exitCode, 0);
        // Stop first, then the key and the property, then speed and acceleration read back.
        const QStringList lvCalls = lowVibration.calls();
        const int stop = int(lvCalls.indexOf(QStringLiteral("TQ_Stop_S")));
        QVERIFY(stop > 0);
        QCOMPARE(lvCalls.mid(stop, 5),
                 QStringList({QStringLiteral("TQ_Stop_S"), QStringLiteral("TQ_EPK"),
                              QStringLiteral("TQ_SetChannelProperty_S"),
                              QStringLiteral("TQ_GetClosedLoopMoveSpeed_S"),
                              QStringLiteral("TQ_GetClosedLoopMoveAcceleration_S")}));

        QCOMPARE(cli.run({QStringLiteral("set"), first, QStringLiteral("--channel"),
                          QStringLiteral("2"), QStringLiteral("--acceleration"),
                          QStringLiteral("123")})
                         .exitCode,
                 0);

        const CliRun differs
                = cli.run({QStringLiteral("diff"), first, QStringLiteral("before.json")});
        QCOMPARE(differs.exitCode, 1);
        QCOMPARE(differs.out,
                 QStringLiteral("usb:id:31415926 -> before.json\n"
                                "channel 0 speed: 1.500.000 nm/sec -> 2.000.000 nm/sec\n"
                                "channel 1 lowVibration: off -> on\n"
                                "channel 2 acceleration: 123 m°/sec² -> 2.000.000 m°/sec²\n"));

        const CliRun dryRun = cli.run({QStringLiteral("restore"), first,
                                       QStringLiteral("before.json"), QStringLiteral("--dry-run")});
        QCOMPARE(dryRun.exitCode, 0);
        QVERIFY(!dryRun.wrote());
        QCOMPARE(dryRun.out.count(QStringLiteral("would write")), 3);

        const CliRun restore
                = cli.run({QStringLiteral("restore"), first, QStringLiteral("before.json")});
        QCOMPARE(restore.exitCode, 0);
        QCOMPARE(restore.count("TQ_SetClosedLoopMoveSpeed_S"), 1);
        QCOMPARE(restore.count("TQ_SetClosedLoopMoveAcceleration_S"), 1);
        QCOMPARE(restore.count("TQ_SetChannelProperty_S"), 1);
        QCOMPARE(restore.count("TQ_Stop_S"), 1);
        QCOMPARE(restore.out.count(QStringLiteral(" restored\n")), 3);

        const CliRun same = cli.run({QStringLiteral("diff"), first, QStringLiteral("before.json")});
        QCOMPARE(same.exitCode, 0);
        QCOMPARE(same.out, QStringLiteral("usb:id:31415926 -> before.json\nno differences\n"));

        const CliRun show = cli.run({QStringLiteral("show"), first, QStringLiteral("--json")});
        QCOMPARE(show.exitCode, 0);
        QCOMPARE(channelsOf(show.out.toUtf8()),
                 channelsOf(fileContent(cli.path(QStringLiteral("before.json")))));

        // Two files: the same comparison without a controller.
        QCOMPARE(cli.run({QStringLiteral("save"), first, QStringLiteral("after.json")}).exitCode,
                 0);
        const CliRun files = cli.run({QStringLiteral("diff"), QStringLiteral("after.json"),
                                      QStringLiteral("before.json")});
        QCOMPARE(files.exitCode, 0);
        QCOMPARE(files.calls(), QStringList());
    }

    void readsAreTheWindowsReads_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("locator");
        QTest::addColumn<int>("positioners");
        QTest::addColumn<int>("others");
        QTest::newRow("show") << QStringList{QStringLiteral("show")} << first << 3 << 0;
        QTest::newRow("show --json")
                << QStringList{QStringLiteral("show"), QStringLiteral("--json")} << second << 2
                << 1;
        QTest::newRow("show --channel")
                << QStringList{QStringLiteral("show"), QStringLiteral("--channel"),
                               QStringLiteral("2")}
                << first << 1 << 0;
        QTest::newRow("save") << QStringList{QStringLiteral("save"), QStringLiteral("s.json")}
                              << second << 2 << 1;
    }

    void readsAreTheWindowsReads()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, locator);
        QFETCH(int, positioners);
        QFETCH(int, others);
        arguments.insert(1, locator);
        CliRunner cli;
        const CliRun run = cli.run(arguments);
        QCOMPARE(run.exitCode, 0);
        const QStringList calls = run.calls();
        QCOMPARE(calls.first(), QStringLiteral("TQ_OpenSystem"));
        QCOMPARE(calls.at(1), QStringLiteral("TQ_GetNumberOfChannels"));
        QCOMPARE(calls.last(), QStringLiteral("TQ_CloseSystem"));
        // Five reads (and the property key) per positioner channel; only the type of others.
        QCOMPARE(run.count("TQ_GetChannelType"), positioners + others);
        for (const char *read :
             {"TQ_GetSensorType_S", "TQ_GetClosedLoopMoveSpeed_S",
              "TQ_GetClosedLoopMoveAcceleration_S", "TQ_EPK", "TQ_GetChannelProperty_S"})
            QCOMPARE(run.count(read), positioners);
        QCOMPARE(calls.size(), 3 + 6 * positioners + others);
        QCOMPARE(run.count("TQ_FindSystems"), 0);
    }

    void numbersArePlainDigits_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("message");
        const auto set = [](const char *option, const char *value) {
            QStringList a = {QStringLiteral("set"), first, QStringLiteral("--channel"),
                             QStringLiteral("0")};
            if (QByteArray(option) == "--channel")
                a = QStringList{QStringLiteral("set"), first};
            return a + QStringList{QLatin1String(option), QLatin1String(value)};
        };
        QTest::newRow("fraction") << set("--speed", "1.5") << "--speed 1.5: not a number";
        QTest::newRow("grouped") << set("--speed", "1,000") << "--speed 1,000: not a number";
        QTest::newRow("dot grouped")
                << set("--acceleration", "1.000") << "--acceleration 1.000: not a number";
        QTest::newRow("negative") << set("--acceleration", "-3")
                                  << "--acceleration -3: not a number";
        QTest::newRow("2^32") << set("--speed", "4294967296") << "--speed 4294967296: not a number";
        QTest::newRow("plus sign") << set("--speed", "+5") << "--speed +5: not a number";
        QTest::newRow("empty") << set("--speed", "") << "--speed : not a number";
        QTest::newRow("channel") << set("--channel", "x1") << "--channel x1: not a number";
        QTest::newRow("show channel")
                << QStringList{QStringLiteral("show"), first, QStringLiteral("--channel"),
                               QStringLiteral("-1")}
                << "--channel -1: not a number";
        QTest::newRow("low vibration")
                << set("--low-vibration", "1") << "--low-vibration 1: expected on or off";
        QTest::newRow("option of another command")
                << QStringList{QStringLiteral("save"), first, QStringLiteral("f.json"),
                               QStringLiteral("--json")}
                << "save does not take --json";
    }

    void numbersArePlainDigits()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);
        CliRunner cli;
        const CliRun run = cli.run(arguments);
        QCOMPARE(run.exitCode, 2);
        QVERIFY2(run.err.contains(message), qPrintable(run.err));
        QCOMPARE(run.calls(), QStringList());
    }

    void setReportsWhatTheControllerRefused()
    {
        CliRunner cli;
        // Channel 2 of the second controller takes speeds from 1000 to 50000000 only.
        const CliRun run
                = cli.run({QStringLiteral("set"), second, QStringLiteral("--channel"),
                           QStringLiteral("2"), QStringLiteral("--speed"), QStringLiteral("10")});
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.contains(QStringLiteral(
                         "channel 2: Could not set speed value. Error: 20 (Value out of range)")),
                 qPrintable(run.err));
        QVERIFY2(run.out.contains(QStringLiteral("(asked for 10)")), qPrintable(run.out));
        // A holding channel refuses the stop: the property is never written.
        const CliRun holding = cli.run({QStringLiteral("set"), second, QStringLiteral("--channel"),
                                        QStringLiteral("0"), QStringLiteral("--low-vibration"),
                                        QStringLiteral("on")});
        QCOMPARE(holding.exitCode, 1);
        QVERIFY2(holding.err.contains(QStringLiteral(
                         "Could not set Low Vibration Mode (Axis holding position?). Error: 156")),
                 qPrintable(holding.err));
        QCOMPARE(holding.count("TQ_SetChannelProperty_S"), 0);
    }

    void busySystemIsRefused()
    {
        CliRunner cli;
        QProcessEnvironment env = cli.environment();
        env.insert(QStringLiteral("NEXILCONTROL_SIM_STATE"),
                   m_shared.filePath(QStringLiteral("state.json")));
        uint32_t system = 0;
        const QByteArray locator = first.toUtf8();
        QCOMPARE(TQ_OpenSystem(&system, locator.constData(), "sync"), 0u);
        const CliRun busy = cli.run({QStringLiteral("show"), first}, env);
        QCOMPARE(TQ_CloseSystem(system), 0u);
        QCOMPARE(busy.exitCode, 4);
        QVERIFY2(busy.err.contains(
                         QStringLiteral(
                                 "Could not connect to Nexil. Error: 17 (System usb:id:31415926 "
                                 "is held open by another program (process %1))")
                                 .arg(QCoreApplication::applicationPid())),
                 qPrintable(busy.err));
        QCOMPARE(
                busy.calls(),
                QStringList({QStringLiteral("TQ_OpenSystem"), QStringLiteral("TQ_GetStatusInfo")}));
        // Released here, usable there.
        QCOMPARE(cli.run({QStringLiteral("show"), first}, env).exitCode, 0);
    }

    void signalsReleaseTheController_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
    }

    void signalsReleaseTheController()
    {
        QFETCH(int, signal);
        CliRunner cli;
        QFile config(cli.path(QStringLiteral("slow.json")));
        QVERIFY(config.open(QIODevice::WriteOnly));
        config.write(R"({"latencyMicroseconds": 100000,
                        "systems": [{"locator": "usb:id:1", "channels": [{}, {}, {}, {}]}]})");
        config.close();
        QProcessEnvironment env = cli.environment();
        env.insert(QStringLiteral("NEXILCONTROL_SIM_CONFIG"), config.fileName());

        QProcess process;
        process.setProcessEnvironment(env);
        process.start(
                QStringLiteral(VELOTUNE_CLI),
                {QStringLiteral("--trace"), QStringLiteral("show"), QStringLiteral("usb:id:1")});
        QVERIFY(process.waitForStarted());
        QByteArray err;
        // Once the channel count is in, the system is open and the reads are under way.
        QTRY_VERIFY_WITH_TIMEOUT(
                (err += process.readAllStandardError()).contains("TQ_GetNumberOfChannels"), 10000);
        ::kill(pid_t(process.processId()), signal);
        QVERIFY(process.waitForFinished(10000));
        err += process.readAllStandardError();
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 128 + signal);
        QVERIFY2(err.contains("TQ_CloseSystem(systemIndex 1) = 0"), err.constData());
        QVERIFY(process.readAllStandardOutput().isEmpty());
        // The next program gets it at once.
        QCOMPARE(cli.run({QStringLiteral("show"), QStringLiteral("usb:id:1"),
                          QStringLiteral("--channel"), QStringLiteral("0")},
                         env)
                         .exitCode,
                 0);
    }

    void brokenStateFileIsAConfigurationError()
    {
        CliRunner cli;
        QFile state(cli.statePath());
        QVERIFY(state.open(QIODevice::WriteOnly));
        state.write(
                R"({"format": "nexilsim-state", "version": 1, "systems": {"usb:id:31415926": [{}]}})");
        state.close();
        const CliRun run = cli.run({QStringLiteral("list")});
        QCOMPARE(run.exitCode, 4);
        QVERIFY2(run.err.contains(
                         QStringLiteral("Error: 5 (State file '%1' is unusable: system "
                                        "\"usb:id:31415926\": expected 3 channels (delete it "
                                        "to start again from the fleet's settings))")
                                 .arg(cli.statePath())),
                 qPrintable(run.err));
        QVERIFY(QFile::remove(cli.statePath()));
        QCOMPARE(cli.run({QStringLiteral("list")}).out,
                 first + QLatin1Char('\n') + second + QLatin1Char('\n'));
    }

private:
    QTemporaryDir m_shared;
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
