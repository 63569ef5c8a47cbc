#include "journalreader.h"

#include "escaped.h"
#include "journal.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nexil::journal {

namespace {

// No journal line comes near this; a longer one is damage, and is never held in memory whole.
constexpr int maxLine = 1024 * 1024;
constexpr int chunk = 1024 * 1024;

QString shown(const QByteArray &name)
{
    return escaped(QFile::decodeName(name));
}

class LineFile
{
public:
    explicit LineFile(const QByteArray &name) : m_name(name) { }
    ~LineFile()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    LineFile(const LineFile &) = delete;
    LineFile &operator=(const LineFile &) = delete;

    // Links are followed for reading; a FIFO or a device is refused before it could block.
    ReadResult open(QString *error)
    {
        m_fd = ::open(m_name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (m_fd < 0 && errno == ENOENT)
            return ReadResult::Missing;
        struct stat info = {};
        if (m_fd >= 0 && fstat(m_fd, &info) == 0 && S_ISREG(info.st_mode))
            return ReadResult::Read;
        *error = QStringLiteral("%1: %2").arg(shown(m_name),
                                              m_fd < 0
                                                      ? QString::fromLocal8Bit(std::strerror(errno))
                                                      : QStringLiteral("not a regular file"));
        return ReadResult::Failed;
    }

    // Each line in turn, without its newline; a line above maxLine comes as "too long".
    template<typename Line>
    bool lines(const Line &line, QString *error)
    {
        QByteArray buffer;
        qint64 number = 0;
        bool skipping = false; // inside a line that is too long
        std::vector<char> block(chunk);
        for (;;) {
            const int kept = int(buffer.size());
            ssize_t got = -1;
            do {
                got = ::read(m_fd, block.data(), block.size());
            } while (got < 0 && errno == EINTR);
            if (got < 0) {
                *error = QStringLiteral("%1: %2").arg(shown(m_name),
                                                      QString::fromLocal8Bit(std::strerror(errno)));
                return false;
            }
            buffer.append(block.data(), int(got));
            int start = 0;
            for (int end = buffer.indexOf('\n', kept); end >= 0;
                 start = end + 1, end = buffer.indexOf('\n', start)) {
                ++number;
                if (!skipping && !line(number, buffer.mid(start, end - start), false))
                    return true;
                skipping = false;
            }
            buffer.remove(0, start);
            if (buffer.size() > maxLine) {
                if (!skipping && !line(number + 1, QByteArray(), true))
                    return true;
                skipping = true;
                buffer.clear();
            }
            if (got == 0)
                break;
        }
        if (!buffer.isEmpty() && !skipping)
            line(number + 1, buffer, false);
        return true;
    }

private:
    QByteArray m_name;
    int m_fd = -1;
};

// The time of the file's first event, or an invalid time.
QDateTime firstTime(const QByteArray &name)
{
    LineFile file(name);
    QString error;
    if (file.open(&error) != ReadResult::Read)
        return {};
    QDateTime first;
    file.lines(
            [&](qint64, const QByteArray &text, bool tooLong) {
                Event event;
                if (tooLong || !fromLine(text, &event))
                    return true;
                first = event.time;
                return false;
            },
            &error);
    return first;
}

} // namespace

ReadResult readJournal(const QByteArray &name, const QDateTime &since, const Visit &visit,
                       const Damaged &damaged, QString *error)
{
    QList<QByteArray> names = {rotatedName(name), name};
    if (since.isValid()) {
        const QDateTime first = firstTime(name);
        if (first.isValid() && first <= since)
            names.removeFirst();
    }
    bool any = false;
    for (const QByteArray &fileName : names) {
        LineFile file(fileName);
        const ReadResult opened = file.open(error);
        if (opened == ReadResult::Failed)
            return opened;
        if (opened == ReadResult::Missing)
            continue;
        any = true;
        const QString path = shown(fileName);
        Event event;
        const bool read = file.lines(
                [&](qint64 number, const QByteArray &text, bool tooLong) {
                    if (!tooLong && text.trimmed().isEmpty())
                        return true;
                    if (!tooLong && fromLine(text, &event))
                        visit(event, text);
                    else
                        damaged(path, number);
                    return true;
                },
                error);
        if (!read)
            return ReadResult::Failed;
    }
    return any ? ReadResult::Read : ReadResult::Missing;
}

} // namespace nexil::journal
