#include "journal.h"

#include "appendfile.h"
#include "escaped.h"
#include "programname.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMutex>
#include <QMutexLocker>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nexil::journal {

Q_LOGGING_CATEGORY(lcJournal, "velotune.journal")

namespace {

// Another program holds the lock only for one write; one that keeps it longer (stopped in a
// debugger) must not stall a controller action.
constexpr int lockWaitMs = 2000;

QString errorText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

class Writer
{
public:
    Status status() const { return m_status; }

    void open()
    {
        if (m_opened)
            return;
        m_opened = true;
        m_status = locate();
        if (m_status.state != State::On) {
            if (m_status.state == State::Failed)
                warn(QStringLiteral("nothing is journaled"));
            return;
        }
        m_program = programName();
        m_pid = QCoreApplication::applicationPid();
        QString reason;
        if (!makeFolders(m_status.file, &reason) || !reopen(&reason))
            fail(reason, QStringLiteral("nothing is journaled"));
    }

    void append(Event event)
    {
        if (m_status.state != State::On)
            return;
        event.program = m_program;
        event.pid = m_pid;
        QString reason;
        if (!appendLine(&event, &reason))
            fail(reason, QStringLiteral("nothing more is journaled by this program"));
    }

private:
    Status m_status;
    bool m_opened = false;
    int m_fd = -1;
    QString m_program;
    qint64 m_pid = 0;

    bool reopen(QString *reason)
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = openForAppend(m_status.file, reason);
        return m_fd >= 0;
    }

    bool lock(QString *reason) const
    {
        QElapsedTimer waited;
        waited.start();
        auto pause = std::chrono::microseconds(100);
        while (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
            if (errno != EWOULDBLOCK && errno != EINTR) {
                *reason = QStringLiteral("cannot lock (%1)").arg(errorText(errno));
                return false;
            }
            if (waited.elapsed() > lockWaitMs) {
                *reason = QStringLiteral("locked by another program for %1 s")
                                  .arg(lockWaitMs / 1000);
                return false;
            }
            std::this_thread::sleep_for(pause);
            pause = std::min(pause * 2, std::chrono::microseconds(10000));
        }
        return true;
    }

    // Under the lock: the file the name has now (another program may have rotated it, or the
    // user removed it), rotated first if this line would take it past its size.
    bool appendLine(Event *event, QString *reason)
    {
        for (int attempt = 0; attempt < 4; ++attempt) {
            if (!lock(reason))
                return false;
            struct stat held = {};
            struct stat named = {};
            const bool same = fstat(m_fd, &held) == 0
                    && ::lstat(m_status.file.constData(), &named) == 0
                    && held.st_dev == named.st_dev && held.st_ino == named.st_ino;
            if (!same) {
                ::flock(m_fd, LOCK_UN);
                if (!reopen(reason))
                    return false;
                continue;
            }
            event->time = QDateTime::currentDateTimeUtc();
            const QByteArray line = toLine(*event);
            if (held.st_size > 0 && held.st_size + line.size() > rotateSize) {
                const bool rotated = ::rename(m_status.file.constData(),
                                              rotatedName(m_status.file).constData())
                        == 0;
                if (!rotated)
                    *reason = QStringLiteral("cannot rotate (%1)").arg(errorText(errno));
                ::flock(m_fd, LOCK_UN);
                if (!rotated || !reopen(reason))
                    return false;
                continue;
            }
            const bool written = writeWhole(line, held.st_size, reason);
            ::flock(m_fd, LOCK_UN);
            return written;
        }
        *reason = QStringLiteral("the file keeps being replaced");
        return false;
    }

    // One write(2), so no other program's line can come between its parts. What a full disk
    // let through is cut off again, so the file holds whole lines only.
    bool writeWhole(const QByteArray &line, off_t size, QString *reason) const
    {
        ssize_t written = -1;
        do {
            written = ::write(m_fd, line.constData(), size_t(line.size()));
        } while (written < 0 && errno == EINTR);
        if (written == line.size())
            return true;
        // A short write says no more; the rest, tried once, says why.
        if (written >= 0
            && ::write(m_fd, line.constData() + written, size_t(line.size() - written)) >= 0)
            errno = ENOSPC;
        const int error = errno;
        *reason = QStringLiteral("cannot write (%1)").arg(errorText(error));
        if (written > 0 && ::ftruncate(m_fd, size) != 0)
            *reason += QStringLiteral(", a part of a line is left");
        return false;
    }

    void fail(const QString &reason, const QString &consequence)
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
        m_status.state = State::Failed;
        m_status.reason = reason;
        warn(consequence);
    }

    void warn(const QString &consequence) const
    {
        const QString name
                = m_status.path.isEmpty() ? QString() : m_status.path + QStringLiteral(": ");
        qCWarning(lcJournal).noquote()
                << QStringLiteral("journal %1%2; %3").arg(name, m_status.reason, consequence);
    }
};

QMutex mutex;

Writer &writer()
{
    static Writer theWriter;
    return theWriter;
}

Listener &listener()
{
    static Listener theListener;
    return theListener;
}

QByteArray absoluteOrEmpty(const QByteArray &name)
{
    return name.startsWith('/') ? name : QByteArray();
}

} // namespace

Status locate()
{
    Status status;
    const QByteArray asked = qgetenv("VELOTUNE_JOURNAL");
    if (asked == "off") {
        status.reason = QStringLiteral("VELOTUNE_JOURNAL=off");
        return status;
    }
    if (!asked.isEmpty()) {
        status.path = escaped(QFile::decodeName(asked));
        if (absoluteOrEmpty(asked).isEmpty() || asked.endsWith('/')) {
            status.state = State::Failed;
            status.reason = QStringLiteral("VELOTUNE_JOURNAL must be the absolute path of a file");
            return status;
        }
        status.state = State::On;
        status.file = asked;
        return status;
    }
    // XDG: an empty or relative XDG_STATE_HOME is ignored.
    QByteArray folder = absoluteOrEmpty(qgetenv("XDG_STATE_HOME"));
    if (folder.isEmpty()) {
        const QByteArray home = absoluteOrEmpty(qgetenv("HOME"));
        if (home.isEmpty()) {
            status.state = State::Failed;
            status.reason = QStringLiteral("neither XDG_STATE_HOME nor HOME is an absolute path");
            return status;
        }
        folder = home + "/.local/state";
    }
    while (folder.size() > 1 && folder.endsWith('/'))
        folder.chop(1);
    status.state = State::On;
    status.file = folder + "/velotune/journal.jsonl";
    status.path = escaped(QFile::decodeName(status.file));
    return status;
}

QByteArray rotatedName(const QByteArray &name)
{
    const QByteArray suffix = ".jsonl";
    if (name.endsWith(suffix) && name.lastIndexOf('/') < name.size() - suffix.size() - 1)
        return name.left(name.size() - suffix.size()) + ".1" + suffix;
    return name + ".1";
}

void record(Event event)
{
    Listener told;
    {
        const QMutexLocker locker(&mutex);
        writer().open();
        writer().append(event);
        told = listener();
    }
    // Outside the lock: the listener may ask for state().
    if (told) {
        event.time = QDateTime::currentDateTimeUtc();
        told(event);
    }
}

void setListener(Listener told)
{
    const QMutexLocker locker(&mutex);
    listener() = std::move(told);
}

Status state()
{
    const QMutexLocker locker(&mutex);
    writer().open();
    return writer().status();
}

} // namespace nexil::journal
