// velotune-cli end to end: the real executable against the simulator, several processes
// sharing one controller through the simulator's state file.

#include "clirunner.h"
#include "nexilcontrol.h"

#include <csignal>
#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
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

class tst_Cli : public QObject
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
        QTest::addColumn<QString>("command");
        // The trace line after which the signal is sent.
        QTest::addColumn<QByteArray>("sendAfter");
        QTest::addColumn<QString>("output");
        QTest::newRow("SIGTERM") << int(SIGTERM) << "show" << QByteArray("TQ_GetNumberOfChannels")
                                 << QString();
        QTest::newRow("SIGINT") << int(SIGINT) << "show" << QByteArray("TQ_GetNumberOfChannels")
                                << QString();
        // Written but not yet read back: the write is still reported.
        QTest::newRow("SIGTERM during a restore")
                << int(SIGTERM) << "restore" << QByteArray("TQ_SetClosedLoopMoveSpeed_S")
                << "channel 0 speed: 1.000.000 -> 2.000.000 written, not read back\n";
        // A closed terminal and Ctrl+\\ alike.
        QTest::newRow("SIGHUP during a restore")
                << int(SIGHUP) << "restore" << QByteArray("TQ_SetClosedLoopMoveSpeed_S")
                << "channel 0 speed: 1.000.000 -> 2.000.000 written, not read back\n";
        QTest::newRow("SIGQUIT") << int(SIGQUIT) << "show" << QByteArray("TQ_GetNumberOfChannels")
                                 << QString();
    }

    void signalsReleaseTheController()
    {
        QFETCH(int, signal);
        QFETCH(QString, command);
        QFETCH(QByteArray, sendAfter);
        QFETCH(QString, output);
        CliRunner cli;
        QFile config(cli.path(QStringLiteral("slow.json")));
        QVERIFY(config.open(QIODevice::WriteOnly));
        config.write(R"({"latencyMicroseconds": 50000,
                        "systems": [{"locator": "usb:id:1", "channels": [{}, {}, {}, {}]}]})");
        config.close();
        QProcessEnvironment env = cli.environment();
        env.insert(QStringLiteral("NEXILCONTROL_SIM_CONFIG"), config.fileName());
        // Every channel's speed doubled from the fleet's 1000000: four writes planned.
        QJsonArray channels;
        for (int i = 0; i < 4; ++i)
            channels.append(QJsonObject({{QStringLiteral("index"), i},
                                         {QStringLiteral("positioner"), true},
                                         {QStringLiteral("sensorType"), 1},
                                         {QStringLiteral("speed"), 2000000},
                                         {QStringLiteral("acceleration"), 100000},
                                         {QStringLiteral("lowVibration"), QStringLiteral("off")}}));
        QFile snapshot(cli.path(QStringLiteral("faster.json")));
        QVERIFY(snapshot.open(QIODevice::WriteOnly));
        snapshot.write(QJsonDocument(QJsonObject({{QStringLiteral("format"),
                                                   QStringLiteral("velotune-snapshot")},
                                                  {QStringLiteral("version"), 1},
                                                  {QStringLiteral("locator"), QString()},
                                                  {QStringLiteral("savedAt"), QString()},
                                                  {QStringLiteral("program"), QString()},
                                                  {QStringLiteral("channels"), channels}}))
                               .toJson());
        snapshot.close();

        QProcess process;
        process.setProcessEnvironment(env);
        QStringList arguments = {QStringLiteral("--trace"), command, QStringLiteral("usb:id:1")};
        if (command == QLatin1String("restore"))
            arguments << snapshot.fileName();
        process.start(QStringLiteral(VELOTUNE_CLI), arguments);
        QVERIFY(process.waitForStarted());
        QByteArray err;
        // Once the channel count is in, the system is open and the reads are under way.
        QTRY_VERIFY_WITH_TIMEOUT((err += process.readAllStandardError()).contains(sendAfter),
                                 10000);
        ::kill(pid_t(process.processId()), signal);
        QVERIFY(process.waitForFinished(10000));
        err += process.readAllStandardError();
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 128 + signal);
        QVERIFY2(err.contains("TQ_CloseSystem(systemIndex 1) = 0"), err.constData());
        const QString out = QString::fromUtf8(process.readAllStandardOutput());
        if (output.isEmpty())
            QCOMPARE(out, QString());
        else
            QVERIFY2(out.startsWith(output) && out.contains(QStringLiteral("not read back")),
                     qPrintable(out));
        // The next program gets it at once.
        QCOMPARE(cli.run({QStringLiteral("show"), QStringLiteral("usb:id:1"),
                          QStringLiteral("--channel"), QStringLiteral("0")},
                         env)
                         .exitCode,
                 0);
    }

    // The controller's answers are bent from inside the child (clifaults.cpp), after the same
    // three changes to the first controller.
    void writesAreReportedHoweverTheCommandEnds_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("faults");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QString>("never");
        const QString afterSpeed = QStringLiteral(
                "fail TQ_GetClosedLoopMoveSpeed_S 32 after TQ_SetClosedLoopMoveSpeed_S");
        QTest::newRow("restore, read fails after the writes")
                << QStringList{QStringLiteral("restore"), first, QStringLiteral("before.json")}
                << afterSpeed << 4
                << QStringList{QStringLiteral("channel 0 speed: 1.500.000 -> 2.000.000 written, "
                                              "not read back"),
                               QStringLiteral("channel 1 lowVibration: off -> on written, not "
                                              "read back"),
                               QStringLiteral("channel 2 acceleration: 123 -> 2.000.000 written, "
                                              "not read back"),
                               QStringLiteral("stopped after 3 of 3 planned write(s)")}
                << "restored";
        // set reads nothing but the write's own reads: one of them fails.
        QTest::newRow("set, read fails after the write")
                << QStringList{QStringLiteral("set"),       first,
                               QStringLiteral("--channel"), QStringLiteral("0"),
                               QStringLiteral("--speed"),   QStringLiteral("1800000")}
                << QStringLiteral("fail TQ_GetClosedLoopMoveAcceleration_S 32 after "
                                  "TQ_SetClosedLoopMoveSpeed_S")
                << 4
                << QStringList{QStringLiteral(
                           "channel 0 speed: 1.500.000 -> 1.800.000 written, not read back")}
                << "channel  positioner";
        // Refused, though the controller then happens to hold the value asked for.
        QTest::newRow("restore, refused write reads back as asked")
                << QStringList{QStringLiteral("restore"), first, QStringLiteral("before.json"),
                               QStringLiteral("--channel"), QStringLiteral("0")}
                << "fail TQ_SetClosedLoopMoveSpeed_S 32; value TQ_GetClosedLoopMoveSpeed_S "
                   "2000000 after TQ_SetClosedLoopMoveSpeed_S"
                << 1
                << QStringList{QStringLiteral("channel 0 speed: 1.500.000 -> 2.000.000 FAILED: "
                                              "channel 0: Could not set speed value. Error: 32")}
                << "restored";
        // Reported on the channel that refused, not the first.
        QTest::newRow("restore, refused on channel 2")
                << QStringList{QStringLiteral("restore"), first, QStringLiteral("before.json")}
                << "fail TQ_SetClosedLoopMoveAcceleration_S 32" << 1
                << QStringList{QStringLiteral("channel 2 acceleration: 123 -> 2.000.000 FAILED: "
                                              "channel 2: Could not set acceleration value. "
                                              "Error: 32"),
                               QStringLiteral("channel 0 speed: 1.500.000 -> 2.000.000 restored")}
                << "not read back";
        QTest::newRow("set, refused write reads back as asked")
                << QStringList{QStringLiteral("set"),       first,
                               QStringLiteral("--channel"), QStringLiteral("0"),
                               QStringLiteral("--speed"),   QStringLiteral("1800000")}
                << "fail TQ_SetClosedLoopMoveSpeed_S 32; value TQ_GetClosedLoopMoveSpeed_S "
                   "1800000 after TQ_SetClosedLoopMoveSpeed_S"
                << 1
                << QStringList{QStringLiteral("channel 0 speed: 1.500.000 -> 1.800.000 FAILED: "
                                              "channel 0: Could not set speed value. Error: 32")}
                << "not read back";
    }

    void writesAreReportedHoweverTheCommandEnds()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, faults);
        QFETCH(int, exitCode);
        QFETCH(QStringList, lines);
        QFETCH(QString, never);
        CliRunner cli;
        QCOMPARE(cli.run({QStringLiteral("save"), first, QStringLiteral("before.json")}).exitCode,
                 0);
        for (const QStringList &change :
             {QStringList{QStringLiteral("0"), QStringLiteral("--speed"),
                          QStringLiteral("1500000")},
              QStringList{QStringLiteral("1"), QStringLiteral("--low-vibration"),
                          QStringLiteral("off")},
              QStringList{QStringLiteral("2"), QStringLiteral("--acceleration"),
                          QStringLiteral("123")}})
            QCOMPARE(cli.run(QStringList{QStringLiteral("set"), first, QStringLiteral("--channel")}
                             + change)
                             .exitCode,
                     0);

        QProcessEnvironment env = cli.environment();
        env.insert(QStringLiteral("NEXILCONTROL_LIBRARY"), QStringLiteral(FAULTS_LIBRARY));
        env.insert(QStringLiteral("NEXILSIM_TEST_FAULTS"), faults);
        const CliRun run = cli.run(arguments, env);
        QCOMPARE(run.exitCode, exitCode);
        for (const QString &line : lines)
            QVERIFY2(run.out.contains(line), qPrintable(run.out + run.err));
        QVERIFY2(!run.out.contains(never), qPrintable(run.out));
        QCOMPARE(run.count("TQ_CloseSystem"), 1);
    }

    // A controller claiming more channels than any front end serves gives one message at once,
    // before any channel is read, and is released.
    void channelBound_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("count");
        const QStringList commands[]
                = {{QStringLiteral("show"), first},
                   {QStringLiteral("save"), first, QStringLiteral("s.json")},
                   {QStringLiteral("diff"), first, QStringLiteral("b.json")},
                   {QStringLiteral("restore"), first, QStringLiteral("b.json")},
                   {QStringLiteral("set"), first, QStringLiteral("--channel"), QStringLiteral("0"),
                    QStringLiteral("--speed"), QStringLiteral("5")}};
        for (const QStringList &command : commands)
            for (const char *count : {"4294967295", "1025"})
                QTest::addRow("%s, %s channels", qPrintable(command.first()), count)
                        << command << QString::fromLatin1(count);
    }

    void channelBound()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, count);
        CliRunner cli;
        QCOMPARE(cli.run({QStringLiteral("save"), first, QStringLiteral("b.json")}).exitCode, 0);
        QProcessEnvironment env = cli.environment();
        env.insert(QStringLiteral("NEXILCONTROL_LIBRARY"), QStringLiteral(FAULTS_LIBRARY));
        env.insert(QStringLiteral("NEXILSIM_TEST_FAULTS"),
                   QStringLiteral("value TQ_GetNumberOfChannels ") + count);
        const CliRun run = cli.run(arguments, env);
        QCOMPARE(run.exitCode, 4);
        QCOMPARE(run.out, QString());
        QStringList said; // stderr without the trace
        for (const QString &line : run.err.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            if (!line.startsWith(QLatin1String("velotune.controller: ")))
                said << line;
        QCOMPARE(said,
                 QStringList("velotune-cli: " + first + QStringLiteral(": Device claims ") + count
                             + QStringLiteral(" channels; Velotune serves at most 1024.")));
        QCOMPARE(run.calls(),
                 QStringList({QStringLiteral("TQ_OpenSystem"),
                              QStringLiteral("TQ_GetNumberOfChannels"),
                              QStringLiteral("TQ_CloseSystem")}));
        QVERIFY(!QFileInfo::exists(cli.path(QStringLiteral("s.json"))));
    }

    void setWritesOnlyWhatDiffers_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("calls");
        QTest::addColumn<QString>("line");
        QTest::newRow("Low Vibration already off, channel holding")
                << QStringList{second, QStringLiteral("--channel"), QStringLiteral("0"),
                               QStringLiteral("--low-vibration"), QStringLiteral("off")}
                << QStringList() << "channel 0 lowVibration: off -> off (already so, not written)";
        QTest::newRow("speed already so")
                << QStringList{first, QStringLiteral("--channel"), QStringLiteral("0"),
                               QStringLiteral("--speed"), QStringLiteral("2000000")}
                << QStringList()
                << "channel 0 speed: 2.000.000 -> 2.000.000 (already so, not written)";
        QTest::newRow("one of two differs")
                << QStringList{first,
                               QStringLiteral("--channel"),
                               QStringLiteral("1"),
                               QStringLiteral("--speed"),
                               QStringLiteral("500000"),
                               QStringLiteral("--low-vibration"),
                               QStringLiteral("off")}
                << QStringList{QStringLiteral("TQ_Stop_S"),
                               QStringLiteral("TQ_SetChannelProperty_S")}
                << "channel 1 lowVibration: on -> off\n";
    }

    void setWritesOnlyWhatDiffers()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, calls);
        QFETCH(QString, line);
        CliRunner cli;
        const CliRun run = cli.run(QStringList(QStringLiteral("set")) + arguments);
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.out.contains(line), qPrintable(run.out));
        QVERIFY2(!run.err.contains(QStringLiteral("Error")), qPrintable(run.err));
        QStringList made;
        for (const QString &call : run.calls()) {
            if (call == QLatin1String("TQ_Stop_S") || call.startsWith(QLatin1String("TQ_Set")))
                made << call;
        }
        QCOMPARE(made, calls);
    }

    // restore --field: only the named fields are written and count for the outcome.
    void restoreFields_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("setters");
        QTest::addColumn<QString>("text"); // in the output

        QTest::newRow("speed") << QStringList{"--field", "speed"} << 0
                               << QStringList{"TQ_SetClosedLoopMoveSpeed_S"}
                               << "usb:id:31415926 matches before.json (1 field(s) written)";
        QTest::newRow("repeated, two fields")
                << QStringList{"--field", "lowVibration", "--field", "speed", "--field", "speed"}
                << 0 << QStringList{"TQ_SetClosedLoopMoveSpeed_S", "TQ_SetChannelProperty_S"}
                << "channel 1 lowVibration: off -> on restored";
        QTest::newRow("with --channel, nothing differs")
                << QStringList{"--field", "acceleration", "--channel", "0"} << 0 << QStringList()
                << "(0 field(s) written)";
        QTest::newRow("unknown field") << QStringList{"--field", "Speed"} << 2 << QStringList()
                                       << "--field Speed: expected speed, acceleration or "
                                          "lowVibration";
    }

    void restoreFields()
    {
        QFETCH(QStringList, options);
        QFETCH(int, exitCode);
        QFETCH(QStringList, setters);
        QFETCH(QString, text);
        CliRunner cli;
        QCOMPARE(cli.run({"save", first, "before.json"}).exitCode, 0);
        for (const QStringList &set : {QStringList{"--channel", "0", "--speed", "1500000"},
                                       QStringList{"--channel", "1", "--low-vibration", "off"},
                                       QStringList{"--channel", "2", "--acceleration", "123"}})
            QCOMPARE(cli.run(QStringList{"set", first} + set).exitCode, 0);

        const CliRun restore = cli.run(QStringList{"restore", first, "before.json"} + options);
        QCOMPARE(restore.exitCode, exitCode);
        QVERIFY2((restore.out + restore.err).contains(text), qPrintable(restore.out + restore.err));
        QStringList made;
        for (const QString &call : restore.calls()) {
            if (call.startsWith(QLatin1String("TQ_Set")))
                made << call;
        }
        QCOMPARE(made, setters);
    }

    // Standard output a pipe whose reader is gone: the controller is still released, and the
    // program ends as SIGPIPE would have ended it, with 141.
    void brokenPipeStillReleases_data()
    {
        QTest::addColumn<QStringList>("arguments");
        // What was written, told on stderr as stdout is gone.
        QTest::addColumn<QByteArray>("report");
        const QByteArray written
                = "velotune-cli: channel 0 speed: 1.500.000 -> 2.000.000 written\n";
        QTest::newRow("restore") << QStringList{QStringLiteral("restore"), first,
                                                QStringLiteral("before.json")}
                                 << written;
        QTest::newRow("set") << QStringList{QStringLiteral("set"),       first,
                                            QStringLiteral("--channel"), QStringLiteral("0"),
                                            QStringLiteral("--speed"),   QStringLiteral("2000000")}
                             << written;
        QTest::newRow("show") << QStringList{QStringLiteral("show"), first} << QByteArray();
    }

    void brokenPipeStillReleases()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, report);
        CliRunner cli;
        QCOMPARE(cli.run({QStringLiteral("save"), first, QStringLiteral("before.json")}).exitCode,
                 0);
        QCOMPARE(
                cli.run({QStringLiteral("set"), first, QStringLiteral("--channel"),
                         QStringLiteral("0"), QStringLiteral("--speed"), QStringLiteral("1500000")})
                        .exitCode,
                0);
        int ends[2];
        QCOMPARE(::pipe2(ends, O_CLOEXEC), 0);
        ::close(ends[0]);
        QList<QByteArray> raw;
        for (const QString &a : arguments)
            raw << QFile::encodeName(a.endsWith(QLatin1String(".json")) ? cli.path(a) : a);
        const QString errFile = cli.path(QStringLiteral("err.txt"));
        const pid_t pid = cli.spawn(raw, cli.environment(), ends[1], errFile);
        ::close(ends[1]);
        QVERIFY(pid > 0);
        QCOMPARE(CliRunner::waitFor(pid), 141);
        const QByteArray err = fileContent(errFile);
        QVERIFY2(err.contains("TQ_CloseSystem(systemIndex 1) = 0"), err.constData());
        QVERIFY2(err.contains(report) && err.contains("written") == !report.isEmpty(),
                 err.constData());
        // The work itself was done.
        const CliRun show = cli.run({QStringLiteral("show"), first, QStringLiteral("--channel"),
                                     QStringLiteral("0"), QStringLiteral("--json")});
        const bool wrote = arguments.first() != QLatin1String("show");
        QVERIFY2(show.out.contains(wrote ? QStringLiteral("2000000") : QStringLiteral("1500000")),
                 qPrintable(show.out));
    }

    // A signal that comes once the controller is released and only the output is left: the
    // table is blocked in a full pipe when SIGTERM arrives, and the run still succeeds.
    void signalAfterTheReleaseChangesNothing()
    {
        CliRunner cli;
        int ends[2];
        QCOMPARE(::pipe2(ends, O_CLOEXEC), 0);
        const int flags = ::fcntl(ends[1], F_GETFL);
        ::fcntl(ends[1], F_SETFL, flags | O_NONBLOCK);
        const QByteArray block(4096, '-');
        qint64 filled = 0;
        ssize_t n = 0;
        while ((n = ::write(ends[1], block.constData(), size_t(block.size()))) > 0)
            filled += n;
        ::fcntl(ends[1], F_SETFL, flags);
        const QString errFile = cli.path(QStringLiteral("err.txt"));
        const pid_t pid = cli.spawn({QByteArray("show"), first.toUtf8()}, cli.environment(),
                                    ends[1], errFile);
        ::close(ends[1]);
        QVERIFY(pid > 0);
        QTRY_VERIFY_WITH_TIMEOUT(fileContent(errFile).contains("TQ_CloseSystem(systemIndex 1) = 0"),
                                 10000);
        QTest::qWait(100);
        ::kill(pid, SIGTERM);
        QByteArray out;
        char buffer[4096];
        while ((n = ::read(ends[0], buffer, sizeof buffer)) != 0) {
            if (n > 0)
                out.append(buffer, int(n));
            else if (errno != EINTR)
                break;
        }
        ::close(ends[0]);
        QCOMPARE(CliRunner::waitFor(pid), 0);
        QVERIFY2(out.mid(int(filled)).startsWith("channel  positioner"),
                 out.mid(int(filled)).constData());
        QCOMPARE(out.mid(int(filled)).count('\n'), 4);
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

QTEST_GUILESS_MAIN(tst_Cli)
#include "tst_cli.moc"
