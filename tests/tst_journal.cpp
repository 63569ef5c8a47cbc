// The lab journal: its writer in programs of its own (journalwriter), as velotune-cli and the
// window will use it, and velotune-cli log reading it back.

#include "clirunner.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

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
};

QTEST_GUILESS_MAIN(tst_Journal)
#include "tst_journal.moc"
