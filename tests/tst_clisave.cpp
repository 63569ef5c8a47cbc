// `velotune-cli save` and the file it replaces: a full disk, special files, another user's
// file and names that are not valid text, each against the real executable.

#include "clirunner.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>

#include <dirent.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>

namespace {

const QString locator = QStringLiteral("usb:id:31415926");

QByteArray content(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

bool writeFile(const QString &path, const QByteArray &data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

bool isSnapshot(const QByteArray &data)
{
    return QJsonDocument::fromJson(data).object().value(QStringLiteral("format"))
            == QStringLiteral("velotune-snapshot");
}

// A tmpfs of its own, unmounted again whatever the test's outcome.
class SmallDisk
{
public:
    explicit SmallDisk(const QString &where) : m_where(QFile::encodeName(where))
    {
        m_mounted = QDir().mkpath(where)
                && ::mount("tmpfs", m_where.constData(), "tmpfs", 0, "size=64k,mode=0700") == 0;
    }
    ~SmallDisk()
    {
        if (m_mounted)
            ::umount2(m_where.constData(), MNT_DETACH);
    }
    SmallDisk(const SmallDisk &) = delete;
    SmallDisk &operator=(const SmallDisk &) = delete;
    bool mounted() const { return m_mounted; }

private:
    QByteArray m_where;
    bool m_mounted = false;
};

// Fills the disk holding `path`, then gives back `free` bytes.
bool fill(const QString &path, qint64 free)
{
    QFile filler(path);
    if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return false;
    const QByteArray page(4096, 'x');
    while (filler.write(page) == page.size()) { }
    return filler.resize(qMax<qint64>(0, filler.size() - free));
}

} // namespace

class tst_CliSave : public QObject
{
    Q_OBJECT

private slots:
    void fullDiskLeavesTheFileAsItWas_data()
    {
        QTest::addColumn<qint64>("freeBytes");
        QTest::addColumn<int>("channels");
        QTest::newRow("no space at all") << qint64(0) << 3;
        // The new snapshot is larger than what is left: it would be cut at 4096 bytes.
        QTest::newRow("4 KiB left, a larger snapshot") << qint64(4096) << 40;
    }

    void fullDiskLeavesTheFileAsItWas()
    {
        QFETCH(qint64, freeBytes);
        QFETCH(int, channels);
        if (::geteuid() != 0)
            QSKIP("mounting a small tmpfs needs root");
        CliRunner cli;
        QProcessEnvironment env = cli.environment();
        QString fleet = QStringLiteral(R"({"systems": [{"locator": "usb:id:1", "channels": [{})");
        fleet += QStringLiteral(", {}").repeated(channels - 1) + QStringLiteral("]}]}");
        QVERIFY(writeFile(cli.path(QStringLiteral("fleet.json")), fleet.toUtf8()));
        env.insert(QStringLiteral("NEXILCONTROL_SIM_CONFIG"),
                   cli.path(QStringLiteral("fleet.json")));

        const QString disk = cli.path(QStringLiteral("disk"));
        SmallDisk mount(disk);
        if (!mount.mounted())
            QSKIP("this machine does not allow mounting a tmpfs here");
        const QString keep = disk + QStringLiteral("/keep.json");
        const QByteArray previous = "{\"format\": \"velotune-snapshot\", \"kept\": true}\n";
        QVERIFY(writeFile(keep, previous));
        QVERIFY(fill(disk + QStringLiteral("/filler"), freeBytes));

        const CliRun run = cli.run({QStringLiteral("save"), QStringLiteral("usb:id:1"), keep}, env);
        QCOMPARE(run.exitCode, 3);
        QVERIFY2(run.err.contains(keep
                                  + QStringLiteral(": cannot be written: No space left on device; "
                                                   "the file is as it was")),
                 qPrintable(run.err));
        QCOMPARE(content(keep), previous);
        QCOMPARE(QDir(disk).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList({QStringLiteral("filler"), QStringLiteral("keep.json")}));
        QCOMPARE(run.count("TQ_CloseSystem"), 1);
    }

    void specialFilesAreRefusedUntouched_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("message");
        QTest::newRow("folder") << "folder"
                                << "not a regular file but a folder";
        QTest::newRow("FIFO") << "fifo"
                              << "not a regular file but a FIFO";
        QTest::newRow("socket") << "socket"
                                << "not a regular file but a socket";
        QTest::newRow("device node") << "device"
                                     << "not a regular file but a device";
        QTest::newRow("link to a FIFO") << "link to fifo"
                                        << "not a regular file but a FIFO";
        QTest::newRow("link to nothing") << "dangling link"
                                         << "a symbolic link to a file that does not exist";
    }

    void specialFilesAreRefusedUntouched()
    {
        QFETCH(QString, kind);
        QFETCH(QString, message);
        CliRunner cli;
        const QString node = cli.path(QStringLiteral("node"));
        const QByteArray name = QFile::encodeName(node);
        QString path = node;
        int socketFd = -1;
        if (kind == QLatin1String("folder")) {
            QVERIFY(QDir().mkdir(node));
        } else if (kind.endsWith(QLatin1String("fifo"))) {
            QCOMPARE(::mkfifo(name.constData(), 0600), 0);
        } else if (kind == QLatin1String("socket")) {
            socketFd = ::socket(AF_UNIX, SOCK_STREAM, 0);
            sockaddr_un address = {};
            address.sun_family = AF_UNIX;
            QVERIFY(size_t(name.size()) < sizeof address.sun_path);
            qstrcpy(address.sun_path, name.constData());
            QCOMPARE(::bind(socketFd, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
        } else if (kind == QLatin1String("device")) {
            // Its own node of the null device, never the system's.
            if (::mknod(name.constData(), S_IFCHR | 0600, makedev(1, 3)) != 0)
                QSKIP("making a device node needs root");
        }
        if (kind.contains(QLatin1String("link"))) {
            path = cli.path(QStringLiteral("link.json"));
            QVERIFY(QFile::link(node, path));
        }
        struct stat before = {};
        const bool existed = ::stat(name.constData(), &before) == 0;

        const CliRun run = cli.run({QStringLiteral("save"), locator, path});
        if (socketFd >= 0)
            ::close(socketFd);
        QCOMPARE(run.exitCode, 3);
        QVERIFY2(run.err.contains(path + QStringLiteral(": ") + message), qPrintable(run.err));
        // Refused before the controller was opened.
        QCOMPARE(run.calls(), QStringList());
        struct stat after = {};
        QCOMPARE(::stat(name.constData(), &after) == 0, existed);
        if (existed) {
            QCOMPARE(after.st_mode, before.st_mode);
            QCOMPARE(after.st_ino, before.st_ino);
            QCOMPARE(after.st_rdev, before.st_rdev);
        }
        QCOMPARE(QFileInfo(path).isSymLink(), path != node);
    }

    void replacingKeepsOwnerGroupAndMode_data()
    {
        QTest::addColumn<bool>("otherUser");
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("throughLink");
        QTest::newRow("another user's file") << true << 0640 << false;
        QTest::newRow("own file, owner only") << false << 0600 << false;
        QTest::newRow("through a symbolic link") << false << 0644 << true;
    }

    void replacingKeepsOwnerGroupAndMode()
    {
        QFETCH(bool, otherUser);
        QFETCH(int, mode);
        QFETCH(bool, throughLink);
        if (otherUser && ::geteuid() != 0)
            QSKIP("giving a file to another user needs root");
        CliRunner cli;
        const QString file = cli.path(QStringLiteral("theirs.json"));
        const QByteArray name = QFile::encodeName(file);
        QVERIFY(writeFile(file, "old"));
        if (otherUser)
            QCOMPARE(::chown(name.constData(), 65534, 65534), 0);
        QCOMPARE(::chmod(name.constData(), mode_t(mode)), 0);
        QString path = file;
        if (throughLink) {
            path = cli.path(QStringLiteral("link.json"));
            QVERIFY(QFile::link(file, path));
        }
        struct stat before = {};
        QCOMPARE(::stat(name.constData(), &before), 0);

        const CliRun run = cli.run({QStringLiteral("save"), locator, path});
        QCOMPARE(run.exitCode, 0);
        struct stat after = {};
        QCOMPARE(::stat(name.constData(), &after), 0);
        QVERIFY(isSnapshot(content(file)));
        QCOMPARE(after.st_uid, before.st_uid);
        QCOMPARE(after.st_gid, before.st_gid);
        QCOMPARE(after.st_mode, before.st_mode);
        QCOMPARE(QFileInfo(path).isSymLink(), throughLink);
        // No temporary file left beside it.
        QCOMPARE(QDir(cli.path(QString()))
                         .entryList({QStringLiteral(".*")},
                                    QDir::Hidden | QDir::Files | QDir::NoDotAndDotDot),
                 QStringList());
    }

    // What protects a file survives its replacement, and one that cannot be complete leaves
    // the file as it was. `prepare` runs on the file ($F) first; `limit` is `ulimit -f`'s.
    void protectionsOfTheReplacedFile_data()
    {
        QTest::addColumn<QString>("prepare");
        QTest::addColumn<QString>("limit");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        QTest::newRow("ACL and user attribute kept")
                << "chmod 0640 \"$F\" && setfacl -m g::---,u:1234:rw \"$F\" && "
                   "setfattr -n user.origin -v lab \"$F\""
                << "unlimited" << QStringList() << 0 << QString();
        QTest::newRow("write-protected file refused")
                << "chmod 0444 \"$F\""
                << "unlimited" << QStringList() << 3 << "write-protected";
        QTest::newRow("write-protected file, --force")
                << "chmod 0444 \"$F\""
                << "unlimited" << QStringList{"--force"} << 0 << QString();
        QTest::newRow("past the file-size limit")
                << "true"
                << "0" << QStringList() << 3 << "File too large; the file is as it was";
    }

    void protectionsOfTheReplacedFile()
    {
        QFETCH(QString, prepare);
        QFETCH(QString, limit);
        QFETCH(QStringList, options);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        CliRunner cli;
        const QString file = cli.path(QStringLiteral("kept.json"));
        QVERIFY(writeFile(file, "old"));
        const auto shell = [&](const QString &script, const QStringList &arguments = {}) {
            QProcess process;
            process.setProcessEnvironment(cli.environment());
            process.start(QStringLiteral("/bin/sh"),
                          QStringList{QStringLiteral("-c"),
                                      QStringLiteral("F='%1'; ").arg(file) + script,
                                      QStringLiteral(VELOTUNE_CLI)}
                                  + arguments);
            process.waitForFinished(30000);
            return CliRun{process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                          QString::fromUtf8(process.readAllStandardOutput()),
                          QString::fromUtf8(process.readAllStandardError())};
        };
        const QString attributes = QStringLiteral("getfattr -d -m - \"$F\"; stat -c %a \"$F\"");
        const CliRun prepared = shell(prepare);
        if (prepared.exitCode != 0)
            QSKIP(qPrintable(QStringLiteral("this file system does not take them: ")
                             + prepared.err));
        const QString before = shell(attributes).out;

        const CliRun run = shell(QStringLiteral("ulimit -f %1; exec \"$0\" \"$@\"").arg(limit),
                                 QStringList{QStringLiteral("save"), locator, file} + options);
        QVERIFY2(run.exitCode == exitCode && run.err.contains(message), qPrintable(run.err));
        QCOMPARE(isSnapshot(content(file)), exitCode == 0);
        QCOMPARE(shell(attributes).out, before);
        QCOMPARE(QDir(cli.path(QString()))
                         .entryList({QStringLiteral(".*")},
                                    QDir::Hidden | QDir::Files | QDir::NoDotAndDotDot),
                 QStringList());
    }

    void fileNamesAreUsedByteForByte_data()
    {
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("save, Latin-1 byte")
                << QByteArray("save") << QByteArray("caf\xe9.json") << 2;
        QTest::newRow("save, another Latin-1 byte")
                << QByteArray("save") << QByteArray("caf\xe8.json") << 2;
        QTest::newRow("restore, Latin-1 byte")
                << QByteArray("restore") << QByteArray("caf\xe9.json") << 2;
        QTest::newRow("diff, Latin-1 byte")
                << QByteArray("diff") << QByteArray("caf\xe9.json") << 2;
        QTest::newRow("save, valid UTF-8")
                << QByteArray("save") << QByteArray("caf\xc3\xa9.json") << 0;
    }

    void fileNamesAreUsedByteForByte()
    {
        QFETCH(QByteArray, command);
        QFETCH(QByteArray, name);
        QFETCH(int, exitCode);
        CliRunner cli;
        QProcessEnvironment env = cli.environment();
        env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
        const QByteArray dir = QFile::encodeName(cli.path(QString()));
        // A snapshot under the valid name "cafe.json", for restore and diff to read.
        QCOMPARE(cli.run({QStringLiteral("save"), locator, QStringLiteral("cafe.json")}, env)
                         .exitCode,
                 0);
        const QByteArray path = dir + '/' + name;
        const int out = ::open(QFile::encodeName(cli.path(QStringLiteral("out.txt"))).constData(),
                               O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        QVERIFY(out >= 0);
        const pid_t pid = cli.spawn({command, locator.toUtf8(), path}, env, out,
                                    cli.path(QStringLiteral("err.txt")));
        ::close(out);
        QVERIFY(pid > 0);
        QCOMPARE(CliRunner::waitFor(pid), exitCode);
        const QByteArray err = content(cli.path(QStringLiteral("err.txt")));

        // What is in the folder, byte for byte: a Latin-1 name must never become another one.
        QList<QByteArray> names;
        if (DIR *folder = ::opendir(dir.constData())) {
            while (const dirent *entry = ::readdir(folder))
                names << QByteArray(entry->d_name);
            ::closedir(folder);
        }
        if (exitCode == 2) {
            QVERIFY2(err.contains("is not valid text in the locale's character encoding"),
                     err.constData());
            QVERIFY2(!err.contains("TQ_"), err.constData());
        }
        QCOMPARE(names.contains(name), exitCode == 0);
        for (const QByteArray &n : names)
            QVERIFY2(!n.contains("\xef\xbf\xbd"), n.constData());
    }
};

QTEST_GUILESS_MAIN(tst_CliSave)
#include "tst_clisave.moc"
