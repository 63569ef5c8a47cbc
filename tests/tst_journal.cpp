// The lab journal: its writer in programs of its own (journalwriter), as velotune-cli and the
// window will use it, and velotune-cli log reading it back.

#include "clirunner.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <map>
#include <memory>

#include <sys/stat.h>

namespace {

QByteArray content(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool write(const QString &path, const QByteArray &data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

mode_t modeOf(const QString &path)
{
    struct stat info = {};
    return lstat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 07777 : 0;
}

// Every line whole JSON, with no raw control character or line separator in it.
QList<QJsonObject> journalLines(const QByteArray &data)
{
    QList<QJsonObject> objects;
    for (const QByteArray &line : data.split('\n')) {
        if (line.isEmpty())
            continue;
        const QString text = QString::fromUtf8(line);
        for (const QChar c : text) {
            const char16_t u = c.unicode();
            if (u < 0x20 || (u >= 0x7f && u < 0xa0) || u == 0x2028 || u == 0x2029)
                return {};
        }
        const QJsonDocument document = QJsonDocument::fromJson(line);
        if (!document.isObject())
            return {};
        objects << document.object();
    }
    return objects;
}

// journalwriter run by a shell that first runs `prepare`, with D the test's folder and HOME
// a folder below it.
QProcess *startWriter(const CliRunner &cli, const QString &prepare, const QString &arguments)
{
    auto *process = new QProcess;
    QProcessEnvironment env = cli.environment();
    env.remove(QStringLiteral("VELOTUNE_JOURNAL"));
    env.remove(QStringLiteral("XDG_STATE_HOME"));
    env.insert(QStringLiteral("D"), cli.path(QString()));
    env.insert(QStringLiteral("HOME"), cli.path(QStringLiteral("home")));
    process->setProcessEnvironment(env);
    process->start(QStringLiteral("/bin/sh"),
                   {QStringLiteral("-c"),
                    QStringLiteral("%1\nexec \"%2\" %3")
                            .arg(prepare, QLatin1String(JOURNAL_WRITER), arguments)});
    return process;
}

const QString fixtureEnd = QStringLiteral(R"(
{"time": "2026-12-08T08:00:00.000Z", "program": "velotune", "pid": 100, "event": "connect", "locator": "usb:id:A", "source": "form"}
{"time": "2026-12-08T08:00:05.000Z", "program": "velotune", "pid": 100, "event": "write", "locator": "usb:id:A", "channel": 0, "setting": "speed", "old": 2000000, "new": 1500000, "unit": "nm/sec", "outcome": "taken", "source": "form"}
{"time": "2026-12-09T10:00:00.000Z", "program": "velotune-cli", "pid": 200, "event": "write", "locator": "usb:id:B", "channel": 2, "setting": "lowVibration", "old": "off", "new": "on", "outcome": "refused", "status": 20, "text": "Value out of range", "source": "cli set"}
{"time": "2026-12-09T10:00:01.000Z", "program": "velotune-cli", "pid": 201, "event": "write", "locator"
{"time": "2026-12-09T11:00:00.000Z", "program": "velotune-cli", "pid": 202, "event": "restore-start", "locator": "usb:id:A", "source": "cli restore", "file": "lab-a.json", "writes": 2}
{"time": "2026-12-09T12:00:00.000Z", "program": "velotune", "pid": 300, "event": "compare", "locator": "usb:id:A", "left": "usb:id:A", "right": "lab-a.json", "differences": 3, "source": "form"}
)")
                                   .mid(1);
const QString fixtureRotated = QStringLiteral(
        R"({"time": "2026-12-01T07:30:00.000Z", "program": "velotune", "pid": 90, "event": "write", "locator": "usb:id:A", "channel": 1, "setting": "acceleration", "old": 5, "new": 6, "unit": "nm/sec²", "outcome": "not read back", "source": "overview"})"
        "\n");
const QByteArray damagedLine = "{\"time\": \"yesterday\", \"event\": \"write\"}\n";

} // namespace

class tst_Journal : public QObject
{
    Q_OBJECT

private slots:
    void writer_data()
    {
        QTest::addColumn<QString>("prepare"); // shell commands before the writer starts
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<QString>("state");   // what the writer says at its end
        QTest::addColumn<QString>("journal"); // below D, empty for none
        QTest::addColumn<int>("lines");
        QTest::addColumn<QString>("warning"); // the one warning, or empty

        const QString home = QStringLiteral("home/.local/state/velotune/journal.jsonl");
        QTest::newRow("HOME's default") << ""
                                        << "3"
                                        << "on" << home << 3 << "";
        QTest::newRow("XDG_STATE_HOME") << "export XDG_STATE_HOME=\"$D/xdg\""
                                        << "2"
                                        << "on"
                                        << "xdg/velotune/journal.jsonl" << 2 << "";
        QTest::newRow("relative XDG_STATE_HOME ignored") << "export XDG_STATE_HOME=xdg"
                                                         << "1"
                                                         << "on" << home << 1 << "";
        QTest::newRow("VELOTUNE_JOURNAL, appended to")
                << "mkdir \"$D/j\"; cp \"$D/one\" \"$D/j/mine\"; export "
                   "VELOTUNE_JOURNAL=\"$D/j/mine\""
                << "2"
                << "on"
                << "j/mine" << 3 << "";
        QTest::newRow("control characters escaped") << ""
                                                    << "2 hostile"
                                                    << "on" << home << 2 << "";
        QTest::newRow("off") << "export VELOTUNE_JOURNAL=off"
                             << "1"
                             << "off"
                             << "" << 0 << "";
        QTest::newRow("relative VELOTUNE_JOURNAL refused")
                << "export VELOTUNE_JOURNAL=j.jsonl"
                << "1"
                << "failed"
                << "" << 0
                << "VELOTUNE_JOURNAL must be the absolute path of a file; nothing is journaled";
        QTest::newRow("symbolic link refused")
                << "ln -s \"$D/one\" \"$D/j.jsonl\"; export VELOTUNE_JOURNAL=\"$D/j.jsonl\""
                << "1"
                << "failed"
                << "" << 0 << "j.jsonl: a symbolic link; nothing is journaled";
        QTest::newRow("FIFO refused, not waited on")
                << "mkfifo \"$D/j.jsonl\"; export VELOTUNE_JOURNAL=\"$D/j.jsonl\""
                << "1"
                << "failed"
                << "" << 0 << "j.jsonl: not a regular file; nothing is journaled";
        QTest::newRow("folder refused")
                << "mkdir \"$D/j.jsonl\"; export VELOTUNE_JOURNAL=\"$D/j.jsonl\""
                << "1"
                << "failed"
                << "" << 0 << "j.jsonl: Is a directory; nothing is journaled";
        // 512 bytes: the third line does not fit, and what of it was written is cut off.
        QTest::newRow("full disk said once, whole lines kept")
                << "ulimit -f 1; trap '' XFSZ; export VELOTUNE_JOURNAL=\"$D/j.jsonl\""
                << "20"
                << "failed"
                << "j.jsonl" << 2
                << "j.jsonl: cannot write (File too large); nothing more is journaled by this "
                   "program";
    }

    // The writer finds its file as the environment says, makes it private to its user, never
    // writes through a link or into anything but a regular file, and never fails the program.
    void writer()
    {
        QFETCH(QString, prepare);
        QFETCH(QString, arguments);
        QFETCH(QString, state);
        QFETCH(QString, journal);
        QFETCH(int, lines);
        QFETCH(QString, warning);
        CliRunner cli;
        const QByteArray one = fixtureRotated.toUtf8();
        QVERIFY(write(cli.path(QStringLiteral("one")), one));
        QScopedPointer<QProcess> process(startWriter(cli, prepare, arguments));
        QVERIFY(process->waitForStarted());
        const qint64 pid = process->processId();
        QVERIFY(process->waitForFinished(20000));
        QCOMPARE(process->exitCode(), 0);
        const QString out = QString::fromUtf8(process->readAllStandardOutput());
        const QStringList err = QString::fromUtf8(process->readAllStandardError())
                                        .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(out.section(QLatin1Char('\t'), 0, 0), state);
        QCOMPARE(err.size(), warning.isEmpty() ? 0 : 1);
        if (!warning.isEmpty())
            QVERIFY2(err.first().startsWith(QLatin1String("velotune.journal: journal "))
                             && err.first().endsWith(warning),
                     qPrintable(err.first()));
        QCOMPARE(content(cli.path(QStringLiteral("one"))), one); // a link's target untouched
        if (journal.isEmpty()) {
            QVERIFY(!QFile::exists(cli.path(QStringLiteral("home/.local"))));
            return;
        }
        const QString path = cli.path(journal);
        QCOMPARE(out.section(QLatin1Char('\t'), 1, 1), path);
        QCOMPARE(modeOf(path),
                 journal.startsWith(QLatin1String("j/")) ? mode_t(0644) : mode_t(0600));
        if (journal.contains(QLatin1String("velotune/")))
            QCOMPARE(modeOf(QFileInfo(path).path()), mode_t(0700));
        const QList<QJsonObject> objects = journalLines(content(path));
        QCOMPARE(objects.size(), lines);
        const QJsonObject last = objects.last();
        QCOMPARE(last.value(QLatin1String("program")).toString(), QStringLiteral("journalwriter"));
        QCOMPARE(last.value(QLatin1String("pid")).toInt(), int(pid));
        QVERIFY(QDateTime::fromString(last.value(QLatin1String("time")).toString(),
                                      Qt::ISODateWithMs)
                        .secsTo(QDateTime::currentDateTimeUtc())
                < 60);
        if (arguments.contains(QLatin1String("hostile")))
            QVERIFY(last.value(QLatin1String("locator"))
                            .toString()
                            .startsWith(QString::fromLatin1("usb:id:1\0\x01", 10)));
    }

    // Four programs journaling at once, across a rotation: whole lines, none lost, each
    // program's in its order, and one rotated file kept.
    void concurrentWritersAndRotation()
    {
        CliRunner cli;
        const QByteArray line = fixtureRotated.toUtf8();
        QByteArray filler;
        while (filler.size() + line.size() <= 16 * 1024 * 1024 - 64 * 1024)
            filler += line;
        QVERIFY(write(cli.path(QStringLiteral("j.jsonl")), filler));
        QVERIFY(write(cli.path(QStringLiteral("j.1.jsonl")), line));
        std::vector<std::unique_ptr<QProcess>> writers;
        for (int i = 0; i < 4; ++i)
            writers.emplace_back(
                    startWriter(cli, QStringLiteral("export VELOTUNE_JOURNAL=\"$D/j.jsonl\""),
                                QStringLiteral("1000 hostile")));
        for (const auto &process : writers) {
            QVERIFY(process->waitForFinished(60000));
            QCOMPARE(process->exitCode(), 0);
            QCOMPARE(process->readAllStandardOutput().left(3), QByteArray("on\t"));
            QCOMPARE(process->readAllStandardError(), QByteArray());
        }
        const QByteArray rotated = content(cli.path(QStringLiteral("j.1.jsonl")));
        QVERIFY(rotated.size() <= 16 * 1024 * 1024);
        QVERIFY(rotated.startsWith(filler));
        const QList<QJsonObject> objects = journalLines(rotated.mid(filler.size()))
                + journalLines(content(cli.path(QStringLiteral("j.jsonl"))));
        std::map<int, QList<int>> written; // by process: the values written, in file order
        for (const QJsonObject &o : objects)
            written[o.value(QLatin1String("pid")).toInt()]
                    << o.value(QLatin1String("old")).toInt(-1);
        QCOMPARE(int(written.size()), 4);
        QList<int> expected;
        for (int i = 0; i < 1000; ++i)
            expected << (i % 2 == 0 ? i : -1); // Low Vibration Mode's "on"/"off" reads as -1
        for (const auto &process : written)
            QCOMPARE(process.second, expected);
    }

    void log_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("journal"); // empty: the fixture; "none", "off", "fifo"
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("out"); // per line, a part it contains
        QTest::addColumn<QStringList>("err"); // per line, how it ends

        const QString rotatedDamage
                = QStringLiteral("journal.1.jsonl line 2: not a journal line, skipped");
        const QString damage = QStringLiteral("/journal.jsonl line 4: not a journal line, skipped");
        const QStringList both = {rotatedDamage, damage};
        const QString header = QStringLiteral(
                "time program event controller channel setting change outcome source details");
        const QString csvHeader
                = QStringLiteral("time,program,pid,event,locator,channel,setting,old,new,unit,"
                                 "outcome,status,text,source,file,left,right,differences,writes");
        const auto row = [](const char *name, const QStringList &arguments) -> QTestData & {
            return QTest::newRow(name) << arguments;
        };
        row("everything, oldest first, local time", {})
                << QByteArray() << 0
                << QStringList{header,
                               QStringLiteral("2026-12-01 08:30:00 velotune[90] write usb:id:A 1 "
                                              "acceleration 5 -> 6 nm/sec² not read back overview"),
                               QStringLiteral("2026-12-08 09:00:00 velotune[100] connect usb:id:A"),
                               QStringLiteral("2.000.000 -> 1.500.000 nm/sec taken form"),
                               QStringLiteral(
                                       "off -> on refused cli set status 20, Value out of range"),
                               QStringLiteral("cli restore lab-a.json, 2 write(s) planned"),
                               QStringLiteral("form usb:id:A -> lab-a.json, 3 difference(s)")}
                << both;
        row("controller", {QStringLiteral("--controller"), QStringLiteral("usb:id:A")})
                << QByteArray() << 0
                << QStringList{header,
                               QStringLiteral("acceleration"),
                               QStringLiteral("connect"),
                               QStringLiteral("speed"),
                               QStringLiteral("restore-start"),
                               QStringLiteral("compare")}
                << both;
        row("channel, JSON as stored",
            {QStringLiteral("--channel"), QStringLiteral("2"), QStringLiteral("--json")})
                << QByteArray() << 0 << QStringList{fixtureEnd.split(QLatin1Char('\n')).at(2)}
                << both;
        row("setting, CSV",
            {QStringLiteral("--setting"), QStringLiteral("speed"), QStringLiteral("--csv")})
                << QByteArray() << 0
                << QStringList{csvHeader,
                               QStringLiteral(
                                       "2026-12-08T09:00:05.000+01:00,velotune,100,write,usb:id:A,"
                                       "0,speed,2000000,1500000,nm/sec,taken,,,form,,,,,")}
                << both;
        row("source", {QStringLiteral("--source"), QStringLiteral("cli restore")})
                << QByteArray() << 0 << QStringList{header, QStringLiteral("restore-start")}
                << both;
        // Every entry since then is in the current file: the rotated one is not read.
        row("since a local date", {QStringLiteral("--since"), QStringLiteral("2026-12-09")})
                << QByteArray() << 0
                << QStringList{header, QStringLiteral("refused"), QStringLiteral("restore-start"),
                               QStringLiteral("compare")}
                << QStringList{damage};
        row("span with zones, until included",
            {QStringLiteral("--since"), QStringLiteral("2026-11-30T00:00:00Z"),
             QStringLiteral("--until"), QStringLiteral("2026-12-08 09:00:00+01:00")})
                << QByteArray() << 0
                << QStringList{header, QStringLiteral("acceleration"), QStringLiteral("connect")}
                << both;
        row("nothing in the last hour", {QStringLiteral("--since"), QStringLiteral("1h")})
                << QByteArray() << 1 << QStringList() << QStringList{damage};
        QByteArray garbage = QByteArray("garbage\n").repeated(15) + fixtureRotated.toUtf8();
        row("many damaged lines, ten named", {QStringLiteral("--json")})
                << garbage << 0
                << QStringList{QStringLiteral("\"overview\""), QStringLiteral("\"overview\"")}
                << QStringList{rotatedDamage,
                               QStringLiteral("/journal.jsonl line 1: not a journal line, skipped"),
                               QStringLiteral("/journal.jsonl line 2: not a journal line, skipped"),
                               QStringLiteral("line 3: not a journal line, skipped"),
                               QStringLiteral("line 4: not a journal line, skipped"),
                               QStringLiteral("line 5: not a journal line, skipped"),
                               QStringLiteral("line 6: not a journal line, skipped"),
                               QStringLiteral("line 7: not a journal line, skipped"),
                               QStringLiteral("line 8: not a journal line, skipped"),
                               QStringLiteral("/journal.jsonl line 9: not a journal line, skipped"),
                               QStringLiteral("velotune-cli: 6 more damaged line(s) skipped")};
        row("no journal yet", {}) << QByteArray("none") << 1 << QStringList()
                                  << QStringList{QStringLiteral("/journal.jsonl: no journal yet")};
        row("journal off",
            {}) << QByteArray("off")
                << 3 << QStringList()
                << QStringList{QStringLiteral(
                           "velotune-cli: the journal is off: VELOTUNE_JOURNAL=off")};
        row("FIFO, not waited on", {})
                << QByteArray("fifo") << 3 << QStringList()
                << QStringList{QStringLiteral("/journal.jsonl: not a regular file")};
        const struct
        {
            const char *name;
            QStringList arguments;
            const char *message;
        } refused[] = {
                {"unknown setting",
                 {QStringLiteral("--setting"), QStringLiteral("Speed")},
                 "--setting Speed: expected speed, acceleration or lowVibration"},
                {"unknown source",
                 {QStringLiteral("--source"), QStringLiteral("cli")},
                 "--source cli: expected one of form, overview, restore, cli set, cli restore, "
                 "python"},
                {"unreadable time",
                 {QStringLiteral("--until"), QStringLiteral("yesterday")},
                 "--until yesterday: expected an ISO time (2026-12-10T09:30) or a duration back "
                 "from now (30m, 2h, 3d)"},
                {"two formats",
                 {QStringLiteral("--json"), QStringLiteral("--csv")},
                 "--json and --csv exclude each other"},
                {"an argument",
                 {QStringLiteral("usb:id:A")},
                 "usage: velotune-cli log [--since TIME] [--until TIME] [--controller LOC] "
                 "[--channel N]... [--setting S] [--source S] [--json|--csv]"},
        };
        for (const auto &r : refused)
            row(r.name, r.arguments)
                    << QByteArray() << 2 << QStringList()
                    << QStringList{QStringLiteral("velotune-cli: ") + QLatin1String(r.message)};
    }

    // What log prints, from the rotated file and the current one, with the exit status.
    void log()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, journal);
        QFETCH(int, exitCode);
        QFETCH(QStringList, out);
        QFETCH(QStringList, err);
        CliRunner cli;
        QProcessEnvironment env = cli.environment();
        env.insert(QStringLiteral("TZ"), QStringLiteral("Europe/Berlin"));
        const QString current = cli.path(QStringLiteral("journal.jsonl"));
        if (journal == "off")
            env.insert(QStringLiteral("VELOTUNE_JOURNAL"), QStringLiteral("off"));
        else if (journal == "fifo")
            QCOMPARE(mkfifo(QFile::encodeName(current).constData(), 0600), 0);
        else if (journal != "none")
            QVERIFY(write(cli.path(QStringLiteral("journal.1.jsonl")),
                          fixtureRotated.toUtf8() + damagedLine)
                    && write(current, journal.isEmpty() ? fixtureEnd.toUtf8() : journal));
        const CliRun run = cli.run(QStringList{QStringLiteral("log")} + arguments, env);
        QCOMPARE(run.exitCode, exitCode);
        const QStringList outLines = run.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        const QStringList errLines = run.err.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(outLines.size(), out.size());
        for (int i = 0; i < out.size(); ++i)
            QVERIFY2(outLines[i].simplified().contains(out[i]), qPrintable(outLines[i]));
        QCOMPARE(errLines.size(), err.size());
        for (int i = 0; i < err.size(); ++i)
            QVERIFY2(errLines[i].endsWith(err[i]), qPrintable(errLines[i]));
    }

