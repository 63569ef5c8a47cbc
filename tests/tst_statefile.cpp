// The simulator's state file under attack, through the real velotune-cli: files planted at
// the names it uses, a file nested too deep, and another program sitting on its lock.

#include "clirunner.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString first = QStringLiteral("usb:id:31415926");
const QByteArray precious = "the user's own file\n";

QByteArray fileContent(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

mode_t modeOf(const QString &path)
{
    struct stat info = {};
    return lstat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 07777 : 0;
}

// velotune-cli started by a shell that first runs `prepare`, then becomes the program under
// the same process id, so `prepare` may plant files at names derived from $$.
QProcess *startCli(const CliRunner &cli, const QString &prepare, const QStringList &arguments)
{
    auto *process = new QProcess;
    process->setProcessEnvironment(cli.environment());
    process->setWorkingDirectory(cli.path(QString()));
    QStringList shell = {QStringLiteral("-c"),
                         QStringLiteral("umask 022; %1\nexec \"$0\" \"$@\"").arg(prepare),
                         QStringLiteral(VELOTUNE_CLI)};
    process->start(QStringLiteral("/bin/sh"), shell + arguments);
    return process;
}

} // namespace

class tst_StateFile : public QObject
{
    Q_OBJECT

private slots:
    void plantedAndBrokenFiles_data()
    {
        QTest::addColumn<QString>("prepare"); // shell commands; S is the state file's path
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");

        QTest::newRow("link at the temporary name")
                << "ln -s \"$T\" \"$S.tmp.$$\"" << 0 << QString();
        QTest::newRow("link at the lock") << "ln -s \"$T\" \"$S.lock\"" << 4 << "Error: 5 (";
        QTest::newRow("link at the state file")
                << "ln -s \"$T\" \"$S\"" << 4 << "symbolic link, not a regular file";
        QTest::newRow("folder at the state file") << "mkdir \"$S\"" << 4 << "not a regular file";
        QTest::newRow("FIFO at the lock") << "mkfifo \"$S.lock\"" << 4 << "not a regular file";
        QTest::newRow("nested 50000 deep")
                << "{ printf '{\"format\": \"nexilsim-state\", \"version\": 1, \"systems\": "
                   "{\"%s\": ' usb:id:31415926; i=0; while [ $i -lt 50000 ]; do printf '['; "
                   "i=$((i+1)); done; i=0; while [ $i -lt 50000 ]; do printf ']'; i=$((i+1)); "
                   "done; printf '}}'; } > \"$S\""
                << 4 << "nest deeper than 32 levels";
        // Refused at once: the parse takes linear time and holds the lock only that long.
        QTest::newRow("80,000 empty objects")
                << "{ printf '{\"format\": \"nexilsim-state\", \"version\": 1, \"systems\": "
                   "{\"%s\": [' usb:id:31415926; i=0; while [ $i -lt 80000 ]; do printf '{},'; "
                   "i=$((i+1)); done; printf '{}]}}'; } > \"$S\""
                << 4 << "expected 3 channels";
        QTest::newRow("existing state file, mode 0640")
                << "echo '{\"format\": \"nexilsim-state\", \"version\": 1, \"systems\": {}}' > "
                   "\"$S\"; chmod 0640 \"$S\""
                << 0 << QString();
    }

    // The user's other file is never written; a write either lands in a regular state file
    // with the right mode or is refused with status 5 naming the reason.
    void plantedAndBrokenFiles()
    {
        QFETCH(QString, prepare);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        CliRunner cli;
        const QString target = cli.path(QStringLiteral("precious.txt"));
        QFile file(target);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(precious);
        file.close();
        const bool existing = prepare.contains(QLatin1String("0640"));
        prepare = QStringLiteral("S='%1'; T='%2'; %3").arg(cli.statePath(), target, prepare);

        QScopedPointer<QProcess> process(startCli(
                cli, prepare,
                {QStringLiteral("set"), first, QStringLiteral("--channel"), QStringLiteral("0"),
                 QStringLiteral("--speed"), QStringLiteral("1500000")}));
        QVERIFY(process->waitForFinished(60000));
        const QString err = QString::fromUtf8(process->readAllStandardError());
        QCOMPARE(process->exitStatus(), QProcess::NormalExit);
        QVERIFY2(process->exitCode() == exitCode, qPrintable(err));
        QCOMPARE(fileContent(target), precious);
        QVERIFY2(err.count(QLatin1Char('\n')) <= 2, qPrintable(err));
        if (exitCode != 0) {
            QVERIFY2(err.contains(message), qPrintable(err));
            return;
        }
        QVERIFY(!QFileInfo(cli.statePath()).isSymLink());
        QVERIFY(fileContent(cli.statePath()).contains("1500000"));
        QCOMPARE(modeOf(cli.statePath()), mode_t(existing ? 0640 : 0600));
        QCOMPARE(modeOf(cli.statePath() + QStringLiteral(".lock")), mode_t(0600));
        // Nothing left beside it but the planted link.
        const QStringList left = QDir(cli.path(QString()))
                                         .entryList({QStringLiteral("state.json.tmp.*")},
                                                    QDir::Files | QDir::System);
        QVERIFY2(left.size() <= 1, qPrintable(left.join(QLatin1Char(' '))));
    }

