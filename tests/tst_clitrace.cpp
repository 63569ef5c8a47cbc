// What velotune-cli tells its user, through the real executable: the trace file it keeps
// (VELOTUNE_TRACE_FILE) and messages that quote locators and paths from outside.

#include "clirunner.h"

#include <QFile>
#include <QRegularExpression>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString first = QStringLiteral("usb:id:31415926");

struct Shell
{
    int exitCode = -1;
    qint64 pid = 0;
    QString out;
    QString err;
};

// velotune-cli started by a shell that first runs `prepare` (with D the test's folder), then
// becomes the program under the same process id.
Shell runCli(const CliRunner &cli, const QString &prepare, const QStringList &arguments)
{
    QProcess process;
    QProcessEnvironment env = cli.environment();
    env.insert(QStringLiteral("D"), cli.path(QString()));
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(cli.path(QString()));
    process.start(QStringLiteral("/bin/sh"),
                  QStringList{QStringLiteral("-c"),
                              QStringLiteral("umask 022; %1\nexec \"$0\" \"$@\"").arg(prepare),
                              QStringLiteral(VELOTUNE_CLI)}
                          + arguments);
    Shell result;
    if (!process.waitForStarted())
        return result;
    result.pid = process.processId();
    finish(&process, &result);
    return result;
}

QByteArray fileContent(const QByteArray &path)
{
    const int fd = open(path.constData(), O_RDONLY | O_CLOEXEC);
    QByteArray content;
    char chunk[4096];
    ssize_t n = 0;
    while (fd >= 0 && (n = read(fd, chunk, sizeof chunk)) > 0)
        content.append(chunk, int(n));
    if (fd >= 0)
        close(fd);
    return content;
}

} // namespace

class tst_CliTrace : public QObject
{
    Q_OBJECT

private slots:
    void traceFile_data()
    {
        QTest::addColumn<QString>("prepare"); // shell commands before the program starts
        QTest::addColumn<QByteArray>("name"); // the trace file, in the test's folder
        QTest::addColumn<QString>("warning"); // the one line on stderr, or empty
        QTest::addColumn<bool>("written");    // whether the trace lands in the file

        const QByteArray plain = "trace.txt";
        QTest::newRow("new file, every line kept") << QString() << plain << QString() << true;
        QTest::newRow("name that is not UTF-8, used as given")
                << QString() << QByteArray("caf\xe9.txt") << QString() << true;
        QTest::newRow("symbolic link refused")
                << "echo kept > \"$D/other.txt\"; ln -s \"$D/other.txt\" \"$D/trace.txt\"" << plain
                << "trace.txt: a symbolic link; no trace is written" << false;
        QTest::newRow("write failure said once")
                << "ulimit -f 0; trap '' XFSZ" << plain
                << "trace.txt: cannot write (File too large); trace lines are being lost" << false;
    }

    // With --trace as well, every line (the library's calls and the command's own, such as
    // what save writes where) reaches both standard error and the file, each line
    // there signed with the program's name and process id.
    void traceFile()
    {
        QFETCH(QString, prepare);
        QFETCH(QByteArray, name);
        QFETCH(QString, warning);
        QFETCH(bool, written);
        CliRunner cli;
        const QByteArray path = QFile::encodeName(cli.path(QString())) + '/' + name;
        prepare += QStringLiteral("\nexport VELOTUNE_TRACE_FILE=\"$D/%1\"")
                           .arg(name == "caf\xe9.txt" ? QStringLiteral("caf$(printf '\\351').txt")
                                                      : QString::fromLatin1(name));
        const Shell run = runCli(cli, prepare,
                                 {QStringLiteral("--trace"), QStringLiteral("save"), first,
                                  QStringLiteral("snapshot.json")});
        // Where no file can grow, the snapshot cannot be written either, and save says so.
        QCOMPARE(run.exitCode, prepare.contains(QLatin1String("ulimit -f 0")) ? 3 : 0);
        // Standard error has the trace as without the file, and at most one warning.
        QVERIFY2(run.err.contains(QStringLiteral("velotune.controller: TQ_OpenSystem(")),
                 qPrintable(run.err));
        QVERIFY2(run.err.contains(QStringLiteral("velotune.cli: ")), qPrintable(run.err));
        const QStringList warnings
                = run.err.split(QLatin1Char('\n')).filter(QStringLiteral("VELOTUNE_TRACE_FILE"));
        QCOMPARE(warnings.size(), warning.isEmpty() ? 0 : 1);
        if (!warning.isEmpty())
            QVERIFY2(warnings.first().endsWith(warning), qPrintable(warnings.first()));
        if (prepare.contains(QLatin1String("other.txt")))
            QCOMPARE(fileContent(QFile::encodeName(cli.path(QStringLiteral("other.txt")))),
                     QByteArray("kept\n"));
        if (!written)
            return;

        struct stat info = {};
        QCOMPARE(lstat(path.constData(), &info), 0);
        QCOMPARE(info.st_mode & 07777, mode_t(0600));
        const QString trace = QString::fromUtf8(fileContent(path));
        const QString signature = QStringLiteral("Z velotune-cli[%1] ").arg(run.pid);
        QVERIFY2(trace.contains(signature + QStringLiteral("TQ_OpenSystem(")), qPrintable(trace));
        QVERIFY2(trace.contains(signature + QStringLiteral("velotune.cli: ")), qPrintable(trace));
        const QStringList lines = trace.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.filter(signature).size(), lines.size());
    }

    void controlCharactersEscaped_data()
    {
        QTest::addColumn<QString>("prepare");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("expected"); // on stderr, on one line

        QTest::newRow("locator with a newline")
                << QString()
                << QStringList{QStringLiteral("show"), QStringLiteral("usb:id:1\nforged")}
                << "usb:id:1\\nforged: Could not connect to Nexil. Error: 16 (Unknown locator)";
        QTest::newRow("library path with a newline")
                << "export NEXILCONTROL_LIBRARY=\"$D/a\nb.so\""
                << QStringList{QStringLiteral("list")} << "/a\\nb.so: no such file)";
        // No other name is ever tried in its place.
        QTest::newRow("library name that is not UTF-8")
                << "export LC_ALL=C.UTF-8 NEXILCONTROL_LIBRARY=\"$D/caf$(printf '\\351').so\""
                << QStringList{QStringLiteral("list")} << ".so: the name cannot be represented)";
        QTest::newRow("state file path with an escape character")
                << "mkdir \"$D/a$(printf '\\033')b\"; "
                   "export NEXILCONTROL_SIM_STATE=\"$D/a$(printf '\\033')b\""
                << QStringList{QStringLiteral("list")}
                << "/a\\x1bb' is unusable: not a regular file";
    }

    // One message, one line: nothing from outside can forge a second one.
    void controlCharactersEscaped()
    {
        QFETCH(QString, prepare);
        QFETCH(QStringList, arguments);
        QFETCH(QString, expected);
        CliRunner cli;
        const Shell run = runCli(cli, prepare, arguments);
        QVERIFY(run.exitCode > 0);
        QStringList lines = run.err.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QVERIFY2(lines.size() <= 2, qPrintable(run.err));
        for (const QString &line : lines) {
            QVERIFY2(line.startsWith(QLatin1String("velotune-cli: "))
                             || line.startsWith(QLatin1String("NexilControl simulator: ")),
                     qPrintable(line));
        }
        QVERIFY2(lines.filter(expected).size() >= 1, qPrintable(run.err));
        QCOMPARE(run.out, QString());
    }
};

QTEST_GUILESS_MAIN(tst_CliTrace)
#include "tst_clitrace.moc"