    // velotune-cli's own lines: four restores at once, each whole and in its order, with the
    // file; a diff's count; a set's refusal with the library's status and text.
    void cliProcesses()
    {
        CliRunner cli;
        const QString first = QStringLiteral("usb:id:31415926");
        for (const QStringList &change :
             {QStringList{QStringLiteral("0"), QStringLiteral("--speed"),
                          QStringLiteral("1500000")},
              QStringList{QStringLiteral("2"), QStringLiteral("--acceleration"),
                          QStringLiteral("123")}})
            QCOMPARE(cli.run(QStringList{QStringLiteral("set"), first, QStringLiteral("--channel")}
                             + change)
                             .exitCode,
                     0);
        QCOMPARE(cli.run({QStringLiteral("save"), first, QStringLiteral("b.json")}).exitCode, 0);
        QCOMPARE(cli.run({QStringLiteral("diff"), first, QStringLiteral("b.json")}).exitCode, 0);
        QCOMPARE(cli.run({QStringLiteral("set"), QStringLiteral("usb:id:27182818"),
                          QStringLiteral("--channel"), QStringLiteral("2"),
                          QStringLiteral("--speed"), QStringLiteral("10")})
                         .exitCode,
                 1);
        const QString journal = cli.path(QStringLiteral("journal.jsonl"));
        const int before = journalLines(content(journal)).size();
        // Without the state file each process starts from the fleet's settings: two writes.
        QProcessEnvironment env = cli.environment();
        env.remove(QStringLiteral("NEXILCONTROL_SIM_STATE"));
        std::vector<std::unique_ptr<QProcess>> restores;
        for (int i = 0; i < 4; ++i) {
            restores.push_back(std::make_unique<QProcess>());
            restores.back()->setProcessEnvironment(env);
            restores.back()->setWorkingDirectory(cli.path(QString()));
            restores.back()->start(QStringLiteral(VELOTUNE_CLI),
                                   {QStringLiteral("restore"), first, QStringLiteral("b.json")});
        }
        for (const auto &process : restores)
            QVERIFY(process->waitForFinished(60000));

        const QList<QJsonObject> lines = journalLines(content(journal));
        QVERIFY(!lines.isEmpty());
        const auto text = [](const QJsonObject &o, const char *key) {
            const QJsonValue v = o.value(QLatin1String(key));
            return v.isDouble() ? QString::number(v.toDouble(), 'f', 0) : v.toString();
        };
        const auto brief = [&](const QJsonObject &o) {
            QStringList keys;
            for (const char *key : {"event", "setting", "outcome", "status", "text", "source",
                                    "file", "differences", "writes"})
                if (o.contains(QLatin1String(key)))
                    keys << QLatin1String(key) + QLatin1Char('=') + text(o, key);
            return keys.join(QLatin1Char(' '));
        };
        QStringList earlier;
        for (int i = 0; i < before; ++i)
            if (text(lines[i], "event") != QLatin1String("connect")
                && text(lines[i], "event") != QLatin1String("release"))
                earlier << brief(lines[i]);
        QCOMPARE(earlier,
                 QStringList({"event=write setting=speed outcome=taken source=cli set",
                              "event=write setting=acceleration outcome=taken source=cli set",
                              "event=compare file=b.json differences=0",
                              "event=write setting=speed outcome=refused status=20 "
                              "text=Could not set speed value. Error: 20 (Value out of range) "
                              "source=cli set"}));
        std::map<int, QStringList> byProcess;
        for (int i = before; i < lines.size(); ++i) {
            QCOMPARE(text(lines[i], "program"), QStringLiteral("velotune-cli"));
            byProcess[lines[i].value(QLatin1String("pid")).toInt()] << brief(lines[i]);
        }
        QCOMPARE(int(byProcess.size()), 4);
        const QStringList restoreLines
                = {"event=connect",
                   "event=restore-start source=cli restore file=b.json writes=2",
                   "event=write setting=speed outcome=taken source=cli restore",
                   "event=write setting=acceleration outcome=taken source=cli restore",
                   "event=restore-end source=cli restore file=b.json writes=2",
                   "event=release"};
        for (const auto &process : byProcess)
            QCOMPARE(process.second, restoreLines);
    }
};

QTEST_GUILESS_MAIN(tst_Journal)
#include "tst_journal.moc"