    // The simulator keeps its state under exactly the bytes it was given; beside a name at the
    // file system's limit, its lock and temporary file get names that fit, the same in every
    // program.
    void stateFileNames_data()
    {
        QTest::addColumn<QString>("shellName");
        QTest::addColumn<QByteArray>("name");
        QTest::newRow("not UTF-8") << "caf$(printf '\\351').json" << QByteArray("caf\xe9.json");
        const QByteArray longest = QByteArray(250, 's') + ".json";
        QTest::newRow("255 bytes") << QString::fromLatin1(longest) << longest;
        QTest::newRow("250 bytes") << QString::fromLatin1(longest.mid(5)) << longest.mid(5);
    }

    void stateFileNames()
    {
        QFETCH(QString, shellName);
        QFETCH(QByteArray, name);
        CliRunner cli;
        const QString dir = cli.path(QStringLiteral("names"));
        QVERIFY(QDir().mkdir(dir));
        // The second program takes the first one's lock and reads its state.
        for (const QString &speed : {QStringLiteral("1500000"), QStringLiteral("1600000")}) {
            QScopedPointer<QProcess> process(startCli(
                    cli,
                    QStringLiteral("export LC_ALL=C.UTF-8 NEXILCONTROL_SIM_STATE=\"%1/%2\"")
                            .arg(dir, shellName),
                    {QStringLiteral("set"), first, QStringLiteral("--channel"), QStringLiteral("0"),
                     QStringLiteral("--speed"), speed}));
            QVERIFY(process->waitForFinished(60000));
            QVERIFY2(process->exitCode() == 0, process->readAllStandardError().constData());
        }
        const QByteArray path = QFile::encodeName(dir) + '/' + name;
        struct stat info = {};
        QCOMPARE(lstat(path.constData(), &info), 0);
        QVERIFY(S_ISREG(info.st_mode));
        // The state and its lock, nothing half-written: "." and ".." besides.
        int entries = 0;
        DIR *folder = opendir(QFile::encodeName(dir).constData());
        QVERIFY(folder != nullptr);
        while (readdir(folder) != nullptr)
            ++entries;
        closedir(folder);
        QCOMPARE(entries, 4);
    }

    void heldLock_data()
    {
        QTest::addColumn<int>("signal"); // 0: none, let the wait run out
        QTest::addColumn<int>("exitCode");
        QTest::newRow("waits 2 s, then names the holder") << 0 << 4;
        QTest::newRow("SIGTERM ends the wait") << int(SIGTERM) << 128 + SIGTERM;
        QTest::newRow("SIGINT ends the wait") << int(SIGINT) << 128 + SIGINT;
    }

    // Another program holds a read lock on the whole lock file, as any local user could.
    void heldLock()
    {
        QFETCH(int, signal);
        QFETCH(int, exitCode);
        CliRunner cli;
        const QByteArray lockPath = QFile::encodeName(cli.statePath() + QStringLiteral(".lock"));
        const int fd = open(lockPath.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        QVERIFY(fd >= 0);
        struct flock lock = {};
        lock.l_type = F_RDLCK;
        lock.l_whence = SEEK_SET;
        QCOMPARE(fcntl(fd, F_SETLK, &lock), 0);

        QScopedPointer<QProcess> process(
                startCli(cli, QString(), {QStringLiteral("--trace"), QStringLiteral("list")}));
        QVERIFY(process->waitForStarted());
        // The library is loaded just before the first call, which then waits for the lock.
        QByteArray err;
        QDeadlineTimer loaded(10000);
        while (!err.contains(" loaded") && !loaded.hasExpired()
               && process->state() == QProcess::Running) {
            process->waitForReadyRead(50);
            err += process->readAllStandardError();
        }
        QElapsedTimer timer;
        timer.start();
        if (signal != 0) {
            QTest::qWait(100);
            ::kill(pid_t(process->processId()), signal);
        }
        const bool finished = process->waitForFinished(10000);
        const qint64 took = timer.elapsed();
        close(fd);
        if (!finished)
            process->kill();
        QVERIFY2(finished, "still waiting after 10 s");
        err += process->readAllStandardError();
        QCOMPARE(process->exitStatus(), QProcess::NormalExit);
        QVERIFY2(process->exitCode() == exitCode, err.constData());
        QVERIFY2(took < (signal != 0 ? 1000 : 4000), qPrintable(QString::number(took)));
        if (signal == 0) {
            QVERIFY2(took >= 1500, qPrintable(QString::number(took)));
            QVERIFY2(QString::fromUtf8(err).contains(
                             QStringLiteral("Error: 17 (State file '%1': locked by another "
                                            "program (process %2))")
                                     .arg(cli.statePath())
                                     .arg(QCoreApplication::applicationPid())),
                     err.constData());
        }
        // Free again: the next run gets it at once.
        QScopedPointer<QProcess> again(startCli(cli, QString(), {QStringLiteral("list")}));
        QVERIFY(again->waitForFinished(10000));
        QCOMPARE(again->exitCode(), 0);
    }
};

QTEST_GUILESS_MAIN(tst_StateFile)
#include "tst_statefile.moc"
